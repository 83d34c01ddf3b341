// Exports of both editions built directly on the uniform stream: the seed
// functions and the uniform variate.
#include <cmath>

#include "core/edition.h"
#include "export/velmprob.h"
#include "random/uniform.h"

extern "C" {

VELM_API void VELM_CALL VELMSETSEED(const int32_t* seed) { velm::RNSET(*seed); }

VELM_API int32_t VELM_CALL VELMGETSEED(void) {
  VELM_RESULT_CELL int32_t seed = 0;
  seed = velm::RNGET();
  return seed;
}

VELM_API float VELM_CALL VELMUNIFORM(const float* a, const float* b) {
  VELM_RESULT_CELL float u = 0.0f;
  velm::RNUN(1, &u);
  // In single precision: the difference, then the product, then the sum.
  const float width = *b - *a;
  if (std::isinf(width) && std::isfinite(*a) && std::isfinite(*b)) {
    // Finite ends more than the largest float apart: the variate, which lies
    // between them, is formed in double precision.
    return static_cast<float>(*a + (static_cast<double>(*b) - *a) * u);
  }
  const float offset = width * u;
  return *a + offset;
}

}  // extern "C"
