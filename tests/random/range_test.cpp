// Samplers at the ends of the single-precision range: parameters whose
// variates are ordinary numbers although a product or difference on the way
// overflows or underflows. Such variates must be finite, lie where the
// distribution puts them and match a double-precision evaluation; every
// variate whose single-precision evaluation stays in range keeps its bits.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <random>
#include <utility>
#include <vector>

#include "core/edition.h"
#include "export/velmprob.h"
#include "fp/elementary.h"
#include "random/samplers.h"
#include "random/uniform.h"

namespace {

// The inverse triangular distribution function in the form the stream tests
// hold it to.
float inversion_single(float u, float low, float mode, float high) {
  const float fc = (mode - low) / (high - low);
  if (fc > u) return low + std::sqrt(u * (high - low) * (mode - low));
  return high - std::sqrt((1.0f - u) * (high - low) * (high - mode));
}

double inversion_double(double u, double low, double mode, double high) {
  const double fc = (mode - low) / (high - low);
  if (fc > u) return low + std::sqrt(u * (high - low) * (mode - low));
  return high - std::sqrt((1.0 - u) * (high - low) * (high - mode));
}

TEST(RangeEnds, TriangularInversion) {
  struct Case { float low, mode, high; };
  for (const Case c : {Case{0.0f, 2.5e19f, 3e19f}, Case{0.0f, 1e-24f, 2e-24f},
                       Case{-3e38f, 0.0f, 3e38f}, Case{-3e38f, 1e38f, 3e38f},
                       Case{-3e38f, 3e38f, 3e38f}, Case{-3e38f, -3e38f, 3e38f},
                       Case{1.0f, 1.0f + 0x1p-23f, 1.0f + 0x1p-22f}}) {
    for (float u : {4.66e-10f, 0.1f, 0.25f, 0.5f, 0.8f, 0.9f, 1.0f - 0x1p-24f}) {
      const float x = velm::triangular_by_inversion(u, c.low, c.mode, c.high);
      const double exact = inversion_double(u, c.low, c.mode, c.high);
      ASSERT_TRUE(std::isfinite(x)) << c.low << " " << c.mode << " " << c.high << " u " << u;
      EXPECT_GE(x, c.low);
      EXPECT_LE(x, c.high);
      EXPECT_NEAR(x, exact, 1e-6 * (static_cast<double>(c.high) - c.low) + 1.2e-7 * std::fabs(exact))
          << c.mode << " u " << u;
    }
  }
  // Both sides of the tiny interval are reached, not only its ends.
  EXPECT_GT(velm::triangular_by_inversion(0.25f, 0.0f, 1e-24f, 2e-24f), 0.0f);
  EXPECT_LT(velm::triangular_by_inversion(0.75f, 0.0f, 1e-24f, 2e-24f), 2e-24f);

  std::mt19937 rng(3);
  std::uniform_real_distribution<float> u01(0.0f, 1.0f);
  std::uniform_real_distribution<float> e(-30.0f, 30.0f);
  for (int i = 0; i < 200000; ++i) {
    const float a = std::ldexp(u01(rng) - 0.5f, static_cast<int>(e(rng)));
    const float b = a + std::ldexp(u01(rng), static_cast<int>(e(rng)));
    const float m = a + (b - a) * u01(rng);
    const float u = u01(rng);
    // Every variate whose single-precision product under the root is a
    // normal number is unchanged.
    const float p = (m - a) / (b - a) > u ? u * (b - a) * (m - a) : (1.0f - u) * (b - a) * (b - m);
    if (std::isnormal(p)) {
      ASSERT_EQ(velm::triangular_by_inversion(u, a, m, b), inversion_single(u, a, m, b))
          << a << " " << m << " " << b << " u " << u;
    }
  }
}

TEST(RangeEnds, StretchedTriangle) {
  for (float t : {0.01f, 0.5f, 0.75f, 1.0f}) {
    const float x = velm::stretch_symmetric_triangular(t, -3e38f, -3e38f, 3e38f);
    EXPECT_TRUE(std::isfinite(x)) << t;
    EXPECT_NEAR(x, t > 0.5f ? -3e38 + 6e38 * (t - 0.5) * 2 : -3e38, 1e32) << t;
    const float y = velm::stretch_symmetric_triangular(t, -3e38f, 3e38f, 3e38f);
    EXPECT_NEAR(y, t > 0.5f ? 3e38 : -3e38 + 6e38 * t * 2, 1e32) << t;
  }
}

// out2 = mean2 + rho sd2 z1 + sd2 sqrt(1 - rho^2) z2 for the pair z of the
// next two normals.
TEST(RangeEnds, CorrelatedPair) {
  struct Case { float mean2, sd2, rho; };
  for (const Case c : {Case{0.0f, 1e20f, 0.5f}, Case{0.0f, 1e37f, 0.0f}, Case{0.0f, 1e-23f, 0.0f},
                       Case{0.0f, 1e-23f, 0.6f}, Case{1.0f, 2.0f, 0.3f}, Case{0.0f, -1e25f, 0.8f}}) {
    for (std::int32_t seed : {1, 99, 123456}) {
      velm::RNSET(seed);
      float z[2];
      velm::RNNOA(2, z);
      velm::RNSET(seed);
      float out1 = 0.0f, out2 = 0.0f;
      velm::normal_pair(0.0f, 1.0f, c.mean2, c.sd2, c.rho, out1, out2);
      const double sd2 = c.sd2, rho = c.rho;
      const double expected = c.mean2 + rho * sd2 * z[0] + std::fabs(sd2) * std::sqrt(1 - rho * rho) * z[1];
      ASSERT_TRUE(std::isfinite(out2)) << c.sd2 << " " << c.rho;
      EXPECT_NEAR(out2, expected, 1e-6 * std::fabs(sd2) * (std::fabs(z[0]) + std::fabs(z[1])))
          << c.sd2 << " " << c.rho << " seed " << seed;
      EXPECT_EQ(out1, z[0]);
    }
  }
  // Ordinary parameters: the single-precision factor, bit for bit.
  velm::RNSET(7);
  float z[2];
  velm::RNNOA(2, z);
  velm::RNSET(7);
  float out1, out2;
  velm::normal_pair(0.0f, 1.0f, 0.25f, 3.0f, 0.4f, out1, out2);
  const float root = std::sqrt((3.0f - 0.4f * 0.4f * 3.0f) * 3.0f);
  EXPECT_EQ(out2, (z[0] * (0.4f * 3.0f) + z[1] * root) + 0.25f);
}

TEST(RangeEnds, LognormalConversion) {
  // sd / mean = 1e20: ln(1 + 1e40) = 92.10 though 1e40 is no float.
  for (float mean : {1.0f, 1e-20f, 2.0f}) {
    const float sd = mean * 1e20f;
    const velm::LogMoments lm = velm::lognormal_log_moments(mean, sd);
    const double v = std::log1p(static_cast<double>(sd / mean) * (sd / mean));
    EXPECT_NEAR(lm.s, std::sqrt(v), 2e-5 * std::sqrt(v)) << mean;
    EXPECT_NEAR(lm.xm, std::log(mean) - 0.5 * v, 1e-4 * v) << mean;
  }
  // sd / mean itself beyond the range.
  const velm::LogMoments lm = velm::lognormal_log_moments(1e-30f, 1e30f);
  EXPECT_NEAR(lm.s, std::sqrt(2 * 60 * std::log(10.0)), 1e-4);
  const float one = 1.0f, big = 1e20f;
  velm::RNSET(5);
  const float x = VELMLOGNORMAL(&one, &big);
  EXPECT_TRUE(std::isfinite(x) && x > 0.0f) << x;
}

// The conversion in double precision rounds estimated logarithms when they
// decide the rounding: its results must be those of the full logarithms,
// over the whole range and where the estimates do not apply.
TEST(RangeEnds, LognormalConversionMatchesFullLogarithms) {
  if (velm::kLognormalConversion != velm::Precision::twice_single) GTEST_SKIP();
  std::mt19937_64 rng(20261208);
  std::uniform_real_distribution<float> exponent(-40.0f, 38.0f);
  std::uniform_real_distribution<float> spread(-12.0f, 12.0f);
  std::vector<std::pair<float, float>> cases = {
      {-2.0f, 1.0f}, {1e-40f, 1.0f}, {1e-30f, 1e30f}, {2.0f, 0.0f}, {1.0f, 1e-30f}};
  for (int i = 0; i < 200000; ++i) {
    const float mean = std::pow(10.0f, exponent(rng));
    cases.emplace_back(mean, mean * std::pow(10.0f, spread(rng)));
  }
  for (const auto& [mean, sd] : cases) {
    const double ratio = static_cast<double>(sd) / static_cast<double>(mean);
    const double v = velm::fp::log(1.0 + ratio * ratio);
    const float xm = static_cast<float>(velm::fp::log(static_cast<double>(mean)) - 0.5 * v);
    const float s = static_cast<float>(std::sqrt(v));
    const velm::LogMoments lm = velm::lognormal_log_moments(mean, sd);
    ASSERT_EQ(std::bit_cast<std::uint32_t>(lm.xm), std::bit_cast<std::uint32_t>(xm)) << mean << " " << sd;
    ASSERT_EQ(std::bit_cast<std::uint32_t>(lm.s), std::bit_cast<std::uint32_t>(s)) << mean << " " << sd;
  }
}

TEST(RangeEnds, UniformOverTheWholeRange) {
  const float a = -3e38f, b = 3e38f;
  const auto u = [](std::int32_t seed) {
    velm::RNSET(seed);
    float r;
    velm::RNUN(1, &r);
    return r;
  };
  for (std::int32_t seed : {1, 2, 1000, 2147483646}) {
    const float r = u(seed);
    velm::RNSET(seed);
    const float x = VELMUNIFORM(&a, &b);
    EXPECT_TRUE(std::isfinite(x)) << seed;
    EXPECT_NEAR(x, -3e38 + 6e38 * r, 1e32) << seed;
  }
}

}  // namespace
