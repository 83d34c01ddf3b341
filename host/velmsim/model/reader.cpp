// The model file: read whole, parsed by toml++, and its sections read in the
// order their meaning needs ([inputs] before the sections that name them).
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <optional>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "host/velmsim/model/toml_reader.h"

namespace velmsim {

std::vector<Dist> Input::distributions() const {
  if (kind == InputKind::plain) return {draw.dist};
  if (kind == InputKind::risk && risk.impact) return {risk.impact->dist};
  return {};
}

std::vector<std::size_t> Model::reported_outputs() const {
  std::vector<std::size_t> k;
  for (std::size_t i = 0; i < outputs.size(); ++i)
    if (outputs[i].report) k.push_back(i);
  return k;
}

bool TaskNetwork::costed() const {
  for (const Task& t : tasks)
    if (t.fixed_cost != 0 || t.cost_per_day != 0) return true;
  return std::any_of(risks.begin(), risks.end(), [](const TaskRisk& r) { return r.cost.has_value(); });
}

std::vector<std::string> Model::column_names() const {
  std::vector<std::string> names;
  names.reserve(columns.size());
  for (const Column& c : columns) names.push_back(c.name);
  return names;
}

std::optional<std::size_t> Model::variable_task(std::size_t v) const {
  if (v < columns.size()) return std::nullopt;
  return v - columns.size();
}

std::string Model::variable_name(std::size_t v) const {
  const auto task = variable_task(v);
  return task ? network.tasks[*task].name : columns[v].name;
}

std::optional<std::string> read_limited_file(const std::string& path, const std::string& kind,
                                           std::string& text, std::size_t limit) {
  const auto failed = [&] { return "cannot read the " + kind + " file: " + std::strerror(errno); };
  // Without O_NONBLOCK, opening a pipe would wait for a writer.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return failed();
  std::optional<std::string> error;
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    error = failed();
  } else if (!S_ISREG(st.st_mode)) {
    error = "the " + kind + " file is not a regular file";
  } else {
    char buffer[1 << 16];
    for (;;) {
      const ssize_t n = ::read(fd, buffer, std::min(sizeof buffer, limit + 1 - text.size()));
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) error = failed();
      if (n <= 0) break;
      text.append(buffer, static_cast<std::size_t>(n));
      if (text.size() > limit) {
        error = "the " + kind + " file is larger than " + std::to_string(limit >> 20) + " MiB (" +
                std::to_string(limit) + " bytes), the largest " + kind + " velmsim reads";
        break;
      }
    }
  }
  ::close(fd);
  return error;
}

Model read_model(const std::string& path, Diagnostics& diag) {
  std::string text;
  if (const auto error = read_limited_file(path, "model", text, kMaxModelBytes)) {
    Model m;
    m.path = path;
    diag.error({}, *error);
    return m;
  }
  return read_model_text(path, std::move(text), diag);
}

namespace {

// The draws the reports list, each truncated one with the slot its redraws
// are counted in.
void note_draws(Model& m) {
  for_each_draw(m, [&](Draw& d, const std::string& who, Position) {
    if (d.solved.empty() && !d.truncate) return;
    if (d.truncate) d.redraw_slot = m.redraw_slots++;
    m.draw_notes.push_back({who, d.solved, d.truncate, d.kept, d.redraw_slot});
  });
}

}  // namespace

Model read_model_text(const std::string& path, std::string text, Diagnostics& diag) {
  using namespace reader;
  Model m;
  m.path = path;
  m.text = std::move(text);
  m.name = std::filesystem::path(path).stem().string();
  if (const auto deep = too_deep_key(m.text)) {
    diag.error(*deep, "this key has more than " + std::to_string(kMaxKeyParts) +
                          " dotted parts; a model's keys have at most " +
                          std::to_string(kMaxKeyParts));
    return m;
  }
  toml::table root;
  try {
    root = toml::parse(m.text, path);
  } catch (const toml::parse_error& e) {
    diag.error(pos(e.source()), std::string(e.description()));
    return m;
  }
  Reader r(diag, path);
  r.unknown_keys(root,
                 {"constants", "model", "inputs", "outputs", "correlation", "run", "schedule", "tasks",
                  "risks"},
                 "at the top of the model");
  auto section = [&](const char* name) -> const toml::table* {
    const toml::node* n = root.get(name);
    if (n == nullptr) return nullptr;
    if (!n->is_table()) {
      diag.error(pos(n->source()), std::string("'") + name + "' must be a table: [" + name + "]");
      return nullptr;
    }
    return n->as_table();
  };

  NameClaims names;
  r.use_constants(m);
  if (const toml::table* t = section("constants")) read_constants(*t, r, names, m);
  if (const toml::table* t = section("model")) read_model_section(*t, r, m);
  // A task network may stand alone: its finish (and cost) are outputs.
  const toml::table* tasks = section("tasks");
  const toml::table* schedule = section("schedule");
  const bool imported = schedule != nullptr && schedule->get("file") != nullptr;
  const bool network = (tasks != nullptr && !tasks->empty()) || imported;
  const toml::table* inputs = section("inputs");
  if (inputs != nullptr && !inputs->empty())
    read_inputs(*inputs, r, names, m);
  else if (!network)
    diag.error({1, 1}, "the model has no inputs: add an [inputs] table with at least one input, "
                       "or a [tasks] table");
  if (schedule != nullptr) {
    if (!network)
      diag.error(pos(root.get("schedule")->source()),
                 "[schedule] is the calendar of a task network: the model needs a [tasks] table "
                 "or a schedule 'file'");
    read_schedule(*schedule, r, m);
  }
  if (imported && tasks != nullptr)
    read_task_overrides(*tasks, r, m);
  else if (network && !imported)
    read_tasks(*tasks, r, m);
  if (imported && m.network.empty()) return m;  // the file could not be read
  // Tasks may share names with inputs, but not with constants.
  for (const Task& task : m.network.tasks)
    for (const Constant& c : m.constants)
      if (task.name == c.name)
        diag.error(task.at, "task '" + c.name + "' has the name of the constant on line " +
                                std::to_string(c.at.line) + "; rename one of them");
  if (const toml::table* t = section("risks")) {
    if (network)
      read_task_risks(*t, r, m);
    else
      diag.error(pos(root.get("risks")->source()),
                 "[risks] hit tasks: the model needs a [tasks] table (a risk of a model without "
                 "tasks is an input with dist = \"risk\")");
  }
  add_network_outputs(r, names, m);
  const toml::table* outputs = section("outputs");
  if (outputs != nullptr && !outputs->empty())
    read_outputs(*outputs, r, names, m);
  else if (!network)
    diag.error({1, 1}, "the model has no outputs: add an [outputs] table with at least one "
                       "formula, such as total = \"a + b\"");
  if (!m.outputs.empty() && m.reported_outputs().empty())
    diag.error(m.outputs.back().at, "every output says report = false: at least one must be "
                                    "reported");
  if (const toml::table* t = section("run")) read_run(*t, r, m);
  if (const toml::table* t = section("correlation")) read_correlation(*t, r, m);
  note_draws(m);
  return m;
}

}  // namespace velmsim
