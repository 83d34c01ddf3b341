// Triangular variates. RNTRI draws symmetric variates on (0, 1) by inversion:
// the distribution function is 2x^2 below the mode 1/2 and 1 - 2(1 - x)^2
// above it. VELMTRIANG takes its variate on [low, high] either by inverting
// that triangle's own distribution function or by stretching a symmetric
// variate onto both sides of the mode, as the edition says.
#include <cmath>
#include <limits>

#include "core/edition.h"
#include "error/checks.h"
#include "random/samplers.h"
#include "random/uniform.h"

namespace velm {

void RNTRI(int nr, float* r) {
  if (nr < 1) {
    refuse_count_below_one("RNTRI ", nr);
    return;
  }
  RNUN(nr, r);
  for (int i = 0; i < nr; ++i) {
    const float u = r[i];
    r[i] = u <= 0.5f ? std::sqrt(u * 0.5f) : 1.0f - std::sqrt((1.0f - u) * 0.5f);
  }
}

namespace {

// A product of single-precision factors that is a positive normal number
// kept every bit the factors give it, and a negative or NaN one gives a NaN
// root either way; an infinite, zero or subnormal one may have overflowed or
// underflowed on the way.
inline bool in_single_range(float p) {
  return !(p >= 0.0f) || (p >= std::numeric_limits<float>::min() &&
                          p <= std::numeric_limits<float>::max());
}

}  // namespace

float triangular_by_inversion(float u, float low, float mode, float high) {
  // F(x) = (x - low)^2 / ((high - low)(mode - low)) up to the mode, whose
  // probability is fc; above it 1 - F is the mirror image from high.
  const float width = high - low;
  const float fc = (mode - low) / width;
  const bool lower = fc > u;
  const float p = lower ? u * width * (mode - low) : (1.0f - u) * width * (high - mode);
  const bool width_overflowed = std::isinf(width) && std::isfinite(low) && std::isfinite(high);
  if (in_single_range(p) && !width_overflowed) return lower ? low + std::sqrt(p) : high - std::sqrt(p);
  // The product under the root left the single-precision range (wide or
  // tiny intervals) or is an exact zero. Double precision holds it and its
  // root, and the variate lies between low and high, so it is stored back
  // without overflow; an exact zero gives the same endpoint as before. When
  // the width itself overflowed, fc was 0 or NaN and is formed again.
  const double wide = static_cast<double>(high) - low;
  const bool lower_wide = width_overflowed ? (static_cast<double>(mode) - low) / wide > u : lower;
  const double x =
      lower_wide ? low + std::sqrt(u * wide * (static_cast<double>(mode) - low))
                 : high - std::sqrt((1.0 - u) * wide * (static_cast<double>(high) - mode));
  return static_cast<float>(x);
}

float stretch_symmetric_triangular(float t, float low, float mode, float high) {
  // (t - 0.5) and t are at most 1/2, so only the difference of two finite
  // ends can overflow; then the stretch is formed in double precision, where
  // it lies between the ends and is stored back finite.
  if (t > 0.5f) {
    const float side = high - mode;
    if (std::isinf(side) && std::isfinite(high) && std::isfinite(mode)) {
      return static_cast<float>(mode + (static_cast<double>(high) - mode) * (t - 0.5f) * 2.0);
    }
    return mode + side * (t - 0.5f) * 2.0f;
  }
  const float side = mode - low;
  if (std::isinf(side) && std::isfinite(mode) && std::isfinite(low)) {
    return static_cast<float>(low + (static_cast<double>(mode) - low) * t * 2.0);
  }
  return low + side * t * 2.0f;
}

float triangular_variate(float low, float mode, float high, float& start) {
  if constexpr (kTriangularMethod == TriangularMethod::inversion) {
    RNUN(1, &start);
    return triangular_by_inversion(start, low, mode, high);
  } else {
    RNTRI(1, &start);
    return stretch_symmetric_triangular(start, low, mode, high);
  }
}

}  // namespace velm
