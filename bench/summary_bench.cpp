// Univariate statistics, rank correlation and the convergence error through
// the statistics edition's exports, beside plain computations of the same
// figures in the same binary.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numeric>
#include <random>
#include <vector>

#include "host/loader/library.h"

namespace {

constexpr int kCount = 32767;

std::vector<float> sample(int n, unsigned seed) {
  std::minstd_rand engine(seed);
  std::normal_distribution<float> value(100.0f, 15.0f);
  std::vector<float> data(static_cast<std::size_t>(n));
  for (auto& v : data) v = value(engine);
  return data;
}

void BM_VelmStat(benchmark::State& state) {
  auto stat = velm_host::stats_edition().get<decltype(&VELMSTAT)>("VELMSTAT");
  const auto data = sample(kCount, 1);
  float s[15] = {};
  const int16_t n = kCount, one = 1;
  for (auto _ : state) {
    stat(&n, &one, data.data(), &n, s);
    benchmark::DoNotOptimize(s);
  }
  state.SetItemsProcessed(state.iterations() * kCount);
}
BENCHMARK(BM_VelmStat);

// Peer: two passes in double precision for mean, variance, skewness and
// kurtosis, with the extremes.
void BM_TwoPassMoments(benchmark::State& state) {
  const auto data = sample(kCount, 1);
  float s[8] = {};
  for (auto _ : state) {
    double sum = 0.0;
    float lo = data[0], hi = data[0];
    for (float v : data) {
      sum += v;
      lo = std::min(lo, v);
      hi = std::max(hi, v);
    }
    const double n = static_cast<double>(data.size());
    const double mean = sum / n;
    double m2 = 0.0, m3 = 0.0, m4 = 0.0;
    for (float v : data) {
      const double d = v - mean;
      const double d2 = d * d;
      m2 += d2;
      m3 += d2 * d;
      m4 += d2 * d2;
    }
    const double var = m2 / n;
    s[0] = static_cast<float>(mean);
    s[1] = static_cast<float>(m2 / (n - 1));
    s[2] = std::sqrt(s[1]);
    s[3] = static_cast<float>(m3 / (n * var * std::sqrt(var)));
    s[4] = static_cast<float>(m4 / (n * var * var) - 3.0);
    s[5] = lo;
    s[6] = hi;
    benchmark::DoNotOptimize(s);
  }
  state.SetItemsProcessed(state.iterations() * kCount);
}
BENCHMARK(BM_TwoPassMoments);

void BM_VelmSpear(benchmark::State& state) {
  auto spear = velm_host::stats_edition().get<decltype(&VELMSPEAR)>("VELMSPEAR");
  const auto a = sample(kCount, 2);
  auto b = sample(kCount, 3);
  for (std::size_t i = 0; i < b.size(); ++i) b[i] = std::round(0.5f * a[i] + b[i]);  // with ties
  const int16_t n = kCount;
  for (auto _ : state) {
    float rho = spear(&n, a.data(), b.data());
    benchmark::DoNotOptimize(rho);
  }
  state.SetItemsProcessed(state.iterations() * kCount);
}
BENCHMARK(BM_VelmSpear);

// Peer: mid-ranks of both samples by std::sort of indices, then Pearson's
// coefficient of the ranks.
void BM_StdSortRankPearson(benchmark::State& state) {
  const auto a = sample(kCount, 2);
  auto b = sample(kCount, 3);
  for (std::size_t i = 0; i < b.size(); ++i) b[i] = std::round(0.5f * a[i] + b[i]);
  std::vector<int32_t> index(a.size());
  std::vector<double> ra(a.size()), rb(a.size());
  auto rank = [&index](const std::vector<float>& v, std::vector<double>& r) {
    std::iota(index.begin(), index.end(), 0);
    std::sort(index.begin(), index.end(), [&v](int32_t x, int32_t y) { return v[x] < v[y]; });
    for (std::size_t i = 0; i < index.size();) {
      std::size_t k = i + 1;
      while (k < index.size() && v[index[k]] == v[index[i]]) ++k;
      const double mid = 0.5 * static_cast<double>(i + 1 + k);
      for (std::size_t m = i; m < k; ++m) r[index[m]] = mid;
      i = k;
    }
  };
  for (auto _ : state) {
    rank(a, ra);
    rank(b, rb);
    const double mean = 0.5 * (static_cast<double>(a.size()) + 1.0);
    double sxy = 0, sxx = 0, syy = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
      sxy += (ra[i] - mean) * (rb[i] - mean);
      sxx += (ra[i] - mean) * (ra[i] - mean);
      syy += (rb[i] - mean) * (rb[i] - mean);
    }
    double rho = sxy / std::sqrt(sxx * syy);
    benchmark::DoNotOptimize(rho);
  }
  state.SetItemsProcessed(state.iterations() * kCount);
}
BENCHMARK(BM_StdSortRankPearson);

constexpr int16_t kLeftOut = 1000;

void BM_VelmConvergence(benchmark::State& state) {
  auto cnverr = velm_host::stats_edition().get<decltype(&VELMCNVERR)>("VELMCNVERR");
  const auto data = sample(kCount, 4);
  const int16_t m = kLeftOut, n = kCount;
  for (auto _ : state) {
    float e = cnverr(&m, &n, data.data());
    benchmark::DoNotOptimize(e);
  }
  state.SetItemsProcessed(state.iterations() * kCount);
}
BENCHMARK(BM_VelmConvergence);

// Peer: the same arithmetic written plainly: mean and standard deviation of
// both snapshots, eight interpolated quantiles ((n + 1) p rule) selected with
// std::nth_element, and the largest change in earlier standard deviations.
void BM_PlainConvergence(benchmark::State& state) {
  const auto data = sample(kCount, 4);
  std::vector<float> work(data.size());
  const float p[4] = {0.1f, 0.25f, 0.75f, 0.9f};
  auto snapshot = [&](std::size_t k, float out[6]) {
    double sum = 0;
    for (std::size_t i = 0; i < k; ++i) sum += data[i];
    const double mean = sum / static_cast<double>(k);
    double ss = 0;
    for (std::size_t i = 0; i < k; ++i) ss += (data[i] - mean) * (data[i] - mean);
    out[0] = static_cast<float>(std::sqrt(ss / static_cast<double>(k - 1)));
    out[1] = static_cast<float>(mean);
    std::copy(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(k), work.begin());
    auto first = work.begin();
    for (int i = 0; i < 4; ++i) {
      const double pos = static_cast<double>(k + 1) * p[i];
      const auto j = static_cast<std::ptrdiff_t>(pos);
      const float frac = static_cast<float>(pos - static_cast<double>(j));
      std::nth_element(first, work.begin() + j - 1, work.begin() + static_cast<std::ptrdiff_t>(k));
      const float lo = work[static_cast<std::size_t>(j - 1)];
      const float hi = *std::min_element(work.begin() + j, work.begin() + static_cast<std::ptrdiff_t>(k));
      out[2 + i] = (1 - frac) * lo + frac * hi;
      first = work.begin() + j;
    }
  };
  for (auto _ : state) {
    float a[6], b[6];
    snapshot(data.size() - kLeftOut, a);
    snapshot(data.size(), b);
    float e = 0.0f;
    for (int i = 0; i < 6; ++i) e = std::max(e, std::fabs(b[i] - a[i]) / a[0]);
    benchmark::DoNotOptimize(e);
  }
  state.SetItemsProcessed(state.iterations() * kCount);
}
BENCHMARK(BM_PlainConvergence);

}  // namespace
