// Beta variates. The method depends on the shape parameters (and, when both
// exceed 1, on how many variates are asked for):
//
//   both below 1                 Johnk: ratio of two powered uniforms;
//   either exactly 1             inversion of the distribution function;
//   one below 1, one above       Atkinson-Whittaker switching method;
//   both above 1, nr <= 4        Cheng's BB (cheap set-up);
//   both above 1, nr >= 5        Schmeiser-Babu B4PE (set-up of about thirty
//                                values, cheaper variates).
//
// Every stored value passes one clamp: 1 or more becomes 1 - 2^-23, and then
// anything not above 2^-24 becomes 2^-24.
#include <cmath>
#include <cstdint>

#include "error/checks.h"
#include "error/error.h"
#include "fp/elementary.h"
#include "random/samplers.h"
#include "random/uniform.h"

namespace velm {

namespace {

struct Bounds {
  float hi;  // 1 - 2^-23
  float lo;  // 2^-24
  float clamp(float x) const {
    if (x >= 1.0f) x = hi;
    if (x <= lo) x = lo;
    return x;
  }
};

// Johnk: X = U1^(1/p), Y = U2^(1/q), accepted when S = X + Y <= 1; then X / S
// is Beta(p, q). With both parameters below 1/2 ("guarded"), X and Y
// underflow readily. Where X or S falls below 2^-24 the ratio is formed from
// logarithms instead, ln X = ln U1 / p and ln Y = ln U2 / q, as
// 1 / (1 + exp(ln Y - ln X)), in double precision so that even subnormal
// parameters give a finite difference. Rejecting such attempts instead would
// remove mass near 0 but not near 1 and skew the distribution.
void johnk(int nr, float pin, float qin, const Bounds& b, float* r) {
  const float c1 = 1.0f / pin;
  const float c2 = 1.0f / qin;
  const bool guarded = c1 > 2.0f && c2 > 2.0f;
  float u[2];
  for (int i = 0; i < nr; ++i) {
    float x, s;
    do {
      RNUN(2, u);
      x = velm::fp::pow(u[0], c1);
      s = x + velm::fp::pow(u[1], c2);
    } while (s > 1.0f);
    float ratio;
    if (!guarded || (x >= b.lo && s >= b.lo)) {
      ratio = x / s;
    } else {
      const double d = velm::fp::log(static_cast<double>(u[1])) / qin -
                       velm::fp::log(static_cast<double>(u[0])) / pin;
      ratio = static_cast<float>(1.0 / (1.0 + velm::fp::exp(d)));
    }
    r[i] = b.clamp(ratio);
  }
}

// Inversion: F(x) = x^p when q = 1, 1 - (1 - x)^q when p = 1.
void inversion(int nr, float pin, float qin, const Bounds& b, float* r) {
  RNUN(nr, r);
  if (qin == 1.0f) {
    if (pin != 1.0f) {
      const float e = 1.0f / pin;
      for (int i = 0; i < nr; ++i) r[i] = velm::fp::pow(r[i], e);
    }
  } else {
    const float e = 1.0f / qin;
    for (int i = 0; i < nr; ++i) r[i] = 1.0f - velm::fp::pow(r[i], e);
  }
  for (int i = 0; i < nr; ++i) r[i] = b.clamp(r[i]);
}

// Switching method for a < 1 < b (parameters swapped and the result mirrored
// when p > 1): the density is bounded by x^(a-1) on (0, t) and by
// t^(a-1) (1 - x)^(b-1) on (t, 1); U1 picks the piece with probability p and
// places X by inversion of the bound, U2 accepts.
void switching(int nr, float pin, float qin, const Bounds& bd, float* r) {
  const bool flip = pin >= 1.0f;
  const float a = flip ? qin : pin;
  const float b = flip ? pin : qin;
  float u[2];
  if (std::isinf(b)) {
    // Beta(a, infinity) is all at 0. The formulas give 0 as well, but only
    // by way of NaN probabilities; the result is made explicit, one pair of
    // uniforms per variate as the formulas would draw.
    for (int i = 0; i < nr; ++i) {
      RNUN(2, u);
      r[i] = bd.clamp(flip ? 1.0f : 0.0f);
    }
    return;
  }
  const float t = (1.0f - a) / (b + 1.0f - a);
  const float p = b * t / (b * t + a * velm::fp::pow(1.0f - t, b));
  const float c = velm::fp::pow(t, a - 1.0f);
  for (int i = 0; i < nr; ++i) {
    float x;
    for (;;) {
      RNUN(2, u);
      if (u[0] <= p) {
        x = t * velm::fp::pow(u[0] / p, 1.0f / a);
        if (u[1] <= velm::fp::pow(1.0f - x, b - 1.0f)) break;
      } else {
        x = 1.0f - (1.0f - t) * velm::fp::pow((1.0f - u[0]) / (1.0f - p), 1.0f / b);
        if (u[1] * c <= velm::fp::pow(x, a - 1.0f)) break;
      }
    }
    r[i] = bd.clamp(flip ? 1.0f - x : x);
  }
}

// Limit of Beta(p, q) with an infinite parameter: all mass at 1 (p infinite),
// at 0 (q infinite) or at 1/2 (both).
float infinite_limit(float pin, float qin) {
  if (std::isinf(pin) && std::isinf(qin)) return 0.5f;
  return std::isinf(pin) ? 1.0f : 0.0f;
}

// Parameters so large that the set-up overflows (for example fm = s ln s -
// ... with s near the largest float, or 2ab beyond it) make the candidates
// NaN, which the tests of BB and B4PE accept. Such a distribution is
// concentrated at its mean far more tightly than single precision resolves,
// so a NaN variate is replaced by the mean p / (p + q).
float overflow_fallback(float x, float pin, float qin) {
  if (!std::isnan(x)) return x;
  const double p = pin, q = qin;
  return static_cast<float>(p / (p + q));
}

// Cheng's BB, for a, b > 1 (a the smaller): V = beta ln(U1 / (1 - U1)),
// W = a e^V, candidate W / (b + W), with a squeeze before the logarithmic
// test.
void cheng_bb(int nr, float pin, float qin, const Bounds& bd, float* r) {
  float u[2];
  if (std::isinf(pin) || std::isinf(qin)) {
    // The set-up would be NaN and every candidate NaN; one attempt's uniforms
    // are drawn and the limit is stored.
    for (int i = 0; i < nr; ++i) {
      RNUN(2, u);
      r[i] = bd.clamp(infinite_limit(pin, qin));
    }
    return;
  }
  const bool a_is_p = pin <= qin;
  const float a = a_is_p ? pin : qin;
  const float b = a_is_p ? qin : pin;
  const float alpha = a + b;
  const float beta = std::sqrt((alpha - 2.0f) / (2.0f * a * b - alpha));
  const float gamma = a + 1.0f / beta;
  for (int i = 0; i < nr; ++i) {
    float w, t;
    for (;;) {
      RNUN(2, u);
      const float v = beta * velm::fp::log(u[0] / (1.0f - u[0]));
      w = a * velm::fp::exp(v);
      const float z = u[0] * u[0] * u[1];
      const float rr = gamma * v - 1.386294f;
      const float s = a + rr - w;
      t = b + w;
      if (5.0f * z <= s + 2.609438f) break;
      const float lz = velm::fp::log(z);
      if (lz <= s) break;
      if (!(rr + alpha * velm::fp::log(alpha / t) < lz)) break;
    }
    r[i] = bd.clamp(overflow_fallback(a_is_p ? w / t : b / t, pin, qin));
  }
}

// Schmeiser-Babu B4PE, for p, q > 1. Around the mode xm the density (scaled
// to 1 at the mode) is covered by two rectangles below it, two rectangles
// between its inflection points x2, x4 and the mode, two triangles beyond
// them to x1, x5 and two exponential tails; p1..p10 are the cumulative areas
// of these pieces.
void schmeiser_babu(int nr, float pin, float qin, const Bounds& bd, float* r) {
  if (std::isinf(pin) || std::isinf(qin)) {
    // As in BB: the set-up is NaN; one attempt's uniforms (u and v), then
    // the limit.
    for (int i = 0; i < nr; ++i) {
      RNUNF();
      RNUNF();
      r[i] = bd.clamp(infinite_limit(pin, qin));
    }
    return;
  }
  constexpr float eps = 9.537e-7f;
  const float pm = pin - 1.0f;
  const float qm = qin - 1.0f;
  const float s = pm + qm;
  const float c = -2.0f * s;
  const float fm = s * velm::fp::log(s) - pm * velm::fp::log(pm) - qm * velm::fp::log(qm);
  const float xm = pm / s;
  auto g = [pm, qm, fm](float x) {
    return velm::fp::exp(pm * velm::fp::log(x) + qm * velm::fp::log(1.0f - x) + fm);
  };
  float x1 = 0.0f, x2 = 0.0f, x4 = 1.0f, x5 = 1.0f;
  float f1 = 0.0f, f2 = 0.0f, f4 = 0.0f, f5 = 0.0f;
  float ll = 0.0f, lr = 0.0f;
  if (s > 1.0f + eps) {
    const float d = std::sqrt(pm * qm / (s - 1.0f)) / s;
    if (xm > (1.0f + eps) * d) {
      x2 = xm - d;
      x1 = x2 - x2 * (1.0f - x2) / (pm - s * x2);
      ll = pm / x1 - qm / (1.0f - x1);
      f1 = g(x1);
      f2 = g(x2);
    }
    if (d < 1.0f - xm - eps) {
      x4 = xm + d;
      x5 = x4 - x4 * (1.0f - x4) / (pm - s * x4);
      lr = qm / (1.0f - x5) - pm / x5;
      f4 = g(x4);
      f5 = g(x5);
    }
  }
  const float p1 = f2 > 0.0f ? f2 * (xm - x2) : 0.0f;
  const float p2 = f4 > 0.0f ? p1 + f4 * (x4 - xm) : p1;
  const float p3 = f1 > 0.0f ? p2 + f1 * (x2 - x1) : p2;
  const float p4 = f5 > 0.0f ? p3 + f5 * (x5 - x4) : p3;
  const float p5 = p4 + (1.0f - f2) * (xm - x2);
  const float p6 = p5 + (1.0f - f4) * (x4 - xm);
  const float p7 = f1 < f2 ? p6 + (f2 - f1) * (x2 - x1) / 2.0f : p6;
  const float p8 = f5 < f4 ? p7 + (f4 - f5) * (x5 - x4) / 2.0f : p7;
  const float p9 = f1 > 0.0f ? p8 + f1 / ll : p8;
  const float p10 = f5 > 0.0f ? p9 + f5 / lr : p9;

  for (int i = 0; i < nr; ++i) {
    float x;
    for (;;) {
      const float u = RNUNF() * p10;
      if (u <= p4) {
        // Rectangles under the density: accepted outright.
        if (u <= p1) {
          x = x2 + u / f2;
        } else if (u <= p2) {
          x = xm + (u - p1) / f4;
        } else if (u <= p3) {
          x = x1 + (u - p2) / f1;
        } else {
          x = x4 + (u - p3) / f5;
        }
        break;
      }
      float v = RNUNF();
      float w;
      if (u <= p5) {
        x = x2 + (xm - x2) * v;
        if ((u - p4) / (p5 - p4) <= v) break;
        w = f2 + (u - p4) / (xm - x2);
      } else if (u <= p6) {
        x = xm + (x4 - xm) * v;
        if (v <= (p6 - u) / (p6 - p5)) break;
        w = f4 + (u - p5) / (x4 - xm);
      } else if (u <= p8) {
        const float vb = RNUNF();
        if (vb > v) v = vb;
        if (u <= p7) {
          x = x1 + (x2 - x1) * v;
          w = f1 + 2.0f * v * (u - p6) / (x2 - x1);
          if (w < f2 * v) break;
        } else {
          x = x5 - (x5 - x4) * v;
          w = f5 + 2.0f * v * (u - p7) / (x5 - x4);
          if (w <= f4 * v) break;
        }
      } else if (u <= p9) {
        const float e = (p9 - u) / (p9 - p8);
        x = x1 + velm::fp::log(e) / ll;
        if (x <= 0.0f) continue;
        if (v <= (1.0f + ll * (x - x1)) / e) break;
        w = v * f1 * e;
      } else {
        const float e = (p10 - u) / (p10 - p9);
        x = x5 - velm::fp::log(e) / lr;
        if (x >= 1.0f) continue;
        if (v <= (1.0f + lr * (x5 - x)) / e) break;
        w = v * f5 * e;
      }
      if (w <= 0.0f) break;
      const float z = velm::fp::log(w);
      const float dx = x - xm;
      if (c * (dx * dx) < z) continue;
      if (x >= 1.0f) continue;
      if (pm * velm::fp::log(x) + qm * velm::fp::log(1.0f - x) + fm < z) continue;
      break;
    }
    r[i] = bd.clamp(overflow_fallback(x, pin, qin));
  }
}

}  // namespace

void RNBET(int nr, float pin, float qin, float* r) {
  const Bounds b{1.0f - AMACH(4), AMACH(3)};
  // A NaN parameter fails "greater than 0" and is refused with the rest.
  if (nr < 1 || !(pin > 0.0f) || !(qin > 0.0f)) {
    E1PSH("RNBET ");
    int nerr = 1;
    ARGRNG(nr, "NR", 1, 0, nerr);
    if (!(pin > 0.0f)) {
      E1STR(1, pin);
      E1MES(kTerminal, 2, "PIN = %(R1).  PIN must be positive.");
    }
    if (!(qin > 0.0f)) {
      E1STR(1, qin);
      E1MES(kTerminal, 3, "QIN = %(R1).  QIN must be positive.");
    }
    E1POP("RNBET ");
    return;
  }
  if (pin < 1.0f && qin < 1.0f) {
    johnk(nr, pin, qin, b, r);
  } else if (pin == 1.0f || qin == 1.0f) {
    inversion(nr, pin, qin, b, r);
  } else if ((pin < 1.0f && qin > 1.0f) || (qin < 1.0f && pin > 1.0f)) {
    switching(nr, pin, qin, b, r);
  } else if (nr <= 4) {
    cheng_bb(nr, pin, qin, b, r);
  } else {
    schmeiser_babu(nr, pin, qin, b, r);
  }
}

}  // namespace velm
