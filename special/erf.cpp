// Complementary error function, its scaled form and its inverse.
//
// erfc is built from three Chebyshev series: erf(x)/x on |x| <= 1, and
// x exp(x^2) erfc(x) on 1 < x^2 <= 4 and on x^2 > 4, the last two in
// variables that map their ranges onto [-1, 1].
#include <algorithm>
#include <cmath>

#include "error/checks.h"
#include "error/error.h"
#include "fp/elementary.h"
#include "special/series_tables.h"
#include "special/special.h"

namespace velm {
namespace {

struct ErfTerms {
  int nterf = 0;
  int nterc2 = 0;
  int nterfc = 0;
};

void count_erf_terms(ErfTerms& t) {
  const float eta = 0.1f * AMACH(3);
  t.nterf = INITS(kErfSeries, kErfOffered, eta);
  t.nterfc = INITS(kErfcTailSeries, kErfcTailOffered, eta);
  t.nterc2 = INITS(kErfcMiddleSeries, kErfcMiddleOffered, eta);
}

// x exp(x^2) erfc(x) - 0.5 for |x| = y > 1, given y2 = y^2.
float scaled_tail(float y2, const ErfTerms& t) {
  if (y2 <= 4.0f) return CSEVL((8.0f / y2 - 5.0f) * 0.33333334f, kErfcMiddleSeries, t.nterc2);
  return CSEVL(8.0f / y2 - 1.0f, kErfcTailSeries, t.nterfc);
}

// 1 - erf(x) = 1 - x (1 + series(2x^2 - 1)) for |x| <= 1.
float erfc_near_zero(float x, const ErfTerms& t) {
  return 1.0f - x * (1.0f + CSEVL(2.0f * x * x - 1.0f, kErfSeries, t.nterf));
}

struct ErfcConstants {
  ErfTerms terms;
  float xsml = 0.0f;
  float xmax = 0.0f;
  float sqeps = 0.0f;
};
ErfcConstants erfc_constants;

struct ErfceConstants {
  ErfTerms terms;
  float xmin = 0.0f;
  float xsml = 0.0f;
  float xmax = 0.0f;
  float sqeps = 0.0f;
};
ErfceConstants erfce_constants;

struct ErfciConstants {
  int nterfc = 0;
  float xmax = 0.0f;
  float tol = 0.0f;
};
ErfciConstants erfci_constants;

// Below XSML, erfc(x) rounds to 2.
float erfc_lower_limit() { return -std::sqrt(-velm::fp::log(AMACH(3) * kSqrtPi)); }

void report_underflow(float x, float xmax) {
  E1STR(1, x);
  E1STR(2, xmax);
  E1MES(kAlert, 1,
        "The function underflows because X = %(R1) is greater than %(R2). The result is set "
        "to zero.");
}

}  // namespace

float ERFC(float x) {
  E1PSH("ERFC  ");
  ErfcConstants& k = erfc_constants;
  if (k.terms.nterf == 0) {
    count_erf_terms(k.terms);
    k.xsml = erfc_lower_limit();
    const float txmax = std::sqrt(-velm::fp::log(AMACH(1) * kSqrtPi));
    k.xmax = txmax - 0.5f * velm::fp::log(txmax) / txmax - 0.01f;
    k.sqeps = std::sqrt(2.0f * AMACH(3));
  }

  float result;
  if (!(x > k.xsml)) {
    result = 2.0f;
  } else if (x > k.xmax) {
    report_underflow(x, k.xmax);
    result = 0.0f;
  } else {
    const float y = std::fabs(x);
    if (y <= 1.0f) {
      result = y < k.sqeps ? 1.0f - 2.0f * x / kSqrtPi : erfc_near_zero(x, k.terms);
    } else {
      const float y2 = y * y;
      const float e = scaled_tail(y2, k.terms);
      result = velm::fp::exp(-y2) * (0.5f + e) / std::fabs(x);
      if (x < 0.0f) result = 2.0f - result;
    }
  }
  E1POP("ERFC  ");
  return result;
}

float ERFCE(float x) {
  E1PSH("ERFCE ");
  ErfceConstants& k = erfce_constants;
  if (k.terms.nterf == 0) {
    count_erf_terms(k.terms);
    k.xmin = 0.01f - std::sqrt(velm::fp::log(0.5f * AMACH(2)));
    k.xsml = erfc_lower_limit();
    k.xmax = velm::fp::exp(std::min(velm::fp::log(AMACH(2)), -velm::fp::log(AMACH(1) * kSqrtPi)) - 0.01f);
    k.sqeps = std::sqrt(2.0f * AMACH(3));
  }

  float result = AMACH(6);
  if (x < k.xmin) {
    E1STR(1, x);
    E1STR(2, k.xmin);
    E1MES(kTerminal, 4, "The function overflows because X = %(R1) is less than %(R2).");
  } else if (x <= k.xsml) {
    result = 2.0f * velm::fp::exp(x * x);
  } else if (x > k.xmax) {
    report_underflow(x, k.xmax);
    result = 0.0f;
  } else {
    const float y = std::fabs(x);
    if (y <= 1.0f) {
      result = y < k.sqeps ? 1.0f - 2.0f * x / kSqrtPi
                           : velm::fp::exp(x * x) * erfc_near_zero(x, k.terms);
    } else {
      const float y2 = y * y;
      const float e = scaled_tail(y2, k.terms);
      result = (0.5f + e) / std::fabs(x);
      if (x < 0.0f) result = 2.0f * velm::fp::exp(y2) - result;
    }
  }
  E1POP("ERFCE ");
  return result;
}

// Near 1 the inverse comes from its own Chebyshev series in s = 1 - x; in the
// tails from Newton's method on erfc(y) = t, started from the leading terms
// of the asymptotic inverse, with the step written through ERFCE so that no
// factor exp(y^2) overflows.
float ERFCI(float x) {
  E1PSH("ERFCI ");
  ErfciConstants& k = erfci_constants;
  if (k.nterfc == 0) {
    k.nterfc = INITS(kErfInverseSeries, kErfInverseOffered, 0.1f * AMACH(3));
    // Above XMAX the result carries less than half the digits: the point where
    // erfc's relative spacing reaches sqrt(eps), by one Newton step on
    // q ln(1.77 q) = -c.
    const float c = std::sqrt(0.079579815f * AMACH(4));
    const float q0 = -c / velm::fp::log(1.77f * c);
    const float q = q0 - (c + q0 * velm::fp::log(1.77f * q0)) / (velm::fp::log(1.77f * q0) + 1.0f);
    k.xmax = 2.0f - q;
    k.tol = 10.0f * AMACH(4);
  }

  float result = AMACH(6);
  if (x <= 0.0f) {
    E1STR(1, x);
    E1MES(kTerminal, 5, "X = %(R1) must be greater than zero.");
  } else if (x >= 2.0f) {
    E1STR(1, x);
    E1MES(kTerminal, 6, "X = %(R1) must be less than 2.0.");
  } else {
    if (x > k.xmax) {
      E1STR(1, x);
      E1MES(kWarning, 2,
            "The result is accurate to less than one half precision because X = %(R1) is too "
            "close to 2.0.");
    }
    const float s = 1.0f - x;
    if (std::fabs(s) < 0.75f) {
      result = s * (1.0f + CSEVL(s * s * 3.5555556f - 1.0f, kErfInverseSeries, k.nterfc));
    } else {
      const float t = s < 0.0f ? 2.0f - x : x;
      const float l = velm::fp::log(t);
      const float e = -velm::fp::log(t * kSqrtPi);
      const float f = velm::fp::log(e);
      float y = std::sqrt(e - f / 2.0f + (f / 4.0f - 0.5f) / e);
      bool converged = false;
      for (int i = 1; i <= 100; ++i) {
        const float d = (ERFCE(y) - velm::fp::exp(y * y + l)) * kSqrtPi * 0.5f;
        y += d;
        if (std::fabs(d) < y * k.tol) {
          converged = true;
          break;
        }
      }
      if (converged) {
        result = s < 0.0f ? -y : y;
      } else {
        E1MES(kTerminal, 7,
              "Sufficiently accurate result was not achieved in a reasonable number of "
              "iterations. An algorithmic problem exists.");
        result = y;
      }
    }
  }
  E1POP("ERFCI ");
  return result;
}

}  // namespace velm
