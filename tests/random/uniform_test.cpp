// The uniform stream against values computed exactly from its definition
// (tools/gen/gen_uniform.py), and its seeding rules.
#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <ctime>
#include <thread>
#include <vector>

#include "error/error.h"
#include "export/velmprob.h"
#include "random/uniform.h"
#include "support/clock.h"
#include "tests/random/uniform_data.inc"

namespace {

using namespace velm;
namespace data = velm_test::uniform_data;

constexpr std::uint64_t kModulus = 2147483647;

// The seed to install so that the next state is `state`.
std::int32_t seed_before(std::uint64_t state) {
  return static_cast<std::int32_t>(state * data::kInverse % kModulus);
}

std::uint32_t bits(float x) { return std::bit_cast<std::uint32_t>(x); }

TEST(UniformStream, FirstValuesAfterSeedOne) {
  RNSET(1);
  for (const auto& [state, expected] : data::kAfterSeedOne) {
    EXPECT_EQ(bits(RNUNF()), expected);
    EXPECT_EQ(RNGET(), static_cast<std::int32_t>(state));
  }
}

TEST(UniformStream, KnownStates) {
  const std::int32_t seed = 1;
  VELMSETSEED(&seed);
  const float a = 0.0f, b = 1.0f;
  for (int i = 0; i < 10000; ++i) VELMUNIFORM(&a, &b);
  EXPECT_EQ(VELMGETSEED(), data::kAfterSeedOne10000);

  RNSET(12345);
  for (std::int32_t state : data::kAfterSeed12345) {
    RNUNF();
    EXPECT_EQ(RNGET(), state);
  }
}

TEST(UniformStream, RoundedOnceToSinglePrecision) {
  // States where rounding the product first to double, or the state first to
  // single, gives a different number than the one rounding of the exact
  // product; and the two ends of the range, never 0 and never 1.
  for (const auto& [state, expected] : data::kRounding) {
    RNSET(seed_before(state));
    float u = 0.0f;
    RNUN(1, &u);
    EXPECT_EQ(bits(u), expected) << state;
    EXPECT_EQ(RNGET(), static_cast<std::int32_t>(state));
  }
  const float a = 0.0f, b = 1.0f;
  const std::int32_t low = seed_before(1), high = seed_before(2147483646);
  VELMSETSEED(&low);
  EXPECT_GT(VELMUNIFORM(&a, &b), 0.0f);
  VELMSETSEED(&high);
  EXPECT_EQ(VELMUNIFORM(&a, &b), 0.99999994f);
}

TEST(UniformStream, ArrayAndSingleDrawsAgree) {
  RNSET(987654321);
  std::vector<float> array(257);
  RNUN(257, array.data());
  const std::int32_t after_array = RNGET();
  RNSET(987654321);
  for (float expected : array) EXPECT_EQ(bits(RNUNF()), bits(expected));
  EXPECT_EQ(RNGET(), after_array);
}

TEST(UniformStream, SeedRange) {
  // The largest seed is accepted.
  RNSET(2147483646);
  RNUNF();
  EXPECT_EQ(RNGET(), data::kAfterLargestSeed);
  // Out-of-range seeds are ignored: the sequence goes on.
  RNSET(12345);
  RNUNF();
  const std::int32_t ignored[] = {2147483647, -1, -2147483647 - 1};
  for (std::int32_t seed : ignored) VELMSETSEED(&seed);
  RNUNF();
  EXPECT_EQ(RNGET(), data::kAfterSeed12345[1]);
}

TEST(UniformStream, SeedZeroTakesTheClock) {
  RNSET(5);
  const auto before = velm_test::clock_seed_now();
  RNSET(0);
  const std::int32_t seed = RNGET();
  const auto after = velm_test::clock_seed_now();
  EXPECT_TRUE(velm_test::is_clock_seed_between(seed, before, after)) << seed;
  // The stream stays seeded: drawing continues from the clock seed.
  RNUNF();
  EXPECT_EQ(RNGET(), static_cast<std::int32_t>(16807ull * static_cast<std::uint64_t>(seed) % kModulus));
}

TEST(UniformExport, Arithmetic) {
  const std::int32_t seed = 777;
  VELMSETSEED(&seed);
  const float five = 5.0f;
  EXPECT_EQ(VELMUNIFORM(&five, &five), 5.0f);
  // a + (b - a) u in single precision: the difference, the product, the sum.
  const float a = 0.1f, b = 0.7f;
  for (int i = 0; i < 1000; ++i) {
    RNSET(seed_before(static_cast<std::uint64_t>(i) * 2099 + 1));
    const float u = RNUNF();
    RNSET(seed_before(static_cast<std::uint64_t>(i) * 2099 + 1));
    const float width = b - a;
    const float scaled = width * u;
    EXPECT_EQ(VELMUNIFORM(&a, &b), a + scaled);
  }
  // Reversed bounds give values between them.
  const float hi = 2.0f, lo = 1.0f;
  for (int i = 0; i < 100; ++i) {
    const float v = VELMUNIFORM(&hi, &lo);
    EXPECT_GE(v, lo);
    EXPECT_LE(v, hi);
  }
}

TEST(UniformStream, NoErrorStateTouched) {
  RNSET(3);
  std::vector<float> r(10);
  const int level = error_context().level;
  const int pending = error_context().message_length;
  RNUN(10, r.data());
  EXPECT_EQ(error_context().level, level);
  EXPECT_EQ(error_context().message_length, pending);
}

}  // namespace
