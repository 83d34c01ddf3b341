#include "host/velmsim/cli/options.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <functional>

#include <CLI/CLI.hpp>

namespace velmsim::cli {

namespace {

// Checks of a number option whose message says what the option takes, such
// as "--iterations must be a whole number from 2 to 32767, not 40000" (CLI11
// puts the option's name in front); the description is what --help shows.
CLI::Validator whole_number(long low, long high) {
  return CLI::Validator(
      [=](const std::string& s) -> std::string {
        char* end = nullptr;
        errno = 0;
        const long v = std::strtol(s.c_str(), &end, 10);
        if (end == s.c_str() || *end != '\0' || errno != 0 || v < low || v > high)
          return "must be a whole number from " + std::to_string(low) + " to " +
                 std::to_string(high) + ", not " + s;
        return {};
      },
      "INT in [" + std::to_string(low) + " - " + std::to_string(high) + "]");
}

// A number for which `ok` holds, else "must be " + what.
CLI::Validator number(bool (*ok)(double), const std::string& what, const std::string& description) {
  return CLI::Validator(
      [=](const std::string& s) -> std::string {
        char* end = nullptr;
        const double v = std::strtod(s.c_str(), &end);
        if (end == s.c_str() || *end != '\0' || !ok(v)) return "must be " + what + ", not " + s;
        return {};
      },
      description);
}

// An option that takes a count of at least 1, or all, which `set` receives
// as 0.
void count_or_all(CLI::App& app, const std::string& name, std::function<void(int)> set,
                  const std::string& description) {
  app.add_option_function<std::string>(
         name, [set](const std::string& v) { set(v == "all" ? 0 : std::stoi(v)); }, description)
      ->check(CLI::Validator(
          [](std::string& v) -> std::string {
            if (v == "all") return "";
            try {
              std::size_t used = 0;
              const int k = std::stoi(v, &used);
              if (used == v.size() && k >= 1) return "";
            } catch (const std::exception&) {
            }
            return "takes a number of at least 1, or all";
          },
          "N|all"));
}

// The options a run and a comparison share, declared on either command;
// `of_a` when compare's defaults are A's [run] values.
void shared_options(CLI::App& app, CommandLine& c, bool of_a) {
  Overrides& o = c.overrides;
  const std::string a_default = of_a ? " (default: A's)" : "";
  app.add_option("--iterations", o.iterations,
                 of_a ? "iterations of each model, 2 to 32767 (default: A's [run] iterations)"
                      : "iteration limit, 2 to 32767")
      ->check(whole_number(2, 32767));
  app.add_option("--seed", o.seed,
                 "base seed, 1 to 2147483646, or 0 for a seed from the clock" + a_default)
      ->check(whole_number(0, 2147483646));
  app.add_option("--percentiles", o.percentiles,
                 std::string(of_a ? "percentiles of B - A to report" : "percentiles to report") +
                     ", such as 10,50,90" + a_default)
      ->delimiter(',')
      ->check(number([](double p) { return p > 0 && p < 100; },
                     "a number strictly between 0 and 100", "FLOAT in (0 - 100)"));
  app.add_option("--threads", o.threads,
                 "threads that draw, each with its own stream, and summarise, each with its own "
                 "copy of the statistics edition (at most 16 copies) (default 1)")
      ->check(whole_number(1, 64));
  app.add_flag("--repair", o.repair,
               "replace a [correlation] matrix that is not positive semi-definite by the nearest "
               "correlation matrix (with a warning that prints it)");
  app.add_option("--json", c.json,
                 of_a ? "write the comparison as JSON to this file" : "write the report as JSON to this file");
  app.add_option("--html", c.html,
                 of_a ? "write the comparison as a self-contained HTML page"
                      : "write the report as a self-contained HTML page");
  app.add_option("--stats-library", c.stats_library, "the statistics edition to load");
  app.add_option("--threaded-library", c.threaded_library, "the threaded sampling edition to load");
}

int refuse(const std::string& text) {
  std::fprintf(stderr, "velmsim: error: %s\n", text.c_str());
  return 2;
}

}  // namespace

int parse_command_line(int argc, char** argv, CommandLine& c) {
  CLI::App app{
      "velmsim runs a Monte-Carlo model (a TOML file, see docs/models.md) and reports its "
      "outputs.\nWithout a model it runs the project-cost example."};
  app.add_option("model", c.model, "the model file (default: the project-cost example)");
  app.add_flag("--check", c.check, "check the model, print \"ok\" or its errors, and stop");
  shared_options(app, c, false);
  Overrides& o = c.overrides;
  app.add_option("--tolerance", o.tolerance,
                 "stop when every output's convergence error is below this")
      ->check(number([](double t) { return t > 0; }, "a number greater than 0", "POSITIVE"));
  count_or_all(app, "--tasks", [&o](int k) { o.listed_tasks = k; },
               "the tasks of a schedule the text report lists, most critical first: a number, or "
               "all (default 25)");
  count_or_all(app, "--tornado", [&o](int k) { o.tornado = k; },
               "the bars of each output's tornado and drivers chart, and the rows the text report "
               "lists of each, strongest first: a number, or all (default 20; the JSON lists all)");
  app.add_option("--precision", o.precision,
                 "also stop only once every listed percentile's 95 % interval is narrower than "
                 "this share of the output's sd")
      ->check(number([](double t) { return t > 0; }, "a number greater than 0", "POSITIVE"));
  app.add_option("--block", o.block,
                 "iterations drawn at a time, 2 to 32767 (default 500); convergence is checked "
                 "after the first block, then whenever the sample has doubled")
      ->check(whole_number(2, 32767));
  app.add_option("--classes", o.classes, "histogram classes (default 12)")
      ->check(whole_number(1, 200));
  app.add_flag("--one-stream", o.one_stream,
               "draw every iteration from one stream seeded once, in one thread");
  std::string sampler = "threaded";
  app.add_option("--sampler", sampler, "edition that samples: threaded (default) or stats")
      ->check(CLI::Validator(
          [](const std::string& s) -> std::string {
            return s == "threaded" || s == "stats" ? "" : "must be threaded or stats, not " + s;
          },
          "{threaded, stats}"));
  app.add_option("--csv", c.csv, "write every iteration's inputs and outputs to this file");

  CLI::App* compare = app.add_subcommand(
      "compare", "run two models on the same random numbers and report the difference B - A "
                 "of every output they share");
  compare->add_option("A", c.a, "the first model file")->required();
  compare->add_option("B", c.b, "the second model file")->required();
  shared_options(*compare, c, true);
  CLI::App* convert = app.add_subcommand(
      "convert", "write a schedule saved by a scheduling program (project XML or a table "
                 "export) as a velmsim model, or its plan as velmsim dates it, to standard output");
  convert->add_option("FILE", c.schedule, "the schedule file")->required();
  convert->add_option("--to", c.to, "toml: the network as a model; csv: the plan, a row per task")
      ->required()
      ->check(CLI::IsMember({"toml", "csv"}));
  convert->add_option("--encoding", c.encoding,
                      "the code page an XER file was saved in, such as windows-1251 (default: "
                      "UTF-8 when the file is, else windows-1252)");
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::ValidationError& e) {
    // "--iterations: must be ..." from the checks above, read as one sentence.
    std::string text = e.what();
    if (const auto colon = text.find(": "); colon != std::string::npos) text.erase(colon, 1);
    return refuse(text + " (try --help)");
  } catch (const CLI::ParseError& e) {
    return refuse(std::string(e.what()) + " (try --help)");
  }
  c.compare = compare->parsed();
  c.convert = convert->parsed();
  if (c.compare)
    for (const CLI::Option* option : app.get_options())
      if (option->count() > 0 && option->get_name() != "--help")
        return refuse("the options of compare come after it: velmsim compare A B [options]");
  o.sampler = sampler == "stats" ? Sampler::stats : Sampler::threaded;
  if (o.sampler == Sampler::stats && o.threads > 1)
    return refuse("--sampler stats samples in one thread (the statistics edition has one stream)");
  if (o.one_stream && o.threads > 1)
    return refuse("--one-stream draws in one thread; leave out --threads");
  return -1;
}

}  // namespace velmsim::cli
