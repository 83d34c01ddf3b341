// Loads a built edition at run time and finds its exports by their undecorated
// names, as a host does, so that benchmarks measure calls through the
// exported symbols.
#pragma once

#include <cstdio>
#include <cstdlib>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include "export/velmprob.h"

namespace velm_bench {

class Library {
 public:
  explicit Library(const char* path) {
#if defined(_WIN32)
    handle_ = static_cast<void*>(LoadLibraryA(path));
#else
    handle_ = dlopen(path, RTLD_NOW | RTLD_LOCAL);
#endif
    if (handle_ == nullptr) {
      std::fprintf(stderr, "cannot load %s\n", path);
      std::exit(2);
    }
  }
  Library(const Library&) = delete;
  Library& operator=(const Library&) = delete;

  // The export `name`, typed as F (for example decltype(&VELMUNIFORM)).
  template <typename F>
  F get(const char* name) const {
#if defined(_WIN32)
    auto symbol = reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle_), name));
#else
    void* symbol = dlsym(handle_, name);
#endif
    if (symbol == nullptr) {
      std::fprintf(stderr, "missing export %s\n", name);
      std::exit(2);
    }
    return reinterpret_cast<F>(symbol);
  }

 private:
  void* handle_ = nullptr;
};

// The two editions of this build, loaded once per process.
inline const Library& stats_edition() {
  static const Library library(VELM_STATS_LIBRARY);
  return library;
}
inline const Library& threaded_edition() {
  static const Library library(VELM_THREADED_LIBRARY);
  return library;
}

}  // namespace velm_bench
