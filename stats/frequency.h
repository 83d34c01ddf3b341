// One-way frequency table of a sample by one of four ways of forming classes.
#pragma once

#include <cstdint>

namespace velm {

// Tallies x[0..nobs-1] (no NaNs allowed) into k classes; tally[j] counts the
// observations of class j + 1 (in floating point). The classes by iopt:
//   0  k equal classes over the range of the data; div receives the midpoints
//   1  k - 2 equal classes over (xlo, xhi] and an open class at each end;
//      div receives the class marks
//   2  boundaries given in div[0..k-2]: class 1 is x <= div[0], class k is
//      x > div[k-2]
//   3  class marks given in div[0..k-1], each class x with |x - mark| <=
//      halfwidth (the first such class); observations near no mark are not
//      counted
// All argument checks are made and reported, as TERMINAL errors, before
// anything is counted: nobs < 1 (code 1), iopt outside 0..3 (2), xhi not
// above xlo with iopt 1 (3), div not increasing with iopt 2 or 3 (4, every
// offending pair), too few classes (5, 6 or 7 by iopt), a NaN in x (8). On an
// error div and tally are left untouched.
void OWFRQ(std::int32_t nobs, const float* x, std::int32_t k, std::int32_t iopt, float xlo,
           float xhi, float halfwidth, float* div, float* tally);

}  // namespace velm
