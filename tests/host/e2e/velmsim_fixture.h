// The velmsim end-to-end fixture: each test gets a scratch folder, runs the
// program as a child process and reads back its standard output, standard
// error, exit status and files.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <sys/wait.h>
#include <unistd.h>

#include "tests/host/unit/support.h"

namespace velmsim_test {

namespace fs = std::filesystem;

struct Result {
  std::string out, err;
  int status = -1;
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

  Result run(const std::string& args) const {
    const std::string command = std::string(VELMSIM_PATH) + " " + args + " >" +
                                file("stdout").string() + " 2>" + file("stderr").string();
    const int raw = std::system(command.c_str());
    Result r;
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    r.out = slurp(file("stdout"));
    r.err = slurp(file("stderr"));
    return r;
  }

  fs::path dir_;
};

}  // namespace velmsim_test
