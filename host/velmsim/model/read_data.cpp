// The observations that a `data` distribution draws from: one column of a
// CSV file, whose first row names the columns.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <filesystem>

#include "host/velmsim/model/csv_file.h"
#include "host/velmsim/model/toml_reader.h"

namespace velmsim::reader {

// A data file as read: its rows, or why it could not be read; its number
// among the files the diagnostics show, once a message is about it.
struct DataSource {
  std::string path, text;
  CsvFile csv;
  std::optional<std::string> unreadable;
  int file = -1;
};

namespace {

inline constexpr std::size_t kMaxDataBytes = std::size_t{16} << 20;

DataSource& source(Reader& r, const std::string& path) {
  auto& s = r.data_sources[path];
  if (s) return *s;
  s = std::make_shared<DataSource>();
  s->path = path;
  s->unreadable = read_limited_file(path, "data", s->text, kMaxDataBytes);
  if (!s->unreadable) s->csv = parse_csv(s->text);
  return *s;
}

int file_of(Reader& r, DataSource& s) {
  if (s.file < 0) s.file = r.diagnostics().add_file(s.path, s.text);
  return s.file;
}

// A cell as a number: the whole cell, spaces around it aside.
std::optional<double> number_in(std::string_view cell) {
  const auto first = cell.find_first_not_of(" \t\r");
  const auto last = cell.find_last_not_of(" \t\r");
  if (first == std::string::npos) return std::nullopt;
  double x = 0;
  const char* end = cell.data() + last + 1;
  const auto [ptr, ec] = std::from_chars(cell.data() + first, end, x);
  if (ec != std::errc() || ptr != end) return std::nullopt;
  return x;
}

// The position of a cell in its line, for the caret: where its text first
// appears, or the line's start.
Position cell_at(const DataSource& s, int line, std::string_view cell) {
  std::size_t start = 0;
  for (int l = 1; l < line && start != std::string::npos; ++l) {
    start = s.text.find('\n', start);
    if (start != std::string::npos) ++start;
  }
  if (start == std::string::npos) return {line, 1};
  const std::size_t end = s.text.find('\n', start);
  const std::string_view text =
      std::string_view(s.text).substr(start, end == std::string::npos ? end : end - start);
  const std::size_t k = cell.empty() ? std::string::npos : text.find(cell);
  return {line, k == std::string::npos ? 1 : static_cast<int>(k) + 1};
}

}  // namespace

std::optional<std::vector<double>> read_data_column(Reader& r, const std::string& file,
                                                    const std::string& column,
                                                    const std::string& who,
                                                    const std::map<std::string, Position>& where) {
  Diagnostics& diag = r.diagnostics();
  std::filesystem::path path(file);
  if (path.is_relative()) path = std::filesystem::path(r.model_path).parent_path() / path;
  DataSource& s = source(r, path.string());
  if (s.unreadable) {
    diag.error(where.at("file"), "'file' of " + who + " (" + path.string() + "): " + *s.unreadable);
    return std::nullopt;
  }
  if (s.csv.error) {
    diag.error_in(file_of(r, s), {s.csv.error_line, 1}, "this CSV file cannot be read: " + *s.csv.error);
    return std::nullopt;
  }
  if (s.csv.rows() == 0) {
    diag.error(where.at("file"), "the data file " + path.string() + " of " + who + " is empty");
    return std::nullopt;
  }
  // The column by its header's name, or by its position from 1.
  std::vector<std::string> header;
  for (std::size_t k = 0; k < s.csv.cells(0); ++k) header.emplace_back(s.csv.cell(0, k));
  std::size_t c = std::find(header.begin(), header.end(), column) - header.begin();
  if (c == header.size()) {
    const auto n = number_in(column);
    if (n && *n >= 1 && *n <= static_cast<double>(header.size()) && *n == std::floor(*n)) {
      c = static_cast<std::size_t>(*n) - 1;
    } else {
      diag.error(where.at("column"), "the data file " + path.string() + " has no column '" + column +
                                         "'" + did_you_mean(column, header) + " (its first row names " +
                                         std::to_string(header.size()) + " columns; a column may "
                                         "also be given by its position from 1)");
      return std::nullopt;
    }
  }
  // Its numbers; an empty cell (a shorter column) is left out.
  std::vector<double> values;
  bool bad = false;
  for (std::size_t i = 1; i < s.csv.rows(); ++i) {
    const std::string_view cell = c < s.csv.cells(i) ? s.csv.cell(i, c) : std::string_view();
    if (cell.find_first_not_of(" \t\r") == std::string_view::npos) continue;
    const auto x = number_in(cell);
    if (x && std::isfinite(static_cast<float>(*x))) {
      values.push_back(*x);
    } else {
      bad = true;
      diag.error_in(file_of(r, s), cell_at(s, s.csv.line(i), cell),
                    "'" + shown_name(std::string(cell)) + "' in column '" + header[c] + "' is not a number" +
                        (x ? " within single precision" : "") + " (" + who + " draws from this column)");
    }
  }
  if (bad) return std::nullopt;
  if (values.size() < 2) {
    diag.error(where.at("column"), "column '" + header[c] + "' of " + path.string() + " holds " +
                                       std::to_string(values.size()) + " number" +
                                       (values.size() == 1 ? "" : "s") + "; " + who +
                                       " needs at least two observations to draw from");
    return std::nullopt;
  }
  return values;
}

}  // namespace velmsim::reader
