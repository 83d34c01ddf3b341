#include "host/velmsim/model/csv_file.h"

#include <algorithm>

#include <csv.h>

namespace velmsim {

std::string_view CsvFile::cell(std::size_t row, std::size_t k) const {
  const std::size_t c = first_cell(row) + k;
  const std::size_t begin = c == 0 ? 0 : cell_end_[c - 1];
  return std::string_view(text_).substr(begin, cell_end_[c] - begin);
}

namespace {

// What libcsv's callbacks fill: the file, the line being fed and where the
// row being read began.
struct Builder {
  std::string& text;
  std::vector<std::size_t>& cell_end;
  std::vector<std::size_t>& row_end;
  std::vector<int>& row_line;
  int line = 1;
};

void on_field(void* field, std::size_t size, void* data) {
  auto& b = *static_cast<Builder*>(data);
  b.text.append(static_cast<const char*>(field), size);
  b.cell_end.push_back(b.text.size());
}

void on_row(int, void* data) {
  auto& b = *static_cast<Builder*>(data);
  const std::size_t first = b.row_end.empty() ? 0 : b.row_end.back();
  const std::size_t begin = first == 0 ? 0 : b.cell_end[first - 1];
  // A blank line is a row of one empty cell: dropped.
  if (b.cell_end.size() == first || (b.cell_end.size() == first + 1 && b.text.size() == begin)) {
    b.cell_end.resize(first);
    return;
  }
  b.row_end.push_back(b.cell_end.size());
  b.row_line.push_back(b.line);
}

}  // namespace

CsvFile parse_csv(const std::string& text) {
  CsvFile file;
  csv_parser parser{};
  if (csv_init(&parser, 0) != 0) {
    file.error = "out of memory";
    return file;
  }
  Builder b{file.text_, file.cell_end_, file.row_end_, file.row_line_, 1};
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
