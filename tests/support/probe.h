// A probe program runs one named scenario per process, so that tests can check
// calls that end the process: the test starts the probe, reads its standard
// output and its exit status, and compares them byte for byte.
//
// Scenarios live in files named probe_*.cpp next to the tests:
//
//   VELM_PROBE(amach_zero) { velm::AMACH(0); }
//   VELM_PROBE(amach_arg) { velm::AMACH(std::stoi(args.at(0))); }
//
// and tests run them with run_probe("amach_zero") or
// run_probe("amach_arg", {"9"}).
#pragma once

#include <string>
#include <vector>

namespace velm_test {

using ProbeArgs = std::vector<std::string>;
using ProbeFunction = void (*)(const ProbeArgs& args);

struct ProbeRegistrar {
  ProbeRegistrar(const char* name, ProbeFunction run);
};

struct ProbeResult {
  std::string output;  // everything the probe wrote on standard output
  int status;          // its exit status; -1 if it did not exit normally
};

// Runs a scenario of this edition's probe program and collects its output.
ProbeResult run_probe(const std::string& scenario, const ProbeArgs& args = {});

}  // namespace velm_test

#define VELM_PROBE(name)                                                        \
  static void velm_probe_##name(const velm_test::ProbeArgs& args);              \
  static const velm_test::ProbeRegistrar velm_probe_registrar_##name(#name,     \
                                                                     velm_probe_##name); \
  static void velm_probe_##name([[maybe_unused]] const velm_test::ProbeArgs& args)
