#include "host/velmsim/plan/plan.h"

#include <algorithm>
#include <ctime>

namespace velmsim {

const std::vector<double> Defaults::percentiles = {10, 50, 80, 90};

std::int32_t clock_seed() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  if (localtime_r(&now, &local) == nullptr) return 123457;
  const std::int32_t seed = local.tm_hour * 10000 + local.tm_min * 100 + local.tm_sec + 1;
  return seed <= 1 ? 123457 : seed;
}

namespace {

// The statistics edition lacks the samplers of some kinds and distributions;
// others it draws differently, which is worth a warning.
void check_sampler(const Model& model, Diagnostics& diag) {
  for (const Input& in : model.inputs) {
    const char* lacking = nullptr;
    if (in.kind != InputKind::plain && !(kind(in.kind).editions & kStatsEdition))
      lacking = kind(in.kind).name;
    for (Dist d : in.distributions())
      if (lacking == nullptr && !(distribution(d).editions & kStatsEdition))
        lacking = distribution(d).name;
    if (lacking != nullptr) {
      diag.error(in.dist_at, std::string("--sampler stats cannot draw '") + lacking + "' (input '" +
                                 in.name + "'): only the threaded edition has that sampler");
      continue;
    }
    for (Dist d : in.distributions())
      if (const char* caveat = distribution(d).stats_caveat)
        diag.warning(in.dist_at, "with --sampler stats, the " + std::string(distribution(d).name) +
                                     " input '" + in.name + "' " + caveat);
  }
}

// A task network's logic (a cycle is an error naming its tasks in order),
// and what its draws need: VELMYESNO for a task that may not exist and for
// every risk (the threaded edition's), and their share of an iteration's
// uniforms.
void plan_network(const Model& model, Plan& plan, Diagnostics& diag) {
  const TaskNetwork& net = model.network;
  if (net.empty()) return;
  std::vector<std::size_t> cycle;
  plan.network = Network::of_tasks(net.tasks, cycle);
  // Told from the task written first.
  if (!plan.network) diag.error(net.tasks[cycle.front()].at, cycle_message(net.tasks, cycle));
  if (plan.sampler == Sampler::stats) {
    for (const Task& t : net.tasks)
      if (t.p)
        diag.error(t.at, "--sampler stats cannot draw whether task '" + t.name +
                             "' exists (its 'p'): only the threaded edition has VELMYESNO");
    for (const TaskRisk& r : net.risks)
      diag.error(r.at, "--sampler stats cannot draw whether risk '" + r.name +
                           "' occurs: only the threaded edition has VELMYESNO");
  }
}

// The uniforms a task network's draws take per iteration, on average.
double network_uniforms(const TaskNetwork& net) {
  const double yesno = kind(InputKind::risk).mean_uniforms;
  auto amount = [](const std::optional<Amount>& a) {
    return a && a->draw ? mean_uniforms(*a->draw) : 0.0;
  };
  double total = 0;
  for (const Task& t : net.tasks) total += (t.p ? yesno : 0) + amount(t.duration);
  for (const TaskRisk& r : net.risks) total += yesno + amount(r.delay) + amount(r.factor) + amount(r.cost);
  return total;
}

// Counts that reach the statistics exports: every column is ranked against
// every output, every percentile asked for in one call.
void check_counts(const Model& model, const Plan& plan, const Overrides& o, Diagnostics& diag) {
  if (model.columns.size() > kMaxStatisticsCount) {
    const Input& in = model.inputs[model.columns[kMaxStatisticsCount].input];
    diag.error(in.at, "the model has " + std::to_string(model.columns.size()) +
                          " input columns; the statistics take at most " +
                          std::to_string(kMaxStatisticsCount) +
                          " (each output's tornado ranks every column), and this input is beyond");
  }
  if (model.network.tasks.size() > kMaxStatisticsCount)
    diag.error(model.network.tasks[kMaxStatisticsCount].at,
               "the model has " + std::to_string(model.network.tasks.size()) +
                   " tasks; at most " + std::to_string(kMaxStatisticsCount) +
                   " (each task's duration is ranked against the finish), and this task is beyond");
  const std::size_t listed = plan.percentiles.size() + 2;  // with the 5th and 95th
  if (listed + kExtraPercentiles > kMaxStatisticsCount) {
    const bool given = !o.percentiles.empty();
    const Position at = given || model.run.percentiles_at.empty() ? Position{}
                                                                    : model.run.percentiles_at[0];
    diag.error(at, std::string(given ? "--percentiles" : "percentiles") + " lists " +
                       std::to_string(plan.percentiles.size()) + "; the statistics take at most " +
                       std::to_string(kMaxStatisticsCount - kExtraPercentiles - 2));
  }
  for (std::size_t k = 0; k < plan.percentiles.size(); ++k) {
    const std::string problem = percentile_problem(plan.percentiles[k]);
    if (problem.empty()) continue;
    if (!o.percentiles.empty())
      diag.error({}, "--percentiles: " + problem);
    else
      diag.error(model.run.percentiles_at[k], problem);
  }
}

// Each iteration draws from its own stretch of 65,536 uniforms (32,768
// when rank correlation takes the second half for its keys): inputs that
// take more on average run into the next iteration's draws.
void check_uniforms(const Model& model, const Plan& plan, Diagnostics& diag) {
  if (plan.one_stream) return;
  const double stretch = static_cast<double>(plan.correlation.empty() ? 65536 : 32768);
  double total = network_uniforms(model.network);
  if (total > 0.97 * stretch && !model.network.empty())
    diag.error(model.network.tasks.front().at,
               "the tasks and risks take about " + std::to_string(static_cast<long>(total)) +
                   " uniforms per iteration on average: more than an iteration's stretch of " +
                   std::to_string(static_cast<long>(stretch)) + "; use --one-stream");
  for (const Input& in : model.inputs) {
    if (in.kind != InputKind::plain) total += kind(in.kind).mean_uniforms;
    if (in.kind == InputKind::plain) total += mean_uniforms(in.draw);
    if (in.kind == InputKind::risk && in.risk.impact) total += mean_uniforms(*in.risk.impact);
    // A margin for the spread of the count around its mean, which is a few
    // hundred uniforms when the total is tens of thousands.
    if (total > 0.97 * stretch) {
      diag.error(in.at, "the inputs up to '" + in.name + "' take about " +
                            std::to_string(static_cast<long>(total)) +
                            " uniforms per iteration on average: with their spread an iteration "
                            "would run past its stretch of " +
                            std::to_string(static_cast<long>(stretch)) + " uniforms" +
                            (plan.correlation.empty() ? "" : " (the half that rank correlation "
                                                             "leaves it)") +
                            " into the next one's draws; use fewer inputs, or --one-stream");
      return;
    }
  }
}

// What the sampling edition would refuse or mangle in a draw that the
// conditions of its distribution accept.
void check_editions(const Model& model, Sampler sampler, Diagnostics& diag) {
  const unsigned edition = sampler == Sampler::stats ? kStatsEdition : kThreadedEdition;
  for_each_draw(model, [&](const Draw& d, const std::string& who, Position fallback) {
    if (distribution(d.dist).edition_check == nullptr) return;
    auto at = [&](const std::string& key) {
      const auto it = d.at.find(key);
      return it == d.at.end() ? fallback : it->second;
    };
    distribution(d.dist).edition_check(
        d, edition, who,
        [&](const std::string& key, const std::string& m) { diag.error(at(key), m); },
        [&](const std::string& key, const std::string& m) { diag.warning(at(key), m); });
  });
}

}  // namespace

std::string percentile_problem(double percent) {
  const float proportion = static_cast<float>(percent / 100.0);
  if (proportion <= 0.0f)
    return "the percentile " + exact_text(percent) +
           " is 0 in single precision, in which the statistics take it";
  if (proportion >= 1.0f)
    return "the percentile " + exact_text(percent) +
           " is 100 in single precision, in which the statistics take it (at most 99.999998)";
  return "";
}

Plan make_plan(const Model& model, const Overrides& o, Diagnostics& diag) {
  const RunSection& run = model.run;
  Plan plan;
  plan.model = &model;
  plan.iterations = o.iterations.value_or(run.iterations.value_or(Defaults::iterations));
  plan.block = o.block.value_or(run.block.value_or(Defaults::block));
  plan.classes = o.classes.value_or(run.classes.value_or(Defaults::classes));
  plan.tornado = o.tornado.value_or(run.tornado.value_or(Defaults::tornado));
  plan.tolerance = o.tolerance.value_or(run.tolerance.value_or(Defaults::tolerance));
  plan.precision = o.precision ? o.precision : run.precision;
  plan.percentiles = !o.percentiles.empty()   ? o.percentiles
                     : !run.percentiles.empty() ? run.percentiles
                                                : Defaults::percentiles;
  plan.seed = o.seed.value_or(run.seed.value_or(Defaults::seed));
  if (plan.seed == 0) {
    plan.seed = clock_seed();
    plan.clock_seed = true;
  }
  plan.one_stream = o.one_stream;
  plan.listed_tasks = o.listed_tasks;
  plan.threads = o.one_stream ? 1 : std::max(1, o.threads);
  plan.sampler = o.sampler;
  plan.formulas = compile_formulas(model, diag);
  plan.correlation = plan_correlation(model, o.repair, diag);
  if (o.sampler == Sampler::stats) check_sampler(model, diag);
  check_editions(model, o.sampler, diag);
  plan_network(model, plan, diag);
  check_counts(model, plan, o, diag);
  check_uniforms(model, plan, diag);
  return plan;
}

ComparePlans make_compare_plans(const Model& a, const Model& b, const Overrides& o,
                                Diagnostics& diag_a, Diagnostics& diag_b) {
  ComparePlans plans;
  plans.a = make_plan(a, o, diag_a);
  // Both run to the full count: a tolerance of 0 is never reached.
  plans.a.tolerance = 0;
  plans.b = make_plan(b, o, diag_b);
  Plan& pb = plans.b;
  const Plan& pa = plans.a;
  pb.iterations = pa.iterations;
  pb.block = pa.block;
  pb.classes = pa.classes;
  pb.tolerance = pa.tolerance;
  pb.precision = pa.precision;
  pb.percentiles = pa.percentiles;
  pb.seed = pa.seed;
  pb.clock_seed = pa.clock_seed;

  // B's [run] values that its file gives and that differ from A's, unless the
  // command line sets them for both.
  const RunSection &ra = a.run, &rb = b.run;
  std::vector<std::string>& lines = plans.unused;
  auto note = [&](const char* key, bool given, const auto& in_b, const auto& in_a,
                  const char* verb) {
    if (given || !in_b || *in_b == in_a) return;
    lines.push_back(std::string("B's [run] ") + key + " = " + std::to_string(*in_b) +
                    " is not used: A's " + std::to_string(in_a) + " " + verb);
  };
  note("iterations", o.iterations.has_value(), rb.iterations,
       ra.iterations.value_or(Defaults::iterations), "apply to both");
  note("seed", o.seed.has_value(), rb.seed, ra.seed.value_or(Defaults::seed), "applies to both");
  note("block", o.block.has_value(), rb.block, ra.block.value_or(Defaults::block), "applies to both");
  const std::vector<double>& percentiles_a = ra.percentiles.empty() ? Defaults::percentiles : ra.percentiles;
  if (o.percentiles.empty() && !rb.percentiles.empty() && rb.percentiles != percentiles_a)
    lines.push_back("B's [run] percentiles are not used: A's apply to both");
  note("classes", o.classes.has_value(), rb.classes, ra.classes.value_or(Defaults::classes), "apply");
  return plans;
}

}  // namespace velmsim
