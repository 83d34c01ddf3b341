#include "host/velmsim/model/schedule_file.h"

#include <cerrno>

#include <iconv.h>

namespace velmsim {

std::optional<std::string> utf8_from(const std::string& code_page, const std::string& bytes) {
  iconv_t cd = iconv_open("UTF-8", code_page.c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
  // Converted into a buffer that grows when the text needs more room.
  std::string out(bytes.size() + 16, '\0');
  char* in = const_cast<char*>(bytes.data());
  std::size_t in_left = bytes.size(), done = 0;
  bool ok = true;
  while (in_left > 0) {
    char* to = out.data() + done;
    std::size_t out_left = out.size() - done;
    const std::size_t r = iconv(cd, &in, &in_left, &to, &out_left);
    done = out.size() - out_left;
    if (r != static_cast<std::size_t>(-1)) break;
    if (errno != E2BIG) {
      ok = false;
      break;
    }
    out.resize(out.size() + out.size() / 2 + 16);
  }
  iconv_close(cd);
  if (!ok) return std::nullopt;
  out.resize(done);
  return out;
}

std::optional<ScheduleFile> read_schedule_file(const std::string& path, Diagnostics& diag,
                                               const std::string& code_page) {
  std::string bytes;
  if (const auto error = read_limited_file(path, "schedule", bytes, kMaxScheduleBytes)) {
    diag.error_in(diag.add_file(path, ""), {}, *error);
    return std::nullopt;
  }
  // A table export starts with its header line or its first table.
  const std::size_t first = bytes.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
  if (bytes.compare(first, 6, "ERMHDR") == 0 || bytes.compare(first, 3, "%T\t") == 0) {
    if (code_page.empty()) return read_xer_schedule(path, bytes, diag);
    const auto text = utf8_from(code_page, bytes);
    if (!text) {
      diag.error_in(diag.add_file(path, ""), {}, "the file cannot be read in the code page '" +
                                                     code_page + "'");
      return std::nullopt;
    }
    return read_xer_schedule(path, *text, diag);
  }
  return read_project_xml(path, bytes, diag);
}

}  // namespace velmsim
