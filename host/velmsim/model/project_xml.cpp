// The project XML interchange format, read with pugixml: the project's start,
// its minutes per day and calendar, and each task with its links.
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>

#include <pugixml.hpp>

#include "host/velmsim/model/calendar.h"
#include "host/velmsim/model/schedule_file.h"

namespace velmsim {

namespace {

// Line and column of a byte offset.
class Lines {
 public:
  explicit Lines(const std::string& text) {
    starts_.push_back(0);
    for (std::size_t i = 0; i < text.size(); ++i)
      if (text[i] == '\n') starts_.push_back(i + 1);
  }
  Position at(std::ptrdiff_t offset) const {
    const auto o = static_cast<std::size_t>(std::max<std::ptrdiff_t>(offset, 0));
    const auto it = std::upper_bound(starts_.begin(), starts_.end(), o) - 1;
    return {static_cast<int>(it - starts_.begin()) + 1, static_cast<int>(o - *it) + 1};
  }

 private:
  std::vector<std::size_t> starts_;
};

class Reader {
 public:
  Reader(const std::string& text, int file, Diagnostics& diag)
      : lines_(text), file_(file), diag_(diag) {}

  // An element's place: its '<' (pugixml tells where its name starts).
  Position at(const pugi::xml_node& n) const { return lines_.at(n.offset_debug() - 1); }
  void error(const pugi::xml_node& n, const std::string& message) {
    diag_.error_in(file_, at(n), message);
  }
  void note(const pugi::xml_node& n, const std::string& message) {
    diag_.warning_in(file_, at(n), message);
  }

  // The text of child `name`, "" when absent.
  static std::string text(const pugi::xml_node& n, const char* name) {
    return n.child(name).text().get();
  }

  std::optional<double> number(const pugi::xml_node& n, const char* name) {
    const pugi::xml_node c = n.child(name);
    if (!c) return std::nullopt;
    const std::string t = c.text().get();
    char* end = nullptr;
    errno = 0;
    const double x = std::strtod(t.c_str(), &end);
    if (t.empty() || *end != '\0' || errno != 0 || !std::isfinite(x)) {
      error(c, std::string("<") + name + "> must be a number, not '" + t + "'");
      return std::nullopt;
    }
    return x;
  }

  // An instant written 2027-03-01T08:00:00.
  std::optional<double> instant_of(const pugi::xml_node& n, const char* name) {
    const pugi::xml_node c = n.child(name);
    if (!c) return std::nullopt;
    const std::string t = c.text().get();
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0, used = 0;
    if (std::sscanf(t.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d%n", &y, &mo, &d, &h, &mi, &s, &used) != 6 ||
        static_cast<std::size_t>(used) != t.size() || mo < 1 || mo > 12 || d < 1 || d > 31 ||
        h > 24 || mi > 59 || s > 59) {
      error(c, std::string("<") + name + "> must be a date and time such as 2027-03-01T08:00:00, "
               "not '" + t + "'");
      return std::nullopt;
    }
    return instant(day_number(y, static_cast<unsigned>(mo), static_cast<unsigned>(d)),
                   h * 60 + mi) + s / 60.0;
  }

  // A duration written PT40H0M0S (days, hours, minutes and seconds), in
  // minutes.
  std::optional<double> duration_of(const pugi::xml_node& n, const char* name) {
    const pugi::xml_node c = n.child(name);
    if (!c) return std::nullopt;
    const std::string t = c.text().get();
    double minutes = 0;
    bool ok = t.size() > 1 && t[0] == 'P', in_time = false;
    const char* p = t.c_str() + 1;
    while (ok && *p != '\0') {
      if (*p == 'T' && !in_time) {
        in_time = true;
        ++p;
        continue;
      }
      char* end = nullptr;
      const double x = std::strtod(p, &end);
      if (end == p || !std::isfinite(x) || x < 0) {
        ok = false;
        break;
      }
      const char unit = *end;
      if (unit == 'D' && !in_time) minutes += x * 24 * 60;
      else if (unit == 'H' && in_time) minutes += x * 60;
      else if (unit == 'M' && in_time) minutes += x;
      else if (unit == 'S' && in_time) minutes += x / 60;
      else ok = false;
      p = end + 1;
    }
    if (!ok) {
      error(c, std::string("<") + name + "> must be a duration such as PT40H0M0S, not '" + t + "'");
      return std::nullopt;
    }
    return minutes;
  }

 private:
  Lines lines_;
  int file_;
  Diagnostics& diag_;
};

// Monday first, from the format's day types (1 Sunday to 7 Saturday).
int weekday_of_type(int type) { return (type + 5) % 7; }

// Minutes of the day of a time written 08:00:00; 00:00:00 as an interval's
// end is midnight at its close.
int minute_of(const std::string& t, bool end) {
  int h = 0, m = 0, s = 0;
  if (std::sscanf(t.c_str(), "%d:%d:%d", &h, &m, &s) < 2) return -1;
  const int minute = h * 60 + m;
  return end && minute == 0 ? 24 * 60 : minute;
}

WorkTime::Shifts shifts_of(const pugi::xml_node& day) {
  WorkTime::Shifts s;
  for (pugi::xml_node w : day.child("WorkingTimes").children("WorkingTime")) {
    const int a = minute_of(Reader::text(w, "FromTime"), false);
    const int b = minute_of(Reader::text(w, "ToTime"), true);
    if (a >= 0 && b > a) s.emplace_back(a, b);
  }
  std::sort(s.begin(), s.end());
  return s;
}

// The calendar with `uid`, its base calendar's week and exceptions first.
void read_calendar(Reader& r, const pugi::xml_node& calendars, const std::string& uid,
                   WorkTime& into, int depth = 0) {
  pugi::xml_node cal;
  for (pugi::xml_node c : calendars.children("Calendar"))
    if (Reader::text(c, "UID") == uid) cal = c;
  if (!cal || depth > 8) return;
  const std::string base = Reader::text(cal, "BaseCalendarUID");
  if (!base.empty() && base != "-1" && base != uid) read_calendar(r, calendars, base, into, depth + 1);
  // Days of exceptions written at most: a calendar of a century of holidays
  // and working Saturdays, and far fewer than a hostile file could ask for.
  constexpr long kMaxExceptionDays = 1'000'000;
  long written = 0;
  auto each_day = [&](const pugi::xml_node& period, const WorkTime::Shifts& s) {
    const auto from = r.instant_of(period, "FromDate"), to = r.instant_of(period, "ToDate");
    if (!from || !to) return;
    const int first = static_cast<int>(std::floor(*from / 1440));
    const int last = static_cast<int>(std::floor(*to / 1440));
    if (last - first > WorkTime::kSearchDays) {
      r.error(period, "an exception of the calendar spans more than 50 years");
      return;
    }
    if (written > kMaxExceptionDays) return;
    written += last - first + 1;
    if (written > kMaxExceptionDays) {
      r.error(period, "the calendar's exceptions cover more than a million days");
      return;
    }
    for (int d = first; d <= last; ++d) into.days[d] = s;
  };
  // Exceptions are days of type 0 among the weekdays, each a span of days;
  // newer files also write them as <Exception>s, recurring ones by rule, and
  // the weekdays' spans then hold every occurrence. A file with <Exception>s
  // alone is read from their spans when they recur daily.
  bool expanded = false;
  for (pugi::xml_node day : cal.child("WeekDays").children("WeekDay")) {
    const int type = std::atoi(Reader::text(day, "DayType").c_str());
    const bool working = Reader::text(day, "DayWorking") == "1";
    const WorkTime::Shifts s = working ? shifts_of(day) : WorkTime::Shifts{};
    if (type >= 1 && type <= 7) {
      into.week[static_cast<std::size_t>(weekday_of_type(type))] = s;
    } else if (type == 0 && day.child("TimePeriod")) {
      each_day(day.child("TimePeriod"), s);
      expanded = true;
    }
  }
  for (pugi::xml_node e : cal.child("Exceptions").children("Exception")) {
    if (expanded) break;
    const std::string type = Reader::text(e, "Type");
    if (!type.empty() && type != "1") {
      r.note(e, "the calendar's recurring exception '" + Reader::text(e, "Name") +
                    "' is not modelled: its days are working days");
      continue;
    }
    const bool working = Reader::text(e, "DayWorking") == "1";
    each_day(e.child("TimePeriod"), working ? shifts_of(e) : WorkTime::Shifts{});
  }
}

bool elapsed_format(int f) {
  // Elapsed minutes, hours, days, weeks, months and percent, and their
  // estimated forms.
  for (int e : {4, 6, 8, 10, 12, 20, 36, 38, 40, 42, 44, 52})
    if (f == e) return true;
  return false;
}

bool percent_format(int f) { return f == 19 || f == 20 || f == 51 || f == 52; }

}  // namespace

ScheduleFile read_project_xml(const std::string& path, const std::string& bytes, Diagnostics& diag) {
  ScheduleFile s;
  std::string text = bytes;
  const bool utf16 = bytes.size() >= 2 && ((bytes[0] == '\xFF' && bytes[1] == '\xFE') ||
                                           (bytes[0] == '\xFE' && bytes[1] == '\xFF'));
  if (utf16) {
    // The byte-order mark says which end; pugixml parses the same UTF-8, so
    // its offsets are offsets into this text.
    auto converted = utf8_from("UTF-16", bytes);
    if (converted && converted->compare(0, 3, "\xEF\xBB\xBF") == 0) converted->erase(0, 3);
    if (!converted) {
      const int file = diag.add_file(path, "");
      diag.error_in(file, {}, "the file starts as UTF-16 but holds text that is not");
      return s;
    }
    text = *converted;
  }
  const int file = diag.add_file(path, text);
  s.file = file;
  Reader r(text, file, diag);
  pugi::xml_document doc;
  const pugi::xml_parse_result parsed = doc.load_buffer(text.data(), text.size(),
                                                        pugi::parse_default, pugi::encoding_utf8);
  if (!parsed) {
    Lines lines(text);
    diag.error_in(file, lines.at(parsed.offset), std::string("not well-formed XML: ") + parsed.description());
    return s;
  }
  const pugi::xml_node project = doc.child("Project");
  if (!project) {
    diag.error_in(file, {1, 1}, "not a project XML file: its root element is not <Project>");
    return s;
  }
  s.program = "project XML";
  if (const std::string v = Reader::text(project, "SaveVersion"); !v.empty())
    s.program += ", save version " + v;
  if (const auto m = r.number(project, "MinutesPerDay"); m && *m > 0) s.minutes_per_day = *m;
  if (const auto start = r.instant_of(project, "StartDate")) s.start = *start;
  else r.error(project, "the project has no <StartDate>");
  read_calendar(r, project.child("Calendars"), Reader::text(project, "CalendarUID"), s.calendar);
  if (!s.calendar.works()) {
    // No calendar, or one without working time: the format's default week.
    for (std::size_t d = 0; d < 5; ++d) s.calendar.week[d] = {{8 * 60, 12 * 60}, {13 * 60, 17 * 60}};
  }
  const std::string project_calendar = Reader::text(project, "CalendarUID");

  std::map<std::string, std::size_t> by_uid;
  std::vector<pugi::xml_node> nodes;
  for (pugi::xml_node t : project.child("Tasks").children("Task")) {
    if (Reader::text(t, "IsNull") == "1") continue;
    const std::string level = Reader::text(t, "OutlineLevel");
    if (Reader::text(t, "UID") == "0" || level == "0") continue;  // the project's own summary
    FileTask task;
    task.uid = Reader::text(t, "UID");
    task.id = Reader::text(t, "ID");
    task.name = Reader::text(t, "Name");
    task.wbs = Reader::text(t, "WBS");
    if (task.wbs.empty()) task.wbs = Reader::text(t, "OutlineNumber");
    task.outline_level = level.empty() ? 1 : std::max(1, std::atoi(level.c_str()));
    task.summary = Reader::text(t, "Summary") == "1";
    task.milestone = Reader::text(t, "Milestone") == "1";
    task.at = r.at(t);
    if (task.uid.empty()) {
      r.error(t, "a task without <UID>");
      continue;
    }
    task.progressed = !Reader::text(t, "ActualStart").empty();
    task.manual = Reader::text(t, "Manual") == "1";
    task.levelled = r.number(t, "LevelingDelay").value_or(0) != 0;
    task.percent_complete = r.number(t, "PercentComplete").value_or(0);
    const auto work = r.duration_of(t, task.progressed ? "RemainingDuration" : "Duration");
    task.work = work.value_or(0);
    task.elapsed = elapsed_format(std::atoi(Reader::text(t, "DurationFormat").c_str()));
    task.start = r.instant_of(t, "Start");
    task.finish = r.instant_of(t, "Finish");
    const int constraint = std::atoi(Reader::text(t, "ConstraintType").c_str());
    static const char* const kConstraints[] = {
        "as soon as possible", "as late as possible", "must start on", "must finish on",
        "start no earlier than", "start no later than", "finish no earlier than",
        "finish no later than"};
    if (constraint >= 0 && constraint < 8) task.constraint_text = kConstraints[constraint];
    if (constraint == 4) task.constraint = Constraint::start_no_earlier;
    else if (constraint == 2) task.constraint = Constraint::must_start_on;
    else if (constraint != 0) task.constraint = Constraint::other;
    if (constraint != 0) task.constraint_date = r.instant_of(t, "ConstraintDate");
    const std::string calendar = Reader::text(t, "CalendarUID");
    task.own_calendar = !calendar.empty() && calendar != "-1" && calendar != project_calendar;
    if (!by_uid.emplace(task.uid, s.tasks.size()).second) {
      r.error(t, "a second task with UID " + task.uid);
      continue;
    }
    s.tasks.push_back(std::move(task));
    nodes.push_back(t);
  }
  for (std::size_t k = 0; k < nodes.size(); ++k) {
    for (pugi::xml_node l : nodes[k].children("PredecessorLink")) {
      FileLink link;
      link.to = k;
      link.at = r.at(l);
      const std::string from = Reader::text(l, "PredecessorUID");
      const auto it = by_uid.find(from);
      if (it == by_uid.end()) {
        r.error(l, "task " + s.tasks[k].uid + " ('" + s.tasks[k].name +
                       "') follows task UID " + from + ", which the file does not hold");
        continue;
      }
      link.from = it->second;
      const std::string type = Reader::text(l, "Type");
      static const LinkType kTypes[] = {LinkType::FF, LinkType::FS, LinkType::SF, LinkType::SS};
      if (type.empty()) {
        link.type = LinkType::FS;
      } else if (type.size() == 1 && type[0] >= '0' && type[0] <= '3') {
        link.type = kTypes[type[0] - '0'];
      } else {
        r.error(l.child("Type"), "unknown link type '" + type + "': 0 (FF), 1 (FS), 2 (SF) or 3 (SS)");
        continue;
      }
      const double lag = r.number(l, "LinkLag").value_or(0);
      const int format = std::atoi(Reader::text(l, "LagFormat").c_str());
      // A lag in percent holds the percentage of the predecessor's duration;
      // other lags are in tenths of a minute.
      link.lag = percent_format(format) ? lag / 100 * s.tasks[link.from].work : lag / 10;
      link.elapsed = elapsed_format(format);
      s.links.push_back(link);
    }
  }
  return s;
}

}  // namespace velmsim
