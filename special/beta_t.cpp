// Inverse beta and inverse Student t distribution functions.
#include <cmath>

#include "error/checks.h"
#include "error/error.h"
#include "fp/elementary.h"
#include "special/bracket.h"
#include "special/incomplete_beta.h"
#include "special/special.h"

namespace velm {

// Root of I_x(pin, qin) - p by the bracket-and-refine scheme, started at
// x = p. Outside (0, 1) the distribution function is continued by 0 and 1,
// so the bracket may reach beyond the interval without evaluating betai there.
float BETIN(float p, float pin, float qin) {
  E1PSH("BETIN ");
  float result = AMACH(6);
  if (pin <= 0.0f) {
    E1STR(1, pin);
    E1MES(kTerminal, 2,
          "The first parameter of the beta distribution, PIN = %(R1), must be positive.");
  } else if (qin <= 0.0f) {
    E1STR(1, qin);
    E1MES(kTerminal, 3,
          "The second parameter of the beta distribution, QIN = %(R1), must be positive.");
  } else if (p <= 0.0f || p >= 1.0f) {
    E1STR(1, p);
    E1MES(kTerminal, 4,
          "The probability which the inverse of the beta distribution is based on, P = "
          "%(R1), must be in the exclusive interval (0.0, 1.0).");
  } else {
    const float eps = AMACH(4);
    auto f = [p, pin, qin](float x) {
      if (x <= 0.0f) return -p;
      if (x >= 1.0f) return 1.0f - p;
      return betai(pin, qin, x) - p;
    };
    bracket::Point pt;
    pt.x0 = p;
    pt.f0 = f(p);
    if (pt.f0 == 0.0f) {
      E1POP("BETIN ");
      return p;
    }
    pt.x1 = p + 0.05f;
    pt.f1 = f(pt.x1);
    const float dx = bracket::first_step(pt.f0, pt.f1, 0.05f);
    if (!bracket::expand(f, pt, dx, false)) {
      // No sign change found: refine towards the upper end of the support,
      // with the function value that belongs to it.
      pt.x1 = 1.0f;
      pt.f1 = f(pt.x1);
    }
    if (!bracket::refine(f, pt, eps, bracket::Test::kAbsolute, false, &result)) {
      E1MES(kFatal, 1,
            "Over 100 iterations have occurred without convergence.  Convergence is assumed.");
    }
  }
  E1POP("BETIN ");
  return result;
}

// Student t quantile: closed forms for one and two degrees of freedom, Hill's
// approximation for more than two, and for 1 < df < 2 the inverse beta
// through x = df/(df + t^2) ~ Beta(df/2, 1/2).
float TIN(float p, float df) {
  E1PSH("TIN   ");
  static bool ready = false;
  static float halfpi = 0.0f;
  if (!ready) {
    halfpi = velm::fp::asin(1.0f);
    ready = true;
  }
  float result = AMACH(6);
  int ier = 1;
  if (!(df >= 1.0f)) {
    E1STR(1, df);
    E1MES(kTerminal, ier, "The input number of degrees of freedom, DF = %(R1), must be at least 1.");
    E1POP("TIN   ");
    return result;
  }
  ++ier;
  if (p <= 0.0f || p >= 1.0f) {
    E1STR(1, p);
    E1MES(kTerminal, ier,
          "The input probability value, P = %(R1), must be in the open interval (0.0,1.0).");
    E1POP("TIN   ");
    return result;
  }
  ++ier;
  const float e4 = AMACH(4);
  if (0.5f - e4 < p && p < 0.5f + e4) {
    E1POP("TIN   ");
    return 0.0f;
  }
  const float p2 = p < 0.5f ? 2.0f * p : 2.0f * (1.0f - p);
  float t;
  if (std::fabs(df - 2.0f) <= e4) {
    t = std::sqrt(2.0f / ((2.0f - p2) * p2) - 2.0f);
  } else if (std::fabs(df - 1.0f) <= e4) {
    const float g = p2 * halfpi;
    t = velm::fp::cos(g) / velm::fp::sin(g);
  } else if (df > 2.0f) {
    // Hill's approximation to the t quantile.
    const float n = df;
    const float a = 1.0f / (n - 0.5f);
    const float b = 48.0f / (a * a);
    float c = ((20700.0f * a / b - 98.0f) * a - 16.0f) * a + 96.36f;
    const float d = ((94.5f / (b + c) - 3.0f) / b + 1.0f) * std::sqrt(a * halfpi) * n;
    float x = d * p2;
    float y = velm::fp::pow(x, 2.0f / n);
    if (y <= a + 0.05f) {
      y = ((1.0f / (((n + 6.0f) / (n * y) - 0.089f * d - 0.822f) * (n + 2.0f) * 3.0f) +
            0.5f / (n + 4.0f)) *
               y -
           1.0f) *
              (n + 1.0f) / (n + 2.0f) +
          1.0f / y;
    } else {
      x = ANORIN(p2 * 0.5f);
      y = x * x;
      if (n < 5.0f) c = c + 0.3f * (n - 4.5f) * (x + 0.6f);
      c = (((0.05f * d * x - 5.0f) * x - 7.0f) * x - 2.0f) * x + b + c;
      y = (((((0.4f * y + 6.3f) * y + 36.0f) * y + 94.5f) / c - y - 3.0f) / b + 1.0f) * x;
      y = a * y * y;
      y = y > 0.002f ? velm::fp::exp(y) - 1.0f : (0.5f * y + 1.0f) * y;
    }
    t = std::sqrt(n * y);
  } else {
    const float x = BETIN(p2, df / 2.0f, 0.5f);
    if (x == 0.0f) {
      // t = sqrt(df (1/x - 1)) overflows: the quantile is infinite, with the
      // sign of its tail like every other result.
      E1MES(kFatal, ier,
            "Upon modifying the inverse value for the F distribution from the value obtained "
            "from the inverse BETA distribution, BETIN, overflow would occur.  Therefore, the "
            "value is set to machine infinity.");
      E1POP("TIN   ");
      return p < 0.5f ? AMACH(8) : AMACH(7);
    }
    t = std::sqrt(df * (1.0f / x - 1.0f));
  }
  result = p < 0.5f ? -t : t;
  E1POP("TIN   ");
  return result;
}

}  // namespace velm
