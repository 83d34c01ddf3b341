// velmsim compare end to end: two models on common random numbers. The
// difference B - A is checked against the two models run on their own (their
// CSV rows recomputed here with the statistics edition), against a difference
// that never varies, across thread counts, and for a located error in B.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "tests/host/unit/support.h"
#include "tests/host/e2e/velmsim_fixture.h"

namespace {

using namespace velmsim_test;

const std::string kKinds = std::string(VELM_MODELS_DIR) + "/kinds.toml";

std::string replaced(std::string text, const std::string& from, const std::string& to) {
  const auto at = text.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  if (at != std::string::npos) text.replace(at, from.size(), to);
  return text;
}

// kinds.toml with the triangular mode and the constant impact of r2 changed:
// both still take the same uniforms, so every other input keeps its draws.
std::string kinds_b() {
  std::string b = replaced(slurp(kKinds), "mode = 1,", "mode = 2,");
  return replaced(b, "impact = 7.5", "impact = 9");
}

float as_float(const nlohmann::json& j) { return static_cast<float>(j.get<double>()); }

// Outputs that differ by a constant: B - A never varies, and the host gives
// its statistics itself (the library would warn about such data).
TEST_F(Velmsim, CompareConstantDifference) {
  const std::string inputs = "[inputs]\nu = { dist = \"uniform\", min = 0, max = 1 }\n"
                             "g = { dist = \"geometric\", p = 0.3 }\n";
  const fs::path a = write("a.toml", inputs + "[outputs]\ntotal = \"rint(100 * u) + g\"\n"
                                              "same = \"g\"\n[run]\nblock = 100\n");
  const fs::path b = write("b.toml", inputs + "[outputs]\ntotal = \"rint(100 * u) + g + 7\"\n"
                                              "same = \"g\"\nextra = \"u\"\n[run]\nblock = 50\n");
  const Result r = run("compare " + a.string() + " " + b.string() +
                       " --iterations 400 --percentiles 25,50 --json " + file("c.json").string());
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out.find("WARNING"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("B's [run] block = 50 is not used"), std::string::npos) << r.out;
  const auto j = nlohmann::json::parse(slurp(file("c.json")));
  EXPECT_EQ(j["run"]["iterations"], 400);
  ASSERT_EQ(j["outputs"].size(), 2u);
  for (const auto& [k, value, p] : {std::tuple<int, double, double>{0, 7, 1}, {1, 0, 0}}) {
    const auto& d = j["outputs"][static_cast<std::size_t>(k)]["difference"];
    EXPECT_TRUE(d["constant"].get<bool>());
    EXPECT_EQ(d["sd"], 0.0);
    for (const char* key : {"mean", "minimum", "maximum"}) EXPECT_EQ(d[key], value) << key;
    ASSERT_EQ(d["percentiles"].size(), 4u);  // 5, 25, 50, 95
    for (const auto& q : d["percentiles"]) EXPECT_EQ(q["value"], value);
    EXPECT_EQ(d["probability_b_greater"], p);
  }
  EXPECT_EQ(j["only_in_b"], nlohmann::json::array({"extra"}));
}

// B - A agrees with the two models run on their own: their CSV rows paired
// iteration by iteration, the difference taken in double and rounded once,
// summarised here with the statistics edition.
TEST_F(Velmsim, CompareAgreesWithSeparateRuns) {
  const fs::path b = write("b.toml", kinds_b());
  const std::string common = " --seed 4242 --iterations 1000";
  const Result r = run("compare " + kKinds + " " + b.string() + common + " --json " +
                       file("c.json").string());
  ASSERT_EQ(r.status, 0) << r.err;
  // A tolerance no convergence error gets below: both run the full count.
  for (const auto& [model, csv] : {std::pair<std::string, std::string>{kKinds, "a.csv"},
                                   {b.string(), "b.csv"}}) {
    const Result one = run(model + common + " --tolerance 1e-30 --csv " + file(csv).string());
    ASSERT_EQ(one.status, 0) << one.err;
  }
  const auto ra = read_csv(file("a.csv")), rb = read_csv(file("b.csv"));
  ASSERT_EQ(ra.size(), 1000u);
  ASSERT_EQ(rb.size(), 1000u);

  // Columns: iteration, u n l t b bs g p1 p2 r1 r2 y, total ratio. Only t
  // and r2 were changed; every other input has the same draws.
  for (std::size_t i = 0; i < ra.size(); ++i) {
    for (std::size_t c = 1; c <= 12; ++c) {
      if (c == 4 || c == 11) continue;
      ASSERT_EQ(ra[i][c], rb[i][c]) << "iteration " << i + 1 << " column " << c;
    }
  }
  const auto j = nlohmann::json::parse(slurp(file("c.json")));
  EXPECT_EQ(j["common_random_numbers"]["same_values"],
            nlohmann::json::array({"u", "n", "l", "b", "bs", "g", "p1/p2", "r1", "y"}));
  EXPECT_EQ(j["common_random_numbers"]["same_start"], nlohmann::json::array({"t", "r2"}));

  const velm_host::Library library(VELM_STATS_LIBRARY);
  const velmsim::StatisticsExports st(library);
  const auto n16 = static_cast<std::int16_t>(1000);
  for (std::size_t k = 0; k < 2; ++k) {
    const auto& out = j["outputs"][k];
    std::vector<float> d;
    int greater = 0;
    for (std::size_t i = 0; i < ra.size(); ++i) {
      const float ya = ra[i][13 + k], yb = rb[i][13 + k];
      d.push_back(static_cast<float>(static_cast<double>(yb) - static_cast<double>(ya)));
      greater += yb > ya;
    }
    std::array<float, 15> stat{};
    const std::int16_t one = 1;
    st.stat(&n16, &one, d.data(), &n16, stat.data());
    const auto& diff = out["difference"];
    EXPECT_FALSE(diff["constant"].get<bool>());
    EXPECT_EQ(as_float(diff["mean"]), stat[0]);
    EXPECT_EQ(as_float(diff["sd"]), stat[2]);
    EXPECT_EQ(as_float(diff["minimum"]), *std::min_element(d.begin(), d.end()));
    EXPECT_EQ(as_float(diff["maximum"]), *std::max_element(d.begin(), d.end()));
    EXPECT_EQ(as_float(diff["probability_b_greater"]), static_cast<float>(greater / 1000.0));
    for (const auto& q : diff["percentiles"]) {
      const float p = static_cast<float>(q["percent"].get<double>() / 100.0);
      const std::int16_t count = 1;
      float v = 0;
      st.qtil(&n16, d.data(), &count, &p, &v);
      EXPECT_EQ(as_float(q["value"]), v) << "P" << q["percent"];
    }
  }
}

// The same reports for 1 and 2 threads but for the thread count itself.
TEST_F(Velmsim, CompareThreadCountChangesNothing) {
  const fs::path b = write("b.toml", kinds_b());
  std::string text[2], json[2], html[2];
  for (int t = 1; t <= 2; ++t) {
    const std::string n = std::to_string(t);
    const Result r = run("compare " + kKinds + " " + b.string() + " --iterations 3000 --threads " +
                         n + " --json " + file(n + ".json").string() + " --html " +
                         file(n + ".html").string());
    ASSERT_EQ(r.status, 0) << r.err;
    text[t - 1] = replaced(r.out, "threads:     " + n + "\n", "");
    auto j = nlohmann::json::parse(slurp(file(n + ".json")));
    EXPECT_EQ(j["run"]["threads"], t);
    j["run"].erase("threads");
    json[t - 1] = j.dump();
    html[t - 1] = replaced(slurp(file(n + ".html")), n + (t == 1 ? " thread<" : " threads<"), "");
  }
  EXPECT_EQ(text[0], text[1]);
  EXPECT_EQ(json[0], json[1]);
  EXPECT_EQ(html[0], html[1]);
}

// An error in B's file is located in B's file; nothing runs.
TEST_F(Velmsim, CompareLocatesAnErrorInB) {
  const fs::path b = write("b.toml", replaced(slurp(kKinds), "sd = 2 }", "sd = -2 }"));
  const Result r = run("compare " + kKinds + " " + b.string() + " --json " + file("c.json").string());
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err.rfind(b.string() + ":9:43: error: 'sd' of input 'n' (the standard deviation) "
                        "must be greater than 0, not -2\n", 0), 0u) << r.err;
  EXPECT_EQ(r.err.find(kKinds), std::string::npos);
  EXPECT_FALSE(fs::exists(file("c.json")));
  // The options of compare go after it.
  EXPECT_EQ(run("--seed 3 compare " + kKinds + " " + kKinds).status, 2);
}

}  // namespace
