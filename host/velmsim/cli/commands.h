// The commands: run (or check) a model, and compare two. Each returns the
// exit status: 0; 2 for anything wrong before the run (a model with errors,
// a library that cannot serve, a report path that cannot be written); 1 for
// a report that cannot be written after the run.
#pragma once

#include "host/velmsim/cli/options.h"

namespace velmsim::cli {

int run_command(const CommandLine& c);
int compare_command(const CommandLine& c);
int convert_command(const CommandLine& c);

}  // namespace velmsim::cli
