// Edge cases of the samplers: degenerate parameters, draws that must (or must
// not) happen, the beta clamp, and inputs (NaN, infinities, extreme values)
// for which every sampler must still return.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "core/edition.h"
#include "export/velmprob.h"
#include "random/samplers.h"
#include "random/uniform.h"

namespace {

constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kLo = 0x1p-24f;          // smallest stored beta variate
constexpr float kHi = 1.0f - 0x1p-23f;   // a computed 1 is stored as this

// The seed after n draws from seed s.
std::int32_t seed_after(std::int32_t s, int n) {
  std::int64_t x = s;
  for (int i = 0; i < n; ++i) x = x * 16807 % 2147483647;
  return static_cast<std::int32_t>(x);
}

// The seed whose next uniform comes from state x: x / 16807 modulo 2^31 - 1.
std::int32_t seed_before(std::int32_t x) {
  // 16807^-1 mod (2^31 - 1), by Fermat: 16807^(m - 2).
  std::int64_t inv = 1, base = 16807, e = 2147483647 - 2;
  while (e > 0) {
    if (e & 1) inv = inv * base % 2147483647;
    base = base * base % 2147483647;
    e >>= 1;
  }
  return static_cast<std::int32_t>(x * inv % 2147483647);
}

std::vector<float> uniforms(std::int32_t seed, int n) {
  velm::RNSET(seed);
  std::vector<float> u(static_cast<std::size_t>(n));
  velm::RNUN(n, u.data());
  return u;
}

TEST(NormalEdges, ZeroSdReturnsTheMeanAndStillDraws) {
  velm::RNSET(1);  // first variate from region 1: two uniforms
  const float mean = 3.25f, sd = 0.0f;
  EXPECT_EQ(VELMNORMAL(&mean, &sd), 3.25f);
  EXPECT_EQ(velm::RNGET(), seed_after(1, 2));
}

TEST(NormalEdges, NonFiniteArgumentsPropagate) {
  velm::RNSET(1);
  const float nan = kNaN, one = 1.0f, inf = kInf;
  EXPECT_TRUE(std::isnan(VELMNORMAL(&nan, &one)));
  EXPECT_TRUE(std::isinf(VELMNORMAL(&one, &inf)));
}

TEST(LognormalEdges, NaNScaleDrawsAndGivesNaN) {
  velm::RNSET(77);
  std::vector<float> z(5);
  velm::RNNOA(5, z.data());
  const std::int32_t after = velm::RNGET();
  velm::RNSET(77);
  std::vector<float> r(5, 1.0f);
  velm::RNLNL(5, 0.0f, kNaN, r.data());
  EXPECT_EQ(velm::RNGET(), after);
  for (float x : r) EXPECT_TRUE(std::isnan(x));
  // Through the export: a NaN sd or mean reaches RNLNL as a NaN scale.
  velm::RNSET(77);
  const float mean = 2.0f, nan = kNaN;
  EXPECT_TRUE(std::isnan(VELMLOGNORMAL(&mean, &nan)));
  EXPECT_TRUE(std::isnan(VELMLOGNORMAL(&nan, &mean)));
}

TEST(LognormalEdges, NonPositiveOrInfiniteMeanReturns) {
  velm::RNSET(78);
  const float neg = -2.0f, zero = 0.0f, inf = kInf, one = 1.0f;
  EXPECT_TRUE(std::isnan(VELMLOGNORMAL(&neg, &one)));
  const float r0 = VELMLOGNORMAL(&zero, &one);  // infinite scale
  EXPECT_TRUE(std::isnan(r0) || r0 == 0.0f || std::isinf(r0));
  const float ri = VELMLOGNORMAL(&one, &inf);
  EXPECT_TRUE(std::isnan(ri) || ri == 0.0f || std::isinf(ri));
  EXPECT_NE(velm::RNGET(), 78);
}

#if VELM_THREADED
TEST(CorrelatedPairEdges, DegenerateCorrelations) {
  const float m1 = 1.0f, s1 = 2.0f, m2 = -3.0f, s2 = 0.5f;
  for (int k = 0; k < 50; ++k) {
    float a, b;
    const float one = 1.0f, minus_one = -1.0f;
    ASSERT_EQ(VELMCRNORMAL(&m1, &s1, &m2, &s2, &one, &a, &b), -1);
    EXPECT_NEAR(b, m2 + s2 * (a - m1) / s1, 1e-5f);
    ASSERT_EQ(VELMCRNORMAL(&m1, &s1, &m2, &s2, &minus_one, &a, &b), -1);
    EXPECT_NEAR(b, m2 - s2 * (a - m1) / s1, 1e-5f);
  }
}

TEST(CorrelatedPairEdges, ZeroFirstSdAndZeroRho) {
  velm::RNSET(99);
  float z[2];
  velm::RNNOA(2, z);
  velm::RNSET(99);
  const float m1 = 1.5f, s1 = 0.0f, m2 = 2.0f, s2 = -0.75f, rho = 0.0f;
  float a, b;
  EXPECT_EQ(VELMCRNORMAL(&m1, &s1, &m2, &s2, &rho, &a, &b), -1);
  EXPECT_EQ(a, 1.5f);
  EXPECT_EQ(b, 2.0f + 0.75f * z[1]);
}

TEST(CorrelatedPairEdges, CorrelationBeyondOneGivesNaNSecond) {
  const float m1 = 0.0f, s1 = 1.0f, m2 = 0.0f, s2 = 1.0f, rho = 1.5f;
  float a, b;
  EXPECT_EQ(VELMCRNORMAL(&m1, &s1, &m2, &s2, &rho, &a, &b), -1);
  EXPECT_TRUE(std::isfinite(a));
  EXPECT_TRUE(std::isnan(b));
  const float nan = kNaN, inf = kInf;
  EXPECT_EQ(VELMCRNORMAL(&nan, &inf, &m2, &s2, &nan, &a, &b), -1);
}
#endif

TEST(GeometricEdges, HalfGivesOneExactlyAboveTheMedian) {
  const auto u = uniforms(4242, 400);
  velm::RNSET(4242);
  const float half = 0.5f;
  for (float ui : u) {
    const std::int32_t k = VELMGEOMETRIC(&half);
    EXPECT_GE(k, 1);
    EXPECT_EQ(k == 1, std::log(ui) / std::log(0.5f) < 1.0f) << ui;
  }
}

TEST(GeometricEdges, SaturatesInsteadOfOverflowing) {
  // p <= 2^-25: 1 - p is 1 and ln(1 - p) is 0. NaN p: no ordering at all.
  for (float p : {0x1p-25f, 1e-30f, 1e-45f, kNaN}) {
    velm::RNSET(5);
    std::int32_t k[3];
    velm::RNGEO(3, p, k);
    for (std::int32_t ki : k) EXPECT_EQ(ki, 2147483647) << p;
    EXPECT_EQ(velm::RNGET(), seed_after(5, 3));
  }
  // The smallest p with 1 - p below 1 stays in range and is huge.
  velm::RNSET(5);
  const float p = 0x1p-24f;
  const std::int32_t k = VELMGEOMETRIC(&p);
  EXPECT_GT(k, 1000);
  EXPECT_LT(k, 2147483647);
}

#if VELM_THREADED
TEST(YesNoEdges, ShortCutsDrawNothing) {
  velm::RNSET(321);
  for (float p : {0.0f, -0.5f, -kInf}) EXPECT_EQ(VELMYESNO(&p), 0);
  for (float p : {1.0f, 2.0f, kInf}) EXPECT_EQ(VELMYESNO(&p), 1);
  EXPECT_EQ(velm::RNGET(), 321);
}

TEST(YesNoEdges, AnswersByTheNextUniform) {
  const auto u = uniforms(654, 1000);
  velm::RNSET(654);
  const float p3 = 0.3f, p7 = 0.7f;
  for (std::size_t i = 0; i < u.size(); i += 2) {
    EXPECT_EQ(VELMYESNO(&p3), u[i] > 1.0f - 0.3f ? 1 : 0) << u[i];
    EXPECT_EQ(VELMYESNO(&p7), u[i + 1] <= 0.7f ? 1 : 0) << u[i + 1];
  }
  EXPECT_EQ(velm::RNGET(), seed_after(654, 1000));
}

TEST(YesNoEdges, NaNProbabilityReturnsAfterOneDraw) {
  velm::RNSET(987);
  const float nan = kNaN;
  const std::int32_t a = VELMYESNO(&nan);
  EXPECT_TRUE(a == 0 || a == 1);
  EXPECT_EQ(velm::RNGET(), seed_after(987, 1));
  std::int32_t ir[4];
  velm::RNBIN(4, 3, kNaN, ir);
  for (std::int32_t k : ir) EXPECT_TRUE(k >= 0 && k <= 3);
}
#endif

TEST(BinomialEdges, NeverBeyondTheTrials) {
  velm::RNSET(2468);
  std::vector<std::int32_t> ir(2000);
  for (int n : {1, 2, 7}) {
    for (float p : {1e-7f, 0.01f, 0.5f, 0.9f, 0.9999999f}) {
      velm::RNBIN(2000, n, p, ir.data());
      for (std::int32_t k : ir) ASSERT_TRUE(k >= 0 && k <= n) << n << " " << p;
    }
  }
}

TEST(TriangularEdges, DegenerateAndOneSided) {
  velm::RNSET(11);
  const float two = 2.0f;
  EXPECT_EQ(VELMTRIANG(&two, &two, &two), 2.0f);
  EXPECT_EQ(velm::RNGET(), seed_after(11, 1));
#if VELM_THREADED
  const auto u = uniforms(12, 50);
  velm::RNSET(12);
  const float zero = 0.0f, one = 1.0f;
  for (std::size_t i = 0; i < u.size(); i += 2) {
    EXPECT_EQ(VELMTRIANG(&zero, &zero, &one), 1.0f - std::sqrt((1.0f - u[i]) * 1.0f * 1.0f));
    EXPECT_EQ(VELMTRIANG(&zero, &one, &one), 0.0f + std::sqrt(u[i + 1] * 1.0f * 1.0f));
  }
#endif
}

TEST(TriangularEdges, NonFiniteArgumentsReturn) {
  const float nan = kNaN, inf = kInf, zero = 0.0f, one = 1.0f;
  velm::RNSET(13);
  VELMTRIANG(&nan, &zero, &one);
  VELMTRIANG(&zero, &inf, &one);
  VELMTRIANG(&zero, &one, &inf);
  EXPECT_EQ(velm::RNGET(), seed_after(13, 3));
}

TEST(BetaEdges, UniformCaseIsTheStreamClampedBelow) {
  // The seeds whose next state is 1 (the smallest uniform, 4.66e-10) and
  // 2^31 - 2 (the largest, 1 - 2^-24).
  float r[2];
  velm::RNSET(seed_before(1));
  velm::RNBET(2, 1.0f, 1.0f, r);
  EXPECT_EQ(r[0], kLo);
  EXPECT_EQ(r[1], 16807.0f * 0x1p-31f * (1.0f - 0x1p-24f));
  velm::RNSET(seed_before(2147483646));
  velm::RNBET(1, 1.0f, 1.0f, r);
  EXPECT_EQ(r[0], 1.0f - 0x1p-24f);  // strictly between 1 - 2^-23 and 1: kept
  const auto u = uniforms(31, 8);
  velm::RNSET(31);
  std::vector<float> q(8);
  velm::RNBET(8, 1.0f, 2.0f, q.data());
  for (int i = 0; i < 8; ++i) EXPECT_EQ(q[static_cast<std::size_t>(i)], 1.0f - std::sqrt(u[static_cast<std::size_t>(i)]));
}

TEST(BetaEdges, ComputedOneIsStoredBelowOne) {
  // Y underflows to 0, so X / S = 1.
  velm::RNSET(8);
  std::vector<float> r(6);
  velm::RNBET(6, 0.9f, 1e-30f, r.data());
  for (float x : r) EXPECT_EQ(x, kHi);
}

TEST(BetaEdges, EveryParameterPairReturnsAClampedValue) {
  const float values[] = {1e-45f, 1e-38f, 1e-20f, 1e-5f, 0.01f, 0.3f, 0.5f, 0.99f, 1.0f,
                          1.0001f, 1.5f, 2.0f, 50.0f, 1e5f, 1e20f, 1e38f,
                          std::numeric_limits<float>::max(), kInf};
  velm::RNSET(2024);
  std::vector<float> r(6);
  for (float p : values) {
    for (float q : values) {
      for (int nr : {1, 6}) {
        velm::RNBET(nr, p, q, r.data());
        for (int i = 0; i < nr; ++i) {
          const float x = r[static_cast<std::size_t>(i)];
          EXPECT_TRUE(x >= kLo && x < 1.0f) << p << " " << q << " nr " << nr << ": " << x;
        }
      }
    }
  }
}

TEST(BetaEdges, InfiniteParametersGiveTheLimits) {
  float r[6];
  for (int nr : {1, 6}) {
    velm::RNBET(nr, kInf, 2.0f, r);
    EXPECT_EQ(r[0], kHi);
    velm::RNBET(nr, 3.0f, kInf, r);
    EXPECT_EQ(r[0], kLo);
    velm::RNBET(nr, kInf, kInf, r);
    EXPECT_EQ(r[0], 0.5f);
    velm::RNBET(nr, kInf, 0.5f, r);
    EXPECT_EQ(r[0], kHi);
    velm::RNBET(nr, 0.5f, kInf, r);
    EXPECT_EQ(r[0], kLo);
  }
  // One attempt's pair of uniforms per variate (BB, B4PE, switching).
  velm::RNSET(50);
  velm::RNBET(6, kInf, 2.0f, r);
  EXPECT_EQ(velm::RNGET(), seed_after(50, 12));
  velm::RNSET(50);
  velm::RNBET(3, 0.5f, kInf, r);
  EXPECT_EQ(velm::RNGET(), seed_after(50, 6));
}

}  // namespace
