// The NaN test by bits, guarded division and the position of extremes.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <limits>

#include "core/machine.h"

namespace {

using namespace velm;

TEST(MissingValues, NanBits) {
  EXPECT_TRUE(NANBIT(std::bit_cast<float>(0x7FC00000u)));
  EXPECT_TRUE(NANBIT(std::bit_cast<float>(0xFFC00001u)));
  EXPECT_TRUE(NANBIT(std::bit_cast<float>(0x7F800001u)));  // signalling
  EXPECT_FALSE(NANBIT(std::bit_cast<float>(0x7F800000u)));
  EXPECT_FALSE(NANBIT(std::bit_cast<float>(0xFF800000u)));
  EXPECT_FALSE(NANBIT(0.0f));
  EXPECT_FALSE(NANBIT(std::numeric_limits<float>::denorm_min()));
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
  EXPECT_TRUE(std::isnan(SAFDIV(machine_real(6), 1.0f)));
  EXPECT_TRUE(std::isnan(SAFDIV(1.0f, machine_real(6))));
}

TEST(Extremes, ExtremesTakeTheFirstOfEquals) {
  const float x[] = {1, 5, 2, 5, -3, -3, 0};
  EXPECT_EQ(IDXMAX(7, x, 1), 2);
  EXPECT_EQ(IDXMIN(7, x, 1), 5);
  EXPECT_EQ(IDXMAX(4, x, 2), 2);  // elements 1, 2, -3, 0
  EXPECT_EQ(IDXMIN(4, x, 2), 3);
  EXPECT_EQ(IDXMAX(0, x, 1), 0);
  EXPECT_EQ(IDXMIN(1, x, 1), 1);
}

}  // namespace
