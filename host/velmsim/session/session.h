// A model read, planned, run and analysed: what the velmsim command and the
// C API (velmsim_api.h) do with a model, in one place.
#pragma once

#include <atomic>
#include <functional>
#include <optional>
#include <string>

#include "host/velmsim/analysis/compare.h"
#include "host/velmsim/analysis/convergence.h"
#include "host/velmsim/analysis/report.h"
#include "host/velmsim/engine/run.h"
#include "host/velmsim/model/model.h"
#include "host/velmsim/plan/plan.h"

namespace velmsim {

// An output that was not a finite number in a run of `model`: a located
// error with the iteration and its input values.
void add_failure(const Model& model, const Failure& failure, Diagnostics& diagnostics);

class Session {
 public:
  // Reads the model in `path`, or in `text` (reported as `path`), and plans
  // it with `overrides`; its problems are in diagnostics().
  Session(const std::string& path, const std::optional<std::string>& text, const Overrides& overrides);
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // Whether the model may run: no errors so far.
  bool ok() const { return !diagnostics_.has_errors(); }
  const Diagnostics& diagnostics() const { return diagnostics_; }
  // Every message as velmsim prints them: FILE:LINE:COL: error: ..., the
  // source line and a caret; the model's, and a failed run's.
  std::string messages() const { return diagnostics_.render(model_.path, model_.text); }
  std::string run_messages() const { return runtime_.render(model_.path, model_.text); }
  const Diagnostics& run_diagnostics() const { return runtime_; }

  enum class Outcome { done, failed, interrupted };
  // Runs the plan with the editions at these paths (a LoadError when one
  // cannot serve). `progress` is called after each block with the samples
  // so far and the convergence trace. The run stops at the block's end once
  // `interrupt` is set. An output that is not a finite number fails the run
  // with a located error in run_diagnostics().
  using Progress = std::function<void(const Samples&, const Convergence&)>;
  Outcome run(const std::string& stats_library, const std::string& threaded_library,
              const Progress& progress = {}, const std::atomic<bool>* interrupt = nullptr);

  const Model& model() const { return model_; }
  const Plan& plan() const { return plan_; }
  const Samples& samples() const { return result_.samples; }
  // The report of a run that is done.
  const Report& report() const { return *report_; }

 private:
  Diagnostics diagnostics_, runtime_;
  Model model_;
  Plan plan_;
  RunResult result_;
  std::optional<Report> report_;
};

// Two models run on common random numbers, and the difference B - A of every
// output they share: `velmsim compare`.
class CompareSession {
 public:
  CompareSession(const std::string& path_a, const std::optional<std::string>& text_a,
                 const std::string& path_b, const std::optional<std::string>& text_b,
                 const Overrides& overrides);
  CompareSession(const CompareSession&) = delete;
  CompareSession& operator=(const CompareSession&) = delete;

  bool ok() const { return !diagnostics_[0].has_errors() && !diagnostics_[1].has_errors(); }
  // Each model's messages, A's first; each model's, then its run's.
  std::string messages() const;
  std::string run_messages() const;
  const Diagnostics& diagnostics(int m) const { return diagnostics_[m]; }
  const Diagnostics& run_diagnostics(int m) const { return runtime_[m]; }
  const Model& model(int m) const { return models_[m]; }
  const Plan& plan(int m) const { return m == 0 ? plans_.a : plans_.b; }

  // Runs A, then B, each to the full count; `progress` after each block
  // with the model's index (0 for A) and its samples so far.
  using Progress = std::function<void(int, const Samples&)>;
  Session::Outcome run(const std::string& stats_library, const std::string& threaded_library,
                       const Progress& progress = {}, const std::atomic<bool>* interrupt = nullptr);
  const Comparison& comparison() const { return *comparison_; }

 private:
  Diagnostics diagnostics_[2], runtime_[2];
  Model models_[2];
  ComparePlans plans_;
  std::optional<Comparison> comparison_;
};

}  // namespace velmsim
