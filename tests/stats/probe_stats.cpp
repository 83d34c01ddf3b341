// Probe scenarios of the sort, quantile and frequency routines: calls that
// end the process with a TERMINAL error, and the all-missing warning.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include "export/velmprob.h"
#include "stats/frequency.h"
#include "stats/quantile.h"
#include "stats/sort.h"
#include "stats/workspace.h"
#include "support/probe.h"

namespace {

const float kNaN = std::numeric_limits<float>::quiet_NaN();

// Marks any return from a call that should have ended the process, and
// shows that the caller's arrays were left alone.
void report_return(const std::vector<float>& values) {
  std::printf("returned");
  for (float v : values) std::printf(" %g", static_cast<double>(v));
  std::printf("\n");
}

}  // namespace

// VELMSORT with the count given (0 or negative): the arrays stay untouched.
VELM_PROBE(velmsort_count) {
  const auto n = static_cast<int16_t>(std::stoi(args.at(0)));
  const float ra[2] = {2.0f, 1.0f};
  std::vector<float> rb = {7.0f, 7.0f};
  int16_t iperm[2] = {9, 9};
  VELMSORT(&n, ra, rb.data(), iperm);
  report_return({rb[0], rb[1], static_cast<float>(iperm[0]), static_cast<float>(iperm[1])});
}

VELM_PROBE(svrgn_count) {
  const auto n = static_cast<std::int32_t>(std::stoi(args.at(0)));
  const float ra[1] = {1.0f};
  std::vector<float> rb = {7.0f};
  velm::SVRGN(n, ra, rb.data());
  report_return(rb);
}

VELM_PROBE(velmsort_no_storage) {
  const int16_t n = 5;
  const float ra[5] = {5, 4, 3, 2, 1};
  std::vector<float> rb(5, 7.0f);
  int16_t iperm[5] = {};
  velm::refuse_work_request(0);
  VELMSORT(&n, ra, rb.data(), iperm);
  report_return(rb);
}

// VELMQTIL with NOBS, NQPROP and the proportions given on the command line;
// the data are 3, 1, 2 (not in order) or, with "sorted", 1, 2, 3.
VELM_PROBE(velmqtil) {
  const auto nobs = static_cast<int16_t>(std::stoi(args.at(0)));
  const auto nqprop = static_cast<int16_t>(std::stoi(args.at(1)));
  std::vector<float> qprop;
  for (std::size_t i = 2; i < args.size() && args[i] != "sorted"; ++i) {
    qprop.push_back(args[i] == "nan" ? kNaN : std::stof(args[i]));
  }
  qprop.resize(4, 0.5f);
  const bool sorted = args.back() == "sorted";
  const float x[3] = {sorted ? 1.0f : 3.0f, sorted ? 2.0f : 1.0f, sorted ? 3.0f : 2.0f};
  std::vector<float> q(4, 7.0f);
  VELMQTIL(&nobs, x, &nqprop, qprop.data(), q.data());
  report_return(q);
}

VELM_PROBE(velmqtil_all_missing) {
  const int16_t nobs = 3;
  const int16_t nqprop = 2;
  const float x[3] = {kNaN, kNaN, kNaN};
  const float qprop[2] = {0.25f, 0.5f};
  std::vector<float> q(2, 7.0f);
  VELMQTIL(&nobs, x, &nqprop, qprop, q.data());
  report_return(q);
}

// The workspace of EQTIL (the third request, after the export's two) or one
// of the export's own arrays is refused.
VELM_PROBE(velmqtil_no_storage) {
  const int granted = std::stoi(args.at(0));
  const int16_t nobs = 5;
  const int16_t nqprop = 1;
  const float x[5] = {5, 4, 3, 2, 1};
  const float qprop[1] = {0.5f};
  std::vector<float> q(1, 7.0f);
  velm::refuse_work_request(granted);
  VELMQTIL(&nobs, x, &nqprop, qprop, q.data());
  report_return(q);
}

VELM_PROBE(u1mvv_count) {
  std::vector<float> x = {1.0f};
  std::int32_t missing = 7;
  velm::U1MVV(std::stoi(args.at(0)), x.data(), missing);
  report_return({static_cast<float>(missing)});
}

// OWFRQ with NOBS, K, IOPT, XLO, XHI from the command line, then the class
// boundaries or marks for DIV; the data are 1, 2, 3, or 1, NaN, 3 when the
// last argument is "nan".
VELM_PROBE(owfrq) {
  const std::int32_t nobs = std::stoi(args.at(0));
  const std::int32_t k = std::stoi(args.at(1));
  const std::int32_t iopt = std::stoi(args.at(2));
  const float xlo = std::stof(args.at(3));
  const float xhi = std::stof(args.at(4));
  std::vector<float> div;
  bool with_nan = false;
  for (std::size_t i = 5; i < args.size(); ++i) {
    if (args[i] == "nan") {
      with_nan = true;
    } else {
      div.push_back(std::stof(args[i]));
    }
  }
  div.resize(8, 0.0f);
  const float x[3] = {1.0f, with_nan ? kNaN : 2.0f, 3.0f};
  std::vector<float> tally(8, 7.0f);
  velm::OWFRQ(nobs, x, k, iopt, xlo, xhi, 0.5f, div.data(), tally.data());
  report_return({tally[0], tally[1]});
}

VELM_PROBE(velmhist) {
  const auto k = static_cast<int16_t>(std::stoi(args.at(0)));
  const float xlo = std::stof(args.at(1));
  const float xhi = std::stof(args.at(2));
  const auto nobs = static_cast<int16_t>(args.size() > 3 ? std::stoi(args.at(3)) : 3);
  const float x[3] = {1.0f, 2.0f, 3.0f};
  std::vector<float> div(8, 7.0f);
  std::vector<float> tally(8, 7.0f);
  VELMHIST(&nobs, x, &xlo, &xhi, &k, div.data(), tally.data());
  report_return({div[0], tally[0]});
}
