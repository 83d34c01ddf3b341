// velmsim's command line: `velmsim [MODEL] [options]` runs or checks a
// model, `velmsim compare A B [options]` compares two, `velmsim convert FILE
// --to toml|csv` converts a scheduling program's file. Each option is
// declared once; compare takes those that apply to it.
#pragma once

#include <string>

#include "host/velmsim/plan/plan.h"

namespace velmsim::cli {

struct CommandLine {
  bool compare = false;
  bool convert = false;
  std::string schedule, to, encoding;  // convert: the file, toml or csv, an XER code page
  std::string model;  // run: the model file
  std::string a, b;   // compare: the two model files
  bool check = false;
  std::string json, csv, html;  // report files
  std::string stats_library, threaded_library;
  Overrides overrides;
};

// Parses the command line into `out`. Returns -1 to go on, or the exit
// status after --help (0) or a bad command line (2, with a message).
int parse_command_line(int argc, char** argv, CommandLine& out);

}  // namespace velmsim::cli
