#include "host/velmsim/analysis/statistics.h"

#include <algorithm>
#include <cmath>
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

// The statistics take their moments in single precision: a sample whose
// spread is very wide (fourth powers of deviations of 1e9 overflow) or very
// narrow (squares of deviations of 1e-20 underflow) loses its higher
// moments, and the library warns on standard output. Such a sample is
// scaled by a power of two, which changes no bit of it but its exponent, so
// that its range is about 2^14; the results are scaled back. Returns the
// exponent e of the factor 2^e (0: the sample is taken as it is).
int scale_exponent(const float* x, std::size_t n) {
  const auto [lo, hi] = std::minmax_element(x, x + n);
  const double range = static_cast<double>(*hi) - static_cast<double>(*lo);
  if (!(range > 0) || !std::isfinite(range)) return 0;
  if (range < 0x1p-27 || range > 0x1p27) return 14 - std::ilogb(range);
  return 0;
}

// x times 2^e, exactly.
std::vector<float> scaled(const float* x, std::size_t n, int e) {
  std::vector<float> y(x, x + n);
  for (float& v : y) v = std::ldexp(v, e);
  return y;
}

}  // namespace

bool constant(const float* x, std::size_t n) {
  for (std::size_t i = 1; i < n; ++i)
    if (x[i] != x[0]) return false;
  return true;
}

Statistics::Description Statistics::describe(const float* x, std::size_t n) const {
  const std::int16_t n16 = count16(n);
  Description d;
  if (constant(x, n)) {
    const float c = x[0];
    d.stat = {c, 0, 0, NAN, NAN, c, c, 0, c == 0 ? NAN : 0.0f, static_cast<float>(n), c, c, 0, 0, 0};
    d.why[3] = d.why[4] = kNeverVaries;
    if (c == 0) d.why[8] = kMeanZero;
    return d;
  }
  const int e = scale_exponent(x, n);
  const std::vector<float> y = e != 0 ? scaled(x, n, e) : std::vector<float>();
  const std::int16_t one = 1;
  x_.stat(&n16, &one, e != 0 ? y.data() : x, &n16, d.stat.data());
  // Back to the sample's own scale: the mean, the spreads and the limits of
  // the mean by 2^-e, the variance and its limits by 2^-2e; the rest has no
  // unit. A result beyond single precision becomes infinite.
  for (std::size_t k : {0, 2, 5, 6, 7, 10, 11, 1, 12, 13}) {
    if (e == 0) break;
    const int power = k == 1 || k == 12 || k == 13 ? -2 * e : -e;
    const float before = d.stat[k];
    d.stat[k] = static_cast<float>(std::ldexp(static_cast<double>(before), power));
    if (d.stat[k] == 0 && before != 0) {
      d.stat[k] = NAN;
      d.why[k] = kUnderflows;
    }
  }
  for (std::size_t k = 0; k < 14; ++k) {
    if (std::isfinite(d.stat[k]) || d.why[k] != nullptr) continue;
    d.why[k] = k == 8 ? kMeanZero : kOverflows;
    d.stat[k] = NAN;
  }
  return d;
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
  // The error is measured in standard deviations: scaling the sample by a
  // power of two changes nothing but the range of its moments.
  const int e = scale_exponent(x, n);
  if (e == 0) return x_.cnverr(&m16, &n16, x);
  return x_.cnverr(&m16, &n16, scaled(x, n, e).data());
}

std::vector<std::size_t> Statistics::by_magnitude(const std::vector<float>& key) const {
  if (key.empty()) return {};  // the export takes at least one value
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
