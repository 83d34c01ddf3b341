// The convergence error: two snapshots of a simulated output, the earlier one
// without its last m values, each summarised by the mean, the standard
// deviation and four quantiles; the result is the largest change between
// them in standard deviations of the earlier snapshot.
#include "stats/convergence.h"

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>

#include "error/checks.h"
#include "error/error.h"
#include "stats/quantile.h"
#include "stats/univariate.h"

namespace velm {
namespace {

// All the intermediate values are static, as the statistics edition keeps
// them.
struct Snapshot {
  float stat[15];
  float q[4];
};
Snapshot g_earlier{};
Snapshot g_current{};

// The summary of x[0..n-1] as VELMSTAT and VELMQTIL give it for one variable:
// one call with every row, no frequencies or weights, rows with a NaN
// dropped, 95 % limits; quantiles at 0.1, 0.25, 0.75 and 0.9.
void summarise(std::int32_t n, const float* x, Snapshot& s) {
  static const float proportions[4] = {0.1f, 0.25f, 0.75f, 0.9f};
  std::int32_t nrowmiss = 0;
  UVSTA(0, n, 1, x, n, 0, 0, 0, 95.0f, 95.0f, 0, s.stat, 15, nrowmiss);
  float xlo[4];
  float xhi[4];
  std::int32_t missing = 0;
  EQTIL(n, x, 4, proportions, s.q, xlo, xhi, missing);
}

}  // namespace

float convergence_error(std::int16_t m, std::int16_t n, const float* x) {
  // A negative M would make the earlier snapshot longer than X.
  if (m < 0) {
    E1PSH("VELMCNVERR");
    int nerr = 1;
    ARGRNG(m, "M", 0, -1, nerr);
    E1POP("VELMCNVERR");
    return std::numeric_limits<float>::quiet_NaN();
  }
  // K = N - M as a 16-bit count; a difference below the 16-bit range (N
  // negative) is held at its lowest value instead of wrapping round to a
  // positive count, so the statistics routines still refuse it.
  const std::int32_t difference = static_cast<std::int32_t>(n) - m;
  const auto k = static_cast<std::int16_t>(difference < INT16_MIN ? INT16_MIN : difference);

  summarise(k, x, g_earlier);
  summarise(n, x, g_current);
  const float mean1 = g_earlier.stat[0];
  const float sd1 = g_earlier.stat[2];
  const float mean2 = g_current.stat[0];
  const float sd2 = g_current.stat[2];
  const float* q1 = g_earlier.q;
  const float* q2 = g_current.q;

  float result = 0.0f;
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

}  // namespace velm
