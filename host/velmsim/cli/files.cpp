#include "host/velmsim/cli/files.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

namespace velmsim::cli {

namespace {

[[noreturn]] void cannot_write(const std::string& path) {
  throw CommandError("cannot write " + path + ": " + std::strerror(errno), 1);
}

}  // namespace

ReportFiles::ReportFiles(const std::vector<std::string>& paths) {
  for (const std::string& path : paths) {
    if (path.empty()) continue;
    const bool existed = std::filesystem::exists(path);
    std::FILE* f = std::fopen(path.c_str(), "ab");
    if (f == nullptr) cannot_write(path);
    std::fclose(f);
    if (!existed) created_.push_back(path);
  }
}

ReportFiles::~ReportFiles() {
  for (const std::string& path : created_) std::remove(path.c_str());
}

void ReportFiles::write(const std::string& path, const std::string& text) {
  if (path.empty()) return;
  std::error_code ec;
  const auto status = std::filesystem::status(path, ec);
  if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status)) {
    // A device or pipe such as /dev/stdout is written in place.
    std::FILE* f = std::fopen(path.c_str(), "wb");
    const bool ok = f != nullptr && std::fwrite(text.data(), 1, text.size(), f) == text.size();
    if (f == nullptr || std::fclose(f) != 0 || !ok) cannot_write(path);
  } else {
    const std::string temporary = path + ".part";
    std::FILE* f = std::fopen(temporary.c_str(), "wb");
    if (f == nullptr) cannot_write(path);
    const bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    if (std::fclose(f) != 0 || !ok || std::rename(temporary.c_str(), path.c_str()) != 0) {
      const int error = errno;
      std::remove(temporary.c_str());
      errno = error;
      cannot_write(path);
    }
  }
  created_.erase(std::remove(created_.begin(), created_.end(), path), created_.end());
}

int print_report(const std::string& text) {
  std::fputs(text.c_str(), stdout);
  return std::fflush(stdout) == 0 ? 0 : 1;
}

}  // namespace velmsim::cli
