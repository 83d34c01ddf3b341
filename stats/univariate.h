// Univariate summary statistics of the columns of a data matrix, with
// confidence limits, optional frequencies and weights, missing values, and
// data given in one call or in a sequence of calls.
//
// STAT(r, j) (leading dimension ldstat >= 15) holds statistic r of variable j:
//   1 mean            2 variance        3 standard deviation   4 skewness
//   5 excess kurtosis 6 minimum         7 maximum              8 range
//   9 coef. of var.  10 count          11, 12 confidence limits for the mean
//  13, 14 confidence limits for the variance                  15 sum of weights
// Between the calls of a sequence rows 2, 4 and 5 hold the sums of squared,
// cubed and fourth-power deviations from the running mean.
#pragma once

#include <cstdint>

namespace velm {

// ido      0 all data in one call; 1 first, 2 further, 3 last call of a sequence
// nrow     rows of x in this call; negative: |nrow| rows are removed again
// x, ldx   data, column-major; the variables are the first nvar columns other
//          than columns ifrq and iwt (1-based; 0 means none)
// missopt  0 drops a whole row with any NaN, 1 drops only the NaN element
// conprm, conprv  confidence levels in percent (0 or less: no limits)
// iprint   0 silent, 1 prints the final table, 2 also intermediate tables
// nrowmiss rows that held a missing value
// Argument errors are TERMINAL; degenerate statistics are immediate warnings
// with the affected rows set to NaN (or 0).
void UVSTA(std::int32_t ido, std::int32_t nrow, std::int32_t nvar, const float* x, std::int32_t ldx,
           std::int32_t ifrq, std::int32_t iwt, std::int32_t missopt, float conprm, float conprv,
           std::int32_t iprint, float* stat, std::int32_t ldstat, std::int32_t& nrowmiss);

// The worker of UVSTA; work holds 2 * nvar reals (7 * nvar for intermediate
// printing): the first value seen of each variable, and a flag per variable
// that is set once a later value differs from it.
void U2STA(std::int32_t ido, std::int32_t nrow, std::int32_t nvar, const float* x, std::int32_t ldx,
           std::int32_t ifrq, std::int32_t iwt, std::int32_t missopt, float conprm, float conprv,
           std::int32_t iprint, float* stat, std::int32_t ldstat, std::int32_t& nrowmiss,
           float* work);

// Frequency and weight of row `row` (0-based) of x for a pass in `direction`
// (+1 adding, -1 removing; the frequency is negated when removing). Returns
// 0 use the row, 1 skip it (frequency 0), 2 skip it (frequency or weight
// missing; nrowmiss moves by the direction), 3 stop (negative frequency or
// weight: FATAL message).
int C1WFR(std::int32_t ido, std::int32_t invocation, const float* x, std::int32_t ldx,
          std::int32_t row, int direction, std::int32_t ifrq, std::int32_t iwt,
          std::int32_t& nrowmiss, float& freq, float& wt);

}  // namespace velm
