// The error facility in process: parameter list format and limits, message
// composition and tokens, pass-up of types and the queries.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "error/error.h"

namespace {

using namespace velm;

std::string params() {
  const ErrorContext& ctx = error_context();
  return ctx.params_end == 1 ? std::string() : std::string(ctx.params, ctx.params_end);
}

std::string message() {
  const ErrorContext& ctx = error_context();
  return std::string(ctx.message, ctx.message_length);
}

// Each test starts at level 1 with an empty parameter list and no message.
class ErrorFacility : public ::testing::Test {
 protected:
  void SetUp() override {
    E1INIT();
    ErrorContext& ctx = error_context();
    ASSERT_EQ(ctx.level, 1);
    ctx.params_end = 1;
    ctx.message_length = 0;
  }
  void TearDown() override {
    ErrorContext& ctx = error_context();
    ctx.params_end = 1;
    ctx.message_length = 0;
  }
};

TEST_F(ErrorFacility, InitialState) {
  const ErrorContext& ctx = error_context();
  EXPECT_EQ(ctx.max_level, 50);
  EXPECT_EQ(std::string(ctx.name[1], 32), "USER" + std::string(28, ' '));
  for (int t = 1; t <= 7; ++t) {
    EXPECT_EQ(ctx.print_flag[t], t >= 3 ? 1 : 0) << t;
    EXPECT_EQ(ctx.stop_flag[t], (t == 4 || t == 5 || t == 7) ? 1 : 0) << t;
    EXPECT_EQ(ctx.trace_flag[t], 1) << t;
  }
}

TEST_F(ErrorFacility, ParameterEntries) {
  E1STI(1, 50);
  EXPECT_EQ(params(), "*I1*2%50");
  E1STI(2, -2147483647 - 1);
  EXPECT_EQ(params(), "*I1*2%50*I2*11%-2147483648");
  error_context().params_end = 1;

  // Trailing blanks are dropped for positive slots, kept for negative ones.
  E1STL(1, "abc   ");
  EXPECT_EQ(params(), "*L1*3%abc");
  E1STL(-2, "abc   ");
  EXPECT_EQ(params(), "*L1*3%abc*L2*6%abc   ");
  error_context().params_end = 1;
  E1STL(3, "    ");
  EXPECT_EQ(params(), "*L3*1% ");
  error_context().params_end = 1;

  // Slots outside 1..9 store nothing.
  E1STI(0, 1);
  E1STI(10, 1);
  E1STR(-1, 1.0f);
  E1STL(10, "x");
  EXPECT_EQ(params(), "");

  // Texts are cut to 255 characters, with a three-digit length.
  E1STL(1, std::string(300, 'q'));
  EXPECT_EQ(params(), "*L1*255%" + std::string(255, 'q'));
}

TEST_F(ErrorFacility, ParameterListDropsWhatDoesNotFit) {
  E1STL(1, std::string(255, 'a'));  // ends at 263
  const int end = error_context().params_end;
  EXPECT_EQ(end, 263);
  E1STL(2, std::string(30, 'b'));  // 263 + 30 + 8 > 300: dropped silently
  EXPECT_EQ(error_context().params_end, end);
  E1STL(3, std::string(29, 'c'));  // 263 + 29 + 8 = 300: stored
  EXPECT_EQ(error_context().params_end, 263 + 4 + 2 + 1 + 29);
}

TEST_F(ErrorFacility, RealParameters) {
  const std::pair<float, const char*> cases[] = {
      {1.0f, "1.000000E+00"},   {0.0f, "0.000000E+00"},      {-2.5e-10f, "-2.500000E-10"},
      {1e30f, "1.000000E+30"},  {0.1f, "1.000000E-01"},      {3.4028235e38f, "3.402823E+38"},
      {1.25e-45f, "1.401298E-45"}, {123456.7f, "1.234567E+05"},
  };
  for (const auto& [value, text] : cases) {
    error_context().params_end = 1;
    E1STR(1, value);
    EXPECT_EQ(params(), "*R1*" + std::to_string(std::string(text).size()) + "%" + text) << text;
  }
  error_context().params_end = 1;
  E1STR(1, std::numeric_limits<float>::quiet_NaN());
  EXPECT_EQ(params(), "*R1*3%NaN");
}

TEST_F(ErrorFacility, Composition) {
  E1PSH("TESTER");
  E1STI(1, 7);
  E1STI(1, 8);  // the first entry of a key wins
  E1STL(2, "name");
  // A NOTE is recorded without printing, so the composed text can be read.
  E1MES(kNote, 3, "a %(I1) b %(i1) c %(L2) d %(I0) e %(Q1) f %(A1) g %(I2) %(l2)");
  EXPECT_EQ(message(), ".  a 7 b 7 c name d %(I0) e %(Q1) f %(A1) g %(I2) name");
  EXPECT_EQ(params(), "");  // emptied by E1MES
  EXPECT_EQ(N1RTY(0), kNote);
  EXPECT_EQ(N1RCD(0), 3);

  // Type -1 and code -1 recompose and keep both.
  E1STI(1, 9);
  E1MES(-1, -1, "again %(I1)");
  EXPECT_EQ(message(), ".  again 9");
  EXPECT_EQ(N1RTY(0), kNote);
  EXPECT_EQ(N1RCD(0), 3);
  // An empty or single-blank template keeps the message.
  E1MES(-1, -1, " ");
  EXPECT_EQ(message(), ".  again 9");
  // Code 0 clears the pending message.
  E1MES(kNote, 0, "ignored");
  EXPECT_EQ(error_context().message_length, 0);
  E1POP("TESTER");
}

TEST_F(ErrorFacility, CompositionIsCutAt1024Characters) {
  E1PSH("TESTER");
  E1STL(1, std::string(200, 'v'));
  std::string tmpl;
  for (int i = 0; i < 6; ++i) tmpl += "%(L1)";
  E1MES(kNote, 1, tmpl + "tail");
  EXPECT_EQ(message(), ".  " + std::string(1021, 'v'));
  // Plain text is cut at the same limit.
  E1MES(kNote, 1, std::string(1100, 'w'));
  EXPECT_EQ(message(), ".  " + std::string(1021, 'w'));
  E1MES(kNote, 0, "");
  E1POP("TESTER");
}

TEST_F(ErrorFacility, PassUpAndQueries) {
  // A NOTE stays at its level; an ALERT is passed to the caller's level.
  E1PSH("LEVEL2");
  E1PSH("LEVEL3");
  E1MES(kNote, 4, "note");
  E1POP("LEVEL3");
  EXPECT_EQ(N1RTY(0), 0);
  EXPECT_EQ(N1RTY(1), kNote);  // the routine that returned last
  EXPECT_EQ(N1RCD(1), 4);
  E1PSH("LEVEL3");
  E1MES(kAlert, 6, "alert");
  E1POP("LEVEL3");
  EXPECT_EQ(N1RTY(0), kAlert);
  EXPECT_EQ(N1RCD(0), 6);
  E1POP("LEVEL2");
  // Back at level 1: the outcome of the user-level routine is kept.
  EXPECT_EQ(error_context().level, 1);
  EXPECT_EQ(N1RTY(1), kAlert);
  EXPECT_EQ(N1RCD(1), 6);
  EXPECT_EQ(N1RTY(0), kAlert);  // passed up to USER as well
  error_context().type[1] = 0;
  error_context().code[1] = 0;
}

TEST_F(ErrorFacility, NamesCompareBlankPadded) {
  E1PSH("AMACH");
  E1POP("AMACH ");
  E1PSH(std::string(40, 'N'));  // stored cut to 32 characters
  E1POP(std::string(32, 'N'));
  EXPECT_EQ(error_context().level, 1);
}

TEST_F(ErrorFacility, PopClearsTheSlotAbove) {
  E1PSH("LEVEL2");
  E1PSH("LEVEL3");
  E1POP("LEVEL3");
  EXPECT_EQ(error_context().type[3], 0);  // kept until a later pop clears it
  E1POP("LEVEL2");
  EXPECT_EQ(error_context().type[3], -1);
  EXPECT_EQ(error_context().code[3], -1);
}

}  // namespace
