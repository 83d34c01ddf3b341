// The run plan: where each setting comes from, the clock seed, the plans of
// a comparison, the check of the sampling edition, and the correlation
// matrix refused or repaired.
#include <gtest/gtest.h>

#include <Eigen/Eigenvalues>

#include <cmath>
#include <cstdint>
#include <memory>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "host/velmsim/model/functions.h"
#include "host/velmsim/plan/correlation.h"
#include "host/velmsim/render/render.h"
#include "tests/host/unit/support.h"

namespace {

using namespace velmsim_unit;

// A model read from `text` and planned. Held by pointer: the plan points at
// the model.
struct Planned {
  Model model;
  Plan plan;
  Diagnostics diagnostics;
};
std::unique_ptr<Planned> planned(const std::string& text, const Overrides& o = {}) {
  auto p = std::make_unique<Planned>();
  p->model = read_model_text("m.toml", text, p->diagnostics);
  p->plan = make_plan(p->model, o, p->diagnostics);
  return p;
}

const std::string kOneInput =
    "[inputs]\na = { dist = \"normal\", mean = 1, sd = 1 }\n[outputs]\ny = \"a\"\n";

// Each setting comes from the override, else [run], else the default; a
// setting read from the wrong place shows in one of the three.
TEST(RunPlan, OverrideThenRunThenDefault) {
  const std::string run = "[run]\niterations = 300\nblock = 50\nclasses = 7\ntolerance = 0.5\n"
                          "seed = 99\npercentiles = [5, 95]\n";
  Overrides o;
  o.iterations = 700;
  o.block = 70;
  o.classes = 17;
  o.tolerance = 0.25;
  o.seed = 77;
  o.percentiles = {33};
  struct Want {
    int iterations, block, classes;
    double tolerance;
    std::int32_t seed;
    std::vector<double> percentiles;
  };
  const Want defaults = {Defaults::iterations, Defaults::block,         Defaults::classes,
                         Defaults::tolerance,  Defaults::seed,          Defaults::percentiles};
  for (const auto& [text, overrides, want] :
       {std::tuple{kOneInput, Overrides{}, defaults},
        std::tuple{kOneInput + run, Overrides{}, Want{300, 50, 7, 0.5, 99, {5, 95}}},
        std::tuple{kOneInput + run, o, Want{700, 70, 17, 0.25, 77, {33}}},
        std::tuple{kOneInput, o, Want{700, 70, 17, 0.25, 77, {33}}}}) {
    const auto p = planned(text, overrides);
    ASSERT_FALSE(p->diagnostics.has_errors()) << p->diagnostics.render("m.toml", text);
    EXPECT_EQ(p->plan.iterations, want.iterations) << text;
    EXPECT_EQ(p->plan.block, want.block) << text;
    EXPECT_EQ(p->plan.classes, want.classes) << text;
    EXPECT_EQ(p->plan.tolerance, want.tolerance) << text;
    EXPECT_EQ(p->plan.seed, want.seed) << text;
    EXPECT_FALSE(p->plan.clock_seed) << text;
    EXPECT_EQ(p->plan.percentiles, want.percentiles) << text;
  }
}

// Seed 0, in [run] or as an override (which also beats a seed in [run]),
// is a seed from the clock: the local time as hhmmss + 1.
TEST(RunPlan, SeedZeroReadsTheClock) {
  Overrides zero;
  zero.seed = 0;
  for (const auto& [text, o] : {std::pair{kOneInput + "[run]\nseed = 0\n", Overrides{}},
                                std::pair{kOneInput + "[run]\nseed = 5\n", zero}}) {
    const std::int32_t before = clock_seed();
    const auto p = planned(text, o);
    const std::int32_t after = clock_seed();
    EXPECT_TRUE(p->plan.clock_seed) << text;
    EXPECT_TRUE(p->plan.seed == before || p->plan.seed == after) << p->plan.seed;
    const std::int32_t t = p->plan.seed - 1;
    EXPECT_GE(p->plan.seed, 1);
    EXPECT_LE(p->plan.seed, 235960);
    EXPECT_LT(t / 10000, 24) << p->plan.seed;
    EXPECT_LT(t / 100 % 100, 60) << p->plan.seed;
    EXPECT_LT(t % 100, 61) << p->plan.seed;  // 60 in a leap second
  }
}

// A comparison runs both models with A's settings to the full count, and
// tells which of B's [run] values are not used, one exact line each.
TEST(RunPlan, ComparePlansTakeAsSettings) {
  const std::string a_text = kOneInput + "[run]\niterations = 400\nblock = 100\nclasses = 8\n"
                                         "seed = 7\npercentiles = [20, 80]\ntolerance = 0.3\n";
  const std::string b_text = kOneInput + "[run]\niterations = 900\nblock = 300\nclasses = 9\n"
                                         "seed = 8\npercentiles = [50]\ntolerance = 0.1\n";
  Diagnostics da, db;
  const Model a = read_model_text("a.toml", a_text, da), b = read_model_text("b.toml", b_text, db);
  const ComparePlans plans = make_compare_plans(a, b, {}, da, db);
  ASSERT_FALSE(da.has_errors() || db.has_errors());
  for (const Plan* p : {&plans.a, &plans.b}) {
    EXPECT_EQ(p->iterations, 400);
    EXPECT_EQ(p->block, 100);
    EXPECT_EQ(p->classes, 8);
    EXPECT_EQ(p->seed, 7);
    EXPECT_EQ(p->percentiles, (std::vector<double>{20, 80}));
    EXPECT_EQ(p->tolerance, 0.0);
  }
  EXPECT_EQ(plans.b.model, &b);
  EXPECT_EQ(plans.unused,
            (std::vector<std::string>{
                "B's [run] iterations = 900 is not used: A's 400 apply to both",
                "B's [run] seed = 8 is not used: A's 7 applies to both",
                "B's [run] block = 300 is not used: A's 100 applies to both",
                "B's [run] percentiles are not used: A's apply to both",
                "B's [run] classes = 9 is not used: A's 8 apply"}));
}

// With the command line's settings, those apply to both models, and no line
// may claim that A's value applies instead.
TEST(RunPlan, ComparePlansTakeTheOverrides) {
  const std::string a_text = kOneInput + "[run]\niterations = 400\nblock = 100\nclasses = 8\n"
                                         "seed = 7\npercentiles = [20, 80]\n";
  const std::string b_text = kOneInput + "[run]\niterations = 900\nblock = 300\nclasses = 9\n"
                                         "seed = 8\npercentiles = [50]\n";
  Overrides o;
  o.iterations = 1000;
  o.block = 250;
  o.classes = 5;
  o.seed = 3;
  o.percentiles = {30};
  Diagnostics da, db;
  const Model a = read_model_text("a.toml", a_text, da), b = read_model_text("b.toml", b_text, db);
  const ComparePlans plans = make_compare_plans(a, b, o, da, db);
  for (const Plan* p : {&plans.a, &plans.b}) {
    EXPECT_EQ(p->iterations, 1000);
    EXPECT_EQ(p->block, 250);
    EXPECT_EQ(p->classes, 5);
    EXPECT_EQ(p->seed, 3);
    EXPECT_EQ(p->percentiles, (std::vector<double>{30}));
  }
  for (const std::string& line : plans.unused)
    EXPECT_EQ(line.find("A's"), std::string::npos) << line;
}

// The statistics edition lacks the pair, risk and yes/no samplers: each such
// input is refused at its dist; its triangular sampler differs, which is
// worth a warning.
TEST(RunPlan, SamplerStatsRefusesWhatTheStatisticsEditionLacks) {
  const std::string path = std::string(VELM_MODELS_DIR) + "/kinds.toml";
  Overrides o;
  o.sampler = Sampler::stats;
  const std::string p = path + ":";
  EXPECT_EQ(messages(slurp(path), o, path),
            p + "11:17: warning: with --sampler stats, the triangular input 't' puts half the "
                "probability on each side of the mode\n"
                "t    = { dist = \"triangular\", low = 0, mode = 1, high = 4 }\n"
                "                ^\n" +
            p + "15:17: error: --sampler stats cannot draw 'normal_pair' (input 'pair'): only the "
                "threaded edition has that sampler\n"
                "pair = { dist = \"normal_pair\", mean = [1, 5], sd = [0.5, 2], rho = -0.7, names = "
                "[\"p1\", \"p2\"] }\n"
                "                ^\n" +
            p + "16:17: error: --sampler stats cannot draw 'risk' (input 'r1'): only the threaded "
                "edition has that sampler\n"
                "r1   = { dist = \"risk\", p = 0.3, impact = { dist = \"lognormal\", mean = 100, sd = 40 } }\n"
                "                ^\n" +
            p + "17:17: error: --sampler stats cannot draw 'risk' (input 'r2'): only the threaded "
                "edition has that sampler\n"
                "r2   = { dist = \"risk\", p = 0.6, impact = 7.5 }\n"
                "                ^\n" +
            p + "18:17: error: --sampler stats cannot draw 'yesno' (input 'y'): only the threaded "
                "edition has that sampler\n"
                "y    = { dist = \"yesno\", p = 0.4 }\n"
                "                ^\n");
  EXPECT_EQ(messages(slurp(path), {}, path), "");
}

const std::string kThreeInputs =
    "[inputs]\n"
    "a = { dist = \"uniform\", min = 0, max = 1 }\n"
    "b = { dist = \"triangular\", low = 0, mode = 1, high = 3 }\n"
    "c = { dist = \"beta\", p = 2, q = 3 }\n"
    "[outputs]\n"
    "total = \"a + b + c\"\n"
    "[correlation]\n";

double smallest(const SquareMatrix& c) {
  Eigen::MatrixXd m(c.k, c.k);
  for (std::size_t i = 0; i < c.k; ++i)
    for (std::size_t j = 0; j < c.k; ++j)
      m(static_cast<Eigen::Index>(i), static_cast<Eigen::Index>(j)) = c(i, j);
  return Eigen::SelfAdjointEigenSolver<Eigen::MatrixXd>(m).eigenvalues().minCoeff();
}

// Correlations that cannot hold together are refused at [correlation];
// with repair the plan uses the nearest correlation matrix, which for this
// matrix is, by its symmetry, [[1, a, a], [a, 1, -a], [a, -a, 1]] with
// 1 - 2a = 0. The matrix the warning prints, written back into the file, is
// accepted as it stands.
TEST(RunPlan, MatrixNotSemidefiniteIsRefusedOrRepaired) {
  const std::string text = kThreeInputs +
                           "names = [\"a\", \"b\", \"c\"]\n"
                           "matrix = [[1, 0.9, 0.9], [0.9, 1, -0.9], [0.9, -0.9, 1]]\n";
  EXPECT_EQ(messages(text),
            "m.toml:7:1: error: the correlations in [correlation] cannot hold together: their "
            "matrix is not positive semi-definite (smallest eigenvalue -0.8); run with --repair "
            "to use the nearest correlation matrix\n[correlation]\n^\n");

  Overrides o;
  o.repair = true;
  const auto p = planned(text, o);
  ASSERT_FALSE(p->diagnostics.has_errors());
  const std::string warning = p->diagnostics.render("m.toml", text);
  EXPECT_EQ(warning.rfind("m.toml:7:1: warning: the correlations in [correlation] cannot hold "
                          "together: their matrix is not positive semi-definite (smallest "
                          "eigenvalue -0.8); --repair uses the nearest correlation matrix "
                          "(largest change 0.4",
                          0),
            0u)
      << warning;
  const CorrelationPlan& c = p->plan.correlation;
  EXPECT_TRUE(c.repaired);
  EXPECT_EQ(c.given.a, p->model.correlation.given.a);
  EXPECT_GE(smallest(c.target), 0.0);
  EXPECT_NEAR(c.target(0, 1), 0.5, 1e-4);
  EXPECT_NEAR(c.target(0, 2), 0.5, 1e-4);
  EXPECT_NEAR(c.target(1, 2), -0.5, 1e-4);
  EXPECT_NEAR(c.largest_change, 0.4, 1e-4);

  const std::size_t from = warning.find("  names = ["), to = warning.find("]]\n");
  ASSERT_NE(from, std::string::npos) << warning;
  ASSERT_NE(to, std::string::npos) << warning;
  const std::string pasted = kThreeInputs + warning.substr(from, to + 3 - from);
  EXPECT_EQ(messages(pasted), "") << pasted;
}

// Against a published reference: the nearest correlation matrix to
// [[1, 1, 0], [1, 1, 1], [0, 1, 1]] has off-diagonals 0.7607, 0.1573,
// 0.7607 (Higham 2002, IMA J. Numer. Anal. 22, 329-343). The eigenvalue
// floor of 1e-5 moves them a little. The result is a correlation matrix.
TEST(RunPlan, NearestCorrelationMatchesHigham) {
  const SquareMatrix a{3, {1, 1, 0, 1, 1, 1, 0, 1, 1}};
  const SquareMatrix x = nearest_correlation(a);
  ASSERT_EQ(x.k, 3u);
  EXPECT_NEAR(x(0, 1), 0.7607, 2e-3);
  EXPECT_NEAR(x(0, 2), 0.1573, 2e-3);
  EXPECT_NEAR(x(1, 2), 0.7607, 2e-3);
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(x(i, i), 1.0);
    for (std::size_t j = 0; j < i; ++j)
      EXPECT_EQ(x(i, j), x(j, i)) << i << ", " << j << " differ by " << x(i, j) - x(j, i);
  }
  EXPECT_GE(smallest(x), 0.0);
}

// npv and irr against closed forms: a level annuity's present value
// C (1 - (1 + r)^-n) / r; flows whose rate is 10 % (110 / 1.1, 121 / 1.1^2,
// 133.1 / 1.1^3), -10 % (81 / 0.9^2) and 0 (they add up to 0);
// flows with two rates (10 % and 20 %: -100 + 230 x - 132 x^2 with x =
// 1 / (1 + r) has roots 1/1.1 and 1/1.2), of which the search finds the one
// nearest 0; and flows with no rate, which give NaN and say why.
TEST(Formulas, NpvAndIrrMatchClosedForms) {
  const double annuity[] = {0, 250, 250, 250, 250, 250};
  EXPECT_NEAR(net_present_value(0.07, annuity, 6), 250 * (1 - std::pow(1.07, -5)) / 0.07, 1e-9);
  const std::vector<std::pair<std::vector<double>, double>> rates = {
      {{-100, 110}, 0.1}, {{-100, 0, 121}, 0.1}, {{-100, 230, -132}, 0.1},
      {{100, -110}, 0.1}, {{-100, 0, 0, 133.1}, 0.1}, {{-100, 0, 81}, -0.1},
      {{-1000, 250, 250, 250, 250}, 0.0}};
  for (const auto& [flows, r] : rates) {
    const double irr = internal_rate_of_return(flows.data(), static_cast<int>(flows.size()));
    EXPECT_NEAR(irr, r, 1e-12) << flows.size() << " flows, " << flows.back();
    EXPECT_NEAR(net_present_value(irr, flows.data(), static_cast<int>(flows.size())), 0, 1e-9);
  }
  const std::vector<std::pair<std::vector<double>, FunctionFailure>> none = {
      {{100, 50, 0, 20}, FunctionFailure::irr_no_change},
      {{0, 0}, FunctionFailure::irr_no_change},
      {{100, -300, 300}, FunctionFailure::irr_no_root}};  // 100 - 300 x + 300 x^2 > 0
  for (const auto& [flows, why] : none) {
    function_failure() = FunctionFailure::none;
    EXPECT_TRUE(std::isnan(internal_rate_of_return(flows.data(), static_cast<int>(flows.size()))));
    EXPECT_EQ(function_failure(), why) << flows[0];
  }
}

// The formulas' functions in a run, iteration by iteration, against the same
// figures computed here in double from the inputs: npv and irr, muParser's
// sum, min, max and the conditional, and constants defined for every
// formula, which the report's header lists.
TEST(Formulas, FunctionsAndConstantsInARun) {
  Overrides o;
  o.iterations = 200;
  o.tolerance = 1e-9;
  const auto r = run_text(
      "[constants]\nrate = 0.08\nflow = 60\n"
      "[inputs]\na = { dist = \"uniform\", min = 80, max = 130 }\nb = { dist = \"normal\", mean = 0, sd = 1 }\n"
      "[outputs]\nv = \"npv(rate, -a, flow, flow)\"\nr = \"irr(-a, flow, flow)\"\n"
      "s = \"sum(a, b, 1) + min(a, b) * max(a, 2 * b) + (b > 0 ? 1 : -1)\"\n", o);
  const Samples& s = r->samples();
  ASSERT_EQ(s.n, 200);
  for (std::size_t i = 0; i < 200; ++i) {
    const double a = s.columns[0][i], b = s.columns[1][i];
    // Two equal flows F after -a: with x = 1 / (1 + r), F x^2 + F x - a = 0.
    const double x = (-60 + std::sqrt(3600 + 240 * a)) / 120;
    EXPECT_EQ(s.outputs[0][i], static_cast<float>(-a + 60 / 1.08 + 60 / (1.08 * 1.08))) << i;
    EXPECT_FLOAT_EQ(s.outputs[1][i], static_cast<float>(1 / x - 1)) << i;
    EXPECT_EQ(s.outputs[2][i],
              static_cast<float>(a + b + 1 + std::min(a, b) * std::max(a, 2 * b) + (b > 0 ? 1 : -1)))
        << i;
  }
  EXPECT_NE(text_report(r->report).find("\nconstants:   rate = 0.08\n             flow = 60\n"),
            std::string::npos);
}

}  // namespace
