#include "tests/host/unit/support.h"

#include <fstream>
#include <sstream>

namespace velmsim_unit {

const Editions& editions(Sampler sampler) {
  static const Editions threaded(VELM_STATS_LIBRARY, VELM_THREADED_LIBRARY, Sampler::threaded, 3);
  static const Editions stats(VELM_STATS_LIBRARY, VELM_THREADED_LIBRARY, Sampler::stats);
  return sampler == Sampler::threaded ? threaded : stats;
}

const Statistics& statistics() {
  static const Statistics st(editions().statistics());
  return st;
}

StatisticsPool pool(int threads) { return StatisticsPool(editions().statistics_copies(), threads); }

std::unique_ptr<Run> run_text(const std::string& text, const Overrides& overrides,
                              const std::string& path) {
  auto r = std::make_unique<Run>();
  Diagnostics diagnostics;
  r->model = read_model_text(path, text, diagnostics);
  r->plan = make_plan(r->model, overrides, diagnostics);
  EXPECT_FALSE(diagnostics.has_errors()) << diagnostics.render(path, text);
  if (diagnostics.has_errors()) return r;
  const StatisticsPool threads = pool(r->plan.threads);
  Convergence convergence(r->plan, threads);
  r->result = run(r->plan, editions(overrides.sampler).sampling(),
                  [&](const Samples& s, int block) { return convergence.check(s, block); });
  r->trace = convergence.trace();
  if (r->result.failure.iteration < 0)
    r->report = analyse(r->plan, r->result, r->trace, threads,
                        Libraries::of(editions(overrides.sampler)));
  return r;
}

std::string messages(const std::string& text, const Overrides& overrides, const std::string& path) {
  Diagnostics diagnostics;
  const Model model = read_model_text(path, text, diagnostics);
  make_plan(model, overrides, diagnostics);
  return diagnostics.render(path, text);
}

std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string replaced(std::string text, const std::string& from, const std::string& to) {
  const auto at = text.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  if (at != std::string::npos) text.replace(at, from.size(), to);
  return text;
}

std::string kinds_b() {
  const std::string kinds = slurp(std::string(VELM_MODELS_DIR) + "/kinds.toml");
  return replaced(replaced(kinds, "mode = 1,", "mode = 2,"), "impact = 7.5", "impact = 9");
}

DirectExports::DirectExports(const velm_host::Library& l)
    : set_seed(l.get<decltype(set_seed)>("VELMSETSEED")),
      get_seed(l.get<decltype(get_seed)>("VELMGETSEED")),
      uniform(l.get<decltype(uniform)>("VELMUNIFORM")),
      normal(l.get<decltype(normal)>("VELMNORMAL")),
      lognormal(l.get<decltype(lognormal)>("VELMLOGNORMAL")),
      triang(l.get<decltype(triang)>("VELMTRIANG")),
      beta(l.get<decltype(beta)>("VELMBETA")),
      geometric(l.get<decltype(geometric)>("VELMGEOMETRIC")),
      crnormal(l.find<decltype(crnormal)>("VELMCRNORMAL")),
      yesno(l.find<decltype(yesno)>("VELMYESNO")) {}

const DirectExports& direct(Sampler edition) {
  static const velm_host::Library threaded_library(VELM_THREADED_LIBRARY);
  static const velm_host::Library stats_library(VELM_STATS_LIBRARY);
  static const DirectExports threaded(threaded_library), stats(stats_library);
  return edition == Sampler::threaded ? threaded : stats;
}

}  // namespace velmsim_unit
