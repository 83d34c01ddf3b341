// Sorting and quantiles through the statistics edition's exports, beside
// standard-library peers doing the same work on the same data.
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

std::vector<float> random_floats(int n, unsigned seed) {
  std::minstd_rand engine(seed);
  std::uniform_real_distribution<float> value(-1000.0f, 1000.0f);
  std::vector<float> data(static_cast<std::size_t>(n));
  for (auto& v : data) v = value(engine);
  return data;
}

void BM_VelmSort(benchmark::State& state) {
  auto sort = velm_host::stats_edition().get<decltype(&VELMSORT)>("VELMSORT");
  const auto data = random_floats(kCount, 1);
  std::vector<float> sorted(data.size());
  std::vector<int16_t> perm(data.size());
  const int16_t n = kCount;
  for (auto _ : state) {
    sort(&n, data.data(), sorted.data(), perm.data());
    benchmark::DoNotOptimize(sorted.data());
    benchmark::DoNotOptimize(perm.data());
  }
  state.SetItemsProcessed(state.iterations() * kCount);
}
BENCHMARK(BM_VelmSort);

// Peer: copy, sort an index array by absolute value, gather values and
// 16-bit permutation.
void BM_StdSortByMagnitude(benchmark::State& state) {
  const auto data = random_floats(kCount, 1);
  std::vector<float> sorted(data.size());
  std::vector<int32_t> index(data.size());
  std::vector<int16_t> perm(data.size());
  for (auto _ : state) {
    std::iota(index.begin(), index.end(), 0);
    std::sort(index.begin(), index.end(),
              [&data](int32_t a, int32_t b) { return std::fabs(data[a]) < std::fabs(data[b]); });
    for (std::size_t i = 0; i < index.size(); ++i) {
      sorted[i] = data[index[i]];
      perm[i] = static_cast<int16_t>(index[i] + 1);
    }
    benchmark::DoNotOptimize(sorted.data());
    benchmark::DoNotOptimize(perm.data());
  }
  state.SetItemsProcessed(state.iterations() * kCount);
}
BENCHMARK(BM_StdSortByMagnitude);

const float kProportions[4] = {0.1f, 0.25f, 0.75f, 0.9f};

void BM_VelmQuantiles(benchmark::State& state) {
  auto qtil = velm_host::stats_edition().get<decltype(&VELMQTIL)>("VELMQTIL");
  const auto data = random_floats(kCount, 2);
  float q[4];
  const int16_t n = kCount;
  const int16_t nq = 4;
  for (auto _ : state) {
    qtil(&n, data.data(), &nq, kProportions, q);
    benchmark::DoNotOptimize(q);
  }
  state.SetItemsProcessed(state.iterations() * kCount);
}
BENCHMARK(BM_VelmQuantiles);

// Peer: the same four interpolated quantiles ((n + 1) * p rule) from a copy
// with std::nth_element, selecting the needed order statistics in increasing
// order on the shrinking upper part.
void BM_StdNthElementQuantiles(benchmark::State& state) {
  const auto data = random_floats(kCount, 2);
  std::vector<float> work(data.size());
  float q[4];
  for (auto _ : state) {
    std::copy(data.begin(), data.end(), work.begin());
    auto lower = work.begin();
    for (int i = 0; i < 4; ++i) {
      float fn = kProportions[i] * static_cast<float>(kCount + 1);
      auto j = static_cast<std::ptrdiff_t>(fn);
      float frac = fn - static_cast<float>(j);
      auto at = work.begin() + (j - 1);
      std::nth_element(lower, at, work.end());
      float lo = *at;
      float hi = *std::min_element(at + 1, work.end());
      q[i] = (1.0f - frac) * lo + frac * hi;
      lower = at + 1;
    }
    benchmark::DoNotOptimize(q);
  }
  state.SetItemsProcessed(state.iterations() * kCount);
}
BENCHMARK(BM_StdNthElementQuantiles);

// The tail path: proportions all in the lower tail are read off a partial
// ordering by selection instead of a full sort.
void BM_VelmQuantilesLowerTail(benchmark::State& state) {
  auto qtil = velm_host::stats_edition().get<decltype(&VELMQTIL)>("VELMQTIL");
  const auto data = random_floats(kCount, 3);
  const float props[2] = {0.001f, 0.005f};
  float q[2];
  const int16_t n = kCount;
  const int16_t nq = 2;
  for (auto _ : state) {
    qtil(&n, data.data(), &nq, props, q);
    benchmark::DoNotOptimize(q);
  }
}
BENCHMARK(BM_VelmQuantilesLowerTail);

}  // namespace
