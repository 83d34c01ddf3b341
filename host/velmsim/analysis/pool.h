// The summaries of a run spread over threads, each thread calling a copy of
// the statistics edition of its own (the edition keeps static state, so one
// copy may serve one thread at a time).
#pragma once

#include <cstddef>
#include <functional>
#include <vector>

#include "host/velmsim/analysis/statistics.h"

namespace velmsim {

class StatisticsPool {
 public:
  // A pool of the first `threads` of `copies` (at least the first).
  StatisticsPool(const std::vector<const StatisticsExports*>& copies, int threads);
  // A pool of one copy: everything in the calling thread.
  explicit StatisticsPool(const StatisticsExports& copy);

  std::size_t size() const { return statistics_.size(); }
  // The first copy, for the summaries the calling thread takes itself.
  const Statistics& first() const { return statistics_.front(); }

  // Calls item(i, statistics) for every i < count and returns when all are
  // done. Item i goes to copy i % size(), in that copy's thread, a fixed
  // assignment; since every copy is the same library, no result depends on
  // the number of threads. Items must write only to what is theirs. The
  // exception thrown by the lowest item that throws is rethrown here.
  using Item = std::function<void(std::size_t i, const Statistics& statistics)>;
  void for_each(std::size_t count, const Item& item) const;

 private:
  std::vector<Statistics> statistics_;
};

}  // namespace velmsim
