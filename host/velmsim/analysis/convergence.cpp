#include "host/velmsim/analysis/convergence.h"

#include <limits>

namespace velmsim {

bool Convergence::check(const Samples& s, int block_length) {
  const auto n = static_cast<std::size_t>(s.n);
  Checkpoint c;
  c.n = s.n;
  bool all_below = true;
  for (const std::vector<float>& y : s.outputs) {
    const float error = s.n >= 2 * plan_.block
                            ? st_.convergence_error(y.data(), n, static_cast<std::size_t>(block_length))
                            : std::numeric_limits<float>::quiet_NaN();
    if (!(error < plan_.tolerance)) all_below = false;
    c.error.push_back(error);
    c.mean.push_back(st_.describe(y.data(), n).stat[0]);
    c.p80.push_back(st_.quantiles(y.data(), n, {0.8f})[0]);
  }
  trace_.push_back(std::move(c));
  return all_below;
}

}  // namespace velmsim
