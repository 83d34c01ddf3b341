// The engine: every sample is what the library's exports give on the
// iteration's substream, called here through a binding of their own; the
// samples do not depend on the thread count, also for runs that stop early;
// an output that is not finite stops the run at its earliest iteration.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "host/velmsim/engine/substreams.h"
#include "tests/host/unit/support.h"

namespace {

using namespace velmsim_unit;

const std::string kKinds = std::string(VELM_MODELS_DIR) + "/kinds.toml";
const std::string kExamples = VELM_EXAMPLES_DIR;

// One iteration of kinds.toml drawn by direct export calls in the order the
// file declares the inputs: its columns, its risks' occurrences and impacts.
struct KindsRow {
  std::vector<float> columns, impacts;
  std::vector<std::uint8_t> occurred;
};

KindsRow draw_kinds(const DirectExports& x) {
  const float m2 = -2, p3 = 3, ten = 10, two = 2, three = 3, one5 = 1.5f, zero = 0, one = 1,
              four = 4, five = 5, half = 0.5f, seven = 0.7f, p02 = 0.2f, mrho = -0.7f, p03 = 0.3f,
              hundred = 100, forty = 40, p06 = 0.6f, p04 = 0.4f;
  KindsRow r;
  std::vector<float>& c = r.columns;
  c.push_back(x.uniform(&m2, &p3));
  c.push_back(x.normal(&ten, &two));
  c.push_back(x.lognormal(&three, &one5));
  c.push_back(x.triang(&zero, &one, &four));
  c.push_back(x.beta(&two, &five));
  c.push_back(static_cast<float>(10.0 + 2.5 * static_cast<double>(x.beta(&half, &seven))));
  c.push_back(static_cast<float>(x.geometric(&p02)));
  float a = 0, b = 0;
  x.crnormal(&one, &half, &five, &two, &mrho, &a, &b);
  c.push_back(a);
  c.push_back(b);
  const bool r1 = x.yesno(&p03) != 0;
  const float impact = x.lognormal(&hundred, &forty);  // drawn whether or not r1 occurs
  c.push_back(r1 ? impact : 0.0f);
  const bool r2 = x.yesno(&p06) != 0;
  c.push_back(r2 ? 7.5f : 0.0f);
  c.push_back(static_cast<float>(x.yesno(&p04)));
  r.occurred = {r1, r2};
  r.impacts = {impact, 7.5f};
  return r;
}

// Iteration i of the samples against the row drawn here, and kinds.toml's
// outputs recomputed from that row as the formulas say, in double.
void expect_iteration(const KindsRow& want, const Samples& s, int i) {
  const auto u = static_cast<std::size_t>(i);
  ASSERT_EQ(s.columns.size(), want.columns.size());
  double total = 0;
  for (std::size_t c = 0; c < want.columns.size(); ++c) {
    EXPECT_EQ(s.columns[c][u], want.columns[c]) << "iteration " << i << ", column " << c;
    total += want.columns[c];
  }
  for (std::size_t r = 0; r < 2; ++r) {
    EXPECT_EQ(s.occurred[r][u], want.occurred[r]) << "iteration " << i << ", risk " << r;
    EXPECT_EQ(s.impacts[r][u], want.impacts[r]) << "iteration " << i << ", risk " << r;
  }
  const double n = want.columns[1], t = want.columns[3];
  EXPECT_EQ(s.outputs[0][u], static_cast<float>(total)) << "iteration " << i;
  EXPECT_EQ(s.outputs[1][u], static_cast<float>(std::max(n, 1.0) / (t + 1.0) - 40.0 / 100.0))
      << "iteration " << i;
}

// The first n iterations of two runs' samples are the same.
void expect_same_samples(const Samples& a, const Samples& b, const std::string& what) {
  ASSERT_EQ(a.n, b.n) << what;
  auto same = [&](const auto& x, const auto& y, const char* name) {
    ASSERT_EQ(x.size(), y.size()) << what;
    for (std::size_t k = 0; k < x.size(); ++k)
      EXPECT_TRUE(std::equal(x[k].begin(), x[k].begin() + a.n, y[k].begin()))
          << what << ": " << name << " " << k;
  };
  same(a.columns, b.columns, "column");
  same(a.outputs, b.outputs, "output");
  same(a.occurred, b.occurred, "occurrence");
  same(a.impacts, b.impacts, "impact");
}

// Every sample of a two-thread run is what the exports give from iteration
// i's substream. The substream seed is found from the library itself: the
// state its generator holds after 65536 uniforms from the previous
// substream's seed.
TEST(Engine, SamplesAreTheExportsOnEachSubstream) {
  Overrides o;
  o.threads = 2;
  const auto r = run_text(slurp(kKinds), o);
  ASSERT_EQ(r->samples().n, 600);
  const DirectExports& x = direct();
  std::int32_t seed = 987654;
  const float lo = 0, hi = 1;
  for (int i = 0; i < 600; ++i) {
    if (i > 0) {
      x.set_seed(&seed);
      for (int k = 0; k < 65536; ++k) x.uniform(&lo, &hi);
      seed = x.get_seed();
    }
    ASSERT_EQ(substream_seed(987654, i), seed) << "iteration " << i;
    x.set_seed(&seed);
    expect_iteration(draw_kinds(x), r->samples(), i);
    if (HasFailure()) return;
  }
}

// A PERT input is the beta export with shapes alpha = 1 + 4 (mode - min) /
// (max - min) and beta = 1 + 4 (max - mode) / (max - min), in single
// precision, mapped onto [min, max] in double and rounded once; lambda
// weighs the mode. Its plan is the mode.
TEST(Engine, PertAndConstantInputs) {
  const auto r = run_text("[inputs]\nd = { dist = \"pert\", min = 10, mode = 13, max = 30 }\n"
                          "w = { dist = \"pert\", min = 0, mode = 1, max = 2, lambda = 9 }\n"
                          "[outputs]\ny = \"d + w\"\n[run]\niterations = 200\nseed = 31\n");
  const DirectExports& x = direct();
  const float a = 1.6f, b = 4.4f, a9 = 5.5f, b9 = 5.5f;  // 1 + 4 * 3/20, 1 + 4 * 17/20; 1 + 9/2
  for (int i = 0; i < 200; ++i) {
    const std::int32_t seed = substream_seed(31, i);
    x.set_seed(&seed);
    const double d = 10.0 + 20.0 * static_cast<double>(x.beta(&a, &b));
    const double w = 2.0 * static_cast<double>(x.beta(&a9, &b9));
    ASSERT_EQ(r->samples().columns[0][static_cast<std::size_t>(i)], static_cast<float>(d)) << i;
    ASSERT_EQ(r->samples().columns[1][static_cast<std::size_t>(i)], static_cast<float>(w)) << i;
  }
  EXPECT_EQ(distribution(Dist::pert).planned(r->model.inputs[0].draw), 13);
  // A constant draws nothing: the inputs after it keep their draws.
  const auto c = run_text("[inputs]\nk = { dist = \"constant\", value = 4.5 }\n"
                          "d = { dist = \"pert\", min = 10, mode = 13, max = 30 }\n"
                          "w = { dist = \"pert\", min = 0, mode = 1, max = 2, lambda = 9 }\n"
                          "[outputs]\ny = \"k + d + w\"\n[run]\niterations = 200\nseed = 31\n");
  for (std::size_t i = 0; i < 200; ++i) {
    ASSERT_EQ(c->samples().columns[0][i], 4.5f);
    ASSERT_EQ(c->samples().columns[1][i], r->samples().columns[0][i]) << i;
    ASSERT_EQ(c->samples().columns[2][i], r->samples().columns[1][i]) << i;
  }
  EXPECT_NE(messages("[inputs]\nd = { dist = \"pert\", min = 10, mode = 31, max = 30 }\n"
                     "[outputs]\ny = \"d\"\n")
                .find("m.toml:2:39: error: 'mode' of input 'd' must lie between 'min' (10) and "
                      "'max' (30), not 31"),
            std::string::npos);
}

// The statistics edition samples on the same substreams, through its own
// exports.
TEST(Engine, StatsSamplerUsesTheStatisticsEdition) {
  Overrides o;
  o.sampler = Sampler::stats;
  o.iterations = 200;
  o.block = 100;
  o.seed = 777;
  const auto r = run_text(slurp(kExamples + "/project_cost.toml"), o);
  ASSERT_EQ(r->samples().n, 200);
  const DirectExports& x = direct(Sampler::stats);
  const float h[3] = {800, 1000, 1500}, rate[2] = {85, 10}, mat[2] = {40000, 8000}, ov[2] = {2, 8},
              per[2] = {2000, 6000}, p = 0.3f;
  for (int i = 0; i < 200; ++i) {
    const std::int32_t seed = substream_seed(777, i);
    x.set_seed(&seed);
    const std::vector<float> want = {
        x.triang(&h[0], &h[1], &h[2]), x.normal(&rate[0], &rate[1]),
        x.lognormal(&mat[0], &mat[1]),  x.beta(&ov[0], &ov[1]),
        x.uniform(&per[0], &per[1]),    static_cast<float>(x.geometric(&p))};
    for (std::size_t c = 0; c < want.size(); ++c)
      ASSERT_EQ(r->samples().columns[c][static_cast<std::size_t>(i)], want[c])
          << "iteration " << i << ", column " << c;
  }
}

// With one_stream the host seeds the stream once and draws every iteration
// from where the last one left it, across blocks.
TEST(Engine, OneStreamIsAHostThatSeedsOnce) {
  Overrides o;
  o.one_stream = true;
  const auto r = run_text(slurp(kKinds), o);
  ASSERT_EQ(r->samples().n, 600);
  const DirectExports& x = direct();
  const std::int32_t seed = 987654;
  x.set_seed(&seed);
  for (int i = 0; i < 600; ++i) {
    expect_iteration(draw_kinds(x), r->samples(), i);
    if (HasFailure()) return;
  }
}

// 1, 2 and 3 threads give the same samples, for models with risks, with
// rank correlation (whose blocks are reordered whole; a correlation group's
// among them), and with tables, percentile forms and a truncation; the last
// block is shorter than the others.
TEST(Engine, ThreadCountChangesNothing) {
  for (const char* model : {"/warehouse.toml", "/warehouse-correlated.toml", "/cost_register.toml", "/npv.toml"}) {
    Overrides o;
    o.iterations = 3000;
    o.block = 700;
    o.tolerance = 1e-9;
    const auto one = run_text(slurp(kExamples + model), o);
    ASSERT_EQ(one->samples().n, 3000);
    for (const int threads : {2, 3}) {
      o.threads = threads;
      const auto more = run_text(slurp(kExamples + model), o);
      expect_same_samples(one->samples(), more->samples(),
                          model + std::string(", threads ") + std::to_string(threads));
    }
  }
}

// With more threads a correlated run draws blocks ahead of the one asked
// for. A run that stops early, converged after an odd number of blocks or at
// an output that is not finite (first in the second block, with a block
// drawn ahead of it), ends exactly where one thread's does.
TEST(Engine, RunsThatStopEarlyIgnoreThreads) {
  Overrides converging;
  converging.tolerance = 0.02;
  converging.block = 300;
  Overrides failing;
  failing.iterations = 20000;
  failing.block = 100;
  const std::string failing_model =
      "[inputs]\nx = { dist = \"uniform\", min = -1, max = 1 }\n"
      "y = { dist = \"uniform\", min = 0, max = 1 }\n"
      "[correlation]\nx.y = 0.5\n"
      "[outputs]\nz = \"sqrt(x + 0.999) + y\"\n";
  const auto converged = run_text(slurp(kExamples + "/warehouse-correlated.toml"), converging);
  ASSERT_TRUE(converged->result.converged);
  EXPECT_LT(converged->samples().n, converged->plan.iterations);
  const auto failed = run_text(failing_model, failing);
  const Failure& first = failed->result.failure;
  ASSERT_GE(first.iteration, 100);
  ASSERT_LT(first.iteration, 200);
  EXPECT_EQ(failed->samples().n, 100);

  for (const int threads : {2, 3}) {
    const std::string what = "threads " + std::to_string(threads);
    converging.threads = failing.threads = threads;
    const auto c = run_text(slurp(kExamples + "/warehouse-correlated.toml"), converging);
    EXPECT_TRUE(c->result.converged) << what;
    expect_same_samples(converged->samples(), c->samples(), what);
    const auto f = run_text(failing_model, failing);
    EXPECT_EQ(f->result.failure.iteration, first.iteration) << what;
    EXPECT_EQ(f->result.failure.output, first.output) << what;
    EXPECT_EQ(f->result.failure.row, first.row) << what;
    expect_same_samples(failed->samples(), f->samples(), what);
  }
}

// An output that is not finite is a Failure naming the earliest such
// iteration (found here from the exports), the output and the iteration's
// column values, whatever thread drew it; the run stops before counting the
// block. The seed puts the first failure in the second thread's share of the
// block and another in the third's.
TEST(Engine, NonFiniteOutputIsAFailure) {
  const std::string model =
      "[inputs]\nx = { dist = \"uniform\", min = -1, max = 1 }\n"
      "w = { dist = \"normal\", mean = 0, sd = 1 }\n"
      "[outputs]\nfine = \"x + w\"\ny = \"sqrt(x + 0.998) + w\"\n"
      "[run]\niterations = 6000\nblock = 3000\nseed = 4711\n";
  const DirectExports& d = direct();
  const float lo = -1, hi = 1, mean = 0, sd = 1;
  std::vector<int> bad;
  std::vector<std::vector<float>> rows;
  for (int i = 0; i < 3000; ++i) {
    const std::int32_t seed = substream_seed(4711, i);
    d.set_seed(&seed);
    const float x = d.uniform(&lo, &hi), w = d.normal(&mean, &sd);
    if (static_cast<double>(x) + 0.998 < 0) {
      bad.push_back(i);
      rows.push_back({x, w});
    }
  }
  ASSERT_GE(bad.size(), 2u);
  ASSERT_GE(bad[0], 1000);
  ASSERT_LT(bad[0], 2000);
  ASSERT_GE(bad.back(), 2000);
  for (const int threads : {1, 3}) {
    Overrides o;
    o.threads = threads;
    const auto r = run_text(model, o);
    const Failure& f = r->result.failure;
    EXPECT_EQ(f.iteration, bad[0]) << "threads " << threads;
    EXPECT_EQ(f.output, 1) << "threads " << threads;
    EXPECT_EQ(f.row, rows[0]) << "threads " << threads;
    EXPECT_EQ(r->samples().n, 0) << "threads " << threads;
    EXPECT_FALSE(r->result.converged);
  }
}

// irr of flows that never change sign is NaN, and the failure says why.
TEST(Engine, IrrWithoutARateIsAFailureThatSaysWhy) {
  const auto r = run_text("[inputs]\na = { dist = \"uniform\", min = 1, max = 2 }\n"
                          "[outputs]\ny = \"a\"\nr = \"irr(a, 60, 60)\"\n");
  const Failure& f = r->result.failure;
  EXPECT_EQ(f.iteration, 0);
  EXPECT_EQ(f.output, 1);
  EXPECT_EQ(f.why, "irr found no rate at which the cash flows' net present value is 0 (they do "
                   "not change sign)");
}

}  // namespace
