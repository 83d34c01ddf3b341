// A CSV file read by libcsv into rows of cells, each row with the line of
// the file it ends on, for messages located by line.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace velmsim {

struct CsvFile {
  struct Row {
    int line = 0;  // 1-based
    std::vector<std::string> cells;
  };
  std::vector<Row> rows;
  // What made the file unreadable, and the line where it was found.
  std::optional<std::string> error;
  int error_line = 0;
};

// The rows of the CSV `text` (comma-separated, fields quoted with "). Rows
// with no cell (blank lines) are left out.
CsvFile parse_csv(const std::string& text);

}  // namespace velmsim
