// The plan of a schedule saved by a scheduling program, as that program
// dates it: the critical-path passes on the file's durations, every early
// start and finish turned back into an instant of its working-time calendar.
#pragma once

#include <optional>
#include <vector>

#include "host/velmsim/model/import_network.h"
#include "host/velmsim/plan/network.h"

namespace velmsim {

struct PlannedTask {
  std::size_t task = 0;  // in the file's tasks
  double start = 0, finish = 0;  // instants, minutes since 1970-01-01T00:00
};

// The network of an imported schedule, or an error located in its file
// naming the tasks of a cycle in order.
std::optional<Network> imported_network(const ScheduleFile& f, const ImportedNetwork& n,
                                        Diagnostics& diag);

// Each network task's early start and finish. An offset that falls where
// one working interval ends and the next begins is a start at the next
// one's beginning and a finish at the earlier one's end (a milestone, which
// does no work, takes its start there too).
std::vector<PlannedTask> planned_dates(const ScheduleFile& f, const ImportedNetwork& n,
                                       const Network& network);

}  // namespace velmsim
