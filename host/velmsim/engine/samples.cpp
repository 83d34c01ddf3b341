#include "host/velmsim/engine/samples.h"

#include <algorithm>

namespace velmsim {

void allocate(const Model& model, int limit, Samples& s) {
  const auto n = static_cast<std::size_t>(limit);
  s.columns.assign(model.columns.size(), std::vector<float>(n));
  s.outputs.assign(model.outputs.size(), std::vector<float>(n));
  s.risks.clear();
  for (std::size_t k = 0; k < model.inputs.size(); ++k)
    if (model.inputs[k].kind == InputKind::risk) s.risks.push_back(k);
  s.occurred.assign(s.risks.size(), std::vector<std::uint8_t>(n));
  s.impacts.assign(s.risks.size(), std::vector<float>(n));
  const TaskNetwork& net = model.network;
  NetworkSamples& w = s.network;
  const std::size_t tasks = net.tasks.size(), risks = net.risks.size();
  for (auto* v : {&w.drawn, &w.duration, &w.start, &w.finish}) v->assign(tasks, std::vector<float>(n));
  for (auto* v : {&w.exists, &w.critical, &w.clamped}) v->assign(tasks, std::vector<std::uint8_t>(n));
  w.occurred.assign(risks, std::vector<std::uint8_t>(n));
  w.delay.assign(risks, {});
  w.factor.assign(risks, {});
  w.cost.assign(risks, {});
  for (std::size_t r = 0; r < risks; ++r) {
    if (net.risks[r].delay) w.delay[r].resize(n);
    if (net.risks[r].factor) w.factor[r].resize(n);
    if (net.risks[r].cost) w.cost[r].resize(n);
  }
}

void draw_iteration(const SamplingExports& x, const Model& model, float* row,
                    std::uint8_t* occurred, float* impact) {
  for (const Input& in : model.inputs) {
    switch (in.kind) {
      case InputKind::plain: *row++ = x.draw(in.draw); break;
      case InputKind::pair: {
        const Pair& p = in.pair;
        x.crnormal(&p.mean[0], &p.sd[0], &p.mean[1], &p.sd[1], &p.rho, row, row + 1);
        row += 2;
        break;
      }
      case InputKind::risk: {
        const Risk& r = in.risk;
        const bool yes = x.yesno(&r.p) != 0;
        const float size = r.impact ? x.draw(*r.impact) : r.impact_value;
        *row++ = yes ? size : 0.0f;
        *occurred++ = yes ? 1 : 0;
        *impact++ = size;
        break;
      }
    }
  }
}

void draw_network(const SamplingExports& x, const Model& model, std::size_t i, NetworkSamples& s) {
  const TaskNetwork& net = model.network;
  auto amount = [&](const Amount& a) { return a.draw ? x.draw(*a.draw) : a.value; };
  for (std::size_t t = 0; t < net.tasks.size(); ++t) {
    const Task& task = net.tasks[t];
    s.exists[t][i] = task.p ? static_cast<std::uint8_t>(x.yesno(&*task.p) != 0) : 1;
    s.drawn[t][i] = amount(task.duration);
  }
  for (std::size_t r = 0; r < net.risks.size(); ++r) {
    const TaskRisk& risk = net.risks[r];
    s.occurred[r][i] = static_cast<std::uint8_t>(x.yesno(&risk.p) != 0);
    if (risk.delay) s.delay[r][i] = amount(*risk.delay);
    if (risk.factor) s.factor[r][i] = amount(*risk.factor);
    if (risk.cost) s.cost[r][i] = amount(*risk.cost);
  }
}

std::pair<double, double> schedule_of(const Model& model, const Network& network, std::size_t i,
                                      const NetworkSamples& s, NetworkScratch& w,
                                      std::optional<std::size_t> without) {
  const TaskNetwork& net = model.network;
  const std::size_t tasks = net.tasks.size();
  w.d.resize(tasks);
  w.exists.resize(tasks);
  for (std::size_t t = 0; t < tasks; ++t) {
    w.exists[t] = s.exists[t][i];
    w.d[t] = w.exists[t] ? std::max(static_cast<double>(s.drawn[t][i]), 0.0) : 0.0;
  }
  // Risks in file order: a delay adds to each task it hits, then a factor
  // multiplies its duration; a task that does not exist stays at 0.
  double cost = 0;
  for (std::size_t r = 0; r < net.risks.size(); ++r) {
    if (!s.occurred[r][i] || r == without) continue;
    const TaskRisk& risk = net.risks[r];
    for (std::size_t t : risk.tasks) {
      if (!w.exists[t]) continue;
      if (risk.delay) w.d[t] += s.delay[r][i];
      if (risk.factor) w.d[t] *= s.factor[r][i];
      w.d[t] = std::max(w.d[t], 0.0);
    }
    if (risk.cost) cost += s.cost[r][i];
  }
  network.pass(w.d.data(), w.exists.data(), w.times);
  for (std::size_t t = 0; t < tasks; ++t)
    if (w.exists[t]) cost += net.tasks[t].fixed_cost + net.tasks[t].cost_per_day * w.d[t];
  return {w.times.project_finish, cost};
}

std::pair<float, float> schedule_iteration(const Model& model, const Network& network,
                                           std::size_t i, NetworkSamples& s, NetworkScratch& w) {
  const auto [finish, cost] = schedule_of(model, network, i, s, w, std::nullopt);
  for (std::size_t t = 0; t < model.network.tasks.size(); ++t) {
    s.clamped[t][i] = s.exists[t][i] && s.drawn[t][i] < 0;
    s.duration[t][i] = static_cast<float>(w.d[t]);
    s.start[t][i] = static_cast<float>(w.times.start[t]);
    s.finish[t][i] = static_cast<float>(w.times.finish[t]);
    s.critical[t][i] = w.times.critical[t];
  }
  return {static_cast<float>(finish), static_cast<float>(cost)};
}

}  // namespace velmsim
