#include "host/velmsim/analysis/convergence.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "host/velmsim/analysis/percentile_interval.h"
#include "host/velmsim/analysis/summary.h"

namespace velmsim {

bool check_due(int n, int last, int block) {
  return last == 0 || n - last >= std::max(block, last);
}

namespace {

// The widest 95 % interval of the listed percentiles of y in its sd.
double widest_interval(const std::vector<float>& y, std::size_t n, float sd,
                       const std::vector<double>& percentiles) {
  if (!(sd > 0)) return std::numeric_limits<double>::quiet_NaN();
  std::vector<float> sorted(y.begin(), y.begin() + static_cast<std::ptrdiff_t>(n));
  std::sort(sorted.begin(), sorted.end());
  double widest = 0;
  for (double p : listed_percentiles(percentiles)) {
    const auto [low, high] = percentile_interval(sorted, p / 100.0);
    widest = std::max(widest, (static_cast<double>(high) - low) / sd);
  }
  return widest;
}

}  // namespace

bool Convergence::check(const Samples& s, int block_length) {
  const int last = trace_.empty() ? 0 : trace_.back().n;
  if (!check_due(s.n, last, plan_.block)) return false;
  const auto n = static_cast<std::size_t>(s.n);
  const std::size_t outputs = reported_.size();
  Checkpoint c;
  c.n = s.n;
  c.error.resize(outputs);
  c.mean.resize(outputs);
  c.p80.resize(outputs);
  if (plan_.precision) c.precision.resize(outputs);
  pool_.for_each(outputs, [&](std::size_t k, const Statistics& st) {
    const std::vector<float>& y = s.outputs[reported_[k]];
    c.error[k] = s.n >= 2 * plan_.block
                     ? st.convergence_error(y.data(), n, static_cast<std::size_t>(block_length))
                     : std::numeric_limits<float>::quiet_NaN();
    const Statistics::Description d = st.describe(y.data(), n);
    c.mean[k] = d.stat[0];
    c.p80[k] = st.quantiles(y.data(), n, {0.8f})[0];
    if (plan_.precision) c.precision[k] = widest_interval(y, n, d.stat[2], plan_.percentiles);
  });
  bool done = std::all_of(c.error.begin(), c.error.end(),
                          [&](float e) { return e < plan_.tolerance; });
  if (plan_.precision)
    done = done && std::all_of(c.precision.begin(), c.precision.end(), [&](double w) {
             return std::isnan(w) || w < *plan_.precision;
           });
  trace_.push_back(std::move(c));
  return done;
}

}  // namespace velmsim
