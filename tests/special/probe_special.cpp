// Probe scenarios of the probability functions: one call each, with its
// arguments from the command line, for the messages that are printed (and
// for terminal and fatal ones, end the process).
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>

#include "error/checks.h"
#include "special/incomplete_beta.h"
#include "special/series_tables.h"
#include "special/special.h"
#include "support/probe.h"

namespace {

float arg(const velm_test::ProbeArgs& args, std::size_t i) {
  const std::string& s = args.at(i);
  if (s == "nan") return std::numeric_limits<float>::quiet_NaN();
  return std::strtof(s.c_str(), nullptr);  // subnormal values too
}

// Each scenario prints the result when the call returns, so a test sees
// whether it did.
void show(float v) { std::printf("result %.6e\n", static_cast<double>(v)); }

}  // namespace

VELM_PROBE(csevl_terms) { show(velm::CSEVL(0.5f, velm::kGammaSeries, std::stoi(args.at(0)))); }
VELM_PROBE(csevl_x) { show(velm::CSEVL(arg(args, 0), velm::kGammaSeries, 12)); }
VELM_PROBE(inits) {
  std::printf("result %d\n", velm::INITS(velm::kGammaSeries, std::stoi(args.at(0)), arg(args, 1)));
}
VELM_PROBE(gamma) { show(velm::GAMMA(arg(args, 0))); }
VELM_PROBE(r9lgmc) { show(velm::R9LGMC(arg(args, 0))); }
VELM_PROBE(r9gaml_limits) {
  float xmin = 0.0f;
  float xmax = 0.0f;
  velm::R9GAML_limits(arg(args, 0), arg(args, 1), xmin, xmax);
  show(xmin);
}
VELM_PROBE(erfce) { show(velm::ERFCE(arg(args, 0))); }
VELM_PROBE(erfci) { show(velm::ERFCI(arg(args, 0))); }
VELM_PROBE(anorin) { show(velm::ANORIN(arg(args, 0))); }
VELM_PROBE(chidf) { show(velm::CHIDF(arg(args, 0), arg(args, 1))); }
VELM_PROBE(chiin) { show(velm::CHIIN(arg(args, 0), arg(args, 1))); }
VELM_PROBE(betin) { show(velm::BETIN(arg(args, 0), arg(args, 1), arg(args, 2))); }
VELM_PROBE(tin) { show(velm::TIN(arg(args, 0), arg(args, 1))); }
