// Rank correlation: the worked examples, random samples against Pearson's
// coefficient of the mid-ranks computed here independently, constant samples
// and short counts, and the ranking helpers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <numeric>
#include <random>
#include <vector>

#include "export/velmprob.h"
#include "stats/spear.h"
#include "support/ranks.h"

namespace {

using velm_test::midranks;
using velm_test::pearson;

float spear16(const std::vector<float>& a, const std::vector<float>& b) {
  const auto n = static_cast<int16_t>(a.size());
  return VELMSPEAR(&n, a.data(), b.data());
}

TEST(Spear, WorkedExamples) {
  const std::vector<float> a = {1, 2, 3, 4, 5};
  EXPECT_FLOAT_EQ(spear16(a, {2, 4, 6, 8, 10}), 1.0f);
  EXPECT_FLOAT_EQ(spear16(a, {10, 8, 6, 4, 2}), -1.0f);
  // Ties: ranks of DATA2 1, 2, 3.5, 5, 3.5; TY = 6, DSQ = 3.5.
  const float expected = static_cast<float>((1.0 - (6.0 / 120.0) * (3.5 + 0.5)) / std::sqrt(1.0 - 6.0 / 120.0));
  EXPECT_FLOAT_EQ(spear16(a, {5, 6, 7, 8, 7}), expected);
  EXPECT_NEAR(expected, 0.8207827f, 1e-7f);
  // Monotone but not linear.
  std::vector<float> cube;
  for (float v : {-3.0f, -1.5f, 0.2f, 2.0f, 7.0f, 9.5f}) cube.push_back(v * v * v);
  EXPECT_FLOAT_EQ(spear16({-3.0f, -1.5f, 0.2f, 2.0f, 7.0f, 9.5f}, cube), 1.0f);

  float dsq, zdev, pdev, rho, prho;
  std::vector<float> w1(5), w2(5);
  const std::vector<float> b = {5, 6, 7, 8, 7};
  velm::spear(a.data(), b.data(), 5, w1.data(), w2.data(), dsq, zdev, pdev, rho, prho);
  EXPECT_FLOAT_EQ(dsq, 3.5f);
  EXPECT_GT(prho, 0.0f);
  EXPECT_LT(prho, 0.2f);
  EXPECT_GT(pdev, 0.0f);
  EXPECT_LT(pdev, 1.0f);
}

// Constant samples and fewer than two pairs have no coefficient, for every
// count (single-precision tie sums used to leave a residue for many counts).
TEST(Spear, ConstantAndShortSamplesGiveNaN) {
  std::mt19937 rng(5);
  std::uniform_real_distribution<float> u(-1.0f, 1.0f);
  std::vector<int> counts;
  for (int n = 1; n <= 64; ++n) counts.push_back(n);
  for (int n : {100, 101, 999, 4096, 32767}) counts.push_back(n);
  for (int n : counts) {
    std::vector<float> a(static_cast<std::size_t>(n)), c(static_cast<std::size_t>(n), 2.5f);
    for (auto& v : a) v = u(rng);
    EXPECT_TRUE(std::isnan(spear16(a, c))) << n;
    EXPECT_TRUE(std::isnan(spear16(c, a))) << n;
    EXPECT_TRUE(std::isnan(spear16(c, c))) << n;
  }
  // No pairs: nothing is read.
  for (int16_t n : {int16_t{0}, int16_t{-1}, int16_t{-32768}}) {
    EXPECT_TRUE(std::isnan(VELMSPEAR(&n, nullptr, nullptr)));
  }
}

// Without one pair that has both values, there is nothing to correlate:
// all-NaN samples, and samples whose NaNs fall on complementary rows.
TEST(Spear, NoCompletePairGivesNaN) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const std::vector<float> all(5, nan);
  EXPECT_TRUE(std::isnan(spear16(all, all)));
  EXPECT_TRUE(std::isnan(spear16({1, 2, 3, 4, 5}, all)));
  EXPECT_TRUE(std::isnan(spear16({1, nan, 3, nan, 5}, {nan, 2, nan, 4, nan})));
  EXPECT_TRUE(std::isnan(spear16({nan, nan, 3, 4, 5}, {1, 2, nan, nan, nan})));
}

TEST(Spear, RandomSamplesAgainstPearsonOnMidRanks) {
  std::mt19937 rng(17);
  std::normal_distribution<float> z(0.0f, 1.0f);
  std::uniform_int_distribution<int> small(0, 6);
  for (int n : {3, 7, 8, 25, 100, 1000, 32767}) {
    for (int shape = 0; shape < 3; ++shape) {
      std::vector<float> a(static_cast<std::size_t>(n)), b(a.size());
      for (std::size_t i = 0; i < a.size(); ++i) {
        // continuous, heavy ties in one sample, ties in both
        a[i] = shape == 2 ? static_cast<float>(small(rng)) : z(rng);
        b[i] = shape == 0 ? 0.6f * a[i] + z(rng) : static_cast<float>(small(rng)) + 0.3f * a[i];
        if (shape >= 1) b[i] = std::round(b[i]);
      }
      const std::vector<float> a0 = a, b0 = b;
      const float rho = spear16(a, b);
      EXPECT_EQ(std::memcmp(a.data(), a0.data(), a.size() * sizeof(float)), 0);
      EXPECT_EQ(std::memcmp(b.data(), b0.data(), b.size() * sizeof(float)), 0);
      const double expected = pearson(midranks(a), midranks(b));
      EXPECT_NEAR(rho, expected, 2e-6 + 1e-6 * std::fabs(expected)) << "n " << n << " shape " << shape;
    }
  }
}

TEST(Spear, SortAndRankHelpers) {
  std::mt19937 rng(23);
  std::uniform_int_distribution<int> v(0, 40);
  for (int n : {1, 2, 6, 7, 8, 50, 3000}) {
    std::vector<float> arr(static_cast<std::size_t>(n)), brr(arr.size());
    for (int i = 0; i < n; ++i) {
      arr[static_cast<std::size_t>(i)] = static_cast<float>(v(rng));
      brr[static_cast<std::size_t>(i)] = static_cast<float>(i);
    }
    const std::vector<float> original = arr;
    velm::sort2(n, arr.data(), brr.data());
    EXPECT_TRUE(std::is_sorted(arr.begin(), arr.end()));
    std::vector<bool> seen(arr.size(), false);
    for (int i = 0; i < n; ++i) {
      const auto from = static_cast<std::size_t>(brr[static_cast<std::size_t>(i)]);
      EXPECT_FALSE(seen[from]);
      seen[from] = true;
      EXPECT_EQ(arr[static_cast<std::size_t>(i)], original[from]);  // pairs stay together
    }
    // Tie sum: sum of t^3 - t over groups, exactly.
    std::vector<int> count(41, 0);
    for (float x : original) ++count[static_cast<std::size_t>(x)];
    double ts = 0;
    for (int t : count) ts += static_cast<double>(t) * t * t - t;
    const std::vector<float> sorted = arr;
    EXPECT_EQ(velm::rankties(n, arr.data()), ts);
    std::vector<double> ranks = midranks(sorted);
    for (int i = 0; i < n; ++i) EXPECT_EQ(arr[static_cast<std::size_t>(i)], ranks[static_cast<std::size_t>(i)]);
  }
}

TEST(Spear, ErfcFit) {
  for (float x = -4.0f; x <= 9.0f; x += 0.125f) {
    const double exact = std::erfc(static_cast<double>(x));
    // Fit error 1.2e-7, plus the single-precision rounding of the exponent
    // (about z^2 times the spacing of 1).
    EXPECT_NEAR(velm::erfcfit(x), exact, (2e-7 + 1.2e-7 * (x * x + 2.0)) * exact + 1e-37) << x;
  }
}

}  // namespace
