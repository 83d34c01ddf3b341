#include <cstdio>

#include "host/velmsim/render/render.h"
#include "host/velmsim/render/sample_table.h"

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
  const std::vector<SampleColumn> table = sample_table(model, s);
  std::string t = "iteration";
  for (const SampleColumn& c : table) t += "," + csv_field(c.name);
  t += "\n";
  // One buffer, handed on whenever it holds a piece, so that memory does not
  // grow with the run.
  t.reserve(t.size() + kPiece);
  char value[32];  // ",%.9g" of a float takes at most 16 characters
  for (int i = 0; i < s.n; ++i) {
    const auto u = static_cast<std::size_t>(i);
    t += std::to_string(i + 1);
    for (const SampleColumn& c : table) {
      if (c.flags) {
        t += c.flags[u] ? ",1" : ",0";
        continue;
      }
      const int k = std::snprintf(value, sizeof value, ",%.9g", static_cast<double>(c.values[u]));
      t.append(value, static_cast<std::size_t>(k));
    }
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
