// Machine constants, the unit table, missing-value tests, the shared argument
// checks and small vector helpers.
#include "error/machine.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>

#include "error/error.h"
#include "error/text.h"
#include "export/edition.h"

namespace velm {
namespace {

constexpr std::int32_t kImach[12] = {32, 4, 2, 31, 2147483647, 2, 24, -125, 128, 53, -1021, 1024};

struct UnitTable {
  std::int32_t unit[3] = {5, 6, 6};
};
constinit VELM_PER_THREAD UnitTable g_units{};

// Writes a terminal message of fixed records that does not use the error
// stack, under the output lock, then stops.
[[noreturn]] void fixed_terminal(int unit, std::string_view line1, std::string_view line2,
                                 std::string_view line3_head, std::int32_t value) {
  char field[6];
  int_to_text(value, field, 6);
  char line3[80];
  const std::size_t head = line3_head.size();
  std::copy(line3_head.begin(), line3_head.end(), line3);
  std::copy(field, field + 6, line3 + head);
  line3[head + 6] = '.';
  write_record(unit, "");
  write_record(unit, line1);
  write_record(unit, line2);
  write_record(unit, std::string_view(line3, head + 7));
  write_record(unit, "");
  E1LOCK(0);
  stop_process();
}

}  // namespace

float amach_refused(int n) {
  E1PSH("AMACH ");
  E1STI(1, n);
  E1MES(kTerminal, 5, "The argument must be between 1 and 8 inclusive. N = %(I1)");
  E1POP("AMACH ");
  return std::bit_cast<float>(kAmachBits[5]);
}

std::int32_t IMACH(int n) {
  if (n >= 1 && n <= 12) return kImach[n - 1];
  E1LOCK(1);
  int unit = 0;
  UMACH(2, unit);
  fixed_terminal(unit, " *** TERMINAL ERROR 5 from IMACH.  The argument",
                 " ***          must be between 1 and 12 inclusive.", " ***          N = ", n);
}

void UMACH(int n, int& nunit) {
  if (n >= 1 && n <= 3) {
    nunit = g_units.unit[n - 1];
    return;
  }
  if (n >= -3 && n <= -1) {
    g_units.unit[-n - 1] = nunit;
    return;
  }
  E1LOCK(1);
  const std::int64_t magnitude = n < 0 ? -static_cast<std::int64_t>(n) : n;
  fixed_terminal(g_units.unit[2], " *** TERMINAL ERROR 5 from UMACH.  The absolute",
                 " ***          value of the index variable must be",
                 " ***          1, 2, or 3.  IABS(N) = ",
                 static_cast<std::int32_t>(magnitude > 2147483647 ? n : magnitude));
}

bool NANBIT(float x) {
  const std::uint32_t bits = std::bit_cast<std::uint32_t>(x);
  return (bits & 0x7F800000u) == 0x7F800000u && (bits & 0x007FFFFFu) != 0;
}

int ISANAN(int n, const float* x, int incx) {
  if (n < 0) {
    E1PSH("ISANAN");
    E1STI(1, n);
    E1MES(kTerminal, 1,
          " The length of the input vector is %(I1).  The length must be non-negative.");
    E1POP("ISANAN");
    return 0;
  }
  if (incx < 0) {
    E1PSH("ISANAN");
    E1STI(1, incx);
    E1MES(kTerminal, 2,
          " The length of the incrementation of the input vector is %(I1).  The "
          "incrementation must be non-negative.");
    E1POP("ISANAN");
    return 0;
  }
  if (n == 0 || incx == 0) return 0;
  for (int i = 0; i < n; ++i) {
    if (NANBIT(x[static_cast<std::ptrdiff_t>(i) * incx])) return i + 1;
  }
  return 0;
}

void ARGRNG(int ivalue, std::string_view name, int lo, int hi, int& nerr) {
  if (hi >= lo && (ivalue < lo || ivalue > hi)) {
    E1STI(1, ivalue);
    E1STI(2, lo);
    E1STI(3, hi);
    E1STL(1, name);
    E1MES(kTerminal, nerr,
          "%(L1) = %(I1).  %(L1) must be greater than or equal to %(I2) and less than or equal "
          "to %(I3).");
  } else if (hi < lo && ivalue < lo) {
    E1STI(1, ivalue);
    E1STI(2, lo);
    E1STL(1, name);
    E1MES(kTerminal, nerr, "%(L1) = %(I1).  %(L1) must be greater than or equal to %(I2).");
  }
  ++nerr;
}

void ARGDIM(int nmin, int n, std::string_view namen, int ld, std::string_view nameld, int& nerr) {
  if (!namen.empty() && namen.front() == '*') {
    ++nerr;
    namen.remove_prefix(1);
  } else {
    ARGRNG(n, namen, nmin, -1, nerr);
  }
  ARGRNG(ld, nameld, 1, -1, nerr);
  if (ld > 0) {
    ARGORD(n, namen, ld, nameld, nerr);
  } else {
    ++nerr;
  }
}

void ARGORD(int n1, std::string_view name1, int n2, std::string_view name2, int& nerr) {
  if (n2 < n1) {
    E1STI(1, n1);
    E1STI(2, n2);
    E1STL(1, name1);
    E1STL(2, name2);
    E1MES(kTerminal, nerr,
          "%(L1) = %(I1) and %(L2) = %(I2).  %(L1) must be less than or equal to %(L2).");
  }
  ++nerr;
}

float SAFDIV(float a, float b) {
  if (NANBIT(a) || NANBIT(b)) return AMACH(6);
  const float abs_a = std::fabs(a);
  const float abs_b = std::fabs(b);
  if (abs_b > 1.0f) return abs_a < AMACH(1) * abs_b ? 0.0f : a / b;
  if (abs_a >= AMACH(2) * abs_b) {
    if (a == 0.0f) return AMACH(6);
    // A zero divisor of either sign counts as positive.
    const bool negative_b = b < 0.0f;
    const bool negative_a = a < 0.0f;
    return negative_a == negative_b ? AMACH(7) : AMACH(8);
  }
  return a / b;
}

namespace {
// Element count (from 1) of the first element that no later one beats: a
// candidate is replaced only when better(v, candidate) holds strictly.
template <typename Better>
int first_extreme(int n, const float* x, int incx, Better better) {
  if (n <= 0) return 0;
  int best = 1;
  float candidate = x[0];
  for (int i = 1; i < n; ++i) {
    const float v = x[static_cast<std::ptrdiff_t>(i) * incx];
    if (better(v, candidate)) {
      candidate = v;
      best = i + 1;
    }
  }
  return best;
}
}  // namespace

int IDXMAX(int n, const float* x, int incx) {
  return first_extreme(n, x, incx, [](float v, float c) { return v > c; });
}

int IDXMIN(int n, const float* x, int incx) {
  return first_extreme(n, x, incx, [](float v, float c) { return v < c; });
}

void VFILL(int n, float a, float* x, int incx) {
  if (n <= 0) return;
  if (incx != 1) {
    for (int i = 0; i < n; ++i) x[static_cast<std::ptrdiff_t>(i) * incx] = a;
    return;
  }
  const int m = n % 8;
  for (int i = 0; i < m; ++i) x[i] = a;
  for (int i = m; i < n; i += 8) {
    x[i] = a, x[i + 1] = a, x[i + 2] = a, x[i + 3] = a;
    x[i + 4] = a, x[i + 5] = a, x[i + 6] = a, x[i + 7] = a;
  }
}

namespace {
// Start offset of a strided walk: a negative increment starts at the far end.
std::ptrdiff_t walk_start(int n, int inc) {
  return inc < 0 ? static_cast<std::ptrdiff_t>(1 - n) * inc : 0;
}
}  // namespace

void VCOPY(int n, const float* x, int incx, float* y, int incy) {
  if (n <= 0) return;
  if (incx == 1 && incy == 1) {
    const int m = n % 7;
    for (int i = 0; i < m; ++i) y[i] = x[i];
    for (int i = m; i < n; i += 7) {
      y[i] = x[i], y[i + 1] = x[i + 1], y[i + 2] = x[i + 2], y[i + 3] = x[i + 3];
      y[i + 4] = x[i + 4], y[i + 5] = x[i + 5], y[i + 6] = x[i + 6];
    }
    return;
  }
  std::ptrdiff_t ix = walk_start(n, incx);
  std::ptrdiff_t iy = walk_start(n, incy);
  for (int i = 0; i < n; ++i, ix += incx, iy += incy) y[iy] = x[ix];
}

float VDOT(int n, const float* x, int incx, const float* y, int incy) {
  float sum = 0.0f;
  if (n <= 0) return sum;
  if (incx == 1 && incy == 1) {
    // Left to right, so the blocks of five add in the same order as the
    // plain loop.
    const int m = n % 5;
    for (int i = 0; i < m; ++i) sum = sum + x[i] * y[i];
    for (int i = m; i < n; i += 5) {
      sum = sum + x[i] * y[i] + x[i + 1] * y[i + 1] + x[i + 2] * y[i + 2] + x[i + 3] * y[i + 3] +
            x[i + 4] * y[i + 4];
    }
    return sum;
  }
  std::ptrdiff_t ix = walk_start(n, incx);
  std::ptrdiff_t iy = walk_start(n, incy);
  for (int i = 0; i < n; ++i, ix += incx, iy += incy) sum = sum + x[ix] * y[iy];
  return sum;
}

}  // namespace velm
