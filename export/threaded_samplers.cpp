// Sampler exports of the threaded sampling edition only: the correlated
// normal pair and the yes/no variate. Every value lives in the call.
#include <cstdint>

#include "core/edition.h"
#include "export/velmprob.h"
#include "random/samplers.h"

static_assert(velm::kThreadedEdition, "these exports belong to the threaded sampling edition");

extern "C" {

VELM_API int32_t VELM_CALL VELMCRNORMAL(const float* mean1, const float* sd1,
                                        const float* mean2, const float* sd2,
                                        const float* rho, float* out1, float* out2) {
  velm::normal_pair(*mean1, *sd1, *mean2, *sd2, *rho, *out1, *out2);
  return -1;
}

VELM_API int32_t VELM_CALL VELMYESNO(const float* p) { return velm::yes_no(*p); }

}  // extern "C"
