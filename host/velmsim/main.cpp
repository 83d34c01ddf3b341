// velmsim: runs a Monte-Carlo model written in a TOML file with velmprob,
// loaded at run time and called one variate at a time as a host does, and
// reports the outputs as text, JSON, CSV and a self-contained HTML page.
#include <cstdio>
#include <exception>

#include "host/loader/library.h"
#include "host/velmsim/cli/commands.h"
#include "host/velmsim/cli/files.h"
#include "host/velmsim/cli/options.h"

int main(int argc, char** argv) {
  velmsim::cli::CommandLine command;
  command.model = VELM_DEFAULT_MODEL;
  command.stats_library = VELM_STATS_LIBRARY;
  command.threaded_library = VELM_THREADED_LIBRARY;
  if (const int status = velmsim::cli::parse_command_line(argc, argv, command); status >= 0)
    return status;
  try {
    if (command.convert) return velmsim::cli::convert_command(command);
    return command.compare ? velmsim::cli::compare_command(command)
                           : velmsim::cli::run_command(command);
  } catch (const velmsim::cli::CommandError& e) {
    std::fprintf(stderr, "velmsim: error: %s\n", e.what());
    return e.status();
  } catch (const velm_host::LoadError& e) {
    std::fprintf(stderr, "velmsim: error: %s\n", e.what());
    return 2;
  } catch (const std::exception& e) {  // beyond a limit of the statistics, out of memory
    std::fprintf(stderr, "velmsim: error: %s\n", e.what());
    return 2;
  }
}
