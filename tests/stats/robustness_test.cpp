// Random inputs full of awkward values (NaN, infinities, denormals, signed
// zeros, huge magnitudes) through the sort, quantile and histogram routines.
// The sanitizer build checks that nothing is read or written outside the
// exact-size arrays; here the outputs are checked for their expected shape.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <numeric>
#include <random>
#include <vector>

#include "export/velmprob.h"
#include "stats/frequency.h"
#include "stats/quantile.h"
#include "stats/sort.h"

namespace {

std::vector<float> awkward(int n, std::mt19937& rng, bool with_nan) {
  const float inf = std::numeric_limits<float>::infinity();
  const float specials[] = {inf, -inf, 1e-40f, -1e-45f, -0.0f, 0.0f, 3e38f, -3.4e38f, 1.0f, -1.0f};
  std::uniform_int_distribution<int> kind(0, 9);
  std::uniform_int_distribution<int> pick(0, 9);
  std::normal_distribution<float> z(0.0f, 10.0f);
  std::vector<float> v(static_cast<std::size_t>(n));
  for (auto& e : v) {
    int k = kind(rng);
    e = k < 5 ? z(rng) : k < 8 ? specials[pick(rng)] : static_cast<float>(pick(rng) - 5);
    if (with_nan && k == 9 && pick(rng) < 5) e = std::numeric_limits<float>::quiet_NaN();
  }
  return v;
}

std::vector<int> lengths(std::mt19937& rng) {
  std::vector<int> n = {1, 2, 11, 12, 32767};
  std::uniform_int_distribution<int> len(1, 600);
  for (int i = 0; i < 40; ++i) n.push_back(len(rng));
  return n;
}

std::vector<std::uint32_t> sorted_bits(const std::vector<float>& v) {
  std::vector<std::uint32_t> b(v.size());
  std::transform(v.begin(), v.end(), b.begin(), [](float x) { return std::bit_cast<std::uint32_t>(x); });
  std::sort(b.begin(), b.end());
  return b;
}

TEST(Robustness, Sorts) {
  std::mt19937 rng(101);
  for (int n : lengths(rng)) {
    for (bool with_nan : {false, true}) {
      const std::vector<float> ra = awkward(n, rng, with_nan);
      std::vector<float> rb(ra.size());
      std::vector<int16_t> iperm(ra.size());
      const auto n16 = static_cast<int16_t>(n);
      VELMSORT(&n16, ra.data(), rb.data(), iperm.data());
      std::vector<bool> seen(ra.size(), false);
      for (int i = 0; i < n; ++i) {
        const int p = iperm[i];
        ASSERT_TRUE(p >= 1 && p <= n && !seen[p - 1]) << "n " << n;
        seen[p - 1] = true;
        ASSERT_EQ(std::bit_cast<std::uint32_t>(rb[i]), std::bit_cast<std::uint32_t>(ra[p - 1]));
        if (!with_nan && i > 0) {
          ASSERT_LE(std::fabs(rb[i - 1]), std::fabs(rb[i]));
        }
      }
      velm::SVRGN(n, ra.data(), rb.data());
      ASSERT_EQ(sorted_bits(rb), sorted_bits(ra));
      if (!with_nan) {
        ASSERT_TRUE(std::is_sorted(rb.begin(), rb.end()));
      }
    }
  }
}

// NaNs taken as partitioning elements leave segments whose left neighbour is
// greater than their keys; an unbounded insertion shift would then run off
// the front of the array (found by fuzzing; the sanitizer build reports it).
TEST(Robustness, NaNsVoidTheInsertionSentinel) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const std::vector<float> ra = {8,  46, 24, 49, 9,  40, 42, 2,  nan, nan, 27, 45, 39,
                                 45, 13, 7,  26, 46, 37, 46, 40, 27, 25, 31,  32};
  std::vector<float> rb(ra.size());
  velm::SVRGN(25, ra.data(), rb.data());
  EXPECT_EQ(sorted_bits(rb), sorted_bits(ra));
  std::vector<int16_t> iperm(ra.size());
  const int16_t n = 25;
  VELMSORT(&n, ra.data(), rb.data(), iperm.data());
  EXPECT_EQ(sorted_bits(rb), sorted_bits(ra));
}

TEST(Robustness, Quantiles) {
  std::mt19937 rng(202);
  std::uniform_real_distribution<float> u(0.0f, 1.0f);
  int shape = 0;
  for (int n : lengths(rng)) {
    std::vector<float> x = awkward(n, rng, true);
    x[static_cast<std::size_t>(n / 2)] = 1.5f;  // at least one usable value
    if (++shape % 3 == 0) {
      // In order with NaNs last: read in place.
      std::sort(x.begin(), x.end(),
                [](float a, float b) { return !std::isnan(a) && (std::isnan(b) || a < b); });
    }
    std::vector<float> p;
    for (int i = 0; i < 5; ++i) {
      float v = std::max(u(rng), 1e-7f);
      // Alternately all in the lower tail, all in the upper tail, or mixed
      // (long data only mixed: selection there is slow under the sanitizer).
      if (n < 1000 && shape % 4 == 1) v *= 0.2f;
      if (n < 1000 && shape % 4 == 2) v = std::min(0.8f + 0.2f * v, 0.99999994f);
      p.push_back(std::min(v, 0.99999994f));
    }
    const std::vector<float> before = x;
    std::vector<float> q(5), lo(5), hi(5);
    int32_t missing = -1;
    velm::EQTIL(n, x.data(), 5, p.data(), q.data(), lo.data(), hi.data(), missing);
    ASSERT_EQ(sorted_bits(x), sorted_bits(before));
    ASSERT_EQ(std::memcmp(x.data(), before.data(), x.size() * sizeof(float)), 0);
    ASSERT_EQ(missing, std::count_if(x.begin(), x.end(), [](float e) { return std::isnan(e); }));
    for (int i = 0; i < 5; ++i) {
      ASSERT_TRUE(std::find(x.begin(), x.end(), lo[i]) != x.end());
      ASSERT_TRUE(std::find(x.begin(), x.end(), hi[i]) != x.end());
      ASSERT_LE(lo[i], hi[i]);
    }
  }
}

TEST(Robustness, Histogram) {
  std::mt19937 rng(303);
  std::uniform_int_distribution<int> classes(3, 60);
  const float bounds[][2] = {{-1.0f, 1.0f}, {0.0f, 1e-40f}, {-3e38f, 3e38f}, {-1e30f, -1e29f},
                             {5.0f, std::numeric_limits<float>::infinity()}};
  int round = 0;
  for (int n : lengths(rng)) {
    const std::vector<float> x = awkward(n, rng, false);
    const auto k = static_cast<int16_t>(classes(rng));
    const auto& b = bounds[round++ % 5];
    std::vector<float> div(static_cast<std::size_t>(k)), tally(static_cast<std::size_t>(k));
    const auto n16 = static_cast<int16_t>(n);
    VELMHIST(&n16, x.data(), &b[0], &b[1], &k, div.data(), tally.data());
    ASSERT_EQ(std::accumulate(tally.begin(), tally.end(), 0.0f), static_cast<float>(n));
    velm::OWFRQ(n, x.data(), k, 0, 0, 0, 0, div.data(), tally.data());
    ASSERT_EQ(std::accumulate(tally.begin(), tally.end(), 0.0f), static_cast<float>(n));
  }
}

}  // namespace
