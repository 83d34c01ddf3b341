// The convergence error of a simulated output: how far the summary of a run
// still moves when its last m values are added.
#pragma once

#include <cstdint>

namespace velm {

// Largest change of the standard deviation, the mean and the 10, 25, 75 and
// 90 % quantiles between the first n - m values of x and all n, in standard
// deviations of the first n - m. The two summaries are the univariate
// statistics and the quantiles exactly as VELMSTAT and VELMQTIL compute them
// for one variable; n - m is formed as a 16-bit count. m < 0 is a TERMINAL
// error under the name VELMCNVERR; other refusals are those of UVSTA and
// EQTIL.
float convergence_error(std::int16_t m, std::int16_t n, const float* x);

}  // namespace velm
