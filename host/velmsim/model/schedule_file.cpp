#include "host/velmsim/model/schedule_file.h"

namespace velmsim {

std::optional<ScheduleFile> read_schedule_file(const std::string& path, Diagnostics& diag) {
  std::string bytes;
  if (const auto error = read_limited_file(path, "schedule", bytes, kMaxScheduleBytes)) {
    diag.error_in(diag.add_file(path, ""), {}, *error);
    return std::nullopt;
  }
  // A table export starts with its header line or its first table.
  const std::size_t first = bytes.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
  if (bytes.compare(first, 6, "ERMHDR") == 0 || bytes.compare(first, 3, "%T\t") == 0)
    return read_xer_schedule(path, bytes, diag);
  return read_project_xml(path, bytes, diag);
}

}  // namespace velmsim
