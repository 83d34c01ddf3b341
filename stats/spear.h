// Spearman rank-order correlation with the correction for ties, and the
// helpers it ranks with. Like the incomplete beta function these routines do
// not use the error stack; their only diagnostics are console lines after
// which the computation goes on.
#pragma once

#include <cstdint>

namespace velm {

// Rank correlation of data1[0..n-1] and data2[0..n-1] (not modified), using
// work1 and work2 (n reals each) for the ranks. Outputs: dsq, the sum of
// squared rank differences; zdev, its deviation from the mean under
// independence in standard deviations, and pdev, the two-sided significance
// of zdev; rho, the coefficient, and prho, its two-sided significance. rho is
// NaN when n < 2 or when either sample is constant.
void spear(const float* data1, const float* data2, std::int32_t n, float* work1, float* work2,
           float& dsq, float& zdev, float& pdev, float& rho, float& prho);

// Sorts arr[0..n-1] ascending (quicksort, insertion below 7 elements),
// applying the same rearrangement to brr.
void sort2(std::int32_t n, float* arr, float* brr);

// Replaces the ascending w[0..n-1] by its ranks (1-based, tied values get the
// mean of their ranks) and returns the tie sum: the sum of t^3 - t over the
// groups of t equal values. The sum is an integer, returned exactly.
double rankties(std::int32_t n, float* w);

// erfc(x) from a Chebyshev fit, fractional error below about 1.2e-7.
float erfcfit(float x);

}  // namespace velm
