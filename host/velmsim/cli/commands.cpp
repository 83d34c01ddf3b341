#include "host/velmsim/cli/commands.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <optional>

#include <unistd.h>

#include "host/velmsim/analysis/compare.h"
#include "host/velmsim/analysis/convergence.h"
#include "host/velmsim/analysis/report.h"
#include "host/velmsim/cli/files.h"
#include "host/velmsim/engine/exports.h"
#include "host/velmsim/engine/run.h"
#include "host/velmsim/model/model.h"
#include "host/velmsim/model/import_network.h"
#include "host/velmsim/plan/imported_plan.h"
#include "host/velmsim/plan/plan.h"
#include "host/velmsim/render/format.h"
#include "host/velmsim/render/render.h"

namespace velmsim::cli {

namespace {

// Prints the model's diagnostics; true when it has errors.
bool print_diagnostics(const Model& model, const Diagnostics& diagnostics) {
  std::fputs(diagnostics.render(model.path, model.text).c_str(), stderr);
  return diagnostics.has_errors();
}

// An output that was not a finite number: a located error with the iteration
// and its input values.
void report_failure(const Model& model, const Failure& failure) {
  const Output& out = model.outputs[static_cast<std::size_t>(failure.output)];
  std::string values;
  for (std::size_t c = 0; c < model.columns.size(); ++c)
    values += (c == 0 ? "" : ", ") + model.columns[c].name + " = " +
              format("%.9g", static_cast<double>(failure.row[c]));
  Diagnostics runtime;
  runtime.error(out.formula_at, "the output '" + out.name +
                                    "' is not a finite single-precision number in iteration " +
                                    std::to_string(failure.iteration + 1) + ", where " + values +
                                    (failure.why.empty() ? "" : ": " + failure.why));
  print_diagnostics(model, runtime);
}

// Progress on a terminal: the iterations so far and what is still to come.
class Progress {
 public:
  Progress() : on_(isatty(fileno(stderr)) != 0) {}
  void show(const std::string& text) const {
    if (on_) std::fprintf(stderr, "\r%s   ", text.c_str());
  }
  void clear() const {
    if (on_) std::fprintf(stderr, "\r%70s\r", "");
  }

 private:
  bool on_;
};

// While it lives, what is written to standard output (the statistics
// library's warnings: it prints them there) goes to standard error, so that
// the report on standard output never carries them.
class LibraryOutputToStandardError {
 public:
  LibraryOutputToStandardError() {
    std::fflush(stdout);
    saved_ = ::dup(STDOUT_FILENO);
    if (saved_ >= 0 && ::dup2(STDERR_FILENO, STDOUT_FILENO) < 0) {
      ::close(saved_);
      saved_ = -1;
    }
  }
  ~LibraryOutputToStandardError() {
    if (saved_ < 0) return;
    std::fflush(stdout);
    ::dup2(saved_, STDOUT_FILENO);
    ::close(saved_);
  }
  LibraryOutputToStandardError(const LibraryOutputToStandardError&) = delete;
  LibraryOutputToStandardError& operator=(const LibraryOutputToStandardError&) = delete;

 private:
  int saved_ = -1;
};

}  // namespace

int run_command(const CommandLine& c) {
  Diagnostics diagnostics;
  const Model model = read_model(c.model, diagnostics);
  const Plan plan = make_plan(model, c.overrides, diagnostics);
  if (print_diagnostics(model, diagnostics)) return 2;
  if (c.check) return print_report("ok\n");

  ReportFiles files({c.model}, {{"--json", c.json}, {"--csv", c.csv}, {"--html", c.html}});
  std::optional<LibraryOutputToStandardError> quiet(std::in_place);
  const Editions editions(c.stats_library, c.threaded_library, plan.sampler, plan.threads);
  const StatisticsPool pool(editions.statistics_copies(), plan.threads);
  Convergence convergence(plan, pool);
  const Progress progress;
  const RunResult result = run(plan, editions.sampling(), [&](const Samples& s, int block) {
    const bool done = convergence.check(s, block);
    float worst = 0;
    for (float e : convergence.trace().back().error) worst = std::isnan(e) || e > worst ? e : worst;
    progress.show(format("velmsim: %d of %d iterations, convergence error %.4g", s.n,
                         plan.iterations, static_cast<double>(worst)));
    return done;
  });
  progress.clear();
  if (result.failure.iteration >= 0) {
    report_failure(model, result.failure);
    return 2;
  }

  const Report report =
      analyse(plan, result, convergence.trace(), pool, Libraries::of(editions));
  quiet.reset();
  files.write({{"--json", [&](const auto& out) { out(json_report(report)); }},
               {"--csv", [&](const auto& out) { csv_rows(model, result.samples, out); }},
               {"--html", [&](const auto& out) { out(html_report(report)); }}});
  return print_report(text_report(report));
}

// Both models on the same substreams, iteration by iteration, and the
// difference B - A of every output they share.
int compare_command(const CommandLine& c) {
  Diagnostics da, db;
  const Model a = read_model(c.a, da);
  const Model b = read_model(c.b, db);
  const ComparePlans plans = make_compare_plans(a, b, c.overrides, da, db);
  const bool errors_a = print_diagnostics(a, da);
  if (print_diagnostics(b, db) || errors_a) return 2;

  ReportFiles files({c.a, c.b}, {{"--json", c.json}, {"--html", c.html}});
  std::optional<LibraryOutputToStandardError> quiet(std::in_place);
  const Editions editions(c.stats_library, c.threaded_library, Sampler::threaded,
                          plans.a.threads);
  const StatisticsPool pool(editions.statistics_copies(), plans.a.threads);
  const Progress progress;
  RunResult results[2];
  const Plan* sides[2] = {&plans.a, &plans.b};
  for (int m = 0; m < 2; ++m) {
    results[m] = run(*sides[m], editions.sampling(), [&](const Samples& s, int) {
      progress.show(format("velmsim: model %c, %d of %d iterations", m == 0 ? 'A' : 'B', s.n,
                           plans.a.iterations));
      return false;
    });
    progress.clear();
    if (results[m].failure.iteration >= 0) {
      report_failure(*sides[m]->model, results[m].failure);
      return 2;
    }
  }

  const Comparison comparison =
      compare_runs(plans, results[0], results[1], pool, Libraries::of(editions));
  quiet.reset();
  files.write({{"--json", [&](const auto& out) { out(compare_json(comparison)); }},
               {"--html", [&](const auto& out) { out(compare_html(comparison)); }}});
  return print_report(compare_text(comparison));
}

// A schedule file converted to standard output: its network as a model, or
// its plan as velmsim dates it. What the plan does not model is noted on
// standard error.
int convert_command(const CommandLine& c) {
  Diagnostics diag;
  const auto f = read_schedule_file(c.schedule, diag, c.encoding);
  std::optional<ImportedNetwork> n;
  std::optional<Network> network;
  if (f && !diag.has_errors()) {
    n = network_of(*f, f->file, diag);
    network = imported_network(*f, *n, diag);
  }
  std::fputs(diag.render("", "").c_str(), stderr);
  if (!network || diag.has_errors()) return 2;
  const std::string name = std::filesystem::path(c.schedule).stem().string();
  const std::string out = c.to == "csv" ? schedule_plan_csv(*f, planned_dates(*f, *n, *network))
                                        : schedule_model_toml(*f, *n, name);
  return print_report(out);
}

}  // namespace velmsim::cli
