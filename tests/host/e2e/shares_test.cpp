// velmsim's contingency drivers: recomputed here from the CSV rows and the
// report's own P80, and the errors about names in `shares`.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "tests/host/e2e/velmsim_fixture.h"

namespace {

using namespace velmsim_test;

// total is the sum of its rows: a, b, the pair's d and the risk r (a risk is
// a row whether listed or not); c and e are left out of both.
const std::string kAdditive =
    "[inputs]\n"
    "a = { dist = \"triangular\", low = 10, mode = 20, high = 60 }\n"
    "b = { dist = \"lognormal\", mean = 30, sd = 12 }\n"
    "c = { dist = \"uniform\", min = 0, max = 5 }\n"
    "p = { dist = \"normal_pair\", mean = [40, 8], sd = [6, 2], rho = 0.5, names = [\"d\", \"e\"] }\n"
    "r = { dist = \"risk\", p = 0.15, impact = { dist = \"uniform\", min = 20, max = 40 } }\n"
    "[outputs]\n"
    "total = \"a + b + d + r\"\n"
    "fixed = \"7\"\n"
    "[run]\n"
    "iterations = 3000\n"
    "block = 1000\n";

void expect_close(double got, double want, const std::string& what) {
  EXPECT_NEAR(got, want, 2e-6 * std::max(std::fabs(want), 1e-3)) << what;
}

// The drivers of 'total' against the measure computed here from the CSV
// columns (iteration, a, b, c, d, e, r, total, fixed) and the JSON's P80.
TEST_F(Velmsim, DriversAreTheTailExcessesOfTheCsvColumns) {
  const fs::path model = write("m.toml", kAdditive + "shares = [\"b\", \"a\", \"d\"]\n");
  const Result r = run(model.string() + " --json " + file("r.json").string() + " --csv " +
                       file("r.csv").string());
  ASSERT_EQ(r.status, 0) << r.err;
  const auto j = nlohmann::json::parse(slurp(file("r.json")));
  const auto rows = read_csv(file("r.csv"));
  const auto& out = j["outputs"][0];
  const float p80 = out["p80"].get<float>();

  const std::map<std::string, std::size_t> column = {{"a", 1}, {"b", 2}, {"d", 4}, {"r", 6}};
  double y_all = 0, y_tail = 0, tail = 0;
  std::map<std::string, double> all, in_tail;
  for (const auto& row : rows) {
    const bool in = row[7] >= p80;
    y_all += row[7];
    y_tail += in ? row[7] : 0.0;
    tail += in;
    for (const auto& [name, c] : column) {
      all[name] += row[c];
      in_tail[name] += in ? row[c] : 0.0;
    }
  }
  const double n = static_cast<double>(rows.size());
  const double mean = y_all / n, tail_excess = y_tail / tail - mean;
  double rho2 = 0;
  std::map<std::string, double> rho;
  for (const auto& t : out["tornado"]) {
    const std::string name = t["input"];
    rho[name] = t["rho"].get<double>();
    rho2 += rho[name] * rho[name];
  }

  const auto& drivers = out["contingency_drivers"];
  ASSERT_EQ(drivers.size(), column.size());
  double previous = INFINITY, shares = 0, allocated = 0;
  for (const auto& d : drivers) {
    const std::string name = d["name"];
    ASSERT_EQ(column.count(name), 1u) << name;
    EXPECT_EQ(d["kind"], name == "r" ? "risk" : "input");
    const double excess = in_tail[name] / tail - all[name] / n;
    const double share = excess / tail_excess;
    expect_close(d["excess"], excess, name + " excess");
    expect_close(d["share"], share, name + " share");
    expect_close(d["p80_allocation"], share * (p80 - mean), name + " allocation");
    expect_close(d["variance_share"], rho[name] * rho[name] / rho2, name + " variance share");
    EXPECT_LE(d["excess"].get<double>(), previous) << "largest excess first";
    previous = d["excess"];
    shares += d["share"].get<double>();
    allocated += d["p80_allocation"].get<double>();
  }
  // The sum's rows account for all of its tail excess and P80 contingency.
  EXPECT_NEAR(shares, 1.0, 1e-5);
  const double mean_reported = out["statistics"]["mean"];
  EXPECT_NEAR(allocated, p80 - mean_reported, 1e-5 * mean_reported);

  // An output that never varies has no drivers, and nothing prints as NaN.
  EXPECT_TRUE(j["outputs"][1]["contingency_drivers"].empty());
  EXPECT_NE(r.out.find("(none: fixed never varied)"), std::string::npos);
  EXPECT_EQ(r.out.find(" nan"), std::string::npos);  // as printf writes it
  EXPECT_EQ(r.out.find("-nan"), std::string::npos);

  const fs::path every_column = write("all.toml", kAdditive + "shares = \"all\"\n");
  ASSERT_EQ(run(every_column.string() + " --json " + file("all.json").string()).status, 0);
  const auto every = nlohmann::json::parse(slurp(file("all.json")));
  EXPECT_EQ(every["outputs"][0]["contingency_drivers"].size(), every["columns"].size());
}

// Unknown, pair and repeated names: every one located, byte for byte.
TEST_F(Velmsim, NamesInSharesAreChecked) {
  const std::string line = "shares = [\"labour\", \"labor\", \"site\", \"labour\", 3]";
  const fs::path model = write(
      "m.toml", "[inputs]\nlabour = { dist = \"normal\", mean = 1, sd = 1 }\n"
                "site = { dist = \"normal_pair\", mean = [0, 0], sd = [1, 1], rho = 0, names = "
                "[\"design\", \"build\"] }\n[outputs]\ny = \"labour + design\"\n[run]\n" + line + "\n");
  const std::string at = model.string() + ":7:";
  auto error = [&](int column, const std::string& message) {
    return at + std::to_string(column) + ": error: " + message + "\n" + line + "\n" +
           std::string(static_cast<std::size_t>(column - 1), ' ') + "^\n";
  };
  const Result r = run(model.string());
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err,
            error(21, "unknown name 'labor' in shares; did you mean 'labour'?") +
                error(30, "'site' is a normal_pair, not a variable: list its variables 'design' "
                          "and 'build'") +
                error(38, "'labour' is listed twice in shares") +
                error(48, "each name in shares must be a text in quotes"));
}

}  // namespace
