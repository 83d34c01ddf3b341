// Machine constants by index, the unit table, the search for missing values
// and argument checks that pass.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>

#include "error/checks.h"
#include "error/error.h"

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

}  // namespace
