// In-process tests of velmsim's layers: models read from text, planned, run
// with the build's editions and analysed, without starting the program; and
// the exports bound by name here, apart from velmsim's own binding, to
// check the engine's draws against.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "host/loader/library.h"
#include "host/velmsim/analysis/convergence.h"
#include "host/velmsim/analysis/report.h"
#include "host/velmsim/engine/exports.h"
#include "host/velmsim/engine/run.h"
#include "host/velmsim/model/model.h"
#include "host/velmsim/plan/plan.h"

namespace velmsim_unit {

using namespace velmsim;

// The build's editions, loaded once: sampling with the threaded edition, or
// with the statistics edition.
const Editions& editions(Sampler sampler = Sampler::threaded);
const Statistics& statistics();
// A pool of `threads` copies of the statistics edition (at most 3).
StatisticsPool pool(int threads = 1);

// A model read from `text` (named `path` in messages), planned and run to
// its end, with its report. Held by pointer: the plan points at the model.
struct Run {
  Model model;
  Plan plan;
  RunResult result;
  std::vector<Checkpoint> trace;
  Report report;
  const Samples& samples() const { return result.samples; }
};
std::unique_ptr<Run> run_text(const std::string& text, const Overrides& overrides = {},
                              const std::string& path = "m.toml");

// Every message the reader and the plan give for the model in `text`, as
// velmsim prints them (FILE:LINE:COL: error: ..., source line, caret).
std::string messages(const std::string& text, const Overrides& overrides = {},
                     const std::string& path = "m.toml");

// The text of a file.
std::string slurp(const std::string& path);

// `text` with the first `from` replaced by `to` (a failure when it has none).
std::string replaced(std::string text, const std::string& from, const std::string& to);

// tests/host/models/kinds.toml with the triangular mode and the constant
// impact of r2 changed: both still take the same uniforms, so every other
// input keeps its draws.
std::string kinds_b();

// An edition's sampler exports, found by name.
struct DirectExports {
  explicit DirectExports(const velm_host::Library& library);
  decltype(&VELMSETSEED) set_seed;
  decltype(&VELMGETSEED) get_seed;
  decltype(&VELMUNIFORM) uniform;
  decltype(&VELMNORMAL) normal;
  decltype(&VELMLOGNORMAL) lognormal;
  decltype(&VELMTRIANG) triang;
  decltype(&VELMBETA) beta;
  decltype(&VELMGEOMETRIC) geometric;
  decltype(&VELMCRNORMAL) crnormal;  // null in the statistics edition
  decltype(&VELMYESNO) yesno;        // likewise
};
const DirectExports& direct(Sampler edition = Sampler::threaded);

}  // namespace velmsim_unit
