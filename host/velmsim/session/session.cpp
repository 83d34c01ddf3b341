#include "host/velmsim/session/session.h"

#include "host/velmsim/engine/exports.h"
#include "host/velmsim/render/format.h"

namespace velmsim {

Session::Session(const std::string& path, const std::optional<std::string>& text,
                 const Overrides& overrides)
    : model_(text ? read_model_text(path, *text, diagnostics_) : read_model(path, diagnostics_)),
      plan_(make_plan(model_, overrides, diagnostics_)) {}

void add_failure(const Model& model, const Failure& failure, Diagnostics& diagnostics) {
  const Output& out = model.outputs[static_cast<std::size_t>(failure.output)];
  std::string values;
  for (std::size_t c = 0; c < model.columns.size(); ++c)
    values += (c == 0 ? "" : ", ") + model.columns[c].name + " = " +
              format("%.9g", static_cast<double>(failure.row[c]));
  diagnostics.error(out.formula_at,
                    "the output '" + out.name + "' is not a finite single-precision number in "
                    "iteration " + std::to_string(failure.iteration + 1) + ", where " + values +
                        (failure.why.empty() ? "" : ": " + failure.why));
}

Session::Outcome Session::run(const std::string& stats_library,
                              const std::string& threaded_library, const Progress& progress,
                              const std::atomic<bool>* interrupt) {
  const Editions editions(stats_library, threaded_library, plan_.sampler, plan_.threads);
  const StatisticsPool pool(editions.statistics_copies(), plan_.threads);
  Convergence convergence(plan_, pool);
  bool interrupted = false;
  result_ = velmsim::run(plan_, editions.sampling(), [&](const Samples& s, int block) {
    const bool done = convergence.check(s, block);
    if (progress) progress(s, convergence);
    interrupted = interrupt != nullptr && interrupt->load() && !done;
    return done || interrupted;
  });
  if (result_.failure.iteration >= 0) {
    add_failure(model_, result_.failure, runtime_);
    return Outcome::failed;
  }
  if (interrupted) return Outcome::interrupted;
  report_ = analyse(plan_, result_, convergence.trace(), pool, Libraries::of(editions));
  return Outcome::done;
}

CompareSession::CompareSession(const std::string& path_a, const std::optional<std::string>& text_a,
                               const std::string& path_b, const std::optional<std::string>& text_b,
                               const Overrides& overrides) {
  const std::string* paths[2] = {&path_a, &path_b};
  const std::optional<std::string>* texts[2] = {&text_a, &text_b};
  for (int m = 0; m < 2; ++m)
    models_[m] = *texts[m] ? read_model_text(*paths[m], **texts[m], diagnostics_[m])
                           : read_model(*paths[m], diagnostics_[m]);
  plans_ = make_compare_plans(models_[0], models_[1], overrides, diagnostics_[0], diagnostics_[1]);
}

std::string CompareSession::messages() const {
  return diagnostics_[0].render(models_[0].path, models_[0].text) +
         diagnostics_[1].render(models_[1].path, models_[1].text);
}

std::string CompareSession::run_messages() const {
  return runtime_[0].render(models_[0].path, models_[0].text) +
         runtime_[1].render(models_[1].path, models_[1].text);
}

Session::Outcome CompareSession::run(const std::string& stats_library,
                                     const std::string& threaded_library, const Progress& progress,
                                     const std::atomic<bool>* interrupt) {
  const Editions editions(stats_library, threaded_library, Sampler::threaded, plans_.a.threads);
  const StatisticsPool pool(editions.statistics_copies(), plans_.a.threads);
  RunResult results[2];
  for (int m = 0; m < 2; ++m) {
    bool interrupted = false;
    results[m] = velmsim::run(plan(m), editions.sampling(), [&](const Samples& s, int) {
      if (progress) progress(m, s);
      interrupted = interrupt != nullptr && interrupt->load();
      return interrupted;
    });
    if (results[m].failure.iteration >= 0) {
      add_failure(models_[m], results[m].failure, runtime_[m]);
      return Session::Outcome::failed;
    }
    if (interrupted) return Session::Outcome::interrupted;
  }
  comparison_ = compare_runs(plans_, results[0], results[1], pool, Libraries::of(editions));
  return Session::Outcome::done;
}

}  // namespace velmsim
