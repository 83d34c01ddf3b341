// The renderers: each report of one small model (and the comparison of it
// with a variant) byte for byte against its expected file in golden/, and
// the text and JSON reports showing the same figures. After a deliberate
// change to a report, write the expected files again with
//   cmake --build build --target velmsim_golden
// and read the difference before committing it.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>

#include "host/velmsim/analysis/compare.h"
#include "host/velmsim/render/render.h"
#include "tests/host/unit/support.h"

namespace {

using namespace velmsim_unit;

const std::string kModels = VELM_MODELS_DIR;

// The parts of a report that name this build's files and version, fixed.
void fix_provenance(Report& r) {
  r.version = "test";
  r.model_path = "golden.toml";
  r.libraries = {"libvelmprob.so", "threaded sampling", "libvelmprob.so"};
}

void expect_golden(const std::string& name, const std::string& text) {
  const std::string path = std::string(VELM_GOLDEN_DIR) + "/" + name;
  if (std::getenv("VELMSIM_UPDATE_GOLDEN") != nullptr) {
    std::ofstream(path, std::ios::binary) << text;
    return;
  }
  EXPECT_EQ(slurp(path), text) << name << " differs from its expected file";
}

std::unique_ptr<Run> golden_run() {
  return run_text(slurp(kModels + "/golden.toml"), {}, "golden.toml");
}

TEST(Render, RunReportsAreTheExpectedFiles) {
  auto run = golden_run();
  ASSERT_GE(run->samples().n, 2);
  Report r = run->report;
  fix_provenance(r);
  expect_golden("golden.txt", text_report(r));
  expect_golden("golden.json", json_report(r));
  expect_golden("golden.html", html_report(r));
  expect_golden("golden.csv", csv_rows(run->model, run->samples()));
}

TEST(Render, ComparisonReportsAreTheExpectedFiles) {
  Diagnostics da, db;
  const Model a = read_model_text("golden.toml", slurp(kModels + "/golden.toml"), da);
  const Model b = read_model_text("golden_b.toml", slurp(kModels + "/golden_b.toml"), db);
  const ComparePlans plans = make_compare_plans(a, b, {}, da, db);
  ASSERT_FALSE(da.has_errors() || db.has_errors());
  const RunResult ra = run(plans.a, editions().sampling(), nullptr);
  const RunResult rb = run(plans.b, editions().sampling(), nullptr);
  Comparison c = compare_runs(plans, ra, rb, pool(), {"libvelmprob.so", "", "libvelmprob.so"});
  c.version = "test";
  expect_golden("compare.txt", compare_text(c));
  expect_golden("compare.json", compare_json(c));
  expect_golden("compare.html", compare_html(c));
}

std::string g6(double x) {
  char b[64];
  std::snprintf(b, sizeof b, "%.6g", x);
  return b;
}

// The text report shows the JSON report's figures: statistics, percentiles,
// contingency, chances, the strongest input of the tornado, the risks.
TEST(Render, TextShowsTheJsonFigures) {
  auto run = golden_run();
  const std::string text = text_report(run->report);
  const auto j = nlohmann::json::parse(json_report(run->report));
  EXPECT_EQ(j["format"], "velmsim-report");
  EXPECT_EQ(j["version"], 2);
  auto shown = [&](const std::string& label, double v) {
    const auto at = text.find(label);
    if (at == std::string::npos) return false;
    const std::string line = text.substr(at, text.find('\n', at) - at);
    return (line + " ").find(" " + g6(v) + " ") != std::string::npos;
  };
  EXPECT_NE(text.find("seed:        " + std::to_string(j["run"]["seed"].get<int>())), std::string::npos);
  EXPECT_NE(text.find("sha-256:     " + j["model"]["sha256"].get<std::string>()), std::string::npos);
  const auto& out = j["outputs"][0];
  for (const auto& [label, key] : {std::pair{"Mean", "mean"}, std::pair{"Std. Dev.", "std_dev"},
                                   std::pair{"Minimum", "minimum"}, std::pair{"Maximum", "maximum"},
                                   std::pair{"Coef. Var.", "coef_var"}, std::pair{"Upper CLV", "upper_clv"}})
    EXPECT_TRUE(shown(std::string("  ") + label, out["statistics"][key].get<double>())) << label;
  for (const auto& p : out["percentiles"]) {
    const std::string label = "  P" + g6(p["percent"].get<double>());
    EXPECT_TRUE(shown(label, p["value"].get<double>())) << label;
  }
  EXPECT_TRUE(shown("  P80 - base", out["contingency"]["p80_minus_base"].get<double>()));
  char below[64];
  std::snprintf(below, sizeof below, "  %-24s %8.1f %%", "P(cost <= target)",
                100.0 * out["probability_below_target"].get<double>());
  EXPECT_NE(text.find(below), std::string::npos);
  const auto& first = out["tornado"][0];
  char rho[16];
  std::snprintf(rho, sizeof rho, " %+.3f ", first["rho"].get<double>());
  const auto row = text.find("\n  " + first["input"].get<std::string>() + " ");
  ASSERT_NE(row, std::string::npos);
  EXPECT_NE(text.substr(row, text.find('\n', row + 1) - row).find(rho), std::string::npos);
  ASSERT_EQ(out["risks"].size(), 2u);
  EXPECT_EQ(out["risks"][1]["event"], "strike");
  EXPECT_EQ(j["convergence"].size(), run->trace.size());
}

// Percentiles are labelled with the digits that tell them apart: 99.99999
// is not "P100", and 50.00001 and 50.00002 are not both "P50". A statistic
// that is missing says why.
TEST(Render, LabelsThatTellFiguresApart) {
  Overrides o;
  o.percentiles = {50.00001, 50.00002, 99.99999};
  const auto run = run_text("[inputs]\nx = { dist = \"uniform\", min = 0, max = 1 }\n"
                            "[outputs]\ny = \"x\"\nc = \"0 * x\"\n[run]\niterations = 400\n", o);
  const std::string text = text_report(run->report);
  for (const char* label : {"  P50.00001 ", "  P50.00002 ", "  P99.99999 "})
    EXPECT_NE(text.find(label), std::string::npos) << label;
  EXPECT_EQ(text.find("  P100 "), std::string::npos);
  EXPECT_NE(text.find("  Coef. Var.                n/a  (undefined: the mean is 0)\n"),
            std::string::npos);
  EXPECT_NE(text.find("  Skewness                  n/a  (undefined: the values never vary)\n"),
            std::string::npos);
  const auto j = nlohmann::json::parse(json_report(run->report));
  EXPECT_EQ(j["outputs"][1]["statistics"]["coef_var"], nullptr);
  EXPECT_EQ(j["outputs"][1]["missing"]["coef_var"], "undefined: the mean is 0");
  EXPECT_TRUE(j["outputs"][0]["missing"].empty());
}

// Labels and units reach every report; [run] tornado caps the tornado's and
// the drivers' bars and the text's rows, the HTML chart as tall as its bars,
// and the JSON keeps every input. The command line's --tornado overrides it.
TEST(Render, LabelsUnitsAndTheTornadoCap) {
  std::string model = "[inputs]\n";
  std::string sum;
  for (int i = 0; i < 30; ++i) {
    model += "x" + std::to_string(i) + " = { dist = \"uniform\", min = 0, max = " +
             std::to_string(i == 29 ? 1000 : i + 1) +
             (i == 29 ? ", label = \"Steel <main> & frame\", unit = \"t\"" : "") +
             " }\n";
    sum += (i ? " + x" : "x") + std::to_string(i);
  }
  model += "[outputs]\ntotal = { formula = \"" + sum +
           "\", label = \"Total cost\", unit = \"k$\" }\n[run]\niterations = 500\n"
           "shares = \"all\"\ntornado = 5\n";
  const auto run = run_text(model);
  const std::string text = text_report(run->report);
  const std::string html = html_report(run->report);
  const auto j = nlohmann::json::parse(json_report(run->report));
  EXPECT_NE(text.find("== Output Total cost (total), k$\n  total = x0 + "), std::string::npos);
  EXPECT_NE(text.find("\n  Steel <main> & frame (x29)  "), std::string::npos);  // strongest
  EXPECT_NE(text.find("\n  Steel <main> & frame (x29), t input "), std::string::npos);
  EXPECT_NE(html.find("<h2 class=\"first\">Output Total cost (total)<span class=\"unit\">, "
                      "k$</span></h2>"), std::string::npos);
  EXPECT_NE(html.find(">Steel &lt;main&gt; &amp; frame</text>"), std::string::npos);
  EXPECT_NE(html.find(">Total cost (k$)</text>"), std::string::npos);  // an axis
  EXPECT_EQ(j["outputs"][0]["label"], "Total cost");
  EXPECT_EQ(j["outputs"][0]["unit"], "k$");
  EXPECT_EQ(j["inputs"][29], (nlohmann::json{{"name", "x29"}, {"label", "Steel <main> & frame"},
                                             {"unit", "t"}}));
  EXPECT_FALSE(j["inputs"][0].contains("label"));
  EXPECT_EQ(j["outputs"][0]["tornado"].size(), 30u);
  EXPECT_EQ(j["outputs"][0]["contingency_drivers"].size(), 30u);

  auto count = [](const std::string& s, const std::string& what) {
    std::size_t n = 0;
    for (std::size_t at = s.find(what); at != std::string::npos; at = s.find(what, at + 1)) ++n;
    return n;
  };
  const std::string tornado = text.substr(text.find("Tornado:"), text.find("Contingency drivers") -
                                                                     text.find("Tornado:"));
  EXPECT_EQ(count(tornado, "|"), 5u);
  EXPECT_EQ(count(text, "(5 of 30 inputs shown, the strongest;"), 1u);
  EXPECT_EQ(count(text, "(5 of 30 drivers shown, the largest;"), 1u);
  EXPECT_EQ(count(text, " input  "), 5u);
  EXPECT_EQ(count(html, "<rect class=\"pos\""), 10u);  // five bars in each chart
  EXPECT_NE(html.find("data-chart=\"tornado\" viewBox=\"0 0 680 203\""), std::string::npos);
  EXPECT_EQ(count(html, "5 of 30 "), 2u);

  Overrides all;
  all.tornado = 0;
  const std::string every = text_report(run_text(model, all)->report);
  EXPECT_EQ(count(every, " input  "), 30u);
  EXPECT_EQ(every.find(" of 30 "), std::string::npos);
}

}  // namespace

// A correlation group's pairs are one line of the text and of the HTML
// (with the range achieved), the pairs given their own value one each; a
// chain of pairs sharing a value is listed pair by pair.
TEST(Render, CorrelationGroupsAreOneLine) {
  std::string inputs;
  for (int i = 0; i < 9; ++i) inputs += "w" + std::to_string(i) + " = { dist = \"uniform\", min = 0, max = 1 }\n";
  const std::string model = "[inputs]\n" + inputs + "[outputs]\ny = \"w0 + w1\"\n[run]\niterations = 2000\n"
                            "tolerance = 1e-9\n[correlation]\n";
  const auto group = run_text(model + "groups = [{ match = \"w*\", rho = 0.3 }]\nw0.w1 = 0.6\n");
  const std::string text = text_report(group->report);
  EXPECT_NE(text.find("  w0 ~ w1"), std::string::npos);
  EXPECT_NE(text.find("  35 pairs, each"), std::string::npos);
  EXPECT_EQ(text.find("w2 ~ w3"), std::string::npos);
  EXPECT_NE(html_report(group->report).find("<td>35 pairs, each</td>"), std::string::npos);
  std::string chain;
  for (int i = 0; i < 8; ++i) chain += "w" + std::to_string(i) + ".w" + std::to_string(i + 1) + " = 0.3\n";
  const std::string listed = text_report(run_text(model + chain)->report);
  EXPECT_NE(listed.find("  w2 ~ w3"), std::string::npos);
  const std::size_t zeros = listed.find("  28 pairs, each");
  ASSERT_NE(zeros, std::string::npos);
  EXPECT_NE(listed.substr(zeros, listed.find('\n', zeros) - zeros).find(" 0.000 "), std::string::npos);
}
