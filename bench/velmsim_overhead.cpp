// velmsim's own overhead: 32767 iterations of the warehouse example (ten
// input columns, every kind of input), drawn and evaluated by velmsim's
// engine in one and in two threads, beside the same export calls made alone
// in a plain loop; and the same model with four of its inputs rank
// correlated, whose blocks of 500 are reordered before the outputs are
// evaluated. Times are per iteration (items are iterations). Then what the
// convergence checks cost a whole run, the analysis of a wide model on one
// and on two copies of the statistics edition, and a task network's passes.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "host/loader/library.h"
#include "host/velmsim/analysis/convergence.h"
#include "host/velmsim/analysis/report.h"
#include "host/velmsim/engine/block_drawer.h"
#include "host/velmsim/engine/run.h"
#include "host/velmsim/engine/substreams.h"
#include "host/velmsim/model/model.h"
#include "host/velmsim/plan/network.h"
#include "host/velmsim/plan/plan.h"

namespace {

constexpr int kIterations = 32767;
constexpr std::int32_t kSeed = 12345;

// An example model and its plan for `threads` threads.
struct Example {
  Example(const char* path, int threads) {
    velmsim::Diagnostics diagnostics;
    model = velmsim::read_model(path, diagnostics);
    velmsim::Overrides overrides;
    overrides.seed = kSeed;
    overrides.threads = threads;
    plan = velmsim::make_plan(model, overrides, diagnostics);
    if (diagnostics.has_errors()) std::abort();
  }
  velmsim::Model model;
  velmsim::Plan plan;
};

const velmsim::SamplingExports& sampling() {
  static const velmsim::SamplingExports exports(velm_host::threaded_edition(),
                                                velmsim::kThreadedEdition);
  return exports;
}

// Copies of the statistics edition, the first shared and two more each in a
// namespace of its own, as velmsim loads them for --threads 3.
const std::vector<const velmsim::StatisticsExports*>& statistics_copies() {
  static const velmsim::Editions editions(VELM_STATS_LIBRARY, VELM_THREADED_LIBRARY,
                                          velmsim::Sampler::threaded, 3);
  static const auto copies = editions.statistics_copies();
  return copies;
}

// velmsim's engine: substream seeding, the draws in file order, the formula
// and the stores, spread over state.range(0) threads (started once).
// Drawn in velmsim's blocks of 500, as a run does.
void run_blocks(benchmark::State& state, const char* path) {
  const Example example(path, static_cast<int>(state.range(0)));
  velmsim::Samples samples;
  velmsim::allocate(example.model, kIterations, samples);
  velmsim::BlockDrawer drawer(example.plan, sampling());
  for (auto _ : state) {
    for (int begin = 0; begin < kIterations; begin += 500) {
      const auto failure = drawer.draw(begin, std::min(begin + 500, kIterations), samples);
      benchmark::DoNotOptimize(failure.iteration);
    }
    benchmark::DoNotOptimize(samples.outputs[0].data());
  }
  state.SetItemsProcessed(state.iterations() * kIterations);
}

void BM_VelmsimIterations(benchmark::State& state) {
  run_blocks(state, VELM_EXAMPLES_DIR "/warehouse.toml");
}
BENCHMARK(BM_VelmsimIterations)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same iterations with labour, steel, permits and overrun correlated.
void BM_VelmsimCorrelated(benchmark::State& state) {
  run_blocks(state, VELM_EXAMPLES_DIR "/warehouse-correlated.toml");
}
BENCHMARK(BM_VelmsimCorrelated)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

// The export calls of the same iterations alone: one VELMSETSEED and the
// eleven sampler calls of the model per iteration, the seeds computed
// beforehand.
void BM_ExportCallsAlone(benchmark::State& state) {
  const velm_host::Library& x = velm_host::threaded_edition();
  const auto set_seed = x.get<decltype(&VELMSETSEED)>("VELMSETSEED");
  const auto triang = x.get<decltype(&VELMTRIANG)>("VELMTRIANG");
  const auto normal = x.get<decltype(&VELMNORMAL)>("VELMNORMAL");
  const auto lognormal = x.get<decltype(&VELMLOGNORMAL)>("VELMLOGNORMAL");
  const auto uniform = x.get<decltype(&VELMUNIFORM)>("VELMUNIFORM");
  const auto beta = x.get<decltype(&VELMBETA)>("VELMBETA");
  const auto geometric = x.get<decltype(&VELMGEOMETRIC)>("VELMGEOMETRIC");
  const auto crnormal = x.get<decltype(&VELMCRNORMAL)>("VELMCRNORMAL");
  const auto yesno = x.get<decltype(&VELMYESNO)>("VELMYESNO");
  std::vector<std::int32_t> seeds(kIterations);
  for (int i = 0; i < kIterations; ++i) seeds[static_cast<std::size_t>(i)] = velmsim::substream_seed(kSeed, i);
  const float lab[3] = {180e3f, 210e3f, 290e3f}, rate[2] = {1.0f, 0.06f}, steel[2] = {310e3f, 45e3f},
              permits[2] = {8e3f, 15e3f}, shape[2] = {2, 5}, geo = 0.35f,
              site[5] = {90e3f, 12e3f, 560e3f, 70e3f, 0.6f}, flood_p = 0.10f,
              flood[3] = {40e3f, 60e3f, 150e3f}, strike_p = 0.05f;
  float sink = 0;
  for (auto _ : state) {
    for (int i = 0; i < kIterations; ++i) {
      set_seed(&seeds[static_cast<std::size_t>(i)]);
      sink += triang(&lab[0], &lab[1], &lab[2]);
      sink += normal(&rate[0], &rate[1]);
      sink += lognormal(&steel[0], &steel[1]);
      sink += uniform(&permits[0], &permits[1]);
      sink += beta(&shape[0], &shape[1]);
      sink += static_cast<float>(geometric(&geo));
      float a = 0, b = 0;
      crnormal(&site[0], &site[1], &site[2], &site[3], &site[4], &a, &b);
      sink += a + b;
      sink += static_cast<float>(yesno(&flood_p));
      sink += triang(&flood[0], &flood[1], &flood[2]);
      sink += static_cast<float>(yesno(&strike_p));
    }
    benchmark::DoNotOptimize(sink);
  }
  state.SetItemsProcessed(state.iterations() * kIterations);
}
BENCHMARK(BM_ExportCallsAlone)->Unit(benchmark::kMillisecond)->UseRealTime();

// A whole run of the project-cost example to 32767 iterations and its
// analysis, drawn in blocks of state.range(0) with velmsim's convergence
// checks (the tolerance is never reached), beside the same run without
// checks (range 0, blocks of 500): the difference is what the checks cost.
void BM_RunWithChecks(benchmark::State& state) {
  Example example(VELM_EXAMPLES_DIR "/project_cost.toml", 1);
  const auto block = static_cast<int>(state.range(0));
  example.plan.iterations = kIterations;
  example.plan.tolerance = 1e-9;
  example.plan.block = block > 0 ? block : 500;
  const velmsim::StatisticsPool pool(*statistics_copies()[0]);
  for (auto _ : state) {
    velmsim::Convergence convergence(example.plan, pool);
    velmsim::BlockCheck check;
    if (block > 0) check = [&](const velmsim::Samples& s, int m) { return convergence.check(s, m); };
    const velmsim::RunResult result = velmsim::run(example.plan, sampling(), check);
    const velmsim::Report report =
        velmsim::analyse(example.plan, result, convergence.trace(), pool, {});
    benchmark::DoNotOptimize(report.outputs.data());
  }
  state.SetItemsProcessed(state.iterations() * kIterations);
}
BENCHMARK(BM_RunWithChecks)->Arg(0)->Arg(500)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

// The analysis of a run of 300 inputs summed into one output (a tornado of
// 300 rank correlations, statistics, percentiles and their intervals) on
// state.range(0) copies of the statistics edition, each in a thread of its
// own: one copy is the peer.
void BM_AnalysisOnCopies(benchmark::State& state) {
  std::string text = "[inputs]\n", sum;
  for (int i = 0; i < 300; ++i) {
    text += "x" + std::to_string(i) + " = { dist = \"triangular\", low = 1, mode = 2, high = 4 }\n";
    sum += (i ? " + x" : "x") + std::to_string(i);
  }
  text += "[outputs]\ntotal = \"" + sum + "\"\n";
  velmsim::Diagnostics diagnostics;
  const velmsim::Model model = velmsim::read_model_text("wide.toml", text, diagnostics);
  velmsim::Overrides overrides;
  overrides.iterations = kIterations;
  overrides.tolerance = 1e-9;
  overrides.threads = 2;
  const velmsim::Plan plan = velmsim::make_plan(model, overrides, diagnostics);
  if (diagnostics.has_errors()) std::abort();
  const velmsim::RunResult result = velmsim::run(plan, sampling(), nullptr);
  const velmsim::StatisticsPool pool(statistics_copies(), static_cast<int>(state.range(0)));
  for (auto _ : state) {
    const velmsim::Report report = velmsim::analyse(plan, result, {}, pool, {});
    benchmark::DoNotOptimize(report.outputs.data());
  }
}
BENCHMARK(BM_AnalysisOnCopies)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

// The forward and backward passes of one iteration over a generated network
// of 1,000 tasks and 2,500 links of all four types with lags, a tenth of the
// tasks absent; items are links.
void BM_NetworkPasses(benchmark::State& state) {
  constexpr std::size_t kTasks = 1000, kLinks = 2500;
  std::minstd_rand rng(11);
  std::vector<std::vector<velmsim::Link>> after(kTasks);
  for (std::size_t k = 0; k < kLinks; ++k) {
    const std::size_t t = 1 + rng() % (kTasks - 1), p = rng() % t;  // p before t: no cycle
    after[t].push_back({p, static_cast<velmsim::LinkType>(k % 4), static_cast<double>(rng() % 7) - 2});
  }
  std::vector<std::size_t> cycle;
  const velmsim::Network network = *velmsim::Network::make(after, cycle);
  std::vector<double> d(kTasks);
  std::vector<std::uint8_t> exists(kTasks);
  for (std::size_t t = 0; t < kTasks; ++t) {
    exists[t] = rng() % 10 != 0;
    d[t] = exists[t] ? static_cast<double>(rng() % 50) : 0.0;
  }
  velmsim::Network::Times times;
  for (auto _ : state) {
    network.pass(d.data(), exists.data(), times);
    benchmark::DoNotOptimize(times.project_finish);
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kLinks));
}
BENCHMARK(BM_NetworkPasses);

}  // namespace
