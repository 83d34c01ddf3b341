// Triangular variates. RNTRI draws symmetric variates on (0, 1) by inversion:
// the distribution function is 2x^2 below the mode 1/2 and 1 - 2(1 - x)^2
// above it. VELMTRIANG takes its variate on [low, high] either by inverting
// that triangle's own distribution function or by stretching a symmetric
// variate onto both sides of the mode, as the edition says.
#include <cmath>

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

float triangular_by_inversion(float u, float low, float mode, float high) {
  // F(x) = (x - low)^2 / ((high - low)(mode - low)) up to the mode, whose
  // probability is fc; above it 1 - F is the mirror image from high.
  const float fc = (mode - low) / (high - low);
  if (fc > u) return low + std::sqrt(u * (high - low) * (mode - low));
  return high - std::sqrt((1.0f - u) * (high - low) * (high - mode));
}

float stretch_symmetric_triangular(float t, float low, float mode, float high) {
  if (t > 0.5f) return mode + (high - mode) * (t - 0.5f) * 2.0f;
  return low + (mode - low) * t * 2.0f;
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
