// velmsim compare end to end: its reports across thread counts, and a
// located error in B.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "tests/host/e2e/velmsim_fixture.h"
#include "tests/host/unit/support.h"

namespace {

using namespace velmsim_test;
using velmsim_unit::kinds_b;
using velmsim_unit::replaced;

const std::string kKinds = std::string(VELM_MODELS_DIR) + "/kinds.toml";

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
