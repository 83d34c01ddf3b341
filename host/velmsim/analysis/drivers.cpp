// Contingency drivers by conditional tail expectation.
#include <algorithm>
#include <cmath>
#include <limits>

#include "host/velmsim/analysis/summary.h"

namespace velmsim {

// The tail is the iterations whose output is at or above P80, and a column's
// excess is its mean over the tail less its mean over all iterations. The
// excesses of an output that is the sum of its columns add up to
// E[y | tail] - E[y], so shares are of that, and the P80 contingency
// (P80 - mean) is allocated in the same proportions. The share of variance
// is a column's squared rank correlation over the sum of all columns' (a
// column that never varied counts 0).
void contingency_drivers(const Model& model, const Samples& s, const std::vector<float>& y,
                         const std::vector<float>& rho, OutputSummary& o) {
  const auto n = static_cast<std::size_t>(s.n);
  std::vector<bool> tail(n);
  double sum = 0.0, tail_sum = 0.0;
  for (std::size_t i = 0; i < n; ++i) {
    sum += y[i];
    tail[i] = y[i] >= o.p80;
    if (tail[i]) {
      tail_sum += y[i];
      ++o.tail;
    }
  }
  o.mean = sum / static_cast<double>(n);
  if (o.tail == 0) return;
  o.tail_excess = tail_sum / o.tail - o.mean;

  double rho2 = 0.0;
  for (float r : rho)
    if (!std::isnan(r)) rho2 += static_cast<double>(r) * r;
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double contingency = static_cast<double>(o.p80) - o.mean;
  for (std::size_t c = 0; c < model.columns.size(); ++c) {
    const bool risk = model.inputs[model.columns[c].input].kind == InputKind::risk;
    if (!risk && std::find(model.shares.begin(), model.shares.end(), c) == model.shares.end())
      continue;
    double all = 0.0, in_tail = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
      all += s.columns[c][i];
      if (tail[i]) in_tail += s.columns[c][i];
    }
    Driver d;
    static_cast<Naming&>(d) = model.columns[c];
    d.risk = risk;
    d.excess = in_tail / o.tail - all / static_cast<double>(n);
    d.share = o.tail_excess != 0.0 ? d.excess / o.tail_excess : nan;
    d.allocation = d.share * contingency;
    const double r = std::isnan(rho[c]) ? 0.0 : rho[c];
    d.variance_share = rho2 > 0.0 ? r * r / rho2 : nan;
    o.drivers.push_back(d);
  }
  std::stable_sort(o.drivers.begin(), o.drivers.end(),
                   [](const Driver& a, const Driver& b) { return a.excess > b.excess; });
}

}  // namespace velmsim
