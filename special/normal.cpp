// Standard normal distribution function and its inverse, from erfc and its
// inverse: Phi(x) = erfc(-x/sqrt 2)/2 and Phi^-1(p) = -sqrt 2 erfc^-1(2p).
#include <cmath>

#include "error/checks.h"
#include "error/error.h"
#include "special/special.h"

namespace velm {
namespace {
bool anordf_ready = false;
float anordf_factor = 0.0f;  // sqrt(0.5)
bool anorin_ready = false;
float anorin_factor = 0.0f;  // -sqrt(2)
}  // namespace

float ANORDF(float x) {
  E1PSH("ANORDF");
  if (!anordf_ready) {
    anordf_factor = std::sqrt(0.5f);
    anordf_ready = true;
  }
  const float result = 0.5f * ERFC(-x * anordf_factor);
  // Far in the upper tail erfc underflows to 0 with an alert; Phi is then 0
  // by design, not by accident, so the alert is withdrawn.
  if (N1RTY(0) == kAlert) E1MES(kNoError, 0, " ");
  E1POP("ANORDF");
  return result;
}

float ANORIN(float p) {
  E1PSH("ANORIN");
  if (!anorin_ready) {
    anorin_factor = -std::sqrt(2.0f);
    anorin_ready = true;
  }
  float result = AMACH(6);
  const int ier = 1;
  if (p <= 0.0f || p >= 1.0f) {
    E1STR(1, p);
    E1MES(kTerminal, ier,
          "The argument to the function must be greater than 0.0 and less than 1.0.  P = "
          "%(R1).");
  } else {
    result = anorin_factor * ERFCI(2.0f * p);
    // ERFCI warns near 2 (p near 1) that only half its digits are right; for
    // the normal quantile that loss is expected, so the warning is withdrawn.
    if (N1RTY(0) == kWarning && N1RCD(0) == 2) E1MES(kNoError, 0, " ");
  }
  E1POP("ANORIN");
  return result;
}

}  // namespace velm
