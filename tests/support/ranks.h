// Rank correlation computed plainly, as an independent reference: mid-ranks
// (ties share the mean of their positions) and Pearson's coefficient of them.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <numeric>
#include <vector>

namespace velm_test {

template <typename T>
std::vector<double> midranks(const std::vector<T>& v) {
  std::vector<std::size_t> idx(v.size());
  std::iota(idx.begin(), idx.end(), 0);
  std::stable_sort(idx.begin(), idx.end(), [&](std::size_t i, std::size_t j) { return v[i] < v[j]; });
  std::vector<double> rank(v.size());
  for (std::size_t i = 0; i < idx.size();) {
    std::size_t k = i;
    while (k < idx.size() && v[idx[k]] == v[idx[i]]) ++k;
    const double r = 0.5 * static_cast<double>(i + 1 + k);
    for (std::size_t m = i; m < k; ++m) rank[idx[m]] = r;
    i = k;
  }
  return rank;
}

inline double pearson(const std::vector<double>& x, const std::vector<double>& y) {
  const double n = static_cast<double>(x.size());
  const double mx = std::accumulate(x.begin(), x.end(), 0.0) / n;
  const double my = std::accumulate(y.begin(), y.end(), 0.0) / n;
  double sxy = 0, sxx = 0, syy = 0;
  for (std::size_t i = 0; i < x.size(); ++i) {
    sxy += (x[i] - mx) * (y[i] - my);
    sxx += (x[i] - mx) * (x[i] - mx);
    syy += (y[i] - my) * (y[i] - my);
  }
  return sxy / std::sqrt(sxx * syy);
}

// Spearman's rho: Pearson's coefficient of the mid-ranks.
template <typename T>
double spearman(const std::vector<T>& x, const std::vector<T>& y) {
  return pearson(midranks(x), midranks(y));
}

}  // namespace velm_test
