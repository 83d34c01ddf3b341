// VELMUNIFORM per call through the exported symbol of each edition, beside a
// std::minstd_rand engine (the same multiplier and modulus) with
// std::uniform_real_distribution<float>.
#include <benchmark/benchmark.h>

#include <random>

#include "host/loader/library.h"

namespace {

void draw_uniforms(benchmark::State& state, const velm_host::Library& library) {
  const auto set_seed = library.get<decltype(&VELMSETSEED)>("VELMSETSEED");
  const auto uniform = library.get<decltype(&VELMUNIFORM)>("VELMUNIFORM");
  const std::int32_t seed = 12345;
  set_seed(&seed);
  const float a = 0.0f, b = 1.0f;
  for (auto _ : state) benchmark::DoNotOptimize(uniform(&a, &b));
}

void BM_VelmUniformStats(benchmark::State& state) {
  draw_uniforms(state, velm_host::stats_edition());
}
void BM_VelmUniformThreaded(benchmark::State& state) {
  draw_uniforms(state, velm_host::threaded_edition());
}

void BM_StdMinstdUniformFloat(benchmark::State& state) {
  std::minstd_rand engine(12345);
  std::uniform_real_distribution<float> uniform(0.0f, 1.0f);
  for (auto _ : state) benchmark::DoNotOptimize(uniform(engine));
}

BENCHMARK(BM_VelmUniformStats);
BENCHMARK(BM_VelmUniformThreaded);
BENCHMARK(BM_StdMinstdUniformFloat);

}  // namespace
