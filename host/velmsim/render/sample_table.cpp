#include "host/velmsim/render/sample_table.h"

namespace velmsim {

std::vector<SampleColumn> sample_table(const Model& model, const Samples& s) {
  std::vector<SampleColumn> table;
  for (std::size_t c = 0; c < model.columns.size(); ++c)
    table.push_back({model.columns[c].name, s.columns[c].data(), nullptr});
  const TaskNetwork& net = model.network;
  const NetworkSamples& w = s.network;
  for (std::size_t k = 0; k < net.tasks.size(); ++k) {
    const std::string& name = net.tasks[k].name;
    table.push_back({name + ".duration", w.duration[k].data(), nullptr});
    table.push_back({name + ".start", w.start[k].data(), nullptr});
    table.push_back({name + ".finish", w.finish[k].data(), nullptr});
    table.push_back({name + ".critical", nullptr, w.critical[k].data()});
    if (net.tasks[k].p) table.push_back({name + ".exists", nullptr, w.exists[k].data()});
  }
  for (std::size_t r = 0; r < net.risks.size(); ++r) {
    const std::string& name = net.risks[r].name;
    table.push_back({name + ".occurred", nullptr, w.occurred[r].data()});
    if (!w.delay[r].empty()) table.push_back({name + ".delay", w.delay[r].data(), nullptr});
    if (!w.factor[r].empty()) table.push_back({name + ".factor", w.factor[r].data(), nullptr});
    if (!w.cost[r].empty()) table.push_back({name + ".cost", w.cost[r].data(), nullptr});
  }
  for (std::size_t o = 0; o < model.outputs.size(); ++o)
    table.push_back({model.outputs[o].name, s.outputs[o].data(), nullptr});
  return table;
}

}  // namespace velmsim
