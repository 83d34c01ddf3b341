// The velmsim end-to-end fixture: each test gets a scratch folder, runs the
// program as a child process and reads back its standard output, standard
// error, exit status and files.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/host/unit/support.h"

namespace velmsim_test {

namespace fs = std::filesystem;

struct Result {
  std::string out, err;
  int status = -1;   // the exit status, or 128 + the signal that ended it
  long peak_kb = 0;  // peak resident memory (known for start() and finish())
};

using velmsim_unit::slurp;

class Velmsim : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("velmsim_test_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  fs::path file(const std::string& name) const { return dir_ / name; }

  fs::path write(const std::string& name, const std::string& text) const {
    std::ofstream(file(name), std::ios::binary) << text;
    return file(name);
  }

  // Runs the program through the shell; `prefix` goes before it (a ulimit,
  // a timeout).
  Result run(const std::string& args, const std::string& prefix = "") const {
    const std::string command = prefix + std::string(VELMSIM_PATH) + " " + args + " >" +
                                file("stdout").string() + " 2>" + file("stderr").string();
    const int raw = std::system(command.c_str());
    Result r;
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    r.out = slurp(file("stdout"));
    r.err = slurp(file("stderr"));
    return r;
  }

  // Starts the program with `args` (no shell) in the background, its streams
  // to files named after `tag`; `before` runs in the child just before the
  // program replaces it, with the program's own process id.
  pid_t start(const std::vector<std::string>& args, const std::string& tag,
              const std::function<void()>& before = {}) const {
    const std::string out = file(tag + ".out").string(), err = file(tag + ".err").string();
    const pid_t pid = ::fork();
    if (pid != 0) return pid;
    ::dup2(::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 1);
    ::dup2(::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 2);
    if (before) before();
    std::vector<char*> argv = {const_cast<char*>(VELMSIM_PATH)};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execv(VELMSIM_PATH, argv.data());
    ::_exit(127);
  }

  // Waits for a program started with start().
  Result finish(pid_t pid, const std::string& tag) const {
    int raw = 0;
    struct rusage usage {};
    ::wait4(pid, &raw, 0, &usage);
    Result r;
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
    r.peak_kb = usage.ru_maxrss;
    r.out = slurp(file(tag + ".out"));
    r.err = slurp(file(tag + ".err"));
    return r;
  }

  // The names in the scratch folder that end in `suffix`.
  std::vector<std::string> names_ending(const std::string& suffix) const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir_)) {
      const std::string n = e.path().filename().string();
      if (n.ends_with(suffix)) names.push_back(n);
    }
    return names;
  }

  fs::path dir_;
};

}  // namespace velmsim_test
