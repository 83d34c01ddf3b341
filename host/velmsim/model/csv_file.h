// A CSV file read by libcsv into rows of cells, each row with the line of
// the file it ends on, for messages located by line. The cells are kept one
// after another in one string, so that a file of many tiny cells takes a
// few bytes per cell beyond its own size.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmsim {

class CsvFile {
 public:
  std::size_t rows() const { return row_end_.size(); }
  std::size_t cells(std::size_t row) const { return row_end_[row] - first_cell(row); }
  std::string_view cell(std::size_t row, std::size_t k) const;
  int line(std::size_t row) const { return row_line_[row]; }  // 1-based

  // What made the file unreadable, and the line where it was found.
  std::optional<std::string> error;
  int error_line = 0;

 private:
  friend CsvFile parse_csv(const std::string& text);
  std::size_t first_cell(std::size_t row) const { return row == 0 ? 0 : row_end_[row - 1]; }
  std::string text_;                   // every cell's text, one after another
  std::vector<std::size_t> cell_end_;  // where each cell ends in text_
  std::vector<std::size_t> row_end_;   // the cell after each row's last
  std::vector<int> row_line_;
};

// The rows of the CSV `text` (comma-separated, fields quoted with "). Blank
// lines are left out.
CsvFile parse_csv(const std::string& text);

}  // namespace velmsim
