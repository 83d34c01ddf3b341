// A fresh stream seeds itself from the local time of day; misuse of RNUN is a
// terminal error.
#include <gtest/gtest.h>

#include <cstdint>
#include <sstream>

#include "support/clock.h"
#include "support/probe.h"

namespace {

using velm_test::run_probe;

TEST(FreshStream, FirstGetSeedTakesTheClockAndStays) {
  const auto before = velm_test::clock_seed_now();
  const auto result = run_probe("fresh_getseed");
  const auto after = velm_test::clock_seed_now();
  ASSERT_EQ(result.status, 0);
  std::istringstream in(result.output);
  std::int64_t seed = 0, after_draw = 0, again = 0;
  in >> seed >> after_draw >> again;
  EXPECT_TRUE(velm_test::is_clock_seed_between(static_cast<std::int32_t>(seed), before, after))
      << result.output;
  EXPECT_EQ(after_draw, 16807 * seed % 2147483647);
  EXPECT_EQ(again, after_draw);
}

TEST(FreshStream, IgnoredSeedsAndFirstDrawTakeTheClock) {
  for (const char* seed : {"-1", "2147483647"}) {
    const auto before = velm_test::clock_seed_now();
    const auto result = run_probe("fresh_ignored_seed", {seed});
    const auto after = velm_test::clock_seed_now();
    ASSERT_EQ(result.status, 0);
    EXPECT_TRUE(velm_test::is_clock_seed_between(std::stoi(result.output), before, after))
        << result.output;
  }
  const auto before = velm_test::clock_seed_now();
  const auto result = run_probe("fresh_draw");
  const auto after = velm_test::clock_seed_now();
  std::istringstream in(result.output);
  std::int64_t state = 0;
  in >> state;
  // The state after one draw from a clock seed s is 16807 s mod (2^31 - 1).
  bool found = false;
  for (std::int64_t s = 1; s <= 235960 && !found; ++s) {
    if (velm_test::is_clock_seed_between(static_cast<std::int32_t>(s), before, after) &&
        16807 * s % 2147483647 == state)
      found = true;
  }
  EXPECT_TRUE(found) << result.output;
}

TEST(FreshStream, CountBelowOneIsTerminal) {
  for (const char* n : {"0", "-3"}) {
    const auto result = run_probe("rnun_count", {n});
    EXPECT_EQ(result.output,
              std::string("\n *** TERMINAL ERROR 1 from RNUN.  NR = ") + n +
                  ".  NR must be greater than or equal\n ***          to 1.\n");
    EXPECT_EQ(result.status, 1);
  }
}

}  // namespace
