// The convergence check after each block: every output's convergence error,
// mean and 80th percentile so far, against the plan's tolerance.
#pragma once

#include <vector>

#include "host/velmsim/analysis/statistics.h"
#include "host/velmsim/engine/samples.h"
#include "host/velmsim/plan/plan.h"

namespace velmsim {

// The state after a block: every output's convergence error (NaN before
// there are two blocks), mean and 80th percentile.
struct Checkpoint {
  int n = 0;
  std::vector<float> error, mean, p80;
};

class Convergence {
 public:
  Convergence(const Plan& plan, const Statistics& statistics) : plan_(plan), st_(statistics) {}

  // Records the checkpoint after a block of `block_length` iterations; true
  // when every output's convergence error is below the tolerance.
  bool check(const Samples& samples, int block_length);

  const std::vector<Checkpoint>& trace() const { return trace_; }

 private:
  const Plan& plan_;
  const Statistics& st_;
  std::vector<Checkpoint> trace_;
};

}  // namespace velmsim
