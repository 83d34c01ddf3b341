#include "host/velmsim/analysis/report.h"

#include <cstdio>
#include <utility>

#include <openssl/evp.h>

namespace velmsim {

const char* velmsim_version() { return VELM_VERSION; }

std::string sha256_hex(const std::string& data) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  EVP_Digest(data.data(), data.size(), digest, &length, EVP_sha256(), nullptr);
  std::string hex;
  for (unsigned int i = 0; i < length; ++i) {
    char two[3];
    std::snprintf(two, sizeof two, "%02x", digest[i]);
    hex += two;
  }
  return hex;
}

Libraries Libraries::of(const Editions& e) {
  return {e.sampling_path(), e.sampling_edition(), e.statistics_path()};
}

namespace {

CorrelationSummary correlation_summary(const Plan& plan, const Samples& s,
                                       const StatisticsPool& pool) {
  const CorrelationPlan& rc = plan.correlation;
  const Model& model = *plan.model;
  CorrelationSummary c;
  c.target = rc.target;
  c.given = rc.given;
  c.repaired = rc.repaired;
  c.largest_change = rc.largest_change;
  const std::size_t k = rc.variables.size();
  const auto n = static_cast<std::size_t>(s.n);
  c.achieved.assign(k * k, 1.0f);
  std::vector<std::pair<std::size_t, std::size_t>> pairs;
  std::vector<const float*> data;  // a task's durations as drawn
  for (std::size_t i = 0; i < k; ++i) {
    const std::size_t v = rc.variables[i];
    const auto task = model.variable_task(v);
    c.names.push_back(model.variable_name(v));
    c.tasks = c.tasks || task.has_value();
    data.push_back((task ? s.network.drawn[*task] : s.columns[v]).data());
    for (std::size_t j = 0; j < i; ++j) pairs.emplace_back(i, j);
  }
  pool.for_each(pairs.size(), [&](std::size_t p, const Statistics& st) {
    const auto [i, j] = pairs[p];
    c.achieved[i * k + j] = c.achieved[j * k + i] = st.spearman(data[i], data[j], n);
  });
  return c;
}

}  // namespace

Report analyse(const Plan& plan, const RunResult& run, const std::vector<Checkpoint>& trace,
               const StatisticsPool& pool, const Libraries& libraries) {
  const Model& model = *plan.model;
  Report r;
  r.version = velmsim_version();
  r.model_path = model.path;
  r.model_sha256 = sha256_hex(model.text);
  r.model_name = model.name;
  r.currency = model.currency;
  r.base = model.base;
  r.target = model.target;
  r.constants = model.constants;
  r.libraries = libraries;
  r.seed = plan.seed;
  r.clock_seed = plan.clock_seed;
  r.one_stream = plan.one_stream;
  r.threads = plan.threads;
  r.iterations = run.samples.n;
  r.limit = plan.iterations;
  r.block = plan.block;
  r.tolerance = plan.tolerance;
  r.precision = plan.precision;
  r.listed_tasks = plan.listed_tasks;
  r.tornado = plan.tornado;
  r.converged = run.converged;
  r.trace = trace;
  r.columns.assign(model.columns.begin(), model.columns.end());
  for (const DrawNote& note : model.draw_notes) {
    DrawLine& line = r.draws.emplace_back(DrawLine{note, 0});
    if (note.redraw_slot < 0) continue;
    const auto& counts = run.samples.redraws[static_cast<std::size_t>(note.redraw_slot)];
    for (int i = 0; i < run.samples.n; ++i) line.redraws += counts[static_cast<std::size_t>(i)];
  }
  if (!plan.correlation.empty()) r.correlation = correlation_summary(plan, run.samples, pool);
  if (plan.network) r.network = summarise_network(pool, model, *plan.network, run.samples);
  const std::vector<std::size_t> reported = model.reported_outputs();
  r.outputs.resize(reported.size());
  pool.for_each(reported.size(), [&](std::size_t i, const Statistics& st) {
    r.outputs[i] =
        describe_output(st, model, run.samples, reported[i], plan.percentiles, plan.classes);
  });
  for (std::size_t i = 0; i < reported.size(); ++i)
    add_correlations(pool.first(), model, run.samples, reported[i],
                     rank_correlations(pool, run.samples, reported[i]), r.outputs[i]);
  return r;
}

}  // namespace velmsim
