#include "host/velmsim/render/format.h"
#include "host/velmsim/render/render.h"

namespace velmsim {

std::string csv_rows(const Model& model, const Samples& s) {
  std::string t = "iteration";
  for (const Column& c : model.columns) t += "," + c.name;
  for (const Output& o : model.outputs) t += "," + o.name;
  t += "\n";
  for (int i = 0; i < s.n; ++i) {
    const auto u = static_cast<std::size_t>(i);
    t += std::to_string(i + 1);
    for (const auto& c : s.columns) t += format(",%.9g", static_cast<double>(c[u]));
    for (const auto& o : s.outputs) t += format(",%.9g", static_cast<double>(o[u]));
    t += "\n";
  }
  return t;
}

}  // namespace velmsim
