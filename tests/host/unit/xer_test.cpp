// The XER table reader: a well-formed file in windows-1252 with CRLF line
// ends, a UTF-8 file without a header, every located problem, and hostile
// input that must neither crash nor grow memory past the file's size.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <utility>
#include <vector>

#include "host/velmsim/model/xer.h"

namespace {

using velmsim::xer::Problem;

std::vector<std::pair<int, std::string>> listed(const std::vector<Problem>& problems) {
  std::vector<std::pair<int, std::string>> out;
  for (const Problem& p : problems) out.emplace_back(p.line, p.message);
  return out;
}

TEST(Xer, WellFormedWindows1252File) {
  const std::string bytes =
      "ERMHDR\t19.12\t2024-03-01\tProject\tadmin\r\n"
      "%T\tPROJECT\r\n%F\tproj_id\tproj_short_name\r\n%R\t1\tCaf\xE9 \xA3\r\n"
      "%T\tTASK\r\n%F\ttask_id\ttask_name\ttarget_drtn_hr_cnt\r\n"
      "%R\t10\t\"Pump \"\"A\"\" overhaul\"\t16\r\n"
      "%R\t11\t\x80 \x81\r\n"  // a short row; 0x81 is undefined in the code page
      "%E\r\n";
  std::vector<Problem> problems;
  const auto f = velmsim::xer::read(bytes, problems);
  EXPECT_TRUE(problems.empty());
  EXPECT_EQ(f.header, "19.12\t2024-03-01\tProject\tadmin");
  EXPECT_TRUE(f.windows_1252);
  ASSERT_EQ(f.tables.size(), 2u);
  EXPECT_EQ(f.tables[0].value(f.tables[0].rows.at(0), "proj_short_name"), "Caf\u00E9 \u00A3");
  const auto* task = f.table("TASK");
  ASSERT_NE(task, nullptr);
  EXPECT_EQ(task->line, 5);
  EXPECT_EQ(task->field("task_name"), 1u);
  EXPECT_EQ(task->field("wbs_id"), std::nullopt);
  ASSERT_EQ(task->rows.size(), 2u);
  EXPECT_EQ(task->value(task->rows[0], "task_name"), "Pump \"A\" overhaul");
  EXPECT_EQ(task->rows[1].line, 8);
  EXPECT_EQ(task->rows[1].values, (std::vector<std::string>{"11", "\u20AC \uFFFD", ""}));
  EXPECT_EQ(task->value(task->rows[1], "wbs_id"), "");
  EXPECT_EQ(f.table("TASKPRED"), nullptr);
}

// A byte-order mark, no ERMHDR, LF line ends, a blank line, and a value whose
// quotes are not all doubled, which stays as it is.
TEST(Xer, Utf8FileWithoutHeader) {
  std::vector<Problem> problems;
  const auto f = velmsim::xer::read(
      "\xEF\xBB\xBF%T\tTASK\n%F\ta\tb\tc\n\n%R\tCaf\u00E9\t\"\"\t\"5\" or \"6\"\n%E\n", problems);
  EXPECT_TRUE(problems.empty());
  EXPECT_EQ(f.header, "");
  EXPECT_FALSE(f.windows_1252);
  ASSERT_EQ(f.tables.size(), 1u);
  EXPECT_EQ(f.tables[0].line, 1);
  ASSERT_EQ(f.tables[0].rows.size(), 1u);
  EXPECT_EQ(f.tables[0].rows[0].line, 4);
  EXPECT_EQ(f.tables[0].rows[0].values,
            (std::vector<std::string>{"Caf\u00E9", "", "\"5\" or \"6\""}));
}

TEST(Xer, ProblemsAreLocated) {
  std::vector<Problem> problems;
  const auto f = velmsim::xer::read(
      "%R\tx\n%F\ta\n%T\tTASK\n%R\t1\n%F\ta\tb\ta\t\n%R\t1\t2\t3\t4\t5\n%F\tc\n%X\tfoo\n"
      "ERMHDR\t1\ngarbage\n%T\n%T\tTASK\n%E\n%R\t1\n",
      problems);
  EXPECT_EQ(listed(problems),
            (std::vector<std::pair<int, std::string>>{
                {1, "a row before any table's field names"},
                {2, "a %F line before any %T"},
                {4, "a %R line before %F"},
                {5, "table TASK has two fields named a"},
                {5, "table TASK has a field without a name"},
                {6, "row has 5 values but table TASK has 4 fields"},
                {7, "a second %F line for table TASK"},
                {8, "unknown record '%X'"},
                {9, "ERMHDR not on the first line"},
                {10, "a line that is not a record"},
                {11, "a %T line without a table name"},
                {12, "a second table TASK (the first on line 3)"},
                {14, "a line after %E"}}));
  // The long row is kept, cut to the fields.
  EXPECT_EQ(f.tables.at(0).rows.at(0).values, (std::vector<std::string>{"1", "2", "3", "4"}));

  problems.clear();
  const auto cut = velmsim::xer::read("%T\tA\r\n%F\tx\r\n%R\t1", problems);
  EXPECT_EQ(cut.tables.at(0).rows.size(), 1u);
  EXPECT_EQ(listed(problems), (std::vector<std::pair<int, std::string>>{
                                  {3, "the file ends without %E"}}));
}

TEST(Xer, HostileInput) {
  // Bare rows of a table of many fields would each take all of them as empty
  // values; the reader stops when they would outgrow the file.
  std::string wide = "%T\tW\n%F";
  for (int i = 0; i < 1000; ++i) wide += "\tf" + std::to_string(i);
  for (int i = 0; i < 1000; ++i) wide += "\n%R";
  std::vector<Problem> problems;
  const auto f = velmsim::xer::read(wide, problems);
  EXPECT_LT(f.tables.at(0).rows.size(), 20u);
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_EQ(problems[0].message.rfind("too many missing values", 0), 0u);

  // Random arrangements of the format's pieces and stray bytes.
  const char* pieces[] = {"%T", "%F", "%R", "%E", "ERMHDR", "\t", "\n", "\r", "\"", "x", "\xE9", "\xC3"};
  std::mt19937 rng(7);
  for (int n = 0; n < 3000; ++n) {
    std::string bytes;
    for (int k = std::uniform_int_distribution<int>(0, 60)(rng); k > 0; --k)
      bytes += pieces[std::uniform_int_distribution<std::size_t>(0, std::size(pieces) - 1)(rng)];
    problems.clear();
    for (const auto& t : velmsim::xer::read(bytes, problems).tables)
      for (const auto& r : t.rows) ASSERT_EQ(r.values.size(), t.fields.size()) << bytes;
    for (const Problem& p : problems) ASSERT_GE(p.line, 1) << bytes;
  }
}

}  // namespace
