// The commands: run (or check) a model, and compare two. Each returns the
// exit status: 0, 2 for a model with errors or a library that cannot serve,
// 1 for a report that cannot be written.
#pragma once

#include "host/velmsim/cli/options.h"

namespace velmsim::cli {

int run_command(const CommandLine& c);
int compare_command(const CommandLine& c);

}  // namespace velmsim::cli
