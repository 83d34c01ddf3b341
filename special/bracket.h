// Root finding shared by the distribution inverses: a root of f(x) = F(x) - p
// is bracketed by doubling a secant step away from the starting point, then
// refined by the Illinois variant of regula falsi.
#pragma once

#include <cmath>

namespace velm::bracket {

// Sign tests of two function values. They mean a*b < 0 and a*b > 0, but are
// made on the signs: for tiny probabilities the product underflows to zero
// and would turn a bracket into no bracket, and two values of one sign into
// a sign change.
inline bool opposite_signs(float a, float b) { return (a < 0.0f && b > 0.0f) || (a > 0.0f && b < 0.0f); }
inline bool same_sign(float a, float b) { return (a > 0.0f && b > 0.0f) || (a < 0.0f && b < 0.0f); }

struct Point {
  float x0;
  float f0;
  float x1;
  float f1;
};

// Doubles dx up to 100 times, moving x1 = x0 + dx (raised to 0 when clamp is
// set). Each failed try moves x0 to x1 while f0 keeps the value of the
// starting point: f does not change sign between them. True when f0 and f1
// have opposite signs.
template <typename F>
bool expand(F&& f, Point& pt, float dx, bool clamp) {
  for (int pass = 1; pass <= 100; ++pass) {
    dx = 2.0f * dx;
    pt.x1 = pt.x0 + dx;
    if (clamp && pt.x1 < 0.0f) pt.x1 = 0.0f;
    pt.f1 = f(pt.x1);
    if (opposite_signs(pt.f1, pt.f0)) return true;
    pt.x0 = pt.x1;
  }
  return false;
}

// Secant slope over the first step, kept at least 0.01 so that the step -f0/s
// stays bounded on flat stretches (and a NaN slope becomes 0.01 too).
inline float first_step(float f0, float f1, float d) {
  float s = (f1 - f0) / d;
  if (!(s > 0.01f)) s = 0.01f;
  return -f0 / s;
}

enum class Test {
  kNonNegative,  // |D| < eps*mid, or |D| < eps when mid = 0
  kAbsolute,     // |D| < |eps*mid|
};

// Illinois iteration: the end point that stays for a second step has its
// value halved, and when halving would make it smaller than the new value
// the next point is the midpoint instead. Up to 100 iterations; true with
// the root in *root on convergence, false with the midpoint of the last
// bracket otherwise.
//
// A bracket whose ends are neighbouring floats (its midpoint rounds to one of
// them) cannot shrink any further and counts as converged. The relative test
// alone never accepts the bracket [2^k, 2^k + ulp] when eps is the relative
// spacing 2^-23, and the iteration would spin there until its limit.
template <typename F>
bool refine(F&& f, Point pt, float eps, Test test, bool clamp, float* root) {
  bool bisect = false;
  for (int it = 1; it <= 100; ++it) {
    const float mid = (pt.x0 + pt.x1) / 2.0f;
    const float d = pt.x1 - pt.x0;
    bool done;
    if (test == Test::kAbsolute) {
      done = std::fabs(d) < std::fabs(eps * mid);
    } else {
      done = mid != 0.0f ? std::fabs(d) < eps * mid : std::fabs(d) < eps;
    }
    if (done || mid == pt.x0 || mid == pt.x1) {
      *root = mid;
      return true;
    }
    float x2 = bisect ? mid : pt.x1 - pt.f1 * d / (pt.f1 - pt.f0);
    bisect = false;
    if (clamp && x2 < 0.0f) x2 = 0.0f;
    const float f2 = f(x2);
    if (same_sign(f2, pt.f1)) {
      pt.x1 = x2;
      pt.f1 = f2;
      pt.f0 = pt.f0 / 2.0f;
      if (std::fabs(pt.f0) < std::fabs(f2)) {
        pt.f0 = 2.0f * pt.f0;
        bisect = true;
      }
    } else {
      pt.x0 = pt.x1;
      pt.f0 = pt.f1;
      pt.x1 = x2;
      pt.f1 = f2;
    }
  }
  *root = (pt.x0 + pt.x1) / 2.0f;
  return false;
}

}  // namespace velm::bracket
