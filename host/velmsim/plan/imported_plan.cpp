#include "host/velmsim/plan/imported_plan.h"

#include <cmath>
#include <cstdint>

namespace velmsim {

std::optional<Network> imported_network(const ScheduleFile& f, const ImportedNetwork& n,
                                        Diagnostics& diag) {
  std::vector<std::size_t> cycle;
  auto network = Network::of_tasks(n.network.tasks, cycle);
  if (!network) {
    const FileTask& first = f.tasks[n.from[cycle.front()]];
    diag.error_in(f.file, first.at, cycle_message(n.network.tasks, cycle), first.where);
  }
  return network;
}

std::vector<PlannedTask> planned_dates(const ScheduleFile& f, const ImportedNetwork& n,
                                       const Network& network) {
  const std::size_t count = n.network.tasks.size();
  std::vector<double> d(count);
  for (std::size_t t = 0; t < count; ++t) d[t] = n.network.tasks[t].planned;
  Network::Times x;
  network.pass(d.data(), nullptr, x);
  // Whether each task's start and finish take the end of working time (a
  // finish: 17:00) rather than the beginning of the next (a start: 08:00 the
  // next working day), as the scheduling program shows an instant that falls
  // between two working intervals. Work starts at the beginning and ends at
  // the end; a time set by a link takes the form of the predecessor's time
  // it comes from, or the end when a positive lag is worked after it; a
  // finish is set by a link only when the start is not, and a milestone,
  // which does no work, takes the form of whatever sets it.
  std::vector<std::uint8_t> late_start(count, 0), late_finish(count, 1);
  for (const std::size_t t : network.order()) {
    const Task& task = n.network.tasks[t];
    bool start_set = task.not_before > 0 && std::fabs(task.not_before - x.start[t]) < 1e-9;
    std::optional<bool> finish_form;
    for (const Link& l : task.after) {
      const bool from_start = l.type == LinkType::SS || l.type == LinkType::SF;
      const bool to_start = l.type == LinkType::FS || l.type == LinkType::SS;
      const double set = (from_start ? x.start[l.task] : x.finish[l.task]) + l.lag;
      if (std::fabs(set - (to_start ? x.start[t] : x.finish[t])) >= 1e-9) continue;
      const bool form = l.lag > 0 || (from_start ? late_start[l.task] : late_finish[l.task]);
      if (to_start && !start_set) {
        start_set = true;
        if (d[t] == 0) late_start[t] = late_finish[t] = form;
      } else if (!to_start && !finish_form) {
        finish_form = form;
      }
    }
    if (d[t] > 0) {
      late_start[t] = 0;
      late_finish[t] = !start_set && finish_form ? *finish_form : 1;
    } else if (!start_set) {
      late_start[t] = late_finish[t] = finish_form.value_or(false);
    }
  }
  std::vector<PlannedTask> out;
  const double mpd = f.minutes_per_day;
  for (std::size_t t = 0; t < count; ++t)
    out.push_back({n.from[t], f.calendar.after(f.start, x.start[t] * mpd, late_start[t] != 0),
                   f.calendar.after(f.start, x.finish[t] * mpd, late_finish[t] != 0)});
  return out;
}

}  // namespace velmsim
