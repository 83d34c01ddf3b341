// Two models run on common random numbers (iteration i of both draws from
// substream i) and the difference B - A of every output they share, taken
// iteration by iteration.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "host/velmsim/analysis/pool.h"
#include "host/velmsim/analysis/report.h"
#include "host/velmsim/analysis/summary.h"
#include "host/velmsim/engine/run.h"
#include "host/velmsim/plan/plan.h"

namespace velmsim {

// How the inputs of the two models share random numbers. Inputs are matched
// by position: each iteration draws them in file order from its substream,
// so an input starts where the inputs before it left the stream.
struct SharedDraws {
  // Inputs declared identically (distribution and single-precision
  // parameters; names may differ) with every input before them taking the
  // same uniforms in both models: the same values in every iteration.
  std::vector<std::string> same_values;
  // Inputs that start at the same place in the stream but are declared
  // differently: same distribution, other parameters.
  std::vector<std::string> same_start;
  // Inputs whose draws are paired but that the two models' [correlation]
  // reorder differently within each block: not paired iteration by
  // iteration.
  std::vector<std::string> reordered;
  // The rest, A's and B's: their draws are not paired.
  std::vector<std::string> unmatched_a, unmatched_b;
};

SharedDraws shared_draws(const Plan& a, const Plan& b);

// The difference y_b - y_a of n iterations, each computed in double and
// rounded once to single precision.
struct DifferenceSummary {
  // Iterations in which B - A is beyond single precision (A and B near the
  // largest floats, of opposite signs): when there are any, the difference
  // has no statistics, no percentiles and no histogram.
  int overflow = 0;
  bool constant = false;  // B - A has the same value in every iteration
  float mean = 0, sd = 0, min = 0, max = 0;
  std::vector<std::pair<double, float>> percentiles;  // (percent, value)
  double b_greater = 0;  // share of iterations with B > A
  CentralHistogram histogram;  // none when constant
};

DifferenceSummary summarise_difference(const Statistics& st, const std::vector<float>& ya,
                                       const std::vector<float>& yb, int n,
                                       const std::vector<double>& percentiles, int classes);

// One figure of both models and B's less A's.
struct SideBySide {
  const char* label;
  float a, b;
  double difference;
};

struct OutputComparison {
  std::string name, currency;
  std::string formula_a, formula_b;
  Spread a, b;  // each model's own spread of the output
  std::array<SideBySide, 3> rows;  // mean, P50, P80
  DifferenceSummary difference;
};

struct CompareSide {
  std::string path, sha256, name;
};

struct Comparison {
  std::string version;
  CompareSide a, b;
  Libraries libraries;
  std::int32_t seed = 0;
  bool clock_seed = false;
  int threads = 1, iterations = 0, block = 0;
  std::vector<std::string> unused;  // B's [run] values not used
  SharedDraws shared;
  std::vector<OutputComparison> outputs;  // in A's order
  std::vector<std::string> only_a, only_b;
};

Comparison compare_runs(const ComparePlans& plans, const RunResult& ra, const RunResult& rb,
                        const StatisticsPool& pool, const Libraries& libraries);

}  // namespace velmsim
