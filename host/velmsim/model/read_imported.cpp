// A schedule read from a scheduling program's file: [schedule] file names
// it, [schedule] uncertainty gives every task a spread around its planned
// duration, and [tasks] overrides tasks chosen by name, UID, ID or WBS.
#include <algorithm>
#include <filesystem>

#include "host/velmsim/model/import_network.h"
#include "host/velmsim/model/toml_reader.h"

namespace velmsim::reader {

namespace {

// A WBS code under `prefix`: the prefix itself or one of its parts.
bool under_wbs(const std::string& wbs, const std::string& prefix) {
  return wbs == prefix || (wbs.size() > prefix.size() && wbs.compare(0, prefix.size(), prefix) == 0 &&
                           wbs[prefix.size()] == '.');
}

}  // namespace

std::vector<std::size_t> chosen_tasks(Reader& r, const Model& m, const std::string& name,
                                      Position at, const std::string& where) {
  const auto& tasks = m.network.tasks;
  std::vector<std::size_t> chosen;
  const bool imported = !m.network.file.empty();
  if (imported && name.rfind("wbs:", 0) == 0) {
    const std::string prefix = name.substr(4);
    for (std::size_t t = 0; t < tasks.size(); ++t)
      if (under_wbs(tasks[t].wbs, prefix)) chosen.push_back(t);
    if (chosen.empty())
      r.diagnostics().error(at, "no task of the schedule has a WBS code under '" +
                                    shown_name(prefix) + "' " + where);
    return chosen;
  }
  for (std::size_t t = 0; t < tasks.size(); ++t)
    if (tasks[t].name == name) return {t};
  if (imported) {
    // A UID or code first, then an ID, then a task's own name: each may
    // choose one task only.
    for (auto field : {&Task::uid, &Task::id, &Task::title}) {
      for (std::size_t t = 0; t < tasks.size(); ++t)
        if (tasks[t].*field == name) chosen.push_back(t);
      if (chosen.size() == 1) return chosen;
      if (chosen.size() > 1) {
        r.diagnostics().error(at, "'" + shown_name(name) + "' " + where + " names " +
                                      std::to_string(chosen.size()) + " tasks of the schedule; "
                                      "choose one by its UID");
        return {};
      }
    }
  }
  std::vector<std::string> names;
  for (const Task& t : tasks) names.push_back(imported ? t.uid : t.name);
  r.diagnostics().error(at, "unknown task '" + shown_name(name) + "' " + where +
                                did_you_mean(name, names));
  return {};
}

void import_schedule(const toml::table& schedule, Reader& r, Model& m) {
  Diagnostics& diag = r.diagnostics();
  const toml::node* file = schedule.get("file");
  const auto name = r.string(*file, "'file'");
  if (!name) return;
  std::filesystem::path path(*name);
  if (path.is_relative()) path = std::filesystem::path(m.path).parent_path() / path;
  std::string code_page;
  if (const toml::node* e = schedule.get("encoding"))
    code_page = r.string(*e, "'encoding'").value_or("");
  // Errors of the model before this point do not stop the file's reading:
  // every error is reported.
  const std::size_t errors = diag.error_count();
  const auto f = read_schedule_file(path.string(), diag, code_page);
  if (!f) diag.error(pos(file->source()), "the schedule file '" + shown_name(*name) + "' cannot be read");
  if (!f || diag.error_count() > errors) return;
  ImportedNetwork n = network_of(*f, f->file, diag);
  if (n.network.tasks.empty()) {
    diag.error(pos(file->source()), "the schedule in '" + shown_name(*name) + "' has no tasks "
                                    "that do work");
    return;
  }
  TaskNetwork& net = m.network;
  net.file = path.string();
  net.schedule.start = n.network.schedule.start;
  net.schedule.workdays = n.network.schedule.workdays;
  net.schedule.holidays = n.network.schedule.holidays;
  net.tasks = std::move(n.network.tasks);
  for (Task& t : net.tasks) t.at = pos(file->source());
  if (const toml::node* u = schedule.get("uncertainty")) {
    const toml::table* t = u->as_table();
    if (t == nullptr ||
        !read_relative_draw(r, *t, "'uncertainty'", pos(u->source()), 1.0, true)) {
      if (t == nullptr)
        diag.error(pos(u->source()), "'uncertainty' must be a distribution of fractions of the "
                                     "planned duration, such as { dist = \"triangular\", low = "
                                     "-0.1, mode = 0, high = 0.25 }");
      return;
    }
    for (Task& task : net.tasks)
      if (task.planned > 0)
        if (auto d = read_relative_draw(r, *t, "'uncertainty'", pos(u->source()), task.planned, false))
          task.duration.draw = *d;
  }
}

void read_task_overrides(const toml::table& tasks, Reader& r, Model& m) {
  Diagnostics& diag = r.diagnostics();
  for (auto&& [key, node] : in_file_order(tasks)) {
    const std::string name(key->str());
    const std::string who = "the tasks chosen by '" + shown_name(name) + "'";
    const toml::table* t = node->as_table();
    if (t == nullptr) {
      diag.error(pos(node->source()), who + " must be given a table such as { duration = { dist = "
                                            "\"triangular\", low = 12, mode = 15, high = 30 } }");
      continue;
    }
    r.unknown_keys(*t, {"duration", "uncertainty", "p", "cost"}, "for a task of the schedule");
    const std::vector<std::size_t> chosen =
        chosen_tasks(r, m, name, pos(key->source()), "in [tasks]");
    std::optional<Amount> duration;
    if (const toml::node* d = t->get("duration")) duration = read_amount(r, *d, "the duration of " + who);
    const toml::node* u = t->get("uncertainty");
    const toml::table* ut = u ? u->as_table() : nullptr;
    if (u && (ut == nullptr || !read_relative_draw(r, *ut, "'uncertainty' of " + who, pos(u->source()), 1.0, true))) {
      if (ut == nullptr) diag.error(pos(u->source()), "'uncertainty' of " + who + " must be a distribution table");
      ut = nullptr;
    }
    std::optional<float> p;
    if (const toml::node* n = t->get("p")) {
      p = r.single(*n, "'p' of " + who);
      if (p && !(*p > 0 && *p <= 1)) {
        diag.error(pos(n->source()), "'p' of " + who + " must lie in (0, 1], not " + parameter_text(*p));
        p.reset();
      }
    }
    std::optional<double> fixed, per_day;
    if (const toml::node* c = t->get("cost")) {
      const toml::table* ct = c->as_table();
      if (ct == nullptr) {
        diag.error(pos(c->source()), "'cost' of " + who + " must be a table such as { fixed = "
                                     "3e5, per_day = 6e3 }");
      } else {
        r.unknown_keys(*ct, {"fixed", "per_day"}, "for a task's cost");
        if (const toml::node* f = ct->get("fixed")) fixed = r.amount(*f, "'fixed' cost of " + who);
        if (const toml::node* f = ct->get("per_day")) per_day = r.amount(*f, "'per_day' cost of " + who);
      }
    }
    for (std::size_t k : chosen) {
      Task& task = m.network.tasks[k];
      task.at = pos(key->source());
      if (ut && task.planned > 0)
        if (auto d = read_relative_draw(r, *ut, who, pos(u->source()), task.planned, false))
          task.duration.draw = *d;
      if (duration) task.duration = *duration;
      if (p) task.p = p;
      if (fixed) task.fixed_cost = *fixed;
      if (per_day) task.cost_per_day = *per_day;
    }
  }
}

}  // namespace velmsim::reader
