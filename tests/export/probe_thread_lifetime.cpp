// Unloading the library while a thread that used it is still alive, as a
// host may do at shutdown.
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include "export/velmprob.h"
#include "support/probe.h"

namespace {

class LoadedLibrary {
 public:
  explicit LoadedLibrary(const char* path) {
#if defined(_WIN32)
    handle_ = static_cast<void*>(LoadLibraryA(path));
#else
    handle_ = dlopen(path, RTLD_NOW | RTLD_LOCAL);
#endif
  }
  bool loaded() const { return handle_ != nullptr; }
  template <typename F>
  F get(const char* name) const {
#if defined(_WIN32)
    return reinterpret_cast<F>(
        reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle_), name)));
#else
    return reinterpret_cast<F>(dlsym(handle_, name));
#endif
  }
  void unload() {
#if defined(_WIN32)
    FreeLibrary(static_cast<HMODULE>(handle_));
#else
    dlclose(handle_);
#endif
    handle_ = nullptr;
  }

 private:
  void* handle_ = nullptr;
};

}  // namespace

// args: path of the library. A worker thread draws (creating its per-thread
// blocks), then waits while the main thread unloads the library; then the
// worker ends, and another thread starts and ends.
VELM_PROBE(unload_with_live_thread) {
  LoadedLibrary library(args.at(0).c_str());
  if (!library.loaded()) {
    std::printf("cannot load %s\n", args.at(0).c_str());
    return;
  }
  auto set_seed = library.get<decltype(&VELMSETSEED)>("VELMSETSEED");
  auto uniform = library.get<decltype(&VELMUNIFORM)>("VELMUNIFORM");
  std::mutex mutex;
  std::condition_variable changed;
  int stage = 0;  // 1: the worker has drawn; 2: the library is unloaded
  std::thread worker([&] {
    const std::int32_t seed = 1;
    const float a = 0.0f, b = 1.0f;
    set_seed(&seed);
    const float u = uniform(&a, &b);
    std::printf("drew %.7f\n", static_cast<double>(u));
    std::unique_lock<std::mutex> lock(mutex);
    stage = 1;
    changed.notify_all();
    changed.wait(lock, [&] { return stage == 2; });
  });
  {
    std::unique_lock<std::mutex> lock(mutex);
    changed.wait(lock, [&] { return stage == 1; });
  }
  library.unload();
  {
    std::lock_guard<std::mutex> lock(mutex);
    stage = 2;
  }
  changed.notify_all();
  worker.join();
  std::thread([] {}).join();
  std::printf("host still running\n");
}
