// libFuzzer target of velmsim's model path: the input bytes are a model
// file, which is read and planned as velmsim reads and plans one, for both
// sampling editions and with the repair of a correlation matrix; the
// diagnostics are rendered with their source lines. Nothing is run, so no
// library is loaded.
//
//   build-fuzz/tests/fuzz/fuzz_velmsim_model -max_total_time=600 CORPUS_COPY tests/fuzz/corpus/velmsim_model
#include <cstddef>
#include <cstdint>
#include <string>

#include "host/velmsim/model/model.h"
#include "host/velmsim/plan/plan.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  for (const velmsim::Sampler sampler : {velmsim::Sampler::threaded, velmsim::Sampler::stats}) {
    velmsim::Diagnostics diagnostics;
    const velmsim::Model model = velmsim::read_model_text("fuzz.toml", text, diagnostics);
    velmsim::Overrides overrides;
    overrides.sampler = sampler;
    overrides.repair = sampler == velmsim::Sampler::stats;
    const velmsim::Plan plan = velmsim::make_plan(model, overrides, diagnostics);
    const std::string shown = diagnostics.render("fuzz.toml", text);
    if (shown.size() > 1u << 30) return 1;  // keeps the rendering from being optimised away
  }
  return 0;
}
