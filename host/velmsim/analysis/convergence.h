// The convergence checks of a run: every output's convergence error, mean,
// 80th percentile and, when the plan asks for it, the precision of its
// percentiles, against the plan's tolerance and precision.
//
// A check summarises the whole sample, so checking after every block would
// make a run with short blocks quadratic. Checks fall at block ends spaced
// geometrically instead: after the first block, then at the first block end
// at which the sample has at least doubled since the last check. The checks
// together then summarise at most twice the final sample, whatever the
// block, and a run stops at most at twice the iterations it needed. The error a check gives
// is still that of the last block, so the tolerance means what it says
// whatever the spacing of the checks.
#pragma once

#include <cstddef>
#include <vector>

#include "host/velmsim/analysis/pool.h"
#include "host/velmsim/engine/samples.h"
#include "host/velmsim/plan/plan.h"

namespace velmsim {

// The state at a check after n iterations: every reported output's
// convergence error over the last block (NaN before two blocks), mean, 80th
// percentile and, when the plan sets a precision, the widest 95 % interval
// of its listed percentiles in its sd (infinite while an interval reaches
// beyond the sample; NaN for an output that never varied).
struct Checkpoint {
  int n = 0;
  std::vector<float> error, mean, p80;
  std::vector<double> precision;  // empty without a precision
};

// Whether a check falls after `n` iterations, the last check having been
// after `last` (0: none yet), for blocks of `block`.
bool check_due(int n, int last, int block);

class Convergence {
 public:
  Convergence(const Plan& plan, const StatisticsPool& pool)
      : plan_(plan), pool_(pool), reported_(plan.model->reported_outputs()) {}

  // Called after each block, of `block_length` iterations: takes a check
  // when one is due and returns true
  // when every output's error is below the tolerance and, with a precision,
  // every listed percentile precise enough; false between checks.
  bool check(const Samples& samples, int block_length);

  const std::vector<Checkpoint>& trace() const { return trace_; }

 private:
  const Plan& plan_;
  const StatisticsPool& pool_;
  std::vector<std::size_t> reported_;  // the outputs checked
  std::vector<Checkpoint> trace_;
};

}  // namespace velmsim
