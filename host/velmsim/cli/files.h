// What a command writes and how it fails: report files written whole or not
// at all, and errors that end the command with a message and an exit status.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

namespace velmsim::cli {

// Ends the command: "velmsim: error: MESSAGE" on standard error and the exit
// status (2 for a bad command line, model or library; 1 for a file that
// cannot be written).
class CommandError : public std::runtime_error {
 public:
  explicit CommandError(const std::string& message, int status = 2)
      : std::runtime_error(message), status_(status) {}
  int status() const { return status_; }

 private:
  int status_;
};

// The report files of a command, opened before the run so that a bad path
// fails at once. Those that did not exist before are removed again unless
// the command keeps them.
class ReportFiles {
 public:
  explicit ReportFiles(const std::vector<std::string>& paths);
  ~ReportFiles();
  ReportFiles(const ReportFiles&) = delete;
  ReportFiles& operator=(const ReportFiles&) = delete;

  // Writes `text` to `path` (if given) through a temporary file and a
  // rename, so that a failed write never leaves a truncated report behind.
  void write(const std::string& path, const std::string& text);
  // The files are the command's results: keep them.
  void keep() { created_.clear(); }

 private:
  std::vector<std::string> created_;
};

// Prints the text to standard output; exit status 0, or 1 when it cannot be
// written.
int print_report(const std::string& text);

}  // namespace velmsim::cli
