#include "host/velmsim/analysis/summary.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <numeric>
#include <set>

#include "host/velmsim/analysis/percentile_interval.h"

namespace velmsim {

std::vector<double> listed_percentiles(const std::vector<double>& asked) {
  std::set<double> wanted(asked.begin(), asked.end());
  wanted.insert({5.0, 95.0});
  return {wanted.begin(), wanted.end()};
}

// One call of VELMQTIL for every percentile the reports use.
Spread spread(const Statistics& st, const float* y, std::size_t n,
              const std::vector<double>& percentiles) {
  Spread s;
  s.constant = constant(y, n);
  const Statistics::Description d = st.describe(y, n);
  s.stat = d.stat;
  s.why = d.why;
  std::vector<double> percent = listed_percentiles(percentiles);
  const std::size_t shown = percent.size();
  for (double extra : {1.0, 50.0, 80.0, 99.0}) percent.push_back(extra);
  for (int i = 0; i < 99; ++i) percent.push_back(0.5 + i);  // the S-curve
  std::vector<float> prop;
  for (double p : percent) prop.push_back(static_cast<float>(p / 100.0));
  const std::vector<float> q = st.quantiles(y, n, prop);
  for (std::size_t i = 0; i < shown; ++i) s.percentiles.emplace_back(percent[i], q[i]);
  std::vector<float> sorted(y, y + n);
  std::sort(sorted.begin(), sorted.end());
  for (std::size_t i = 0; i < shown; ++i)
    s.intervals.push_back(percentile_interval(sorted, percent[i] / 100.0));
  s.p01 = q[shown];
  s.p50 = q[shown + 1];
  s.p80 = q[shown + 2];
  s.p99 = q[shown + 3];
  for (std::size_t i = shown + 4; i < q.size(); ++i) s.curve.emplace_back(q[i], prop[i]);
  return s;
}

CentralHistogram central_histogram(const Statistics& st, const float* y, std::size_t n,
                                   const Spread& s, int classes) {
  const bool spread_out = s.p01 < s.p99;
  CentralHistogram h;
  static_cast<Histogram&>(h) =
      st.histogram(y, n, spread_out ? s.p01 : s.stat[5], spread_out ? s.p99 : s.stat[6], classes);
  h.extremes = !spread_out;
  if (h.tally.empty()) return h;
  auto mass = [&](float at) {
    const auto count = std::count(y, y + n, at);
    return 100 * count >= static_cast<std::ptrdiff_t>(n) && count > 1 ? static_cast<float>(count)
                                                                        : 0.0f;
  };
  h.at_low = mass(h.low);
  h.at_high = mass(h.high);
  return h;
}

double share_at_most(const std::vector<float>& x, std::size_t n, double limit) {
  const auto below = std::count_if(x.begin(), x.begin() + static_cast<std::ptrdiff_t>(n),
                                   [limit](float v) { return static_cast<double>(v) <= limit; });
  return static_cast<double>(below) / static_cast<double>(n);
}

OutputSummary describe_output(const Statistics& st, const Model& model, const Samples& s,
                              std::size_t k, const std::vector<double>& percentiles, int classes) {
  const Output& out = model.outputs[k];
  const std::vector<float>& y = s.outputs[k];
  const auto n = static_cast<std::size_t>(s.n);
  OutputSummary o;
  static_cast<Spread&>(o) = spread(st, y.data(), n, percentiles);
  static_cast<Naming&>(o) = out;
  o.formula = out.formula;
  o.base = out.base;
  o.target = out.target;
  o.currency = out.currency;

  auto share_below = [&](double limit) { return share_at_most(y, n, limit); };
  if (o.base) {
    AgainstBase b;
    b.base = *o.base;
    b.p50_minus_base = static_cast<double>(o.p50) - b.base;
    b.p80_minus_base = static_cast<double>(o.p80) - b.base;
    if (b.base != 0) {
      b.p50_percent = 100.0 * b.p50_minus_base / b.base;
      b.p80_percent = 100.0 * b.p80_minus_base / b.base;
    }
    b.below = share_below(b.base);
    o.against_base = b;
  }
  if (o.target) o.below_target = share_below(*o.target);
  o.histogram = central_histogram(st, y.data(), n, o, classes);

  // Risk events: a risk is one column, named as the input.
  for (std::size_t j = 0; j < s.risks.size(); ++j) {
    const Input& in = model.inputs[s.risks[j]];
    RiskLine line;
    // A risk is one column, named as the input.
    const auto column = std::find_if(model.columns.begin(), model.columns.end(),
                                     [&](const Column& c) { return c.input == s.risks[j]; });
    static_cast<Naming&>(line) = *column;
    line.p = in.risk.p;
    const auto occurred = std::count(s.occurred[j].begin(), s.occurred[j].begin() + s.n, 1);
    line.rate = static_cast<double>(occurred) / s.n;
    line.mean_impact = st.describe(s.impacts[j].data(), n).stat[0];
    line.expected_impact = static_cast<double>(line.p) * line.mean_impact;
    o.risks.push_back(line);
  }
  return o;
}

// Spearman's coefficient depends on the set of (x, y) pairs alone, and the
// library sums the squared rank differences exactly (integers and quarters
// below 2^47, in double), so the pairs may be passed in any order without
// changing a bit of the result. Passed in ascending order of the output, and
// the output first, the export's first sort meets sorted values: every
// column then costs one sort of disordered values instead of two.
std::vector<float> rank_correlations(const StatisticsPool& pool, const Samples& s, std::size_t k) {
  std::vector<const float*> columns;
  for (const std::vector<float>& c : s.columns) columns.push_back(c.data());
  return rank_correlations(pool, s.outputs[k].data(), columns, static_cast<std::size_t>(s.n));
}

std::vector<float> rank_correlations(const StatisticsPool& pool, const float* y,
                                     const std::vector<const float*>& columns, std::size_t n) {
  std::vector<std::uint32_t> order(n);
  std::iota(order.begin(), order.end(), 0u);
  std::sort(order.begin(), order.end(), [&y](std::uint32_t a, std::uint32_t b) {
    return y[a] < y[b] || (y[a] == y[b] && a < b);  // outputs are finite
  });
  std::vector<float> sorted(n);
  for (std::size_t i = 0; i < n; ++i) sorted[i] = y[order[i]];
  std::vector<float> rho(columns.size());
  pool.for_each(columns.size(), [&](std::size_t c, const Statistics& st) {
    std::vector<float> x(n);
    for (std::size_t i = 0; i < n; ++i) x[i] = columns[c][order[i]];
    rho[c] = st.spearman(sorted.data(), x.data(), n);
  });
  return rho;
}

void add_correlations(const Statistics& st, const Model& model, const Samples& s, std::size_t k,
                      const std::vector<float>& rho, OutputSummary& o) {
  // Tornado: every column ordered by the absolute value of its correlation
  // with the output, strongest first.
  std::vector<float> key(rho.size());
  for (std::size_t c = 0; c < rho.size(); ++c) key[c] = std::isnan(rho[c]) ? 0.0f : rho[c];
  const std::vector<std::size_t> order = st.by_magnitude(key);
  for (auto c = order.rbegin(); c != order.rend(); ++c)
    o.tornado.push_back({model.columns[*c], rho[*c]});
  for (RiskLine& line : o.risks)
    for (std::size_t c = 0; c < model.columns.size(); ++c)
      if (model.columns[c].name == line.name) line.rho = rho[c];

  const std::vector<float>& y = s.outputs[k];
  o.mean = y[0];
  if (!o.constant) contingency_drivers(model, s, y, rho, o);
  o.p80_minus_mean = static_cast<double>(o.p80) - o.mean;
}

}  // namespace velmsim
