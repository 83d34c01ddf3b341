// Empirical quantiles of a sample that may hold missing values (NaN).
//
// For a proportion p and n usable observations x(1) <= ... <= x(n) the
// quantile is the (n + 1) * p-th order statistic, interpolated linearly
// between neighbours; proportions below 1 / (n + 1) give x(1), those at or
// above n / (n + 1) give x(n). XLO and XHI return the two order statistics
// that bracket each quantile.
#pragma once

#include <cstdint>

namespace velm {

// Quantiles q[0..nqprop-1] of x[0..nobs-1] at the proportions qprop, with the
// bracketing order statistics xlo and xhi and the number of NaNs in missing.
// x is never modified: data already in order with every NaN last are read in
// place, anything else is copied into a workspace first.
//   nobs < 1                    TERMINAL, code 4
//   workspace unavailable       TERMINAL, code 2
//   every observation missing   WARNING, code 1; q, xlo, xhi set to NaN
// and the checks of E2TIL.
void EQTIL(std::int32_t nobs, const float* x, std::int32_t nqprop, const float* qprop, float* q,
           float* xlo, float* xhi, std::int32_t& missing);

// The worker of EQTIL. work has room for nobs values, or is x itself when x
// is in order with NaNs last (then it is only read).
//   nobs < 1                           TERMINAL, code 4
//   nqprop < 1                         TERMINAL, code 2
//   a proportion not inside (0, 1)     TERMINAL, code 3 (the first only)
void E2TIL(std::int32_t nobs, const float* x, std::int32_t nqprop, const float* qprop, float* q,
           float* xlo, float* xhi, std::int32_t& missing, float* work);

// Moves the NaNs of x[0..nobs-1] to its end and counts them; the usable
// values then occupy the first nobs - missing places, not in their first
// order. nobs < 1 is a TERMINAL error (code 1).
void U1MVV(std::int32_t nobs, float* x, std::int32_t& missing);

}  // namespace velm
