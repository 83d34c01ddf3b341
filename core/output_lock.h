// Process-wide locks that outlive every thread of the process.
#pragma once

#include <mutex>
#include <new>

namespace velm {

// Holds a T that is constructed on first use and never destroyed, so that a
// thread still inside the library while the process ends (or after static
// destructors have run) never sees a destroyed object.
template <typename T>
class NoDestroy {
 public:
  NoDestroy() { ::new (static_cast<void*>(storage_)) T(); }
  NoDestroy(const NoDestroy&) = delete;
  NoDestroy& operator=(const NoDestroy&) = delete;
  T& get() { return *std::launder(reinterpret_cast<T*>(storage_)); }

 private:
  alignas(T) unsigned char storage_[sizeof(T)];
};

// The output lock: serialises whole messages so that lines of different
// threads never interleave. Function-local static initialisation is
// thread-safe, so two threads cannot create it twice.
inline std::mutex& output_mutex() {
  static NoDestroy<std::mutex> mutex;
  return mutex.get();
}

}  // namespace velm
