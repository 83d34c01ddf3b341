#include "host/velmsim/analysis/network_summary.h"

#include <algorithm>
#include <cmath>

#include "host/velmsim/analysis/summary.h"

namespace velmsim {

NetworkSummary summarise_network(const StatisticsPool& pool, const Model& model,
                                 const Network& network, const Samples& s) {
  const TaskNetwork& net = model.network;
  const NetworkSamples& w = s.network;
  const auto n = static_cast<std::size_t>(s.n);
  const std::size_t count = net.tasks.size();
  NetworkSummary r;
  r.schedule = net.schedule;
  r.start = net.schedule.start;

  std::vector<double> planned;
  for (const Task& t : net.tasks) planned.push_back(t.planned);
  Network::Times plan;
  network.pass(planned.data(), nullptr, plan);
  r.plan_finish = plan.project_finish;
  const std::vector<float>& finish = s.outputs[0];
  r.plan_confidence =
      static_cast<double>(std::count_if(finish.begin(), finish.begin() + s.n, [&](float f) {
        return static_cast<double>(f) <= r.plan_finish;
      })) / static_cast<double>(n);

  r.tasks.resize(count);
  std::vector<const float*> durations;
  for (std::size_t t = 0; t < count; ++t) durations.push_back(w.duration[t].data());
  const std::vector<float> rho = rank_correlations(pool, finish.data(), durations, n);
  const float finish_sd = pool.first().describe(finish.data(), n).stat[2];
  pool.for_each(count, [&](std::size_t t, const Statistics& st) {
    TaskLine& line = r.tasks[t];
    line.name = net.tasks[t].name;
    line.maybe = net.tasks[t].p.has_value();
    auto share = [&](const std::vector<std::uint8_t>& flags) {
      return static_cast<double>(std::count(flags.begin(), flags.begin() + s.n, 1)) /
             static_cast<double>(n);
    };
    line.criticality = share(w.critical[t]);
    line.existed = share(w.exists[t]);
    line.clamped = static_cast<int>(std::count(w.clamped[t].begin(), w.clamped[t].begin() + s.n, 1));
    line.cruciality = rho[t];
    const float sd = st.describe(w.duration[t].data(), n).stat[2];
    line.sensitivity = finish_sd > 0 ? line.criticality * sd / finish_sd : NAN;
    line.mean_finish = st.describe(w.finish[t].data(), n).stat[0];
    line.p80_finish = st.quantiles(w.finish[t].data(), n, {0.8f})[0];
  });
  // Most critical first; then the most crucial; then file order.
  std::stable_sort(r.tasks.begin(), r.tasks.end(), [](const TaskLine& a, const TaskLine& b) {
    const float ca = std::isnan(a.cruciality) ? 0.0f : std::fabs(a.cruciality);
    const float cb = std::isnan(b.cruciality) ? 0.0f : std::fabs(b.cruciality);
    return a.criticality != b.criticality ? a.criticality > b.criticality : ca > cb;
  });
  return r;
}

}  // namespace velmsim
