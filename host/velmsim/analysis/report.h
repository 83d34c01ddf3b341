// The result of a run as its reports show it: what was run, with what, and
// the summary of every output. The renderers read this and compute nothing.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "host/velmsim/analysis/convergence.h"
#include "host/velmsim/analysis/network_summary.h"
#include "host/velmsim/analysis/pool.h"
#include "host/velmsim/analysis/summary.h"
#include "host/velmsim/engine/exports.h"
#include "host/velmsim/engine/run.h"
#include "host/velmsim/model/matrix.h"
#include "host/velmsim/plan/plan.h"

namespace velmsim {

// velmsim's version.
const char* velmsim_version();

// The SHA-256 of a text, in hexadecimal.
std::string sha256_hex(const std::string& data);

// The libraries a run used.
struct Libraries {
  std::string sampling, sampling_edition, statistics;
  static Libraries of(const Editions& editions);
};

// A correlated model's target rank correlations beside those achieved.
struct CorrelationSummary {
  std::vector<std::string> names;  // the correlated variables, in draw order
  bool tasks = false;              // whether some are tasks (their durations as drawn)
  SquareMatrix target;             // the matrix the run used
  SquareMatrix given;              // as written (differs only after a repair)
  bool repaired = false;
  double largest_change = 0;
  // Spearman correlation (VELMSPEAR) over every iteration, row by row; NaN
  // for a column that never varied.
  std::vector<float> achieved;
};

// A draw whose parameters were solved for, or that is truncated, with the
// redraws its truncation took over the run's iterations.
struct DrawLine {
  DrawNote note;
  std::uint64_t redraws = 0;
};

struct Report {
  std::string version, model_path, model_sha256, model_name, currency;
  std::optional<double> base, target;
  std::vector<Constant> constants;  // the model's [constants]
  Libraries libraries;
  std::int32_t seed = 0;
  bool clock_seed = false, one_stream = false;
  int threads = 1, iterations = 0, limit = 0, block = 0;
  double tolerance = 0;
  std::optional<double> precision;
  bool converged = false;
  std::vector<Naming> columns;  // the input columns in draw order
  std::vector<DrawLine> draws;
  std::optional<CorrelationSummary> correlation;
  std::optional<NetworkSummary> network;
  int listed_tasks = 25;  // the tasks the text report lists; 0: all
  int tornado = 20;       // the bars of each tornado and drivers chart; 0: all
  std::vector<OutputSummary> outputs;
  std::vector<Checkpoint> trace;
};

// The report of a run of `plan` that ended without a failure.
Report analyse(const Plan& plan, const RunResult& run, const std::vector<Checkpoint>& trace,
               const StatisticsPool& pool, const Libraries& libraries);

}  // namespace velmsim
