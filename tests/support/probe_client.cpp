// Starts the probe program through the C library's command processor (popen,
// _popen on Windows) and reads its standard output.
#include <cstdio>
#include <string>

#include "support/probe.h"

#if defined(_WIN32)
#define velm_popen _popen
#define velm_pclose _pclose
#else
#include <sys/wait.h>
#define velm_popen popen
#define velm_pclose pclose
#endif

namespace velm_test {

ProbeResult run_probe(const std::string& scenario, const ProbeArgs& args) {
  std::string command = "\"" VELM_PROBE_PATH "\" " + scenario;
  for (const auto& arg : args) command += " \"" + arg + "\"";
#if defined(_WIN32)
  // _popen runs "cmd /c COMMAND", and cmd drops the first and the last quote
  // of a command line that holds more than two: one more pair keeps ours.
  // The probe writes in binary mode, and the pipe is read in binary mode, so
  // the bytes compared are the bytes written, as on other systems.
  command = "\"" + command + "\"";
  const char* mode = "rb";
#else
  const char* mode = "r";
#endif
  ProbeResult result{"", -1};
  // cmd answers 9009 when it could not start the program at all; under a
  // loaded Wine that happens now and then. The probe never ran, so running
  // it again changes nothing that a test observes.
  for (int attempt = 0; attempt < 3; ++attempt) {
    result = ProbeResult{"", -1};
    std::FILE* pipe = velm_popen(command.c_str(), mode);
    if (pipe == nullptr) return result;
    char buffer[4096];
    std::size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) result.output.append(buffer, got);
    int status = velm_pclose(pipe);
#if defined(_WIN32)
    result.status = status;
    constexpr int kNotStarted = 9009;
    if (status == kNotStarted && result.output.empty()) continue;
#else
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
    break;
  }
  return result;
}

}  // namespace velm_test
