#include "host/velmsim/model/schedule_file.h"

namespace velmsim {

std::optional<ScheduleFile> read_schedule_file(const std::string& path, Diagnostics& diag) {
  std::string bytes;
  if (const auto error = read_limited_file(path, "schedule", bytes, kMaxScheduleBytes)) {
    diag.error_in(diag.add_file(path, ""), {}, *error);
    return std::nullopt;
  }
  return read_project_xml(path, bytes, diag);
}

}  // namespace velmsim
