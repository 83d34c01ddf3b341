// A task network's logic and the critical-path passes of one iteration.
//
// Each task has a duration (0 for a task that does not exist in the
// iteration, which still passes its predecessors' logic to its successors)
// and links from its predecessors, each of a type and a lag in working days
// (negative lags allowed):
//   FS: ES >= EF(pred) + lag      SS: ES >= ES(pred) + lag
//   FF: EF >= EF(pred) + lag      SF: EF >= ES(pred) + lag
// The forward pass, in topological order, gives each task its early start
// ES >= 0 (or its earliest start, when constrained) and early finish
// EF = ES + d; the project's finish is the largest
// EF. The backward pass from that finish gives each task its late finish
// LF (at most the project's finish, and as each link to a successor allows),
// late start LS = LF - d and total float LS - ES. A task that exists is
// critical when its total float is at most kCriticalFloat.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "host/velmsim/model/model.h"

namespace velmsim {

// Total float at or below this (days) makes a task critical.
inline constexpr double kCriticalFloat = 1e-6;

class Network {
 public:
  // The network of tasks whose predecessors are `after[t]`; none when the
  // links make a cycle, whose tasks (each a predecessor of the next, the
  // last of the first) are then in `cycle`.
  static std::optional<Network> make(const std::vector<std::vector<Link>>& after,
                                     std::vector<std::size_t>& cycle);
  // The network of a model's tasks, with their earliest starts; none when
  // their links make a cycle, whose tasks are then in `cycle` from the one
  // written first.
  static std::optional<Network> of_tasks(const std::vector<Task>& tasks,
                                         std::vector<std::size_t>& cycle);

  std::size_t tasks() const { return tasks_; }
  // The tasks in topological order: each after its predecessors.
  const std::vector<std::size_t>& order() const { return order_; }

  // The earliest start of each task, in days (a date constraint); 0 for all
  // unless set.
  void set_earliest(std::vector<double> earliest) { earliest_ = std::move(earliest); }

  // One iteration's times of every task, in days from the start.
  struct Times {
    std::vector<double> start, finish, total_float;
    std::vector<std::uint8_t> critical;
    double project_finish = 0.0;
  };

  // The forward and backward passes for the durations d (0 for a task that
  // does not exist, which is then never critical: exists[t] == 0).
  void pass(const double* d, const std::uint8_t* exists, Times& times) const;

 private:
  std::size_t tasks_ = 0;
  std::vector<std::size_t> order_;  // topological: each task after its predecessors
  // The links into each task (to its predecessors) and out of it (to its
  // successors, `task` then being the successor), flat, by task.
  std::vector<std::size_t> in_begin_, out_begin_;
  std::vector<Link> in_, out_;
  std::vector<double> earliest_;  // empty: 0 for every task
};

// The message for a cycle of `tasks`, as of_tasks gives it: "the tasks'
// links make a cycle: 'a' -> 'b' -> 'a' (each comes after the one before
// it)".
std::string cycle_message(const std::vector<Task>& tasks, const std::vector<std::size_t>& cycle);

}  // namespace velmsim
