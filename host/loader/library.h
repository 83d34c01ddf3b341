// Run-time loading of a built edition of velmprob, as a host does: the
// library is opened by path and its exports are found by their undecorated
// names. Shared by velmsim, velmdump and the benchmarks. A library that
// cannot be opened, or lacks an export asked for, is reported by a LoadError
// that names the path and the reason; what to do then is the caller's.
#pragma once

#include <stdexcept>
#include <string>
#include <utility>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include "export/velmprob.h"

namespace velm_host {

class LoadError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Where a library is loaded: with the process's other libraries, or as a
// copy of its own, with its own static state, in a new link-map namespace.
enum class Namespace { shared, own };

// Whether copies in namespaces of their own can be had: with glibc's
// dlmopen, and not under AddressSanitizer or ThreadSanitizer, whose runtime
// must come first in every namespace and is not loaded into new ones.
#if defined(LM_ID_NEWLM) && !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
inline constexpr bool kOwnNamespaces = true;
#else
inline constexpr bool kOwnNamespaces = false;
#endif

class Library {
 public:
  // Opens the library at `path`, or throws a LoadError. A copy in its own
  // namespace (dlmopen; none where kOwnNamespaces is false, as the LoadError
  // says) keeps static state apart from every other copy: two such copies
  // of the statistics edition may be called from two threads at once. The
  // loader allows only a few namespaces (glibc: 15 besides the first, fewer
  // when static TLS runs out), and says so through a LoadError.
  explicit Library(std::string path, Namespace where = Namespace::shared)
      : path_(std::move(path)) {
    const char* reason = "a copy in a namespace of its own is not supported on this system";
#if defined(_WIN32)
    if (where == Namespace::shared) {
      handle_ = static_cast<void*>(LoadLibraryA(path_.c_str()));
      reason = "LoadLibrary failed";
    }
#else
    dlerror();  // clears the message of an earlier failure
    if (where == Namespace::shared) handle_ = dlopen(path_.c_str(), RTLD_NOW | RTLD_LOCAL);
#if defined(LM_ID_NEWLM)
    else if (kOwnNamespaces)
      handle_ = dlmopen(LM_ID_NEWLM, path_.c_str(), RTLD_NOW | RTLD_LOCAL);
#endif
    if (const char* error = handle_ == nullptr ? dlerror() : nullptr) reason = error;
#endif
    if (handle_ == nullptr) throw LoadError("cannot load the library " + path_ + ": " + reason);
  }
  // The library stays loaded for the life of the process: exports found
  // through it may be called from objects that outlive this one.
  Library(const Library&) = delete;
  Library& operator=(const Library&) = delete;

  // The export `name` typed as F (for example decltype(&VELMUNIFORM)), or
  // null when this edition lacks it.
  template <typename F>
  F find(const char* name) const {
#if defined(_WIN32)
    auto symbol = reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle_), name));
#else
    void* symbol = dlsym(handle_, name);
#endif
    return reinterpret_cast<F>(symbol);
  }

  // The export `name`, or a LoadError when the library lacks it.
  template <typename F>
  F get(const char* name) const {
    F f = find<F>(name);
    if (f == nullptr) throw LoadError("the library " + path_ + " lacks the export " + name);
    return f;
  }

  const std::string& path() const { return path_; }

 private:
  std::string path_;
  void* handle_ = nullptr;
};

#if defined(VELM_STATS_LIBRARY) && defined(VELM_THREADED_LIBRARY)
// The two editions of this build (paths compiled in), loaded once per
// process; for benchmarks, which have no use for a build without them.
inline const Library& stats_edition() {
  static const Library library(VELM_STATS_LIBRARY);
  return library;
}
inline const Library& threaded_edition() {
  static const Library library(VELM_THREADED_LIBRARY);
  return library;
}
#endif

}  // namespace velm_host
