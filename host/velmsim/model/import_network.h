// The task network of a schedule saved by a scheduling program: the tasks
// that do work (summary tasks gather others and are not in it), the links
// (a summary task's passed to the tasks under it), planned durations and
// lags in working days of the file's length, and the calendar by days.
#pragma once

#include <vector>

#include "host/velmsim/model/diagnostics.h"
#include "host/velmsim/model/model.h"
#include "host/velmsim/model/schedule_file.h"

namespace velmsim {

struct ImportedNetwork {
  TaskNetwork network;             // tasks with constant planned durations
  std::vector<std::size_t> from;   // each network task's index in the file's tasks
};

// The network of `f`. What the plan does not model (another kind of
// constraint, progress, elapsed time, a task's own calendar) is noted per
// task as a warning located in the file (`file` of `diag`), with the
// simplification the run makes.
ImportedNetwork network_of(const ScheduleFile& f, int file, Diagnostics& diag);

// The calendar of whole working days of a working-time calendar, from the
// first day of `start` through `days` days.
Schedule schedule_of(const WorkTime& calendar, double start, int days);

}  // namespace velmsim
