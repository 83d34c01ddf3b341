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
  s.redraws.assign(static_cast<std::size_t>(model.redraw_slots), std::vector<std::uint32_t>(n));
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
                    std::uint8_t* occurred, float* impact, std::uint32_t* redraws) {
  for (const Input& in : model.inputs) {
    switch (in.kind) {
      case InputKind::plain: *row++ = x.draw(in.draw, redraws); break;
      case InputKind::pair: {
        const Pair& p = in.pair;
        x.crnormal(&p.mean[0], &p.sd[0], &p.mean[1], &p.sd[1], &p.rho, row, row + 1);
        row += 2;
        break;
      }
      case InputKind::risk: {
        const Risk& r = in.risk;
        const bool yes = x.yesno(&r.p) != 0;
        const float size = r.impact ? x.draw(*r.impact, redraws) : r.impact_value;
        *row++ = yes ? size : 0.0f;
        *occurred++ = yes ? 1 : 0;
        *impact++ = size;
        break;
      }
    }
  }
}

NetworkDraws::NetworkDraws(const TaskNetwork& net)
    : drawn(net.tasks.size()), exists(net.tasks.size()), occurred(net.risks.size()),
      delay(net.risks.size()), factor(net.risks.size()), cost(net.risks.size()) {}

void draw_network(const SamplingExports& x, const Model& model, NetworkDraws& d,
                  std::uint32_t* redraws) {
  const TaskNetwork& net = model.network;
  auto amount = [&](const Amount& a) { return a.draw ? x.draw(*a.draw, redraws) : a.value; };
  for (std::size_t t = 0; t < net.tasks.size(); ++t) {
    const Task& task = net.tasks[t];
    d.exists[t] = task.p ? static_cast<std::uint8_t>(x.yesno(&*task.p) != 0) : 1;
    d.drawn[t] = amount(task.duration);
  }
  for (std::size_t r = 0; r < net.risks.size(); ++r) {
    const TaskRisk& risk = net.risks[r];
    d.occurred[r] = static_cast<std::uint8_t>(x.yesno(&risk.p) != 0);
    if (risk.delay) d.delay[r] = amount(*risk.delay);
    if (risk.factor) d.factor[r] = amount(*risk.factor);
    if (risk.cost) d.cost[r] = amount(*risk.cost);
  }
}

void gather_network(const NetworkSamples& s, std::size_t first, std::size_t rows,
                    std::vector<NetworkDraws>& d) {
  const std::size_t tasks = s.drawn.size(), risks = s.occurred.size();
  for (std::size_t t = 0; t < tasks; ++t)
    for (std::size_t r = 0; r < rows; ++r) {
      d[r].drawn[t] = s.drawn[t][first + r];
      d[r].exists[t] = s.exists[t][first + r];
    }
  for (std::size_t k = 0; k < risks; ++k)
    for (std::size_t r = 0; r < rows; ++r) {
      d[r].occurred[k] = s.occurred[k][first + r];
      d[r].delay[k] = s.delay[k].empty() ? 0.0f : s.delay[k][first + r];
      d[r].factor[k] = s.factor[k].empty() ? 0.0f : s.factor[k][first + r];
      d[r].cost[k] = s.cost[k].empty() ? 0.0f : s.cost[k][first + r];
    }
}

std::pair<double, double> schedule_of(const Model& model, const Network& network,
                                      const NetworkDraws& draws, NetworkScratch& w,
                                      std::optional<std::size_t> without) {
  const TaskNetwork& net = model.network;
  const std::size_t tasks = net.tasks.size();
  w.d.resize(tasks);
  for (std::size_t t = 0; t < tasks; ++t)
    w.d[t] = draws.exists[t] ? std::max(static_cast<double>(draws.drawn[t]), 0.0) : 0.0;
  // Risks in file order: a delay adds to each task it hits, then a factor
  // multiplies its duration; a task that does not exist stays at 0.
  double cost = 0;
  for (std::size_t r = 0; r < net.risks.size(); ++r) {
    if (!draws.occurred[r] || r == without) continue;
    const TaskRisk& risk = net.risks[r];
    for (std::size_t t : risk.tasks) {
      if (!draws.exists[t]) continue;
      if (risk.delay) w.d[t] += draws.delay[r];
      if (risk.factor) w.d[t] *= draws.factor[r];
      w.d[t] = std::max(w.d[t], 0.0);
    }
    if (risk.cost) cost += draws.cost[r];
  }
  network.pass(w.d.data(), draws.exists.data(), w.times);
  for (std::size_t t = 0; t < tasks; ++t)
    if (draws.exists[t]) cost += net.tasks[t].fixed_cost + net.tasks[t].cost_per_day * w.d[t];
  return {w.times.project_finish, cost};
}

void store_draws(const Model& model, const std::vector<NetworkDraws>& d, std::size_t first,
                 std::size_t rows, NetworkSamples& s) {
  const TaskNetwork& net = model.network;
  for (std::size_t t = 0; t < net.tasks.size(); ++t)
    for (std::size_t r = 0; r < rows; ++r) {
      const std::size_t i = first + r;
      s.drawn[t][i] = d[r].drawn[t];
      s.exists[t][i] = d[r].exists[t];
    }
  for (std::size_t k = 0; k < net.risks.size(); ++k)
    for (std::size_t r = 0; r < rows; ++r) {
      const std::size_t i = first + r;
      s.occurred[k][i] = d[r].occurred[k];
      if (!s.delay[k].empty()) s.delay[k][i] = d[r].delay[k];
      if (!s.factor[k].empty()) s.factor[k][i] = d[r].factor[k];
      if (!s.cost[k].empty()) s.cost[k][i] = d[r].cost[k];
    }
}

void store_schedules(const Model& model, const std::vector<NetworkScratch>& w, std::size_t first,
                     std::size_t rows, NetworkSamples& s) {
  for (std::size_t t = 0; t < model.network.tasks.size(); ++t)
    for (std::size_t r = 0; r < rows; ++r) {
      const std::size_t i = first + r;
      s.duration[t][i] = static_cast<float>(w[r].d[t]);
      s.start[t][i] = static_cast<float>(w[r].times.start[t]);
      s.finish[t][i] = static_cast<float>(w[r].times.finish[t]);
      s.critical[t][i] = w[r].times.critical[t];
      s.clamped[t][i] = s.exists[t][i] && s.drawn[t][i] < 0;
    }
}

}  // namespace velmsim
