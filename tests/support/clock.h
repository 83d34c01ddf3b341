// The clock seed a test expects: hhmmss + 1 of the local time, read around the
// call under test.
#pragma once

#include <cstdint>
#include <ctime>

namespace velm_test {

inline std::int32_t clock_seed_now() {
  const std::time_t now = std::time(nullptr);
  const std::tm local = *std::localtime(&now);
  const std::int32_t seed = local.tm_hour * 10000 + local.tm_min * 100 + local.tm_sec + 1;
  return seed <= 1 ? 123457 : seed;
}

// True when seed is a clock seed taken between two readings (either reading
// itself, or any second in between; midnight and 123457 are allowed for).
inline bool is_clock_seed_between(std::int32_t seed, std::int32_t before, std::int32_t after) {
  if (seed == 123457) return true;
  if (before <= after) return seed >= before && seed <= after;
  return seed >= before || seed <= after;  // the day ended in between
}

}  // namespace velm_test
