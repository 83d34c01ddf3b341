// The summary of one output: its spread (statistics, percentiles, S-curve),
// its figures against base and target, histogram, tornado, risk table and
// contingency drivers. Every figure a report shows is computed here, once.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "host/velmsim/analysis/pool.h"
#include "host/velmsim/analysis/statistics.h"
#include "host/velmsim/engine/samples.h"
#include "host/velmsim/model/model.h"

namespace velmsim {

// The statistics a report shows: VELMSTAT fills the first fourteen rows; the
// fifteenth, the sum of weights, stays unwritten when no weights are given.
inline constexpr int kReportedStatistics = 14;

// The percentiles a report lists: those asked for, and 5 and 95, ascending
// and each once.
std::vector<double> listed_percentiles(const std::vector<double>& asked);

// How a sample is spread: its statistics, the listed percentiles, the 1st,
// 50th, 80th and 99th, and the S-curve (the 0.5th, 1.5th, ... 98.5th
// percentiles).
struct Spread {
  bool constant = false;
  std::array<float, 15> stat{};
  std::array<const char*, 15> why{};  // why a statistic is missing (NaN), else null
  std::vector<std::pair<double, float>> percentiles;  // (percent, value)
  // Each listed percentile's distribution-free 95 % interval (low, high):
  // -inf or +inf where it reaches beyond the sample.
  std::vector<std::pair<float, float>> intervals;
  float p01 = 0, p50 = 0, p80 = 0, p99 = 0;
  std::vector<std::pair<float, float>> curve;  // (value, cumulative probability)
};

Spread spread(const Statistics& st, const float* y, std::size_t n,
              const std::vector<double>& percentiles);

// A histogram of `classes` classes between the 1st and 99th percentiles, or
// the extremes when those coincide; none for data that never varies.
// VELMHIST's classes hold the values above their lower end up to their upper
// end, so a value that many iterations take at low (the 0 of a delay that
// often does not happen) lands in the open class "up to low", with the values
// below it, and one at high in the last class: such point masses are counted
// apart, so that a chart can show them.
struct CentralHistogram : Histogram {
  bool extremes = false;  // low and high are the minimum and maximum, not the percentiles
  // Iterations at exactly low (within tally.front()) and at exactly high
  // (within the last class), when they are at least 1 % of all; else 0.
  float at_low = 0, at_high = 0;
};

CentralHistogram central_histogram(const Statistics& st, const float* y, std::size_t n,
                                   const Spread& s, int classes);

// The rows below name a column with its label and unit (see Naming).
struct Correlation : Naming {
  float rho = 0.0f;  // NaN when the input never varied
};

struct RiskLine : Naming {
  float p = 0.0f;
  double rate = 0.0;             // observed share of iterations in which it occurred
  float mean_impact = 0.0f;      // mean of the impact drawn in every iteration
  double expected_impact = 0.0;  // p times the mean impact
  float rho = 0.0f;              // Spearman correlation of its value with the output
};

// A column's part in an output's contingency, measured on the tail: the
// iterations whose output is at or above its P80. Missing values are NaN.
struct Driver : Naming {
  bool risk = false;
  double excess = 0.0;          // mean over the tail minus mean over all iterations
  double share = 0.0;           // excess / (E[output | tail] - E[output])
  double allocation = 0.0;      // share * (P80 - mean)
  double variance_share = 0.0;  // rho^2 over the sum of rho^2 of every column
};

// An output against its base: the contingencies P50 - base and P80 - base,
// each also in % of the base (none when the base is 0), and P(output <= base).
struct AgainstBase {
  double base = 0, p50_minus_base = 0, p80_minus_base = 0;
  std::optional<double> p50_percent, p80_percent;
  double below = 0;
};

struct OutputSummary : Spread, Naming {
  std::string formula, currency;
  // The unit the reports print after the output's values and on its axes:
  // its unit, else its currency.
  const std::string& unit_shown() const { return unit.empty() ? currency : unit; }
  std::optional<double> base, target;
  std::optional<AgainstBase> against_base;
  std::optional<double> below_target;  // P(output <= target)
  CentralHistogram histogram;
  std::vector<Correlation> tornado;  // strongest first
  std::vector<RiskLine> risks;
  // Contingency drivers, largest excess first: every risk and the columns
  // named in `shares`; none for an output that never varied.
  double mean = 0.0;            // over all iterations, in double
  int tail = 0;                 // iterations at or above P80
  double tail_excess = 0.0;     // E[output | tail] - E[output]
  double p80_minus_mean = 0.0;  // the contingency the drivers share
  std::vector<Driver> drivers;
};

// The share of the first n values of x at or below limit.
double share_at_most(const std::vector<float>& x, std::size_t n, double limit);

// An output's summary is taken in three steps, so that a run's outputs and
// columns can be spread over the threads of a pool:
// - what one copy of the statistics computes for output k: spread, figures
//   against base and target, histogram and risk lines (their correlations
//   left 0);
OutputSummary describe_output(const Statistics& st, const Model& model, const Samples& samples,
                              std::size_t k, const std::vector<double>& percentiles, int classes);
// - Spearman's correlation of every column with output k (NaN when either
//   never varied), the columns spread over the pool;
std::vector<float> rank_correlations(const StatisticsPool& pool, const Samples& samples,
                                     std::size_t k);
// The same of n values y with each of `columns` (n values each).
std::vector<float> rank_correlations(const StatisticsPool& pool, const float* y,
                                     const std::vector<const float*>& columns, std::size_t n);
// - from those, the tornado, the risks' correlations and the drivers.
void add_correlations(const Statistics& st, const Model& model, const Samples& samples,
                      std::size_t k, const std::vector<float>& rho, OutputSummary& o);

// Each risk's and each listed column's part in the contingency of `o`, whose
// output is y with Spearman correlations rho with every column.
void contingency_drivers(const Model& model, const Samples& s, const std::vector<float>& y,
                         const std::vector<float>& rho, OutputSummary& o);

}  // namespace velmsim
