// One-way frequency table: OWFRQ checks every argument first, then counts
// the observations in one of four ways, each a routine of its own: equal
// classes over the data's range, equal classes between given bounds with an
// open class at each end, classes between given boundaries (each observation
// placed by a binary search of the boundaries), and classes around given
// marks.
#include "stats/frequency.h"

#include <algorithm>
#include <cmath>

#include "error/checks.h"
#include "error/error.h"

namespace velm {
namespace {

// Equal classes over the range of the data. A class reaches SLACK beyond its
// upper bound so that rounding in the bounds loses no observation near one;
// class k takes whatever the other tests leave.
void count_over_range(std::int32_t nobs, const float* x, std::int32_t k, float* div,
                      float* tally) {
  float eps = AMACH(4);
  float smallest = x[IDXMIN(nobs, x, 1) - 1];
  float largest = x[IDXMAX(nobs, x, 1) - 1];
  float width = (largest - smallest) / static_cast<float>(k);
  float slack = 10.0f * eps * width;
  for (std::int32_t p = 0; p < nobs; ++p) {
    float d = x[p] - smallest;
    std::int32_t cls = k;
    if (d - width <= slack) {
      cls = 1;
    } else {
      for (std::int32_t j = 2; j <= k - 1; ++j) {
        if (static_cast<float>(j - 1) * width < d && d - static_cast<float>(j) * width <= slack) {
          cls = j;
          break;
        }
      }
    }
    tally[cls - 1] += 1.0f;
  }
  for (std::int32_t j = 1; j <= k; ++j) {
    div[j - 1] = smallest + (static_cast<float>(j) - 0.5f) * width;
  }
}

// k - 2 equal classes over (xlo, xhi] between an open class at each end. The
// middle classes are bounded by multiples of the rounded width, so a value at
// or just below xhi can lie above the last of them; it belongs to the last
// middle class, where it is counted, so that the tallies add up to nobs.
void count_between_bounds(std::int32_t nobs, const float* x, std::int32_t k, float xlo, float xhi,
                          float* div, float* tally) {
  float width = (xhi - xlo) / static_cast<float>(k - 2);
  for (std::int32_t p = 0; p < nobs; ++p) {
    std::int32_t cls;
    if (x[p] <= xlo) {
      cls = 1;
    } else if (x[p] > xhi) {
      cls = k;
    } else {
      float d = x[p] - xlo;
      cls = k - 1;
      for (std::int32_t j = 2; j <= k - 1; ++j) {
        if (static_cast<float>(j - 2) * width < d && d <= static_cast<float>(j - 1) * width) {
          cls = j;
          break;
        }
      }
    }
    tally[cls - 1] += 1.0f;
  }
  div[0] = xlo - 0.5f * width;
  for (std::int32_t j = 2; j <= k - 1; ++j) {
    div[j - 1] = xlo + (static_cast<float>(j) - 1.5f) * width;
  }
  div[k - 1] = xhi + 0.5f * width;
}

// Boundaries div[0..k-2], strictly increasing: an observation belongs to the
// first class whose upper boundary it does not exceed, or to class k.
void count_by_boundaries(std::int32_t nobs, const float* x, std::int32_t k, const float* div,
                         float* tally) {
  const float* end = div + (k - 1);
  for (std::int32_t p = 0; p < nobs; ++p) {
    const float* upper = std::lower_bound(div, end, x[p]);
    tally[upper - div] += 1.0f;
  }
}

// Class marks div[0..k-1]: the first mark within halfwidth takes the
// observation.
void count_by_marks(std::int32_t nobs, const float* x, std::int32_t k, float halfwidth,
                    const float* div, float* tally) {
  for (std::int32_t p = 0; p < nobs; ++p) {
    for (std::int32_t j = 0; j < k; ++j) {
      if (std::fabs(x[p] - div[j]) <= halfwidth) {
        tally[j] += 1.0f;
        break;
      }
    }
  }
}

}  // namespace

void OWFRQ(std::int32_t nobs, const float* x, std::int32_t k, std::int32_t iopt, float xlo,
           float xhi, float halfwidth, float* div, float* tally) {
  E1PSH("OWFRQ ");
  if (nobs < 1) {
    E1STI(1, nobs);
    E1MES(kTerminal, 1, "NOBS = %(I1).  There must be at least one observation.");
  }
  if (iopt < 0 || iopt > 3) {
    E1STI(1, iopt);
    E1STI(2, 0);
    E1STI(3, 3);
    E1STL(1, "IOPT");
    E1MES(kTerminal, 2,
          "%(L1) = %(I1).  %(L1) must be greater than or equal to %(I2) and less than or equal to "
          "%(I3).");
  }
  if (iopt == 1 && !(xhi > xlo)) {
    E1STR(1, xlo);
    E1STR(2, xhi);
    E1MES(kTerminal, 3, "XLO = %(R1) and XHI = %(R2).  The lower bound must be less than the upper bound.");
  }
  if (iopt == 2 || iopt == 3) {
    std::int32_t last = iopt == 2 ? k - 1 : k;
    for (std::int32_t i = 2; i <= last; ++i) {
      if (!(div[i - 1] > div[i - 2])) {
        E1STI(1, i);
        E1STR(1, div[i - 1]);
        E1STI(2, i - 1);
        E1STR(2, div[i - 2]);
        E1MES(kTerminal, 4,
              "DIV(%(I1)) = %(R1) and DIV(%(I2)) = %(R2).  The elements of DIV must be  "
              "monotonically increasing.");
      }
    }
  }
  if (iopt == 1 && k < 3) {
    E1STI(1, k);
    E1MES(kTerminal, 5, "K = %(I1).  Since IOPT = 1, there must be at least three intervals.");
  } else if (iopt == 2 && k < 2) {
    E1STI(1, k);
    E1MES(kTerminal, 6, "K = %(I1).  Since IOPT = 2, there must be at least two intervals.");
  } else if (k < 1) {
    E1STI(1, k);
    E1MES(kTerminal, 7, "K = %(I1).  There must be at least one interval.");
  }
  if (nobs > 0 && ISANAN(nobs, x, 1) != 0) {
    E1MES(kTerminal, 8, "X contains missing values.  Missing values are not allowed.");
  }
  if (N1RCD(0) != 0) {
    E1POP("OWFRQ ");
    return;
  }

  for (std::int32_t j = 0; j < k; ++j) tally[j] = 0.0f;
  switch (iopt) {
    case 0:
      count_over_range(nobs, x, k, div, tally);
      break;
    case 1:
      count_between_bounds(nobs, x, k, xlo, xhi, div, tally);
      break;
    case 2:
      count_by_boundaries(nobs, x, k, div, tally);
      break;
    default:
      count_by_marks(nobs, x, k, halfwidth, div, tally);
      break;
  }
  E1POP("OWFRQ ");
}

}  // namespace velm
