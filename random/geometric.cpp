// Geometric and binomial variates by inversion of their distribution
// functions, one uniform per variate.
#include <cmath>
#include <cstdint>

#include "error/checks.h"
#include "error/error.h"
#include "fp/elementary.h"
#include "random/samplers.h"
#include "random/uniform.h"

namespace velm {

namespace {
constexpr const char* kProbabilityMessage =
    "The probability P = %(R1), but P must be greater than 0.0 and less than 1.0.";
}  // namespace

// P(IR = k) = p (1 - p)^(k - 1): IR = 1 + floor(ln u / ln(1 - p)).
void RNGEO(int nr, float p, std::int32_t* ir) {
  if (p <= 0.0f || p >= 1.0f || nr < 1) {
    E1PSH("RNGEO ");
    int nerr = 1;
    ARGRNG(nr, "NR", 1, -1, nerr);
    if (p <= 0.0f || p >= 1.0f) {
      E1STR(1, p);
      E1MES(kTerminal, 2, kProbabilityMessage);
    }
    E1POP("RNGEO ");
    return;
  }
  // A NaN p passes the test above. With p <= 2^-25, 1 - p rounds to 1 and c
  // is 0. Neither gives a quotient that converts to an integer, nor does a
  // quotient beyond the 32-bit range: those variates saturate at the largest
  // integer instead (a conversion of such a float would be undefined).
  const float c = velm::fp::log(1.0f - p);
  for (int i = 0; i < nr; ++i) {
    const float u = RNUNF();
    const float q = velm::fp::log(u) / c + 1.0f;
    ir[i] = (q >= 1.0f && q < 2147483648.0f) ? static_cast<std::int32_t>(q) : 2147483647;
  }
}

// Inversion from 0 upwards: f is P(X = ix), F = P(X <= ix), with the
// recurrence f(ix) = f(ix - 1) (g / ix - r), g = r (n + 1), r = p / q. For
// p > 1/2 the mirrored distribution (of n - X) is inverted, so that the walk
// starts at the end holding most of the mass.
//
// The routine's name goes on the error stack only when an argument is
// refused: a successful call leaves no trace there that anyone could read,
// and the push and pop would cost more than the variate.
void RNBIN(int nr, int n, float p, std::int32_t* ir) {
  if (p <= 0.0f || p >= 1.0f || nr < 1 || n < 1) {
    E1PSH("RNBIN ");
    int nerr = 1;
    ARGRNG(nr, "NR", 1, -1, nerr);
    ARGRNG(n, "N", 1, -1, nerr);
    if (N1RCD(0) == 0 && (p <= 0.0f || p >= 1.0f)) {
      E1STR(1, p);
      E1MES(kTerminal, 3, kProbabilityMessage);
    }
    E1POP("RNBIN ");
    return;
  }
  const bool mirrored = p > 0.5f;
  const float pp = mirrored ? 1.0f - p : p;
  const float qq = mirrored ? p : 1.0f - p;
  const float top = 1.0f - AMACH(3);
  const float tiny = AMACH(3);
  if (n == 1) {
    // One trial: the walk below stops at 0 when u <= q or the cumulative
    // probability q already exceeds 1 - 2^-24, and at 1 otherwise (q >= 1/2,
    // so the term never falls below 2^-24). The same outcome without the
    // division and the loop.
    for (int i = 0; i < nr; ++i) {
      const float u = RNUNF();
      const int ix = (u <= qq || qq > top) ? 0 : 1;
      ir[i] = mirrored ? 1 - ix : ix;
    }
    return;
  }
  const float f0 = n == 1 ? qq : velm::fp::pow(qq, static_cast<float>(n));
  const float r = pp / qq;
  const float g = r * static_cast<float>(n + 1);
  for (int i = 0; i < nr; ++i) {
    const float u = RNUNF();
    int ix = 0;
    float f = f0;
    float cum = f0;
    if (!(u <= f0)) {
      // The walk also ends at ix = n, since no variate exceeds the number
      // of trials: a NaN p compares false everywhere and would otherwise
      // never stop, and no rounding of the sums can carry a valid p past n
      // (to n + 1, or -1 when mirrored).
      for (;;) {
        if (cum > top || f < tiny || ix >= n) break;
        ++ix;
        f *= (ix == 1 ? g : g / static_cast<float>(ix)) - r;  // g / 1 is g: no division
        cum += f;
        if (u <= cum) break;
      }
    }
    ir[i] = mirrored ? n - ix : ix;
  }
}

std::int32_t yes_no(float p) {
  if (p <= 0.0f) return 0;
  if (p >= 1.0f) return 1;
  std::int32_t yes = 0;
  RNBIN(1, 1, p, &yes);
  return yes;
}

}  // namespace velm
