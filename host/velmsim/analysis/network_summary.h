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

// A risk of the register ranked by elimination: the run's iterations again,
// on the same draws, with the risk not applied.
struct RiskElimination {
  std::string name;
  float p = 0;
  double rate = 0;                        // observed share of iterations in which it occurred
  float p80_finish = 0, p80_cost = 0;     // without it
  double finish_fall = 0, cost_fall = 0;  // P80 with it less P80 without (cost: NaN without costs)
  std::optional<double> below_target;     // P(finish <= target) without it
};

// The joint confidence of cost and finish: P(cost <= budget and finish <=
// target), and the frontier at the schedule's confidence: for finishes from
// P50 to P95, the smallest budget that meets the confidence together with
// that finish (NaN where no budget does).
struct JointConfidence {
  std::optional<double> jcl;  // with a target and a budget
  double confidence = 0;
  std::vector<std::pair<float, float>> frontier;  // (finish, budget)
  // (finish, cost) of every iteration, or of every k-th when there are more
  // than kScatterPoints (iterations are independent: a systematic sample is
  // a faithful one).
  std::vector<std::pair<float, float>> points;
};
inline constexpr std::size_t kScatterPoints = 4000;

// Cumulative cost at the end of each period (calendar months from the
// start; working weeks when the P90 finish comes within three months, or
// blocks of 20 working days without a start date) at P10, P50 and P90. A
// task's cost accrues evenly over its working span; a risk's at the start of
// the first task it names.
struct CashFlow {
  bool weeks = false;
  const char* period = "month";  // "week", "month", "year" or "block of working days"
  std::vector<double> ends;    // each period's end, in working days from the start
  std::vector<int> end_dates;  // and as a day number, with a start
  std::vector<float> p10, p50, p90;
};

struct NetworkSummary {
  std::optional<int> start;  // the first working day (a day number), when given
  Schedule schedule;
  std::string file;  // the scheduling program's file it was read from, if any
  // The plan: the critical-path finish of the planned durations, every task
  // present and no risk; and the share of iterations finishing by then.
  double plan_finish = 0, plan_confidence = 0;
  std::vector<TaskLine> tasks;  // most critical first
  float p80_finish = 0, p80_cost = 0;  // with every risk
  std::optional<double> below_target;  // P(finish <= target)
  std::vector<RiskElimination> risks;  // largest fall in P80 finish first
  std::optional<JointConfidence> joint;  // when the network has costs
  std::optional<CashFlow> cash;          // likewise
};

// The summary of the task network of `model`, whose first output is the
// finish, from the samples of a run.
NetworkSummary summarise_network(const StatisticsPool& pool, const Model& model,
                                 const Network& network, const Samples& samples);

}  // namespace velmsim
