// Chi-squared distribution function and its inverse.
#include <algorithm>
#include <cmath>

#include "error/checks.h"
#include "error/error.h"
#include "fp/elementary.h"
#include "special/bracket.h"
#include "special/special.h"

namespace velm {

// P(chi2_df <= chsq): for df > 65 by the Wilson-Hilferty normal
// approximation of (chi2/df)^(1/3); otherwise the lower incomplete gamma
// ratio by its power series when x = chsq/2 is below max(a/2, 13), a = df/2,
// and one minus the asymptotic series of the upper tail beyond.
float CHIDF(float chsq, float df) {
  E1PSH("CHIDF ");
  float result = AMACH(6);
  int ier = 1;
  if (chsq < 0.0f) {
    E1STR(1, chsq);
    E1MES(kNote, ier,
          "Since CHSQ = %(R1) is less than zero, the distribution function is zero at CHSQ.");
    E1POP("CHIDF ");
    return 0.0f;
  }
  ++ier;
  if (df < 0.5f) {
    E1STR(1, df);
    E1MES(kTerminal, ier,
          "The number of degrees of freedom of the distribution, DF = %(R1), must be at "
          "least equal to 0.5.");
    E1POP("CHIDF ");
    return result;
  }
  ++ier;
  const float eps = 10.0f * AMACH(4);
  if (chsq <= 9.9999999e-13f) {
    result = 0.0f;
  } else if (df > 65.0f) {
    if (chsq < 2.0f) {
      result = 0.0f;
    } else {
      const float z = (velm::fp::pow(chsq / df, 0.33333334f) - (1.0f - 0.22222222f / df)) /
                      std::sqrt(0.22222222f / df);
      if (z > 5.0f) {
        result = 1.0f;
      } else if (z < -18.8055f) {
        E1MES(kAlert, ier,
              "The normal distribution is used for large degrees of freedom.  However, it has "
              "produced underflow.  Therefore, the probability is set to 0.");
        result = 0.0f;
      } else {
        result = ANORDF(z);
      }
    }
  } else if (chsq > 200.0f) {
    result = 1.0f;
  } else {
    const float a = df / 2.0f;
    const float x = chsq / 2.0f;
    const float g = GAMMA(a);
    const float m = std::max(a / 2.0f, 13.0f);
    if (x < m) {
      if (df > 25.0f && chsq < 2.0f) {
        result = 0.0f;
      } else {
        // x^a e^-x sum_i x^i / (a (a+1) ... (a+i)) / Gamma(a)
        float term = 1.0f / (g * a);
        float sum = term;
        for (int i = 1; i <= 50; ++i) {
          term = term * x / (a + static_cast<float>(i));
          if (term <= eps * sum) break;
          sum += term;
        }
        result = sum * velm::fp::exp(a * velm::fp::log(x) - x);
      }
    } else {
      // 1 - x^(a-1) e^-x (1 + (a-1)/x + (a-1)(a-2)/x^2 + ...) / Gamma(a)
      float c = a - 1.0f;
      float term = c / x;
      float sum = 1.0f + term;
      for (int i = 1; i <= 49; ++i) {
        c -= 1.0f;
        term = term * c / x;
        if (term <= eps * sum) break;
        sum += term;
      }
      result = 1.0f - velm::fp::exp(a * velm::fp::log(x) - x) * sum / (x * g);
    }
  }
  E1POP("CHIDF ");
  return result;
}

// Starts from the Wilson-Hilferty approximation of the quantile, brackets
// the root of CHIDF(x) - p and refines it to a relative width of 10 eps.
float CHIIN(float p, float df) {
  E1PSH("CHIIN ");
  float result = AMACH(6);
  int ier = 1;
  ++ier;
  if (p <= 0.0f || p >= 1.0f) {
    E1STR(1, p);
    E1MES(kTerminal, ier, "The input probability, P = %(R1), must be in the open interval (0.0, 1.0).");
  }
  ++ier;
  if (df < 0.5f) {
    E1STR(1, df);
    E1MES(kTerminal, ier, "The degrees of freedom, DF = %(R1), must be greater than or equal to 0.5.");
  }
  ++ier;
  if (N1RTY(0) == kTerminal) {
    E1POP("CHIIN ");
    return result;
  }

  const float eps = 10.0f * AMACH(4);
  auto f = [p, df](float x) { return CHIDF(x, df) - p; };
  const float z = ANORIN(p);
  const float h = 2.0f / (9.0f * df);
  const float w = 1.0f - h + z * std::sqrt(h);
  bracket::Point pt;
  pt.x0 = df * w * w * w;
  if (pt.x0 < 0.0f) pt.x0 = 0.0f;
  pt.f0 = f(pt.x0);
  if (pt.f0 == 0.0f) {
    E1POP("CHIIN ");
    return pt.x0;
  }
  float d;
  if (pt.x0 >= 1.0f) {
    pt.x1 = 1.05f * pt.x0;
    d = pt.x1 - pt.x0;
  } else {
    pt.x1 = pt.x0 + 0.05f;
    d = 0.05f;
  }
  if (pt.x1 < 0.0f) pt.x1 = 0.0f;
  pt.f1 = f(pt.x1);
  const float dx = bracket::first_step(pt.f0, pt.f1, d);

  if (!bracket::expand(f, pt, dx, true)) {
    E1STR(1, p);
    E1STR(2, df);
    E1MES(kTerminal, ier,
          "Unable to bracket the value of the inverse chi-square at P = %(R1) with DF = "
          "%(R2).");
  } else if (!bracket::refine(f, pt, eps, bracket::Test::kNonNegative, true, &result)) {
    E1MES(kFatal, 1, "Over 100 iterations have occurred without convergence.  Convergence is assumed.");
  }
  E1POP("CHIIN ");
  return result;
}

}  // namespace velm
