// Machine constants, unit numbers, missing-value tests, shared argument checks
// and small vector helpers.
#pragma once

#include <bit>
#include <cstdint>
#include <string_view>

namespace velm {

// IEEE single-precision constants by their bit patterns: 2^-126 (smallest
// positive normalised number), largest finite number, 2^-24 and 2^-23
// (smallest and largest relative spacing), log10(2), quiet NaN (the missing
// value), +infinity, -infinity.
inline constexpr std::uint32_t kAmachBits[8] = {0x00800000u, 0x7F7FFFFFu, 0x33800000u,
                                                0x34000000u, 0x3E9A209Bu, 0x7FC00000u,
                                                0x7F800000u, 0xFF800000u};

// AMACH for an N outside 1..8: a TERMINAL error.
float amach_refused(int n);

// Single-precision constants, N = 1..8 (the table above). Other N: TERMINAL.
// Inline: numerical routines ask for them on every call.
inline float AMACH(int n) {
  if (n >= 1 && n <= 8) return std::bit_cast<float>(kAmachBits[n - 1]);
  return amach_refused(n);
}
// Integer and exponent constants, N = 1..12. Other N: TERMINAL.
std::int32_t IMACH(int n);
// Unit table: N in 1..3 reads unit N into nunit, N in -3..-1 sets unit |N|.
void UMACH(int n, int& nunit);

// True when x is a NaN by its bits (exponent all ones, fraction non-zero).
bool NANBIT(float x);
// Element count (from 1) of the first NaN among x[0], x[incx], ...; 0 if none.
int ISANAN(int n, const float* x, int incx);

// Argument checks. Each advances the caller's running error code nerr and, on
// failure, reports a TERMINAL error with that code.
void ARGRNG(int ivalue, std::string_view name, int lo, int hi, int& nerr);
void ARGDIM(int nmin, int n, std::string_view namen, int ld, std::string_view nameld, int& nerr);
void ARGORD(int n1, std::string_view name1, int n2, std::string_view name2, int& nerr);

// Guarded division: NaN for NaN operands, 0 on underflow, +-infinity on
// overflow, NaN for 0/0.
float SAFDIV(float a, float b);

// Element count (from 1) of the first largest (smallest) of n strided
// elements; 0 when n <= 0.
int IDXMAX(int n, const float* x, int incx);
int IDXMIN(int n, const float* x, int incx);

// Level-1 vector helpers with the usual strided semantics (a negative
// increment in VCOPY/VDOT walks the vector from its far end).
void VFILL(int n, float a, float* x, int incx);
void VCOPY(int n, const float* x, int incx, float* y, int incy);
float VDOT(int n, const float* x, int incx, const float* y, int incy);

}  // namespace velm
