// velmsim end to end. The program runs as a child process; its CSV columns
// are compared with export calls made here on the threaded edition, its
// reports across thread counts, and its messages about bad models byte for
// byte with their FILE:LINE:COL.
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
#include <vector>

#include <sys/wait.h>

#include "host/velmsim/engine/substreams.h"
#include "tests/host/unit/support.h"
#include "tests/host/e2e/velmsim_fixture.h"

namespace {

using namespace velmsim_test;

const std::string kKinds = std::string(VELM_MODELS_DIR) + "/kinds.toml";

// One iteration of kinds.toml drawn with direct export calls, in the order
// the file declares the inputs, and its "total" output.
std::vector<float> draw_kinds(const velmsim_unit::DirectExports& x) {
  auto f = [](double v) { return static_cast<float>(v); };
  const float m2 = -2, p3 = 3, ten = 10, two = 2, three = 3, one5 = 1.5f, zero = 0, one = 1,
              four = 4, five = 5, half = 0.5f, seven = 0.7f, p02 = 0.2f, mrho = -0.7f, p03 = 0.3f,
              hundred = 100, forty = 40, p06 = 0.6f, p04 = 0.4f;
  std::vector<float> row;
  row.push_back(x.uniform(&m2, &p3));
  row.push_back(x.normal(&ten, &two));
  row.push_back(x.lognormal(&three, &one5));
  row.push_back(x.triang(&zero, &one, &four));
  row.push_back(x.beta(&two, &five));
  row.push_back(f(10.0 + 2.5 * static_cast<double>(x.beta(&half, &seven))));
  row.push_back(static_cast<float>(x.geometric(&p02)));
  float a = 0, b = 0;
  x.crnormal(&one, &half, &five, &two, &mrho, &a, &b);
  row.push_back(a);
  row.push_back(b);
  const bool r1 = x.yesno(&p03) != 0;
  const float impact = x.lognormal(&hundred, &forty);
  row.push_back(r1 ? impact : 0.0f);
  row.push_back(x.yesno(&p06) != 0 ? 7.5f : 0.0f);
  row.push_back(static_cast<float>(x.yesno(&p04)));
  double total = 0;
  for (float v : row) total += v;
  row.push_back(f(total));
  return row;
}

void expect_rows_equal(const std::vector<float>& want, const std::vector<float>& got, int i) {
  ASSERT_GE(got.size(), want.size() + 1) << "iteration " << i;
  EXPECT_EQ(got[0], static_cast<float>(i + 1));
  for (std::size_t c = 0; c < want.size(); ++c)
    EXPECT_EQ(want[c], got[c + 1]) << "iteration " << i + 1 << ", column " << c + 1;
}

// Every CSV input column is what the exports give from iteration i's
// substream. The substream seed is found from the library itself: the seed
// the generator holds after 65536 uniforms from the previous substream's.
TEST_F(Velmsim, CsvColumnsAreTheExportsOnEachSubstream) {
  const Result r = run(kKinds + " --threads 2 --csv " + file("run.csv").string());
  ASSERT_EQ(r.status, 0) << r.err;
  const auto rows = read_csv(file("run.csv"));
  ASSERT_EQ(rows.size(), 600u);
  const velmsim_unit::DirectExports& x = velmsim_unit::direct();
  std::int32_t seed = 987654;
  const float lo = 0, hi = 1;
  for (int i = 0; i < 600; ++i) {
    if (i > 0) {
      x.set_seed(&seed);
      for (int k = 0; k < 65536; ++k) x.uniform(&lo, &hi);
      seed = x.get_seed();
    }
    ASSERT_EQ(velmsim::substream_seed(987654, i), seed) << "iteration " << i + 1;
    x.set_seed(&seed);
    expect_rows_equal(draw_kinds(x), rows[static_cast<std::size_t>(i)], i);
    if (HasFailure()) return;
  }
}

// --sampler stats draws from the statistics edition, on the same substreams.
TEST_F(Velmsim, StatsSamplerUsesTheStatisticsEdition) {
  const Result r = run(std::string(VELM_EXAMPLES_DIR) + "/project_cost.toml --sampler stats "
                       "--iterations 200 --block 100 --seed 777 --csv " + file("run.csv").string());
  ASSERT_EQ(r.status, 0) << r.err;
  const auto rows = read_csv(file("run.csv"));
  ASSERT_EQ(rows.size(), 200u);
  const velmsim_unit::DirectExports& x = velmsim_unit::direct(velmsim::Sampler::stats);
  const float h[3] = {800, 1000, 1500}, rate[2] = {85, 10}, mat[2] = {40000, 8000}, ov[2] = {2, 8},
              per[2] = {2000, 6000}, p = 0.3f;
  for (int i = 0; i < 200; ++i) {
    const std::int32_t seed = velmsim::substream_seed(777, i);
    x.set_seed(&seed);
    std::vector<float> want = {x.triang(&h[0], &h[1], &h[2]), x.normal(&rate[0], &rate[1]),
                               x.lognormal(&mat[0], &mat[1]), x.beta(&ov[0], &ov[1]),
                               x.uniform(&per[0], &per[1]), static_cast<float>(x.geometric(&p))};
    expect_rows_equal(want, rows[static_cast<std::size_t>(i)], i);
    if (HasFailure()) return;
  }
}

TEST_F(Velmsim, OneStreamIsAHostThatSeedsOnce) {
  const Result r = run(kKinds + " --one-stream --csv " + file("run.csv").string());
  ASSERT_EQ(r.status, 0) << r.err;
  const auto rows = read_csv(file("run.csv"));
  ASSERT_EQ(rows.size(), 600u);
  const velmsim_unit::DirectExports& x = velmsim_unit::direct();
  const std::int32_t seed = 987654;
  x.set_seed(&seed);
  for (int i = 0; i < 600; ++i) {
    expect_rows_equal(draw_kinds(x), rows[static_cast<std::size_t>(i)], i);
    if (HasFailure()) return;
  }
  EXPECT_NE(r.out.find("one stream seeded once"), std::string::npos);
}

// The risk table agrees with the CSV columns it summarises, and the command
// line overrides [run].
TEST_F(Velmsim, RiskTableAgreesWithCsvAndOptionsOverrideTheFile) {
  const Result r = run(kKinds + " --seed 5 --iterations 300 --block 100 --percentiles 25,75 --json " +
                       file("r.json").string() + " --csv " + file("r.csv").string());
  ASSERT_EQ(r.status, 0) << r.err;
  const auto j = nlohmann::json::parse(slurp(file("r.json")));
  EXPECT_EQ(j["run"]["seed"], 5);
  EXPECT_EQ(j["run"]["iterations"], 300);
  const auto rows = read_csv(file("r.csv"));
  ASSERT_EQ(rows.size(), 300u);
  // Columns: iteration, u n l t b bs g p1 p2 r1 r2 y, total ratio.
  int r2 = 0;
  for (const auto& row : rows) {
    EXPECT_TRUE(row[11] == 0.0f || row[11] == 7.5f);
    r2 += row[11] != 0.0f;
  }
  const auto& risks = j["outputs"][0]["risks"];
  ASSERT_EQ(risks.size(), 2u);
  EXPECT_EQ(risks[1]["event"], "r2");
  EXPECT_FLOAT_EQ(risks[1]["observed_rate"].get<float>(), static_cast<float>(r2 / 300.0));
  EXPECT_EQ(risks[1]["mean_impact"], 7.5);
  std::vector<double> shown;
  for (const auto& p : j["outputs"][0]["percentiles"]) shown.push_back(p["percent"].get<double>());
  EXPECT_EQ(shown, (std::vector<double>{5, 25, 75, 95}));
  // ratio uses base (40): max(n, 1) / (t + 1) - 0.4.
  for (const auto& row : rows)
    ASSERT_EQ(row[14], static_cast<float>(std::max(static_cast<double>(row[2]), 1.0) /
                                              (static_cast<double>(row[4]) + 1.0) - 0.4));
}

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

std::string g6(double x) {
  char b[64];
  std::snprintf(b, sizeof b, "%.6g", x);
  return b;
}

// The JSON file parses and carries the numbers the text report shows.
TEST_F(Velmsim, JsonAgreesWithText) {
  const Result r = run(std::string(VELM_EXAMPLES_DIR) + "/warehouse.toml --json " +
                       file("r.json").string());
  ASSERT_EQ(r.status, 0) << r.err;
  const auto j = nlohmann::json::parse(slurp(file("r.json")));
  const auto& out = j["outputs"][0];
  EXPECT_EQ(out["name"], "cost");
  auto shown = [&](const std::string& label, double v) {
    const auto at = r.out.find(label);
    if (at == std::string::npos) return false;
    const std::string line = r.out.substr(at, r.out.find('\n', at) - at);
    return (line + " ").find(" " + g6(v) + " ") != std::string::npos;
  };
  EXPECT_NE(r.out.find("iterations:  " + std::to_string(j["run"]["iterations"].get<int>()) + " "),
            std::string::npos);
  EXPECT_NE(r.out.find("seed:        " + std::to_string(j["run"]["seed"].get<int>())), std::string::npos);
  EXPECT_NE(r.out.find("sha-256:     " + j["model"]["sha256"].get<std::string>()), std::string::npos);
  for (const auto& [label, key] : {std::pair{"Mean", "mean"}, std::pair{"Std. Dev.", "std_dev"},
                                   std::pair{"Minimum", "minimum"}, std::pair{"Maximum", "maximum"},
                                   std::pair{"Upper CLV", "upper_clv"}})
    EXPECT_TRUE(shown(std::string("  ") + label, out["statistics"][key].get<double>())) << label;
  EXPECT_EQ(j["format"], "velmsim-report");
  EXPECT_EQ(j["version"], 2);
  for (const auto& p : out["percentiles"]) {
    const std::string label = "  P" + g6(p["percent"].get<double>());
    EXPECT_TRUE(shown(label, p["value"].get<double>())) << label;
  }
  EXPECT_TRUE(shown("  P80 - base", out["contingency"]["p80_minus_base"].get<double>()));
  char below[64];
  std::snprintf(below, sizeof below, "  %-24s %8.1f %%", "P(cost <= target)",
                100.0 * out["probability_below_target"].get<double>());
  EXPECT_NE(r.out.find(below), std::string::npos);
  const auto& first = out["tornado"][0];
  char tornado[64];
  std::snprintf(tornado, sizeof tornado, "  %-18s %+7.3f", first["input"].get<std::string>().c_str(),
                first["rho"].get<double>());
  EXPECT_NE(r.out.find(tornado), std::string::npos);
  ASSERT_EQ(out["risks"].size(), 2u);
  EXPECT_EQ(out["risks"][1]["event"], "strike");
  EXPECT_EQ(j["convergence"].size(), static_cast<std::size_t>(j["run"]["iterations"].get<int>() / 500));
}

// Each class of model error: exact message, location, source line and caret
// on standard error, nothing on standard output, exit status 2.
TEST_F(Velmsim, ModelErrorsAreLocated) {
  struct Case {
    const char* what;
    std::string model;
    std::string message;  // after "FILE:"
  };
  const std::string in = "[outputs]\ny = \"a\"\n[inputs]\n";
  const std::vector<Case> cases = {
      {"TOML syntax", "[inputs]\na = { dist = \"normal\", mean = 1, sd = 2\n",
       "2:40: error: Error while parsing inline table: expected key or closing '}', saw '\\n'\n"
       "a = { dist = \"normal\", mean = 1, sd = 2\n                                       ^\n"},
      {"unknown distribution", in + "a = { dist = \"lognorml\", mean = 1, sd = 2 }\n",
       "4:14: error: unknown distribution 'lognorml'; did you mean 'lognormal'?\n"
       "a = { dist = \"lognorml\", mean = 1, sd = 2 }\n             ^\n"},
      {"unknown key", in + "a = { dist = \"normal\", mean = 1, sdd = 2 }\n",
       "4:1: error: input 'a' needs 'sd' for a normal distribution\n"
       "a = { dist = \"normal\", mean = 1, sdd = 2 }\n^\n"
       "FILE:4:34: error: unknown key 'sdd' for a normal distribution; did you mean 'sd'?\n"
       "a = { dist = \"normal\", mean = 1, sdd = 2 }\n                                 ^\n"},
      {"sd <= 0", in + "a = { dist = \"normal\", mean = 1, sd = 0 }\n",
       "4:39: error: 'sd' of input 'a' (the standard deviation) must be greater than 0, not 0\n"
       "a = { dist = \"normal\", mean = 1, sd = 0 }\n                                      ^\n"},
      {"lognormal mean <= 0", in + "a = { dist = \"lognormal\", mean = -1, sd = 2 }\n",
       "4:34: error: 'mean' of input 'a' must be greater than 0 for a lognormal distribution (it is "
       "the mean of the variable itself), not -1\n"
       "a = { dist = \"lognormal\", mean = -1, sd = 2 }\n                                 ^\n"},
      {"p of geometric", in + "a = { dist = \"geometric\", p = 1 }\n",
       "4:31: error: 'p' of input 'a' (the chance of success in each trial) must lie strictly "
       "between 0 and 1, not 1\na = { dist = \"geometric\", p = 1 }\n                              ^\n"},
      {"mode outside", in + "a = { dist = \"triangular\", low = 1, mode = 0, high = 2 }\n",
       "4:44: error: 'mode' of input 'a' must lie between 'low' (1) and 'high' (2), not 0\n"
       "a = { dist = \"triangular\", low = 1, mode = 0, high = 2 }\n                                           ^\n"},
      {"min >= max", in + "a = { dist = \"uniform\", min = 3, max = 3 }\n",
       "4:40: error: 'max' of input 'a' must be greater than 'min' (3), not 3\n"
       "a = { dist = \"uniform\", min = 3, max = 3 }\n                                       ^\n"},
      {"beta shape", in + "a = { dist = \"beta\", p = 2, q = -1 }\n",
       "4:33: error: 'q' of input 'a' (a shape parameter) must be greater than 0, not -1\n"
       "a = { dist = \"beta\", p = 2, q = -1 }\n                                ^\n"},
      {"rho", in + "a = { dist = \"normal_pair\", mean = [0, 0], sd = [1, 1], rho = -1.5, names = [\"x\", \"y2\"] }\n",
       "4:63: error: 'rho' of input 'a' (a correlation) must lie between -1 and 1, not -1.5\n"
       "a = { dist = \"normal_pair\", mean = [0, 0], sd = [1, 1], rho = -1.5, names = [\"x\", \"y2\"] }\n"
       "                                                              ^\n"},
      {"not finite", in + "a = { dist = \"normal\", mean = inf, sd = 1 }\n",
       "4:31: error: 'mean' of input 'a' must be a finite number, not inf\n"
       "a = { dist = \"normal\", mean = inf, sd = 1 }\n                              ^\n"},
      {"risk p", in + "a = { dist = \"risk\", p = 1.2, impact = 4 }\n",
       "4:26: error: 'p' of input 'a' (the chance that the event occurs) must lie between 0 and 1, not 1.2\n"
       "a = { dist = \"risk\", p = 1.2, impact = 4 }\n                         ^\n"},
      {"duplicate name", "[inputs]\na = { dist = \"normal\", mean = 1, sd = 1 }\n"
                         "b = { dist = \"normal_pair\", mean = [0, 0], sd = [1, 1], rho = 0, names = [\"a\", \"c\"] }\n"
                         "[outputs]\ny = \"a + c\"\n",
       "3:75: error: the name 'a' is used twice; it is first used on line 2\n"
       "b = { dist = \"normal_pair\", mean = [0, 0], sd = [1, 1], rho = 0, names = [\"a\", \"c\"] }\n"
       "                                                                          ^\n"},
      {"formula syntax", "[inputs]\na = { dist = \"normal\", mean = 1, sd = 1 }\n[outputs]\ny = \"a * (2 +\"\n",
       "4:14: error: in the formula of 'y': Unexpected end of expression\n"
       "y = \"a * (2 +\"\n             ^\n"},
      {"unknown name in formula", "[inputs]\nlabour = { dist = \"normal\", mean = 1, sd = 1 }\n[outputs]\ny = \"2 * labor\"\n",
       "4:10: error: unknown name 'labor' in the formula of 'y'; did you mean 'labour'?\n"
       "y = \"2 * labor\"\n         ^\n"},
      {"a pair's own name in a formula (it used to pass the check and abort the run)",
       "[inputs]\nsite = { dist = \"normal_pair\", mean = [0, 0], sd = [1, 1], rho = 0, names = [\"d\", \"b\"] }\n"
       "[outputs]\ny = \"site + d\"\n",
       "4:6: error: 'site' in the formula of 'y' is a normal_pair, not a variable: use its "
       "variables 'd' and 'b'\ny = \"site + d\"\n     ^\n"},
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

TEST_F(Velmsim, AllErrorsOfAFileUpToTwenty) {
  std::string model = "[inputs]\n";
  for (int i = 0; i < 25; ++i)
    model += "a" + std::to_string(i) + " = { dist = \"normal\", mean = 1, sd = -1 }\n";
  model += "[outputs]\ny = \"a0\"\n";
  const fs::path path = write("m.toml", model);
  const Result r = run(path.string());
  EXPECT_EQ(r.status, 2);
  std::size_t errors = 0;
  for (std::size_t at = 0; (at = r.err.find(": error: ", at)) != std::string::npos; ++at) ++errors;
  EXPECT_EQ(errors, 20u);
  EXPECT_NE(r.err.find(path.string() + ": 5 more errors not shown\n"), std::string::npos);
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
}

TEST_F(Velmsim, CommandLineAndLibraryFailures) {
  for (const char* bad : {"--seed -1", "--iterations 40000", "--tolerance x", "--frobnicate",
                          "--threads", "--threads 2 --one-stream", "--block 1", "missing.toml"}) {
    const Result r = run(bad);
    EXPECT_EQ(r.status, 2) << bad;
    EXPECT_EQ(r.out, "") << bad;
    EXPECT_NE(r.err, "") << bad;
  }
  const Result lib = run("--threaded-library " + file("none.so").string());
  EXPECT_EQ(lib.status, 2);
  EXPECT_EQ(lib.err.rfind("velmsim: error: cannot load the library " + file("none.so").string(), 0), 0u) << lib.err;
  const Result edition = run(std::string("--stats-library ") + VELM_THREADED_LIBRARY);
  EXPECT_EQ(edition.status, 2);
  EXPECT_NE(edition.err.find("lacks the export VELMSORT"), std::string::npos);
}

}  // namespace
