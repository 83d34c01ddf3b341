// What a command writes and how it fails: report files written after a
// successful run, all of them or none, and errors that end the command with
// a message and an exit status.
#pragma once

#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace velmsim::cli {

// Ends the command: "velmsim: error: MESSAGE" on standard error and the exit
// status: 2 for anything wrong before the run (the command line, a model, a
// library, a report path that cannot be written), 1 for a failure while
// writing the results of a run that succeeded.
class CommandError : public std::runtime_error {
 public:
  explicit CommandError(const std::string& message, int status = 2)
      : std::runtime_error(message), status_(status) {}
  int status() const { return status_; }

 private:
  int status_;
};

// A report asked for on the command line: its option and its path as given
// (empty when it was not asked for).
struct ReportPath {
  std::string option;
  std::string path;
};

// Renders a report into `out`, piece by piece.
using Render = std::function<void(const std::function<void(std::string_view)>& out)>;

// The report files of a command. Nothing is created before the run; each
// report is written whole to a temporary file of its own beside its target,
// and only when every report is written are they renamed onto their
// targets. A symbolic link is followed, and its target replaced, as an
// editor does; a device or pipe (/dev/null, /dev/stdout) is written in place.
// Temporaries are removed on failure, and on SIGINT, SIGTERM and SIGHUP.
class ReportFiles {
 public:
  // Checks the paths before anything runs, so that a bad one fails at once
  // (CommandError, status 2): no report may be one of the `models`, or the
  // same file as another report, and each must be writable.
  ReportFiles(const std::vector<std::string>& models, const std::vector<ReportPath>& reports);
  ~ReportFiles();
  ReportFiles(const ReportFiles&) = delete;
  ReportFiles& operator=(const ReportFiles&) = delete;

  // Writes every report asked for with its render, keyed by option, all or
  // none; a failure is a CommandError of status 1 naming the file and the
  // system's reason, and leaves the previous files as they were.
  void write(const std::map<std::string, Render>& renders);

  // Where a report goes once its path has been checked.
  struct Target {
    std::string option, path;  // as given
    bool in_place = false;     // a device or pipe, written where it is
    int own_fd = -1;           // in place: one of this process's descriptors (/dev/stdout)
    std::string file;          // otherwise: the file to replace, symbolic links followed
    std::string temporary;     // while written: the temporary beside it
    int slot = -1;             // its place in the list the signal handler removes
  };

 private:
  std::vector<Target> targets_;
};

// Prints the text to standard output; exit status 0, or 1 when it cannot be
// written.
int print_report(const std::string& text);

}  // namespace velmsim::cli
