// The portable single-precision elementary functions beside the C library's
// own (logf, expf, powf, sinf, cosf, asinf), each in two ways:
//   throughput: independent calls over a table of arguments;
//   latency:    each call waits for the one before (its result, times zero,
//               is added to the next argument), as in a sampler's chain of a
//               logarithm feeding an exponential.
// Arguments are the ranges the samplers and probability functions use.
// fp::log, exp and pow run the build with fused multiply-adds where the
// processor has them; their build with separate ones, which processors
// without run, is measured by name too. Its peer is the C library's own code
// for such processors: run with GLIBC_TUNABLES=glibc.cpu.hwcaps=-FMA,-AVX2.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "fp/elementary.h"

namespace {

constexpr std::size_t kCount = 4096;  // a power of two

// kCount arguments spread over [lo, hi] by a fixed scramble.
std::vector<float> arguments(float lo, float hi) {
  std::vector<float> x(kCount);
  std::uint32_t state = 12345;
  for (auto& v : x) {
    state = state * 1664525u + 1013904223u;
    v = lo + (hi - lo) * static_cast<float>(state >> 8) * 0x1p-24f;
  }
  return x;
}

struct Unary {
  float lo, hi;
};
constexpr Unary kLog{1e-6f, 1.0f}, kExp{-20.0f, 20.0f}, kTrig{-10.0f, 10.0f}, kAsin{-1.0f, 1.0f},
    kPowBase{1e-6f, 1.0f};

template <typename F>
void throughput(benchmark::State& state, const Unary& range, F f) {
  const auto x = arguments(range.lo, range.hi);
  std::size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(f(x[i]));
    i = (i + 1) & (kCount - 1);
  }
  state.SetItemsProcessed(state.iterations());
}

template <typename F>
void latency(benchmark::State& state, const Unary& range, F f) {
  const auto x = arguments(range.lo, range.hi);
  std::size_t i = 0;
  float r = 0.0f;
  for (auto _ : state) {
    r = f(x[i] + r * 0.0f);
    i = (i + 1) & (kCount - 1);
  }
  benchmark::DoNotOptimize(r);
  state.SetItemsProcessed(state.iterations());
}

float fp_log(float x) { return velm::fp::log(x); }
float fp_exp(float x) { return velm::fp::exp(x); }
float fp_sin(float x) { return velm::fp::sin(x); }
float fp_cos(float x) { return velm::fp::cos(x); }
float fp_asin(float x) { return velm::fp::asin(x); }
// pow as the beta sampler calls it: a base in (0, 1) to a power such as 1/a.
float fp_pow(float x) { return velm::fp::pow(x, 0.2f); }
float separate_log(float x) { return velm::fp::separate::log(x); }
float separate_exp(float x) { return velm::fp::separate::exp(x); }
float separate_pow(float x) { return velm::fp::separate::pow(x, 0.2f); }
float c_log(float x) { return logf(x); }
float c_exp(float x) { return expf(x); }
float c_sin(float x) { return sinf(x); }
float c_cos(float x) { return cosf(x); }
float c_asin(float x) { return asinf(x); }
float c_pow(float x) { return powf(x, 0.2f); }

#define VELM_UNARY_BENCH(name, range)                                                        \
  BENCHMARK_CAPTURE(throughput, fp_##name, range, fp_##name)->Name("fp::" #name "/throughput"); \
  BENCHMARK_CAPTURE(throughput, c_##name, range, c_##name)->Name(#name "f/throughput");         \
  BENCHMARK_CAPTURE(latency, fp_##name, range, fp_##name)->Name("fp::" #name "/latency");       \
  BENCHMARK_CAPTURE(latency, c_##name, range, c_##name)->Name(#name "f/latency")

#define VELM_SEPARATE_BENCH(name, range)                                              \
  BENCHMARK_CAPTURE(throughput, separate_##name, range, separate_##name)                \
      ->Name("fp::separate::" #name "/throughput");                                     \
  BENCHMARK_CAPTURE(latency, separate_##name, range, separate_##name)                   \
      ->Name("fp::separate::" #name "/latency")

VELM_UNARY_BENCH(log, kLog);
VELM_UNARY_BENCH(exp, kExp);
VELM_UNARY_BENCH(sin, kTrig);
VELM_UNARY_BENCH(cos, kTrig);
VELM_UNARY_BENCH(asin, kAsin);
VELM_UNARY_BENCH(pow, kPowBase);
VELM_SEPARATE_BENCH(log, kLog);
VELM_SEPARATE_BENCH(exp, kExp);
VELM_SEPARATE_BENCH(pow, kPowBase);

}  // namespace
