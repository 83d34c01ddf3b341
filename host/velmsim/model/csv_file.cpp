#include "host/velmsim/model/csv_file.h"

#include <csv.h>

namespace velmsim {

namespace {

// What libcsv's callbacks fill: the row being read and the line being fed.
struct Builder {
  CsvFile& file;
  CsvFile::Row row;
  int line = 1;
};

void on_field(void* field, std::size_t size, void* data) {
  auto& b = *static_cast<Builder*>(data);
  b.row.cells.emplace_back(static_cast<const char*>(field), size);
}

void on_row(int, void* data) {
  auto& b = *static_cast<Builder*>(data);
  b.row.line = b.line;
  // A blank line is a row of one empty cell.
  if (!(b.row.cells.size() == 1 && b.row.cells[0].empty()) && !b.row.cells.empty())
    b.file.rows.push_back(std::move(b.row));
  b.row = {};
}

}  // namespace

CsvFile parse_csv(const std::string& text) {
  CsvFile file;
  csv_parser parser{};
  if (csv_init(&parser, CSV_APPEND_NULL) != 0) {
    file.error = "out of memory";
    return file;
  }
  Builder b{file, {}, 1};
  // Fed a line at a time, so that each row knows the line it ends on.
  for (std::size_t at = 0; at < text.size() && !file.error;) {
    const std::size_t end = text.find('\n', at);
    const std::size_t next = end == std::string::npos ? text.size() : end + 1;
    if (csv_parse(&parser, text.data() + at, next - at, on_field, on_row, &b) != next - at) {
      file.error = csv_strerror(csv_error(&parser));
      file.error_line = b.line;
    }
    at = next;
    ++b.line;
  }
  if (!file.error) {
    b.line = std::max(1, b.line - 1);
    csv_fini(&parser, on_field, on_row, &b);
  }
  csv_free(&parser);
  return file;
}

}  // namespace velmsim
