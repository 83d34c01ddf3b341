// Two models run on common random numbers (iteration i of both draws from
// substream i) and the difference B - A of every output they share, taken
// iteration by iteration; its text, JSON and HTML forms.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "host/velmsim/engine.h"
#include "host/velmsim/model.h"
#include "host/velmsim/report.h"

namespace velmsim {

// Which [run] values the command line gave; those it did not are A's.
struct CompareSettings {
  bool iterations_given = false, seed_given = false, percentiles_given = false;
};

// One line for each of B's [run] values that differs from the one in force
// (A's or the command line's) and so is not used.
std::vector<std::string> unused_run_settings(const Model& a, const Model& b,
                                             const CompareSettings& given);

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

SharedDraws shared_draws(const Model& a, const Model& b);

struct DifferenceSummary {
  bool constant = false;  // B - A has the same value in every iteration
  float mean = 0, sd = 0, min = 0, max = 0;
  std::vector<std::pair<double, float>> percentiles;  // (percent, value)
  double b_greater = 0;  // share of iterations with B > A
  // Histogram between the 1st and 99th percentiles (none when constant),
  // the open classes below low and above high first and last.
  float low = 0, high = 0;
  std::vector<float> marks, tally;
};

struct OutputComparison {
  std::string name;
  OutputSummary a, b;  // each model's own summary of the output
  DifferenceSummary difference;
};

struct CompareSide {
  std::string path, sha256, name;
};

struct Comparison {
  std::string version;
  CompareSide a, b;
  std::string sampling_library, statistics_library;
  std::int32_t seed = 0;
  bool clock_seed = false;
  int threads = 1, iterations = 0, block = 0;
  std::vector<std::string> unused;  // B's [run] values not used
  SharedDraws shared;
  std::vector<OutputComparison> outputs;  // in A's order
  std::vector<std::string> only_a, only_b;
};

// The difference y_b - y_a of n iterations, each computed in double and
// rounded once to single precision, summarised with the statistics edition.
// `percentiles` are reported besides 5 and 95.
DifferenceSummary summarise_difference(const std::vector<float>& ya, const std::vector<float>& yb,
                                       int n, const std::vector<double>& percentiles,
                                       const StatisticsExports& statistics, int classes);

// Fills everything but the version, the paths, the libraries, the seed, the
// threads and the block, which the caller knows.
Comparison compare_runs(const Model& a, const RunResult& ra, const Model& b, const RunResult& rb,
                        const StatisticsExports& statistics, int classes);

std::string compare_text(const Comparison& c);
std::string compare_json(const Comparison& c);
std::string compare_html(const Comparison& c);

}  // namespace velmsim
