// velmsim: a Monte-Carlo host that loads a velmprob edition at run time, finds
// its exports by their undecorated names and calls them one variate at a time.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <dlfcn.h>

#include "export/velmprob.h"

namespace {

void* load(const char* path) {
  void* handle = dlopen(path, RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    std::fprintf(stderr, "velmsim: cannot load %s: %s\n", path, dlerror());
    std::exit(2);
  }
  return handle;
}

template <typename F>
F find(void* handle, const char* name) {
  void* symbol = dlsym(handle, name);
  if (symbol == nullptr) {
    std::fprintf(stderr, "velmsim: the library lacks the export %s\n", name);
    std::exit(2);
  }
  return reinterpret_cast<F>(symbol);
}

void usage() {
  std::printf(
      "usage: velmsim [--library PATH] [--seed N] [--count N]\n"
      "Loads a velmprob library, installs a seed and prints uniform variates.\n"
      "  --library PATH  the library to load (default: this build's statistics edition)\n"
      "  --seed N        seed to install (default 12345; 0 takes a seed from the clock)\n"
      "  --count N       how many variates to print (default 5)\n");
}

}  // namespace

int main(int argc, char** argv) {
  std::string library = VELM_DEFAULT_LIBRARY;
  long seed = 12345;
  long count = 5;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&]() -> const char* {
      if (i + 1 >= argc) {
        std::fprintf(stderr, "velmsim: %s needs a value\n", arg.c_str());
        std::exit(2);
      }
      return argv[++i];
    };
    auto number = [&](const char* text) {
      char* end = nullptr;
      const long n = std::strtol(text, &end, 10);
      if (*text == '\0' || *end != '\0' || n < 0 || n > 2147483646) {
        std::fprintf(stderr, "velmsim: %s wants a whole number from 0 to 2147483646, not %s\n",
                     arg.c_str(), text);
        std::exit(2);
      }
      return n;
    };
    if (arg == "--library") {
      library = value();
    } else if (arg == "--seed") {
      seed = number(value());
    } else if (arg == "--count") {
      count = number(value());
    } else if (arg == "--help" || arg == "-h") {
      usage();
      return 0;
    } else {
      std::fprintf(stderr, "velmsim: unknown option %s (try --help)\n", arg.c_str());
      return 2;
    }
  }

  void* handle = load(library.c_str());
  auto set_seed = find<decltype(&VELMSETSEED)>(handle, "VELMSETSEED");
  auto get_seed = find<decltype(&VELMGETSEED)>(handle, "VELMGETSEED");
  auto uniform = find<decltype(&VELMUNIFORM)>(handle, "VELMUNIFORM");

  const auto installed = static_cast<int32_t>(seed);
  set_seed(&installed);
  std::printf("velmsim: %s\n", library.c_str());
  std::printf("seed %d\n", static_cast<int>(get_seed()));
  const float a = 0.0f, b = 1.0f;
  for (long i = 0; i < count; ++i) std::printf("%.9g\n", static_cast<double>(uniform(&a, &b)));
  std::printf("seed after %ld draws %d\n", count, static_cast<int>(get_seed()));
  return 0;
}
