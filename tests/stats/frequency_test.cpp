// One-way frequency table: the four ways of forming classes, the histogram
// export, the totals, and every refused argument with its code and text.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <numeric>
#include <random>
#include <vector>

#include "export/velmprob.h"
#include "stats/frequency.h"
#include "support/probe.h"

namespace {

struct Table {
  std::vector<float> div, tally;
};

Table owfrq(const std::vector<float>& x, int32_t k, int32_t iopt, float xlo, float xhi,
            float halfwidth, std::vector<float> div = {}) {
  div.resize(static_cast<std::size_t>(k), -99.0f);
  Table t{div, std::vector<float>(static_cast<std::size_t>(k), -1.0f)};
  velm::OWFRQ(static_cast<int32_t>(x.size()), x.data(), k, iopt, xlo, xhi, halfwidth,
              t.div.data(), t.tally.data());
  return t;
}

TEST(Frequency, HistogramExample) {
  const std::vector<float> x = {0.0f, 0.5f, 2.0f, 2.1f, 10.0f, 10.1f};
  const int16_t nobs = 6, k = 7;
  const float xlo = 0.0f, xhi = 10.0f;
  std::vector<float> div(7), tally(7);
  VELMHIST(&nobs, x.data(), &xlo, &xhi, &k, div.data(), tally.data());
  EXPECT_EQ(tally, (std::vector<float>{1, 2, 1, 0, 0, 1, 1}));
  EXPECT_EQ(div, (std::vector<float>{-1, 1, 3, 5, 7, 9, 11}));
}

// An observation at XHI can lie above (K - 2) * WIDTH after rounding (here
// 5 * 0.02 = 0.099999994 < 0.1); it still counts, in the last middle class.
TEST(Frequency, OpenClassesKeepEveryObservation) {
  Table t = owfrq({0.1f, 0.099999994f, 0.0f, 0.10000001f}, 7, 1, 0.0f, 0.1f, 0.0f);
  EXPECT_EQ(t.tally, (std::vector<float>{1, 0, 0, 0, 0, 2, 1}));
}

TEST(Frequency, ClassesOverTheRange) {
  std::vector<float> x(11);
  std::iota(x.begin(), x.end(), 0.0f);
  Table t = owfrq(x, 5, 0, 0, 0, 0);
  EXPECT_EQ(t.tally, (std::vector<float>{3, 2, 2, 2, 2}));
  EXPECT_EQ(t.div, (std::vector<float>{1, 3, 5, 7, 9}));
  t = owfrq({4.25f, 4.25f, 4.25f}, 3, 0, 0, 0, 0);
  EXPECT_EQ(t.tally, (std::vector<float>{3, 0, 0}));
  EXPECT_EQ(t.div, (std::vector<float>{4.25f, 4.25f, 4.25f}));
}

TEST(Frequency, GivenBoundariesAndMarks) {
  const float inf = std::numeric_limits<float>::infinity();
  // DIV(K) is not read with boundaries: infinity there is not refused.
  Table t = owfrq({0.5f, 1, 1.5f, 2, 2.5f, 3, 3.5f}, 4, 2, 0, 0, 0, {1, 2, 3, -inf});
  EXPECT_EQ(t.tally, (std::vector<float>{2, 2, 2, 1}));
  EXPECT_EQ(t.div, (std::vector<float>{1, 2, 3, -inf}));
  // Marks 1, 2, 3 with half-width 0.25: 1.6 is near none of them.
  t = owfrq({1.6f, 1.25f, 2.1f, 3.0f, 0.5f}, 3, 3, 0, 0, 0.25f, {1, 2, 3});
  EXPECT_EQ(t.tally, (std::vector<float>{1, 1, 1}));
  // Overlapping classes: the first mark within reach takes the observation.
  t = owfrq({1.5f, 2.5f}, 3, 3, 0, 0, 1.0f, {1, 2, 3});
  EXPECT_EQ(t.tally, (std::vector<float>{1, 1, 0}));
}

TEST(Frequency, TotalsOnRandomData) {
  std::mt19937 rng(3);
  std::normal_distribution<float> z(0.0f, 3.0f);
  std::vector<float> x(5000);
  for (auto& e : x) e = z(rng);
  for (int32_t k : {1, 2, 3, 7, 40}) {
    for (int32_t iopt : {0, 1, 2}) {
      if ((iopt == 1 && k < 3) || (iopt == 2 && k < 2)) continue;
      std::vector<float> div(static_cast<std::size_t>(k));
      for (int32_t j = 0; j < k; ++j) div[j] = -6.0f + 12.0f * static_cast<float>(j) / k;
      Table t = owfrq(x, k, iopt, -2.5f, 3.0f, 0, div);
      EXPECT_EQ(std::accumulate(t.tally.begin(), t.tally.end(), 0.0f), 5000.0f)
          << "k " << k << " iopt " << iopt;
    }
  }
}

TEST(Frequency, RefusedArguments) {
  const auto check = [](const velm_test::ProbeArgs& args, const std::string& output,
                        const char* scenario = "owfrq") {
    auto r = velm_test::run_probe(scenario, args);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.output, output);
  };
  const std::string xlo_xhi_1 =
      "\n"
      " *** TERMINAL ERROR 3 from OWFRQ.  XLO = 1.000000E+00 and XHI = 1.000000E+00.\n"
      " ***          The lower bound must be less than the upper bound.\n";
  const std::string k_iopt_1 =
      "\n"
      " *** TERMINAL ERROR 5 from OWFRQ.  K = 2.  Since IOPT = 1, there must be at\n"
      " ***          least three intervals.\n";
  // Every check is reported, in order, before the stop.
  check({"0", "2", "1", "1", "1"},
        "\n"
        " *** TERMINAL ERROR 1 from OWFRQ.  NOBS = 0.  There must be at least one\n"
        " ***          observation.\n" +
            xlo_xhi_1 + k_iopt_1);
  check({"3", "0", "5", "0", "1"},
        "\n"
        " *** TERMINAL ERROR 2 from OWFRQ.  IOPT = 5.  IOPT must be greater than or\n"
        " ***          equal to 0 and less than or equal to 3.\n"
        "\n"
        " *** TERMINAL ERROR 7 from OWFRQ.  K = 0.  There must be at least one\n"
        " ***          interval.\n");
  check({"3", "5", "2", "0", "1", "1", "3", "2", "2"},
        "\n"
        " *** TERMINAL ERROR 4 from OWFRQ.  DIV(3) = 2.000000E+00 and DIV(2) =\n"
        " ***          3.000000E+00.  The elements of DIV must be  monotonically \n"
        " ***          increasing.\n"
        "\n"
        " *** TERMINAL ERROR 4 from OWFRQ.  DIV(4) = 2.000000E+00 and DIV(3) =\n"
        " ***          2.000000E+00.  The elements of DIV must be  monotonically \n"
        " ***          increasing.\n");
  check({"3", "1", "2", "0", "1", "5"},
        "\n"
        " *** TERMINAL ERROR 6 from OWFRQ.  K = 1.  Since IOPT = 2, there must be at\n"
        " ***          least two intervals.\n");
  check({"3", "3", "3", "0", "1", "1", "2", "3", "nan"},
        "\n"
        " *** TERMINAL ERROR 8 from OWFRQ.  X contains missing values.  Missing values\n"
        " ***          are not allowed.\n");
  check({"2", "0", "10"}, k_iopt_1, "velmhist");
  check({"5", "10", "0"},
        "\n"
        " *** TERMINAL ERROR 3 from OWFRQ.  XLO = 1.000000E+01 and XHI = 0.000000E+00.\n"
        " ***          The lower bound must be less than the upper bound.\n",
        "velmhist");
  check({"5", "0", "10", "-1"},
        "\n"
        " *** TERMINAL ERROR 1 from OWFRQ.  NOBS = -1.  There must be at least one\n"
        " ***          observation.\n",
        "velmhist");
}

}  // namespace
