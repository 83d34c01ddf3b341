// Per-call cost of the t and chi-squared quantiles that the confidence limits
// of the univariate statistics use, for small, moderate and large degrees of
// freedom. Peer: the standard library's lgamma at the same arguments, one
// special-function evaluation for scale.
//
// Arguments are read through volatile variables so that no call is folded
// away (DoNotOptimize on a float operand in a general register does not keep
// its value with every compiler).
#include <benchmark/benchmark.h>

#include <cmath>

#include "special/special.h"

namespace {

volatile float probability = 0.975f;

void BM_TIN(benchmark::State& state) {
  const volatile float df = static_cast<float>(state.range(0));
  for (auto _ : state) benchmark::DoNotOptimize(velm::TIN(probability, df));
}
BENCHMARK(BM_TIN)->Arg(4)->Arg(100)->Arg(10000);

void BM_CHIIN(benchmark::State& state) {
  const volatile float df = static_cast<float>(state.range(0));
  for (auto _ : state) benchmark::DoNotOptimize(velm::CHIIN(probability, df));
}
BENCHMARK(BM_CHIIN)->Arg(4)->Arg(100)->Arg(10000);

void BM_std_lgamma(benchmark::State& state) {
  const volatile float x = static_cast<float>(state.range(0));
  for (auto _ : state) benchmark::DoNotOptimize(std::lgamma(x));
}
BENCHMARK(BM_std_lgamma)->Arg(4)->Arg(100)->Arg(10000);

}  // namespace
