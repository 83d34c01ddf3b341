// Empirical quantiles: the (n + 1) * p rule against a direct computation on a
// sorted copy, the in-place and copying paths, the tail-selection paths
// against the full sort, and the messages.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "export/velmprob.h"
#include "stats/quantile.h"
#include "stats/sort.h"
#include "support/probe.h"

namespace {

const float kNaN = std::numeric_limits<float>::quiet_NaN();
const float kJustBelowOne = 0.99999994f;  // (n + 1) * p rounds to n + 1 for n = 2^k - 1

struct Quantiles {
  std::vector<float> q, lo, hi;
  int32_t missing = -1;
};

Quantiles eqtil(const std::vector<float>& x, const std::vector<float>& p) {
  Quantiles r{std::vector<float>(p.size()), std::vector<float>(p.size()),
              std::vector<float>(p.size())};
  const std::vector<float> before = x;
  velm::EQTIL(static_cast<int32_t>(x.size()), x.data(), static_cast<int32_t>(p.size()), p.data(),
              r.q.data(), r.lo.data(), r.hi.data(), r.missing);
  EXPECT_EQ(0, std::memcmp(before.data(), x.data(), x.size() * sizeof(float))) << "X changed";
  return r;
}

// The rule written out directly: sort the usable values, FN = (n + 1) * p,
// J = FN * (1 + 2^-23) truncated, interpolate between x(J) and x(J + 1).
void expect_rule(const std::vector<float>& x, const std::vector<float>& p, const Quantiles& r) {
  std::vector<float> v;
  for (float e : x) {
    if (!std::isnan(e)) v.push_back(e);
  }
  std::sort(v.begin(), v.end());
  const int n = static_cast<int>(v.size());
  EXPECT_EQ(r.missing, static_cast<int32_t>(x.size()) - n);
  for (std::size_t i = 0; i < p.size(); ++i) {
    const float eps = 1.1920929e-07f;
    float fn = p[i] * static_cast<float>(n + 1);
    int j = static_cast<int>(fn * (1.0f + eps));
    float frac = fn - static_cast<float>(j);
    float lo, hi, q;
    if (j >= n) {
      lo = hi = q = v[n - 1];
    } else if (j == 0) {
      lo = hi = q = v[0];
    } else if (std::fabs(frac) <= eps * static_cast<float>(j)) {
      lo = hi = q = v[j - 1];
    } else {
      lo = v[j - 1];
      hi = v[j];
      q = hi - lo < 5.9604645e-08f ? lo : (1.0f - frac) * lo + frac * hi;
    }
    EXPECT_EQ(r.q[i], q) << "p = " << p[i] << ", n = " << n;
    EXPECT_EQ(r.lo[i], lo) << "p = " << p[i];
    EXPECT_EQ(r.hi[i], hi) << "p = " << p[i];
  }
}

TEST(Quantile, SmallExamples) {
  const std::vector<float> p = {0.5f, 0.25f, 0.1f, 0.9f};
  for (const auto& x : {std::vector<float>{1, 2, 3, 4, 5}, std::vector<float>{4, 1, 5, 2, 3}}) {
    Quantiles r = eqtil(x, p);
    EXPECT_EQ(r.q, (std::vector<float>{3, 1.5f, 1, 5}));
    EXPECT_EQ(r.lo, (std::vector<float>{3, 1, 1, 5}));
    EXPECT_EQ(r.hi, (std::vector<float>{3, 2, 1, 5}));
    EXPECT_EQ(r.missing, 0);
  }
  for (const auto& x : {std::vector<float>{1, kNaN, 3}, std::vector<float>{1, 3, kNaN},
                        std::vector<float>{kNaN, 3, 1}}) {
    Quantiles r = eqtil(x, {0.5f});
    EXPECT_EQ(r.missing, 1);
    EXPECT_EQ(r.q[0], 2.0f);
    EXPECT_EQ(r.lo[0], 1.0f);
    EXPECT_EQ(r.hi[0], 3.0f);
  }
}

// Data with ties, in order or not, with NaNs nowhere, interleaved or
// trailing; proportions at and around 1 / (n + 1) and n / (n + 1).
TEST(Quantile, FollowsTheRule) {
  std::mt19937 rng(11);
  std::uniform_int_distribution<int> value(-20, 20);
  std::uniform_real_distribution<float> prop(0.0f, 1.0f);
  for (int n : {1, 2, 3, 5, 7, 11, 12, 50, 1000}) {
    for (int layout = 0; layout < 6; ++layout) {
      std::vector<float> x(static_cast<std::size_t>(n));
      for (auto& e : x) e = static_cast<float>(value(rng)) * 0.25f;
      if (layout % 2 == 1) std::sort(x.begin(), x.end());
      if (layout >= 2) x.insert(x.begin() + (layout >= 4 ? n : n / 2), kNaN);
      if (layout >= 4) x.push_back(kNaN);
      const float m = static_cast<float>(n + 1);
      std::vector<float> p = {1.0f / m, 0.999f / m, 1.001f / m, n / m, n / m * 0.9999f,
                              kJustBelowOne, 1e-30f, 0.5f};
      for (int i = 0; i < 8; ++i) p.push_back(std::max(prop(rng), 1e-6f));
      SCOPED_TRACE("n = " + std::to_string(n) + ", layout " + std::to_string(layout));
      expect_rule(x, p, eqtil(x, p));
    }
  }
}

// Proportions all in one tail are served by partial selection; the results
// equal those of the full sort (forced here by adding the median).
TEST(Quantile, TailPathsMatchFullSort) {
  std::mt19937 rng(5);
  std::uniform_int_distribution<int> value(0, 30);
  for (int n : {1, 2, 5, 12, 40, 300}) {
    for (bool upper : {false, true}) {
      std::uniform_real_distribution<float> prop(upper ? 0.8f : 1e-4f, upper ? 1.0f : 0.2f);
      std::vector<float> x(static_cast<std::size_t>(n));
      for (auto& e : x) e = static_cast<float>(value(rng)) - 10.0f;
      x.insert(x.begin(), kNaN);  // never in place
      std::vector<float> p = {upper ? 0.8f : 0.2f, upper ? kJustBelowOne : 1e-30f};
      for (int i = 0; i < 6; ++i) p.push_back(prop(rng));
      Quantiles tail = eqtil(x, p);
      p.push_back(0.5f);
      Quantiles full = eqtil(x, p);
      SCOPED_TRACE("n = " + std::to_string(n));
      for (std::size_t i = 0; i + 1 < p.size(); ++i) {
        EXPECT_EQ(tail.q[i], full.q[i]);
        EXPECT_EQ(tail.lo[i], full.lo[i]);
        EXPECT_EQ(tail.hi[i], full.hi[i]);
      }
      p.pop_back();
      expect_rule(x, p, tail);
    }
  }
}

// Order statistics are found by selection; with both signed zeros present the
// zero at each position is the one the designed ordering (missing values
// moved to the end, then the sort) puts there.
TEST(Quantile, SignedZerosFollowTheDesignedOrdering) {
  std::mt19937 rng(11);
  std::uniform_int_distribution<int> pick(0, 3);
  for (int trial = 0; trial < 50; ++trial) {
    std::vector<float> x = {kNaN};
    for (int i = 0; i < 41; ++i) {
      const int k = pick(rng);
      x.push_back(k == 0 ? -0.0f : k == 1 ? 0.0f : k == 2 ? -1.0f : 1.0f);
    }
    std::vector<float> p;
    for (int i = 1; i <= 41; ++i) p.push_back(static_cast<float>(i) / 42.0f);
    const Quantiles r = eqtil(x, p);
    std::vector<float> ordered = x;
    int32_t missing = 0;
    velm::U1MVV(static_cast<int32_t>(ordered.size()), ordered.data(), missing);
    velm::SVRGN(41, ordered.data(), ordered.data());
    for (int i = 0; i < 41; ++i) {
      EXPECT_EQ(std::bit_cast<uint32_t>(r.q[i]), std::bit_cast<uint32_t>(ordered[i])) << i;
      EXPECT_EQ(std::bit_cast<uint32_t>(r.lo[i]), std::bit_cast<uint32_t>(ordered[i])) << i;
    }
  }
}

// Rounding can make J = n + 1; the largest value comes back and nothing past
// the data is read (the sanitizer build watches the exact-size arrays).
TEST(Quantile, ProportionJustBelowOne) {
  for (int n : {7, 32767}) {
    std::vector<float> x(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) x[i] = static_cast<float>((i * 7919) % n);
    for (bool in_order : {false, true}) {
      if (in_order) std::sort(x.begin(), x.end());
      Quantiles r = eqtil(x, {kJustBelowOne});
      const float largest = static_cast<float>(n - 1);
      EXPECT_EQ(r.q[0], largest);
      EXPECT_EQ(r.lo[0], largest);
      EXPECT_EQ(r.hi[0], largest);
    }
  }
}

TEST(Quantile, MoveMissingToTheEnd) {
  std::vector<float> x = {kNaN, 1, kNaN, 2, 3, kNaN};
  int32_t missing = 0;
  velm::U1MVV(6, x.data(), missing);
  EXPECT_EQ(missing, 3);
  EXPECT_EQ(std::vector<float>(x.begin(), x.begin() + 3), (std::vector<float>{3, 1, 2}));
  EXPECT_TRUE(std::isnan(x[3]) && std::isnan(x[4]) && std::isnan(x[5]));
}

TEST(Quantile, Messages) {
  const std::string trace =
      "     Here is a traceback of subprogram calls in reverse order:\n"
      "     Routine name                    Error type  Error code\n"
      "     ------------                    ----------  ----------\n";
  const std::string callers =
      "    (Called internally)\n"
      "     EQTIL                                0           0\n"
      "     USER                                 0           0\n";
  const std::string nqprop =
      "\n"
      " *** TERMINAL ERROR 2 from E2TIL.  NQPROP = 0.  There must be at least one\n"
      " ***          quantile to compute.\n" +
      trace + "     E2TIL                                5           2" + callers;
  const std::string qprop_tail =
      "The quantile\n"
      " ***          proportion must be greater than 0.0 and less than  1.0.\n" +
      trace + "     E2TIL                                5           3" + callers;
  const struct {
    velm_test::ProbeArgs args;
    std::string output;
  } cases[] = {
      {{"0", "1", "0.5"},
       "\n"
       " *** TERMINAL ERROR 4 from EQTIL.  NOBS = 0.  There must be at least one\n"
       " ***          observation.\n"},
      {{"3", "0", "0.5"}, nqprop},
      {{"3", "0", "0.5", "sorted"}, nqprop},
      {{"3", "3", "0.5", "1", "nan"},
       "\n *** TERMINAL ERROR 3 from E2TIL.  QPROP(2) = 1.000000E+00.  " + qprop_tail},
      {{"3", "3", "0.5", "-0.25", "sorted"},
       "\n *** TERMINAL ERROR 3 from E2TIL.  QPROP(2) = -2.500000E-01.  " + qprop_tail},
  };
  for (const auto& c : cases) {
    auto r = velm_test::run_probe("velmqtil", c.args);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.output, c.output);
  }

  auto r = velm_test::run_probe("velmqtil_all_missing");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.output,
            "\n"
            " *** WARNING  ERROR 1 from EQTIL.  All of the observations are missing\n"
            " ***          values.  The elements of Q, XLO and XHI have been set to NaN \n"
            " ***          (not a number).\n"
            "returned nan nan\n");
  r = velm_test::run_probe("velmqtil_no_storage", {"2"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.output,
            "\n"
            " *** TERMINAL ERROR 2 from EQTIL.  The required storage cannot be allocated. \n"
            " ***          The workspace requirement is based on NOBS = 5\n");
  for (const char* granted : {"0", "1"}) {
    r = velm_test::run_probe("velmqtil_no_storage", {granted});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.output,
              "\n"
              " *** TERMINAL ERROR 2 from VELMQTIL.  The required storage cannot be\n"
              " ***          allocated.  The workspace requirement is based on NQPROP = 1\n");
  }
  r = velm_test::run_probe("u1mvv_count", {"0"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.output,
            "\n *** TERMINAL ERROR 1 from U1MVV.  NOBS = 0.  NOBS must be greater than 0.\n");
}

}  // namespace
