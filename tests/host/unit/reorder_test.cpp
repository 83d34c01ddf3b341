// Rank correlation by reordering: the correlations achieved, recomputed here
// from the samples with a plain Spearman coefficient, against the target;
// the values drawn kept, a risk's occurrence and impact moving with its
// value; and RankReorder's orders, which must be permutations.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <limits>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "host/velmsim/engine/reorder.h"
#include "tests/host/unit/support.h"
#include "tests/support/ranks.h"

namespace {

using namespace velmsim_unit;
using velm_test::spearman;

const std::string kCorrelated = std::string(VELM_EXAMPLES_DIR) + "/warehouse-correlated.toml";

// The first n values of the column named `name`.
std::vector<float> column(const Run& r, const std::string& name) {
  const std::vector<std::string> names = r.model.column_names();
  const auto c = static_cast<std::size_t>(std::find(names.begin(), names.end(), name) -
                                          names.begin());
  EXPECT_LT(c, names.size()) << name;
  const std::vector<float>& x = r.samples().columns.at(c);
  return {x.begin(), x.begin() + r.samples().n};
}

// The model's text without its [correlation] section.
std::string without_correlation(std::string text) {
  const auto at = text.find("[correlation]");
  return text.erase(at, text.find("\n[", at) + 1 - at);
}

// A triangular, a lognormal, a uniform and a beta input: 5000 iterations
// reach every target within 0.02, the report's achieved matrix is the
// Spearman correlation of the drawn columns, and an input outside
// [correlation] stays independent of those in it.
TEST(Reorder, AchievedRankCorrelationsMeetTheTarget) {
  Overrides o;
  o.iterations = 5000;
  o.tolerance = 1e-9;
  const auto r = run_text(slurp(kCorrelated), o);
  ASSERT_EQ(r->samples().n, 5000);
  ASSERT_TRUE(r->report.correlation.has_value());
  const CorrelationSummary& c = *r->report.correlation;
  const std::vector<std::string> names = {"labour", "steel", "permits", "overrun"};
  ASSERT_EQ(c.names, names);
  const double target[4][4] = {
      {1, 0.6, -0.3, 0.4}, {0.6, 1, 0, 0.5}, {-0.3, 0, 1, 0}, {0.4, 0.5, 0, 1}};
  for (std::size_t a = 0; a < 4; ++a)
    for (std::size_t b = 0; b < a; ++b) {
      const double rho = spearman(column(*r, names[a]), column(*r, names[b]));
      EXPECT_NEAR(rho, target[a][b], 0.02) << names[a] << " ~ " << names[b];
      EXPECT_NEAR(c.achieved[a * 4 + b], rho, 1e-5) << names[a] << " ~ " << names[b];
      EXPECT_EQ(c.achieved[b * 4 + a], c.achieved[a * 4 + b]);
      EXPECT_EQ(c.target(a, b), target[a][b]);
    }
  EXPECT_NEAR(spearman(column(*r, "rate"), column(*r, "labour")), 0, 0.05);
}

// Reordering keeps each column's values: sorted, every correlated column
// equals that of the same model without [correlation], whose other columns
// and outputs' inputs are unchanged iteration by iteration. Also with blocks
// shorter than the correlated set (whose scores' own correlation cannot be
// factored), and the same for 1 and 2 threads.
TEST(Reorder, ReorderingKeepsTheDrawsAndIgnoresThreads) {
  const std::string text = slurp(kCorrelated);
  const std::vector<std::string> moved = {"labour", "steel", "permits", "overrun"};
  for (const int block : {500, 3}) {
    Overrides o;
    o.iterations = 1000;
    o.tolerance = 1e-9;
    o.block = block;
    const auto plain = run_text(without_correlation(text), o);
    const auto c1 = run_text(text, o);
    o.threads = 2;
    const auto c2 = run_text(text, o);
    ASSERT_TRUE(plain->plan.correlation.empty());
    for (const std::string& name : plain->model.column_names()) {
      std::vector<float> a = column(*c1, name), b = column(*plain, name);
      EXPECT_EQ(column(*c2, name), a) << name << ", block " << block;
      if (std::find(moved.begin(), moved.end(), name) == moved.end()) {
        EXPECT_EQ(a, b) << name << ", block " << block;
        continue;
      }
      EXPECT_NE(a, b) << name << ", block " << block;
      std::sort(a.begin(), a.end());
      std::sort(b.begin(), b.end());
      EXPECT_EQ(a, b) << name << ", block " << block;
    }
    EXPECT_EQ(c1->samples().outputs, c2->samples().outputs) << "block " << block;
  }
}

// Correlation groups at 32,767 iterations: ten inputs of mixed
// distributions at 0.25 and three tasks chosen by a pattern at 0.3 reach
// their targets within 0.03, measured from the samples; a pair written in
// [correlation] overrides its group, and groups leave the pairs across them
// at 0.
TEST(Reorder, CorrelationGroupsReachTheirTargets) {
  std::string model = "[inputs]\n";
  const char* kinds[] = {"{ dist = \"uniform\", min = 0, max = 1 }",
                         "{ dist = \"lognormal\", mean = 5, sd = 2 }",
                         "{ dist = \"triangular\", low = 0, mode = 1, high = 4 }"};
  std::string sum, names;
  for (int i = 0; i < 10; ++i) {
    const std::string x = "x" + std::to_string(i);
    model += x + " = " + kinds[i % 3] + "\n";
    sum += (i == 0 ? "" : " + ") + x;
    names += (i == 0 ? "\"" : ", \"") + x + "\"";
  }
  model += "[tasks]\n";
  for (int t = 0; t < 3; ++t)
    model += "wbs_" + std::to_string(t) +
             " = { duration = { dist = \"triangular\", low = 5, mode = 8, high = 15 } }\n";
  model += "[outputs]\ny = \"" + sum + "\"\n[correlation]\nx0.x1 = 0.6\n"
           "groups = [{ inputs = [" + names + "], rho = 0.25 }, { match = \"wbs_*\", rho = 0.3 }]\n";
  Overrides o;
  o.iterations = 32767;
  o.tolerance = 1e-9;
  const auto r = run_text(model, o);
  ASSERT_EQ(r->samples().n, 32767);
  auto values = [&](int v) {
    const auto& c = v < 10 ? r->samples().columns.at(static_cast<std::size_t>(v))
                           : r->samples().network.drawn.at(static_cast<std::size_t>(v - 10));
    return std::vector<float>(c.begin(), c.begin() + 32767);
  };
  for (int a = 0; a < 13; ++a)
    for (int b = 0; b < a; ++b) {
      const double want = a == 1 && b == 0 ? 0.6 : a < 10 ? 0.25 : b >= 10 ? 0.3 : 0.0;
      EXPECT_NEAR(spearman(values(a), values(b)), want, 0.03) << a << " ~ " << b;
    }
}

// A correlated risk's occurrence and impact move with its value, and the
// outputs are evaluated from the reordered columns.
TEST(Reorder, RiskMovesWithItsOccurrenceAndImpact) {
  const std::string text =
      "[inputs]\na = { dist = \"uniform\", min = 0, max = 1 }\n"
      "r = { dist = \"risk\", p = 0.5, impact = { dist = \"uniform\", min = 10, max = 20 } }\n"
      "[correlation]\na.r = 0.8\n"
      "[outputs]\ny = \"a + r\"\n"
      "[run]\niterations = 1000\nblock = 250\ntolerance = 1e-9\n";
  const auto c = run_text(text);
  const auto plain = run_text(without_correlation(text));
  const Samples &s = c->samples(), &p = plain->samples();
  ASSERT_EQ(s.n, 1000);
  // Half the risk's values tie at 0, which keeps its rank correlation below
  // the target.
  EXPECT_GT(spearman(column(*c, "a"), column(*c, "r")), 0.6);
  for (std::size_t i = 0; i < 1000; ++i) {
    ASSERT_EQ(s.columns[1][i], s.occurred[0][i] ? s.impacts[0][i] : 0.0f) << i;
    ASSERT_EQ(s.outputs[0][i],
              static_cast<float>(static_cast<double>(s.columns[0][i]) + s.columns[1][i])) << i;
  }
  std::vector<float> impacts = s.impacts[0], drawn = p.impacts[0];
  std::sort(impacts.begin(), impacts.end());
  std::sort(drawn.begin(), drawn.end());
  EXPECT_EQ(impacts, drawn);
  EXPECT_EQ(std::count(s.occurred[0].begin(), s.occurred[0].end(), 1),
            std::count(p.occurred[0].begin(), p.occurred[0].end(), 1));
  EXPECT_NE(s.impacts[0], p.impacts[0]);
}

bool is_permutation_of_indices(const std::vector<std::uint32_t>& v, std::size_t n) {
  std::vector<std::uint32_t> sorted = v;
  std::sort(sorted.begin(), sorted.end());
  std::vector<std::uint32_t> indices(n);
  std::iota(indices.begin(), indices.end(), 0u);
  return sorted == indices;
}

// Each column's order is a permutation: the source and target indices each
// cover the block once, and `sorted` holds the values themselves, bit for
// bit, ascending. Values of both signs, signed zeros, ties, subnormals and
// extremes exercise the sort's integer keys; blocks of 1 and 2 (shorter than
// the three columns) and a long one exercise the scores.
TEST(RankReorder, EachColumnKeepsExactlyItsValues) {
  const SquareMatrix target{3, {1, 0.7, -0.4, 0.7, 1, 0.2, -0.4, 0.2, 1}};
  RankReorder reorder(target);
  std::mt19937 gen(11);
  const std::vector<float> special = {0.0f, -0.0f, 1.5f, -1.5f, 1.5f,
                                      std::numeric_limits<float>::denorm_min(),
                                      -std::numeric_limits<float>::denorm_min(),
                                      std::numeric_limits<float>::max(),
                                      std::numeric_limits<float>::lowest(), 3e-39f};
  for (const std::size_t n : {1, 2, 3, 10, 700}) {
    std::vector<std::uint32_t> keys(3 * n);
    for (std::uint32_t& k : keys) k = static_cast<std::uint32_t>(gen() >> 1);
    reorder.prepare(n, {keys.data(), keys.data() + n, keys.data() + 2 * n});
    for (std::size_t j = 0; j < 3; ++j) {
      std::vector<float> values(n);
      std::normal_distribution<float> normal(0.0f, 100.0f);
      for (std::size_t i = 0; i < n; ++i)
        values[i] = i < special.size() && j != 1 ? special[i] : normal(gen);
      RankReorder::Order order;
      reorder.order(j, values.data(), order);
      const std::string what = "n " + std::to_string(n) + ", column " + std::to_string(j);
      ASSERT_TRUE(is_permutation_of_indices(order.source, n)) << what;
      ASSERT_TRUE(is_permutation_of_indices(order.target, n)) << what;
      ASSERT_EQ(order.sorted.size(), n) << what;
      for (std::size_t r = 0; r < n; ++r) {
        EXPECT_EQ(std::bit_cast<std::uint32_t>(order.sorted[r]),
                  std::bit_cast<std::uint32_t>(values[order.source[r]])) << what << ", rank " << r;
      }
      EXPECT_TRUE(std::is_sorted(order.sorted.begin(), order.sorted.end())) << what;
    }
  }
}

}  // namespace
