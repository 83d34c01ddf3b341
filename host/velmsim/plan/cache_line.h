// Storage on cache lines of its own, for what one thread writes on every
// iteration while other threads read or write their own storage nearby: a
// buffer that shared a 64-byte line with another thread's would bounce the
// line between their cores on every write (false sharing).
#pragma once

#include <cstddef>
#include <new>
#include <vector>

namespace velmsim {

template <typename T>
struct CacheLineAllocator {
  using value_type = T;
  static constexpr std::size_t kLine = 64;
  CacheLineAllocator() = default;
  template <typename U>
  CacheLineAllocator(const CacheLineAllocator<U>&) {}
  // Whole lines, from the start of one.
  T* allocate(std::size_t n) {
    const std::size_t bytes = (n * sizeof(T) + kLine - 1) / kLine * kLine;
    return static_cast<T*>(::operator new(bytes, std::align_val_t{kLine}));
  }
  void deallocate(T* p, std::size_t) { ::operator delete(p, std::align_val_t{kLine}); }
  template <typename U>
  bool operator==(const CacheLineAllocator<U>&) const { return true; }
};

template <typename T>
using LineVector = std::vector<T, CacheLineAllocator<T>>;

}  // namespace velmsim
