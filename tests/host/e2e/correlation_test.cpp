// Rank correlation between inputs: the correlations achieved, recomputed here
// from the CSV, against the target; the values drawn kept; the matrix checks
// and the repair.
#include <gtest/gtest.h>

#include <Eigen/Eigenvalues>
#include <algorithm>
#include <nlohmann/json.hpp>
#include <numeric>
#include <string>
#include <vector>

#include "tests/host/e2e/velmsim_fixture.h"
#include "tests/support/ranks.h"

namespace {

using namespace velmsim_test;
using velm_test::spearman;

const std::string kCorrelated = std::string(VELM_EXAMPLES_DIR) + "/warehouse-correlated.toml";

// The CSV's columns by name.
std::vector<double> column(const fs::path& csv, const std::string& name) {
  const std::string header = slurp(csv).substr(0, slurp(csv).find('\n'));
  std::size_t index = 0;
  for (std::size_t at = 0, next; (next = header.find(',', at)) != std::string::npos; at = next + 1) {
    ++index;
    if (header.substr(next + 1, header.find(',', next + 1) - next - 1) == name) break;
  }
  std::vector<double> x;
  for (const auto& row : read_csv(csv)) x.push_back(row[index]);
  return x;
}

// A triangular, a lognormal, a uniform and a beta input: 5000 iterations
// reach every target within 0.02, and the report's achieved matrix is the
// Spearman correlation of the drawn columns.
TEST_F(Velmsim, AchievedRankCorrelationsMeetTheTarget) {
  const Result r = run(kCorrelated + " --iterations 5000 --tolerance 1e-9 --csv " +
                       file("run.csv").string() + " --json " + file("run.json").string());
  ASSERT_EQ(r.status, 0) << r.err;
  const auto j = nlohmann::json::parse(slurp(file("run.json")));
  ASSERT_EQ(j["run"]["iterations"], 5000);
  const auto& c = j["correlation"];
  const std::vector<std::string> names = c["inputs"];
  ASSERT_EQ(names, (std::vector<std::string>{"labour", "steel", "permits", "overrun"}));
  const double target[4][4] = {{1, 0.6, -0.3, 0.4}, {0.6, 1, 0, 0.5}, {-0.3, 0, 1, 0}, {0.4, 0.5, 0, 1}};
  for (std::size_t a = 0; a < 4; ++a)
    for (std::size_t b = 0; b < a; ++b) {
      const double rho = spearman(column(file("run.csv"), names[a]), column(file("run.csv"), names[b]));
      EXPECT_NEAR(rho, target[a][b], 0.02) << names[a] << " ~ " << names[b];
      EXPECT_NEAR(c["achieved"][a][b].get<double>(), rho, 1e-4) << names[a] << " ~ " << names[b];
      EXPECT_NEAR(c["target"][a][b].get<double>(), target[a][b], 1e-7);
    }
  // An input outside [correlation] stays independent of those in it.
  EXPECT_NEAR(spearman(column(file("run.csv"), "rate"), column(file("run.csv"), "labour")), 0, 0.05);
}

// Reordering keeps each column's values: sorted, every column equals that of
// the same model without [correlation], whose other columns are unchanged
// iteration by iteration. Also with blocks shorter than the correlated set
// (whose scores' own correlation cannot be factored), and the same for every
// thread count.
TEST_F(Velmsim, ReorderingKeepsTheDrawsAndIgnoresThreads) {
  std::string text = slurp(kCorrelated);
  const fs::path correlated = write("correlated.toml", text);
  text.erase(text.find("[correlation]"), text.find("[run]") - text.find("[correlation]"));
  const fs::path plain = write("plain.toml", text);
  for (const std::string block : {"500", "3"}) {
    const std::string common = " --iterations 1000 --tolerance 1e-9 --block " + block;
    ASSERT_EQ(run(correlated.string() + common + " --csv " + file("c1.csv").string()).status, 0);
    ASSERT_EQ(run(correlated.string() + common + " --threads 2 --csv " + file("c2.csv").string()).status, 0);
    ASSERT_EQ(run(plain.string() + common + " --csv " + file("p.csv").string()).status, 0);
    EXPECT_EQ(slurp(file("c1.csv")), slurp(file("c2.csv"))) << "block " << block;
    const auto c = read_csv(file("c1.csv")), p = read_csv(file("p.csv"));
    ASSERT_EQ(c.size(), p.size());
    const std::vector<std::size_t> moved = {1, 3, 4, 5};  // labour, steel, permits, overrun
    for (std::size_t k = 1; k <= 10; ++k) {
      std::vector<float> a, b;
      for (std::size_t i = 0; i < c.size(); ++i) {
        a.push_back(c[i][k]);
        b.push_back(p[i][k]);
      }
      if (std::find(moved.begin(), moved.end(), k) == moved.end()) {
        EXPECT_EQ(a, b) << "column " << k << " block " << block;
        continue;
      }
      EXPECT_NE(a, b) << "column " << k << " block " << block;
      std::sort(a.begin(), a.end());
      std::sort(b.begin(), b.end());
      EXPECT_EQ(a, b) << "column " << k << " block " << block;
    }
  }
}

// With more threads, a correlated run draws blocks ahead of the one asked
// for: a run that stops early, converged after an odd number of blocks (5
// of 300) or at an output that is not finite (first in the second block of
// 100, one drawn ahead), reports exactly what one thread does.
TEST_F(Velmsim, RunsThatStopEarlyIgnoreThreads) {
  const fs::path failing = write("failing.toml", "[inputs]\nx = { dist = \"uniform\", min = -1, max = 1 }\n"
                                                 "y = { dist = \"uniform\", min = 0, max = 1 }\n"
                                                 "[correlation]\nx.y = 0.5\n"
                                                 "[outputs]\nz = \"sqrt(x + 0.999) + y\"\n");
  auto without_threads = [](std::string report) {
    const std::size_t at = report.find("threads:");
    return at == std::string::npos ? report : report.erase(at, report.find('\n', at) - at);
  };
  for (const std::string& args : {kCorrelated + " --tolerance 0.02 --block 300",
                                  failing.string() + " --iterations 20000 --block 100"}) {
    const Result one = run(args);
    for (const char* threads : {" --threads 2", " --threads 3"}) {
      const Result more = run(args + threads);
      EXPECT_EQ(more.status, one.status) << args << threads;
      EXPECT_EQ(without_threads(more.out), without_threads(one.out)) << args << threads;
      EXPECT_EQ(more.err, one.err) << args << threads;
    }
  }
}

// Two correlated models that differ in one constant reorder alike, so
// velmsim compare finds B - A constant; against the model without
// [correlation], the correlated inputs are listed as reordered.
TEST_F(Velmsim, CompareReordersCorrelatedModelsAlike) {
  std::string text = slurp(kCorrelated);
  const fs::path a = write("a.toml", text);
  text.replace(text.find("+ flood + strike"), 16, "+ flood + strike + 1000");
  const fs::path b = write("b.toml", text);
  text.erase(text.find("[correlation]"), text.find("[run]") - text.find("[correlation]"));
  const fs::path plain = write("plain.toml", text);
  const std::string options = " --iterations 1200 --json " + file("c.json").string();
  ASSERT_EQ(run("compare " + a.string() + " " + b.string() + options).status, 0);
  auto j = nlohmann::json::parse(slurp(file("c.json")));
  const auto& d = j["outputs"][0]["difference"];
  EXPECT_TRUE(d["constant"].get<bool>());
  EXPECT_EQ(d["mean"], 1000.0);
  EXPECT_EQ(d["sd"], 0.0);
  ASSERT_EQ(run("compare " + plain.string() + " " + b.string() + options).status, 0);
  j = nlohmann::json::parse(slurp(file("c.json")));
  EXPECT_EQ(j["common_random_numbers"]["reordered"],
            nlohmann::json::array({"labour", "steel", "permits", "overrun"}));
}

// Correlations that cannot hold together are refused at [correlation];
// --repair uses the nearest correlation matrix. For this matrix that is, by
// its symmetry, [[1, a, a], [a, 1, -a], [a, -a, 1]] with 1 - 2a = 0.
TEST_F(Velmsim, MatrixNotSemidefiniteIsRefusedOrRepaired) {
  const fs::path model = write("m.toml",
                               "[inputs]\n"
                               "a = { dist = \"uniform\", min = 0, max = 1 }\n"
                               "b = { dist = \"triangular\", low = 0, mode = 1, high = 3 }\n"
                               "c = { dist = \"beta\", p = 2, q = 3 }\n"
                               "[outputs]\n"
                               "total = \"a + b + c\"\n"
                               "[correlation]\n"
                               "names = [\"a\", \"b\", \"c\"]\n"
                               "matrix = [[1, 0.9, 0.9], [0.9, 1, -0.9], [0.9, -0.9, 1]]\n");
  const Result refused = run(model.string());
  EXPECT_EQ(refused.status, 2);
  EXPECT_EQ(refused.out, "");
  EXPECT_EQ(refused.err,
            model.string() + ":7:1: error: the correlations in [correlation] cannot hold together: "
            "their matrix is not positive semi-definite (smallest eigenvalue -0.8); run with "
            "--repair to use the nearest correlation matrix\n[correlation]\n^\n");

  const Result repaired = run(model.string() + " --repair --iterations 1000 --json " + file("r.json").string());
  ASSERT_EQ(repaired.status, 0) << repaired.err;
  EXPECT_NE(repaired.err.find("warning: the correlations in [correlation] cannot hold together"),
            std::string::npos);
  const auto c = nlohmann::json::parse(slurp(file("r.json")))["correlation"];
  EXPECT_TRUE(c["repaired"].get<bool>());
  Eigen::Matrix3d m;
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) m(i, j) = c["target"][i][j].get<double>();
  EXPECT_GE(Eigen::SelfAdjointEigenSolver<Eigen::Matrix3d>(m).eigenvalues().minCoeff(), 0.0);
  EXPECT_NEAR(m(0, 1), 0.5, 1e-4);
  EXPECT_NEAR(m(0, 2), 0.5, 1e-4);
  EXPECT_NEAR(m(1, 2), -0.5, 1e-4);
  EXPECT_NEAR(c["largest_change"].get<double>(), 0.4, 1e-4);
}

// Every mistake in [correlation] is located.
TEST_F(Velmsim, CorrelationMistakesAreLocated) {
  const fs::path model = write("m.toml",
                               "[inputs]\n"
                               "labour = { dist = \"uniform\", min = 0, max = 1 }\n"
                               "steel = { dist = \"normal\", mean = 5, sd = 1 }\n"
                               "site = { dist = \"normal_pair\", mean = [1, 2], sd = [1, 1], rho = 0.5, names = [\"x\", \"y\"] }\n"
                               "[outputs]\n"
                               "total = \"labour + steel + x + y\"\n"
                               "[correlation]\n"
                               "labor.steel = 0.5\n"
                               "labour.x = 0.2\n"
                               "labour.steel = 0.2\n"
                               "steel.labour = 0.3\n"
                               "labour.labour = 1\n"
                               "overall = 0.4\n");
  const Result r = run(model.string());
  EXPECT_EQ(r.status, 2);
  const std::string f = model.string();
  EXPECT_EQ(r.err,
            f + ":8:1: error: unknown input 'labor' in [correlation]; did you mean 'labour'?\n"
                "labor.steel = 0.5\n^\n" +
            f + ":9:8: error: 'x' is a variable of the normal_pair 'site', which has its own "
                "correlation (rho); it cannot also be in [correlation]\nlabour.x = 0.2\n       ^\n" +
            f + ":11:16: error: the correlation of 'steel' and 'labour' is given twice; it is "
                "first given on line 10\nsteel.labour = 0.3\n               ^\n" +
            f + ":12:17: error: a variable's correlation with itself is 1; give pairs of two "
                "different inputs\nlabour.labour = 1\n                ^\n" +
            f + ":13:1: error: write each correlation as two input names joined by a dot, such as "
                "labour.steel = 0.5, or give names = [...] and matrix = [[...], ...]\noverall = 0.4\n^\n");
}

}  // namespace
