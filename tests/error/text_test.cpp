// Text helpers of the error facility.
#include <gtest/gtest.h>

#include <string>

#include "error/text.h"

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

TEST(TextHelpers, TextToInteger) {
  auto r = text_to_int("   -  0042");
  EXPECT_EQ(r.value, -42);
  EXPECT_EQ(r.status, 0);
  r = text_to_int(" +17x9");
  EXPECT_EQ(r.value, 17);
  EXPECT_EQ(r.status, 5);
  r = text_to_int("    ");
  EXPECT_EQ(r.status, -1);
  r = text_to_int("2147483648");
  EXPECT_EQ(r.status, -2);
  r = text_to_int("2147483647");
  EXPECT_EQ(r.value, 2147483647);
  EXPECT_EQ(r.status, 0);
}

TEST(TextHelpers, SearchAndCompare) {
  EXPECT_EQ(first_not_of("   ab"), 4);
  EXPECT_EQ(first_not_of("xxxx", 'x'), 0);
  EXPECT_EQ(find_nocase("Here is a Traceback", "TRACE"), 11);
  EXPECT_EQ(find_nocase("abc", "abcd"), 0);
  EXPECT_EQ(find_nocase("abc", "z"), 0);
  EXPECT_EQ(compare_nocase("Mean", "MEAN  "), 0);
  EXPECT_EQ(compare_nocase("abc", "abd"), -1);
  EXPECT_EQ(compare_nocase("abd", "ABC"), 1);
  EXPECT_EQ(compare_nocase("ab", "ab!"), -1);  // blank sorts below '!'
}

TEST(TextHelpers, PaddedCopy) {
  char target[6];
  EXPECT_FALSE(copy_padded("abc", target, 6));
  EXPECT_EQ(std::string(target, 6), "abc   ");
  EXPECT_TRUE(copy_padded("abcdefgh", target, 6));
  EXPECT_EQ(std::string(target, 6), "abcdef");
}

}  // namespace
