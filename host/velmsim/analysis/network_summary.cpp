#include "host/velmsim/analysis/network_summary.h"

#include <algorithm>
#include <cmath>

#include "host/velmsim/analysis/summary.h"
#include "host/velmsim/model/calendar.h"

namespace velmsim {

namespace {

// Each risk switched off in turn: only the iterations in which it occurred
// change, and those are scheduled again from their own draws.
void rank_risks(const StatisticsPool& pool, const Model& model, const Network& network,
                const Samples& s, NetworkSummary& r) {
  const TaskNetwork& net = model.network;
  const auto n = static_cast<std::size_t>(s.n);
  const bool costed = net.costed();
  const std::vector<float>& finish = s.outputs[0];
  const std::optional<double> target = net.schedule.target;
  r.p80_finish = pool.first().quantiles(finish.data(), n, {0.8f})[0];
  if (costed) r.p80_cost = pool.first().quantiles(s.outputs[1].data(), n, {0.8f})[0];
  if (target) r.below_target = share_at_most(finish, n, *target);
  // The iterations without each risk, scheduled a run of 64 iterations at a
  // time (their draws read task by task), the runs spread over the pool.
  const std::size_t risks = net.risks.size();
  std::vector<std::vector<float>> f(risks, std::vector<float>(finish.begin(), finish.begin() +
                                                                                 static_cast<std::ptrdiff_t>(n)));
  std::vector<std::vector<float>> c(
      costed ? risks : 0,
      costed ? std::vector<float>(s.outputs[1].begin(), s.outputs[1].begin() + static_cast<std::ptrdiff_t>(n))
             : std::vector<float>());
  constexpr std::size_t kRun = 64;
  pool.for_each((n + kRun - 1) / kRun, [&](std::size_t run, const Statistics&) {
    const std::size_t first = run * kRun, rows = std::min(kRun, n - first);
    std::vector<NetworkDraws> draws(rows, NetworkDraws(net));
    gather_network(s.network, first, rows, draws);
    NetworkScratch w;
    for (std::size_t k = 0; k < risks; ++k)
      for (std::size_t j = 0; j < rows; ++j) {
        if (!draws[j].occurred[k]) continue;
        const auto [fi, ci] = schedule_of(model, network, draws[j], w, k);
        f[k][first + j] = static_cast<float>(fi);
        if (costed) c[k][first + j] = static_cast<float>(ci);
      }
  });
  r.risks.resize(risks);
  pool.for_each(risks, [&](std::size_t k, const Statistics& st) {
    RiskElimination& e = r.risks[k];
    e.name = net.risks[k].name;
    e.p = net.risks[k].p;
    e.rate = static_cast<double>(std::count(s.network.occurred[k].begin(),
                                            s.network.occurred[k].begin() + static_cast<std::ptrdiff_t>(n), 1)) /
             static_cast<double>(n);
    e.p80_finish = st.quantiles(f[k].data(), n, {0.8f})[0];
    e.finish_fall = static_cast<double>(r.p80_finish) - e.p80_finish;
    if (costed) {
      e.p80_cost = st.quantiles(c[k].data(), n, {0.8f})[0];
      e.cost_fall = static_cast<double>(r.p80_cost) - e.p80_cost;
    } else {
      e.p80_cost = NAN;
      e.cost_fall = NAN;
    }
    if (target) e.below_target = share_at_most(f[k], n, *target);
  });
  std::stable_sort(r.risks.begin(), r.risks.end(), [](const RiskElimination& a, const RiskElimination& b) {
    return a.finish_fall > b.finish_fall;
  });
}

JointConfidence joint_confidence(const Statistics& st, const Schedule& schedule, const Samples& s) {
  const auto n = static_cast<std::size_t>(s.n);
  const std::vector<float>& finish = s.outputs[0];
  const std::vector<float>& cost = s.outputs[1];
  JointConfidence j;
  j.confidence = schedule.confidence;
  if (schedule.target && schedule.budget) {
    std::size_t both = 0;
    for (std::size_t i = 0; i < n; ++i)
      both += finish[i] <= *schedule.target && cost[i] <= *schedule.budget ? 1 : 0;
    j.jcl = static_cast<double>(both) / static_cast<double>(n);
  }
  const std::size_t step = (n + kScatterPoints - 1) / kScatterPoints;
  for (std::size_t i = 0; i < n; i += step) j.points.emplace_back(finish[i], cost[i]);
  std::vector<float> at;
  for (int p = 50; p <= 95; p += 5) at.push_back(static_cast<float>(p) / 100.0f);
  const std::vector<float> dates = st.quantiles(finish.data(), n, at);
  // The k-th smallest cost among the iterations finishing by a date, with k
  // the confidence's share of all iterations.
  const auto k = static_cast<std::size_t>(std::ceil(schedule.confidence * static_cast<double>(n)));
  std::vector<float> by_then;
  for (float d : dates) {
    by_then.clear();
    for (std::size_t i = 0; i < n; ++i)
      if (finish[i] <= d) by_then.push_back(cost[i]);
    float budget = NAN;
    if (k >= 1 && by_then.size() >= k) {
      std::nth_element(by_then.begin(), by_then.begin() + static_cast<std::ptrdiff_t>(k - 1), by_then.end());
      budget = by_then[k - 1];
    }
    j.frontier.emplace_back(d, budget);
  }
  return j;
}

// The period ends up to the latest finish of the run: calendar months
// (years beyond ten of them; working weeks when the P90 finish comes within
// three months), or blocks of 20 working days without a start date; at most
// kMaxPeriods, the last one ending at the latest finish.
constexpr std::size_t kMaxPeriods = 240;

CashFlow periods(const Schedule& schedule, float p90, float last) {
  CashFlow c;
  if (!schedule.start) {
    const double step = std::max(20.0, std::ceil(last / static_cast<double>(kMaxPeriods)));
    for (double d = step; c.ends.empty() || c.ends.back() < last; d += step) c.ends.push_back(d);
    c.period = "block of working days";
    return c;
  }
  const int start = *schedule.start;
  c.weeks = date_after(schedule, p90) - start < 90;
  const bool years = !c.weeks && date_after(schedule, last) - start > 3660;
  c.period = c.weeks ? "week" : years ? "year" : "month";
  int worked = 0;  // working days from the start through `day - 1`
  for (int day = start + 1; c.ends.empty() || c.ends.back() < last; ++day) {
    worked += is_working_day(schedule, day - 1) ? 1 : 0;
    // A period ends on the day before a Monday, a month's 1st or January 1st.
    const std::string date = date_text(day);
    const bool boundary = c.weeks ? weekday(day) == 0
                          : years ? date.substr(5) == "01-01"
                                  : date.substr(8) == "01";
    if (!boundary) continue;
    if (c.ends.size() + 1 == kMaxPeriods) {
      c.ends.push_back(last);
      c.end_dates.push_back(date_after(schedule, last));
      break;
    }
    c.ends.push_back(worked);
    c.end_dates.push_back(day - 1);
  }
  return c;
}

CashFlow cash_flow(const StatisticsPool& pool, const Model& model, const Samples& s) {
  const TaskNetwork& net = model.network;
  const NetworkSamples& w = s.network;
  const auto n = static_cast<std::size_t>(s.n);
  const std::vector<float>& finish = s.outputs[0];
  const float p90 = pool.first().quantiles(finish.data(), n, {0.9f})[0];
  CashFlow c = periods(net.schedule, p90, *std::max_element(finish.begin(), finish.begin() + s.n));
  const std::size_t m = c.ends.size();
  // spent[b][i]: the cost of iteration i spent by the end of period b.
  std::vector<std::vector<float>> spent(m, std::vector<float>(n));
  constexpr std::size_t kRun = 64;
  pool.for_each((n + kRun - 1) / kRun, [&](std::size_t run, const Statistics&) {
    const std::size_t first = run * kRun, rows = std::min(kRun, n - first);
    std::vector<double> total(rows * m, 0.0);
    // The amount spread evenly over [from, to] (all of it at `from` when
    // to <= from): in part to the periods ending within, in full from the
    // first period ending at or after `to` on (kept as a difference, summed
    // once at the end).
    std::vector<double> full(rows * (m + 1), 0.0);
    auto add = [&](std::size_t j, double from, double to, double amount) {
      std::size_t b = static_cast<std::size_t>(
          std::lower_bound(c.ends.begin(), c.ends.end(), from) - c.ends.begin());
      for (; b < m && c.ends[b] < to; ++b) total[j * m + b] += amount * (c.ends[b] - from) / (to - from);
      full[j * (m + 1) + b] += amount;
    };
    for (std::size_t t = 0; t < net.tasks.size(); ++t) {
      const Task& task = net.tasks[t];
      if (task.fixed_cost == 0 && task.cost_per_day == 0) continue;
      for (std::size_t j = 0; j < rows; ++j) {
        const std::size_t i = first + j;
        if (!w.exists[t][i]) continue;
        add(j, w.start[t][i], w.finish[t][i], task.fixed_cost + task.cost_per_day * w.duration[t][i]);
      }
    }
    for (std::size_t k = 0; k < net.risks.size(); ++k) {
      if (!net.risks[k].cost) continue;
      const std::size_t t = net.risks[k].tasks.front();
      for (std::size_t j = 0; j < rows; ++j) {
        const std::size_t i = first + j;
        if (w.occurred[k][i]) add(j, w.start[t][i], w.start[t][i], w.cost[k][i]);
      }
    }
    for (std::size_t j = 0; j < rows; ++j) {
      double running = 0;
      for (std::size_t b = 0; b < m; ++b) {
        running += full[j * (m + 1) + b];
        spent[b][first + j] = static_cast<float>(total[j * m + b] + running);
      }
    }
  });
  c.p10.resize(m);
  c.p50.resize(m);
  c.p90.resize(m);
  pool.for_each(m, [&](std::size_t b, const Statistics& st) {
    const std::vector<float> q = st.quantiles(spent[b].data(), n, {0.1f, 0.5f, 0.9f});
    c.p10[b] = q[0];
    c.p50[b] = q[1];
    c.p90[b] = q[2];
  });
  return c;
}

}  // namespace

NetworkSummary summarise_network(const StatisticsPool& pool, const Model& model,
                                 const Network& network, const Samples& s) {
  const TaskNetwork& net = model.network;
  const NetworkSamples& w = s.network;
  const auto n = static_cast<std::size_t>(s.n);
  const std::size_t count = net.tasks.size();
  NetworkSummary r;
  r.schedule = net.schedule;
  r.file = net.file;
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
  rank_risks(pool, model, network, s, r);
  if (net.costed()) {
    r.joint = joint_confidence(pool.first(), net.schedule, s);
    r.cash = cash_flow(pool, model, s);
  }
  // Most critical first; then the most crucial; then file order.
  std::stable_sort(r.tasks.begin(), r.tasks.end(), [](const TaskLine& a, const TaskLine& b) {
    const float ca = std::isnan(a.cruciality) ? 0.0f : std::fabs(a.cruciality);
    const float cb = std::isnan(b.cruciality) ? 0.0f : std::fabs(b.cruciality);
    return a.criticality != b.criticality ? a.criticality > b.criticality : ca > cb;
  });
  return r;
}

}  // namespace velmsim
