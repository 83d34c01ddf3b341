// Sampler exports of both editions: one variate per call, drawn by the array
// routine with a count of 1 into a result cell. The cells are static in the
// statistics edition (they keep the last result) and local to the call in the
// threaded edition.
#include <cstdint>

#include "core/edition.h"
#include "export/velmprob.h"
#include "random/samplers.h"

extern "C" {

VELM_API float VELM_CALL VELMNORMAL(const float* mean, const float* sd) {
  VELM_RESULT_CELL float z = 0.0f;
  velm::RNNOA(1, &z);
  return z * *sd + *mean;
}

// mean and sd are those of the lognormal variable itself.
VELM_API float VELM_CALL VELMLOGNORMAL(const float* mean, const float* sd) {
  VELM_RESULT_CELL float xm = 0.0f;
  VELM_RESULT_CELL float s = 0.0f;
  VELM_RESULT_CELL float result = 0.0f;
  const velm::LogMoments log_moments = velm::lognormal_log_moments(*mean, *sd);
  xm = log_moments.xm;
  s = log_moments.s;
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

// The editions use different methods (core/edition.h); the cell holds the
// uniform or symmetric triangular variate that the method starts from.
VELM_API float VELM_CALL VELMTRIANG(const float* low, const float* mode, const float* high) {
  VELM_RESULT_CELL float start = 0.0f;
  return velm::triangular_variate(*low, *mode, *high, start);
}

}  // extern "C"
