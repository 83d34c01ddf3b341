// Machine constants, NaN tests, argument checks that pass, guarded division
// and the vector helpers against plain loops.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "error/error.h"
#include "error/machine.h"

namespace {

using namespace velm;

TEST(MachineConstants, Tables) {
  const std::uint32_t bits[8] = {0x00800000u, 0x7F7FFFFFu, 0x33800000u, 0x34000000u,
                                 0x3E9A209Bu, 0x7FC00000u, 0x7F800000u, 0xFF800000u};
  for (int n = 1; n <= 8; ++n) EXPECT_EQ(std::bit_cast<std::uint32_t>(AMACH(n)), bits[n - 1]) << n;
  EXPECT_EQ(AMACH(1), std::numeric_limits<float>::min());
  EXPECT_EQ(AMACH(2), std::numeric_limits<float>::max());
  EXPECT_EQ(AMACH(3), std::ldexp(1.0f, -24));
  EXPECT_EQ(AMACH(5), static_cast<float>(std::log10(2.0)));
  const std::int32_t imach[12] = {32, 4, 2, 31, 2147483647, 2, 24, -125, 128, 53, -1021, 1024};
  for (int n = 1; n <= 12; ++n) EXPECT_EQ(IMACH(n), imach[n - 1]) << n;
}

TEST(MachineConstants, UnitTable) {
  int unit = 0;
  UMACH(3, unit);
  EXPECT_EQ(unit, 6);
  UMACH(1, unit);
  EXPECT_EQ(unit, 5);
  unit = 7;
  UMACH(-2, unit);
  unit = 0;
  UMACH(2, unit);
  EXPECT_EQ(unit, 7);
  unit = 6;
  UMACH(-2, unit);
}

TEST(MissingValues, NanBits) {
  EXPECT_TRUE(NANBIT(std::bit_cast<float>(0x7FC00000u)));
  EXPECT_TRUE(NANBIT(std::bit_cast<float>(0xFFC00001u)));
  EXPECT_TRUE(NANBIT(std::bit_cast<float>(0x7F800001u)));  // signalling
  EXPECT_FALSE(NANBIT(std::bit_cast<float>(0x7F800000u)));
  EXPECT_FALSE(NANBIT(std::bit_cast<float>(0xFF800000u)));
  EXPECT_FALSE(NANBIT(0.0f));
  EXPECT_FALSE(NANBIT(std::numeric_limits<float>::denorm_min()));
}

TEST(MissingValues, FirstNanCountsElementsNotPositions) {
  const float nan = AMACH(6);
  const float a[] = {1, 2, nan};
  EXPECT_EQ(ISANAN(2, a, 2), 2);
  const float b[] = {1, nan, 3};
  EXPECT_EQ(ISANAN(2, b, 2), 0);
  EXPECT_EQ(ISANAN(3, b, 1), 2);
  EXPECT_EQ(ISANAN(0, b, 1), 0);
  EXPECT_EQ(ISANAN(3, b, 0), 0);
  EXPECT_LE(error_context().level, 1);  // the stack is not touched
}

TEST(ArgumentChecks, PassingChecksAdvanceTheCode) {
  int nerr = 1;
  ARGRNG(5, "NR", 1, -1, nerr);
  EXPECT_EQ(nerr, 2);
  ARGRNG(5, "K", 1, 5, nerr);
  EXPECT_EQ(nerr, 3);
  ARGORD(3, "N1", 3, "N2", nerr);
  EXPECT_EQ(nerr, 4);
  ARGDIM(1, 3, "N", 3, "LD", nerr);
  EXPECT_EQ(nerr, 7);
  ARGDIM(1, 0, "*N", 4, "LD", nerr);
  EXPECT_EQ(nerr, 10);
  EXPECT_EQ(error_context().message_length, 0);
}

TEST(GuardedDivision, Cases) {
  const float inf = std::numeric_limits<float>::infinity();
  EXPECT_EQ(SAFDIV(1.0f, 0.0f), inf);
  EXPECT_EQ(SAFDIV(-1.0f, 0.0f), -inf);
  EXPECT_EQ(SAFDIV(1.0f, -0.0f), inf);  // a zero divisor counts as positive
  EXPECT_TRUE(std::isnan(SAFDIV(0.0f, 0.0f)));
  EXPECT_EQ(SAFDIV(1e-30f, 1e10f), 0.0f);
  EXPECT_EQ(SAFDIV(1e30f, 1e-10f), inf);
  EXPECT_EQ(SAFDIV(-1e30f, 1e-10f), -inf);
  EXPECT_EQ(SAFDIV(6.0f, 3.0f), 2.0f);
  EXPECT_EQ(SAFDIV(1.0f, 0.5f), 2.0f);
  EXPECT_TRUE(std::isnan(SAFDIV(AMACH(6), 1.0f)));
  EXPECT_TRUE(std::isnan(SAFDIV(1.0f, AMACH(6))));
}

TEST(VectorHelpers, ExtremesTakeTheFirstOfEquals) {
  const float x[] = {1, 5, 2, 5, -3, -3, 0};
  EXPECT_EQ(IDXMAX(7, x, 1), 2);
  EXPECT_EQ(IDXMIN(7, x, 1), 5);
  EXPECT_EQ(IDXMAX(4, x, 2), 2);  // elements 1, 2, -3, 0
  EXPECT_EQ(IDXMIN(4, x, 2), 3);
  EXPECT_EQ(IDXMAX(0, x, 1), 0);
  EXPECT_EQ(IDXMIN(1, x, 1), 1);
}

TEST(VectorHelpers, AgainstPlainLoops) {
  std::vector<float> x(80), y(80);
  for (int i = 0; i < 80; ++i) {
    x[i] = 0.1f * static_cast<float>(i) - 1.3f;
    y[i] = 1.0f / static_cast<float>(i + 3);
  }
  for (int n : {0, 1, 4, 5, 6, 7, 8, 13, 20}) {
    for (int incx : {1, 2, -1, -2}) {
      for (int incy : {1, 3, -1}) {
        // Strided walk as the level-1 helpers define it: a negative
        // increment starts at the far end of its vector.
        auto at = [n](int i, int inc) { return inc > 0 ? i * inc : (n - 1 - i) * -inc; };
        float dot = 0.0f;
        for (int i = 0; i < n; ++i) dot = dot + x[at(i, incx)] * y[at(i, incy)];
        EXPECT_EQ(VDOT(n, x.data(), incx, y.data(), incy), dot) << n << ' ' << incx << ' ' << incy;

        std::vector<float> copied(80, -7.0f), expected(80, -7.0f);
        for (int i = 0; i < n; ++i) expected[at(i, incy)] = x[at(i, incx)];
        VCOPY(n, x.data(), incx, copied.data(), incy);
        EXPECT_EQ(copied, expected) << n << ' ' << incx << ' ' << incy;
      }
    }
    std::vector<float> filled(40, 1.0f), expected(40, 1.0f);
    for (int i = 0; i < n; ++i) expected[i * 2] = 4.5f;
    VFILL(n, 4.5f, filled.data(), 2);
    EXPECT_EQ(filled, expected);
    std::vector<float> unit(20, 1.0f);
    VFILL(std::min(n, 20), 2.0f, unit.data(), 1);
    for (int i = 0; i < 20; ++i) EXPECT_EQ(unit[i], i < std::min(n, 20) ? 2.0f : 1.0f);
  }
}

}  // namespace
