// Machine constants of IEEE single precision and 32-bit integers as tables,
// and the small helpers that need nothing but those constants: the NaN test by
// bits, guarded division and the position of an extreme element. The
// constants by index, with the refusal of an index outside the tables, are
// AMACH and IMACH (error/checks.h).
#pragma once

#include <bit>
#include <cstdint>

namespace velm {

// IEEE single-precision constants by their bit patterns: 2^-126 (smallest
// positive normalised number), largest finite number, 2^-24 and 2^-23
// (smallest and largest relative spacing), log10(2), quiet NaN (the missing
// value), +infinity, -infinity.
inline constexpr std::uint32_t kAmachBits[8] = {0x00800000u, 0x7F7FFFFFu, 0x33800000u,
                                                0x34000000u, 0x3E9A209Bu, 0x7FC00000u,
                                                0x7F800000u, 0xFF800000u};

// Integer and exponent constants: bits per integer, characters per integer,
// integer base, integer digits, largest integer, float base, float digits,
// smallest and largest float exponent, double digits, smallest and largest
// double exponent.
inline constexpr std::int32_t kImachValues[12] = {32,  4,  2,     31,  2147483647, 2,
                                                  24, -125, 128, 53, -1021,      1024};

// Real constant n of the table above, n in 1..8.
constexpr float machine_real(int n) { return std::bit_cast<float>(kAmachBits[n - 1]); }

// True when x is a NaN by its bits (exponent all ones, fraction non-zero).
constexpr bool NANBIT(float x) {
  const std::uint32_t bits = std::bit_cast<std::uint32_t>(x);
  return (bits & 0x7F800000u) == 0x7F800000u && (bits & 0x007FFFFFu) != 0;
}

// Guarded division: NaN for NaN operands, 0 on underflow, +-infinity on
// overflow, NaN for 0/0.
float SAFDIV(float a, float b);

// Element count (from 1) of the first largest (smallest) of n strided
// elements; 0 when n <= 0.
int IDXMAX(int n, const float* x, int incx);
int IDXMIN(int n, const float* x, int incx);

}  // namespace velm
