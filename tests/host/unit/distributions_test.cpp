// The distributions given by tables, by percentiles and truncated: their
// draws are the exports' under the stated rules, their percentiles are the
// ones asked for, and their mistakes are located.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "host/velmsim/engine/substreams.h"
#include "tests/host/unit/support.h"

namespace {

using namespace velmsim_unit;

// A folder of its own for the model and the data file it names.
std::string folder(const std::string& name) {
  const auto dir = std::filesystem::temp_directory_path() / ("velmsim_" + name);
  std::filesystem::create_directories(dir);
  return dir.string();
}

// One model with every distribution given by a table and a truncated one:
// each iteration's values are what the exports give on its substream, the
// table looked up at the uniform by hand, the truncated normal redrawn until
// it lies in its range, and the redraws counted.
TEST(Distributions, TablesAndTruncationDrawThroughTheExports) {
  const std::string dir = folder("tables");
  std::ofstream(dir + "/history.csv") << "year,cost,note\n2019,12.5,a\n2020,14,\"b, c\"\n"
                                         "2021,,d\n2022,13.25,e\n";
  const auto r = run_text(
      "[inputs]\n"
      "n = { dist = \"discrete\", values = [3, 1, 2], p = [0.2, 0.5, 0.3] }\n"
      "c = { dist = \"cumulative\", x = [0, 10, 40], F = [0, 0.8, 1] }\n"
      "h = { dist = \"data\", file = \"history.csv\", column = \"cost\" }\n"
      "t = { dist = \"normal\", mean = 1, sd = 2, truncate = [0, 2.5] }\n"
      "[outputs]\ny = \"n + c + h + t\"\n[run]\niterations = 300\nseed = 9\ntolerance = 1e-9\n",
      {}, dir + "/m.toml");
  const DirectExports& x = direct();
  const float zero = 0, one = 1, mean = 1, sd = 2;
  const double history[] = {12.5, 14, 13.25};
  std::uint64_t redraws = 0;
  for (int i = 0; i < 300; ++i) {
    const std::int32_t seed = substream_seed(9, i);
    x.set_seed(&seed);
    const double u1 = x.uniform(&zero, &one), u2 = x.uniform(&zero, &one), u3 = x.uniform(&zero, &one);
    const float n = u1 < 0.2 ? 3.0f : u1 < 0.7 ? 1.0f : 2.0f;
    const float c = static_cast<float>(u2 < 0.8 ? u2 / 0.8 * 10 : 10 + (u2 - 0.8) / 0.2 * 30);
    const auto h = static_cast<float>(history[static_cast<int>(u3 * 3)]);
    float t = x.normal(&mean, &sd);
    for (; !(t >= 0 && t <= 2.5f); ++redraws) t = x.normal(&mean, &sd);
    const auto u = static_cast<std::size_t>(i);
    ASSERT_EQ(r->samples().columns[0][u], n) << i;
    ASSERT_EQ(r->samples().columns[1][u], c) << i;
    ASSERT_EQ(r->samples().columns[2][u], h) << i;
    ASSERT_EQ(r->samples().columns[3][u], t) << i;
  }
  ASSERT_EQ(r->report.draws.size(), 1u);
  EXPECT_EQ(r->report.draws[0].redraws, redraws);
  // The share of N(1, 2) in [0, 2.5]: Phi(0.75) - Phi(-0.5).
  EXPECT_NEAR(r->report.draws[0].note.kept, 0.7733726 - 0.3085375, 1e-6);
  // A truncated draw takes its uniforms and more: the plan counts them.
  EXPECT_NEAR(mean_uniforms(r->model.inputs[3].draw), 2.2 / r->report.draws[0].note.kept, 1e-9);
}

// Each form given by percentiles has them, within sampling error at 32,767
// iterations: the share of values at or below each stated percentile is
// that percentile, give or take four standard errors.
TEST(Distributions, PercentileFormsHaveTheirPercentiles) {
  const auto r = run_text(
      "[inputs]\n"
      "a = { dist = \"triangular\", p10 = 8, mode = 10, p90 = 15 }\n"
      "b = { dist = \"triangular\", low = 2, mode = 3, high = 9, low_pct = 5, high_pct = 95 }\n"
      "c = { dist = \"normal\", p10 = 90, p90 = 110 }\n"
      "d = { dist = \"lognormal\", p10 = 5, p90 = 20 }\n"
      "e = { dist = \"triangular\", p10 = 1, mode = 0.9, p90 = 3 }\n"  // the mode below P10
      "[outputs]\ny = \"a + b + c + d + e\"\n[run]\niterations = 32767\ntolerance = 1e-9\n");
  const struct {
    std::size_t column;
    double x, q;
  } stated[] = {{0, 8, 0.1}, {0, 15, 0.9}, {1, 2, 0.05}, {1, 9, 0.95}, {2, 90, 0.1},
                {2, 110, 0.9}, {3, 5, 0.1}, {3, 20, 0.9}, {4, 1, 0.1}, {4, 3, 0.9}};
  for (const auto& s : stated) {
    const auto& v = r->samples().columns[s.column];
    const double share = static_cast<double>(std::count_if(v.begin(), v.begin() + r->samples().n,
                                                           [&](float x) { return x <= s.x; })) /
                         r->samples().n;
    EXPECT_NEAR(share, s.q, 4 * std::sqrt(s.q * (1 - s.q) / r->samples().n))
        << "column " << s.column << " at " << s.x;
  }
  // The solved triangular, in closed form: F(8) = (8 - a)^2 / ((b - a)(10 - a)).
  const auto& t = r->model.inputs[0].draw.arg;
  EXPECT_NEAR((8 - t[0]) * (8 - t[0]) / ((t[2] - t[0]) * (10 - t[0])), 0.1, 1e-6);
  EXPECT_NEAR((t[2] - 15) * (t[2] - 15) / ((t[2] - t[0]) * (t[2] - 10)), 0.1, 1e-6);
  EXPECT_NE(r->model.draw_notes[0].solved.find("solved from P10 = 8 and P90 = 15"), std::string::npos);
}

// Each mistake in the new keys is an error at the value that makes it.
TEST(Distributions, MistakesAreLocated) {
  const std::string dir = folder("mistakes");
  std::ofstream(dir + "/bad.csv") << "year,cost\n2019,12\n2020,abc\n";
  const struct {
    std::string input, message;  // the message's first line, after "m.toml:2:"
  } cases[] = {
      {"a = { dist = \"triangular\", p10 = 8, mode = 10, p90 = 5 }",
       "54: error: 'p90' of input 'a' must be greater than 'p10' (8), not 5"},
      {"a = { dist = \"lognormal\", p10 = -1, p90 = 20 }",
       "33: error: 'p10' of input 'a' must be greater than 0 for a lognormal distribution, not -1"},
      {"a = { dist = \"normal\", mean = 0, p90 = 3 }",
       "1: error: input 'a' needs 'p10' for a normal distribution"},
      {"a = { dist = \"triangular\", low = 1, mode = 2, high = 3, low_pct = 60 }",
       "67: error: 'low_pct' of input 'a' (the percentile that 'low' is) must lie in [0, 50), not 60"},
      {"a = { dist = \"discrete\", values = [1, 2], p = [0.5, 0.6] }",
       "47: error: the probabilities 'p' of input 'a' must add up to 1, not 1.1"},
      {"a = { dist = \"discrete\", values = [1, 2, 3], p = [0.5, 0.5] }",
       "50: error: 'p' of input 'a' must give one probability per value: 3 values, 2 probabilities"},
      {"a = { dist = \"discrete\", values = 3, p = [1] }",
       "35: error: 'values' of input 'a' must be a list of numbers such as [1, 2, 3]"},
      {"a = { dist = \"cumulative\", x = [0, 5, 4], F = [0, 0.5, 1] }",
       "39: error: 'x' of input 'a' must increase: 4 follows 5"},
      {"a = { dist = \"cumulative\", x = [0, 5, 6], F = [0, 0.5, 0.9] }",
       "56: error: 'F' of input 'a' must end at 1"},
      {"a = { dist = \"data\", file = \"none.csv\", column = \"cost\" }",
       "29: error: 'file' of input 'a' (" + dir + "/none.csv): cannot read the data file: No such "
       "file or directory"},
      {"a = { dist = \"data\", file = \"bad.csv\", column = \"cots\" }",
       "49: error: the data file " + dir + "/bad.csv has no column 'cots'; did you mean 'cost'? (its "
       "first row names 2 columns; a column may also be given by its position from 1)"},
      {"a = { dist = \"normal\", mean = 0, sd = 1, truncate = [5, 10] }",
       "53: error: the range [5, 10] of 'truncate' holds 2.866516e-05 % of the distribution of "
       "input 'a'; values are redrawn until one falls inside, so the range must hold at least 1 %"},
      {"a = { dist = \"geometric\", p = 0.3, truncate = [1, 3] }",
       "47: error: 'truncate' of input 'a' applies to continuous distributions, not to a geometric one"},
      {"a = { dist = \"normal\", mean = 0, sd = 1, truncate = [1] }",
       "53: error: 'truncate' of input 'a' must be a range of two numbers [lo, hi] such as [0, 100] "
       "(-inf or inf for an open end)"},
  };
  for (const auto& c : cases) {
    const std::string text = messages("[inputs]\n" + c.input + "\n[outputs]\ny = \"a\"\n", {},
                                      dir + "/m.toml");
    EXPECT_EQ(text.substr(0, text.find('\n')), dir + "/m.toml:2:" + c.message);
  }
  // A cell of the data file that is not a number is located in that file.
  const std::string bad = messages("[inputs]\na = { dist = \"data\", file = \"bad.csv\", column = 2 }\n"
                                   "[outputs]\ny = \"a\"\n", {}, dir + "/m.toml");
  EXPECT_EQ(bad, dir + "/bad.csv:3:6: error: 'abc' in column 'cost' is not a number (input 'a' "
                 "draws from this column)\n2020,abc\n     ^\n");
}

}  // namespace
