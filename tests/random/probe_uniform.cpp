// Probe scenarios of the uniform stream on a fresh process.
#include <cstdio>

#include "export/velmprob.h"
#include "random/uniform.h"
#include "support/probe.h"

// The first call of all is VELMGETSEED: the stream seeds itself from the
// clock, and drawing continues from that seed.
VELM_PROBE(fresh_getseed) {
  const int seed = VELMGETSEED();
  const float a = 0.0f, b = 1.0f;
  VELMUNIFORM(&a, &b);
  std::printf("%d %d %d\n", seed, static_cast<int>(VELMGETSEED()), static_cast<int>(VELMGETSEED()));
}

// A seed outside the range on a never-used stream seeds it from the clock.
VELM_PROBE(fresh_ignored_seed) {
  const std::int32_t seed = std::stoi(args.at(0));
  VELMSETSEED(&seed);
  std::printf("%d\n", static_cast<int>(VELMGETSEED()));
}

// The first draw without any seed takes a clock seed.
VELM_PROBE(fresh_draw) {
  const float u = velm::RNUNF();
  std::printf("%d %.9g\n", static_cast<int>(velm::RNGET()), static_cast<double>(u));
}

VELM_PROBE(rnun_count) {
  float r[1];
  velm::RNUN(std::stoi(args.at(0)), r);
}
