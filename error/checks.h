// The checks that report through the error facility: machine constants by
// index (an index outside the tables is a TERMINAL error), the unit table,
// the search for missing values and the shared argument checks.
#pragma once

#include <cstdint>
#include <string_view>

#include "core/machine.h"

namespace velm {

// AMACH for an N outside 1..8: a TERMINAL error.
float amach_refused(int n);

// Single-precision constants, N = 1..8 (core/machine.h). Other N: TERMINAL.
// Inline: numerical routines ask for them on every call.
inline float AMACH(int n) {
  if (n >= 1 && n <= 8) return machine_real(n);
  return amach_refused(n);
}
// Integer and exponent constants, N = 1..12. Other N: TERMINAL.
std::int32_t IMACH(int n);
// Unit table: N in 1..3 reads unit N into nunit, N in -3..-1 sets unit |N|.
void UMACH(int n, int& nunit);

// Element count (from 1) of the first NaN among x[0], x[incx], ...; 0 if none.
int ISANAN(int n, const float* x, int incx);

// Argument checks. Each advances the caller's running error code nerr and, on
// failure, reports a TERMINAL error with that code.
void ARGRNG(int ivalue, std::string_view name, int lo, int hi, int& nerr);
void ARGDIM(int nmin, int n, std::string_view namen, int ld, std::string_view nameld, int& nerr);
void ARGORD(int n1, std::string_view name1, int n2, std::string_view name2, int& nerr);

// The refusal of an array routine asked for nr < 1 values: under the
// routine's name, "NR = ...  NR must be greater than or equal to 1." as
// TERMINAL error 1. The process ends at the routine's pop. Callers test nr
// themselves, so that the valid path makes no call.
void refuse_count_below_one(std::string_view routine, int nr);

}  // namespace velm
