// Integers as text for message parameters and fixed-width fields.
#include <gtest/gtest.h>

#include <string>

#include "core/text.h"

namespace {

using namespace velm;

TEST(TextHelpers, IntegerToText) {
  char field[8];
  EXPECT_TRUE(int_to_text(42, field, 6));
  EXPECT_EQ(std::string(field, 6), "    42");
  EXPECT_TRUE(int_to_text(-5, field, 2));
  EXPECT_EQ(std::string(field, 2), "-5");
  EXPECT_TRUE(int_to_text(0, field, 1));
  EXPECT_EQ(std::string(field, 1), "0");
  EXPECT_FALSE(int_to_text(-10, field, 2));
  EXPECT_EQ(std::string(field, 2), "**");
  char wide[12];
  EXPECT_TRUE(int_to_text(-2147483647 - 1, wide, 11));
  EXPECT_EQ(std::string(wide, 11), "-2147483648");
}

}  // namespace
