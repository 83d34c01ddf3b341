// A schedule file converted: its plan as CSV, its network as a model file
// (each line written by toml++, so that names are quoted as TOML needs).
#include <sstream>

#include <toml++/toml.h>

#include "host/velmsim/model/calendar.h"
#include "host/velmsim/render/render.h"

namespace velmsim {

std::string schedule_plan_csv(const ScheduleFile& f, const std::vector<PlannedTask>& plan) {
  std::string t = "id,name,start,finish\n";
  for (const PlannedTask& p : plan) {
    const FileTask& task = f.tasks[p.task];
    t += csv_field(task.uid) + "," + csv_field(task.name) + "," + instant_text(p.start) + "," +
         instant_text(p.finish) + "\n";
  }
  return t;
}

namespace {

toml::date date_of(int day) {
  const std::string d = date_text(day);
  return toml::date(std::stoi(d.substr(0, 4)), std::stoi(d.substr(5, 2)), std::stoi(d.substr(8, 2)));
}

// "key = value" as toml++ writes a table of that one entry.
std::string line(const std::string& key, toml::node&& value) {
  toml::table one;
  one.insert(key, std::move(value));
  std::ostringstream out;
  out << toml::toml_formatter(one, toml::toml_formatter::default_flags &
                                       ~toml::format_flags::indentation);
  return out.str() + "\n";
}

}  // namespace

std::string schedule_model_toml(const ScheduleFile& f, const ImportedNetwork& n,
                                const std::string& name) {
  const TaskNetwork& net = n.network;
  std::string t = "# " + name + " converted by velmsim (" + f.program + "): " +
                  std::to_string(net.tasks.size()) + " tasks. Durations and lags are in working "
                  "days of " + std::to_string(static_cast<long>(f.minutes_per_day)) +
                  " minutes; replace a duration by a distribution to make it uncertain.\n";
  t += "[model]\n" + line("name", toml::value<std::string>(name));
  t += "\n[schedule]\n";
  const Schedule& s = net.schedule;
  if (s.start) t += line("start", toml::value<toml::date>(date_of(*s.start)));
  static const char* const kDays[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
  toml::array workdays, holidays;
  for (std::size_t d = 0; d < 7; ++d)
    if (s.workdays[d]) workdays.push_back(kDays[d]);
  for (int h : s.holidays) holidays.push_back(date_of(h));
  t += line("workdays", std::move(workdays));
  if (!holidays.empty()) t += line("holidays", std::move(holidays));
  t += "\n[tasks]\n";
  static const char* const kTypes[] = {"FS", "SS", "FF", "SF"};
  for (const Task& task : net.tasks) {
    toml::table entry;
    entry.insert("duration", task.planned);
    if (!task.after.empty()) {
      toml::array after;
      for (const Link& l : task.after) {
        if (l.type == LinkType::FS && l.lag == 0) {
          after.push_back(net.tasks[l.task].name);
          continue;
        }
        toml::table link;
        link.insert("task", net.tasks[l.task].name);
        link.insert("type", kTypes[static_cast<int>(l.type)]);
        if (l.lag != 0) link.insert("lag", l.lag);
        link.is_inline(true);
        after.push_back(std::move(link));
      }
      entry.insert("after", std::move(after));
    }
    if (task.not_before > 0) entry.insert("not_before", task.not_before);
    entry.is_inline(true);
    t += line(task.name, std::move(entry));
  }
  return t;
}

}  // namespace velmsim
