// The uniform stream: multiplicative congruential generator with modulus
// 2^31 - 1 and multiplier 16807, without shuffling. Every sampler takes all
// its randomness from RNUN / RNUNF.
#pragma once

#include <cstdint>

namespace velm {

// One-time set-up of the stream and seeding: flag -1 marks the stream seeded,
// 0 seeds it from the clock if it was never seeded.
void R1INT(int flag);
// Installs a seed: 1..2147483646 restarts the stream, 0 stores a clock seed,
// anything else is ignored.
void RNSET(std::int32_t seed);
// The current seed (seeding an unseeded stream from the clock first).
std::int32_t RNGET();
// Fills r[0..nr-1] with uniforms in (0, 1).
void RNUN(int nr, float* r);
// One uniform in (0, 1); the same numbers and seeds as RNUN.
float RNUNF();

// The seed from the local time of day: hhmmss + 1 (123457 at midnight).
std::int32_t clock_seed();

}  // namespace velm
