// The velmsim end-to-end fixture: each test gets a scratch folder, runs the
// program as a child process and reads back its standard output, standard
// error, exit status and files.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

namespace velmsim_test {

namespace fs = std::filesystem;

struct Result {
  std::string out, err;
  int status = -1;
};

inline std::string slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

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

// The CSV file as rows of numbers, header left out.
inline std::vector<std::vector<float>> read_csv(const fs::path& p) {
  std::vector<std::vector<float>> rows;
  std::istringstream in(slurp(p));
  std::string line;
  std::getline(in, line);
  while (std::getline(in, line)) {
    std::vector<float> row;
    std::istringstream cells(line);
    for (std::string cell; std::getline(cells, cell, ',');) row.push_back(std::strtof(cell.c_str(), nullptr));
    rows.push_back(row);
  }
  return rows;
}

}  // namespace velmsim_test
