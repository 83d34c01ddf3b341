#include "host/velmsim/engine/run.h"

#include <algorithm>

namespace velmsim {

RunResult run(const Plan& plan, const SamplingExports& sampling, const BlockCheck& converged) {
  RunResult result;
  Samples& s = result.samples;
  allocate(*plan.model, plan.iterations, s);
  BlockDrawer drawer(plan, sampling);
  while (s.n < plan.iterations) {
    const int m = std::min(plan.block, plan.iterations - s.n);
    result.failure = drawer.draw(s.n, s.n + m, s);
    if (result.failure.iteration >= 0) break;
    s.n += m;
    if (converged && converged(s, m)) {
      result.converged = true;
      break;
    }
  }
  return result;
}

}  // namespace velmsim
