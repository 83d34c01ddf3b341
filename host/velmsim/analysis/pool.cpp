#include "host/velmsim/analysis/pool.h"

#include <algorithm>
#include <exception>
#include <thread>

namespace velmsim {

StatisticsPool::StatisticsPool(const std::vector<const StatisticsExports*>& copies, int threads) {
  const auto n = std::clamp<std::size_t>(static_cast<std::size_t>(std::max(threads, 1)), 1,
                                         copies.size());
  for (std::size_t i = 0; i < n; ++i) statistics_.emplace_back(*copies[i]);
}

StatisticsPool::StatisticsPool(const StatisticsExports& copy) { statistics_.emplace_back(copy); }

void StatisticsPool::for_each(std::size_t count, const Item& item) const {
  const std::size_t workers = std::min(size(), count);
  // Worker w takes items w, w + size(), w + 2 size(), ... and keeps the
  // first exception it meets (its lowest item), which ends its share.
  struct Failure {
    std::size_t item = 0;
    std::exception_ptr error;
  };
  std::vector<Failure> failures(workers);
  auto share = [&](std::size_t w) {
    for (std::size_t i = w; i < count; i += size()) {
      try {
        item(i, statistics_[w]);
      } catch (...) {
        failures[w] = {i, std::current_exception()};
        return;
      }
    }
  };
  std::vector<std::thread> threads;
  for (std::size_t w = 1; w < workers; ++w) threads.emplace_back(share, w);
  if (workers > 0) share(0);
  for (std::thread& t : threads) t.join();
  const Failure* first = nullptr;
  for (const Failure& f : failures)
    if (f.error && (first == nullptr || f.item < first->item)) first = &f;
  if (first != nullptr) std::rethrow_exception(first->error);
}

}  // namespace velmsim
