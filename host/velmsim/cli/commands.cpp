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
#include "host/velmsim/session/session.h"

namespace velmsim::cli {

namespace {

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
  Session session(c.model, std::nullopt, c.overrides);
  std::fputs(session.messages().c_str(), stderr);
  if (!session.ok()) return 2;
  if (c.check) return print_report("ok\n");

  ReportFiles files({c.model}, {{"--json", c.json}, {"--csv", c.csv}, {"--html", c.html}});
  std::optional<LibraryOutputToStandardError> quiet(std::in_place);
  const Progress progress;
  const int limit = session.plan().iterations;
  const auto outcome = session.run(c.stats_library, c.threaded_library,
                                   [&](const Samples& s, const Convergence& convergence) {
    float worst = 0;
    for (float e : convergence.trace().back().error) worst = std::isnan(e) || e > worst ? e : worst;
    progress.show(format("velmsim: %d of %d iterations, convergence error %.4g", s.n, limit,
                         static_cast<double>(worst)));
  });
  progress.clear();
  if (outcome != Session::Outcome::done) {
    std::fputs(session.run_messages().c_str(), stderr);
    return 2;
  }
  const Report& report = session.report();
  quiet.reset();
  files.write({{"--json", [&](const auto& out) { out(json_report(report)); }},
               {"--csv", [&](const auto& out) { csv_rows(session.model(), session.samples(), out); }},
               {"--html", [&](const auto& out) { out(html_report(report)); }}});
  return print_report(text_report(report));
}

// Both models on the same substreams, iteration by iteration, and the
// difference B - A of every output they share.
int compare_command(const CommandLine& c) {
  CompareSession session(c.a, std::nullopt, c.b, std::nullopt, c.overrides);
  std::fputs(session.messages().c_str(), stderr);
  if (!session.ok()) return 2;

  ReportFiles files({c.a, c.b}, {{"--json", c.json}, {"--html", c.html}});
  std::optional<LibraryOutputToStandardError> quiet(std::in_place);
  const Progress progress;
  const int limit = session.plan(0).iterations;
  const auto outcome = session.run(c.stats_library, c.threaded_library, [&](int m, const Samples& s) {
    progress.show(format("velmsim: model %c, %d of %d iterations", m == 0 ? 'A' : 'B', s.n, limit));
  });
  progress.clear();
  if (outcome != Session::Outcome::done) {
    std::fputs(session.run_messages().c_str(), stderr);
    return 2;
  }
  const Comparison& comparison = session.comparison();
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
