// Per-call cost of the t and chi-squared quantiles that the confidence limits
// of the univariate statistics use, for small, moderate and large degrees of
// freedom. Peer: the standard library's lgamma at the same arguments, a
// single special-function evaluation for scale.
#include <benchmark/benchmark.h>

#include <cmath>

#include "special/special.h"

namespace {

void BM_TIN(benchmark::State& state) {
  const float df = static_cast<float>(state.range(0));
  for (auto _ : state) {
    float p = 0.975f;
    benchmark::DoNotOptimize(p);
    benchmark::DoNotOptimize(velm::TIN(p, df));
  }
}
BENCHMARK(BM_TIN)->Arg(4)->Arg(100)->Arg(10000);

void BM_CHIIN(benchmark::State& state) {
  const float df = static_cast<float>(state.range(0));
  for (auto _ : state) {
    float p = 0.975f;
    benchmark::DoNotOptimize(p);
    benchmark::DoNotOptimize(velm::CHIIN(p, df));
  }
}
BENCHMARK(BM_CHIIN)->Arg(4)->Arg(100)->Arg(10000);

void BM_std_lgamma(benchmark::State& state) {
  const float df = static_cast<float>(state.range(0));
  for (auto _ : state) {
    float x = df;
    benchmark::DoNotOptimize(x);
    benchmark::DoNotOptimize(std::lgamma(x));
  }
}
BENCHMARK(BM_std_lgamma)->Arg(4)->Arg(100)->Arg(10000);

}  // namespace
