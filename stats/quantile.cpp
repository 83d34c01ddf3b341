// Empirical quantiles: EQTIL decides between reading the data in place and
// copying them, E2TIL orders the usable values and reads the quantiles off
// them, U1MVV moves missing values out of the way.
#include "stats/quantile.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <new>

#include "error/checks.h"
#include "error/error.h"
#include "stats/sort.h"
#include "stats/workspace.h"

namespace velm {
namespace {

constexpr const char* kAllMissing =
    "All of the observations are missing values.  The elements of Q, XLO and XHI have been set "
    "to NaN (not a number).";
constexpr const char* kNoObservation = "NOBS = %(I1).  There must be at least one observation.";

// Whether x can be read in place: its usable values are nondecreasing and
// every NaN comes after all of them. count is the number of NaNs when it can;
// the scan stops at the first value out of order.
struct OrderCheck {
  bool in_place;
  std::int32_t count;
};

OrderCheck check_order(std::int32_t n, const float* x) {
  float running = AMACH(8);
  std::int32_t count = 0;
  int sign = 1;
  for (std::int32_t p = 0; p < n; ++p) {
    if (NANBIT(x[p])) {
      ++count;
    } else if (x[p] < running) {
      return {false, count};
    } else {
      running = x[p];
      if (count > 0) sign = -1;
    }
  }
  return {sign == 1, count};
}

// Position of the quantile at proportion p among nvalid ordered values:
// FN = (nvalid + 1) * p, J = FN * (1 + EPS) truncated (so that a product a
// rounding error short of an integer counts as that integer), FRAC = FN - J.
struct Position {
  std::int32_t j;
  float frac;
};

Position locate(float p, std::int32_t nvalid, float eps) {
  float fn = p * static_cast<float>(nvalid + 1);
  auto j = static_cast<std::int32_t>(fn * (1.0f + eps));
  float frac = fn - static_cast<float>(j);
  return {j, frac};
}

// Lowest and highest positions (from 1) of the ordered data that the read-off
// step looks at for the position j.
std::int32_t lowest_read(std::int32_t j, std::int32_t nvalid) {
  if (j < 1) return 1;
  return j < nvalid ? j : nvalid;
}
std::int32_t highest_read(std::int32_t j, std::int32_t nvalid) {
  return j < nvalid ? j + 1 : nvalid;
}

void fill_missing(std::int32_t nqprop, float* q, float* xlo, float* xhi) {
  float nan = AMACH(6);
  for (std::int32_t i = 0; i < nqprop; ++i) {
    q[i] = nan;
    xlo[i] = nan;
    xhi[i] = nan;
  }
}

// True when both signed zeros occur among work[0..n-1]. They compare equal,
// so which of them a given order position holds depends on how the values
// were ordered.
bool has_both_zeros(std::int32_t n, const float* work) {
  bool negative = false, positive = false;
  for (std::int32_t p = 0; p < n; ++p) {
    if (work[p] == 0.0f) (std::signbit(work[p]) ? negative : positive) = true;
  }
  return negative && positive;
}

// Places at positions (from 1) of work[0..nvalid-1] (no NaNs) exactly the
// order statistics that the read-off step uses, by successive selection:
// after selecting position p every value before it is no larger and every
// value after it no smaller, so the next position is selected among the
// values after p only. Without two signed zeros the values at these
// positions are those of any complete ordering. False when the positions
// cannot be listed (no storage); nothing is moved then.
bool select_positions(std::int32_t nvalid, float* work, std::int32_t nqprop, const float* qprop,
                      float eps) {
  const auto count = static_cast<std::size_t>(nqprop) * 2;
  std::unique_ptr<std::int32_t[]> positions(new (std::nothrow) std::int32_t[count]);
  if (!positions) return false;
  for (std::int32_t i = 0; i < nqprop; ++i) {
    const std::int32_t j = locate(qprop[i], nvalid, eps).j;
    positions[2 * static_cast<std::size_t>(i)] = lowest_read(j, nvalid);
    positions[2 * static_cast<std::size_t>(i) + 1] = highest_read(j, nvalid);
  }
  std::int32_t* first = positions.get();
  std::sort(first, first + count);
  std::int32_t* last = std::unique(first, first + count);
  std::int32_t begin = 0;
  for (const std::int32_t* p = first; p != last; ++p) {
    std::nth_element(work + begin, work + (*p - 1), work + nvalid);
    begin = *p;
  }
  return true;
}

// Puts work[0..nvalid-1] (no NaNs) in order where the proportions need it.
// The order statistics that the quantiles read are found by selection. When
// both signed zeros occur the designed orderings decide which zero each
// position holds: when every proportion lies in one tail only that tail is
// ordered, by repeated selection of the extreme, far enough to hold every
// order statistic the read-off step uses; otherwise everything is sorted.
void order_for(std::int32_t nvalid, float* work, std::int32_t nqprop, const float* qprop,
               float eps) {
  if (!has_both_zeros(nvalid, work) && select_positions(nvalid, work, nqprop, qprop, eps)) return;
  float qmax = qprop[0];
  float qmin = qprop[0];
  for (std::int32_t i = 1; i < nqprop; ++i) {
    if (qprop[i] > qmax) qmax = qprop[i];
    if (qprop[i] < qmin) qmin = qprop[i];
  }
  auto at = [work](std::int32_t p) -> float& { return work[p - 1]; };
  auto exchange = [&at](std::int32_t p, std::int32_t r) {
    float t = at(p);
    at(p) = at(r);
    at(r) = t;
  };

  if (qmax <= 0.2f) {
    std::int32_t last = 1;
    for (std::int32_t i = 0; i < nqprop; ++i) {
      std::int32_t h = highest_read(locate(qprop[i], nvalid, eps).j, nvalid);
      if (h > last) last = h;
    }
    // The smallest values in ascending order at the front: the first
    // occurrence of the smallest remaining value goes to each place.
    for (std::int32_t pos = 1; pos <= last; ++pos) {
      std::int32_t best = pos;
      for (std::int32_t r = pos + 1; r <= nvalid; ++r) {
        if (at(r) < at(best)) best = r;
      }
      if (best != pos) exchange(pos, best);
    }
  } else if (qmin >= 0.8f) {
    std::int32_t first = nvalid;
    for (std::int32_t i = 0; i < nqprop; ++i) {
      std::int32_t l = lowest_read(locate(qprop[i], nvalid, eps).j, nvalid);
      if (l < first) first = l;
    }
    // The largest values in ascending order at the back, the last place
    // first; a value equal to the one already in the place leaves it there.
    for (std::int32_t pos = nvalid; pos >= first; --pos) {
      std::int32_t best = pos;
      for (std::int32_t r = 1; r < pos; ++r) {
        if (at(r) > at(best)) best = r;
      }
      if (best != pos) exchange(pos, best);
    }
  } else {
    SVRGN(nvalid, work, work);
  }
}

// Reads the quantiles off the ordered values data[0..nvalid-1]. in_place
// selects the strict test for a position that falls on an order statistic.
void read_off(std::int32_t nvalid, const float* data, bool in_place, std::int32_t nqprop,
              const float* qprop, float* q, float* xlo, float* xhi, float eps, float tiny) {
  auto x = [data](std::int32_t p) { return data[p - 1]; };
  for (std::int32_t i = 0; i < nqprop; ++i) {
    Position pos = locate(qprop[i], nvalid, eps);
    std::int32_t j = pos.j;
    float frac = pos.frac;
    float limit = eps * static_cast<float>(j);
    bool on_statistic = in_place ? std::fabs(frac) < limit : std::fabs(frac) <= limit;
    float lo;
    float hi;
    float value;
    if (j > nvalid) {
      // A proportion so close to 1 that FN rounded up to nvalid + 1: the
      // largest value, as for J = nvalid, without reading past the data.
      lo = hi = value = x(nvalid);
    } else if (on_statistic && j >= 1) {
      lo = hi = value = x(j);
    } else if (j == 0) {
      lo = hi = value = x(1);
    } else if (j == nvalid) {
      lo = hi = value = x(nvalid);
    } else {
      lo = x(j);
      hi = x(j + 1);
      if (std::fabs(hi - lo) < tiny) {
        value = lo;
      } else {
        value = (1.0f - frac) * lo + frac * hi;
      }
    }
    q[i] = value;
    xlo[i] = lo;
    xhi[i] = hi;
  }
}

}  // namespace

void EQTIL(std::int32_t nobs, const float* x, std::int32_t nqprop, const float* qprop, float* q,
           float* xlo, float* xhi, std::int32_t& missing) {
  E1PSH("EQTIL ");
  if (nobs < 1) {
    E1STI(1, nobs);
    E1MES(kTerminal, 4, kNoObservation);
  } else {
    OrderCheck order = check_order(nobs, x);
    if (order.in_place) {
      missing = order.count;
      std::int32_t nvalid = nobs - missing;
      if (nvalid > 0) {
        // In place the worker only reads its workspace argument.
        E2TIL(nobs, x, nqprop, qprop, q, xlo, xhi, missing, const_cast<float*>(x));
      } else {
        E1MES(kWarning, 1, kAllMissing);
        fill_missing(nqprop, q, xlo, xhi);
      }
    } else {
      auto work = obtain_work<float>(nobs);
      if (!work) {
        E1MES(kTerminal, 2, " ");
        report_no_storage("NOBS", nobs);
      } else {
        E2TIL(nobs, x, nqprop, qprop, q, xlo, xhi, missing, work.get());
      }
    }
  }
  E1POP("EQTIL ");
}

void E2TIL(std::int32_t nobs, const float* x, std::int32_t nqprop, const float* qprop, float* q,
           float* xlo, float* xhi, std::int32_t& missing, float* work) {
  E1PSH("E2TIL ");
  if (nobs < 1) {
    E1STI(1, nobs);
    E1MES(kTerminal, 4, kNoObservation);
  }
  if (nqprop < 1) {
    E1STI(1, nqprop);
    E1MES(kTerminal, 2, "NQPROP = %(I1).  There must be at least one quantile to compute.");
  } else {
    for (std::int32_t i = 0; i < nqprop; ++i) {
      if (!(qprop[i] > 0.0f && qprop[i] < 1.0f)) {
        E1STI(1, i + 1);
        E1STR(1, qprop[i]);
        E1MES(kTerminal, 3,
              "QPROP(%(I1)) = %(R1).  The quantile proportion must be greater than 0.0 and less "
              "than  1.0.");
        E1POP("E2TIL ");
        return;
      }
    }
  }
  if (N1RCD(0) != 0) {
    E1POP("E2TIL ");
    return;
  }

  float eps = AMACH(4);
  float tiny = AMACH(3);
  OrderCheck order = check_order(nobs, x);
  if (order.in_place) {
    missing = order.count;
    std::int32_t nvalid = nobs - missing;
    if (nvalid > 0) {
      read_off(nvalid, x, true, nqprop, qprop, q, xlo, xhi, eps, tiny);
    } else {
      E1MES(kWarning, 1, kAllMissing);
      fill_missing(nqprop, q, xlo, xhi);
    }
  } else {
    for (std::int32_t p = 0; p < nobs; ++p) work[p] = x[p];
    U1MVV(nobs, work, missing);
    std::int32_t nvalid = nobs - missing;
    order_for(nvalid, work, nqprop, qprop, eps);
    read_off(nvalid, work, false, nqprop, qprop, q, xlo, xhi, eps, tiny);
  }
  E1POP("E2TIL ");
}

void U1MVV(std::int32_t nobs, float* x, std::int32_t& missing) {
  E1PSH("U1MVV ");
  missing = 0;
  if (nobs <= 0) {
    E1STI(1, nobs);
    E1MES(kTerminal, 1, "NOBS = %(I1).  NOBS must be greater than 0.");
    E1POP("U1MVV ");
    return;
  }
  auto at = [x](std::int32_t p) -> float& { return x[p - 1]; };
  // a: position of the first NaN. Everything before it is usable, and the
  // places it fills stay usable, so each search for the next first NaN can
  // start at the previous one.
  std::int32_t a = ISANAN(nobs, x, 1);
  if (a != 0) {
    float nan = AMACH(6);
    std::int32_t i = nobs;
    for (;;) {
      if (NANBIT(at(i))) {
        ++missing;
        --i;
        if (i < a) break;
      } else {
        std::int32_t next = ISANAN(i - a + 1, x + (a - 1), 1);
        if (next == 0) break;
        a += next - 1;
        ++missing;
        at(a) = at(i);
        at(i) = nan;
        --i;
      }
    }
  }
  E1POP("U1MVV ");
}

}  // namespace velm
