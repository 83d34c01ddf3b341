// The probe program: runs the scenario named by its first argument, passing
// the remaining arguments on. A scenario that returns ends the probe with
// status 0; one that stops the process ends it with the library's status.
#include <cstdio>
#include <cstring>
#include <map>
#include <string>

#include "support/probe.h"

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#endif

namespace velm_test {
namespace {
std::map<std::string, ProbeFunction>& registry() {
  static std::map<std::string, ProbeFunction> scenarios;
  return scenarios;
}
}  // namespace

ProbeRegistrar::ProbeRegistrar(const char* name, ProbeFunction run) { registry()[name] = run; }

}  // namespace velm_test

int main(int argc, char** argv) {
#if defined(_WIN32)
  // Lines end in "\n" alone, as the library writes them: no CR is added.
  _setmode(_fileno(stdout), _O_BINARY);
#endif
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s SCENARIO [ARGS...]\n", argv[0]);
    return 2;
  }
  const auto& scenarios = velm_test::registry();
  auto it = scenarios.find(argv[1]);
  if (it == scenarios.end()) {
    std::fprintf(stderr, "unknown scenario %s\n", argv[1]);
    return 2;
  }
  velm_test::ProbeArgs args(argv + 2, argv + argc);
  it->second(args);
  std::fflush(stdout);
  return 0;
}
