// In-memory sorts of single-precision vectors.
//
// Both routines are one partition-exchange sort: the partitioning element is
// taken at a fraction of the segment that varies from one partition to the
// next, refined by a median of three; pending segments wait on an explicit
// stack; short segments away from the left end are finished by straight
// insertion. Neither sort is stable: the order of equal keys (and of their
// labels) follows from the partitioning, and callers rely on it.
#pragma once

#include <cstdint>

namespace velm {

// Copies ra[0..n-1] into rb and sorts rb ascending by value. ra is only read
// (it may be the same array as rb). n < 1 is a TERMINAL error (code 1).
void SVRGN(std::int32_t n, const float* ra, float* rb);

// Copies ra[0..n-1] into rb and sorts rb ascending by absolute value, each
// element keeping its sign; iperm[0..n-1] holds positive labels on entry and
// every move of an rb element moves the label at the same index with it. With
// iperm = 1..n on entry, rb[i] = ra[iperm[i] - 1] on return. n < 1 is a
// TERMINAL error (code 1).
void SVRBP(std::int32_t n, const float* ra, float* rb, std::int32_t* iperm);

}  // namespace velm
