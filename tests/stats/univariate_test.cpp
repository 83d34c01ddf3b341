// Univariate statistics against independent two-pass computations in double
// precision, with t and chi-squared quantiles from a high-precision table;
// sequences of calls, removal of rows, frequencies, weights and missing
// values; messages and printed tables through probe scenarios.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "export/velmprob.h"
#include "stats/univariate.h"
#include "support/probe.h"
#include "tests/stats/limits_data.inc"

namespace {

const float kNaN = std::numeric_limits<float>::quiet_NaN();

const velm_test::LimitQuantiles& quantiles(int df) {
  for (const auto& q : velm_test::kLimitQuantiles) {
    if (q.df == df) return q;
  }
  ADD_FAILURE() << "no quantiles for df " << df;
  return velm_test::kLimitQuantiles[0];
}

// Two-pass statistics of a weighted sample (weights w, frequencies f), in
// the population form of the moments: skewness m3 / (n s^3) and kurtosis
// m4 / (n v^2) - 3 with v = m2 / n, n the sum of the frequencies.
struct Expected {
  double mean, var, sd, skew, kurt, min, max, count, sumw;
};

Expected two_pass(const std::vector<double>& x, const std::vector<double>& f,
                  const std::vector<double>& w) {
  Expected e{};
  double sw = 0.0, swx = 0.0;
  e.min = x[0];
  e.max = x[0];
  for (std::size_t i = 0; i < x.size(); ++i) {
    sw += w[i] * f[i];
    swx += w[i] * f[i] * x[i];
    e.count += f[i];
    e.min = std::min(e.min, x[i]);
    e.max = std::max(e.max, x[i]);
  }
  e.sumw = sw;
  e.mean = swx / sw;
  double m2 = 0.0, m3 = 0.0, m4 = 0.0;
  for (std::size_t i = 0; i < x.size(); ++i) {
    const double d = x[i] - e.mean;
    m2 += w[i] * f[i] * d * d;
    m3 += w[i] * f[i] * d * d * d;
    m4 += w[i] * f[i] * d * d * d * d;
  }
  const double n = e.count;
  e.var = m2 / (n - 1.0);
  e.sd = std::sqrt(e.var);
  const double v = m2 / n;
  e.skew = m3 / (n * v * std::sqrt(v));
  e.kurt = m4 / (n * v * v) - 3.0;
  return e;
}

Expected two_pass(const std::vector<double>& x) {
  return two_pass(x, std::vector<double>(x.size(), 1.0), std::vector<double>(x.size(), 1.0));
}

// Concatenation without operator+ (which trips a false -Wrestrict in GCC 12).
std::string cat(std::initializer_list<std::string_view> parts) {
  std::string s;
  for (auto p : parts) s.append(p);
  return s;
}

float at(const std::vector<float>& stat, int r, int j) { return stat[(r - 1) + 15 * j]; }

// Compares STAT column j with the two-pass values and the 95 % limits.
void expect_column(const std::vector<float>& stat, int j, const Expected& e, double tol) {
  const double scale = std::max(e.sd, 1e-30);
  EXPECT_NEAR(at(stat, 1, j), e.mean, tol * scale + 1e-6 * std::fabs(e.mean)) << "mean";
  EXPECT_NEAR(at(stat, 2, j), e.var, tol * e.var) << "variance";
  EXPECT_NEAR(at(stat, 3, j), e.sd, tol * e.sd) << "sd";
  EXPECT_NEAR(at(stat, 4, j), e.skew, 10 * tol + 1e-5) << "skewness";
  EXPECT_NEAR(at(stat, 5, j), e.kurt, 10 * tol + 1e-5) << "kurtosis";
  EXPECT_EQ(at(stat, 6, j), static_cast<float>(e.min));
  EXPECT_EQ(at(stat, 7, j), static_cast<float>(e.max));
  EXPECT_NEAR(at(stat, 8, j), e.max - e.min, 1e-6 * (e.max - e.min));
  EXPECT_NEAR(at(stat, 9, j), e.sd / e.mean, tol * std::fabs(e.sd / e.mean)) << "coef. var.";
  EXPECT_EQ(at(stat, 10, j), static_cast<float>(e.count));
  const int df = static_cast<int>(e.count) - 1;
  const auto& q = quantiles(df);
  const double h = e.sd / std::sqrt(e.count) * q.t975;
  EXPECT_NEAR(at(stat, 11, j), e.mean - h, tol * scale + 1e-6 * std::fabs(e.mean)) << "lower CLM";
  EXPECT_NEAR(at(stat, 12, j), e.mean + h, tol * scale + 1e-6 * std::fabs(e.mean)) << "upper CLM";
  // The inverse chi-squared refines its root to about 4e-6 relative.
  const double lower = e.var * df / q.chi975, upper = e.var * df / q.chi025;
  EXPECT_NEAR(at(stat, 13, j), lower, std::max(tol, 1e-5) * lower) << "lower CLV";
  EXPECT_NEAR(at(stat, 14, j), upper, std::max(tol, 1e-5) * upper) << "upper CLV";
}

TEST(Univariate, OneToFive) {
  const float x[5] = {1, 2, 3, 4, 5};
  const int16_t n = 5, one = 1;
  std::vector<float> stat(15, 123.0f);
  VELMSTAT(&n, &one, x, &n, stat.data());
  const Expected e = two_pass({1, 2, 3, 4, 5});
  EXPECT_DOUBLE_EQ(e.kurt, -1.3);
  expect_column(stat, 0, e, 2e-6);
  EXPECT_FLOAT_EQ(at(stat, 3, 0), 1.5811388f);
  EXPECT_FLOAT_EQ(at(stat, 9, 0), 0.5270463f);
  EXPECT_EQ(at(stat, 15, 0), 123.0f);  // row 15 is left as passed
}

// Random columns (offset means, one of them skewed) with LDX above NROW,
// against two-pass double-precision values.
TEST(Univariate, RandomColumns) {
  std::mt19937 rng(7);
  std::normal_distribution<double> z(0.0, 1.0);
  std::exponential_distribution<double> ex(0.5);
  for (int n : {10, 37, 200, 1000, 32767}) {
    const int16_t nrow = static_cast<int16_t>(n), nvar = 3;
    const int16_t ldx = static_cast<int16_t>(std::min(n + 3, 32767));
    std::vector<float> x(static_cast<std::size_t>(ldx) * 3, 5e30f);
    std::vector<std::vector<double>> cols(3);
    for (int i = 0; i < n; ++i) {
      const float v[3] = {static_cast<float>(100.0 + 3.0 * z(rng)),
                          static_cast<float>(ex(rng) - 1.0),
                          static_cast<float>(-1e-3 * (1.0 + 0.1 * z(rng)))};
      for (int j = 0; j < 3; ++j) {
        x[static_cast<std::size_t>(i + j * ldx)] = v[j];
        cols[j].push_back(v[j]);
      }
    }
    std::vector<float> stat(45, 0.0f);
    VELMSTAT(&nrow, &nvar, x.data(), &ldx, stat.data());
    for (int j = 0; j < 3; ++j) {
      SCOPED_TRACE(cat({"n ", std::to_string(n), " variable ", std::to_string(j + 1)}));
      expect_column(stat, j, two_pass(cols[j]), n > 1000 ? 3e-4 : 3e-5);
    }
  }
}

// Runs UVSTA over rows [from, to) of a column-major matrix with ldx rows.
void uvsta_rows(std::int32_t ido, const std::vector<float>& x, std::int32_t ldx, int from, int to,
                std::int32_t nvar, std::int32_t ifrq, std::int32_t iwt, std::int32_t missopt,
                std::vector<float>& stat, std::int32_t& nrowmiss, bool remove = false) {
  const std::int32_t n = to - from;
  velm::UVSTA(ido, remove ? -n : n, nvar, x.data() + from, ldx, ifrq, iwt, missopt, 95.0f, 95.0f, 0,
              stat.data(), 15, nrowmiss);
}

TEST(Univariate, SequenceEqualsOneCall) {
  std::mt19937 rng(11);
  std::normal_distribution<float> z(50.0f, 4.0f);
  const int n = 300;
  std::vector<float> x(static_cast<std::size_t>(2 * n));
  for (auto& v : x) v = z(rng);
  x[17] = kNaN;  // one missing value: the row is dropped in both runs
  std::vector<float> whole(30), parts(30);
  std::int32_t miss_whole = -1, miss_parts = -1;
  uvsta_rows(0, x, n, 0, n, 2, 0, 0, 0, whole, miss_whole);
  uvsta_rows(1, x, n, 0, 100, 2, 0, 0, 0, parts, miss_parts);
  uvsta_rows(2, x, n, 100, 150, 2, 0, 0, 0, parts, miss_parts);
  uvsta_rows(2, x, n, 150, n, 2, 0, 0, 0, parts, miss_parts);
  uvsta_rows(3, x, n, 0, 0, 2, 0, 0, 0, parts, miss_parts);
  EXPECT_EQ(miss_whole, 1);
  EXPECT_EQ(miss_parts, 1);
  for (int j = 0; j < 2; ++j) {
    for (int r = 1; r <= 14; ++r) {
      const float a = at(whole, r, j), b = at(parts, r, j);
      EXPECT_NEAR(a, b, 2e-5 * std::max(1.0f, std::fabs(a))) << "row " << r;
    }
  }
}

TEST(Univariate, RemovingEveryRowResetsTheSums) {
  const std::vector<float> x = {3, 9, 4, 1, 7, 2, 8, 6, 5, 0};  // 5 x 2
  for (std::int32_t missopt : {0, 1}) {
    std::vector<float> stat(30, 0.0f);
    std::int32_t nrowmiss = 0;
    uvsta_rows(1, x, 5, 0, 5, 2, 0, 0, missopt, stat, nrowmiss);
    EXPECT_EQ(at(stat, 10, 0), 5.0f);
    uvsta_rows(2, x, 5, 0, 2, 2, 0, 0, missopt, stat, nrowmiss, true);
    EXPECT_EQ(at(stat, 10, 1), 3.0f);
    EXPECT_NEAR(at(stat, 1, 0), (4 + 1 + 7) / 3.0f, 1e-5);
    uvsta_rows(2, x, 5, 2, 5, 2, 0, 0, missopt, stat, nrowmiss, true);
    for (int j = 0; j < 2; ++j) {
      EXPECT_EQ(at(stat, 10, j), 0.0f);
      for (int r : {1, 2, 4, 5}) EXPECT_EQ(at(stat, r, j), 0.0f) << "row " << r;
    }
    // New rows after the reset give the statistics of those rows alone.
    const std::vector<float> y = {10, 12, 14, 1, 2, 4};
    uvsta_rows(3, y, 3, 0, 3, 2, 0, 0, missopt, stat, nrowmiss);
    EXPECT_NEAR(at(stat, 1, 0), 12.0f, 1e-5);
    EXPECT_NEAR(at(stat, 2, 0), 4.0f, 1e-5);
    EXPECT_NEAR(at(stat, 2, 1), 7.0f / 3.0f, 1e-5);
    EXPECT_EQ(at(stat, 10, 0), 3.0f);
  }
}

// Frequencies give the same statistics as repeated rows; weights as the
// weighted two-pass formulas; frequency 0 drops a row, weight 0 keeps it in
// the count and the extremes only; a missing frequency or weight drops it.
TEST(Univariate, FrequenciesAndWeights) {
  // columns: weight, data, frequency
  const std::vector<float> w = {1.5f, 0.5f, 2.0f, 0.0f, 1.0f, kNaN, 1.0f, 3.0f};
  const std::vector<float> d = {4.0f, 7.0f, 1.0f, 20.0f, 5.0f, 9.0f, 100.0f, 2.0f};
  const std::vector<float> f = {2.0f, 1.0f, 3.0f, 1.0f, 1.0f, 1.0f, 0.0f, 1.0f};
  std::vector<float> x;
  for (const auto* c : {&w, &d, &f}) x.insert(x.end(), c->begin(), c->end());
  std::vector<float> stat(15);
  std::int32_t nrowmiss = -1;
  velm::UVSTA(0, 8, 1, x.data(), 8, 3, 1, 0, 95.0f, 95.0f, 0, stat.data(), 15, nrowmiss);
  EXPECT_EQ(nrowmiss, 1);  // the NaN weight
  std::vector<double> xs, fs, ws;
  for (int i : {0, 1, 2, 3, 4, 7}) {
    xs.push_back(d[i]);
    fs.push_back(f[i]);
    ws.push_back(w[i]);
  }
  const Expected e = two_pass(xs, fs, ws);
  EXPECT_NEAR(at(stat, 1, 0), e.mean, 1e-5 * e.mean);
  EXPECT_NEAR(at(stat, 2, 0), e.var, 1e-5 * e.var);
  EXPECT_EQ(at(stat, 6, 0), 1.0f);
  EXPECT_EQ(at(stat, 7, 0), 20.0f);  // weight 0 still counts in the extremes
  EXPECT_EQ(at(stat, 10, 0), 9.0f);  // and in the count
  EXPECT_NEAR(at(stat, 15, 0), e.sumw, 1e-6);

  // Frequencies against repeated rows.
  const std::vector<float> fx = {1, 2, 3, 2, 1, 3};
  std::vector<float> freq_stat(15), rep_stat(15);
  velm::UVSTA(0, 3, 1, fx.data(), 3, 2, 0, 0, 95.0f, 95.0f, 0, freq_stat.data(), 15, nrowmiss);
  const std::vector<float> rep = {1, 1, 2, 3, 3, 3};
  velm::UVSTA(0, 6, 1, rep.data(), 6, 0, 0, 0, 95.0f, 95.0f, 0, rep_stat.data(), 15, nrowmiss);
  for (int r = 1; r <= 14; ++r) EXPECT_NEAR(at(freq_stat, r, 0), at(rep_stat, r, 0), 1e-5) << r;
}

TEST(Univariate, MissingValueOptions) {
  // 4 rows x 2 variables; row 2 of variable 2 is missing.
  const std::vector<float> x = {1, 2, 3, 6, 10, kNaN, 30, 50};
  std::vector<float> rows(30), elements(30);
  std::int32_t miss_rows = -1, miss_elements = -1;
  velm::UVSTA(0, 4, 2, x.data(), 4, 0, 0, 0, 95.0f, 95.0f, 0, rows.data(), 15, miss_rows);
  velm::UVSTA(0, 4, 2, x.data(), 4, 0, 0, 1, 95.0f, 95.0f, 0, elements.data(), 15, miss_elements);
  EXPECT_EQ(miss_rows, 1);
  EXPECT_EQ(miss_elements, 1);
  // Whole rows: variable 1 without its second value too.
  EXPECT_EQ(at(rows, 10, 0), 3.0f);
  EXPECT_NEAR(at(rows, 1, 0), 10.0f / 3.0f, 1e-6);
  EXPECT_EQ(at(rows, 10, 1), 3.0f);
  // Elements: variable 1 keeps all four.
  EXPECT_EQ(at(elements, 10, 0), 4.0f);
  EXPECT_NEAR(at(elements, 1, 0), 3.0f, 1e-6);
  EXPECT_NEAR(at(elements, 2, 0), two_pass({1, 2, 3, 6}).var, 1e-5);
  EXPECT_EQ(at(elements, 10, 1), 3.0f);
  EXPECT_NEAR(at(elements, 1, 1), 30.0f, 1e-5);
}

// A later call whose workspace does not fit (IPRINT raised to 2, or no first
// call at all) works on a rebuilt one instead of writing past it.
TEST(Univariate, WorkspaceRebuiltForLaterCalls) {
  const std::vector<float> x = {1, 2, 3, 4, 8, 8, 8, 8};
  std::vector<float> a(30), b(30);
  std::int32_t miss = 0;
  velm::UVSTA(0, 4, 2, x.data(), 4, 0, 0, 0, 95.0f, 95.0f, 0, a.data(), 15, miss);
  velm::UVSTA(1, 2, 1, x.data(), 4, 0, 0, 0, 95.0f, 95.0f, 0, b.data(), 15, miss);
  ::testing::internal::CaptureStdout();
  velm::UVSTA(2, 1, 2, x.data() + 2, 4, 0, 0, 0, 95.0f, 95.0f, 2, b.data(), 15, miss);
  const std::string printed = ::testing::internal::GetCapturedStdout();
  EXPECT_NE(printed.find("Intermediate Statistics"), std::string::npos);
  velm::UVSTA(3, 1, 1, x.data() + 3, 4, 0, 0, 0, 95.0f, 95.0f, 0, b.data(), 15, miss);
  for (int r = 1; r <= 14; ++r) EXPECT_NEAR(at(a, r, 0), at(b, r, 0), 1e-5) << r;
  // IDO 3 without any first call: the constant flag is recovered from the
  // extremes the caller kept.
  std::vector<float> c = a;
  c[1] = 5.0f;  // running sum of squares, as between calls
  velm::UVSTA(3, 0, 1, x.data(), 4, 0, 0, 0, 95.0f, 95.0f, 0, c.data(), 15, miss);
  EXPECT_NEAR(at(c, 2, 0), 5.0f / 3.0f, 1e-6);
}

// ---- Messages and printing (probe scenarios) ----

// Joins each printed message's records into one line with single blanks.
std::vector<std::string> messages(const std::string& out) {
  std::vector<std::string> result;
  std::istringstream in(out);
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind(" *** ", 0) != 0) continue;
    if (line.find(" ERROR ") != std::string::npos && line.rfind(" ***     ", 0) != 0) {
      result.push_back(line.substr(line.find(" ERROR ") + 7));
    } else if (!result.empty()) {
      result.back().append(" ").append(line, 14, std::string::npos);
    }
  }
  for (auto& m : result) {
    std::string squeezed;
    for (char ch : m) {
      if (ch == ' ' && !squeezed.empty() && squeezed.back() == ' ') continue;
      squeezed += ch;
    }
    m = squeezed;
  }
  return result;
}

std::string last_line(const std::string& out) {
  const auto end = out.find_last_not_of('\n');
  const auto start = out.rfind('\n', end);
  return out.substr(start == std::string::npos ? 0 : start + 1, end - (start == std::string::npos ? 0 : start + 1) + 1);
}

const char kTraceHead[] =
    "     Here is a traceback of subprogram calls in reverse order:\n"
    "     Routine name                    Error type  Error code\n"
    "     ------------                    ----------  ----------\n";

TEST(UnivariateMessages, ConstantValuesByteForByte) {
  const auto r = velm_test::run_probe("uvsta_degenerate", {"constant"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.output,
            cat({"\n"
                        " *** WARNING  ERROR 2 from U2STA.  The observations on variable 1 are\n"
                        " ***          constant.\n",
                kTraceHead,
                "     U2STA                                6           2    (Called internally)\n"
                "     UVSTA                                0           0\n"
                "     USER                                 0           0\n"
                "returned 2 0 0 0 0 0 2 2 0 0\n"}));
}

struct Degenerate {
  const char* scenario;
  std::vector<std::string> texts;  // the messages, in order, each once
  const char* values;
};

TEST(UnivariateMessages, DegenerateWarnings) {
  const std::string fewer =
      "present. The corresponding statistics are set to NaN (not a number), (except for the "
      "mean, which is not correct if no valid observations are present, or is correct if one "
      "observation is present).";
  const std::string tiny = "Since the range of variable 1 is very small, the ";
  // Such data have a mean below EPS as well: no coefficient of variation.
  const std::string no_cv =
      "5 from U2STA. The coefficient of variation is set to NaN (not a number) for variable 1. "
      "This is due to the value of the mean, standard deviation, or both.";
  const Degenerate cases[] = {
      {"one_row", {cat({"1 from U2STA. Fewer than two valid observations are ", fewer})},
       "returned 4 nan nan 4 4 0 nan 1 nan nan 5 nan nan 5 5 0 nan 1 nan nan"},
      {"one_in_variable",
       {"1 from U2STA. Fewer than two valid observations are present for variable 2. The "
        "corresponding statistics are set to NaN (not a number), (except for the mean, which is "
        "not correct if no valid observations are present, or is correct if one observation is "
        "present)."},
       "returned 2.33333 2.33333 3 3 7 nan 0 1"},
      {"tiny_variance",
       {cat({"12 from U2STA. ", tiny,
        "variance for this variable underflows. Therefore, the variance and standard deviation "
        "are set to 0, and the skewness and kurtosis are set to NaN (not a number)."}), no_cv},
       "returned 0 0 nan nan"},
      {"denormal_spread",
       {cat({"12 from U2STA. ", tiny,
        "variance for this variable underflows. Therefore, the variance and standard deviation "
        "are set to 0, and the skewness and kurtosis are set to NaN (not a number)."}), no_cv},
       "returned 0 0 nan nan"},
      {"tiny_moments",
       {cat({"13 from U2STA. ", tiny,
        "higher order moments for this variable underflow. Therefore, the skewness and kurtosis "
        "are set to NaN (not a number)."}),
        cat({"14 from U2STA. ", tiny,
        "fourth order moment for this variable underflows. Therefore, the kurtosis is set to NaN "
        "(not a number)."}), no_cv},
       "returned nan nan"},
      {"tiny_fourth",
       {cat({"14 from U2STA. ", tiny,
        "fourth order moment for this variable underflows. Therefore, the kurtosis is set to NaN "
        "(not a number)."}), no_cv},
       "returned 0 nan"},
      {"zero_mean",
       {"5 from U2STA. The coefficient of variation is set to NaN (not a number) for variable 1. "
        "This is due to the value of the mean, standard deviation, or both."},
       "returned nan"},
      {"zero_weights",
       {"15 from U2STA. The sum of the weights is zero. The statistics, except for the minima, "
        "maxima, ranges and counts, are set to NaN (not a number)."},
       "returned nan nan 1 3 2 3 0"},
      {"weightless_spread",
       {"3 from U2STA. The variance and standard deviation are negative for variable 1."},
       "returned 1 0 0 0 3 1"},
      {"zero_weights_variable",
       {"15 from U2STA. The sum of the weights for variable 2 is zero. The statistics, except for "
        "the minima, maxima, ranges and counts, are set to NaN (not a number)."},
       "returned 1.5 0.166667 4 2 nan nan 2 0"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.scenario);
    const auto r = velm_test::run_probe("uvsta_degenerate", {c.scenario});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(messages(r.output), c.texts) << r.output;
    EXPECT_EQ(last_line(r.output), c.values);
  }
}

TEST(UnivariateMessages, MaximumBelowMinimum) {
  auto r = velm_test::run_probe("uvsta_degenerate", {"max_below_min", "2"});
  EXPECT_EQ(messages(r.output),
            std::vector<std::string>{"4 from U2STA. The maximum value is less than the minimum "
                                     "value. The corresponding statistics are set to NaN (not a "
                                     "number)."});
  EXPECT_EQ(last_line(r.output), "returned nan nan nan nan");
  r = velm_test::run_probe("uvsta_degenerate", {"max_below_min", "1"});
  EXPECT_EQ(messages(r.output),
            std::vector<std::string>{"4 from U2STA. The maximum value is less than the minimum "
                                     "value for variable 1. The corresponding statistics are set "
                                     "to NaN (not a number)."});
  EXPECT_EQ(last_line(r.output), "returned nan nan 1 2");
}

// FATAL: recorded by C1WFR, printed and ended when UVSTA (the routine the
// caller called) leaves, under its name.
TEST(UnivariateMessages, NegativeFrequencyOrWeightIsFatal) {
  struct Case {
    std::vector<std::string> args;
    std::string text;
  };
  const Case cases[] = {
      {{"frequency"},
       "2 from UVSTA. The frequency for row 2 of X is -2.500000E+00. Frequencies must be "
       "nonnegative."},
      {{"frequency", "seq"},
       "2 from UVSTA. The frequency for row 2 of X on invocation number 2 of this routine is "
       "-2.500000E+00. Frequencies must be nonnegative."},
      {{"weight"},
       "1 from UVSTA. The weight for row 2 of X was -2.500000E+00. Weights must be nonnegative."},
      {{"weight", "seq"},
       "1 from UVSTA. The weight for row 2 of X on invocation number 2 of this routine was "
       "-2.500000E+00. Weights must be nonnegative."},
  };
  for (const auto& c : cases) {
    const auto r = velm_test::run_probe("uvsta_negative", c.args);
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_EQ(messages(r.output), std::vector<std::string>{c.text}) << r.output;
    EXPECT_EQ(r.output.find("returned"), std::string::npos);
  }
}

TEST(UnivariateMessages, ArgumentErrorsAreTerminal) {
  struct Case {
    const char* scenario;
    std::vector<std::string> args;
    std::vector<std::string> texts;
  };
  const Case cases[] = {
      // LDX below NROW would read past each column.
      {"velmstat_counts", {"3", "1", "2"},
       {"8 from U2STA. ABS(NROW) = 3 and LDX = 2. ABS(NROW) must be less than or equal to LDX."}},
      {"velmstat_counts", {"1", "1", "0"},
       {"7 from U2STA. LDX = 0. LDX must be greater than or equal to 1."}},
      {"velmstat_counts", {"0", "1", "3"},
       {"7 from U2STA. NROW = 0 and IDO = 0. If NROW is nonpositive, IDO must be equal to 2 or 3."}},
      {"velmstat_counts", {"-3", "1", "3"},
       {"7 from U2STA. NROW = -3 and IDO = 0. If NROW is nonpositive, IDO must be equal to 2 or 3."}},
      {"velmstat_counts", {"-32768", "1", "3"},
       {"8 from U2STA. ABS(NROW) = 32768 and LDX = 3. ABS(NROW) must be less than or equal to LDX."}},
      {"velmstat_counts", {"3", "0", "3"},
       {"1 from UVSTA. NVAR = 0. The number of variables must be positive."}},
      {"velmstat_counts", {"3", "-2", "3"},
       {"1 from UVSTA. NVAR = -2. The number of variables must be positive."}},
      {"uvsta_args", {"ido=4", "iprint=3"},
       {"2 from UVSTA. IDO = 4. IDO must be either 0, 1, 2, or 3.",
        "3 from UVSTA. IPRINT = 3. IPRINT must be either 0, 1, or 2."}},
      {"uvsta_args", {"ldstat=14"},
       {"6 from U2STA. LDSTAT = 14. The leading dimension of STAT must be at least 15."}},
      {"uvsta_args", {"ifrq=-1", "iwt=-2"},
       {"3 from U2STA. IFRQ = -1. IFRQ must be greater than or equal to 0.",
        "4 from U2STA. IWT = -2. IWT must be greater than or equal to 0."}},
      {"uvsta_args", {"conprm=100", "conprv=nan"},
       {"8 from U2STA. CONPRM = 1.000000E+02. The confidence level for the mean, CONPRM, must be "
        "less than 100.0.",
        "9 from U2STA. CONPRV = NaN. The confidence level for the variance, CONPRV, must be less "
        "than 100.0."}},
      {"uvsta_no_storage", {},
       {"12 from UVSTA. The required storage cannot be allocated. The workspace allocation is "
        "based on NVAR = 1."}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(cat({c.scenario, " ", c.args.empty() ? "" : c.args[0]}));
    const auto r = velm_test::run_probe(c.scenario, c.args);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(messages(r.output), c.texts) << r.output;
    EXPECT_EQ(r.output.find("returned"), std::string::npos);
  }
}

TEST(UnivariateMessages, FinalAndIntermediateTables) {
  auto r = velm_test::run_probe("uvsta_print", {"final"});
  EXPECT_EQ(r.status, 0);
  for (const char* label : {"Mean", "Variance", "Std. Dev.", "Skewness", "Kurtosis", "Minimum",
                            "Maximum", "Range", "Coef. Var.", "Count", "Lower CLM", "Upper CLM",
                            "Lower CLV", "Upper CLV"}) {
    EXPECT_NE(r.output.find(cat({" ", label})), std::string::npos) << label;
  }
  EXPECT_EQ(r.output.find("Sum Wts"), std::string::npos);
  EXPECT_NE(r.output.find(" Mean           2.500000E+00   2.750000E+01\n"), std::string::npos)
      << r.output;
  EXPECT_NE(r.output.find(" Count          4.000000E+00   4.000000E+00\n"), std::string::npos);

  r = velm_test::run_probe("uvsta_print", {"sequence"});
  EXPECT_EQ(r.status, 0);
  std::size_t pos = 0;
  int intermediate = 0;
  while ((pos = r.output.find("Intermediate Statistics", pos)) != std::string::npos) {
    ++intermediate;
    ++pos;
  }
  EXPECT_EQ(intermediate, 2);
  EXPECT_NE(r.output.find(" Mean           1.500000E+00   1.500000E+01\n"), std::string::npos)
      << r.output;
  EXPECT_NE(r.output.find("Univariate Statistics"), std::string::npos);
  EXPECT_NE(r.output.find(" Range          3.000000E+00   4.000000E+01\n"), std::string::npos);
}

// Rows never written keep none of the caller's contents: one observation
// gives a range of 0; infinite extremes of one sign a range and moments of
// NaN.
TEST(UnivariateMessages, NoRowKeepsTheCallersContents) {
  auto r = velm_test::run_probe("velmstat_values", {"4.5"});
  EXPECT_EQ(last_line(r.output), "returned 4.5 nan nan nan nan 0 nan 1 nan nan nan nan 777");
  r = velm_test::run_probe("velmstat_infinite");
  EXPECT_EQ(last_line(r.output), "returned nan nan nan nan nan inf inf nan nan 3 nan nan nan nan 777");
}

}  // namespace
