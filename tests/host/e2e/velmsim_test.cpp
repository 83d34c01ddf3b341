// velmsim end to end, for what only the program shows: its reports across
// thread counts, its messages on standard error byte for byte, its exit
// statuses and the files it leaves.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <sys/wait.h>

#include "tests/host/e2e/velmsim_fixture.h"

namespace {

using namespace velmsim_test;

const std::string kKinds = std::string(VELM_MODELS_DIR) + "/kinds.toml";

// Reports, JSON and CSV are the same for 1, 2 and 3 threads but for the
// thread count itself.
TEST_F(Velmsim, ThreadCountChangesNothing) {
  const std::string model = std::string(VELM_EXAMPLES_DIR) + "/warehouse.toml";
  std::string text[3], json[3], csv[3];
  for (int t = 1; t <= 3; ++t) {
    const std::string n = std::to_string(t);
    const Result r = run(model + " --iterations 3000 --block 700 --threads " + n + " --json " +
                         file("r" + n + ".json").string() + " --csv " + file("r" + n + ".csv").string());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    const std::string line = "threads:     " + n + "\n";
    const auto at = r.out.find(line);
    ASSERT_NE(at, std::string::npos);
    text[t - 1] = r.out.substr(0, at) + r.out.substr(at + line.size());
    auto j = nlohmann::json::parse(slurp(file("r" + n + ".json")));
    EXPECT_EQ(j["run"]["threads"], t);
    j["run"].erase("threads");
    json[t - 1] = j.dump();
    csv[t - 1] = slurp(file("r" + n + ".csv"));
  }
  for (int t = 1; t < 3; ++t) {
    EXPECT_EQ(text[0], text[t]) << "threads " << t + 1;
    EXPECT_EQ(json[0], json[t]) << "threads " << t + 1;
    EXPECT_EQ(csv[0], csv[t]) << "threads " << t + 1;
  }
  EXPECT_EQ(std::count(csv[0].begin(), csv[0].end(), '\n'), 3001);
}

// A model error from each stage (the TOML parser, the formulas, [run]): the
// located message, source line and caret on standard error, nothing on
// standard output, exit status 2, with --check as without. (Every class of
// error is checked in-process by the reader's and the plan's tests.)
TEST_F(Velmsim, ModelErrorsAreLocated) {
  struct Case {
    const char* what;
    std::string model;
    std::string message;  // after "FILE:"
  };
  const std::vector<Case> cases = {
      {"TOML syntax", "[inputs]\na = { dist = \"normal\", mean = 1, sd = 2\n",
       "2:40: error: Error while parsing inline table: expected key or closing '}', saw '\\n'\n"
       "a = { dist = \"normal\", mean = 1, sd = 2\n                                       ^\n"},
      {"unknown name in formula", "[inputs]\nlabour = { dist = \"normal\", mean = 1, sd = 1 }\n[outputs]\ny = \"2 * labor\"\n",
       "4:10: error: unknown name 'labor' in the formula of 'y'; did you mean 'labour'?\n"
       "y = \"2 * labor\"\n         ^\n"},
      {"iterations", "[inputs]\na = { dist = \"normal\", mean = 1, sd = 1 }\n[outputs]\ny = \"a\"\n[run]\niterations = 40000\n",
       "6:14: error: iterations = 40000 is out of range: at least 2 and at most 32767, the largest "
       "count the statistics take\niterations = 40000\n             ^\n"},
  };
  for (const Case& c : cases) {
    const fs::path model = write("m.toml", c.model);
    const Result r = run(model.string());
    std::string expected = model.string() + ":" + c.message;
    for (std::size_t at; (at = expected.find("FILE:")) != std::string::npos;)
      expected.replace(at, 4, model.string());
    EXPECT_EQ(r.status, 2) << c.what;
    EXPECT_EQ(r.out, "") << c.what;
    EXPECT_EQ(r.err, expected) << c.what;
    const Result check = run("--check " + model.string());
    EXPECT_EQ(check.status, 2) << c.what;
    EXPECT_EQ(check.err, expected) << c.what;
  }
}

// Models that used to crash the program (muParser's uncaught error on a name
// it cannot take, the TOML parser's stack on a deep key, a 16-bit count
// that wrapped) or pass --check and then be stopped by the library: each is
// refused with a located error and status 2, by --check too.
TEST_F(Velmsim, HostileModelsAreRefusedNotCrashed) {
  std::string deep = "[a", wide = "[inputs]\n";
  for (int i = 0; i < 50000; ++i) deep += ".a";
  for (int i = 0; i < 32768; ++i) wide += "u" + std::to_string(i) + " = { dist = \"uniform\", min = 0, max = 1 }\n";
  const std::string output = "[outputs]\ny = \"1\"\n";
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"[inputs]\n\"06.9 Flight software\" = { dist = \"uniform\", min = 0, max = 1 }\n" + output,
       "m.toml:2:1: error: '06.9 Flight software' cannot be a variable name"},
      {deep + "]\n", "m.toml:1:2: error: this key has more than 32 dotted parts"},
      {wide + output, "m.toml:32769:1: error: the model has 32768 input columns"},
      {"[inputs]\nl = { dist = \"lognormal\", mean = 1, sd = 1e-4 }\n" + output,
       "m.toml:2:42: error: 'sd' of input 'l' is too small beside its mean"},
      {"[inputs]\nx = { dist = \"uniform\", min = 0, max = 1 }\n" + output +
           "[run]\npercentiles = [99.999999]\n",
       "m.toml:6:16: error: the percentile 99.999999 is 100 in single precision"},
  };
  for (const auto& [text, message] : cases) {
    const fs::path model = write("m.toml", text);
    for (const std::string& check : {std::string(), std::string("--check ")}) {
      const Result r = run(check + model.string());
      EXPECT_EQ(r.status, 2) << message;
      EXPECT_EQ(r.out, "") << message;
      EXPECT_EQ(r.err.rfind(model.string() + message.substr(6), 0), 0u) << r.err.substr(0, 300);
    }
  }
}

TEST_F(Velmsim, CheckAndSamplerStats) {
  const Result ok = run("--check " + std::string(VELM_EXAMPLES_DIR) + "/warehouse.toml");
  EXPECT_EQ(ok.status, 0);
  EXPECT_EQ(ok.out, "ok\n");
  EXPECT_EQ(ok.err, "");
  // The statistics edition lacks the pair, risk and yes/no samplers.
  const Result stats = run("--sampler stats --check " + kKinds);
  EXPECT_EQ(stats.status, 2);
  EXPECT_NE(stats.err.find(kKinds + ":15:17: error: --sampler stats cannot draw 'normal_pair'"),
            std::string::npos)
      << stats.err;
  EXPECT_NE(stats.err.find(kKinds + ":11:17: warning: with --sampler stats, the triangular input 't'"),
            std::string::npos);
  const Result project = run("--sampler stats " + std::string(VELM_EXAMPLES_DIR) + "/project_cost.toml");
  EXPECT_EQ(project.status, 0) << project.err;
  EXPECT_NE(project.out.find("(statistics edition)\nstatistics:"), std::string::npos);
}

// An output that is not a finite number stops the run with the iteration and
// the inputs that produced it; nothing is written.
TEST_F(Velmsim, NonFiniteOutputStopsTheRun) {
  const fs::path model = write("m.toml", "[inputs]\nx = { dist = \"uniform\", min = -1, max = 1 }\n"
                                         "[outputs]\ny = \"sqrt(x)\"\n");
  const Result r = run(model.string() + " --json " + file("r.json").string());
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err.rfind(model.string() + ":4:6: error: the output 'y' is not a finite single-precision "
                        "number in iteration ", 0), 0u) << r.err;
  EXPECT_FALSE(fs::exists(file("r.json")));
}

// Data that never varies makes the library's summaries print warnings on
// standard output; velmsim keeps them out of its report.
TEST_F(Velmsim, OutputsAndInputsThatNeverVary) {
  const fs::path model = write("m.toml", "[inputs]\nnever = { dist = \"yesno\", p = 0 }\n"
                                         "x = { dist = \"normal\", mean = 0, sd = 1 }\n"
                                         "[outputs]\nfive = \"5 + never\"\nz = \"x + never\"\n"
                                         "[run]\niterations = 400\nblock = 100\n");
  const Result r = run(model.string() + " --json " + file("r.json").string());
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out.find("WARNING"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("(none: five never varied)"), std::string::npos);
  EXPECT_NE(r.out.find("  never                  n/a (never varied)"), std::string::npos);
  const auto j = nlohmann::json::parse(slurp(file("r.json")));
  EXPECT_TRUE(j["outputs"][0]["constant"].get<bool>());
  EXPECT_EQ(j["outputs"][0]["statistics"]["mean"], 5.0);
  EXPECT_EQ(j["outputs"][1]["tornado"][1]["rho"], nullptr);
  // An output of -1 and 1 in equal numbers has a mean of 0: the library
  // warns that the coefficient of variation is NaN. The warning goes to
  // standard error; the report says why the figure is missing.
  const fs::path balanced = write("b.toml", "[inputs]\nu = { dist = \"yesno\", p = 0.5 }\n"
                                            "[outputs]\nz = \"2 * u - 1\"\n"
                                            "[run]\niterations = 4\nblock = 4\nseed = 30\n");
  const Result b = run(balanced.string());
  ASSERT_EQ(b.status, 0) << b.err;
  EXPECT_EQ(b.out.find("WARNING"), std::string::npos) << b.out;
  EXPECT_NE(b.err.find("WARNING"), std::string::npos) << b.err;
  EXPECT_NE(b.out.find("  Coef. Var.                n/a  (undefined: the mean is 0)\n"),
            std::string::npos);
}

TEST_F(Velmsim, CommandLineAndLibraryFailures) {
  for (const char* bad : {"--seed -1", "--iterations 40000", "--tolerance x", "--frobnicate",
                          "--threads", "--threads 2 --one-stream", "--block 1", "missing.toml"}) {
    const Result r = run(bad);
    EXPECT_EQ(r.status, 2) << bad;
    EXPECT_EQ(r.out, "") << bad;
    EXPECT_NE(r.err, "") << bad;
  }
  // A number out of range says, in one line, what the option takes.
  const std::vector<std::pair<std::string, std::string>> numbers = {
      {"--tolerance 0", "--tolerance must be a number greater than 0, not 0"},
      {"--percentiles 10,150",
       "--percentiles must be a number strictly between 0 and 100, not 150"},
      {"--iterations 1e3", "--iterations must be a whole number from 2 to 32767, not 1e3"},
      {"--sampler fast", "--sampler must be threaded or stats, not fast"},
      {"--tornado 0", "--tornado takes a number of at least 1, or all"},
  };
  for (const auto& [bad, message] : numbers) {
    const Result r = run(bad);
    EXPECT_EQ(r.status, 2) << bad;
    EXPECT_EQ(r.err, "velmsim: error: " + message + " (try --help)\n");
  }
  const Result lib = run("--threaded-library " + file("none.so").string());
  EXPECT_EQ(lib.status, 2);
  EXPECT_EQ(lib.err.rfind("velmsim: error: cannot load the library " + file("none.so").string(), 0), 0u) << lib.err;
  const Result edition = run(std::string("--stats-library ") + VELM_THREADED_LIBRARY);
  EXPECT_EQ(edition.status, 2);
  EXPECT_NE(edition.err.find("lacks the export VELMSORT"), std::string::npos);
}

}  // namespace
