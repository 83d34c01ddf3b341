// Summary exports of the statistics edition: univariate statistics, rank
// correlation and the convergence error of a simulated output.
#include <cstdint>
#include <limits>

#include "core/edition.h"
#include "export/velmprob.h"
#include "stats/convergence.h"
#include "stats/spear.h"
#include "stats/univariate.h"
#include "stats/workspace.h"

static_assert(!velm::kThreadedEdition, "these exports belong to the statistics edition");

extern "C" {

VELM_API void VELM_CALL VELMSTAT(const int16_t* nrow, const int16_t* nvar, const float* x,
                                 const int16_t* ldx, float* stat) {
  static std::int32_t rows = 0;
  static std::int32_t vars = 0;
  static std::int32_t ld = 0;
  static std::int32_t nrowmiss = 0;
  rows = *nrow;
  vars = *nvar;
  ld = *ldx;
  // One call with all rows, no frequencies or weights, whole rows dropped
  // when a value is missing, 95 % limits; row 15 of STAT is not written.
  velm::UVSTA(0, rows, vars, x, ld, 0, 0, 0, 95.0f, 95.0f, 0, stat, 15, nrowmiss);
}

VELM_API float VELM_CALL VELMSPEAR(const int16_t* n, const float* data1, const float* data2) {
  static std::int32_t count = 0;
  static float dsq = 0.0f;
  static float zdev = 0.0f;
  static float pdev = 0.0f;
  static float rho = 0.0f;
  static float prho = 0.0f;
  count = *n;
  // No pairs: nothing to read, and no correlation.
  if (count <= 0) return std::numeric_limits<float>::quiet_NaN();
  auto work1 = velm::obtain_work<float>(count);
  decltype(work1) work2;
  if (work1) work2 = velm::obtain_work<float>(count);
  if (!work2) {
    velm::stop_without_storage("VELMSPEAR", "N", count);
    return std::numeric_limits<float>::quiet_NaN();
  }
  velm::spear(data1, data2, count, work1.get(), work2.get(), dsq, zdev, pdev, rho, prho);
  return rho;
}

VELM_API float VELM_CALL VELMCNVERR(const int16_t* m, const int16_t* n, const float* x) {
  return velm::convergence_error(*m, *n, x);
}

}  // extern "C"
