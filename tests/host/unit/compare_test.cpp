// Two models compared on common random numbers: the difference B - A
// against a difference that never varies and against the two models run on
// their own (recomputed here with the statistics edition's exports), and
// which inputs share their draws.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "host/velmsim/analysis/compare.h"
#include "tests/host/unit/support.h"

namespace {

using namespace velmsim_unit;

const std::string kKinds = std::string(VELM_MODELS_DIR) + "/kinds.toml";
const std::string kCorrelated = std::string(VELM_EXAMPLES_DIR) + "/warehouse-correlated.toml";

// Two models read, planned together, run to the full count and compared,
// as velmsim compare does.
struct Compared {
  Model a, b;
  ComparePlans plans;
  RunResult ra, rb;
  Comparison comparison;
};

std::unique_ptr<Compared> compare(const std::string& a, const std::string& b,
                                  const Overrides& overrides = {}) {
  auto c = std::make_unique<Compared>();
  Diagnostics da, db;
  c->a = read_model_text("a.toml", a, da);
  c->b = read_model_text("b.toml", b, db);
  c->plans = make_compare_plans(c->a, c->b, overrides, da, db);
  EXPECT_FALSE(da.has_errors()) << da.render("a.toml", a);
  EXPECT_FALSE(db.has_errors()) << db.render("b.toml", b);
  if (da.has_errors() || db.has_errors()) return c;
  c->ra = run(c->plans.a, editions().sampling(), {});
  c->rb = run(c->plans.b, editions().sampling(), {});
  c->comparison = compare_runs(c->plans, c->ra, c->rb, pool(), Libraries::of(editions()));
  return c;
}

// A plan of the model in `text` (which `model` keeps).
Plan plan_of(Model& model, const std::string& text) {
  Diagnostics d;
  model = read_model_text("m.toml", text, d);
  Plan plan = make_plan(model, {}, d);
  EXPECT_FALSE(d.has_errors()) << d.render("m.toml", text);
  return plan;
}

using Names = std::vector<std::string>;

// The pairing of two models' draws against what a case expects of it.
void expect_shared(const SharedDraws& s, const Names& same_values, const Names& same_start,
                   const Names& reordered, const Names& unmatched_b, const std::string& what) {
  EXPECT_EQ(s.same_values, same_values) << what;
  EXPECT_EQ(s.same_start, same_start) << what;
  EXPECT_EQ(s.reordered, reordered) << what;
  EXPECT_EQ(s.unmatched_b, unmatched_b) << what;
}

// Outputs that differ by a constant: B - A never varies, and its statistics
// and percentiles are that constant with nothing printed by the library
// (which would warn about such data); B's [run] values that A's replace are
// told; an output only B has is listed. Two correlated models that differ in
// a constant reorder alike and differ by it too.
TEST(Compare, ConstantDifference) {
  const std::string inputs = "[inputs]\nu = { dist = \"uniform\", min = 0, max = 1 }\n"
                             "g = { dist = \"geometric\", p = 0.3 }\n";
  Overrides o;
  o.iterations = 400;
  o.percentiles = {25, 50};
  testing::internal::CaptureStdout();
  const auto c = compare(inputs + "[outputs]\ntotal = \"rint(100 * u) + g\"\nsame = \"g\"\n"
                                  "[run]\nblock = 100\n",
                         inputs + "[outputs]\ntotal = \"rint(100 * u) + g + 7\"\nsame = \"g\"\n"
                                  "extra = \"u\"\n[run]\nblock = 50\n",
                         o);
  const std::string correlated = slurp(kCorrelated);
  Overrides few;
  few.iterations = 1200;
  const auto cc =
      compare(correlated, replaced(correlated, "+ flood + strike", "+ flood + strike + 1000"), few);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");

  const Comparison& r = c->comparison;
  EXPECT_EQ(r.iterations, 400);
  EXPECT_EQ(c->rb.samples.n, 400);
  EXPECT_EQ(r.block, 100);
  EXPECT_EQ(r.unused, std::vector<std::string>{
                          "B's [run] block = 50 is not used: A's 100 applies to both"});
  EXPECT_EQ(r.only_a, std::vector<std::string>{});
  EXPECT_EQ(r.only_b, std::vector<std::string>{"extra"});
  ASSERT_EQ(r.outputs.size(), 2u);
  for (const auto& [k, value, greater] : {std::array<double, 3>{0, 7, 1}, {1, 0, 0}}) {
    const DifferenceSummary& d = r.outputs[static_cast<std::size_t>(k)].difference;
    EXPECT_TRUE(d.constant);
    EXPECT_EQ(d.sd, 0.0f);
    EXPECT_EQ(d.mean, value);
    EXPECT_EQ(d.min, value);
    EXPECT_EQ(d.max, value);
    ASSERT_EQ(d.percentiles.size(), 4u);  // 5, 25, 50, 95
    for (const auto& [percent, q] : d.percentiles) EXPECT_EQ(q, value) << percent;
    EXPECT_EQ(d.b_greater, greater);
    EXPECT_TRUE(d.histogram.marks.empty());
  }

  ASSERT_EQ(cc->comparison.outputs.size(), 1u);
  const DifferenceSummary& d = cc->comparison.outputs[0].difference;
  EXPECT_TRUE(d.constant);
  EXPECT_EQ(d.mean, 1000.0f);
  EXPECT_TRUE(cc->comparison.shared.reordered.empty());
}

// B - A agrees with the two models run on their own: their samples paired
// iteration by iteration, the difference taken in double and rounded once,
// summarised here with VELMSTAT and VELMQTIL. Only the inputs that were
// changed differ.
TEST(Compare, AgreesWithSeparateRuns) {
  Overrides o;
  o.seed = 4242;
  o.iterations = 1000;
  const auto c = compare(slurp(kKinds), kinds_b(), o);
  o.tolerance = 1e-30;  // never reached: both run the full count
  const auto a = run_text(slurp(kKinds), o), b = run_text(kinds_b(), o);
  const Samples &sa = a->samples(), &sb = b->samples();
  ASSERT_EQ(sa.n, 1000);
  ASSERT_EQ(sb.n, 1000);
  EXPECT_EQ(c->ra.samples.columns, sa.columns);
  EXPECT_EQ(c->rb.samples.columns, sb.columns);
  const std::vector<std::string> names = a->model.column_names();
  for (std::size_t k = 0; k < names.size(); ++k) {
    const bool changed = names[k] == "t" || names[k] == "r2";
    EXPECT_EQ(sa.columns[k] == sb.columns[k], !changed) << names[k];
  }
  const SharedDraws& shared = c->comparison.shared;
  EXPECT_EQ(shared.same_values,
            (std::vector<std::string>{"u", "n", "l", "b", "bs", "g", "p1/p2", "r1", "y"}));
  EXPECT_EQ(shared.same_start, (std::vector<std::string>{"t", "r2"}));

  const StatisticsExports& st = editions().statistics();
  const std::int16_t n16 = 1000, one = 1;
  ASSERT_EQ(c->comparison.outputs.size(), 2u);
  for (std::size_t k = 0; k < 2; ++k) {
    std::vector<float> d;
    int greater = 0;
    for (std::size_t i = 0; i < 1000; ++i) {
      const float ya = sa.outputs[k][i], yb = sb.outputs[k][i];
      d.push_back(static_cast<float>(static_cast<double>(yb) - static_cast<double>(ya)));
      greater += yb > ya;
    }
    std::array<float, 15> stat{};
    st.stat(&n16, &one, d.data(), &n16, stat.data());
    const DifferenceSummary& diff = c->comparison.outputs[k].difference;
    EXPECT_FALSE(diff.constant);
    EXPECT_EQ(diff.mean, stat[0]);
    EXPECT_EQ(diff.sd, stat[2]);
    EXPECT_EQ(diff.min, *std::min_element(d.begin(), d.end()));
    EXPECT_EQ(diff.max, *std::max_element(d.begin(), d.end()));
    EXPECT_EQ(diff.b_greater, greater / 1000.0);
    ASSERT_EQ(diff.percentiles.size(), 6u);  // 5, 10, 50, 80, 90, 95
    for (const auto& [percent, value] : diff.percentiles) {
      const float p = static_cast<float>(percent / 100);
      float q = 0;
      st.qtil(&n16, d.data(), &one, &p, &q);
      EXPECT_EQ(value, q) << "P" << percent;
    }
  }
}

// Which inputs share their draws, by position: the same declaration gives
// the same values (under another name too); other parameters start at the
// same place, and so do the inputs after them while the uniforms taken
// agree; a changed distribution, a beta's shapes (which choose how many
// uniforms it takes), a risk that becomes certain or loses its drawn impact
// end the pairing; a correlation only one model has reorders its inputs.
TEST(Compare, SharedDraws) {
  const std::string a =
      "[inputs]\nu = { dist = \"uniform\", min = 0, max = 1 }\n"
      "n = { dist = \"normal\", mean = 10, sd = 2 }\n"
      "b = { dist = \"beta\", p = 2, q = 5 }\n"
      "r = { dist = \"risk\", p = 0.3, impact = { dist = \"lognormal\", mean = 100, sd = 40 } }\n"
      "g = { dist = \"geometric\", p = 0.2 }\n"
      "[outputs]\ny = \"u + n + b + r + g\"\n";
  const std::string corr = "[correlation]\nu.n = 0.5\n";
  struct Case {
    const char* what;
    std::string b;
    Names same_values, same_start, reordered, unmatched_a, unmatched_b;
  };
  const Names all = {"u", "n", "b", "r", "g"};
  const std::vector<Case> cases = {
      {"identical", a, all, {}, {}, {}, {}},
      {"renamed", replaced(replaced(a, "\nn = ", "\nm = "), "u + n", "u + m"),
       {"u", "n (B: m)", "b", "r", "g"}, {}, {}, {}, {}},
      {"normal's mean", replaced(a, "mean = 10, sd = 2", "mean = 11, sd = 2"),
       {"u", "b", "r", "g"}, {"n"}, {}, {}, {}},
      {"normal to uniform",
       replaced(a, "\"normal\", mean = 10, sd = 2", "\"uniform\", min = 8, max = 12"),
       {"u"}, {}, {}, {"n", "b", "r", "g"}, {"n", "b", "r", "g"}},
      {"beta's shapes", replaced(a, "p = 2, q = 5", "p = 3, q = 5"), {"u", "n"}, {"b"}, {},
       {"r", "g"}, {"r", "g"}},
      {"risk's p", replaced(a, "p = 0.3", "p = 0.5"), {"u", "n", "b", "g"}, {"r"}, {}, {}, {}},
      {"certain risk", replaced(a, "p = 0.3", "p = 1"), {"u", "n", "b"}, {"r"}, {}, {"g"}, {"g"}},
      {"constant impact",
       replaced(a, "impact = { dist = \"lognormal\", mean = 100, sd = 40 }", "impact = 5"),
       {"u", "n", "b"}, {"r"}, {}, {"g"}, {"g"}},
      {"input added",
       replaced(a, "[outputs]", "h = { dist = \"uniform\", min = 0, max = 1 }\n[outputs]"),
       all, {}, {}, {}, {"h"}},
      {"correlation in B only", a + corr, {"b", "r", "g"}, {}, {"u", "n"}, {}, {}},
  };
  Model ma, mb;
  const Plan pa = plan_of(ma, a);
  for (const Case& c : cases) {
    const Plan pb = plan_of(mb, c.b);
    const SharedDraws s = shared_draws(pa, pb);
    expect_shared(s, c.same_values, c.same_start, c.reordered, c.unmatched_b, c.what);
    EXPECT_EQ(s.unmatched_a, c.unmatched_a) << c.what;
  }
  // Both correlated alike: paired as though neither were.
  Model mc;
  const Plan pc = plan_of(mc, a + corr);
  const SharedDraws both = shared_draws(pc, plan_of(mb, a + corr));
  EXPECT_EQ(both.same_values, all);
  EXPECT_TRUE(both.reordered.empty());
}

// A network draws after the inputs: its tasks and risks are paired while
// every input is, by the same rules.
TEST(Compare, SharedNetworkDraws) {
  const std::string a =
      "[inputs]\nu = { dist = \"uniform\", min = 0, max = 1 }\n"
      "[tasks]\na = { duration = { dist = \"triangular\", low = 1, mode = 2, high = 4 }, p = 0.5 }\n"
      "b = { duration = 3, after = [\"a\"] }\n"
      "[risks]\nr = { p = 0.3, tasks = [\"b\"], delay = { dist = \"uniform\", min = 1, max = 2 } }\n";
  struct Case {
    const char* what;
    std::string b;
    Names same_values, same_start, reordered, unmatched_b;
  };
  const std::vector<Case> cases = {
      {"identical", a, {"u", "task a", "task b", "risk r"}, {}, {}, {}},
      {"task's p", replaced(a, "p = 0.5", "p = 0.7"), {"u", "task b", "risk r"}, {"task a"}, {}, {}},
      {"task made certain", replaced(a, "p = 0.5", "p = 1"), {"u"}, {}, {}, {"task a", "task b", "risk r"}},
      {"constant duration", replaced(a, "duration = 3", "duration = 5"), {"u", "task a", "risk r"},
       {"task b"}, {}, {}},
      {"input changed", replaced(a, "\"uniform\", min = 0, max = 1", "\"normal\", mean = 0, sd = 1"),
       {}, {}, {}, {"u", "task a", "task b", "risk r"}},
      {"task correlated in B", a + "[inputs.v]\ndist = \"uniform\"\nmin = 0\nmax = 1\n"
                                   "[correlation]\nv.a = 0.5\n",
       {"u"}, {}, {}, {"v", "task a", "task b", "risk r"}},
  };
  Model ma, mb;
  const Plan pa = plan_of(ma, a);
  for (const Case& c : cases) {
    const Plan pb = plan_of(mb, c.b);
    expect_shared(shared_draws(pa, pb), c.same_values, c.same_start, c.reordered, c.unmatched_b,
                  c.what);
  }
  // The task correlated in B alone, with inputs alike: paired, reordered.
  Model mc;
  const std::string u_twice = replaced(a, "[tasks]", "v = { dist = \"uniform\", min = 0, max = 1 }\n[tasks]");
  const Plan pc = plan_of(mc, u_twice);
  const SharedDraws s = shared_draws(pc, plan_of(mb, u_twice + "[correlation]\nv.a = 0.5\n"));
  EXPECT_EQ(s.reordered, (Names{"v", "task a"}));
  EXPECT_EQ(s.same_values, (Names{"u", "task b", "risk r"}));
}

}  // namespace
