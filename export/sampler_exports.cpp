// Sampler exports: one variate per call, drawn by the array routine with a
// count of 1 into a result cell. The cells are static in the statistics
// edition (they keep the last result) and local to the call in the threaded
// edition.
#include <cmath>
#include <cstdint>

#include "error/elementary.h"
#include "export/edition.h"
#include "export/velmprob.h"
#include "random/samplers.h"
#include "random/uniform.h"

extern "C" {

VELM_API float VELM_CALL VELMNORMAL(const float* mean, const float* sd) {
  VELM_RESULT_CELL float z = 0.0f;
  velm::RNNOA(1, &z);
  return z * *sd + *mean;
}

// mean and sd are those of the lognormal variable; its logarithm has
// variance v = ln(1 + (sd / mean)^2) and mean ln(mean) - v / 2.
VELM_API float VELM_CALL VELMLOGNORMAL(const float* mean, const float* sd) {
  VELM_RESULT_CELL float xm = 0.0f;
  VELM_RESULT_CELL float s = 0.0f;
  VELM_RESULT_CELL float result = 0.0f;
#if VELM_THREADED
  // Single precision throughout: an sd / mean below about 2.4e-4 gives v = 0
  // and is refused as a zero scale.
  const float ratio = *sd / *mean;
  const float v = velm::fp::log(1.0f + ratio * ratio);
  xm = velm::fp::log(*mean) - 0.5f * v;
  s = std::sqrt(v);
#else
  // Double precision, stored to single: small sd / mean keep a positive scale.
  const double ratio = static_cast<double>(*sd) / static_cast<double>(*mean);
  const double v = velm::fp::log(1.0 + ratio * ratio);
  xm = static_cast<float>(velm::fp::log(static_cast<double>(*mean)) - 0.5 * v);
  s = static_cast<float>(std::sqrt(v));
#endif
  velm::RNLNL(1, xm, s, &result);
  return result;
}

VELM_API int32_t VELM_CALL VELMGEOMETRIC(const float* p) {
  VELM_RESULT_CELL int32_t k = 0;
  velm::RNGEO(1, *p, &k);
  return k;
}

VELM_API float VELM_CALL VELMBETA(const float* pin, const float* qin) {
  VELM_RESULT_CELL float x = 0.0f;
  velm::RNBET(1, *pin, *qin, &x);
  return x;
}

#if VELM_THREADED

// Inversion of the triangular distribution function with one uniform.
VELM_API float VELM_CALL VELMTRIANG(const float* low, const float* mode, const float* high) {
  const float lo = *low, mo = *mode, hi = *high;
  const float fc = (mo - lo) / (hi - lo);
  float u;
  velm::RNUN(1, &u);
  if (fc > u) return lo + std::sqrt(u * (hi - lo) * (mo - lo));
  return hi - std::sqrt((1.0f - u) * (hi - lo) * (hi - mo));
}

// A pair of normals with standard deviations sd1, sd2 and correlation rho,
// through the Cholesky factor of their covariance matrix.
VELM_API int32_t VELM_CALL VELMCRNORMAL(const float* mean1, const float* sd1,
                                        const float* mean2, const float* sd2,
                                        const float* rho, float* out1, float* out2) {
  const float r = *rho, s2 = *sd2;
  const float rsig[4] = {*sd1, 0.0f, r * s2, std::sqrt((s2 - r * r * s2) * s2)};
  float pair[2];
  velm::RNMVN(1, 2, rsig, 2, pair, 1);
  *out1 = pair[0] + *mean1;
  *out2 = pair[1] + *mean2;
  return -1;
}

// 1 with probability p; p <= 0 and p >= 1 are answered without a draw.
VELM_API int32_t VELM_CALL VELMYESNO(const float* p) {
  if (*p <= 0.0f) return 0;
  if (*p >= 1.0f) return 1;
  int32_t yes = 0;
  velm::RNBIN(1, 1, *p, &yes);
  return yes;
}

#else

// Symmetric triangular variate t on (0, 1), each half stretched onto its side
// of the mode: probability 1/2 on either side whatever the mode's position.
VELM_API float VELM_CALL VELMTRIANG(const float* low, const float* mode, const float* high) {
  VELM_RESULT_CELL float t = 0.0f;
  velm::RNTRI(1, &t);
  if (t > 0.5f) return *mode + (*high - *mode) * (t - 0.5f) * 2.0f;
  return *low + (*mode - *low) * t * 2.0f;
}

#endif

}  // extern "C"
