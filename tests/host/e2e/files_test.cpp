// velmsim's files end to end: reports written only after a successful run,
// all or none, through temporaries no other run or planted link can touch;
// report paths that would replace an input; model paths that are not files.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tests/host/e2e/velmsim_fixture.h"

namespace {

using namespace velmsim_test;

const std::string kSchedule = std::string(VELM_EXAMPLES_DIR) + "/schedule.toml";

// A model of `inputs` normal inputs run to 32767 iterations: its CSV is large.
std::string wide_model(int inputs) {
  std::string t = "[inputs]\n";
  for (int i = 0; i < inputs; ++i)
    t += "x" + std::to_string(i) + " = { dist = \"normal\", mean = " + std::to_string(i + 10) +
         ", sd = 1 }\n";
  return t + "[outputs]\ntotal = \"x0 + x1\"\n[run]\niterations = 32767\ntolerance = 1e-9\n";
}

// Waits up to 30 s for `ready`.
bool wait_for(const std::function<bool()>& ready) {
  for (int i = 0; i < 3000; ++i) {
    if (ready()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

// Four runs writing the same report path at once: the file ends up as one
// whole report of one of them, and none of them fails.
TEST_F(Velmsim, ConcurrentRunsKeepWholeReports) {
  const std::string model = write("m.toml", wide_model(40)).string();
  const auto args = [&](int seed, const std::string& csv) {
    return std::vector<std::string>{model, "--iterations", "20000", "--seed",
                                    std::to_string(seed), "--csv", file(csv).string()};
  };
  std::vector<std::string> alone;
  for (int s = 1; s <= 4; ++s) {
    ASSERT_EQ(finish(start(args(s, "alone.csv"), "alone"), "alone").status, 0);
    alone.push_back(slurp(file("alone.csv")));
  }
  for (int round = 0; round < 2; ++round) {
    std::vector<pid_t> pids;
    for (int s = 1; s <= 4; ++s) pids.push_back(start(args(s, "r.csv"), "run" + std::to_string(s)));
    for (int s = 1; s <= 4; ++s) {
      const Result r = finish(pids[static_cast<std::size_t>(s - 1)], "run" + std::to_string(s));
      EXPECT_EQ(r.status, 0) << r.err;
    }
    EXPECT_NE(std::find(alone.begin(), alone.end(), slurp(file("r.csv"))), alone.end())
        << "round " << round;
    EXPECT_EQ(names_ending(".part"), std::vector<std::string>{});
  }
}

// What lies where a temporary would go (another run's temporary under the
// old fixed name, links planted at this run's own first names) is neither
// followed nor touched.
TEST_F(Velmsim, PlantedLinksAreNotFollowed) {
  const fs::path victim = write("victim", "precious\n");
  const std::string csv = file("r.csv").string();
  write("r.csv.part", "another run's\n");
  const pid_t pid = start({kSchedule, "--iterations", "200", "--csv", csv}, "run", [&] {
    const std::string own = csv + "." + std::to_string(::getpid()) + "-";
    for (const std::string& name : {own + "0.part", own + "1.part"})
      fs::create_symlink(victim, name);
  });
  const Result r = finish(pid, "run");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(slurp(victim), "precious\n");
  EXPECT_EQ(slurp(csv + ".part"), "another run's\n");
  EXPECT_EQ(slurp(csv).rfind("iteration,", 0), 0u);
  EXPECT_EQ(std::count_if(fs::directory_iterator(dir_), {},
                          [](const auto& e) { return e.is_symlink(); }),
            2);
}

// A report path that is a model file or another report, however spelled, is
// refused before anything runs; a report path that is a link writes through
// to the link's target.
TEST_F(Velmsim, ReportPathsAreFilesNotSpellings) {
  const std::string text = slurp(kSchedule);
  const std::string m = write("m.toml", text).string();
  const std::string b = write("b.toml", text).string();
  fs::create_directory(file("sub"));
  fs::create_hard_link(m, file("hard.toml"));
  fs::create_symlink(m, file("link.toml"));
  const std::string x = file("x").string(), other_x = file("sub/../x").string();
  struct Case {
    std::string args, message;
  };
  const std::vector<Case> cases = {
      {m + " --csv " + m, "--csv " + m + " would replace the model file " + m},
      {m + " --json " + file("sub/../m.toml").string(),
       "--json " + file("sub/../m.toml").string() + " would replace the model file " + m},
      {m + " --html " + file("hard.toml").string(),
       "--html " + file("hard.toml").string() + " would replace the model file " + m},
      {m + " --csv " + file("link.toml").string(),
       "--csv " + file("link.toml").string() + " would replace the model file " + m},
      {m + " --json " + x + " --csv " + other_x,
       "--json " + x + " and --csv " + other_x + " are the same file"},
      {"compare " + m + " " + b + " --json " + b,
       "--json " + b + " would replace the model file " + b},
  };
  for (const Case& c : cases) {
    const Result r = run(c.args);
    EXPECT_EQ(r.status, 2) << c.args;
    EXPECT_EQ(r.out, "") << c.args;
    EXPECT_EQ(r.err, "velmsim: error: " + c.message + "\n") << c.args;
  }
  EXPECT_EQ(slurp(m), text);
  EXPECT_EQ(slurp(b), text);
  EXPECT_FALSE(fs::exists(x));

  fs::create_symlink("sub/target.json", file("report.json"));
  ASSERT_EQ(run(m + " --iterations 200 --json " + file("report.json").string()).status, 0);
  EXPECT_TRUE(fs::is_symlink(file("report.json")));
  EXPECT_EQ(slurp(file("sub/target.json")).rfind("{\n  \"format\": \"velmsim-report\"", 0), 0u);
}

// No report file exists before the run ends: here the run waits on a
// library that is a pipe, and then fails to load it.
TEST_F(Velmsim, NoReportBeforeTheRun) {
  const std::string library = file("library.so").string();
  ASSERT_EQ(::mkfifo(library.c_str(), 0600), 0);
  const pid_t pid = start({kSchedule, "--stats-library", library, "--threaded-library", library,
                           "--json", file("r.json").string(), "--csv", file("r.csv").string()},
                          "run");
  int loading = -1;
  ASSERT_TRUE(wait_for([&] {
    return (loading = ::open(library.c_str(), O_WRONLY | O_NONBLOCK)) >= 0;
  }));
  EXPECT_FALSE(fs::exists(file("r.json")));
  EXPECT_FALSE(fs::exists(file("r.csv")));
  ::close(loading);
  const Result r = finish(pid, "run");
  EXPECT_EQ(r.status, 2);
  EXPECT_FALSE(fs::exists(file("r.json")));
  EXPECT_FALSE(fs::exists(file("r.csv")));
}

// Writing fails (a full device, a file size limit standing for a full disk):
// the message names the file and the reason, exit status 1, and every
// previous report is as it was, with no temporary left. A path that cannot
// be written is found before the run: status 2.
TEST_F(Velmsim, ReportsAreWrittenAllOrNone) {
  const std::string args = kSchedule + " --iterations 8000";
  for (const char* name : {"r.json", "r.csv", "r.html"}) write(name, "old\n");
  const std::string reports = " --json " + file("r.json").string() + " --csv " +
                              file("r.csv").string() + " --html " + file("r.html").string();
  const Result full = run(args + " --json " + file("r.json").string() + " --csv /dev/full");
  EXPECT_EQ(full.status, 1);
  EXPECT_EQ(full.out, "");
  EXPECT_EQ(full.err, "velmsim: error: cannot write /dev/full: No space left on device\n");
  // The CSV of 8000 iterations (about 800 KB) is far above a limit of 256
  // blocks; the other reports (60 KB at most) are far below.
  const Result limit = run(args + reports, "trap '' XFSZ; ulimit -f 256; ");
  EXPECT_EQ(limit.status, 1);
  EXPECT_EQ(limit.err,
            "velmsim: error: cannot write " + file("r.csv").string() + ": File too large\n");
  for (const char* name : {"r.json", "r.csv", "r.html"})
    EXPECT_EQ(slurp(file(name)), "old\n") << name;
  EXPECT_EQ(names_ending(".part"), std::vector<std::string>{});

  // The text report to a full standard output: told, status 1.
  const std::string err = file("full.err").string();
  const int raw = std::system((std::string(VELMSIM_PATH) + " " + args + " >/dev/full 2>" + err).c_str());
  EXPECT_EQ(WEXITSTATUS(raw), 1);
  EXPECT_EQ(slurp(err), "velmsim: error: cannot write the report to standard output: No space "
                        "left on device\n");

  const Result missing = run(args + " --csv " + file("none/r.csv").string());
  EXPECT_EQ(missing.status, 2);
  EXPECT_EQ(missing.out, "");
  EXPECT_EQ(missing.err, "velmsim: error: cannot write " + file("none/r.csv").string() +
                             ": No such file or directory\n");
}

// SIGINT or SIGTERM while the reports are written leaves no temporary: here
// the run waits to open its HTML report, a pipe with no reader, after
// writing the other two to their temporaries.
TEST_F(Velmsim, NoTemporaryLeftOnInterrupt) {
  ASSERT_EQ(::mkfifo(file("pipe.html").c_str(), 0600), 0);
  for (int signal : {SIGINT, SIGTERM}) {
    for (const char* name : {"r.json", "r.csv"}) write(name, "old\n");
    const pid_t pid =
        start({kSchedule, "--iterations", "500", "--json", file("r.json").string(), "--csv",
               file("r.csv").string(), "--html", file("pipe.html").string()},
              "run", [] {
                std::signal(SIGINT, SIG_DFL);  // as a terminal would deliver them
                std::signal(SIGTERM, SIG_DFL);
              });
    const bool waiting = wait_for([&] { return names_ending(".part").size() == 2; });
    ::kill(pid, waiting ? signal : SIGKILL);
    const Result r = finish(pid, "run");
    ASSERT_TRUE(waiting) << signal;
    EXPECT_EQ(r.status, 128 + signal);
    EXPECT_EQ(names_ending(".part"), std::vector<std::string>{}) << signal;
    for (const char* name : {"r.json", "r.csv"}) EXPECT_EQ(slurp(file(name)), "old\n") << name;
  }
}

// The CSV is written as it is rendered: memory with --csv stays within 10 %
// of memory without, and below the size of the file itself.
TEST_F(Velmsim, CsvIsStreamed) {
  const std::string model = write("m.toml", wide_model(100)).string();
  const Result without = finish(start({model}, "without"), "without");
  const Result with = finish(start({model, "--csv", file("r.csv").string()}, "with"), "with");
  ASSERT_EQ(without.status, 0) << without.err;
  ASSERT_EQ(with.status, 0) << with.err;
  EXPECT_LE(with.peak_kb, without.peak_kb + without.peak_kb / 10);
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
  // (A sanitizer's own memory is larger than the CSV.)
  EXPECT_LT(with.peak_kb * 1024, static_cast<long>(fs::file_size(file("r.csv"))));
#endif
}

// A model path that is not a regular file, or a file beyond the size limit,
// is a located error, without reading it through.
TEST_F(Velmsim, ModelThatIsNotASmallFile) {
  ASSERT_EQ(::mkfifo(file("pipe.toml").c_str(), 0600), 0);
  const std::vector<std::string> paths = {dir_.string(), file("pipe.toml").string(), "/dev/zero"};
  for (const std::string& path : paths) {
    const Result r = run(path, "timeout 20 ");
    EXPECT_EQ(r.status, 2) << path;
    EXPECT_EQ(r.err, path + ": error: the model file is not a regular file\n");
  }
  const std::string large = file("large.toml").string();
  std::ofstream(large) << slurp(kSchedule) << std::string(16 << 20, '#');
  const Result r = run(large);
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, large + ": error: the model file is larger than 16 MiB (16777216 bytes), the "
                           "largest model velmsim reads\n");
}

}  // namespace
