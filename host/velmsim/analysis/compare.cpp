#include "host/velmsim/analysis/compare.h"

#include <algorithm>
#include <cmath>
#include <limits>

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

// Whether input k's column is among those the plan's correlation reorders.
bool reordered(const Plan& plan, std::size_t input) {
  for (std::size_t c : plan.correlation.columns)
    if (plan.model->columns[c].input == input) return true;
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
  const bool alike = ca.columns == cb.columns && ca.target.a == cb.target.a;
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
