// The tables of an XER file, the tab-separated text export of an enterprise
// scheduler: `%T` starts a table, `%F` names its fields, each `%R` is a row,
// `%E` ends the file; an `ERMHDR` line may come first. Values are returned as
// text in UTF-8, whichever code page the file was saved in; what they mean is
// for the schedule reader.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmsim::xer {

struct Row {
  int line = 0;                     // its %R line
  std::vector<std::string> values;  // in UTF-8, one per field
};

struct Table {
  std::string name;
  int line = 0;  // the %T line
  std::vector<std::string> fields;
  std::vector<Row> rows;
  // The index of a field, if the table has it.
  std::optional<std::size_t> field(std::string_view name) const;
  // A row's value of a field: "" when the table has no such field.
  std::string_view value(const Row& row, std::string_view field) const;
};

struct Problem {
  int line = 0;
  std::string message;
};

struct File {
  std::string header;         // the ERMHDR line's fields after ERMHDR, joined by tabs, or ""
  bool windows_1252 = false;  // decoded from the code page
  std::vector<Table> tables;  // in file order
  const Table* table(std::string_view name) const;  // nullptr when absent
};

// Reads an XER file's bytes. Problems (each with its 1-based line) are added
// to `problems`; the file keeps what could be read. The bytes are taken as
// UTF-8 when they all are (after a byte-order mark), else as windows-1252.
File read(std::string_view bytes, std::vector<Problem>& problems);

}  // namespace velmsim::xer
