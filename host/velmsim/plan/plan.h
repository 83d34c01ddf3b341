// The plan of a run: every setting decided once, from the command line's
// overrides, the model's [run] and the defaults, in that order; the seed
// (a clock seed read here); the checked formulas and correlation matrix.
// The engine runs a plan; the reports tell what it was.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "host/velmsim/model/diagnostics.h"
#include "host/velmsim/model/model.h"
#include "host/velmsim/plan/correlation.h"
#include "host/velmsim/plan/formula.h"
#include "host/velmsim/plan/network.h"

namespace velmsim {

// The edition that samples.
enum class Sampler { threaded, stats };

// The most values (or columns, or percentiles) one call of a statistics
// export takes: its counts are 16-bit.
inline constexpr std::size_t kMaxStatisticsCount = 32767;

// The percentiles the summaries ask for besides those listed: the 1st, 50th,
// 80th and 99th and the 99 points of the S-curve.
inline constexpr std::size_t kExtraPercentiles = 103;

// What is wrong with a percentile for the statistics, which take it as a
// single-precision proportion: "" when nothing.
std::string percentile_problem(double percent);

// What the command line (or a caller) sets; what it leaves out comes from
// the model, then from the defaults.
struct Overrides {
  std::optional<int> iterations, block, classes;
  std::optional<int> tornado;        // 0: all
  std::optional<std::int32_t> seed;  // 0: a seed from the clock
  std::optional<double> tolerance, precision;
  std::vector<double> percentiles;  // empty: the model's
  int threads = 1;
  bool one_stream = false;
  Sampler sampler = Sampler::threaded;
  bool repair = false;  // use the nearest correlation matrix to one that cannot hold
  int listed_tasks = 25;  // the tasks the text report lists, most critical first; 0: all
};

struct Defaults {
  static constexpr int iterations = 10000;
  static constexpr int block = 500;
  static constexpr int classes = 12;
  static constexpr int tornado = 20;
  static constexpr std::int32_t seed = 12345;
  static constexpr double tolerance = 0.01;
  static const std::vector<double> percentiles;  // 10, 50, 80, 90
};

struct Plan {
  const Model* model = nullptr;  // the plan's model, which outlives it
  int iterations = Defaults::iterations;  // the limit
  int block = Defaults::block;            // iterations drawn at a time
  int classes = Defaults::classes;        // histogram classes
  // The bars of each output's tornado and drivers chart, and the rows the
  // text report lists of each, strongest first; 0: all. The JSON lists all.
  int tornado = Defaults::tornado;
  std::int32_t seed = Defaults::seed;
  bool clock_seed = false;  // the seed was read from the clock
  double tolerance = Defaults::tolerance;
  // When given, a run stops only once every listed percentile's 95 %
  // interval is narrower than this share of its output's sd.
  std::optional<double> precision;
  std::vector<double> percentiles;  // as asked for
  int threads = 1;
  bool one_stream = false;  // one stream seeded once, in one thread
  Sampler sampler = Sampler::threaded;
  FormulaProgram formulas;
  CorrelationPlan correlation;
  std::optional<Network> network;  // the task network's logic, when the model has tasks
  int listed_tasks = 25;           // as Overrides
};

// The plan for `model`. Checks what only a run needs (the formulas, the
// correlation matrix, the sampling edition's samplers) and adds problems to
// `diagnostics`; the plan may be run only when the model and it have none.
Plan make_plan(const Model& model, const Overrides& overrides, Diagnostics& diagnostics);

// The seed the library takes from the clock: the local time as hhmmss + 1.
std::int32_t clock_seed();

// The plans of two models compared on common random numbers: A's settings
// (or the command line's) apply to both, and both run to the full count. The
// values B's [run] gives that differ from A's, and so are not used, are told
// in `unused`, one line each (none for a setting the command line gives).
struct ComparePlans {
  Plan a, b;
  std::vector<std::string> unused;
};
ComparePlans make_compare_plans(const Model& a, const Model& b, const Overrides& overrides,
                                Diagnostics& diagnostics_a, Diagnostics& diagnostics_b);

}  // namespace velmsim
