#include "host/velmsim/analysis/percentile_interval.h"

#include <cmath>
#include <limits>

namespace velmsim {

// The binomial probabilities are summed in double from each end, each
// term's logarithm from the one before (log-gamma only for the first): for
// n up to 32767 the sums are good to about 1e-12, far closer than any rank's
// tail probability comes to 0.025 but by chance.
std::pair<int, int> percentile_ranks(int n, double p) {
  constexpr double kTail = 0.025;
  const double lp = std::log(p), lq = std::log1p(-p);
  // Lower: the largest l with P(B <= l - 1) <= 0.025.
  int l = 0;
  double log_pmf = n * lq;  // log P(B = 0)
  for (double below = 0; l < n; ++l) {
    below += std::exp(log_pmf);  // P(B <= l)
    if (below > kTail) break;
    log_pmf += std::log(static_cast<double>(n - l) / (l + 1)) + lp - lq;
  }
  // Upper: the smallest u with P(B >= u) <= 0.025.
  int u = n + 1;
  log_pmf = n * lp;  // log P(B = n)
  for (double above = 0; u > 1; --u) {
    above += std::exp(log_pmf);  // P(B >= u - 1)
    if (above > kTail) break;
    const int k = u - 1;  // the term just added; next P(B = k - 1)
    log_pmf += std::log(static_cast<double>(k) / (n - k + 1)) + lq - lp;
  }
  return {l, u};
}

std::pair<float, float> percentile_interval(const std::vector<float>& sorted, double p) {
  const int n = static_cast<int>(sorted.size());
  const auto [l, u] = percentile_ranks(n, p);
  const float inf = std::numeric_limits<float>::infinity();
  return {l >= 1 ? sorted[static_cast<std::size_t>(l - 1)] : -inf,
          u <= n ? sorted[static_cast<std::size_t>(u - 1)] : inf};
}

}  // namespace velmsim
