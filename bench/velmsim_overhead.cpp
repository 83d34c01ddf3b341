// velmsim's own overhead: 32767 iterations of the warehouse example (ten
// input columns, every kind of input), drawn and evaluated by velmsim's
// engine in one and in two threads, beside the same export calls made alone
// in a plain loop; and the same model with four of its inputs rank
// correlated, whose blocks of 500 are reordered before the outputs are
// evaluated. Times are per iteration (items are iterations).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

#include "host/loader.h"
#include "host/velmsim/engine.h"
#include "host/velmsim/formula.h"
#include "host/velmsim/model.h"

namespace {

constexpr int kIterations = 32767;
constexpr std::int32_t kSeed = 12345;

velmsim::Model example(const char* path) {
  velmsim::Diagnostics diagnostics;
  velmsim::Model m = velmsim::read_model(path, diagnostics);
  if (diagnostics.has_errors()) std::abort();
  return m;
}

const velmsim::Model& warehouse() {
  static const velmsim::Model model = example(VELM_EXAMPLES_DIR "/warehouse.toml");
  return model;
}

const velmsim::Model& warehouse_correlated() {
  static const velmsim::Model model = example(VELM_EXAMPLES_DIR "/warehouse-correlated.toml");
  return model;
}

const velmsim::SamplingExports& sampling() {
  static const velmsim::SamplingExports exports(velm_host::threaded_edition());
  return exports;
}

// velmsim's engine: substream seeding, the draws in file order, the formula
// and the stores, spread over state.range(0) threads (started once).
// Drawn in velmsim's blocks of 500, as a run does.
void run_blocks(benchmark::State& state, const velmsim::Model& model) {
  velmsim::Samples samples;
  velmsim::allocate(model, kIterations, samples);
  velmsim::BlockDrawer drawer(model, sampling(), static_cast<int>(state.range(0)), false, kSeed);
  for (auto _ : state) {
    for (int begin = 0; begin < kIterations; begin += 500) {
      const auto failure = drawer.draw(begin, std::min(begin + 500, kIterations), samples);
      benchmark::DoNotOptimize(failure.iteration);
    }
    benchmark::DoNotOptimize(samples.outputs[0].data());
  }
  state.SetItemsProcessed(state.iterations() * kIterations);
}

void BM_VelmsimIterations(benchmark::State& state) { run_blocks(state, warehouse()); }
BENCHMARK(BM_VelmsimIterations)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same iterations with labour, steel, permits and overrun correlated.
void BM_VelmsimCorrelated(benchmark::State& state) { run_blocks(state, warehouse_correlated()); }
BENCHMARK(BM_VelmsimCorrelated)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

// The export calls of the same iterations alone: one VELMSETSEED and the
// eleven sampler calls of the model per iteration, the seeds computed
// beforehand.
void BM_ExportCallsAlone(benchmark::State& state) {
  const velmsim::SamplingExports& x = sampling();
  std::vector<std::int32_t> seeds(kIterations);
  for (int i = 0; i < kIterations; ++i) seeds[static_cast<std::size_t>(i)] = velmsim::substream_seed(kSeed, i);
  const float lab[3] = {180e3f, 210e3f, 290e3f}, rate[2] = {1.0f, 0.06f}, steel[2] = {310e3f, 45e3f},
              permits[2] = {8e3f, 15e3f}, beta[2] = {2, 5}, geo = 0.35f,
              site[5] = {90e3f, 12e3f, 560e3f, 70e3f, 0.6f}, flood_p = 0.10f,
              flood[3] = {40e3f, 60e3f, 150e3f}, strike_p = 0.05f;
  float sink = 0;
  for (auto _ : state) {
    for (int i = 0; i < kIterations; ++i) {
      x.set_seed(&seeds[static_cast<std::size_t>(i)]);
      sink += x.triang(&lab[0], &lab[1], &lab[2]);
      sink += x.normal(&rate[0], &rate[1]);
      sink += x.lognormal(&steel[0], &steel[1]);
      sink += x.uniform(&permits[0], &permits[1]);
      sink += x.beta(&beta[0], &beta[1]);
      sink += static_cast<float>(x.geometric(&geo));
      float a = 0, b = 0;
      x.crnormal(&site[0], &site[1], &site[2], &site[3], &site[4], &a, &b);
      sink += a + b;
      sink += static_cast<float>(x.yesno(&flood_p));
      sink += x.triang(&flood[0], &flood[1], &flood[2]);
      sink += static_cast<float>(x.yesno(&strike_p));
    }
    benchmark::DoNotOptimize(sink);
  }
  state.SetItemsProcessed(state.iterations() * kIterations);
}
BENCHMARK(BM_ExportCallsAlone)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
