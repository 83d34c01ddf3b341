// The schedule figures of a task network's run: the plan's own finish beside
// the simulated one, and each task's criticality, cruciality and schedule
// sensitivity.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "host/velmsim/analysis/pool.h"
#include "host/velmsim/engine/samples.h"
#include "host/velmsim/model/model.h"
#include "host/velmsim/plan/network.h"

namespace velmsim {

struct TaskLine {
  std::string name;
  double criticality = 0;  // share of iterations in which it is critical
  float cruciality = 0;    // Spearman correlation of its duration (as used) with the finish; NaN
                           // when either never varies
  double sensitivity = 0;  // criticality x sd(duration) / sd(finish); NaN when the finish never varies
  float mean_finish = 0, p80_finish = 0;
  int clamped = 0;         // iterations in which its drawn duration was below 0
  bool maybe = false;      // it has a p: it may not exist
  double existed = 1;      // share of iterations in which it existed
};

struct NetworkSummary {
  std::optional<int> start;  // the first working day (a day number), when given
  Schedule schedule;
  // The plan: the critical-path finish of the planned durations, every task
  // present and no risk; and the share of iterations finishing by then.
  double plan_finish = 0, plan_confidence = 0;
  std::vector<TaskLine> tasks;  // most critical first
};

// The summary of the task network of `model`, whose first output is the
// finish, from the samples of a run.
NetworkSummary summarise_network(const StatisticsPool& pool, const Model& model,
                                 const Network& network, const Samples& samples);

}  // namespace velmsim
