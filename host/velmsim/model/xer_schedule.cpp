// A schedule from the tables of an XER export: PROJECT (its data date),
// CALENDAR (the project's working week and exceptions, in the nested text
// of clndr_data), PROJWBS (WBS codes), TASK and TASKPRED.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>

#include "host/velmsim/model/calendar.h"
#include "host/velmsim/model/schedule_file.h"
#include "host/velmsim/model/xer.h"

namespace velmsim {

namespace {

// A node of clndr_data: (0||name(attributes)(children)).
struct CalendarNode {
  std::string name, attributes;
  int parent = -1;
};

// The nodes of clndr_data, each with its parent, read with an explicit
// stack (the text is untrusted: no recursion). Unbalanced text ends the
// reading with what was read.
std::vector<CalendarNode> calendar_nodes(const std::string& s) {
  std::vector<CalendarNode> nodes;
  std::vector<int> open;  // the nodes whose children are being read
  std::size_t i = 0;
  while (i < s.size()) {
    if (s.compare(i, 1, "(") == 0 && s.find("||", i) != std::string::npos) {
      const std::size_t bars = s.find("||", i);
      const std::size_t name_end = s.find('(', bars + 2);
      const std::size_t attr_end = name_end == std::string::npos ? name_end : s.find(')', name_end);
      if (attr_end == std::string::npos || attr_end + 1 >= s.size() || s[attr_end + 1] != '(' ||
          s.find_first_of("()", i + 1) < bars)
        break;
      CalendarNode n;
      n.name = s.substr(bars + 2, name_end - bars - 2);
      n.attributes = s.substr(name_end + 1, attr_end - name_end - 1);
      n.parent = open.empty() ? -1 : open.back();
      nodes.push_back(std::move(n));
      open.push_back(static_cast<int>(nodes.size()) - 1);
      i = attr_end + 2;  // inside the children's parenthesis
    } else if (s[i] == ')') {
      // Closes the children, then the node.
      std::size_t j = i + 1;
      while (j < s.size() && (s[j] == ' ' || s[j] == '\r' || s[j] == '\n' || s[j] == '\t')) ++j;
      if (j < s.size() && s[j] == ')' && !open.empty()) open.pop_back();
      i = j + (j < s.size() && s[j] == ')' ? 1 : 0);
    } else {
      ++i;
    }
  }
  return nodes;
}

// The value after `key|` in attributes such as s|08:00|f|16:00.
std::string attribute(const std::string& attributes, const std::string& key) {
  std::size_t p = 0;
  while (p < attributes.size()) {
    const std::size_t bar = attributes.find('|', p);
    if (bar == std::string::npos) return "";
    const std::size_t end = attributes.find('|', bar + 1);
    if (attributes.compare(p, bar - p, key) == 0)
      return attributes.substr(bar + 1, end == std::string::npos ? end : end - bar - 1);
    if (end == std::string::npos) return "";
    p = end + 1;
  }
  return "";
}

int minutes_of(const std::string& hhmm, bool end) {
  int h = 0, m = 0;
  if (std::sscanf(hhmm.c_str(), "%d:%d", &h, &m) != 2 || h < 0 || h > 24 || m < 0 || m > 59) return -1;
  const int minute = h * 60 + m;
  return end && minute == 0 ? 24 * 60 : minute;
}

// The working intervals that are the children of node k.
WorkTime::Shifts shifts_under(const std::vector<CalendarNode>& nodes, int k) {
  WorkTime::Shifts s;
  for (std::size_t c = 0; c < nodes.size(); ++c) {
    if (nodes[c].parent != k) continue;
    const int a = minutes_of(attribute(nodes[c].attributes, "s"), false);
    const int b = minutes_of(attribute(nodes[c].attributes, "f"), true);
    if (a >= 0 && b > a) s.emplace_back(a, b);
  }
  std::sort(s.begin(), s.end());
  return s;
}

// The working week and exceptions of clndr_data. Exception days are
// counted from 1899-12-30.
WorkTime calendar_of(const std::string& data) {
  WorkTime w;
  const std::vector<CalendarNode> nodes = calendar_nodes(data);
  const int serial_zero = day_number(1899, 12, 30);
  for (std::size_t k = 0; k < nodes.size(); ++k) {
    const int parent = nodes[k].parent;
    if (parent < 0) continue;
    const std::string& section = nodes[static_cast<std::size_t>(parent)].name;
    if (section == "DaysOfWeek") {
      const int type = std::atoi(nodes[k].name.c_str());  // 1 Sunday .. 7 Saturday
      if (type >= 1 && type <= 7)
        w.week[static_cast<std::size_t>((type + 5) % 7)] = shifts_under(nodes, static_cast<int>(k));
    } else if (section == "Exceptions") {
      const std::string d = attribute(nodes[k].attributes, "d");
      if (!d.empty()) w.days[serial_zero + std::atoi(d.c_str())] = shifts_under(nodes, static_cast<int>(k));
    }
  }
  return w;
}

}  // namespace

ScheduleFile read_xer_schedule(const std::string& path, const std::string& bytes, Diagnostics& diag) {
  ScheduleFile s;
  std::vector<xer::Problem> problems;
  const xer::File x = xer::read(bytes, problems);
  // Messages show the file's lines as UTF-8.
  s.file = diag.add_file(path, bytes);
  const int file = s.file;
  for (const xer::Problem& p : problems) diag.error_in(file, {p.line, 1}, p.message);
  // The header: the exporting program's version, then the export's date.
  s.program = "XER";
  if (const std::size_t tab = x.header.find('\t'); !x.header.empty())
    s.program += " version " + x.header.substr(0, tab) +
                 (tab == std::string::npos ? "" : ", exported " + x.header.substr(tab + 1, x.header.find('\t', tab + 1) - tab - 1));
  auto where = [](const xer::Table& t, std::size_t row) {
    return "table " + t.name + ", row " + std::to_string(row + 1);
  };
  auto instant_of = [&](const xer::Table& t, std::size_t row, const char* field,
                        bool report) -> std::optional<double> {
    const std::string v(t.value(t.rows[row], field));
    if (v.empty()) return std::nullopt;
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, used = 0;
    if (std::sscanf(v.c_str(), "%4d-%2d-%2d %2d:%2d%n", &y, &mo, &d, &h, &mi, &used) != 5 ||
        mo < 1 || mo > 12 || d < 1 || d > 31 || h > 24 || mi > 59) {
      if (report)
        diag.error_in(file, {t.rows[row].line, 1}, std::string(field) + " must be a date and time "
                      "such as 2027-03-01 08:00, not '" + v + "'", where(t, row));
      return std::nullopt;
    }
    return instant(day_number(y, static_cast<unsigned>(mo), static_cast<unsigned>(d)), h * 60 + mi);
  };
  auto hours_of = [&](const xer::Table& t, std::size_t row, const char* field) -> std::optional<double> {
    const std::string v(t.value(t.rows[row], field));
    if (v.empty()) return 0.0;
    char* end = nullptr;
    const double x = std::strtod(v.c_str(), &end);
    if (*end != '\0' || !std::isfinite(x)) {
      diag.error_in(file, {t.rows[row].line, 1}, std::string(field) + " must be a number of hours, not '" + v + "'",
                    where(t, row));
      return std::nullopt;
    }
    return x;
  };

  const xer::Table* project = x.table("PROJECT");
  const xer::Table* tasks = x.table("TASK");
  if (project == nullptr || project->rows.empty() || tasks == nullptr) {
    diag.error_in(file, {}, "not a schedule export: it has no PROJECT or TASK table");
    return s;
  }
  const std::string proj_id(project->value(project->rows[0], "proj_id"));
  if (project->rows.size() > 1)
    diag.warning_in(file, {project->rows[1].line, 1}, "the file holds " + std::to_string(project->rows.size()) +
                    " projects; the first, " + std::string(project->value(project->rows[0], "proj_short_name")) +
                    ", is read", where(*project, 1));
  const auto data_date = instant_of(*project, 0, "last_recalc_date", true);
  const auto planned = instant_of(*project, 0, "plan_start_date", true);
  s.start = data_date ? *data_date : planned.value_or(0.0);

  // The project's calendar, else the calendar marked default.
  std::string calendar_id(project->value(project->rows[0], "clndr_id"));
  if (const xer::Table* c = x.table("CALENDAR")) {
    std::size_t use = c->rows.size();
    for (std::size_t k = 0; k < c->rows.size(); ++k)
      if (c->value(c->rows[k], "clndr_id") == calendar_id ||
          (use == c->rows.size() && c->value(c->rows[k], "default_flag") == "Y"))
        use = k;
    if (use < c->rows.size()) {
      calendar_id = std::string(c->value(c->rows[use], "clndr_id"));
      s.calendar = calendar_of(std::string(c->value(c->rows[use], "clndr_data")));
      const std::string hours(c->value(c->rows[use], "day_hr_cnt"));
      if (const double h = std::atof(hours.c_str()); h > 0) s.minutes_per_day = h * 60;
    }
  }
  if (!s.calendar.works())
    for (std::size_t d = 0; d < 5; ++d) s.calendar.week[d] = {{8 * 60, 12 * 60}, {13 * 60, 17 * 60}};

  // WBS codes: each element's short name under its parents' (the project's
  // own node, at the root, left out), as 1.2.3.
  std::map<std::string, std::string> wbs;
  if (const xer::Table* w = x.table("PROJWBS")) {
    struct Element {
      std::string parent, name;
      bool root = false;
    };
    std::map<std::string, Element> element;
    for (const xer::Row& r : w->rows)
      element[std::string(w->value(r, "wbs_id"))] = {std::string(w->value(r, "parent_wbs_id")),
                                                      std::string(w->value(r, "wbs_short_name")),
                                                      w->value(r, "proj_node_flag") == "Y"};
    for (const auto& [id, e] : element) {
      if (e.root) continue;
      std::string code = e.name;
      auto up = element.find(e.parent);
      for (int depth = 0; depth < 64 && up != element.end() && !up->second.root; ++depth) {
        code = up->second.name + "." + code;
        up = element.find(up->second.parent);
      }
      wbs[id] = code;
    }
  }

  std::map<std::string, std::size_t> by_id;
  for (std::size_t k = 0; k < tasks->rows.size(); ++k) {
    const xer::Row& row = tasks->rows[k];
    if (!proj_id.empty() && tasks->value(row, "proj_id") != proj_id) continue;
    FileTask t;
    t.uid = std::string(tasks->value(row, "task_code"));
    t.id = std::string(tasks->value(row, "task_id"));
    t.name = std::string(tasks->value(row, "task_name"));
    t.wbs = wbs[std::string(tasks->value(row, "wbs_id"))];
    t.at = {row.line, 1};
    t.where = where(*tasks, k);
    const std::string type(tasks->value(row, "task_type"));
    t.milestone = type == "TT_Mile" || type == "TT_FinMile";
    t.progressed = tasks->value(row, "status_code") != "TK_NotStart" &&
                   !tasks->value(row, "status_code").empty();
    const auto hours = hours_of(*tasks, k, t.progressed ? "remain_drtn_hr_cnt" : "target_drtn_hr_cnt");
    t.work = hours.value_or(0) * 60;
    t.start = instant_of(*tasks, k, "early_start_date", false);
    t.finish = instant_of(*tasks, k, "early_end_date", false);
    const std::string constraint(tasks->value(row, "cstr_type"));
    t.constraint_text = constraint;
    if (constraint == "CS_MSOA") t.constraint = Constraint::start_no_earlier;
    else if (constraint == "CS_MSO") t.constraint = Constraint::must_start_on;
    else if (!constraint.empty()) t.constraint = Constraint::other;
    if (!constraint.empty()) t.constraint_date = instant_of(*tasks, k, "cstr_date", true);
    if (type == "TT_LOE" || type == "TT_WBS")
      diag.warning_in(file, t.at, "task " + t.uid + " ('" + t.name + "'): a " +
                      (type == "TT_LOE" ? "level-of-effort" : "WBS summary") +
                      " task is planned with its stored duration", t.where);
    const std::string cal(tasks->value(row, "clndr_id"));
    t.own_calendar = !cal.empty() && cal != calendar_id;
    if (t.uid.empty()) {
      diag.error_in(file, t.at, "a task without task_code", t.where);
      continue;
    }
    by_id[t.id] = s.tasks.size();
    s.tasks.push_back(std::move(t));
  }
  if (const xer::Table* preds = x.table("TASKPRED")) {
    for (std::size_t k = 0; k < preds->rows.size(); ++k) {
      const xer::Row& row = preds->rows[k];
      if (!proj_id.empty() && preds->value(row, "proj_id") != proj_id) continue;
      FileLink l;
      l.at = {row.line, 1};
      l.where = where(*preds, k);
      const auto to = by_id.find(std::string(preds->value(row, "task_id")));
      const auto from = by_id.find(std::string(preds->value(row, "pred_task_id")));
      if (to == by_id.end() || from == by_id.end()) {
        if (preds->value(row, "pred_proj_id") != proj_id && !preds->value(row, "pred_proj_id").empty()) continue;
        diag.error_in(file, l.at, "a link between task_id " + std::string(preds->value(row, "pred_task_id")) +
                      " and task_id " + std::string(preds->value(row, "task_id")) +
                      ", which the file does not both hold", l.where);
        continue;
      }
      l.from = from->second;
      l.to = to->second;
      const std::string type(preds->value(row, "pred_type"));
      if (type == "PR_FS") l.type = LinkType::FS;
      else if (type == "PR_SS") l.type = LinkType::SS;
      else if (type == "PR_FF") l.type = LinkType::FF;
      else if (type == "PR_SF") l.type = LinkType::SF;
      else {
        diag.error_in(file, l.at, "unknown link type '" + type + "': PR_FS, PR_SS, PR_FF or PR_SF", l.where);
        continue;
      }
      const auto lag = hours_of(*preds, k, "lag_hr_cnt");
      if (!lag) continue;
      l.lag = *lag * 60;
      s.links.push_back(l);
    }
  }
  return s;
}

}  // namespace velmsim
