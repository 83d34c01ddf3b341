#include "host/velmsim/cli/files.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <utility>

#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velmsim::cli {

namespace fs = std::filesystem;

namespace {

[[noreturn]] void cannot_write(const std::string& path, int error, int status) {
  throw CommandError("cannot write " + path + ": " + std::strerror(error), status);
}

// The temporaries that exist, for the signal handler to remove. The storage
// is fixed and filled before a file is created, since a handler may call
// only async-signal-safe functions: no allocation, no C++ library. A report
// uses the slot of its place on the command line.
constexpr int kSlots = 8;
char slot_path[kSlots][PATH_MAX];
volatile std::sig_atomic_t slot_used[kSlots];
constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};

void remove_temporaries(int signal) {
  for (int i = 0; i < kSlots; ++i)
    if (slot_used[i] != 0) ::unlink(slot_path[i]);
  // SA_RESETHAND restored the default action: the signal now ends the
  // process as it would have without the handler.
  std::raise(signal);
}

// Handlers that remove the temporaries before one of kSignals ends the
// process. A signal that was ignored (as under nohup) stays ignored.
void install_handlers() {
  static bool installed = false;
  if (installed) return;
  installed = true;
  for (int s : kSignals) {
    struct sigaction old {};
    if (::sigaction(s, nullptr, &old) != 0 || old.sa_handler == SIG_IGN) continue;
    struct sigaction action {};
    action.sa_handler = remove_temporaries;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND;
    ::sigaction(s, &action, nullptr);
  }
}

// Holds kSignals back while it lives, so that a temporary is created and
// listed for the handler as one step.
class SignalsHeld {
 public:
  SignalsHeld() {
    sigset_t set;
    sigemptyset(&set);
    for (int s : kSignals) sigaddset(&set, s);
    pthread_sigmask(SIG_BLOCK, &set, &old_);
  }
  ~SignalsHeld() { pthread_sigmask(SIG_SETMASK, &old_, nullptr); }
  SignalsHeld(const SignalsHeld&) = delete;
  SignalsHeld& operator=(const SignalsHeld&) = delete;

 private:
  sigset_t old_;
};

// A file descriptor, closed when it goes out of scope or by close(), which
// tells whether the last writes failed.
class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }
  int close() { return ::close(std::exchange(fd_, -1)); }

 private:
  int fd_;
};

// Writes all of `text`, through short writes and interrupted calls; false
// with errno set when the system refuses.
bool write_all(int fd, std::string_view text) {
  while (!text.empty()) {
    const ssize_t n = ::write(fd, text.data(), text.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    text.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

// Writes a report with its render; the message names the report as given.
void render_to(int fd, const ReportFiles::Target& t, const Render& render) {
  render([&](std::string_view piece) {
    if (!write_all(fd, piece)) cannot_write(t.path, errno, 1);
  });
}

// Creates the temporary of `t` beside its file and lists it for the signal
// handler. Its name holds this process's id and a count; a name that is
// taken (another run's temporary, or a link planted where one would go) is
// neither opened nor followed, and the next count is tried. Returns the
// descriptor, or -1 with errno set.
int create_temporary(ReportFiles::Target& t) {
  static unsigned count = 0;
  for (int tries = 0; tries < 1000; ++tries) {
    const std::string name = t.file + "." + std::to_string(::getpid()) + "-" +
                             std::to_string(count++) + ".part";
    if (name.size() >= PATH_MAX) {
      errno = ENAMETOOLONG;
      return -1;
    }
    const SignalsHeld held;
    std::memcpy(slot_path[t.slot], name.c_str(), name.size() + 1);
    const int fd =
        ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd >= 0) {
      slot_used[t.slot] = 1;
      t.temporary = name;
      return fd;
    }
    if (errno != EEXIST) return -1;
  }
  return -1;
}

// The report written whole to a new temporary file and flushed to the disk,
// ready to be renamed onto its target.
void write_temporary(ReportFiles::Target& t, const Render& render) {
  Descriptor fd(create_temporary(t));
  if (fd.get() < 0) cannot_write(t.path, errno, 1);
  render_to(fd.get(), t, render);
  if (::fsync(fd.get()) != 0 || fd.close() != 0) cannot_write(t.path, errno, 1);
}

// A device or pipe written where it is. A descriptor of this process
// (/dev/stdout) is written through a copy of it, so that it goes on from
// what the process has written there.
void write_in_place(const ReportFiles::Target& t, const Render& render) {
  Descriptor fd(t.own_fd >= 0 ? ::fcntl(t.own_fd, F_DUPFD_CLOEXEC, 0)
                              : ::open(t.file.c_str(), O_WRONLY | O_TRUNC | O_NOCTTY | O_CLOEXEC));
  if (fd.get() < 0) cannot_write(t.path, errno, 1);
  render_to(fd.get(), t, render);
  if (fd.close() != 0) cannot_write(t.path, errno, 1);
}

// What makes two paths the same file: the device and inode of a file that
// exists; for one that does not exist yet, its folder's canonical path and
// its name.
struct FileId {
  bool exists = false;
  dev_t device = 0;
  ino_t inode = 0;
  std::string path;
  bool operator==(const FileId&) const = default;
};

FileId id_of(const struct stat& st) { return {true, st.st_dev, st.st_ino, {}}; }

bool under_proc(const fs::path& folder) {
  const std::string f = folder.string();
  return f == "/proc" || f.starts_with("/proc/");
}

// Where the report `r` goes, checked before the run (status 2): a symbolic
// link is followed to its target, which the report replaces; a device, a
// pipe or a path through /proc (/dev/stdout is /proc/self/fd/1) is written
// in place. The folder of a file to replace must take a new file.
std::pair<ReportFiles::Target, FileId> resolve(const ReportPath& r) {
  ReportFiles::Target t;
  t.option = r.option;
  t.path = r.path;
  const auto fail = [&](int error) { cannot_write(r.path, error, 2); };
  std::error_code ec;
  const fs::path own_fds = fs::canonical("/proc/self/fd", ec);
  fs::path p = r.path;
  for (int links = 0;; ++links) {
    const fs::path folder = fs::canonical(p.has_parent_path() ? p.parent_path() : ".", ec);
    if (ec) fail(ec.value());
    const std::string name = p.filename().string();
    if (name.empty() || name == "." || name == "..") fail(EISDIR);
    struct stat st {};
    const bool exists = ::lstat(p.c_str(), &st) == 0;
    if (!exists && errno != ENOENT) fail(errno);
    if (under_proc(folder) || (exists && !S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode))) {
      if (::stat(p.c_str(), &st) != 0) fail(errno);
      if (S_ISDIR(st.st_mode)) fail(EISDIR);
      if (::access(p.c_str(), W_OK) != 0) fail(errno);
      t.in_place = true;
      t.file = p.string();
      if (folder == own_fds && name.find_first_not_of("0123456789") == std::string::npos)
        t.own_fd = std::stoi(name);
      return {t, id_of(st)};
    }
    if (exists && S_ISLNK(st.st_mode)) {
      if (links == 40) fail(ELOOP);
      const fs::path to = fs::read_symlink(p, ec);
      if (ec) fail(ec.value());
      p = to.is_absolute() ? to : p.parent_path() / to;
      continue;
    }
    if (::access(folder.c_str(), W_OK | X_OK) != 0) fail(errno);
    t.file = (folder / name).string();
    return {t, exists ? id_of(st) : FileId{false, 0, 0, t.file}};
  }
}

}  // namespace

ReportFiles::ReportFiles(const std::vector<std::string>& models,
                         const std::vector<ReportPath>& reports) {
  std::vector<FileId> ids;
  for (const ReportPath& r : reports) {
    if (r.path.empty()) continue;
    auto [target, id] = resolve(r);
    for (const std::string& model : models) {
      struct stat st {};
      if (::stat(model.c_str(), &st) == 0 && id_of(st) == id)
        throw CommandError(r.option + " " + r.path + " would replace the model file " + model);
    }
    // Two devices or pipes may be the same (--json /dev/null --csv /dev/null).
    for (std::size_t k = 0; k < targets_.size(); ++k)
      if (!target.in_place && !targets_[k].in_place && ids[k] == id)
        throw CommandError(targets_[k].option + " " + targets_[k].path + " and " + r.option +
                           " " + r.path + " are the same file");
    target.slot = static_cast<int>(targets_.size());
    targets_.push_back(std::move(target));
    ids.push_back(std::move(id));
  }
  if (targets_.size() > kSlots) throw CommandError("too many report files");
  if (!targets_.empty()) install_handlers();
}

ReportFiles::~ReportFiles() {
  for (const Target& t : targets_)
    if (!t.temporary.empty()) {
      ::unlink(t.temporary.c_str());
      slot_used[t.slot] = 0;
    }
}

void ReportFiles::write(const std::map<std::string, Render>& renders) {
  // Every temporary first, then the reports written in place, then the
  // renames: a failure before the renames leaves every previous report as
  // it was, and the destructor removes the temporaries. A signal waits for
  // the renames to end, so that it does not stop them half way.
  for (Target& t : targets_)
    if (!t.in_place) write_temporary(t, renders.at(t.option));
  for (const Target& t : targets_)
    if (t.in_place) write_in_place(t, renders.at(t.option));
  const SignalsHeld held;
  for (Target& t : targets_) {
    if (t.in_place) continue;
    if (std::rename(t.temporary.c_str(), t.file.c_str()) != 0) cannot_write(t.path, errno, 1);
    slot_used[t.slot] = 0;
    t.temporary.clear();
  }
}

int print_report(const std::string& text) {
  // A write may fail when the buffer fills as well as at the flush: either
  // leaves the stream's error flag set.
  errno = 0;
  const bool written = std::fputs(text.c_str(), stdout) >= 0;
  if (std::fflush(stdout) == 0 && written && !std::ferror(stdout)) return 0;
  std::fprintf(stderr, "velmsim: error: cannot write the report to standard output: %s\n",
               std::strerror(errno != 0 ? errno : EIO));
  return 1;
}

}  // namespace velmsim::cli
