// The platform-independent elementary functions against correctly rounded
// values (tools/gen/gen_elementary.py): the same bits on every system, so
// variates drawn through them do not depend on the C runtime.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <iostream>
#include <string_view>

#include "fp/elementary.h"
#include "tests/fp/elementary_data.inc"

namespace {

float from_bits(std::uint32_t b) {
  float f;
  std::memcpy(&f, &b, sizeof f);
  return f;
}

std::uint32_t to_bits(float f) {
  std::uint32_t b;
  std::memcpy(&b, &f, sizeof b);
  return b;
}

// log, exp and pow as the library chooses, and each of their builds by name
// (the fused one where the processor has fused multiply-add).
using Unary = float (*)(float);
struct Build {
  const char* name;
  bool needs_fma;
  Unary log;
  Unary exp;
  float (*pow)(float, float);
};
const Build kBuilds[] = {
    {"", false, static_cast<Unary>(velm::fp::log), static_cast<Unary>(velm::fp::exp),
     velm::fp::pow},
    {" (separate)", false, velm::fp::separate::log, velm::fp::separate::exp,
     velm::fp::separate::pow},
    {" (fused)", true, velm::fp::fused::log, velm::fp::fused::exp, velm::fp::fused::pow},
};

float evaluate(std::string_view function, float x, float y, const Build& build) {
  if (function == "log") return build.log(x);
  if (function == "exp") return build.exp(x);
  if (function == "pow") return build.pow(x, y);
  if (function == "sin") return velm::fp::sin(x);
  if (function == "cos") return velm::fp::cos(x);
  return velm::fp::asin(x);
}

TEST(Elementary, CorrectlyRoundedOnTheReferenceArgumentsInEveryBuild) {
  for (const Build& build : kBuilds) {
    if (build.needs_fma && !velm::fp::has_fused_multiply_add()) continue;
    const char* name = build.name;
    int checked = 0;
    for (const auto& c : velm_expected::kElementaryCases) {
      const float x = from_bits(c.x), y = from_bits(c.y);
      const float got = evaluate(c.function, x, y, build);
      if (c.result == 0x7FC00000u) {
        EXPECT_TRUE(std::isnan(got))
            << c.function << "(" << x << ", " << y << ") = " << got << name;
      } else {
        EXPECT_EQ(to_bits(got), c.result)
            << std::hexfloat << c.function << "(" << x << ", " << y << ") = " << got
            << ", correctly rounded " << from_bits(c.result) << name;
      }
      ++checked;
    }
    EXPECT_GT(checked, 1000);
  }
}

// Units in the last place between two finite doubles of the same sign.
std::int64_t ulps_apart(double a, double b) {
  std::int64_t ia, ib;
  std::memcpy(&ia, &a, sizeof ia);
  std::memcpy(&ib, &b, sizeof ib);
  return ia > ib ? ia - ib : ib - ia;
}

// The double log and exp against correctly rounded values over their whole
// ranges: subnormal arguments and results, arguments next to 1, the
// overflow and underflow thresholds.
TEST(Elementary, DoublePrecisionWithinOneUlpOfTheReference) {
  std::int64_t worst = 0;
  for (const auto& c : velm_expected::kDoubleCases) {
    double x, want;
    std::memcpy(&x, &c.x, sizeof x);
    std::memcpy(&want, &c.result, sizeof want);
    const double got =
        std::string_view(c.function) == "log" ? velm::fp::log(x) : velm::fp::exp(x);
    ASSERT_EQ(std::signbit(got), std::signbit(want)) << c.function << std::hexfloat << x;
    const std::int64_t d = ulps_apart(got, want);
    EXPECT_LE(d, 1) << std::hexfloat << c.function << "(" << x << ") = " << got
                    << ", correctly rounded " << want;
    worst = d > worst ? d : worst;
  }
  std::cout << "double log/exp: largest error " << worst << " ulp\n";
}

// Double precision: exact at the points where the result is known exactly,
// and within two units in the last place of the closed forms elsewhere.
TEST(Elementary, DoublePrecisionLogAndExp) {
  EXPECT_EQ(velm::fp::log(1.0), 0.0);
  EXPECT_EQ(velm::fp::exp(0.0), 1.0);
  EXPECT_EQ(velm::fp::log(0.0), -INFINITY);
  EXPECT_TRUE(std::isnan(velm::fp::log(-1.0)));
  EXPECT_EQ(velm::fp::exp(710.0), INFINITY);
  EXPECT_EQ(velm::fp::exp(-746.0), 0.0);
  EXPECT_GT(velm::fp::exp(-745.0), 0.0);  // the smallest subnormals are reached
  // log 2^k = k ln 2 and exp(k ln 2) = 2^k to the accuracy of the double ln 2.
  const double ln2 = 0.693147180559945309417;
  for (int k : {-1074, -1000, -30, -1, 1, 7, 100, 1023}) {
    EXPECT_NEAR(velm::fp::log(std::ldexp(1.0, k)), k * ln2, 2e-16 * std::fabs(k * ln2)) << k;
  }
  for (double x : {0.001, 0.3, 1.0, 2.5, 10.0, 300.0, 700.0, -700.0}) {
    const double e = velm::fp::exp(x);
    EXPECT_NEAR(velm::fp::log(e), x, 4.5e-16 * std::fmax(1.0, std::fabs(x))) << x;
  }
}

}  // namespace
