// Truncated Chebyshev series: evaluation and choice of the number of terms.
#include "error/checks.h"
#include "error/error.h"
#include "special/special.h"

namespace velm {

// Clenshaw's recurrence summed from the last coefficient down; the result
// (b0 - b2)/2 counts the first coefficient half.
float CSEVL(float x, const float* cs, int n) {
  E1PSH("CSEVL ");
  float result = AMACH(6);
  if (n <= 0) {
    E1STI(1, n);
    E1MES(kTerminal, 5, "The number of terms in the series is not positive. N = %(I1).");
  } else if (n > 1000) {
    E1STI(1, n);
    E1MES(kTerminal, 6, "The number of terms in the series is greater than 1000. N = %(I1).");
  } else {
    if (x < -1.1f || x > 1.1f) {
      E1STR(1, x);
      E1MES(kWarning, 7, "The argument X = %(R1) is outside the interval (-1.1,+1.1).");
    }
    float b0 = 0.0f;
    float b1 = 0.0f;
    float b2 = 0.0f;
    const float twox = 2.0f * x;
    for (int i = 1; i <= n; ++i) {
      b2 = b1;
      b1 = b0;
      b0 = twox * b1 - b2 + cs[n - i];
    }
    result = 0.5f * (b0 - b2);
  }
  E1POP("CSEVL ");
  return result;
}

// Adds the coefficients' magnitudes from the last one down and stops at the
// first whose running sum exceeds eta: the terms above it may be dropped.
int INITS(const float* os, int nos, float eta) {
  E1PSH("INITS ");
  int result = 0;
  if (nos < 1) {
    E1STI(1, nos);
    E1MES(kTerminal, 5, "The number of coefficients is less than 1. NOS = %(I1).");
  } else {
    float err = 0.0f;
    int i = 1;
    for (int ii = 1; ii <= nos; ++ii) {
      const int k = nos + 1 - ii;
      err += os[k - 1] < 0.0f ? -os[k - 1] : os[k - 1];
      if (err > eta) {
        i = k;
        break;
      }
    }
    if (i == nos) {
      E1MES(kTerminal, 6, "Too much accuracy may be requested. ETA should be increased.");
    } else {
      result = i;
    }
  }
  E1POP("INITS ");
  return result;
}

}  // namespace velm
