// Probe scenarios for sampler exports whose arguments are refused: the
// TERMINAL message is printed and the process ends.
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "core/edition.h"
#include "export/velmprob.h"
#include "random/samplers.h"
#include "support/probe.h"

namespace {
// Prints what a call returned, which a refused call must never reach.
void returned(double value) { std::printf("returned %g\n", value); }
}  // namespace

VELM_PROBE(lognormal) {
  const float mean = std::stof(args.at(0)), sd = std::stof(args.at(1));
  returned(VELMLOGNORMAL(&mean, &sd));
}

VELM_PROBE(geometric) {
  const float p = std::stof(args.at(0));
  returned(VELMGEOMETRIC(&p));
}

VELM_PROBE(beta) {
  const float p = std::stof(args.at(0)), q = std::stof(args.at(1));
  returned(VELMBETA(&p, &q));
}

VELM_PROBE(beta_nr0) {
  float r = 0.0f;
  velm::RNBET(0, 2.0f, 3.0f, &r);
  returned(r);
}

#if VELM_THREADED
VELM_PROBE(crnormal) {
  const float m1 = 1.0f, s1 = std::stof(args.at(0)), m2 = 2.0f, s2 = std::stof(args.at(1)),
              rho = std::stof(args.at(2));
  float a = 0.0f, b = 0.0f;
  returned(VELMCRNORMAL(&m1, &s1, &m2, &s2, &rho, &a, &b));
}
#endif

// RNMVN(nr, k, rsig, ldrsig, r, ldr) with a factor of exactly ldrsig x k
// elements on the heap, so that a read beyond it would be caught by the
// address sanitizer: 1 on the first element, 2 on the second, zeros after.
VELM_PROBE(mvn_dims) {
  const int nr = std::stoi(args.at(0)), k = std::stoi(args.at(1)), ldrsig = std::stoi(args.at(2)),
            ldr = std::stoi(args.at(3));
  std::vector<float> rsig(static_cast<std::size_t>(ldrsig * k), 0.0f);
  rsig.at(0) = 1.0f;
  rsig.at(1) = 2.0f;
  std::vector<float> r(static_cast<std::size_t>((ldr > 0 ? ldr : 1) * k) + 8, 0.0f);
  velm::RNMVN(nr, k, rsig.data(), ldrsig, r.data(), ldr);
  returned(r[0]);
}

#if VELM_THREADED
// Eight threads draw from every sampler; once all of them are under way, the
// thread named by the argument asks for a lognormal with sd 0, whose TERMINAL
// message ends the process while the others are still drawing.
VELM_PROBE(draw_while_terminal) {
  const int failing = std::stoi(args.at(0));
  constexpr int kThreads = 8;
  std::atomic<int> running{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t, failing, &running] {
      const std::int32_t seed = 100 + t;
      VELMSETSEED(&seed);
      const float zero = 0.0f, one = 1.0f, two = 2.0f, half = 0.5f, p = 0.3f, rho = 0.4f;
      float a, b;
      bool counted = false;
      for (long i = 0; i < 100000000L; ++i) {
        VELMNORMAL(&zero, &one);
        VELMLOGNORMAL(&two, &half);
        VELMCRNORMAL(&zero, &one, &one, &two, &rho, &a, &b);
        VELMGEOMETRIC(&p);
        VELMBETA(&half, &two);
        VELMTRIANG(&zero, &half, &two);
        if (i == 10 && !counted) {
          running.fetch_add(1);
          counted = true;
        }
        if (t == failing && counted && running.load() == kThreads) {
          VELMLOGNORMAL(&one, &zero);
        }
      }
    });
  }
  for (auto& th : threads) th.join();
  std::printf("every thread finished\n");
}
#endif
