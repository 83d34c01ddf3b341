// The partition-exchange sorts and VELMSORT: exact results against an
// independent model, the permutation property on many input shapes, signed
// zeros, and the messages for a length that is not positive.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "export/velmprob.h"
#include "stats/sort.h"
#include "support/probe.h"
#include "tests/stats/sort_data.inc"

namespace {

std::uint32_t bits(float x) { return std::bit_cast<std::uint32_t>(x); }

struct Sorted {
  std::vector<float> rb;
  std::vector<int16_t> iperm;
};

Sorted velmsort(const std::vector<float>& ra) {
  Sorted out{std::vector<float>(ra.size()), std::vector<int16_t>(ra.size())};
  const auto n = static_cast<int16_t>(ra.size());
  VELMSORT(&n, ra.data(), out.rb.data(), out.iperm.data());
  return out;
}

TEST(Sort, SmallExamples) {
  Sorted s = velmsort({-3.0f, 1.0f, 2.0f});
  EXPECT_EQ(s.rb, (std::vector<float>{1.0f, 2.0f, -3.0f}));
  EXPECT_EQ(s.iperm, (std::vector<int16_t>{2, 3, 1}));
  s = velmsort({4.5f});
  EXPECT_EQ(s.rb, std::vector<float>{4.5f});
  EXPECT_EQ(s.iperm, std::vector<int16_t>{1});
}

// Ties and equal magnitudes: the places of equal keys and of their labels
// follow from the partitioning and must match the model exactly.
TEST(Sort, MatchesModelOnTies) {
  for (const auto& c : velm_test::sort_model_cases()) {
    SCOPED_TRACE(c.input.size());
    Sorted s = velmsort(c.input);
    std::vector<int32_t> labels(s.iperm.begin(), s.iperm.end());
    EXPECT_EQ(labels, c.labels);
    ASSERT_EQ(s.rb.size(), c.by_magnitude.size());
    for (std::size_t i = 0; i < s.rb.size(); ++i) EXPECT_EQ(bits(s.rb[i]), bits(c.by_magnitude[i]));

    std::vector<float> rb(c.input.size());
    velm::SVRGN(static_cast<int32_t>(rb.size()), c.input.data(), rb.data());
    for (std::size_t i = 0; i < rb.size(); ++i) EXPECT_EQ(bits(rb[i]), c.ascending_bits[i]) << i;

    // The caller's labels travel unchanged in value, and RA may be RB.
    std::vector<int32_t> own(c.input.size());
    for (std::size_t i = 0; i < own.size(); ++i) own[i] = 1000 + 3 * static_cast<int32_t>(i);
    std::vector<float> inplace = c.input;
    velm::SVRBP(static_cast<int32_t>(own.size()), inplace.data(), inplace.data(), own.data());
    for (std::size_t i = 0; i < own.size(); ++i) {
      EXPECT_EQ(own[i], 1000 + 3 * (c.labels[i] - 1));
      EXPECT_EQ(bits(inplace[i]), bits(c.by_magnitude[i]));
    }
  }
}

std::vector<float> shaped(const std::string& shape, int n, std::mt19937& rng) {
  std::uniform_real_distribution<float> u(-100.0f, 100.0f);
  std::uniform_int_distribution<int> small(-3, 3);
  std::vector<float> v(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i) {
    if (shape == "random") v[i] = u(rng);
    if (shape == "sorted") v[i] = static_cast<float>(i);
    if (shape == "reverse") v[i] = static_cast<float>(n - i);
    if (shape == "equal") v[i] = 2.5f;
    if (shape == "ties") v[i] = static_cast<float>(std::abs(small(rng)));
    if (shape == "signs") v[i] = static_cast<float>(small(rng));
    if (shape == "organ") v[i] = static_cast<float>(std::min(i, n - i));
  }
  return v;
}

// RB(i) = RA(IPERM(i)) bit for bit, IPERM a permutation of 1..N, RB in order
// of magnitude; SVRGN gives the ascending order of the same values.
TEST(Sort, PermutationOnManyShapes) {
  std::mt19937 rng(7);
  for (const char* shape : {"random", "sorted", "reverse", "equal", "ties", "signs", "organ"}) {
    for (int n : {1, 2, 3, 11, 12, 13, 25, 100, 4000, 32767}) {
      SCOPED_TRACE(std::string(shape) + " " + std::to_string(n));
      std::vector<float> ra = shaped(shape, n, rng);
      Sorted s = velmsort(ra);
      std::vector<bool> seen(ra.size(), false);
      for (int i = 0; i < n; ++i) {
        int p = s.iperm[i];
        ASSERT_TRUE(p >= 1 && p <= n && !seen[p - 1]);
        seen[p - 1] = true;
        ASSERT_EQ(bits(s.rb[i]), bits(ra[p - 1]));
        if (i > 0) {
          ASSERT_LE(std::fabs(s.rb[i - 1]), std::fabs(s.rb[i]));
        }
      }
      std::vector<float> rb(ra.size());
      velm::SVRGN(n, ra.data(), rb.data());
      std::vector<float> expect = ra;
      std::sort(expect.begin(), expect.end());
      ASSERT_EQ(rb, expect);
    }
  }
}

TEST(Sort, NegativeZeroKeepsItsSign) {
  const std::vector<float> ra = {-0.0f, 1.0f, 0.0f, -0.0f, -1.0f, 0.0f};
  Sorted s = velmsort(ra);
  for (std::size_t i = 0; i < ra.size(); ++i) EXPECT_EQ(bits(s.rb[i]), bits(ra[s.iperm[i] - 1]));
  std::vector<float> rb(ra.size());
  velm::SVRGN(6, ra.data(), rb.data());
  EXPECT_EQ(std::count_if(rb.begin(), rb.end(), [](float x) { return bits(x) == bits(-0.0f); }),
            2);
}

TEST(Sort, CountNotPositiveStops) {
  const char* sort_message =
      "\n"
      " *** TERMINAL ERROR 1 from SVRBP.  The length of vectors RA, RB, and IPERM\n"
      " ***          must be greater than or equal to one.  On input the length, N, \n"
      " ***          is given as ";
  for (const char* n : {"0", "-5"}) {
    auto r = velm_test::run_probe("velmsort_count", {n});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.output, sort_message + std::string(n) + ".\n");
  }
  auto r = velm_test::run_probe("svrgn_count", {"0"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.output,
            "\n"
            " *** TERMINAL ERROR 1 from SVRGN.  N = 0.  The length of RA and RB, N, must\n"
            " ***          be greater than or equal to one.\n");
  r = velm_test::run_probe("velmsort_no_storage");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.output,
            "\n"
            " *** TERMINAL ERROR 2 from VELMSORT.  The required storage cannot be\n"
            " ***          allocated.  The workspace requirement is based on N = 5\n");
}

}  // namespace
