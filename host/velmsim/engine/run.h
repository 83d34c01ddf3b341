// A run: blocks of iterations drawn until the caller's check after a block
// says the outputs have converged, or the plan's iteration limit is reached.
#pragma once

#include <functional>

#include "host/velmsim/engine/block_drawer.h"
#include "host/velmsim/engine/exports.h"
#include "host/velmsim/engine/samples.h"
#include "host/velmsim/plan/plan.h"

namespace velmsim {

struct RunResult {
  Samples samples;
  bool converged = false;
  Failure failure;  // failure.iteration >= 0: an output was not finite, and the run stopped
};

// Called after each block with the samples so far (samples.n iterations)
// and the length of the block just drawn; returns true when the run may
// stop.
using BlockCheck = std::function<bool(const Samples& samples, int block_length)>;

RunResult run(const Plan& plan, const SamplingExports& sampling, const BlockCheck& converged);

}  // namespace velmsim
