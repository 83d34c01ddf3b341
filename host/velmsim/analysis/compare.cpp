#include "host/velmsim/analysis/compare.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>
#include <string>

namespace velmsim {

namespace {

bool same_input(const Input& x, const Input& y) {
  if (x.kind != y.kind) return false;
  switch (x.kind) {
    case InputKind::plain: return x.draw == y.draw;
    case InputKind::pair:
      return x.pair.mean == y.pair.mean && x.pair.sd == y.pair.sd && x.pair.rho == y.pair.rho;
    case InputKind::risk:
      return x.risk.p == y.risk.p && x.risk.impact == y.risk.impact &&
             (x.risk.impact || x.risk.impact_value == y.risk.impact_value);
  }
  return false;
}

// True when the two inputs take the same number of uniforms in every
// iteration: a risk is its yes/no draw and its impact's.
bool same_input_uniforms(const Input& x, const Input& y) {
  if (x.kind != y.kind) return false;
  switch (x.kind) {
    case InputKind::plain: return same_uniforms(x.draw, y.draw);
    case InputKind::pair: return true;
    case InputKind::risk: {
      Draw px, py;
      px.dist = py.dist = Dist::yesno;
      px.arg[0] = x.risk.p;
      py.arg[0] = y.risk.p;
      if (!same_uniforms(px, py) || x.risk.impact.has_value() != y.risk.impact.has_value())
        return false;
      return !x.risk.impact || same_uniforms(*x.risk.impact, *y.risk.impact);
    }
  }
  return false;
}

std::string input_name(const Input& in) {
  return in.kind == InputKind::pair ? in.pair.names[0] + "/" + in.pair.names[1] : in.name;
}

// A's name of an input, with B's when it differs.
std::string pair_name(const Input& x, const Input& y) {
  const std::string na = input_name(x), nb = input_name(y);
  return na == nb ? na : na + " (B: " + nb + ")";
}

// What a task or a risk of a network draws, part by part: each part a draw,
// or a constant (none: it takes no uniform).
struct NetworkItem {
  std::string name;
  std::vector<std::optional<Draw>> draws;
  std::vector<float> values;  // the constants
  std::optional<std::size_t> task;
};

std::vector<NetworkItem> network_items(const TaskNetwork& net) {
  std::vector<NetworkItem> items;
  auto add = [](NetworkItem& item, const Amount& a) {
    item.draws.push_back(a.draw);
    item.values.push_back(a.draw ? 0.0f : a.value);
  };
  auto yesno = [](float p) {
    Draw d;
    d.dist = Dist::yesno;
    d.arg[0] = p;
    return d;
  };
  for (std::size_t t = 0; t < net.tasks.size(); ++t) {
    const Task& task = net.tasks[t];
    NetworkItem item{"task " + task.name, {}, {}, t};
    if (task.p) add(item, {yesno(*task.p), 0.0f});
    add(item, task.duration);
    items.push_back(std::move(item));
  }
  for (const TaskRisk& risk : net.risks) {
    NetworkItem item{"risk " + risk.name, {}, {}, std::nullopt};
    add(item, {yesno(risk.p), 0.0f});
    // An impact the risk does not have draws nothing, like a constant.
    for (const auto* a : {&risk.delay, &risk.factor, &risk.cost}) add(item, a->value_or(Amount{}));
    items.push_back(std::move(item));
  }
  return items;
}

// Whether two network items take the same uniforms, and draw the same values.
bool same_item_uniforms(const NetworkItem& x, const NetworkItem& y) {
  if (x.draws.size() != y.draws.size()) return false;
  for (std::size_t i = 0; i < x.draws.size(); ++i)
    if (x.draws[i].has_value() != y.draws[i].has_value() ||
        (x.draws[i] && !same_uniforms(*x.draws[i], *y.draws[i])))
      return false;
  return true;
}

bool same_item(const NetworkItem& x, const NetworkItem& y) {
  return x.draws == y.draws && x.values == y.values;
}

// Whether input k's column is among those the plan's correlation reorders.
bool reordered(const Plan& plan, std::size_t input) {
  for (std::size_t v : plan.correlation.variables)
    if (!plan.model->variable_task(v) && plan.model->columns[v].input == input) return true;
  return false;
}

}  // namespace

SharedDraws shared_draws(const Plan& pa, const Plan& pb) {
  const Model &a = *pa.model, &b = *pb.model;
  SharedDraws s;
  const std::size_t common = std::min(a.inputs.size(), b.inputs.size());
  // Rank correlation reorders its inputs' draws within each block; both
  // models reorder alike when they correlate the same columns to the same
  // target (the keys that shuffle the scores depend on the seed alone).
  const CorrelationPlan &ca = pa.correlation, &cb = pb.correlation;
  const bool alike = ca.variables == cb.variables && ca.target.a == cb.target.a;
  // Input k starts at the same place in both streams while every input
  // before it took the same number of uniforms in both.
  std::size_t k = 0;
  for (bool aligned = true; k < common && aligned; ++k) {
    const Input& x = a.inputs[k];
    const Input& y = b.inputs[k];
    if (x.kind != y.kind || (x.kind == InputKind::plain && x.draw.dist != y.draw.dist)) break;
    if (!alike && (reordered(pa, k) || reordered(pb, k)))
      s.reordered.push_back(pair_name(x, y));
    else
      (same_input(x, y) ? s.same_values : s.same_start).push_back(pair_name(x, y));
    aligned = same_input_uniforms(x, y);
  }
  for (std::size_t i = k; i < a.inputs.size(); ++i) s.unmatched_a.push_back(input_name(a.inputs[i]));
  for (std::size_t i = k; i < b.inputs.size(); ++i) s.unmatched_b.push_back(input_name(b.inputs[i]));
  // A network's tasks and risks draw after every input, in file order: they
  // are paired while every draw before them was.
  const std::vector<NetworkItem> na = network_items(a.network), nb = network_items(b.network);
  bool aligned = s.unmatched_a.empty() && s.unmatched_b.empty() &&
                 (a.inputs.empty() || same_input_uniforms(a.inputs.back(), b.inputs.back()));
  std::size_t j = 0;
  for (; j < std::min(na.size(), nb.size()) && aligned; ++j) {
    const NetworkItem &x = na[j], &y = nb[j];
    aligned = same_item_uniforms(x, y);
    if (!aligned) break;
    const std::string name = x.name == y.name ? x.name : x.name + " (B: " + y.name + ")";
    auto correlated = [](const CorrelationPlan& c, const Model& m, std::optional<std::size_t> t) {
      return t && std::count(c.variables.begin(), c.variables.end(), m.columns.size() + *t) > 0;
    };
    if (!alike && (correlated(ca, a, x.task) || correlated(cb, b, y.task)))
      s.reordered.push_back(name);
    else
      (same_item(x, y) ? s.same_values : s.same_start).push_back(name);
  }
  for (std::size_t i = j; i < na.size(); ++i) s.unmatched_a.push_back(na[i].name);
  for (std::size_t i = j; i < nb.size(); ++i) s.unmatched_b.push_back(nb[i].name);
  return s;
}

DifferenceSummary summarise_difference(const Statistics& st, const std::vector<float>& ya,
                                       const std::vector<float>& yb, int n,
                                       const std::vector<double>& percentiles, int classes) {
  DifferenceSummary d;
  const auto count = static_cast<std::size_t>(n);
  std::vector<float> x(count);
  std::size_t greater = 0;
  for (std::size_t i = 0; i < count; ++i) {
    x[i] = static_cast<float>(static_cast<double>(yb[i]) - static_cast<double>(ya[i]));
    greater += yb[i] > ya[i] ? 1 : 0;
  }
  d.b_greater = static_cast<double>(greater) / n;
  d.overflow = static_cast<int>(
      std::count_if(x.begin(), x.end(), [](float v) { return !std::isfinite(v); }));
  if (d.overflow > 0) {
    d.mean = d.sd = d.min = d.max = std::numeric_limits<float>::quiet_NaN();
    return d;
  }
  const Spread s = spread(st, x.data(), count, percentiles);
  d.constant = s.constant;
  d.mean = s.stat[0];
  d.sd = s.stat[2];
  d.min = s.stat[5];
  d.max = s.stat[6];
  d.percentiles = s.percentiles;
  d.histogram = central_histogram(st, x.data(), count, s, classes);
  return d;
}

Comparison compare_runs(const ComparePlans& plans, const RunResult& ra, const RunResult& rb,
                        const StatisticsPool& pool, const Libraries& libraries) {
  const Model &a = *plans.a.model, &b = *plans.b.model;
  const Plan& plan = plans.a;
  Comparison c;
  c.version = velmsim_version();
  c.a = {a.path, sha256_hex(a.text), a.name};
  c.b = {b.path, sha256_hex(b.text), b.name};
  c.libraries = libraries;
  c.seed = plan.seed;
  c.clock_seed = plan.clock_seed;
  c.threads = plan.threads;
  c.block = plan.block;
  c.unused = plans.unused;
  c.iterations = ra.samples.n;
  c.shared = shared_draws(plans.a, plans.b);
  const auto n = static_cast<std::size_t>(ra.samples.n);
  std::vector<std::pair<std::size_t, std::size_t>> shared;  // (A's index, B's)
  for (std::size_t i : a.reported_outputs()) {
    std::size_t j = 0;
    while (j < b.outputs.size() && b.outputs[j].name != a.outputs[i].name) ++j;
    if (j == b.outputs.size())
      c.only_a.push_back(a.outputs[i].name);
    else
      shared.emplace_back(i, j);
  }
  c.outputs.resize(shared.size());
  pool.for_each(shared.size(), [&](std::size_t k, const Statistics& st) {
    const auto [i, j] = shared[k];
    const std::vector<float>&ya = ra.samples.outputs[i], &yb = rb.samples.outputs[j];
    OutputComparison& o = c.outputs[k];
    o.name = a.outputs[i].name;
    o.currency = a.outputs[i].currency;
    o.formula_a = a.outputs[i].formula;
    o.formula_b = b.outputs[j].formula;
    o.a = spread(st, ya.data(), n, plan.percentiles);
    o.b = spread(st, yb.data(), n, plan.percentiles);
    auto row = [](const char* label, float x, float y) {
      return SideBySide{label, x, y, static_cast<double>(y) - static_cast<double>(x)};
    };
    o.rows = {row("Mean", o.a.stat[0], o.b.stat[0]), row("P50", o.a.p50, o.b.p50),
              row("P80", o.a.p80, o.b.p80)};
    o.difference = summarise_difference(st, ya, yb, ra.samples.n, plan.percentiles, plan.classes);
  });
  for (const Output& y : b.outputs) {
    const bool in_a = std::any_of(a.outputs.begin(), a.outputs.end(),
                                  [&](const Output& x) { return x.name == y.name && x.report; });
    if (!in_a && y.report) c.only_b.push_back(y.name);
  }
  return c;
}

}  // namespace velmsim
