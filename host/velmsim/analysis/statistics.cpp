#include "host/velmsim/analysis/statistics.h"

#include <limits>
#include <stdexcept>
#include <string>

namespace velmsim {

namespace {

// n as the exports' 16-bit count.
std::int16_t count16(std::size_t n) {
  if (n > Statistics::kMaxCount)
    throw std::length_error("the statistics take at most " + std::to_string(Statistics::kMaxCount) +
                            " values in one call, not " + std::to_string(n));
  return static_cast<std::int16_t>(n);
}

}  // namespace

bool constant(const float* x, std::size_t n) {
  for (std::size_t i = 1; i < n; ++i)
    if (x[i] != x[0]) return false;
  return true;
}

std::array<float, 15> Statistics::describe(const float* x, std::size_t n) const {
  const std::int16_t n16 = count16(n);
  if (constant(x, n)) {
    const float c = x[0];
    return {c, 0, 0, 0, 0, c, c, 0, 0, static_cast<float>(n), c, c, 0, 0, 0};
  }
  std::array<float, 15> stat{};
  const std::int16_t one = 1;
  x_.stat(&n16, &one, x, &n16, stat.data());
  return stat;
}

std::vector<float> Statistics::quantiles(const float* x, std::size_t n,
                                         const std::vector<float>& proportions) const {
  const std::int16_t n16 = count16(n), k16 = count16(proportions.size());
  std::vector<float> q(proportions.size());
  x_.qtil(&n16, x, &k16, proportions.data(), q.data());
  return q;
}

Histogram Statistics::histogram(const float* x, std::size_t n, float low, float high,
                                int classes) const {
  Histogram h;
  h.low = low;
  h.high = high;
  if (!(low < high)) return h;
  const std::int16_t n16 = count16(n), k16 = count16(static_cast<std::size_t>(classes) + 2);
  h.marks.resize(static_cast<std::size_t>(k16));
  h.tally.resize(static_cast<std::size_t>(k16));
  x_.hist(&n16, x, &h.low, &h.high, &k16, h.marks.data(), h.tally.data());
  return h;
}

float Statistics::spearman(const float* x, const float* y, std::size_t n) const {
  const std::int16_t n16 = count16(n);
  if (constant(x, n) || constant(y, n)) return std::numeric_limits<float>::quiet_NaN();
  return x_.spear(&n16, x, y);
}

float Statistics::convergence_error(const float* x, std::size_t n, std::size_t m) const {
  const std::int16_t n16 = count16(n), m16 = count16(m);
  if (constant(x, n)) return 0.0f;
  // Values that began to vary only in the last m: against the spread of 0
  // before them the library would report 0 (converged) and warn.
  if (m < n && constant(x, n - m)) return std::numeric_limits<float>::quiet_NaN();
  return x_.cnverr(&m16, &n16, x);
}

std::vector<std::size_t> Statistics::by_magnitude(const std::vector<float>& key) const {
  const std::int16_t n16 = count16(key.size());
  std::vector<float> sorted(key.size());
  std::vector<std::int16_t> perm(key.size());
  x_.sort(&n16, key.data(), sorted.data(), perm.data());
  std::vector<std::size_t> order;
  order.reserve(key.size());
  for (std::int16_t p : perm) order.push_back(static_cast<std::size_t>(p - 1));
  return order;
}

}  // namespace velmsim
