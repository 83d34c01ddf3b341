// [schedule], [tasks] and [risks]: a task network, its calendar and its risk
// register, each task and risk in the order of the file.
#include <algorithm>
#include <map>

#include "host/velmsim/model/calendar.h"
#include "host/velmsim/model/toml_reader.h"

namespace velmsim::reader {

namespace {

const char* const kWeekdays[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};

// A TOML date as a day number, or an error.
std::optional<int> read_date(Reader& r, const toml::node& n, const std::string& what) {
  if (const auto* d = n.as_date())
    return day_number(d->get().year, d->get().month, d->get().day);
  r.diagnostics().error(pos(n.source()), what + " must be a date such as 2027-03-01");
  return std::nullopt;
}

// The names of every task, for messages.
std::vector<std::string> task_names(const Model& m) {
  std::vector<std::string> names;
  for (const Task& t : m.network.tasks) names.push_back(t.name);
  return names;
}

// The index of the task `name`, or an error at `at` naming the tasks it may
// have meant.
std::optional<std::size_t> find_task(Reader& r, const Model& m, const std::string& name,
                                     Position at, const std::string& where) {
  const auto& tasks = m.network.tasks;
  for (std::size_t t = 0; t < tasks.size(); ++t)
    if (tasks[t].name == name) return t;
  r.diagnostics().error(at, "unknown task '" + shown_name(name) + "' " + where +
                                did_you_mean(name, task_names(m)));
  return std::nullopt;
}

// A predecessor: a task name (finish to start, lag 0) or { task, type, lag }.
// The names are resolved once every task is known.
struct PendingLink {
  std::string task;
  Position at;
  LinkType type = LinkType::FS;
  double lag = 0.0;
};

std::optional<PendingLink> read_link(Reader& r, const toml::node& n, const std::string& who) {
  Diagnostics& diag = r.diagnostics();
  PendingLink l;
  l.at = pos(n.source());
  if (const auto* s = n.as_string()) {
    l.task = s->get();
    return l;
  }
  const toml::table* t = n.as_table();
  if (t == nullptr) {
    diag.error(l.at, "each entry of 'after' of " + who +
                         " must be a task name or a table such as { task = \"design\", type = "
                         "\"SS\", lag = 5 }");
    return std::nullopt;
  }
  r.unknown_keys(*t, {"task", "type", "lag"}, "for a link");
  const toml::node* task = t->get("task");
  if (task == nullptr) {
    diag.error(l.at, "a link of " + who + " needs 'task', the predecessor's name");
    return std::nullopt;
  }
  const auto name = r.string(*task, "'task' of a link of " + who);
  if (!name) return std::nullopt;
  l.task = *name;
  l.at = pos(task->source());
  if (const toml::node* type = t->get("type")) {
    const auto text = r.string(*type, "'type' of a link of " + who);
    if (!text) return std::nullopt;
    const char* types[] = {"FS", "SS", "FF", "SF"};
    const auto it = std::find(std::begin(types), std::end(types), *text);
    if (it == std::end(types)) {
      diag.error(pos(type->source()), "'type' of a link of " + who +
                                          " must be \"FS\", \"SS\", \"FF\" or \"SF\", not \"" +
                                          shown_name(*text) + "\"");
      return std::nullopt;
    }
    l.type = static_cast<LinkType>(it - std::begin(types));
  }
  if (const toml::node* lag = t->get("lag")) {
    const auto x = r.number(*lag, "'lag' of a link of " + who);
    if (!x) return std::nullopt;
    l.lag = *x;
  }
  return l;
}

}  // namespace

void read_schedule(const toml::table& t, Reader& r, Model& m) {
  Diagnostics& diag = r.diagnostics();
  Schedule& s = m.network.schedule;
  r.unknown_keys(t, {"file", "encoding", "uncertainty", "start", "workdays", "holidays", "target", "budget",
                     "confidence"},
                 "in [schedule]");
  const bool from_file = t.get("file") != nullptr;
  if (from_file) {
    // The file's calendar is the schedule's.
    for (const char* key : {"start", "workdays", "holidays"})
      if (const toml::node* n = t.get(key))
        diag.error(pos(n->source()), std::string("'") + key + "' comes from the schedule file; "
                                     "leave it out beside 'file'");
    import_schedule(t, r, m);
  } else if (const toml::node* u = t.get("uncertainty")) {
    diag.error(pos(u->source()), "'uncertainty' spreads the durations of a schedule read from "
                                 "'file'; give each task of [tasks] its own distribution");
  }
  if (const toml::node* n = t.get("start"); n && !from_file) s.start = read_date(r, *n, "'start'");
  if (const toml::node* n = t.get("workdays"); n && !from_file) {
    const toml::array* a = n->as_array();
    if (a == nullptr || a->empty()) {
      diag.error(pos(n->source()), "'workdays' must be a list of weekdays such as [\"Mon\", "
                                   "\"Tue\", \"Wed\", \"Thu\", \"Fri\"]");
    } else {
      s.workdays.fill(false);
      for (const toml::node& e : *a) {
        const auto day = r.string(e, "each workday");
        if (!day) continue;
        const auto it = std::find(std::begin(kWeekdays), std::end(kWeekdays), *day);
        if (it == std::end(kWeekdays))
          diag.error(pos(e.source()), "a workday must be one of Mon, Tue, Wed, Thu, Fri, Sat, "
                                      "Sun, not '" + shown_name(*day) + "'");
        else
          s.workdays[static_cast<std::size_t>(it - std::begin(kWeekdays))] = true;
      }
      if (std::none_of(s.workdays.begin(), s.workdays.end(), [](bool w) { return w; }))
        s.workdays = Schedule{}.workdays;  // each entry was refused above
    }
  }
  if (const toml::node* n = t.get("holidays"); n && !from_file) {
    if (const toml::array* a = n->as_array()) {
      for (const toml::node& e : *a)
        if (auto d = read_date(r, e, "each holiday")) s.holidays.push_back(*d);
      std::sort(s.holidays.begin(), s.holidays.end());
    } else {
      diag.error(pos(n->source()), "'holidays' must be a list of dates such as [2027-04-02]");
    }
  }
  if (const toml::node* n = t.get("target")) {
    if (n->is_date()) {
      const auto day = read_date(r, *n, "'target'");
      if (!s.start)
        diag.error(pos(n->source()), "a target date needs the schedule's 'start'; or give the "
                                     "target as a number of working days");
      else if (day && *day < *s.start)
        diag.error(pos(n->source()), "the target date comes before the start");
      else if (day)
        s.target = working_days_through(s, *day);
    } else if (auto x = r.amount(*n, "'target'")) {
      s.target = *x;
    }
  }
  if (const toml::node* n = t.get("budget")) s.budget = r.amount(*n, "'budget'");
  if (const toml::node* n = t.get("confidence")) {
    if (auto x = r.number(*n, "'confidence'")) {
      if (*x > 0 && *x < 1)
        s.confidence = *x;
      else
        diag.error(pos(n->source()),
                   "'confidence' must lie strictly between 0 and 1, not " + parameter_text(*x));
    }
  }
}

void read_tasks(const toml::table& tasks, Reader& r, Model& m) {
  Diagnostics& diag = r.diagnostics();
  std::vector<std::vector<PendingLink>> pending;
  for (auto&& [key, node] : in_file_order(tasks)) {
    Task task;
    task.name = std::string(key->str());
    task.at = pos(key->source());
    const std::string who = "task '" + shown_name(task.name) + "'";
    const toml::table* t = node->as_table();
    if (t == nullptr) {
      diag.error(pos(node->source()),
                 who + " must be a table such as { duration = 10, after = [\"design\"] }");
      continue;
    }
    r.unknown_keys(*t, {"duration", "planned", "after", "p", "cost", "not_before"}, "for a task");
    if (const toml::node* d = t->get("duration")) {
      if (auto a = read_amount(r, *d, "the duration of " + who)) {
        task.duration = *a;
        task.planned = a->draw ? distribution(a->draw->dist).planned(*a->draw) : a->value;
        if (!a->draw && a->value < 0)
          diag.error(pos(d->source()), "the duration of " + who + " must be at least 0, not " +
                                           parameter_text(a->value));
      }
    } else {
      diag.error(task.at, who + " needs 'duration', a number of working days or a distribution");
    }
    if (const toml::node* n = t->get("planned")) {
      if (auto x = r.number(*n, "'planned' of " + who)) {
        if (*x >= 0)
          task.planned = *x;
        else
          diag.error(pos(n->source()), "'planned' of " + who + " must be at least 0, not " +
                                           parameter_text(*x));
      }
    }
    if (const toml::node* n = t->get("not_before")) {
      // A date, or working days from the start: the task starts no earlier.
      const Schedule& s = m.network.schedule;
      if (n->is_date()) {
        const auto day = read_date(r, *n, "'not_before' of " + who);
        if (!s.start)
          diag.error(pos(n->source()), "'not_before' as a date needs the schedule's 'start'; or "
                                       "give it as a number of working days");
        else if (day)
          task.not_before = std::max(0, working_days_through(s, *day - 1));
      } else if (auto x = r.number(*n, "'not_before' of " + who)) {
        if (*x >= 0)
          task.not_before = *x;
        else
          diag.error(pos(n->source()), "'not_before' of " + who + " must be at least 0, not " +
                                           parameter_text(*x));
      }
    }
    if (const toml::node* n = t->get("p")) {
      if (auto x = r.single(*n, "'p' of " + who)) {
        if (*x > 0 && *x <= 1)
          task.p = *x;
        else
          diag.error(pos(n->source()), "'p' of " + who +
                                           " (the chance that the task exists) must lie in (0, "
                                           "1], not " + parameter_text(*x));
      }
    }
    if (const toml::node* n = t->get("cost")) {
      const toml::table* c = n->as_table();
      if (c == nullptr) {
        diag.error(pos(n->source()), "'cost' of " + who +
                                         " must be a table such as { fixed = 3e5, per_day = 6e3 }");
      } else {
        r.unknown_keys(*c, {"fixed", "per_day"}, "for a task's cost");
        if (const toml::node* f = c->get("fixed"))
          task.fixed_cost = r.amount(*f, "'fixed' cost of " + who).value_or(0.0);
        if (const toml::node* f = c->get("per_day"))
          task.cost_per_day = r.amount(*f, "'per_day' cost of " + who).value_or(0.0);
      }
    }
    std::vector<PendingLink> links;
    if (const toml::node* n = t->get("after")) {
      if (const toml::array* a = n->as_array()) {
        for (const toml::node& e : *a)
          if (auto l = read_link(r, e, who)) links.push_back(*l);
      } else {
        diag.error(pos(n->source()), "'after' of " + who +
                                         " must be a list of predecessors such as [\"design\"]");
      }
    }
    if (std::any_of(m.network.tasks.begin(), m.network.tasks.end(),
                    [&](const Task& x) { return x.name == task.name; }))
      continue;  // TOML itself refuses a key written twice
    m.network.tasks.push_back(std::move(task));
    pending.push_back(std::move(links));
  }
  // Predecessors may be written after the tasks that follow them.
  for (std::size_t t = 0; t < pending.size(); ++t) {
    Task& task = m.network.tasks[t];
    for (const PendingLink& l : pending[t]) {
      const std::string where = "in 'after' of task '" + shown_name(task.name) + "'";
      const auto p = find_task(r, m, l.task, l.at, where);
      if (!p) continue;
      if (*p == t) {
        diag.error(l.at, "task '" + shown_name(task.name) + "' cannot come after itself");
        continue;
      }
      task.after.push_back({*p, l.type, l.lag});
      task.after_at.push_back(l.at);
    }
  }
}

void read_task_risks(const toml::table& risks, Reader& r, Model& m) {
  Diagnostics& diag = r.diagnostics();
  for (auto&& [key, node] : in_file_order(risks)) {
    TaskRisk risk;
    risk.name = std::string(key->str());
    risk.at = pos(key->source());
    const std::string who = "risk '" + shown_name(risk.name) + "'";
    const toml::table* t = node->as_table();
    if (t == nullptr) {
      diag.error(pos(node->source()), who + " must be a table such as { p = 0.2, tasks = "
                                            "[\"civils\"], delay = 10 }");
      continue;
    }
    r.unknown_keys(*t, {"p", "tasks", "delay", "factor", "cost"}, "for a risk");
    bool ok = true;
    if (const toml::node* n = t->get("p")) {
      const auto x = r.single(*n, "'p' of " + who);
      if (x && !(*x > 0 && *x <= 1)) {
        diag.error(pos(n->source()), "'p' of " + who +
                                         " (the chance that it occurs) must lie in (0, 1], not " +
                                         parameter_text(*x));
        ok = false;
      }
      ok = ok && x.has_value();
      risk.p = x.value_or(0.0f);
    } else {
      diag.error(risk.at, who + " needs 'p', the chance that it occurs");
      ok = false;
    }
    const toml::node* n = t->get("tasks");
    const toml::array* names = n ? n->as_array() : nullptr;
    if (names == nullptr || names->empty()) {
      diag.error(n ? pos(n->source()) : risk.at,
                 who + " needs 'tasks', a list of the tasks it hits such as [\"civils\"]");
      ok = false;
    } else {
      for (const toml::node& e : *names)
        if (auto name = r.string(e, "each task of " + who))
          for (std::size_t task : chosen_tasks(r, m, *name, pos(e.source()), "in 'tasks' of " + who)) {
            if (std::find(risk.tasks.begin(), risk.tasks.end(), task) != risk.tasks.end()) {
              diag.error(pos(e.source()), who + " names task '" + shown_name(m.network.tasks[task].name) +
                                              "' twice");
              ok = false;
              continue;
            }
            risk.tasks.push_back(task);
          }
    }
    for (auto [key_name, into] : {std::pair{"delay", &risk.delay}, std::pair{"factor", &risk.factor},
                                  std::pair{"cost", &risk.cost}})
      if (const toml::node* v = t->get(key_name)) {
        *into = read_amount(r, *v, "'" + std::string(key_name) + "' of " + who);
        if (!*into) ok = false;
      }
    if (risk.factor && !risk.factor->draw && !(risk.factor->value > 0)) {
      diag.error(pos(t->get("factor")->source()), "'factor' of " + who +
                                                      " must be greater than 0, not " +
                                                      parameter_text(risk.factor->value));
      ok = false;
    }
    if (!t->get("delay") && !t->get("factor") && !t->get("cost")) {
      diag.error(risk.at, who + " needs an impact: 'delay' (working days), 'factor' (on the "
                                "durations) or 'cost'");
      ok = false;
    }
    if (ok) m.network.risks.push_back(std::move(risk));
  }
}

void add_network_outputs(Reader& r, NameClaims& names, Model& m) {
  if (m.network.empty()) return;
  std::vector<Output> outputs;
  Output finish;
  finish.name = "finish";
  finish.formula = "the tasks' latest early finish, in working days from the start";
  finish.network = true;
  finish.target = m.network.schedule.target;
  outputs.push_back(finish);
  if (m.network.costed()) {
    Output cost;
    cost.name = "cost";
    cost.formula = "the tasks' and the risks' costs";
    cost.network = true;
    cost.target = m.network.schedule.budget;
    cost.currency = m.currency;
    outputs.push_back(cost);
  }
  for (const Output& o : outputs) names.claim(o.name, m.network.tasks.front().at, r.diagnostics());
  m.outputs.insert(m.outputs.begin(), outputs.begin(), outputs.end());
}

}  // namespace velmsim::reader
