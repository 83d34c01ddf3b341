// The analysis at scale: copies of the statistics edition in threads of
// their own give the same report as one; convergence checks spaced
// geometrically; each percentile's interval from order statistics against
// scipy's binomial distribution; the precision stop; outputs computed but
// not reported.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "host/velmsim/analysis/convergence.h"
#include "host/velmsim/analysis/percentile_interval.h"
#include "host/velmsim/render/render.h"
#include "tests/host/unit/support.h"

namespace {

using namespace velmsim_unit;

// 60 inputs of four kinds, a correlated pair of them, three outputs of which
// one hidden.
std::string wide_model() {
  std::string m = "[inputs]\n";
  const char* kinds[] = {"{ dist = \"triangular\", low = 1, mode = 2, high = 6 }",
                         "{ dist = \"normal\", mean = 3, sd = 0.5 }",
                         "{ dist = \"uniform\", min = 1, max = 5 }",
                         "{ dist = \"risk\", p = 0.2, impact = 4 }"};
  std::string sum;
  for (int i = 0; i < 60; ++i) {
    m += "x" + std::to_string(i) + " = " + kinds[i % 4] + "\n";
    sum += (i ? " + x" : "x") + std::to_string(i);
  }
  return m + "[correlation]\nx0.x1 = 0.5\nx2.x5 = -0.3\n[outputs]\n"
             "part = { formula = \"x0 + x1 + x2\", report = false }\n"
             "total = \"" + sum + "\"\nratio = \"part / total\"\n"
             "[run]\niterations = 3000\nblock = 400\ntolerance = 1e-9\nshares = \"all\"\n";
}

// Where no copies can be had (under the sanitizers) these tests would prove
// nothing.
#define NEEDS_COPIES()                                                           \
  if (!velm_host::kOwnNamespaces) GTEST_SKIP() << "no namespaces of their own"; \
  ASSERT_EQ(editions().statistics_copies().size(), 3u)

TEST(Scale, CopiesOfTheStatisticsEditionChangeNoFigure) {
  NEEDS_COPIES();
  std::string one;
  for (int threads : {1, 2, 3}) {
    Overrides o;
    o.threads = threads;
    auto r = run_text(wide_model(), o);
    ASSERT_EQ(r->report.outputs.size(), 2u);  // part is not reported
    r->report.threads = 1;
    const std::string json = json_report(r->report) + text_report(r->report);
    if (threads == 1)
      one = json;
    else
      EXPECT_EQ(json, one) << threads << " threads";
  }
}

// A pool hands item i to copy i % size, in that copy's thread, and rethrows
// the lowest item's exception after every item has run or failed. (The
// items call no export, so one copy may stand for three.)
TEST(Scale, PoolAssignsItemsByIndexAndRethrowsTheFirstFailure) {
  const StatisticsExports* one = &editions().statistics();
  const StatisticsPool three({one, one, one}, 3);
  ASSERT_EQ(three.size(), 3u);
  std::vector<const Statistics*> by(7);
  three.for_each(7, [&](std::size_t i, const Statistics& st) { by[i] = &st; });
  for (std::size_t i = 0; i < 7; ++i) EXPECT_EQ(by[i], by[i % 3]) << i;
  EXPECT_NE(by[0], by[1]);
  try {
    three.for_each(9, [](std::size_t i, const Statistics&) {
      if (i == 4 || i == 8 || i == 6) throw std::runtime_error(std::to_string(i));
    });
    ADD_FAILURE() << "no exception";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "4");
  }
}

// Checks fall after the first block, then once the sample has doubled: for
// blocks of 3 up to 40 iterations at 3, 6, 12 and 24; the checked sample
// sizes add up to at most twice the final one for any block.
TEST(Scale, ConvergenceChecksAreSpacedGeometrically) {
  Overrides o;
  o.block = 3;
  o.iterations = 40;
  o.tolerance = 1e-9;
  const auto r = run_text("[inputs]\nx = { dist = \"uniform\", min = 0, max = 1 }\n"
                          "[outputs]\ny = \"x\"\n", o);
  std::vector<int> at;
  for (const Checkpoint& c : r->trace) at.push_back(c.n);
  EXPECT_EQ(at, (std::vector<int>{3, 6, 12, 24}));
  for (int block : {2, 7, 500, 32767}) {
    long checked = 0;
    for (int n = block, last = 0; n <= 32767; n = std::min(n + block, 32767)) {
      if (check_due(n, last, block)) checked += last = n;
      if (n == 32767) break;
    }
    EXPECT_LE(checked, 2 * 32767) << "blocks of " << block;
  }
}

TEST(Scale, PercentileRanksAreTheBinomialOnes) {
  struct Case {
    int n;
    double p;
    int l, u;
  };
  const Case cases[] = {
#include "tests/host/unit/percentile_ranks_data.inc"
  };
  for (const Case& c : cases)
    EXPECT_EQ(percentile_ranks(c.n, c.p), std::make_pair(c.l, c.u)) << c.n << ", " << c.p;
}

// In a run, each listed percentile's interval is the pair of order
// statistics at those ranks and holds the percentile; where the sample is
// too small for a tail the interval reaches beyond it.
TEST(Scale, PercentileIntervalsAreOrderStatistics) {
  Overrides o;
  o.iterations = 59;
  o.block = 59;
  o.percentiles = {50, 99};
  const auto r = run_text("[inputs]\nx = { dist = \"lognormal\", mean = 5, sd = 3 }\n"
                          "[outputs]\ny = \"x\"\n", o);
  std::vector<float> y(r->samples().outputs[0].begin(), r->samples().outputs[0].begin() + 59);
  std::sort(y.begin(), y.end());
  const OutputSummary& s = r->report.outputs[0];
  ASSERT_EQ(s.intervals.size(), s.percentiles.size());
  for (std::size_t i = 0; i < s.percentiles.size(); ++i) {
    const auto [p, v] = s.percentiles[i];
    const auto [l, u] = percentile_ranks(59, p / 100);
    const auto [low, high] = s.intervals[i];
    EXPECT_EQ(low, l > 0 ? y[static_cast<std::size_t>(l - 1)] : -INFINITY) << p;
    EXPECT_EQ(high, u <= 59 ? y[static_cast<std::size_t>(u - 1)] : INFINITY) << p;
    EXPECT_LE(low, v) << p;
    EXPECT_GE(high, v) << p;
  }
  EXPECT_EQ(s.intervals.back().second, INFINITY);  // P99 of 59 draws
  EXPECT_NE(text_report(r->report).find("  P99 "), std::string::npos);
  EXPECT_NE(text_report(r->report).find(" to above max\n"), std::string::npos);
}

// With a precision the run goes on past convergence until every listed
// percentile's interval is narrow enough, and stops at the first check
// where it is.
TEST(Scale, PrecisionStopsARunOnlyWhenEveryIntervalIsNarrow) {
  const std::string model =
      "[inputs]\nx = { dist = \"normal\", mean = 10, sd = 2 }\n[outputs]\ny = \"x\"\n"
      "[run]\niterations = 32767\nblock = 500\ntolerance = 0.5\n";
  const auto loose = run_text(model);
  Overrides o;
  o.precision = 0.1;
  const auto precise = run_text(model, o);
  ASSERT_TRUE(precise->result.converged);
  EXPECT_GT(precise->samples().n, loose->samples().n);
  const std::vector<Checkpoint>& trace = precise->trace;
  ASSERT_GE(trace.size(), 2u);
  EXPECT_LT(trace.back().precision[0], 0.1);
  EXPECT_GE(trace[trace.size() - 2].precision[0], 0.1);
  EXPECT_NE(text_report(precise->report).find("Precision: at each check"), std::string::npos);
}

TEST(Scale, HiddenOutputsAreComputedButNotReported) {
  const auto r = run_text(wide_model());
  const Report& rep = r->report;
  ASSERT_EQ(rep.outputs.size(), 2u);
  EXPECT_EQ(rep.outputs[0].name, "total");
  EXPECT_EQ(rep.outputs[1].name, "ratio");
  for (const Checkpoint& c : rep.trace) EXPECT_EQ(c.error.size(), 2u);
  const std::string csv = csv_rows(r->model, r->samples());
  EXPECT_NE(csv.substr(0, csv.find('\n')).find(",part,"), std::string::npos);
  const std::string in = "[inputs]\nx = { dist = \"uniform\", min = 0, max = 1 }\n[outputs]\n";
  EXPECT_EQ(messages(in + "y = { formula = \"x\", report = \"no\" }\n"),
            "m.toml:4:31: error: 'report' must be true or false\n"
            "y = { formula = \"x\", report = \"no\" }\n                              ^\n");
  EXPECT_EQ(messages(in + "y = { formula = \"x\", report = false }\n"),
            "m.toml:4:1: error: every output says report = false: at least one must be reported\n"
            "y = { formula = \"x\", report = false }\n^\n");
}

}  // namespace
