#include "host/velmsim/plan/network.h"

#include <algorithm>

namespace velmsim {

std::optional<Network> Network::make(const std::vector<std::vector<Link>>& after,
                                     std::vector<std::size_t>& cycle) {
  Network n;
  const std::size_t count = after.size();
  n.tasks_ = count;
  // Successor lists, in task order and within a task in link order.
  std::vector<std::vector<Link>> before(count);
  for (std::size_t t = 0; t < count; ++t)
    for (const Link& l : after[t]) before[l.task].push_back({t, l.type, l.lag});

  // Depth-first search from every task in file order, finishing each task
  // after its predecessors: their finishing order is a topological order. A
  // predecessor met while it is still on the path closes a cycle.
  enum class Mark : std::uint8_t { none, on_path, done };
  std::vector<Mark> mark(count, Mark::none);
  std::vector<std::pair<std::size_t, std::size_t>> path;  // (task, next link to follow)
  for (std::size_t root = 0; root < count; ++root) {
    if (mark[root] != Mark::none) continue;
    path.push_back({root, 0});
    mark[root] = Mark::on_path;
    while (!path.empty()) {
      auto& [t, next] = path.back();
      if (next < after[t].size()) {
        const std::size_t p = after[t][next++].task;
        if (mark[p] == Mark::on_path) {
          // The path from p to t, read backwards, runs predecessor first.
          cycle.clear();
          for (auto it = path.rbegin(); it != path.rend(); ++it) {
            cycle.push_back(it->first);
            if (it->first == p) break;
          }
          return std::nullopt;
        }
        if (mark[p] == Mark::none) {
          mark[p] = Mark::on_path;
          path.push_back({p, 0});
        }
        continue;
      }
      mark[t] = Mark::done;
      n.order_.push_back(t);
      path.pop_back();
    }
  }
  for (std::size_t t = 0; t < count; ++t) {
    n.in_begin_.push_back(n.in_.size());
    n.in_.insert(n.in_.end(), after[t].begin(), after[t].end());
    n.out_begin_.push_back(n.out_.size());
    n.out_.insert(n.out_.end(), before[t].begin(), before[t].end());
  }
  n.in_begin_.push_back(n.in_.size());
  n.out_begin_.push_back(n.out_.size());
  return n;
}

std::optional<Network> Network::of_tasks(const std::vector<Task>& tasks,
                                         std::vector<std::size_t>& cycle) {
  std::vector<std::vector<Link>> after;
  for (const Task& t : tasks) after.push_back(t.after);
  auto n = make(after, cycle);
  if (!n) {
    std::rotate(cycle.begin(), std::min_element(cycle.begin(), cycle.end()), cycle.end());
    return n;
  }
  if (std::any_of(tasks.begin(), tasks.end(), [](const Task& t) { return t.not_before > 0; })) {
    std::vector<double> earliest;
    for (const Task& t : tasks) earliest.push_back(t.not_before);
    n->set_earliest(std::move(earliest));
  }
  return n;
}

std::string cycle_message(const std::vector<Task>& tasks, const std::vector<std::size_t>& cycle) {
  std::string path;
  for (std::size_t t : cycle) path += "'" + tasks[t].name + "' -> ";
  return "the tasks' links make a cycle: " + path + "'" + tasks[cycle.front()].name +
         "' (each comes after the one before it)";
}

void Network::pass(const double* d, const std::uint8_t* exists, Times& x) const {
  x.start.resize(tasks_);
  x.finish.resize(tasks_);
  x.total_float.resize(tasks_);
  x.critical.resize(tasks_);
  double end = 0.0;
  for (const std::size_t t : order_) {
    double es = earliest_.empty() ? 0.0 : earliest_[t];
    for (std::size_t k = in_begin_[t]; k < in_begin_[t + 1]; ++k) {
      const Link& l = in_[k];
      switch (l.type) {
        case LinkType::FS: es = std::max(es, x.finish[l.task] + l.lag); break;
        case LinkType::SS: es = std::max(es, x.start[l.task] + l.lag); break;
        case LinkType::FF: es = std::max(es, x.finish[l.task] + l.lag - d[t]); break;
        case LinkType::SF: es = std::max(es, x.start[l.task] + l.lag - d[t]); break;
      }
    }
    x.start[t] = es;
    x.finish[t] = es + d[t];
    end = std::max(end, x.finish[t]);
  }
  x.project_finish = end;
  // Backward, in reverse topological order: every successor's late times
  // are known. total_float holds the late finish until the task is done.
  std::vector<double>& late_finish = x.total_float;
  for (auto it = order_.rbegin(); it != order_.rend(); ++it) {
    const std::size_t t = *it;
    double lf = end;
    for (std::size_t k = out_begin_[t]; k < out_begin_[t + 1]; ++k) {
      const Link& l = out_[k];
      const double succ_lf = late_finish[l.task], succ_ls = succ_lf - d[l.task];
      switch (l.type) {
        case LinkType::FS: lf = std::min(lf, succ_ls - l.lag); break;
        case LinkType::SS: lf = std::min(lf, succ_ls - l.lag + d[t]); break;
        case LinkType::FF: lf = std::min(lf, succ_lf - l.lag); break;
        case LinkType::SF: lf = std::min(lf, succ_lf - l.lag + d[t]); break;
      }
    }
    late_finish[t] = lf;
  }
  for (std::size_t t = 0; t < tasks_; ++t) {
    x.total_float[t] = late_finish[t] - x.finish[t];  // LS - ES = LF - EF
    x.critical[t] = (exists == nullptr || exists[t] != 0) && x.total_float[t] <= kCriticalFloat;
  }
}

}  // namespace velmsim
