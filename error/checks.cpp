// Machine constants by index, the unit table, the search for missing values
// and the shared argument checks: everything here reports a refused argument
// as a TERMINAL error.
#include "error/checks.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "core/edition.h"
#include "core/text.h"
#include "error/error.h"

namespace velm {
namespace {

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
  return machine_real(6);
}

std::int32_t IMACH(int n) {
  if (n >= 1 && n <= 12) return kImachValues[n - 1];
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

void refuse_count_below_one(std::string_view routine, int nr) {
  E1PSH(routine);
  int nerr = 1;
  ARGRNG(nr, "NR", 1, -1, nerr);
  E1POP(routine);
}

}  // namespace velm
