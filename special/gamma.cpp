// Gamma function with its two helpers: the correction term of Stirling's
// formula and the limits of the representable range.
#include <algorithm>
#include <cmath>

#include "error/checks.h"
#include "error/error.h"
#include "fp/elementary.h"
#include "special/series_tables.h"
#include "special/special.h"

namespace velm {
namespace {

// First-call constants of GAMMA; recomputed while the term count is 0.
struct GammaConstants {
  int ngam = 0;
  float xmin = 0.0f;
  float xmax = 0.0f;
  float dxrel = 0.0f;
  float xsml = 0.0f;
};
GammaConstants gamma_constants;

// First-call constants of R9LGMC.
struct CorrectionConstants {
  int nalgm = 0;
  float xbig = 0.0f;
  float xmax = 0.0f;
};
CorrectionConstants correction_constants;

// True when x lies within the relative distance dxrel of a negative integer
// (the nearest integer found by truncating x - 0.5).
bool near_negative_integer(float x, float dxrel) {
  return std::fabs((x - std::trunc(x - 0.5f)) / x) < dxrel;
}

void report_near_negative_integer(float x) {
  E1STR(1, x);
  E1MES(kWarning, 2,
        "The result is accurate to less than one half precision because X = %(R1) is too "
        "close to a negative integer.");
}

}  // namespace

float GAMMA(float x) {
  E1PSH("GAMMA ");
  GammaConstants& k = gamma_constants;
  if (k.ngam == 0) {
    k.ngam = INITS(kGammaSeries, kGammaOffered, 0.1f * AMACH(3));
    R9GAML(k.xmin, k.xmax);
    k.dxrel = std::sqrt(AMACH(4));
    k.xsml = velm::fp::exp(std::max(velm::fp::log(AMACH(1)), -velm::fp::log(AMACH(2))) + 0.01f);
  }

  float result = AMACH(6);
  const float y = std::fabs(x);
  if (y <= 10.0f) {
    // x = y + n with y in [0, 1): Gamma(1 + y) from the series, then the
    // recurrence upward (x >= 2) or downward (x < 1).
    int n = static_cast<int>(x);
    if (x < 0.0f) --n;
    const float yf = x - static_cast<float>(n);
    --n;
    float g = 0.9375f + CSEVL(2.0f * yf - 1.0f, kGammaSeries, k.ngam);
    if (n == 0) {
      result = g;
    } else if (n > 0) {
      for (int i = 1; i <= n; ++i) g *= yf + static_cast<float>(i);
      result = g;
    } else {
      n = -n;
      if (x == 0.0f) {
        E1MES(kTerminal, 5, "The argument for the function can not be zero.");
      } else if (yf * 1.0e20f < k.xsml * 1.0e20f) {
        E1STR(1, x);
        E1MES(kTerminal, 4, "The function overflows because X = %(R1) is too close to zero.");
      } else if (x < 0.0f && x + static_cast<float>(n - 2) == 0.0f) {
        E1STR(1, x);
        E1MES(kTerminal, 6,
              "The argument for the function can not be a negative integer. Argument X = "
              "%(R1).");
      } else {
        if (x < -0.5f && near_negative_integer(x, k.dxrel)) report_near_negative_integer(x);
        for (int i = 1; i <= n; ++i) g /= x + static_cast<float>(i - 1);
        result = g;
      }
    }
  } else if (x > k.xmax) {
    E1STR(1, x);
    E1STR(2, k.xmax);
    E1MES(kTerminal, 4, "The function overflows because X = %(R1) is greater than %(R2).");
  } else if (x < k.xmin) {
    E1STR(1, x);
    E1STR(2, k.xmin);
    E1MES(kAlert, 1,
          "The function underflows because X = %(R1) is less than %(R2). The result is set "
          "to zero.");
    result = 0.0f;
  } else {
    // Stirling's formula with its correction term; the reflection formula
    // Gamma(x) Gamma(1 - x) = pi / sin(pi x) for x < -10.
    const float g = velm::fp::exp((y - 0.5f) * velm::fp::log(y) - y + kLnSqrt2Pi + R9LGMC(y));
    if (x > 0.0f) {
      result = g;
    } else {
      if (near_negative_integer(x, k.dxrel)) report_near_negative_integer(x);
      // sin(pi y) of a single-precision pi y is never exactly 0, so a
      // negative integer is recognised as such: at a pole there is no value.
      const float s = velm::fp::sin(kPi * y);
      if (s == 0.0f || x == std::trunc(x)) {
        E1STR(1, x);
        E1MES(kTerminal, 7,
              "The argument for the function can not be a negative integer. Argument X = "
              "%(R1).");
      } else {
        result = -kPi / (y * s * g);
      }
    }
  }
  E1POP("GAMMA ");
  return result;
}

float R9LGMC(float x) {
  E1PSH("R9LGMC");
  CorrectionConstants& k = correction_constants;
  if (k.nalgm == 0) {
    k.nalgm = INITS(kLogGammaCorrection, 6, AMACH(3));
    k.xbig = 1.0f / std::sqrt(AMACH(3));
    k.xmax = velm::fp::exp(std::min(velm::fp::log(AMACH(2) * 0.083333336f), -velm::fp::log(12.0f * AMACH(1))));
  }
  float result = AMACH(6);
  if (x < 10.0f) {
    E1STR(1, x);
    E1MES(kTerminal, 5, "The argument X = %(R1) must be greater than or equal to 10.0.");
  } else if (x >= k.xmax) {
    E1STR(1, x);
    E1STR(2, k.xmax);
    E1MES(kAlert, 1,
          "The function underflows because X = %(R1) is greater than %(R2). The result is "
          "set to zero.");
    result = 0.0f;
  } else if (x >= k.xbig) {
    result = 1.0f / (12.0f * x);
  } else {
    const float t = 10.0f / x;
    result = CSEVL(2.0f * t * t - 1.0f, kLogGammaCorrection, k.nalgm) / x;
  }
  E1POP("R9LGMC");
  return result;
}

void R9GAML(float& xmin, float& xmax) { R9GAML_limits(AMACH(1), AMACH(2), xmin, xmax); }

// Newton's method on Stirling's approximation of ln Gamma: ln|Gamma(-x)|
// reaches ln tiny near the root of (x + 0.5) ln x - x - 0.2258 + ln tiny, and
// ln Gamma(x) reaches ln huge near the root of (x - 0.5) ln x - x + 0.9189 -
// ln huge. Small margins keep both limits inside the range.
void R9GAML_limits(float tiny, float huge, float& xmin, float& xmax) {
  E1PSH("R9GAML");
  const float nan = AMACH(6);
  xmin = nan;
  xmax = nan;
  const float alnsml = velm::fp::log(tiny);
  float lo = -alnsml;
  bool converged = false;
  for (int i = 1; i <= 10; ++i) {
    const float old = lo;
    const float l = velm::fp::log(lo);
    lo = lo - lo * ((lo + 0.5f) * l - lo - 0.2258f + alnsml) / (lo * l + 0.5f);
    if (std::fabs(lo - old) < 0.005f) {
      converged = true;
      break;
    }
  }
  if (!converged) {
    E1MES(kTerminal, 5, "Unable to determine the value of XMIN.");
    E1POP("R9GAML");
    return;
  }
  xmin = 0.01f - lo;

  const float alnbig = velm::fp::log(huge);
  float hi = alnbig;
  converged = false;
  for (int i = 1; i <= 10; ++i) {
    const float old = hi;
    const float l = velm::fp::log(hi);
    hi = hi - hi * ((hi - 0.5f) * l - hi + 0.9189f - alnbig) / (hi * l - 0.5f);
    if (std::fabs(hi - old) < 0.005f) {
      converged = true;
      break;
    }
  }
  if (!converged) {
    E1MES(kTerminal, 6, "Unable to determine the value of XMAX.");
    xmax = nan;
    E1POP("R9GAML");
    return;
  }
  xmax = hi - 0.01f;
  xmin = std::max(xmin, 1.0f - xmax);
  E1POP("R9GAML");
}

}  // namespace velm
