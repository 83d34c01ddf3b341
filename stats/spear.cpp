// Spearman rank-order correlation: both samples are ranked (ties share the
// mean of their ranks), the sum of squared rank differences is compared with
// its distribution under independence, and the coefficient is corrected for
// ties.
//
// This family keeps its own sort (sort2), complementary error function
// (erfcfit) and log-gamma (lngam, with betai and betacf) instead of the
// library's SVRGN, ERFC and GAMMA: its results are defined by these routines,
// in single precision as they are written, and sharing the others' would
// change them.
#include "stats/spear.h"

#include <cmath>
#include <cstddef>
#include <limits>
#include <utility>

#include "fp/elementary.h"
#include "special/incomplete_beta.h"

namespace velm {
namespace {

constexpr std::int32_t kInsertionLimit = 7;  // segments shorter than this: insertion
constexpr int kStackSize = 50;               // pending segment bounds (25 pairs)

// Straight insertion of arr[lo..hi], brr moving along; each element is
// shifted past the elements greater than it.
void insert_range(float* arr, float* brr, std::int32_t lo, std::int32_t hi) {
  for (std::int32_t j = lo + 1; j <= hi; ++j) {
    const float a = arr[j];
    const float b = brr[j];
    std::int32_t i = j - 1;
    for (; i >= lo; --i) {
      if (arr[i] <= a) break;
      arr[i + 1] = arr[i];
      brr[i + 1] = brr[i];
    }
    arr[i + 1] = a;
    brr[i + 1] = b;
  }
}

inline void swap_pair(float* arr, float* brr, std::int32_t i, std::int32_t j) {
  std::swap(arr[i], arr[j]);
  std::swap(brr[i], brr[j]);
}

}  // namespace

void sort2(std::int32_t n, float* arr, float* brr) {
  std::int32_t stack[kStackSize];
  int top = 0;
  std::int32_t l = 0;
  std::int32_t r = n - 1;
  for (;;) {
    if (r - l < kInsertionLimit) {
      insert_range(arr, brr, l, r);
      if (top == 0) return;
      r = stack[--top];
      l = stack[--top];
      continue;
    }
    // Median of three (the middle element, moved next to the left end, and
    // the two ends) as partitioning value; the ends then bound both scans.
    const std::int32_t k = (l + r + 2) / 2 - 1;
    swap_pair(arr, brr, k, l + 1);
    if (arr[l] > arr[r]) swap_pair(arr, brr, l, r);
    if (arr[l + 1] > arr[r]) swap_pair(arr, brr, l + 1, r);
    if (arr[l] > arr[l + 1]) swap_pair(arr, brr, l, l + 1);
    std::int32_t i = l + 1;
    std::int32_t j = r;
    const float a = arr[l + 1];
    const float b = brr[l + 1];
    for (;;) {
      do ++i; while (arr[i] < a);
      do --j; while (arr[j] > a);
      if (j < i) break;
      swap_pair(arr, brr, i, j);
    }
    arr[l + 1] = arr[j];
    brr[l + 1] = brr[j];
    arr[j] = a;
    brr[j] = b;
    // Continue with the smaller part, keep the larger one pending.
    std::int32_t lo = l;
    std::int32_t hi = j - 1;
    if (r - i + 1 >= j - l) {
      lo = i;
      hi = r;
      r = j - 1;
    } else {
      l = i;
    }
    if (top + 2 > kStackSize) {
      // Cannot happen for counts below 2^25: the pending part is always the
      // larger, so the depth stays below log2(n). Finish it in place.
      write_diagnostic_line("NSTACK too small in sort2");
      insert_range(arr, brr, lo, hi);
    } else {
      stack[top++] = lo;
      stack[top++] = hi;
    }
  }
}

double rankties(std::int32_t n, float* w) {
  double ts = 0.0;
  std::int32_t j = 1;  // 1-based position of the first unranked element
  while (j < n) {
    if (w[j] != w[j - 1]) {
      w[j - 1] = static_cast<float>(j);
      ++j;
    } else {
      std::int32_t k = j + 1;
      while (k <= n && w[k - 1] == w[j - 1]) ++k;
      const float rank = static_cast<float>(0.5 * (static_cast<double>(j) + (k - 1)));
      for (std::int32_t m = j; m < k; ++m) w[m - 1] = rank;
      const double t = static_cast<double>(k - j);
      ts += t * (t * t - 1.0);
      j = k;
    }
  }
  if (j == n) w[n - 1] = static_cast<float>(n);
  return ts;
}

float erfcfit(float x) {
  const float z = std::fabs(x);
  const float t = 1.0f / (1.0f + 0.5f * z);
  const float poly =
      -z * z - 1.2655122f +
      t * (1.0000237f +
           t * (0.37409195f +
                t * (0.09678418f +
                     t * (-0.18628806f +
                          t * (0.27886808f +
                               t * (-1.135204f +
                                    t * (1.4885159f + t * (-0.82215226f + t * 0.17087276f))))))));
  const float ans = t * velm::fp::exp(poly);
  return x >= 0.0f ? ans : 2.0f - ans;
}

void spear(const float* data1, const float* data2, std::int32_t n, float* work1, float* work2,
           float& dsq, float& zdev, float& pdev, float& rho, float& prho) {
  bool complete_pair = false;
  for (std::int32_t j = 0; j < n; ++j) {
    work1[j] = data1[j];
    work2[j] = data2[j];
    if (!std::isnan(data1[j]) && !std::isnan(data2[j])) complete_pair = true;
  }
  const float nan = std::numeric_limits<float>::quiet_NaN();
  if (!complete_pair) {
    // Not one pair with both values present: NaNs compare unequal to
    // everything, so ranking them would give every value its own rank and a
    // coefficient of +-1 out of nothing. There is no correlation to measure.
    dsq = nan;
    zdev = nan;
    pdev = nan;
    rho = nan;
    prho = 0.0f;
    return;
  }
  sort2(n, work1, work2);
  const double tx = rankties(n, work1);
  sort2(n, work2, work1);
  const double ty = rankties(n, work2);

  double d = 0.0;
  for (std::int32_t j = 0; j < n; ++j) {
    const double diff = static_cast<double>(work1[j]) - work2[j];
    d += diff * diff;
  }
  dsq = static_cast<float>(d);

  // The tie sums and n^3 - n are integers and are formed exactly, so that a
  // constant sample gives a tie factor of exactly 0 (and N < 2 gives
  // n^3 - n = 0): the coefficient is then undefined.
  const double en = n > 0 ? static_cast<double>(n) : 0.0;
  const double c = (en * en - 1.0) * en;
  const double fac = c > 0.0 ? (1.0 - tx / c) * (1.0 - ty / c) : 0.0;
  if (!(fac > 0.0)) {
    zdev = nan;
    pdev = nan;
    rho = nan;
    prho = 0.0f;
    return;
  }
  const double ave = c / 6.0 - (tx + ty) / 12.0;
  const double var = (en - 1.0) * en * en * (en + 1.0) * (en + 1.0) / 36.0 * fac;
  zdev = static_cast<float>((d - ave) / std::sqrt(var));
  pdev = erfcfit(std::fabs(zdev) * 0.70710677f);
  rho = static_cast<float>((1.0 - (6.0 / c) * (d + (tx + ty) / 12.0)) / std::sqrt(fac));
  const float f = (1.0f + rho) * (1.0f - rho);
  if (f > 0.0f) {
    const float df = static_cast<float>(n) - 2.0f;
    const float t = rho * std::sqrt(df / f);
    prho = betai(0.5f * df, 0.5f, df / (df + t * t));
  } else {
    prho = 0.0f;
  }
}

}  // namespace velm
