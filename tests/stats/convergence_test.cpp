// Convergence error: the worked cases in-process, refused counts through
// probe scenarios (they end the process).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "export/velmprob.h"
#include "support/probe.h"

namespace {

float cnverr(int16_t m, const std::vector<float>& x) {
  const auto n = static_cast<int16_t>(x.size());
  return VELMCNVERR(&m, &n, x.data());
}

TEST(Convergence, WorkedCases) {
  const std::vector<float> x = {1, 2, 3, 4, 5, 6, 7, 8};
  EXPECT_EQ(cnverr(0, x), 0.0f);
  // SD1 = sqrt(5/3) for 1..4; the 0.9 quantile moves from 4 to 8.
  const float expected = static_cast<float>(4.0 / std::sqrt(5.0 / 3.0));
  EXPECT_FLOAT_EQ(cnverr(4, x), expected);
  // A NaN is left out of both snapshots.
  const float nan = std::numeric_limits<float>::quiet_NaN();
  EXPECT_FLOAT_EQ(cnverr(4, {1, nan, 2, 3, 4, 5, 6, 7, 8}), expected);
  EXPECT_FLOAT_EQ(cnverr(5, {1, 2, 3, 4, 5, 6, 7, nan, 8}), expected);
  // Constant earlier values: SD1 = 0 and the result is 0.
  EXPECT_EQ(cnverr(3, {2, 2, 2, 2, 9, 1, 5}), 0.0f);
  // One earlier value: SD1 is NaN, and so is the result.
  EXPECT_TRUE(std::isnan(cnverr(7, x)));
}

// A plain computation: two means, two standard deviations and the (n + 1) p
// quantiles of both snapshots.
TEST(Convergence, AgainstPlainArithmetic) {
  std::vector<float> x;
  for (int i = 0; i < 500; ++i) x.push_back(static_cast<float>(std::sin(i * 0.7) * 10 + i * 0.01));
  auto summary = [&](int k, double out[6]) {
    std::vector<double> v(x.begin(), x.begin() + k);
    double mean = 0;
    for (double e : v) mean += e;
    mean /= k;
    double ss = 0;
    for (double e : v) ss += (e - mean) * (e - mean);
    out[0] = std::sqrt(ss / (k - 1));
    out[1] = mean;
    std::sort(v.begin(), v.end());
    const double p[4] = {0.1, 0.25, 0.75, 0.9};
    for (int i = 0; i < 4; ++i) {
      const double pos = (k + 1) * p[i];
      const int j = static_cast<int>(pos);
      const double frac = pos - j;
      out[2 + i] = (1 - frac) * v[static_cast<std::size_t>(j - 1)] + frac * v[static_cast<std::size_t>(j)];
    }
  };
  for (int16_t m : {int16_t{1}, int16_t{37}, int16_t{250}}) {
    double a[6], b[6];
    summary(500 - m, a);
    summary(500, b);
    double expected = 0;
    for (int i = 0; i < 6; ++i) expected = std::max(expected, std::fabs(b[i] - a[i]) / a[0]);
    EXPECT_NEAR(cnverr(m, x), expected, 1e-4 * expected + 1e-6) << m;
  }
}

TEST(Convergence, RefusedCounts) {
  // A negative M would make the earlier snapshot longer than X.
  auto r = velm_test::run_probe("velmcnverr_counts", {"-1", "8"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.output,
            "\n"
            " *** TERMINAL ERROR 1 from VELMCNVERR.  M = -1.  M must be greater than or\n"
            " ***          equal to 0.\n");
  r = velm_test::run_probe("velmcnverr_counts", {"-32768", "5"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.output.find("M = -32768.  M must be greater than"), std::string::npos);
  // M above N: the statistics routine refuses the non-positive count (and
  // leading dimension) of the earlier snapshot.
  r = velm_test::run_probe("velmcnverr_counts", {"9", "8"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.output.find("ERROR 7 from U2STA.  LDX = -1.  LDX must be greater than or"),
            std::string::npos) << r.output;
  // A negative N with a positive M must not wrap round to a positive count.
  for (const char* n : {"-32768", "-32000", "-1"}) {
    r = velm_test::run_probe("velmcnverr_counts", {"32767", n});
    EXPECT_EQ(r.status, 1) << n;
    EXPECT_NE(r.output.find("ERROR 7 from U2STA.  LDX = -32768.  LDX must be greater than"),
              std::string::npos) << r.output;
    EXPECT_EQ(r.output.find("returned"), std::string::npos);
  }
}

}  // namespace
