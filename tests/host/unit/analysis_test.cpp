// The analysis of a run: contingency drivers, the risk table, the figures
// against base and target and the listed percentiles, each recomputed here
// from the samples with plain arithmetic or the statistics edition's exports
// called directly; and data that never varies, which the library would warn
// about on standard output.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "host/velmsim/analysis/compare.h"
#include "tests/host/unit/support.h"
#include "tests/support/ranks.h"

namespace {

using namespace velmsim_unit;

// VELMQTIL at one proportion, and VELMSTAT, on the first n values of x.
float quantile(const std::vector<float>& x, int n, float p) {
  const auto n16 = static_cast<std::int16_t>(n);
  const std::int16_t one = 1;
  float q = 0;
  editions().statistics().qtil(&n16, x.data(), &one, &p, &q);
  return q;
}

std::array<float, 15> describe(const std::vector<float>& x, int n) {
  const auto n16 = static_cast<std::int16_t>(n);
  const std::int16_t one = 1;
  std::array<float, 15> stat{};
  editions().statistics().stat(&n16, &one, x.data(), &n16, stat.data());
  return stat;
}

std::size_t column_index(const Model& m, const std::string& name) {
  const std::vector<std::string> names = m.column_names();
  return static_cast<std::size_t>(std::find(names.begin(), names.end(), name) - names.begin());
}

// total is the sum of its columns a, b, the pair's d and the risk r (a risk
// is a driver whether listed or not); c and e are left out of both.
const std::string kAdditive =
    "[inputs]\n"
    "a = { dist = \"triangular\", low = 10, mode = 20, high = 60 }\n"
    "b = { dist = \"lognormal\", mean = 30, sd = 12 }\n"
    "c = { dist = \"uniform\", min = 0, max = 5 }\n"
    "p = { dist = \"normal_pair\", mean = [40, 8], sd = [6, 2], rho = 0.5,"
    " names = [\"d\", \"e\"] }\n"
    "r = { dist = \"risk\", p = 0.15, impact = { dist = \"uniform\", min = 20, max = 40 } }\n"
    "[outputs]\n"
    "total = \"a + b + d + r\"\n"
    "fixed = \"7\"\n"
    "[run]\n"
    "iterations = 3000\n"
    "block = 1000\n";

// The drivers of 'total' against the tail excesses computed here from the
// sample columns and P80 from VELMQTIL; the variance shares from a plain
// Spearman coefficient of every column. The sum's drivers account for all of
// its tail excess and P80 contingency; an output that never varies has none;
// shares = "all" lists every column.
TEST(Analysis, DriversAreTheTailExcessesOfTheColumns) {
  const auto run = run_text(kAdditive + "shares = [\"b\", \"a\", \"d\"]\n");
  const Samples& s = run->samples();
  ASSERT_EQ(s.n, 3000);
  const std::vector<float>& y = s.outputs[0];
  const float p80 = quantile(y, s.n, 0.8f);
  const OutputSummary& out = run->report.outputs[0];
  EXPECT_EQ(out.p80, p80);

  double y_all = 0, y_tail = 0, tail = 0;
  std::map<std::string, double> all, in_tail, rho;
  double rho2 = 0;
  for (const std::string& name : run->model.column_names()) {
    const std::vector<float>& x = s.columns[column_index(run->model, name)];
    rho[name] = velm_test::spearman(x, y);
    rho2 += rho[name] * rho[name];
    for (std::size_t i = 0; i < 3000; ++i) {
      all[name] += x[i];
      in_tail[name] += y[i] >= p80 ? x[i] : 0.0;
    }
  }
  for (std::size_t i = 0; i < 3000; ++i) {
    y_all += y[i];
    y_tail += y[i] >= p80 ? y[i] : 0.0;
    tail += y[i] >= p80;
  }
  const double mean = y_all / 3000, tail_excess = y_tail / tail - mean;
  EXPECT_EQ(out.tail, static_cast<int>(tail));
  EXPECT_NEAR(out.tail_excess, tail_excess, 1e-9 * mean);

  std::set<std::string> names;
  for (const Driver& d : out.drivers) names.insert(d.name);
  ASSERT_EQ(names, (std::set<std::string>{"a", "b", "d", "r"}));
  ASSERT_EQ(out.drivers.size(), 4u);
  double shares = 0, allocated = 0;
  for (std::size_t k = 0; k < out.drivers.size(); ++k) {
    const Driver& d = out.drivers[k];
    EXPECT_EQ(d.risk, d.name == "r");
    const double excess = in_tail[d.name] / tail - all[d.name] / 3000;
    EXPECT_NEAR(d.excess, excess, 1e-9 * mean) << d.name;
    EXPECT_NEAR(d.share, excess / tail_excess, 1e-9) << d.name;
    EXPECT_NEAR(d.allocation, excess / tail_excess * (p80 - mean), 1e-9 * mean) << d.name;
    EXPECT_NEAR(d.variance_share, rho[d.name] * rho[d.name] / rho2, 1e-5) << d.name;
    if (k > 0) {
      EXPECT_GE(out.drivers[k - 1].excess, d.excess) << "largest excess first";
    }
    shares += d.share;
    allocated += d.allocation;
  }
  EXPECT_NEAR(shares, 1.0, 1e-9);
  EXPECT_NEAR(allocated, p80 - mean, 1e-9 * mean);
  EXPECT_NEAR(out.p80_minus_mean, p80 - mean, 1e-9 * mean);

  const OutputSummary& fixed = run->report.outputs[1];
  EXPECT_TRUE(fixed.constant);
  EXPECT_TRUE(fixed.drivers.empty());
  EXPECT_EQ(fixed.p80_minus_mean, 0.0);

  const auto every = run_text(kAdditive + "shares = \"all\"\n");
  EXPECT_EQ(every->report.outputs[0].drivers.size(), every->model.columns.size());
}

// The risk table agrees with the samples it summarises, and the overrides
// (seed, iterations, block, percentiles) take the place of the file's [run].
TEST(Analysis, RiskTableAgreesWithTheSamplesAndOverridesTakeEffect) {
  Overrides o;
  o.seed = 5;
  o.iterations = 300;
  o.block = 100;
  o.percentiles = {75, 25};
  const auto run = run_text(slurp(std::string(VELM_MODELS_DIR) + "/kinds.toml"), o);
  const Report& report = run->report;
  EXPECT_EQ(report.seed, 5);
  EXPECT_EQ(report.iterations, 300);
  EXPECT_EQ(report.block, 100);
  EXPECT_EQ(report.trace.size(), 2u);  // checks after 100 and 200 iterations
  const Samples& s = run->samples();
  ASSERT_EQ(s.n, 300);
  const std::vector<float>& r1 = s.columns[column_index(run->model, "r1")];
  const std::vector<float>& r2 = s.columns[column_index(run->model, "r2")];
  const auto occurred1 = std::count_if(r1.begin(), r1.end(), [](float v) { return v != 0; });
  const auto occurred2 = std::count(r2.begin(), r2.end(), 7.5f);
  ASSERT_EQ(occurred2 + std::count(r2.begin(), r2.end(), 0.0f), 300);

  ASSERT_EQ(report.outputs.size(), 2u);
  for (std::size_t k = 0; k < 2; ++k) {
    const OutputSummary& out = report.outputs[k];
    const std::vector<float>& y = s.outputs[k];
    ASSERT_EQ(out.risks.size(), 2u);
    const RiskLine &a = out.risks[0], &b = out.risks[1];
    EXPECT_EQ(a.name, "r1");
    EXPECT_EQ(a.p, 0.3f);
    EXPECT_EQ(a.rate, static_cast<double>(occurred1) / 300);
    EXPECT_EQ(a.mean_impact, describe(s.impacts[0], 300)[0]);
    EXPECT_EQ(a.expected_impact, 0.3f * static_cast<double>(a.mean_impact));
    EXPECT_NEAR(a.rho, velm_test::spearman(r1, y), 1e-5);
    EXPECT_EQ(b.name, "r2");
    EXPECT_EQ(b.rate, static_cast<double>(occurred2) / 300);
    EXPECT_EQ(b.mean_impact, 7.5f);
    EXPECT_EQ(b.expected_impact, 0.6f * 7.5);
    std::vector<double> shown;
    for (const auto& [percent, value] : out.percentiles) {
      shown.push_back(percent);
      EXPECT_EQ(value, quantile(y, 300, static_cast<float>(percent / 100))) << percent;
    }
    EXPECT_EQ(shown, (std::vector<double>{5, 25, 75, 95}));
    // The tornado: every column, strongest first by magnitude (ratio falls
    // with t, most strongly).
    const std::vector<std::string> names = run->model.column_names();
    ASSERT_EQ(out.tornado.size(), names.size());
    for (std::size_t t = 0; t < names.size(); ++t) {
      const Correlation& line = out.tornado[t];
      const std::vector<float>& x = s.columns[column_index(run->model, line.name)];
      EXPECT_NEAR(line.rho, velm_test::spearman(x, y), 1e-5) << out.name << " " << line.name;
      if (t > 0) {
        EXPECT_GE(std::fabs(out.tornado[t - 1].rho), std::fabs(line.rho)) << out.name << " " << t;
      }
    }
  }
  EXPECT_EQ(report.outputs[1].tornado[0].name, "t");
  EXPECT_LT(report.outputs[1].tornado[0].rho, -0.5f);
}

// The percentiles a report lists: those asked for with 5 and 95, ascending,
// each once.
TEST(Analysis, ListedPercentiles) {
  EXPECT_EQ(listed_percentiles({}), (std::vector<double>{5, 95}));
  EXPECT_EQ(listed_percentiles({90, 10, 50, 10, 95}), (std::vector<double>{5, 10, 50, 90, 95}));
  EXPECT_EQ(listed_percentiles({2.5, 99.9}), (std::vector<double>{2.5, 5, 95, 99.9}));
}

// The figures against base and target, from VELMQTIL's P50 and P80 and a
// count of the samples: the model's base and target, an output's own, a base
// of 0 (no percentage) and none. The geometric output takes its base's value
// in many iterations, which P(<= base) must count.
TEST(Analysis, FiguresAgainstBaseAndTarget) {
  const auto run = run_text(
      "[model]\nbase = 100\ntarget = 120\n"
      "[inputs]\na = { dist = \"normal\", mean = 110, sd = 15 }\n"
      "g = { dist = \"geometric\", p = 0.3 }\n"
      "[outputs]\n"
      "cost = \"a\"\n"
      "zero = { formula = \"a - 110\", base = 0, target = 0 }\n"
      "trials = { formula = \"g\", base = 3 }\n"
      "bare = { formula = \"2 * a\" }\n"
      "[run]\niterations = 2000\nblock = 1000\n");
  const Samples& s = run->samples();
  ASSERT_EQ(s.n, 2000);
  auto share_at_or_below = [&](std::size_t k, double limit) {
    const auto& y = s.outputs[k];
    return static_cast<double>(std::count_if(y.begin(), y.begin() + s.n,
                                             [&](float v) { return v <= limit; })) / s.n;
  };
  struct Case {
    std::size_t output;
    std::optional<double> base, target;
  };
  for (const Case& c : {Case{0, 100, 120}, Case{1, 0, 0}, Case{2, 3, {}}, Case{3, {}, {}}}) {
    const OutputSummary& out = run->report.outputs[c.output];
    const std::string what = out.name;
    EXPECT_EQ(out.base, c.base) << what;
    EXPECT_EQ(out.target, c.target) << what;
    const double p50 = quantile(s.outputs[c.output], s.n, 0.5f);
    const double p80 = quantile(s.outputs[c.output], s.n, 0.8f);
    ASSERT_EQ(out.against_base.has_value(), c.base.has_value()) << what;
    if (c.base) {
      const AgainstBase& b = *out.against_base;
      EXPECT_EQ(b.base, *c.base) << what;
      EXPECT_EQ(b.p50_minus_base, p50 - *c.base) << what;
      EXPECT_EQ(b.p80_minus_base, p80 - *c.base) << what;
      if (*c.base == 0) {
        EXPECT_FALSE(b.p50_percent.has_value()) << what;
        EXPECT_FALSE(b.p80_percent.has_value()) << what;
      } else {
        ASSERT_TRUE(b.p50_percent && b.p80_percent) << what;
        EXPECT_NEAR(*b.p50_percent, 100 * (p50 - *c.base) / *c.base, 1e-12) << what;
        EXPECT_NEAR(*b.p80_percent, 100 * (p80 - *c.base) / *c.base, 1e-12) << what;
      }
      EXPECT_EQ(b.below, share_at_or_below(c.output, *c.base)) << what;
    }
    EXPECT_EQ(out.below_target.has_value(), c.target.has_value()) << what;
    if (c.target) {
      EXPECT_EQ(*out.below_target, share_at_or_below(c.output, *c.target)) << what;
    }
  }
  // P(trials <= 3) counts the iterations equal to 3.
  EXPECT_GT(run->report.outputs[2].against_base->below,
            share_at_or_below(2, 2.5));
}

// Data that never varies: the wrapper gives the constant's statistics
// itself, NaN for a rank correlation with it, a convergence error of 0, and
// quantiles and an empty histogram; the library, which would warn about
// such data on standard output (checked first, so that the capture is known
// to see it), prints nothing. A whole run with a constant output and a
// constant input prints nothing either.
TEST(Analysis, DataThatNeverVaries) {
  std::vector<float> c(50, 2.5f), x(50);
  for (std::size_t i = 0; i < x.size(); ++i) x[i] = static_cast<float>(i % 7);
  testing::internal::CaptureStdout();
  describe(c, 50);
  const std::string library = testing::internal::GetCapturedStdout();
  EXPECT_NE(library, "");

  const Statistics& st = statistics();
  testing::internal::CaptureStdout();
  const Statistics::Description d = st.describe(c.data(), 50);
  const Statistics::Description zero = st.describe(std::vector<float>(8, 0.0f).data(), 8);
  const float rho_xc = st.spearman(x.data(), c.data(), 50);
  const float rho_cx = st.spearman(c.data(), x.data(), 50);
  const float error = st.convergence_error(c.data(), 50, 10);
  const std::vector<float> q = st.quantiles(c.data(), 50, {0.1f, 0.5f, 0.99f});
  const Histogram h = st.histogram(c.data(), 50, 2.5f, 2.5f, 12);
  const auto run = run_text(
      "[inputs]\nnever = { dist = \"yesno\", p = 0 }\nx = { dist = \"normal\", mean = 0, sd = 1 }\n"
      "[outputs]\nfive = \"5 + never\"\nz = \"x + never\"\n[run]\niterations = 400\nblock = 100\n");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");

  // Skewness and kurtosis are undefined without spread, and the coefficient
  // of variation with a mean of 0: missing, with the reason.
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const std::array<float, 15> want = {2.5f, 0, 0, nan, nan, 2.5f, 2.5f, 0, 0, 50, 2.5f, 2.5f, 0, 0, 0};
  for (std::size_t k = 0; k < 15; ++k) {
    EXPECT_TRUE(d.stat[k] == want[k] || (std::isnan(d.stat[k]) && std::isnan(want[k]))) << k;
    EXPECT_EQ(d.why[k] != nullptr, std::isnan(want[k])) << k;
  }
  EXPECT_TRUE(std::isnan(zero.stat[8]));
  EXPECT_STREQ(zero.why[8], kMeanZero);
  EXPECT_TRUE(std::isnan(rho_xc));
  EXPECT_TRUE(std::isnan(rho_cx));
  EXPECT_EQ(error, 0.0f);
  EXPECT_EQ(q, (std::vector<float>{2.5f, 2.5f, 2.5f}));
  EXPECT_TRUE(h.marks.empty() && h.tally.empty());

  const OutputSummary& five = run->report.outputs[0];
  EXPECT_TRUE(five.constant);
  EXPECT_EQ(five.stat[0], 5.0f);
  EXPECT_TRUE(five.histogram.marks.empty());
  for (const Checkpoint& point : run->trace) {
    if (point.n >= 200) {
      EXPECT_EQ(point.error[0], 0.0f) << point.n;
    }
  }
  const OutputSummary& z = run->report.outputs[1];
  EXPECT_FALSE(z.constant);
  ASSERT_EQ(z.tornado.size(), 2u);
  EXPECT_EQ(z.tornado[1].name, "never");
  EXPECT_TRUE(std::isnan(z.tornado[1].rho));
}

// VELMCNVERR compares the last m values with the n - m before them, which
// may never have varied (an output that is 0 until a rare risk first
// occurs): the library would call that converged, and warn on standard
// output. Such an error cannot be measured yet.
TEST(Analysis, DataThatBeginToVaryLate) {
  std::vector<float> late(200, 0.0f);
  for (std::size_t i = 100; i < 200; ++i) late[i] = static_cast<float>(i);
  testing::internal::CaptureStdout();
  EXPECT_TRUE(std::isnan(statistics().convergence_error(late.data(), 200, 100)));
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  // A rare risk that first occurs in the second block: not converged there.
  Overrides o;
  o.seed = 1;
  const auto r = run_text("[inputs]\nr = { dist = \"risk\", p = 0.01, impact = 5 }\n"
                          "[outputs]\ny = \"r\"\n[run]\niterations = 400\nblock = 100\n", o);
  EXPECT_GT(r->samples().n, 200);
}

}  // namespace

namespace {

// Moments of x in double precision, two passes: the independent reference.
struct Moments {
  double mean = 0, sd = 0, skewness = 0, kurtosis = 0;
};
Moments moments(const std::vector<float>& x) {
  Moments m;
  const double n = static_cast<double>(x.size());
  for (float v : x) m.mean += v / n;
  double m2 = 0, m3 = 0, m4 = 0;
  for (float v : x) {
    const double d = v - m.mean;
    m2 += d * d / n;
    m3 += d * d * d / n;
    m4 += d * d * d * d / n;
  }
  m.sd = std::sqrt(m2 * n / (n - 1));
  m.skewness = m3 / std::pow(m2, 1.5);
  m.kurtosis = m4 / (m2 * m2) - 3;
  return m;
}

// Samples whose single-precision moments overflow (a 5-billion cost with a
// 10 % spread) or underflow (values near 1e-30) keep every statistic: the
// wrapper scales them by a power of two, exactly, and back. The library
// prints nothing. A variance that cannot be written in single precision is
// missing, with the reason.
TEST(Analysis, WideAndNarrowSamplesKeepTheirStatistics) {
  std::vector<float> wide(3000), narrow(3000);
  std::uint32_t state = 12345;
  for (std::size_t i = 0; i < wide.size(); ++i) {
    double z = 0;  // a sum of twelve uniforms, less 6: near a standard normal
    for (int k = 0; k < 12; ++k) {
      state = state * 1664525u + 1013904223u;
      z += state / 4294967296.0;
    }
    wide[i] = static_cast<float>(5e9 + 5e8 * (z - 6));
    narrow[i] = static_cast<float>(1e-30 * (2 + (z - 6) / 4));
  }
  testing::internal::CaptureStdout();
  const Statistics::Description w = statistics().describe(wide.data(), wide.size());
  const Statistics::Description s = statistics().describe(narrow.data(), narrow.size());
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  for (const auto& [d, x] : {std::pair{&w, &wide}, std::pair{&s, &narrow}}) {
    const Moments m = moments(*x);
    EXPECT_NEAR(d->stat[0] / m.mean, 1, 1e-5);
    EXPECT_NEAR(d->stat[2] / m.sd, 1, 1e-4);
    EXPECT_NEAR(d->stat[3], m.skewness, 2e-3);
    EXPECT_NEAR(d->stat[4], m.kurtosis, 2e-3);
    EXPECT_NEAR(d->stat[8], m.sd / m.mean, 1e-5);
  }
  EXPECT_EQ(w.why[1], nullptr);
  EXPECT_NEAR(w.stat[1] / (moments(wide).sd * moments(wide).sd), 1, 2e-4);
  EXPECT_TRUE(std::isnan(s.stat[1]));
  EXPECT_STREQ(s.why[1], kUnderflows);
  // And where even the sample's own scale cannot hold a figure: the
  // variance of values near 1e19 spread over 2e19 overflows.
  std::vector<float> huge(100);
  for (std::size_t i = 0; i < huge.size(); ++i) huge[i] = static_cast<float>(1e19 + 2e19 * i / 99.0 - 1e21 * (i == 0));
  const Statistics::Description h = statistics().describe(huge.data(), huge.size());
  EXPECT_STREQ(h.why[1], kOverflows);
  EXPECT_TRUE(std::isfinite(h.stat[0]));
}

// B - A beyond single precision has no statistics: nothing is computed from
// infinities.
TEST(Analysis, DifferenceBeyondSinglePrecision) {
  const std::vector<float> a = {-3e38f, 1, 2, -3e38f}, b = {3e38f, 2, 3, 3e38f};
  testing::internal::CaptureStdout();
  const DifferenceSummary d = summarise_difference(statistics(), a, b, 4, {50}, 6);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(d.overflow, 2);
  EXPECT_TRUE(std::isnan(d.mean));
  EXPECT_TRUE(d.percentiles.empty());
  EXPECT_TRUE(d.histogram.tally.empty());
  EXPECT_EQ(d.b_greater, 1.0);
}

}  // namespace
