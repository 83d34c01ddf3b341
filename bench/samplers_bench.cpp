// Sampler exports of both editions, called through their exported symbols,
// beside standard-library peers on std::minstd_rand (the same
// multiplicative congruential generator). Times are per variate.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <thread>
#include <vector>

#include "host/loader/library.h"

namespace {

using velm_host::Library;

const Library& edition(bool threaded) {
  return threaded ? velm_host::threaded_edition() : velm_host::stats_edition();
}

void seed(const Library& lib, std::int32_t s) {
  lib.get<decltype(&VELMSETSEED)>("VELMSETSEED")(&s);
}

template <bool Threaded>
void BM_Normal(benchmark::State& state) {
  const auto& lib = edition(Threaded);
  auto f = lib.get<decltype(&VELMNORMAL)>("VELMNORMAL");
  seed(lib, 1234 + state.thread_index());
  const float m = 0.0f, s = 1.0f;
  for (auto _ : state) benchmark::DoNotOptimize(f(&m, &s));
  state.SetItemsProcessed(state.iterations());
}

template <bool Threaded>
void BM_Lognormal(benchmark::State& state) {
  const auto& lib = edition(Threaded);
  auto f = lib.get<decltype(&VELMLOGNORMAL)>("VELMLOGNORMAL");
  seed(lib, 1234);
  const float m = 2.0f, s = 0.5f;
  for (auto _ : state) benchmark::DoNotOptimize(f(&m, &s));
  state.SetItemsProcessed(state.iterations());
}

template <bool Threaded>
void BM_Geometric(benchmark::State& state) {
  const auto& lib = edition(Threaded);
  auto f = lib.get<decltype(&VELMGEOMETRIC)>("VELMGEOMETRIC");
  seed(lib, 1234);
  const float p = 0.3f;
  for (auto _ : state) benchmark::DoNotOptimize(f(&p));
  state.SetItemsProcessed(state.iterations());
}

template <bool Threaded>
void BM_Triang(benchmark::State& state) {
  const auto& lib = edition(Threaded);
  auto f = lib.get<decltype(&VELMTRIANG)>("VELMTRIANG");
  seed(lib, 1234);
  const float a = 0.0f, c = 0.3f, b = 2.0f;
  for (auto _ : state) benchmark::DoNotOptimize(f(&a, &c, &b));
  state.SetItemsProcessed(state.iterations());
}

// Beta(p, q) for the regions the export reaches with one variate: 0.3, 0.3
// (Johnk), 0.5, 3 (switching), 2, 5 and 5, 30 (BB).
template <bool Threaded>
void BM_Beta(benchmark::State& state) {
  const auto& lib = edition(Threaded);
  auto f = lib.get<decltype(&VELMBETA)>("VELMBETA");
  seed(lib, 1234);
  const float p = static_cast<float>(state.range(0)) / 10.0f;
  const float q = static_cast<float>(state.range(1)) / 10.0f;
  for (auto _ : state) benchmark::DoNotOptimize(f(&p, &q));
  state.SetItemsProcessed(state.iterations());
}

void BM_YesNo_threaded(benchmark::State& state) {
  const auto& lib = edition(true);
  auto f = lib.get<decltype(&VELMYESNO)>("VELMYESNO");
  seed(lib, 1234);
  const float p = 0.3f;
  for (auto _ : state) benchmark::DoNotOptimize(f(&p));
  state.SetItemsProcessed(state.iterations());
}

void BM_CrNormal_threaded(benchmark::State& state) {
  const auto& lib = edition(true);
  auto f = lib.get<decltype(&VELMCRNORMAL)>("VELMCRNORMAL");
  seed(lib, 1234);
  const float m1 = 0.0f, s1 = 1.0f, m2 = 1.0f, s2 = 2.0f, rho = 0.5f;
  float a, b;
  for (auto _ : state) {
    benchmark::DoNotOptimize(f(&m1, &s1, &m2, &s2, &rho, &a, &b));
    benchmark::DoNotOptimize(a);
    benchmark::DoNotOptimize(b);
  }
  state.SetItemsProcessed(2 * state.iterations());
}

// Wall-clock throughput of state.range(0) threads, each drawing a block of
// normals from its own stream in the threaded edition: items per second over
// all threads, directly comparable between one and two threads.
void BM_NormalThroughput(benchmark::State& state) {
  const auto& lib = edition(true);
  auto f = lib.get<decltype(&VELMNORMAL)>("VELMNORMAL");
  auto set = lib.get<decltype(&VELMSETSEED)>("VELMSETSEED");
  const int threads = static_cast<int>(state.range(0));
  constexpr int kBlock = 1 << 20;
  for (auto _ : state) {
    std::vector<std::thread> pool;
    for (int t = 0; t < threads; ++t) {
      pool.emplace_back([f, set, t] {
        const std::int32_t s = 1000 + t;
        set(&s);
        const float m = 0.0f, sd = 1.0f;
        float acc = 0.0f;
        for (int i = 0; i < kBlock; ++i) acc += f(&m, &sd);
        benchmark::DoNotOptimize(acc);
      });
    }
    for (auto& th : pool) th.join();
  }
  state.SetItemsProcessed(state.iterations() * threads * kBlock);
}

// The same measurement for the standard-library peer: on a machine whose
// cores are busy with other work, this shows how much scaling the machine
// itself allows at the moment.
void BM_StdNormalThroughput(benchmark::State& state) {
  const int threads = static_cast<int>(state.range(0));
  constexpr int kBlock = 1 << 20;
  for (auto _ : state) {
    std::vector<std::thread> pool;
    for (int t = 0; t < threads; ++t) {
      pool.emplace_back([t] {
        std::minstd_rand g(static_cast<unsigned>(1000 + t));
        std::normal_distribution<float> d(0.0f, 1.0f);
        float acc = 0.0f;
        for (int i = 0; i < kBlock; ++i) acc += d(g);
        benchmark::DoNotOptimize(acc);
      });
    }
    for (auto& th : pool) th.join();
  }
  state.SetItemsProcessed(state.iterations() * threads * kBlock);
}

// Standard-library peers.
void BM_std_normal(benchmark::State& state) {
  std::minstd_rand g(1234);
  std::normal_distribution<float> d(0.0f, 1.0f);
  for (auto _ : state) benchmark::DoNotOptimize(d(g));
  state.SetItemsProcessed(state.iterations());
}

void BM_std_lognormal(benchmark::State& state) {
  std::minstd_rand g(1234);
  std::lognormal_distribution<float> d(0.6f, 0.25f);
  for (auto _ : state) benchmark::DoNotOptimize(d(g));
  state.SetItemsProcessed(state.iterations());
}

// The fair peer of VELMLOGNORMAL: like the export, it turns the variable's
// mean and sd into those of its logarithm on every call.
void BM_std_lognormal_converting(benchmark::State& state) {
  std::minstd_rand g(1234);
  std::lognormal_distribution<float> d;
  const volatile float mean = 2.0f, sd = 0.5f;
  for (auto _ : state) {
    const float ratio = sd / mean;
    const float v = std::log(1.0f + ratio * ratio);
    const float xm = std::log(static_cast<float>(mean)) - 0.5f * v;
    benchmark::DoNotOptimize(d(g, std::lognormal_distribution<float>::param_type(xm, std::sqrt(v))));
  }
  state.SetItemsProcessed(state.iterations());
}

// The same with the conversion in double, as the statistics edition makes
// it (its results rounded to single precision once, at the end).
void BM_std_lognormal_converting_double(benchmark::State& state) {
  std::minstd_rand g(1234);
  std::lognormal_distribution<float> d;
  const volatile float mean = 2.0f, sd = 0.5f;
  for (auto _ : state) {
    const double ratio = static_cast<double>(sd) / static_cast<double>(mean);
    const double v = std::log(1.0 + ratio * ratio);
    const auto xm = static_cast<float>(std::log(static_cast<double>(mean)) - 0.5 * v);
    const auto s = static_cast<float>(std::sqrt(v));
    benchmark::DoNotOptimize(d(g, std::lognormal_distribution<float>::param_type(xm, s)));
  }
  state.SetItemsProcessed(state.iterations());
}

void BM_std_geometric(benchmark::State& state) {
  std::minstd_rand g(1234);
  std::geometric_distribution<int> d(0.3);
  for (auto _ : state) benchmark::DoNotOptimize(d(g));
  state.SetItemsProcessed(state.iterations());
}

void BM_std_bernoulli(benchmark::State& state) {
  std::minstd_rand g(1234);
  std::bernoulli_distribution d(0.3);
  for (auto _ : state) benchmark::DoNotOptimize(d(g));
  state.SetItemsProcessed(state.iterations());
}

void BM_std_beta_from_gammas(benchmark::State& state) {
  std::minstd_rand g(1234);
  const float p = static_cast<float>(state.range(0)) / 10.0f;
  const float q = static_cast<float>(state.range(1)) / 10.0f;
  std::gamma_distribution<float> gp(p, 1.0f), gq(q, 1.0f);
  for (auto _ : state) {
    const float x = gp(g);
    const float y = gq(g);
    benchmark::DoNotOptimize(x / (x + y));
  }
  state.SetItemsProcessed(state.iterations());
}

// The same with each gamma's set-up (a square root and a division) made on
// every call from parameters it cannot assume fixed, as the export makes its
// own set-up for its one variate. The distributions themselves persist, so
// the second normal of each polar pair is kept as above.
void BM_std_beta_from_gammas_setup_per_call(benchmark::State& state) {
  using Gamma = std::gamma_distribution<float>;
  std::minstd_rand g(1234);
  const volatile float pin = static_cast<float>(state.range(0)) / 10.0f;
  const volatile float qin = static_cast<float>(state.range(1)) / 10.0f;
  Gamma gp, gq;
  for (auto _ : state) {
    const float x = gp(g, Gamma::param_type(pin, 1.0f));
    const float y = gq(g, Gamma::param_type(qin, 1.0f));
    benchmark::DoNotOptimize(x / (x + y));
  }
  state.SetItemsProcessed(state.iterations());
}

// Cheng's algorithm BB for beta(a, b) with min(a, b) > 1, written plainly in
// single precision with the C library's log and exp and uniforms from the
// same generator: the export's algorithm with other arithmetic, so that the
// two are measured apart. The set-up is made on every call, as the export
// makes it for its one variate.
void BM_plain_cheng_bb(benchmark::State& state) {
  std::minstd_rand g(1234);
  std::uniform_real_distribution<float> uniform(0.0f, 1.0f);
  const volatile float pin = static_cast<float>(state.range(0)) / 10.0f;
  const volatile float qin = static_cast<float>(state.range(1)) / 10.0f;
  for (auto _ : state) {
    const float p = pin, q = qin;
    const float a = std::min(p, q), b = std::max(p, q);
    const float alpha = a + b;
    const float beta = std::sqrt((alpha - 2.0f) / (2.0f * a * b - alpha));
    const float gamma = a + 1.0f / beta;
    float w, v, r, s, z, t;
    do {
      const float u1 = uniform(g), u2 = uniform(g);
      v = beta * std::log(u1 / (1.0f - u1));
      w = a * std::exp(v);
      z = u1 * u1 * u2;
      r = gamma * v - 1.3862944f;
      s = a + r - w;
      if (s + 2.609438f >= 5.0f * z) break;
      t = std::log(z);
      if (s > t) break;
    } while (r + alpha * std::log(alpha / (b + w)) < t);
    const float x = a == p ? w / (b + w) : b / (b + w);
    benchmark::DoNotOptimize(x);
  }
  state.SetItemsProcessed(state.iterations());
}

// Shape parameters in tenths: (0.3, 0.3), (0.5, 3) and (2, 5) reach the
// small-shape methods; (3, 3), (5, 30) and (20, 50) Cheng's BB, whose plain
// peer needs both shapes above 1.
void bb_args(benchmark::internal::Benchmark* b) {
  b->Args({30, 30})->Args({50, 300})->Args({200, 500});
}

void beta_args(benchmark::internal::Benchmark* b) {
  b->Args({3, 3})->Args({5, 30})->Args({20, 50});
  bb_args(b);
}

BENCHMARK(BM_Normal<false>)->Name("VELMNORMAL/stats");
BENCHMARK(BM_Normal<true>)->Name("VELMNORMAL/threaded");
BENCHMARK(BM_std_normal)->Name("std_normal_float");
BENCHMARK(BM_Lognormal<false>)->Name("VELMLOGNORMAL/stats");
BENCHMARK(BM_Lognormal<true>)->Name("VELMLOGNORMAL/threaded");
BENCHMARK(BM_std_lognormal)->Name("std_lognormal_float");
BENCHMARK(BM_std_lognormal_converting)->Name("std_lognormal_float/converting");
BENCHMARK(BM_std_lognormal_converting_double)->Name("std_lognormal_float/converting_in_double");
BENCHMARK(BM_Geometric<false>)->Name("VELMGEOMETRIC/stats");
BENCHMARK(BM_Geometric<true>)->Name("VELMGEOMETRIC/threaded");
BENCHMARK(BM_std_geometric)->Name("std_geometric_int");
BENCHMARK(BM_YesNo_threaded)->Name("VELMYESNO/threaded");
BENCHMARK(BM_std_bernoulli)->Name("std_bernoulli");
BENCHMARK(BM_Triang<false>)->Name("VELMTRIANG/stats");
BENCHMARK(BM_Triang<true>)->Name("VELMTRIANG/threaded");
BENCHMARK(BM_CrNormal_threaded)->Name("VELMCRNORMAL/threaded");
BENCHMARK(BM_Beta<false>)->Name("VELMBETA/stats")->Apply(beta_args);
BENCHMARK(BM_Beta<true>)->Name("VELMBETA/threaded")->Apply(beta_args);
BENCHMARK(BM_std_beta_from_gammas)->Name("std_beta_two_gammas")->Apply(beta_args);
BENCHMARK(BM_std_beta_from_gammas_setup_per_call)
    ->Name("std_beta_two_gammas/setup_per_call")
    ->Apply(beta_args);
BENCHMARK(BM_plain_cheng_bb)->Name("plain_cheng_bb")->Apply(bb_args);
// Two threads drawing normals from their own streams should scale: no lock,
// no shared cache line on the sampling path.
BENCHMARK(BM_NormalThroughput)->Name("VELMNORMAL/threaded/throughput")->Arg(1)->Arg(2)->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StdNormalThroughput)->Name("std_normal_float/throughput")->Arg(1)->Arg(2)->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
