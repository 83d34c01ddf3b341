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
};

class Diagnostics {
 public:
  static constexpr std::size_t kMaxErrors = 20;

  void error(Position at, std::string message) { list_.push_back({at, std::move(message), false}); }
  void warning(Position at, std::string message) { list_.push_back({at, std::move(message), true}); }
  bool has_errors() const;
  std::size_t error_count() const;

  // Every message in file order (errors beyond the first kMaxErrors left
  // out, with a line that says how many), each followed by its source line
  // and a caret.
  std::string render(const std::string& file, const std::string& text) const;

 private:
  std::vector<Diagnostic> list_;
};

// The closest of the candidates to `word` when it is a plausible misspelling
// (edit distance at most 2, and less than the word's length), else "".
std::string closest(const std::string& word, const std::vector<std::string>& candidates);

// ", did you mean 'x'?" for a plausible misspelling, else "".
std::string did_you_mean(const std::string& word, const std::vector<std::string>& candidates);

}  // namespace velmsim
