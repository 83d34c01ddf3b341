// Summary exports of the statistics edition: univariate statistics, rank
// correlation and the convergence error of a simulated output.
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>

#include "error/error.h"
#include "error/machine.h"
#include "export/edition.h"
#include "export/velmprob.h"
#include "stats/spear.h"
#include "stats/univariate.h"
#include "stats/workspace.h"

static_assert(!velm::kThreadedEdition, "the statistics exports belong to the statistics edition");

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
    velm::E1PSH("VELMSPEAR");
    velm::report_no_storage("N", count);
    velm::E1POP("VELMSPEAR");
    return std::numeric_limits<float>::quiet_NaN();
  }
  velm::spear(data1, data2, count, work1.get(), work2.get(), dsq, zdev, pdev, rho, prho);
  return rho;
}

// Largest change of the standard deviation, the mean and the 10, 25, 75 and
// 90 % quantiles between the first N - M values and all N, in standard
// deviations of the first N - M.
VELM_API float VELM_CALL VELMCNVERR(const int16_t* m, const int16_t* n, const float* x) {
  static const float proportions[4] = {0.1f, 0.25f, 0.75f, 0.9f};
  static float stat[15] = {};
  static float q1[4] = {};
  static float q2[4] = {};
  static float mean1 = 0.0f;
  static float sd1 = 0.0f;
  static float mean2 = 0.0f;
  static float sd2 = 0.0f;
  static float result = 0.0f;

  // A negative M would make the earlier snapshot longer than X.
  if (*m < 0) {
    velm::E1PSH("VELMCNVERR");
    int nerr = 1;
    velm::ARGRNG(*m, "M", 0, -1, nerr);
    velm::E1POP("VELMCNVERR");
    return std::numeric_limits<float>::quiet_NaN();
  }
  // K = N - M as a 16-bit count; a difference below the 16-bit range (N
  // negative) is held at its lowest value instead of wrapping round to a
  // positive count, so the statistics routines still refuse it.
  const std::int32_t difference = static_cast<std::int32_t>(*n) - *m;
  const auto k = static_cast<int16_t>(difference < INT16_MIN ? INT16_MIN : difference);
  const int16_t one = 1;
  const int16_t four = 4;

  VELMSTAT(&k, &one, x, &k, stat);
  mean1 = stat[0];
  sd1 = stat[2];
  VELMQTIL(&k, x, &four, proportions, q1);

  VELMSTAT(n, &one, x, n, stat);
  mean2 = stat[0];
  sd2 = stat[2];
  VELMQTIL(n, x, &four, proportions, q2);

  result = 0.0f;
  // Tested on the bit pattern: positive numbers, +infinity and NaNs with the
  // sign bit clear pass.
  if (std::bit_cast<std::int32_t>(sd1) > 0) {
    const float changes[6] = {
        std::fabs(sd2 - sd1) / sd1,       std::fabs(mean2 - mean1) / sd1,
        std::fabs(q2[0] - q1[0]) / sd1,   std::fabs(q2[1] - q1[1]) / sd1,
        std::fabs(q2[2] - q1[2]) / sd1,   std::fabs(q2[3] - q1[3]) / sd1,
    };
    // The first change replaces 0 unless it is smaller (a NaN replaces it);
    // the later ones replace the running value only when larger, so a NaN
    // among them is passed over.
    result = changes[0] < result ? result : changes[0];
    for (int i = 1; i < 6; ++i) {
      if (result < changes[i]) result = changes[i];
    }
  }
  return result;
}

}  // extern "C"
