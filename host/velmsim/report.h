// The results of a run, summarised with the statistics edition, and their
// text, JSON, CSV and HTML forms.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "host/velmsim/engine.h"
#include "host/velmsim/model.h"

namespace velmsim {

extern const char* const kStatLabels[15];

// printf-style formatting into a string, for the report writers (up to 511
// characters).
std::string format(const char* f, ...) __attribute__((format(printf, 1, 2)));
// A number with six significant digits, or "n/a" for NaN.
std::string six_digits(double x);
// The percentiles a report lists: those asked for, and 5 and 95, ascending
// and each once.
std::vector<double> listed_percentiles(const std::vector<double>& asked);
// The statistics a report shows: VELMSTAT fills the first fourteen rows; the
// fifteenth, the sum of weights, stays unwritten when no weights are given.
inline constexpr int kReportedStatistics = 14;

struct Correlation {
  std::string name;
  float rho = 0.0f;  // NaN when the input never varied
};

struct RiskLine {
  std::string name;
  float p = 0.0f;
  double rate = 0.0;        // observed share of iterations in which it occurred
  float mean_impact = 0.0f;  // mean of the impact drawn in every iteration
  float rho = 0.0f;          // Spearman correlation of its value with the output
};

// A column's part in an output's contingency, measured on the tail: the
// iterations whose output is at or above its P80. Missing values are NaN.
struct Driver {
  std::string name;
  bool risk = false;
  double excess = 0.0;          // mean over the tail minus mean over all iterations
  double share = 0.0;           // excess / (E[output | tail] - E[output])
  double allocation = 0.0;      // share * (P80 - mean)
  double variance_share = 0.0;  // rho^2 over the sum of rho^2 of every column
};

struct OutputSummary {
  std::string name, formula, currency;
  std::optional<double> base, target;
  bool constant = false;
  std::array<float, 15> stat{};
  std::vector<std::pair<double, float>> percentiles;  // (percent, value)
  float p01 = 0, p50 = 0, p80 = 0, p99 = 0;
  std::optional<double> below_base, below_target;  // P(output <= base), P(output <= target)
  // Histogram: classes of equal width between low and high, with the open
  // classes "up to low" first and "above high" last.
  float low = 0, high = 0;
  std::vector<float> marks, tally;
  std::vector<std::pair<float, float>> curve;  // (value, cumulative probability)
  std::vector<Correlation> tornado;           // strongest first
  std::vector<RiskLine> risks;
  // Contingency drivers, largest excess first: every risk and the columns
  // named in `shares`; none for an output that never varied.
  double mean = 0.0;         // over all iterations, in double
  int tail = 0;              // iterations at or above P80
  double tail_excess = 0.0;  // E[output | tail] - E[output]
  std::vector<Driver> drivers;
};

// A correlated model's target rank correlations beside those achieved.
struct CorrelationSummary {
  std::vector<std::string> names;  // the correlated columns, in draw order
  SquareMatrix target;             // the matrix the run used
  SquareMatrix given;              // as written (differs only after a repair)
  bool repaired = false;
  double largest_change = 0;
  // Spearman correlation (VELMSPEAR) over every iteration, row by row; NaN
  // for a column that never varied.
  std::vector<float> achieved;
};

struct Report {
  std::string version, model_path, model_sha256, model_name, currency;
  std::optional<double> base, target;
  std::string sampling_library, sampling_edition, statistics_library;
  std::int32_t seed = 0;
  bool clock_seed = false, one_stream = false;
  int threads = 1, iterations = 0, limit = 0, block = 0;
  double tolerance = 0;
  bool converged = false;
  std::vector<std::string> columns;
  std::optional<CorrelationSummary> correlation;
  std::vector<OutputSummary> outputs;
  std::vector<Checkpoint> trace;
};

Report summarise(const Model& model, const RunResult& run, const StatisticsExports& statistics,
                 int classes);

std::string text_report(const Report& r);
std::string json_report(const Report& r);
std::string html_report(const Report& r);
// One row per iteration: the iteration (from 1), every column, every output,
// with 9 significant digits so that each single-precision value reads back
// exactly.
std::string csv_rows(const Model& model, const Samples& samples);

std::string sha256_hex(const std::string& data);

}  // namespace velmsim
