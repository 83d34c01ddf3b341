// Printed messages compared byte for byte, from a probe process: header,
// continuation and traceback records, the type policy, and the stops.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/probe.h"

namespace {

using velm_test::run_probe;

// Records joined with the newline that ends each of them.
std::string records(const std::vector<std::string>& lines) {
  std::string text;
  for (const auto& line : lines) text += line + "\n";
  return text;
}

const std::vector<std::string> kTracebackHeading = {
    "     Here is a traceback of subprogram calls in reverse order:",
    "     Routine name                    Error type  Error code",
    "     ------------                    ----------  ----------",
};

std::vector<std::string> with_traceback(std::vector<std::string> lines,
                                        const std::vector<std::string>& levels) {
  lines.insert(lines.end(), kTracebackHeading.begin(), kTracebackHeading.end());
  lines.insert(lines.end(), levels.begin(), levels.end());
  return lines;
}

TEST(Messages, WorkedExampleFromInsideAUserLevelRoutine) {
  const auto result = run_probe("amach_inside", {"9"});
  EXPECT_EQ(result.output,
            records(with_traceback(
                {"", " *** TERMINAL ERROR 5 from AMACH.  The argument must be between 1 and 8",
                 " ***          inclusive. N = 9"},
                {"     AMACH                                5           5    (Called internally)",
                 "     USERFN                               0           0",
                 "     USER                                 0           0"})));
  EXPECT_EQ(result.status, 1);
}

TEST(Messages, TerminalAtTheUserLevelHasNoTraceback) {
  for (const char* n : {"0", "9"}) {
    const auto result = run_probe("amach_direct", {n});
    EXPECT_EQ(result.output,
              records({"", " *** TERMINAL ERROR 5 from AMACH.  The argument must be between 1 and 8",
                       std::string(" ***          inclusive. N = ") + n}));
    EXPECT_EQ(result.status, 1);
  }
}

TEST(Messages, FixedTerminalMessagesOfTheConstantTables) {
  auto result = run_probe("imach", {"13"});
  EXPECT_EQ(result.output, records({"", " *** TERMINAL ERROR 5 from IMACH.  The argument",
                                    " ***          must be between 1 and 12 inclusive.",
                                    " ***          N =     13.", ""}));
  EXPECT_EQ(result.status, 1);
  result = run_probe("umach", {"4"});
  EXPECT_EQ(result.output, records({"", " *** TERMINAL ERROR 5 from UMACH.  The absolute",
                                    " ***          value of the index variable must be",
                                    " ***          1, 2, or 3.  IABS(N) =      4.", ""}));
  EXPECT_EQ(result.status, 1);
  result = run_probe("umach", {"-4"});
  EXPECT_NE(result.output.find("IABS(N) =      4."), std::string::npos);
  EXPECT_EQ(result.status, 1);
}

TEST(Messages, StackOverflowAtLevelFifty) {
  auto result = run_probe("push_deep", {"49"});
  EXPECT_EQ(result.output, "level 50\n");
  EXPECT_EQ(result.status, 0);

  result = run_probe("push_deep", {"50"});
  std::vector<std::string> levels;
  levels.push_back("     DEEP                                 5           1    (Called internally)");
  for (int level = 49; level >= 3; --level)
    levels.push_back("     DEEP                                 0           0    (Called internally)");
  levels.push_back("     DEEP                                 0           0");
  levels.push_back("     USER                                 0           0");
  EXPECT_EQ(result.output,
            records(with_traceback(
                {"",
                 " *** TERMINAL ERROR 1 from DEEP.  Error condition in E1PSH.  Push would cause",
                 " ***          stack level to exceed 50. "},
                levels)));
  EXPECT_EQ(result.status, 1);
}

TEST(Messages, MisuseOfTheStack) {
  auto result = run_probe("pop_empty");
  EXPECT_EQ(result.output,
            records({"", " *** TERMINAL ERROR 1 from E1POP.  Error condition in E1POP.  Cannot pop from",
                     " ***          NOBODY because stack is empty."}));
  EXPECT_EQ(result.status, 1);

  result = run_probe("pop_wrong_name");
  EXPECT_EQ(result.output,
            records({"", " *** TERMINAL ERROR 2 from ALPHA.  Error condition in E1POP.  BETA does not",
                     " ***          match the name ALPHA in the stack."}));
  EXPECT_EQ(result.status, 1);

  for (const char* routine : {"N1RCD", "N1RTY"}) {
    result = run_probe(std::string(routine) == "N1RCD" ? "query_code" : "query_type", {"2"});
    EXPECT_EQ(result.output,
              records({"", std::string(" *** TERMINAL ERROR 1 from USER.  The argument passed to ") +
                               routine + " must be 0 or 1."}));
    EXPECT_EQ(result.status, 1);
  }
}

TEST(Messages, NanTestArguments) {
  auto result = run_probe("isanan_length");
  EXPECT_EQ(result.output,
            records({"", " *** TERMINAL ERROR 1 from ISANAN.   The length of the input vector is -1. ",
                     " ***          The length must be non-negative."}));
  EXPECT_EQ(result.status, 1);
  result = run_probe("isanan_increment");
  EXPECT_EQ(result.output,
            records({"", " *** TERMINAL ERROR 2 from ISANAN.   The length of the incrementation of the",
                     " ***          input vector is -2.  The incrementation must be non-negative."}));
  EXPECT_EQ(result.status, 1);
}

TEST(Messages, ArgumentChecksPrintEveryFailureAndStopAtThePop) {
  auto result = run_probe("argrng_fails");
  EXPECT_EQ(result.output,
            records({"", " *** TERMINAL ERROR 1 from CHECK.  NR = 0.  NR must be greater than or equal",
                     " ***          to 1.", "",
                     " *** TERMINAL ERROR 2 from CHECK.  K = 7.  K must be greater than or equal to",
                     " ***          1 and less than or equal to 5.", "nerr 3"}));
  EXPECT_EQ(result.status, 1);

  result = run_probe("argdim_star");
  EXPECT_EQ(result.output,
            records({"", " *** TERMINAL ERROR 2 from CHECK.  LDX = 0.  LDX must be greater than or",
                     " ***          equal to 1.", "nerr 4", "",
                     " *** TERMINAL ERROR 3 from CHECK.  NOBS = 5 and LDX = 3.  NOBS must be less",
                     " ***          than or equal to LDX.", "nerr 4"}));
  EXPECT_EQ(result.status, 1);
}

TEST(Messages, TypePolicy) {
  const std::string text = "Value %(I1) and %(R1) for %(L1).";
  const std::string composed = ".  Value 42 and 2.500000E+00 for ALPHA.";
  auto levels_with_type = [](int type) {
    return std::vector<std::string>{
        "     INNER0                               " + std::to_string(type) +
            "           4    (Called internally)",
        "     OUTER                                0           0",
        "     USER                                 0           0"};
  };

  // NOTE: neither passed up nor printed.
  auto result = run_probe("record", {"1", "4", "1", text});
  EXPECT_EQ(result.output, "returned type 0 code 0\n");
  EXPECT_EQ(result.status, 0);
  // ALERT: passed up, not printed.
  result = run_probe("record", {"2", "4", "1", text});
  EXPECT_EQ(result.output, "returned type 2 code 4\n");
  // WARNING: printed once when the user-level routine leaves, under its name,
  // with the code passed up, without a traceback.
  result = run_probe("record", {"3", "4", "1", text});
  EXPECT_EQ(result.output, records({"", " *** WARNING  ERROR 4 from OUTER" + composed,
                                    "returned type 3 code 4"}));
  EXPECT_EQ(result.status, 0);
  // FATAL: printed at the user level, then the process stops.
  result = run_probe("record", {"4", "4", "1", text});
  EXPECT_EQ(result.output, records({"", " *** FATAL    ERROR 4 from OUTER" + composed}));
  EXPECT_EQ(result.status, 1);
  // TERMINAL below the user level: printed at once with its traceback; the
  // pop of the reporting routine stops.
  result = run_probe("record", {"5", "4", "1", text});
  EXPECT_EQ(result.output,
            records(with_traceback({"", " *** TERMINAL ERROR 4 from INNER0" + composed},
                                   levels_with_type(5))));
  EXPECT_EQ(result.status, 1);
  // Immediate warning: printed at once, the process goes on.
  result = run_probe("record", {"6", "4", "1", text});
  EXPECT_EQ(result.output,
            records(with_traceback({"", " *** WARNING  ERROR 4 from INNER0" + composed},
                                   levels_with_type(6))) +
                "returned type 6 code 4\n");
  EXPECT_EQ(result.status, 0);
  // Immediate fatal: printed at once, stops when the user-level routine leaves.
  result = run_probe("record", {"7", "4", "1", text});
  EXPECT_EQ(result.output,
            records(with_traceback({"", " *** FATAL    ERROR 4 from INNER0" + composed},
                                   levels_with_type(7))));
  EXPECT_EQ(result.status, 1);
}

TEST(Messages, Layout) {
  // A message that fits in the header record: exactly two records.
  auto result = run_probe("record", {"6", "4", "0", "Short."});
  EXPECT_EQ(result.output,
            records({"", " *** WARNING  ERROR 4 from OUTER.  Short.", "returned type 6 code 4"}));
  // A line break marker starts a new record and is not printed.
  result = run_probe("record", {"6", "4", "0", "First line%/Second line after the marker."});
  EXPECT_EQ(result.output, records({"", " *** WARNING  ERROR 4 from OUTER.  First line",
                                    " ***          Second line after the marker.",
                                    "returned type 6 code 4"}));
  // A word longer than a record is cut hard, and no character is lost.
  result = run_probe("record", {"6", "4", "0", std::string(100, 'X')});
  EXPECT_EQ(result.output,
            records({"", " *** WARNING  ERROR 4 from OUTER. ", " ***          " + std::string(64, 'X'),
                     " ***          " + std::string(36, 'X'), "returned type 6 code 4"}));
  // Of two blanks at a break, the one after the break point is skipped too.
  result = run_probe("record", {"6", "4", "0", std::string(42, 'A') + "  tail words."});
  EXPECT_EQ(result.output,
            records({"", " *** WARNING  ERROR 4 from OUTER.  " + std::string(42, 'A'),
                     " ***          tail words.", "returned type 6 code 4"}));
  // A type outside 1..7 prints as UNKNOWN.
  result = run_probe("unknown_type");
  EXPECT_EQ(result.output,
            records({"", " *** UNKNOWN  ERROR 3 from ODDITY.  A type of its own.", "after"}));
}

}  // namespace
