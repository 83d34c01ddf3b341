#include "host/velmsim/plan/imported_plan.h"

#include <algorithm>
#include <string>

namespace velmsim {

std::optional<Network> imported_network(const ScheduleFile& f, const ImportedNetwork& n,
                                        Diagnostics& diag) {
  std::vector<std::vector<Link>> after;
  for (const Task& t : n.network.tasks) after.push_back(t.after);
  std::vector<std::size_t> cycle;
  auto network = Network::make(after, cycle);
  if (!network) {
    std::rotate(cycle.begin(), std::min_element(cycle.begin(), cycle.end()), cycle.end());
    std::string path;
    for (std::size_t t : cycle) path += "'" + n.network.tasks[t].name + "' -> ";
    const FileTask& first = f.tasks[n.from[cycle.front()]];
    diag.error_in(f.file, first.at, "the tasks' links make a cycle: " + path + "'" +
                                        n.network.tasks[cycle.front()].name +
                                        "' (each comes after the one before it)", first.where);
    return std::nullopt;
  }
  std::vector<double> earliest;
  for (const Task& t : n.network.tasks) earliest.push_back(t.not_before);
  network->set_earliest(std::move(earliest));
  return network;
}

std::vector<PlannedTask> planned_dates(const ScheduleFile& f, const ImportedNetwork& n,
                                       const Network& network) {
  const std::size_t count = n.network.tasks.size();
  std::vector<double> d(count);
  for (std::size_t t = 0; t < count; ++t) d[t] = n.network.tasks[t].planned;
  Network::Times times;
  network.pass(d.data(), nullptr, times);
  std::vector<PlannedTask> out;
  const double mpd = f.minutes_per_day;
  for (std::size_t t = 0; t < count; ++t) {
    const bool idle = d[t] == 0;
    out.push_back({n.from[t], f.calendar.after(f.start, times.start[t] * mpd, idle),
                   f.calendar.after(f.start, times.finish[t] * mpd, true)});
  }
  return out;
}

}  // namespace velmsim
