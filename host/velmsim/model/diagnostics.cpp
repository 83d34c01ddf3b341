#include "host/velmsim/model/diagnostics.h"

#include <algorithm>
#include <sstream>

namespace velmsim {

bool Diagnostics::has_errors() const { return error_count() > 0; }

std::size_t Diagnostics::error_count() const {
  return static_cast<std::size_t>(
      std::count_if(list_.begin(), list_.end(), [](const Diagnostic& d) { return !d.warning; }));
}

namespace {

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

}  // namespace

int Diagnostics::add_file(std::string path, std::string text) {
  files_.emplace_back(std::move(path), std::move(text));
  return static_cast<int>(files_.size());
}

std::string Diagnostics::render(const std::string& model_file, const std::string& model_text) const {
  std::vector<Diagnostic> sorted = list_;
  std::stable_sort(sorted.begin(), sorted.end(), [](const Diagnostic& a, const Diagnostic& b) {
    if (a.file != b.file) return a.file < b.file;
    return a.at.line != b.at.line ? a.at.line < b.at.line : a.at.column < b.at.column;
  });
  std::vector<std::vector<std::string>> texts(files_.size() + 1);
  texts[0] = lines_of(model_text);
  for (std::size_t f = 0; f < files_.size(); ++f) texts[f + 1] = lines_of(files_[f].second);
  std::string out;
  std::size_t errors = 0, left_out = 0;
  for (const Diagnostic& d : sorted) {
    if (!d.warning && ++errors > kMaxErrors) {
      ++left_out;
      continue;
    }
    const auto f = static_cast<std::size_t>(d.file);
    const std::string& file = f == 0 ? model_file : files_[f - 1].first;
    const std::vector<std::string>& lines = texts[f];
    out += file;
    if (!d.where.empty()) {
      out += ": " + d.where;
    } else if (d.at.line > 0) {
      out += ':';
      out += std::to_string(d.at.line);
      out += ':';
      out += std::to_string(d.at.column);
    }
    out += d.warning ? ": warning: " : ": error: ";
    out += d.message + "\n";
    if (d.where.empty() && d.at.line > 0 && static_cast<std::size_t>(d.at.line) <= lines.size()) {
      std::string source = lines[static_cast<std::size_t>(d.at.line - 1)];
      int column = d.at.column;
      // A long line is shown as the stretch around the column, cut with "...".
      constexpr int kShown = 80;
      if (source.size() > 2 * kShown) {
        const int from = std::max(0, column - 1 - kShown / 2);
        std::string cut = source.substr(static_cast<std::size_t>(from), kShown);
        if (from > 0) {
          cut = "..." + cut;
          column = column - from + 3;
        }
        if (static_cast<std::size_t>(from + kShown) < source.size()) cut += "...";
        source = cut;
      }
      out += source + "\n";
      // The caret line keeps the source line's tabs so that it lines up.
      std::string caret;
      for (int c = 1; c < column; ++c) {
        const auto k = static_cast<std::size_t>(c - 1);
        caret += k < source.size() && source[k] == '\t' ? '\t' : ' ';
      }
      out += caret + "^\n";
    }
  }
  if (left_out > 0)
    out += model_file + ": " + std::to_string(left_out) + " more error" + (left_out == 1 ? "" : "s") +
           " not shown\n";
  return out;
}

std::string closest(const std::string& word, const std::vector<std::string>& candidates) {
  // Levenshtein distance by one row of the dynamic-programming table.
  auto distance = [](const std::string& a, const std::string& b) {
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
      std::size_t diagonal = row[0];
      row[0] = i;
      for (std::size_t j = 1; j <= b.size(); ++j) {
        const std::size_t above = row[j];
        row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
        diagonal = above;
      }
    }
    return row[b.size()];
  };
  std::string best;
  std::size_t best_distance = 3;
  for (const std::string& c : candidates) {
    const std::size_t d = distance(word, c);
    if (d < best_distance && d < word.size()) {
      best = c;
      best_distance = d;
    }
  }
  return best;
}

std::string did_you_mean(const std::string& word, const std::vector<std::string>& candidates) {
  const std::string best = closest(word, candidates);
  return best.empty() ? "" : "; did you mean '" + best + "'?";
}

}  // namespace velmsim
