// Located messages about a model file: FILE:LINE:COL: error: MESSAGE, then the
// source line and a caret under the column.
#pragma once

#include <string>
#include <vector>

namespace velmsim {

struct Position {
  int line = 0;    // 1-based; 0 when the message concerns the whole file
  int column = 0;  // 1-based
};

struct Diagnostic {
  Position at;
  std::string message;
  bool warning = false;
  int file = 0;       // 0: the model file; else a file the model reads (add_file)
  std::string where;  // a place that is not a line and column: "table TASK, row 3"
};

class Diagnostics {
 public:
  static constexpr std::size_t kMaxErrors = 20;

  void error(Position at, std::string message) { error_in(0, at, std::move(message)); }
  void warning(Position at, std::string message) { warning_in(0, at, std::move(message)); }
  // A file the model reads (a schedule saved by a scheduling program), whose
  // messages are told by the number returned.
  int add_file(std::string path, std::string text);
  void error_in(int file, Position at, std::string message, std::string where = {}) {
    list_.push_back({at, std::move(message), false, file, std::move(where)});
  }
  void warning_in(int file, Position at, std::string message, std::string where = {}) {
    list_.push_back({at, std::move(message), true, file, std::move(where)});
  }
  bool has_errors() const;
  std::size_t error_count() const;

  // Every message, the model file's first, each file's in file order
  // (errors beyond the first kMaxErrors left out, with a line that says how
  // many), each followed by its source line and a caret.
  std::string render(const std::string& file, const std::string& text) const;

  // Every message, in the order added, and the path of the file it is in
  // (`model` for the model file's).
  const std::vector<Diagnostic>& entries() const { return list_; }
  const std::string& path_of(const Diagnostic& d, const std::string& model) const {
    return d.file == 0 ? model : files_[static_cast<std::size_t>(d.file - 1)].first;
  }

 private:
  std::vector<Diagnostic> list_;
  std::vector<std::pair<std::string, std::string>> files_;  // path and text
};

// The closest of the candidates to `word` when it is a plausible misspelling
// (edit distance at most 2, and less than the word's length), else "".
std::string closest(const std::string& word, const std::vector<std::string>& candidates);

// ", did you mean 'x'?" for a plausible misspelling, else "".
std::string did_you_mean(const std::string& word, const std::vector<std::string>& candidates);

}  // namespace velmsim
