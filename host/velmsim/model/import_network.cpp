#include "host/velmsim/model/import_network.h"

#include <algorithm>
#include <cmath>

#include "host/velmsim/model/calendar.h"

namespace velmsim {

namespace {

// The tasks under each summary task (down to those that do work): the
// tasks after it in file order with a deeper outline level.
std::vector<std::vector<std::size_t>> leaves_under(const ScheduleFile& f) {
  std::vector<std::vector<std::size_t>> under(f.tasks.size());
  for (std::size_t s = 0; s < f.tasks.size(); ++s) {
    if (!f.tasks[s].summary) continue;
    for (std::size_t t = s + 1;
         t < f.tasks.size() && f.tasks[t].outline_level > f.tasks[s].outline_level; ++t)
      if (!f.tasks[t].summary) under[s].push_back(t);
  }
  return under;
}

}  // namespace

Schedule schedule_of(const WorkTime& calendar, double start, int days) {
  Schedule s;
  const int first = static_cast<int>(std::floor(start / 1440));
  s.start = first;
  for (std::size_t d = 0; d < 7; ++d) s.workdays[d] = !calendar.week[d].empty();
  for (const auto& [day, shifts] : calendar.days) {
    const bool usual = !calendar.week[static_cast<std::size_t>(weekday(day))].empty();
    if (day >= first && day <= first + days && shifts.empty() && usual) s.holidays.push_back(day);
  }
  return s;
}

ImportedNetwork network_of(const ScheduleFile& f, int file, Diagnostics& diag) {
  ImportedNetwork n;
  const double mpd = f.minutes_per_day;
  std::vector<std::size_t> index(f.tasks.size(), SIZE_MAX);  // file task -> network task
  auto note = [&](const FileTask& t, const std::string& what) {
    diag.warning_in(file, t.at, "task " + t.uid + " ('" + t.name + "'): " + what, t.where);
  };
  auto note_link = [&](const FileLink& l, const std::string& what) {
    const FileTask& t = f.tasks[l.to];
    diag.warning_in(file, l.at, "task " + t.uid + " ('" + t.name + "'): " + what, l.where);
  };
  for (std::size_t k = 0; k < f.tasks.size(); ++k) {
    const FileTask& ft = f.tasks[k];
    if (ft.summary) continue;
    Task t;
    t.name = ft.uid + " " + ft.name;
    t.uid = ft.uid;
    t.id = ft.id;
    t.title = ft.name;
    t.wbs = ft.wbs;
    t.at = {};
    t.duration.value = static_cast<float>(ft.work / mpd);
    t.planned = ft.work / mpd;
    if (ft.constraint == Constraint::start_no_earlier || ft.constraint == Constraint::must_start_on) {
      if (ft.constraint_date)
        t.not_before = std::max(0.0, f.calendar.between(f.start, *ft.constraint_date) / mpd);
      if (ft.constraint == Constraint::must_start_on)
        note(ft, "'must start on' is planned as 'start no earlier than' the same date");
    } else if (ft.constraint == Constraint::other) {
      note(ft, "the constraint '" + ft.constraint_text + "' is not modelled; the task is planned "
               "as soon as possible");
    }
    if (ft.progressed)
      note(ft, "progress is not modelled: its remaining duration is planned from the start");
    if (ft.elapsed) note(ft, "an elapsed duration is planned in working time");
    if (ft.manual) note(ft, "scheduled by hand in the file; velmsim plans it by its links");
    if (ft.levelled) note(ft, "its delay by resource levelling is not modelled");
    if (ft.own_calendar) note(ft, "its own calendar is not modelled: it works the project's");
    index[k] = n.network.tasks.size();
    n.network.tasks.push_back(std::move(t));
    n.from.push_back(k);
  }
  const auto under = leaves_under(f);
  auto ends = [&](std::size_t k) {
    return f.tasks[k].summary ? under[k] : std::vector<std::size_t>{k};
  };
  for (const FileLink& l : f.links) {
    if (l.elapsed) note_link(l, "an elapsed lag is planned in working time");
    // A summary starts with the earliest task under it; the network's
    // passes take the latest of a task's predecessors, so a link from a
    // summary's start waits for every task under it to start.
    if (f.tasks[l.from].summary && (l.type == LinkType::SS || l.type == LinkType::SF))
      note_link(l, "a link from the start of summary task " + f.tasks[l.from].uid +
                       " is planned from the start of each task under it");
    for (std::size_t to : ends(l.to))
      for (std::size_t from : ends(l.from)) {
        if (from == to) continue;
        Task& t = n.network.tasks[index[to]];
        t.after.push_back({index[from], l.type, l.lag / mpd});
        t.after_at.push_back({});
      }
  }
  const int span = static_cast<int>(std::min<double>(WorkTime::kSearchDays, 3660));
  n.network.schedule = schedule_of(f.calendar, f.start, span);
  return n;
}

}  // namespace velmsim
