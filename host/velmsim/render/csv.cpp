#include <cstdio>

#include "host/velmsim/render/render.h"

namespace velmsim {

// A field as CSV writes it: quoted, with its quotes doubled, when it holds a
// comma, a quote or a line break (a task's name may hold any).
std::string csv_field(const std::string& name) {
  if (name.find_first_of(",\"\r\n") == std::string::npos) return name;
  std::string quoted = "\"";
  for (char c : name) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
  return quoted + "\"";
}

void csv_rows(const Model& model, const Samples& s,
              const std::function<void(std::string_view)>& out) {
  constexpr std::size_t kPiece = std::size_t{1} << 16;
  const TaskNetwork& net = model.network;
  const NetworkSamples& w = s.network;
  std::string t = "iteration";
  for (const Column& c : model.columns) t += "," + c.name;
  for (const Task& task : net.tasks) {
    for (const char* part : {".duration", ".start", ".finish", ".critical"})
      t += "," + csv_field(task.name + part);
    if (task.p) t += "," + csv_field(task.name + ".exists");
  }
  for (std::size_t r = 0; r < net.risks.size(); ++r) {
    const std::string& name = net.risks[r].name;
    t += "," + csv_field(name + ".occurred");
    if (!w.delay[r].empty()) t += "," + csv_field(name + ".delay");
    if (!w.factor[r].empty()) t += "," + csv_field(name + ".factor");
    if (!w.cost[r].empty()) t += "," + csv_field(name + ".cost");
  }
  for (const Output& o : model.outputs) t += "," + o.name;
  t += "\n";
  // One buffer, handed on whenever it holds a piece, so that memory does not
  // grow with the run.
  t.reserve(t.size() + kPiece);
  char value[32];  // ",%.9g" of a float takes at most 16 characters
  const auto append = [&](float x) {
    const int k = std::snprintf(value, sizeof value, ",%.9g", static_cast<double>(x));
    t.append(value, static_cast<std::size_t>(k));
  };
  for (int i = 0; i < s.n; ++i) {
    const auto u = static_cast<std::size_t>(i);
    t += std::to_string(i + 1);
    for (const auto& c : s.columns) append(c[u]);
    for (std::size_t k = 0; k < net.tasks.size(); ++k) {
      append(w.duration[k][u]);
      append(w.start[k][u]);
      append(w.finish[k][u]);
      t += w.critical[k][u] ? ",1" : ",0";
      if (net.tasks[k].p) t += w.exists[k][u] ? ",1" : ",0";
    }
    for (std::size_t r = 0; r < net.risks.size(); ++r) {
      t += w.occurred[r][u] ? ",1" : ",0";
      for (const auto* impact : {&w.delay[r], &w.factor[r], &w.cost[r]})
        if (!impact->empty()) append((*impact)[u]);
    }
    for (const auto& o : s.outputs) append(o[u]);
    t += "\n";
    if (t.size() >= kPiece) {
      out(t);
      t.clear();
    }
  }
  if (!t.empty()) out(t);
}

std::string csv_rows(const Model& model, const Samples& s) {
  std::string all;
  csv_rows(model, s, [&](std::string_view piece) { all += piece; });
  return all;
}

}  // namespace velmsim
