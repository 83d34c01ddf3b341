// velmsim: runs a Monte-Carlo model written in a TOML file with velmprob,
// loaded at run time and called one variate at a time as a host does, and
// reports the outputs as text, JSON, CSV and a self-contained HTML page.
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>
#include <unistd.h>

#include "host/loader.h"
#include "host/velmsim/compare.h"
#include "host/velmsim/diagnostics.h"
#include "host/velmsim/engine.h"
#include "host/velmsim/model.h"
#include "host/velmsim/report.h"

namespace {

[[noreturn]] void fail(const std::string& text, int status = 2) {
  std::fprintf(stderr, "velmsim: error: %s\n", text.c_str());
  std::exit(status);
}

// Writes `text` to `path` through a temporary file and a rename, so that a
// failed write never leaves a truncated report behind.
void write_file(const std::string& path, const std::string& text) {
  std::error_code ec;
  const auto status = std::filesystem::status(path, ec);
  if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status)) {
    // A device or pipe such as /dev/stdout is written in place.
    std::FILE* f = std::fopen(path.c_str(), "wb");
    const bool ok = f != nullptr && std::fwrite(text.data(), 1, text.size(), f) == text.size();
    if (f == nullptr || std::fclose(f) != 0 || !ok)
      fail("cannot write " + path + ": " + std::strerror(errno), 1);
    return;
  }
  const std::string temporary = path + ".part";
  std::FILE* f = std::fopen(temporary.c_str(), "wb");
  if (f == nullptr) fail("cannot write " + path + ": " + std::strerror(errno), 1);
  const bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
  if (std::fclose(f) != 0 || !ok || std::rename(temporary.c_str(), path.c_str()) != 0) {
    std::remove(temporary.c_str());
    fail("cannot write " + path + ": " + std::strerror(errno), 1);
  }
}

// Output files are opened before the run so that a bad path fails at once;
// returns those that did not exist, to be removed again if the run fails.
std::vector<std::string> open_outputs(const std::vector<std::string>& paths) {
  std::vector<std::string> created;
  for (const std::string& path : paths) {
    if (path.empty()) continue;
    const bool existed = std::filesystem::exists(path);
    std::FILE* f = std::fopen(path.c_str(), "ab");
    if (f == nullptr) fail("cannot write " + path + ": " + std::strerror(errno), 1);
    std::fclose(f);
    if (!existed) created.push_back(path);
  }
  return created;
}

// An output that was not a finite number: a located error with the iteration
// and its input values; the output files the run created are removed.
void report_failure(const std::string& model_path, const velmsim::Model& model,
                    const velmsim::RunResult& result, const std::vector<std::string>& created) {
  const velmsim::Output& out = model.outputs[static_cast<std::size_t>(result.bad_output)];
  std::string values;
  for (std::size_t c = 0; c < model.columns.size(); ++c) {
    char v[64];
    std::snprintf(v, sizeof v, "%.9g", static_cast<double>(result.bad_row[c]));
    values += (c == 0 ? "" : ", ") + model.columns[c].name + " = " + v;
  }
  velmsim::Diagnostics runtime;
  runtime.error(out.formula_at, "the output '" + out.name +
                                    "' is not a finite single-precision number in iteration " +
                                    std::to_string(result.bad_iteration + 1) + ", where " + values);
  std::fputs(runtime.render(model_path, model.text).c_str(), stderr);
  for (const std::string& path : created) std::remove(path.c_str());
}

// The libraries as the main command loads them, with the threaded edition
// checked.
struct Libraries {
  Libraries(const std::string& stats, const std::string& threaded)
      : statistics_edition(stats), threaded_edition(threaded), sampling(threaded_edition),
        statistics(statistics_edition) {
    if (sampling.crnormal == nullptr || sampling.yesno == nullptr)
      fail(threaded + " is not the threaded sampling edition (it lacks VELMCRNORMAL)");
  }
  velm_host::Library statistics_edition, threaded_edition;
  velmsim::SamplingExports sampling;
  velmsim::StatisticsExports statistics;
};

struct CompareArgs {
  std::string a, b, json_path, html_path;
  std::string stats_library = VELM_STATS_LIBRARY, threaded_library = VELM_THREADED_LIBRARY;
  std::optional<int> iterations;
  std::optional<std::int64_t> seed;
  int threads = 1;
  bool repair = false;
  std::vector<double> percentiles;
};

// velmsim compare A B: both models on the same substreams, iteration by
// iteration, and the difference B - A of every output they share.
int run_compare(const CompareArgs& c) {
  velmsim::Diagnostics da, db;
  velmsim::Model a = velmsim::read_model(c.a, da, c.repair);
  velmsim::Model b = velmsim::read_model(c.b, db, c.repair);
  std::fputs(da.render(c.a, a.text).c_str(), stderr);
  std::fputs(db.render(c.b, b.text).c_str(), stderr);
  if (da.has_errors() || db.has_errors()) return 2;

  velmsim::CompareSettings settings;
  settings.iterations_given = c.iterations.has_value();
  settings.seed_given = c.seed.has_value();
  settings.percentiles_given = !c.percentiles.empty();
  const std::vector<std::string> unused = velmsim::unused_run_settings(a, b, settings);
  if (!c.percentiles.empty()) a.run.percentiles = c.percentiles;
  b.run.percentiles = a.run.percentiles;

  // The full count in both: a tolerance of 0 is never reached.
  velmsim::RunOptions run;
  run.limit = c.iterations.value_or(a.run.iterations);
  run.block = a.run.block;
  run.threads = c.threads;
  run.tolerance = 0;

  const std::vector<std::string> created = open_outputs({c.json_path, c.html_path});
  const Libraries lib(c.stats_library, c.threaded_library);
  run.seed = static_cast<std::int32_t>(c.seed.value_or(a.run.seed));
  const bool clock_seed = run.seed == 0;
  if (clock_seed) {
    lib.sampling.set_seed(&run.seed);
    run.seed = lib.sampling.get_seed();
  }

  const bool progress = isatty(fileno(stderr)) != 0;
  velmsim::RunResult results[2];
  const velmsim::Model* models[2] = {&a, &b};
  const std::string* paths[2] = {&c.a, &c.b};
  for (int m = 0; m < 2; ++m) {
    results[m] = velmsim::run_model(*models[m], lib.sampling, lib.statistics, run,
                                    [&](const velmsim::Checkpoint& k) {
                                      if (progress)
                                        std::fprintf(stderr, "\rvelmsim: model %c, %d of %d iterations   ",
                                                     m == 0 ? 'A' : 'B', k.n, run.limit);
                                    });
    if (progress) std::fprintf(stderr, "\r%70s\r", "");
    if (results[m].bad_iteration >= 0) {
      report_failure(*paths[m], *models[m], results[m], created);
      return 2;
    }
  }

  velmsim::Comparison cmp =
      velmsim::compare_runs(a, results[0], b, results[1], lib.statistics, a.run.classes);
  cmp.version = VELM_VERSION;
  cmp.a.path = c.a;
  cmp.b.path = c.b;
  cmp.sampling_library = lib.threaded_edition.path();
  cmp.statistics_library = lib.statistics_edition.path();
  cmp.seed = run.seed;
  cmp.clock_seed = clock_seed;
  cmp.threads = c.threads;
  cmp.block = run.block;
  cmp.unused = unused;
  if (!c.json_path.empty()) write_file(c.json_path, velmsim::compare_json(cmp));
  if (!c.html_path.empty()) write_file(c.html_path, velmsim::compare_html(cmp));
  std::fputs(velmsim::compare_text(cmp).c_str(), stdout);
  return std::fflush(stdout) == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{
      "velmsim runs a Monte-Carlo model (a TOML file, see docs/models.md) and reports its "
      "outputs.\nWithout a model it runs the project-cost example."};
  std::string model_path = VELM_DEFAULT_MODEL;
  std::string json_path, csv_path, html_path;
  std::string stats_library = VELM_STATS_LIBRARY, threaded_library = VELM_THREADED_LIBRARY;
  std::string sampler = "threaded";
  bool check = false, one_stream = false, repair = false;
  int threads = 1;
  std::optional<int> iterations, block, classes;
  std::optional<std::int64_t> seed;
  std::optional<double> tolerance;
  std::vector<double> percentiles;
  app.add_option("model", model_path, "the model file (default: the project-cost example)");
  app.add_flag("--check", check, "check the model, print \"ok\" or its errors, and stop");
  app.add_flag("--repair", repair,
               "replace a [correlation] matrix that is not positive semi-definite by the nearest "
               "correlation matrix (with a warning that prints it)");
  app.add_option("--iterations", iterations, "iteration limit, 2 to 32767")->check(CLI::Range(2, 32767));
  app.add_option("--seed", seed, "base seed, 1 to 2147483646, or 0 for a seed from the clock")
      ->check(CLI::Range(std::int64_t{0}, std::int64_t{2147483646}));
  app.add_option("--tolerance", tolerance, "stop when every output's convergence error is below this")
      ->check(CLI::PositiveNumber);
  app.add_option("--block", block, "iterations between convergence checks, 2 to 32767 (default 500)")
      ->check(CLI::Range(2, 32767));
  app.add_option("--classes", classes, "histogram classes (default 12)")->check(CLI::Range(1, 200));
  app.add_option("--percentiles", percentiles, "percentiles to report, such as 10,50,90")
      ->delimiter(',')
      ->check(CLI::Range(0.0, 100.0));
  app.add_option("--threads", threads, "sampling threads, each with its own stream (default 1)")
      ->check(CLI::Range(1, 64));
  app.add_flag("--one-stream", one_stream,
               "draw every iteration from one stream seeded once, in one thread");
  app.add_option("--sampler", sampler, "edition that samples: threaded (default) or stats")
      ->check(CLI::IsMember({"threaded", "stats"}));
  app.add_option("--json", json_path, "write the report as JSON to this file");
  app.add_option("--csv", csv_path, "write every iteration's inputs and outputs to this file");
  app.add_option("--html", html_path, "write the report as a self-contained HTML page");
  app.add_option("--stats-library", stats_library, "the statistics edition to load");
  app.add_option("--threaded-library", threaded_library, "the threaded sampling edition to load");

  CompareArgs compare_args;
  CLI::App* compare = app.add_subcommand(
      "compare", "run two models on the same random numbers and report the difference B - A "
                 "of every output they share");
  compare->add_option("A", compare_args.a, "the first model file")->required();
  compare->add_option("B", compare_args.b, "the second model file")->required();
  compare->add_option("--iterations", compare_args.iterations,
                      "iterations of each model, 2 to 32767 (default: A's [run] iterations)")
      ->check(CLI::Range(2, 32767));
  compare->add_option("--seed", compare_args.seed,
                      "base seed, 1 to 2147483646, or 0 for a seed from the clock (default: A's)")
      ->check(CLI::Range(std::int64_t{0}, std::int64_t{2147483646}));
  compare->add_option("--percentiles", compare_args.percentiles,
                      "percentiles of B - A to report, such as 10,50,90 (default: A's)")
      ->delimiter(',')
      ->check(CLI::Range(0.0, 100.0));
  compare->add_option("--threads", compare_args.threads,
                      "sampling threads, each with its own stream (default 1)")
      ->check(CLI::Range(1, 64));
  compare->add_flag("--repair", compare_args.repair,
                    "replace a [correlation] matrix that is not positive semi-definite by the "
                    "nearest correlation matrix");
  compare->add_option("--json", compare_args.json_path, "write the comparison as JSON to this file");
  compare->add_option("--html", compare_args.html_path,
                      "write the comparison as a self-contained HTML page");
  compare->add_option("--stats-library", compare_args.stats_library, "the statistics edition to load");
  compare->add_option("--threaded-library", compare_args.threaded_library,
                      "the threaded sampling edition to load");
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    fail(std::string(e.what()) + " (try --help)");
  }
  if (*compare) {
    for (const CLI::Option* option : app.get_options())
      if (option->count() > 0 && option->get_name() != "--help")
        fail("the options of compare come after it: velmsim compare A B [options]");
    for (double p : compare_args.percentiles)
      if (!(p > 0 && p < 100)) fail("--percentiles: each must lie strictly between 0 and 100");
    return run_compare(compare_args);
  }
  for (double p : percentiles)
    if (!(p > 0 && p < 100)) fail("--percentiles: each must lie strictly between 0 and 100");
  if (sampler == "stats" && threads > 1)
    fail("--sampler stats samples in one thread (the statistics edition has one stream)");
  if (one_stream && threads > 1) fail("--one-stream draws in one thread; leave out --threads");

  velmsim::Diagnostics diagnostics;
  velmsim::Model model = velmsim::read_model(model_path, diagnostics, repair);
  const bool stats_sampler = sampler == "stats";
  if (stats_sampler) {
    for (const velmsim::Input& in : model.inputs) {
      const velmsim::Dist d = in.draw.dist;
      if (d == velmsim::Dist::normal_pair || d == velmsim::Dist::risk || d == velmsim::Dist::yesno)
        diagnostics.error(in.dist_at, std::string("--sampler stats cannot draw '") +
                                          velmsim::dist_name(d) + "' (input '" + in.name +
                                          "'): only the threaded edition has that sampler");
      else if (in.uses_triangular())
        diagnostics.warning(in.dist_at,
                            "with --sampler stats, the triangular input '" + in.name +
                                "' puts half the probability on each side of the mode");
    }
  }
  std::fputs(diagnostics.render(model_path, model.text).c_str(), stderr);
  if (diagnostics.has_errors()) return 2;
  if (check) {
    std::puts("ok");
    return 0;
  }

  velmsim::RunOptions run;
  run.limit = iterations.value_or(model.run.iterations);
  run.block = block.value_or(model.run.block);
  run.threads = threads;
  run.one_stream = one_stream;
  run.tolerance = tolerance.value_or(model.run.tolerance);
  if (!percentiles.empty()) model.run.percentiles = percentiles;
  const int histogram_classes = classes.value_or(model.run.classes);

  const std::vector<std::string> created = open_outputs({json_path, csv_path, html_path});

  const velm_host::Library statistics_edition(stats_library);
  const std::unique_ptr<velm_host::Library> threaded_edition =
      stats_sampler ? nullptr : std::make_unique<velm_host::Library>(threaded_library);
  const velm_host::Library& sampling_edition = stats_sampler ? statistics_edition : *threaded_edition;
  const velmsim::SamplingExports sampling(sampling_edition);
  const velmsim::StatisticsExports statistics(statistics_edition);
  if (!stats_sampler && (sampling.crnormal == nullptr || sampling.yesno == nullptr))
    fail(threaded_library + " is not the threaded sampling edition (it lacks VELMCRNORMAL)");

  // A clock seed is installed once and read back, so that the report names
  // a seed that repeats the run.
  run.seed = static_cast<std::int32_t>(seed.value_or(model.run.seed));
  const bool clock_seed = run.seed == 0;
  if (clock_seed) {
    sampling.set_seed(&run.seed);
    run.seed = sampling.get_seed();
  }

  const bool progress = isatty(fileno(stderr)) != 0;
  const velmsim::RunResult result = velmsim::run_model(
      model, sampling, statistics, run, [&](const velmsim::Checkpoint& c) {
        if (!progress) return;
        float worst = 0;
        for (float e : c.error) worst = std::isnan(e) || e > worst ? e : worst;
        std::fprintf(stderr, "\rvelmsim: %d of %d iterations, convergence error %.4g   ", c.n,
                     run.limit, static_cast<double>(worst));
      });
  if (progress) std::fprintf(stderr, "\r%70s\r", "");

  if (result.bad_iteration >= 0) {
    report_failure(model_path, model, result, created);
    return 2;
  }

  velmsim::Report report = velmsim::summarise(model, result, statistics, histogram_classes);
  report.version = VELM_VERSION;
  report.model_path = model_path;
  report.model_sha256 = velmsim::sha256_hex(model.text);
  report.model_name = model.name;
  report.currency = model.currency;
  report.base = model.base;
  report.target = model.target;
  report.sampling_library = sampling_edition.path();
  report.sampling_edition = stats_sampler ? "statistics" : "threaded sampling";
  report.statistics_library = statistics_edition.path();
  report.seed = run.seed;
  report.clock_seed = clock_seed;
  report.one_stream = one_stream;
  report.threads = one_stream ? 1 : threads;
  report.limit = run.limit;
  report.block = run.block;
  report.tolerance = run.tolerance;

  if (!json_path.empty()) write_file(json_path, velmsim::json_report(report));
  if (!csv_path.empty()) write_file(csv_path, velmsim::csv_rows(model, result.samples));
  if (!html_path.empty()) write_file(html_path, velmsim::html_report(report));
  std::fputs(velmsim::text_report(report).c_str(), stdout);
  return std::fflush(stdout) == 0 ? 0 : 1;
}
