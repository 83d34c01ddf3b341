// Probe scenarios of the univariate statistics, the rank correlation and the
// convergence error: calls that print messages or end the process. A call
// that returns prints "returned" and the values the scenario asks for.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include "export/velmprob.h"
#include "stats/univariate.h"
#include "stats/workspace.h"
#include "support/probe.h"

namespace {

const float kNaN = std::numeric_limits<float>::quiet_NaN();
const float kInf = std::numeric_limits<float>::infinity();

void print_rows(const float* stat, std::int32_t nvar, std::int32_t ld, std::initializer_list<int> rows) {
  std::printf("returned");
  for (std::int32_t j = 0; j < nvar; ++j) {
    for (int r : rows) {
      const float v = stat[(r - 1) + j * ld];
      if (std::isnan(v)) {
        std::printf(" nan");
      } else {
        std::printf(" %g", static_cast<double>(v));
      }
    }
  }
  std::printf("\n");
}

// Runs UVSTA with IDO 0 on column-major data; the optional columns of
// frequencies and weights are part of x.
void uvsta0(std::int32_t nrow, std::int32_t nvar, const std::vector<float>& x, std::int32_t ldx,
            std::int32_t ifrq, std::int32_t iwt, std::int32_t missopt, std::vector<float>& stat,
            std::int32_t& nrowmiss) {
  stat.assign(15 * static_cast<std::size_t>(nvar), 777.0f);
  velm::UVSTA(0, nrow, nvar, x.data(), ldx, ifrq, iwt, missopt, 95.0f, 95.0f, 0, stat.data(), 15,
              nrowmiss);
}

}  // namespace

// VELMSTAT on a 3 x 1 matrix with the counts given.
VELM_PROBE(velmstat_counts) {
  const auto nrow = static_cast<int16_t>(std::stoi(args.at(0)));
  const auto nvar = static_cast<int16_t>(std::stoi(args.at(1)));
  const auto ldx = static_cast<int16_t>(std::stoi(args.at(2)));
  const float x[3] = {1, 2, 3};
  float stat[15] = {};
  VELMSTAT(&nrow, &nvar, x, &ldx, stat);
  print_rows(stat, 1, 15, {1});
}

// VELMSTAT on the values given.
VELM_PROBE(velmstat_values) {
  std::vector<float> x;
  for (const auto& a : args) x.push_back(std::stof(a));
  const auto n = static_cast<int16_t>(x.size());
  const int16_t one = 1;
  float stat[15];
  for (float& s : stat) s = 777.0f;
  VELMSTAT(&n, &one, x.data(), &n, stat);
  print_rows(stat, 1, 15, {1, 2, 3, 4, 5, 8, 9, 10, 11, 12, 13, 14, 15});
}

// UVSTA with the argument given as "name=value" pairs over 1, 2, 3.
VELM_PROBE(uvsta_args) {
  std::int32_t ido = 0, nrow = 3, nvar = 1, ldx = 3, ifrq = 0, iwt = 0, iprint = 0, ldstat = 15;
  float conprm = 95.0f, conprv = 95.0f;
  for (const auto& a : args) {
    const auto eq = a.find('=');
    const std::string key = a.substr(0, eq);
    const std::string value = a.substr(eq + 1);
    if (key == "ido") ido = std::stoi(value);
    if (key == "nrow") nrow = std::stoi(value);
    if (key == "nvar") nvar = std::stoi(value);
    if (key == "ldx") ldx = std::stoi(value);
    if (key == "ifrq") ifrq = std::stoi(value);
    if (key == "iwt") iwt = std::stoi(value);
    if (key == "iprint") iprint = std::stoi(value);
    if (key == "ldstat") ldstat = std::stoi(value);
    if (key == "conprm") conprm = value == "nan" ? kNaN : std::stof(value);
    if (key == "conprv") conprv = value == "nan" ? kNaN : std::stof(value);
  }
  const float x[9] = {1, 2, 3, 1, 1, 1, 1, 1, 1};
  std::vector<float> stat(60, 0.0f);
  std::int32_t nrowmiss = 0;
  velm::UVSTA(ido, nrow, nvar, x, ldx, ifrq, iwt, 0, conprm, conprv, iprint, stat.data(), ldstat,
              nrowmiss);
  print_rows(stat.data(), 1, 15, {1});
}

VELM_PROBE(uvsta_no_storage) {
  const float x[3] = {1, 2, 3};
  float stat[15] = {};
  std::int32_t nrowmiss = 0;
  velm::refuse_work_request(0);
  velm::UVSTA(0, 3, 1, x, 3, 0, 0, 0, 95.0f, 95.0f, 0, stat, 15, nrowmiss);
  print_rows(stat, 1, 15, {1});
}

// A negative frequency or weight in row 2; "seq" runs it as the second call
// of a sequence.
VELM_PROBE(uvsta_negative) {
  const bool weight = args.at(0) == "weight";
  const bool sequence = args.size() > 1 && args.at(1) == "seq";
  // column 1 data, column 2 frequencies or weights
  std::vector<float> x = {1, 2, 3, 1, 1, 1};
  x[4] = -2.5f;
  std::vector<float> stat(15, 0.0f);
  std::int32_t nrowmiss = 0;
  const std::int32_t ifrq = weight ? 0 : 2;
  const std::int32_t iwt = weight ? 2 : 0;
  if (sequence) {
    const std::vector<float> first = {5, 6, 1, 1};
    velm::UVSTA(1, 2, 1, first.data(), 2, ifrq, iwt, 0, 95.0f, 95.0f, 0, stat.data(), 15, nrowmiss);
    velm::UVSTA(2, 3, 1, x.data(), 3, ifrq, iwt, 0, 95.0f, 95.0f, 0, stat.data(), 15, nrowmiss);
  } else {
    velm::UVSTA(0, 3, 1, x.data(), 3, ifrq, iwt, 0, 95.0f, 95.0f, 0, stat.data(), 15, nrowmiss);
  }
  print_rows(stat.data(), 1, 15, {1, 10});
}

// Degenerate cases, each printed at once as a warning.
VELM_PROBE(uvsta_degenerate) {
  const std::string c = args.at(0);
  std::vector<float> stat;
  std::int32_t nrowmiss = 0;
  if (c == "one_row") {
    uvsta0(1, 2, {4.0f, 5.0f}, 1, 0, 0, 0, stat, nrowmiss);
    print_rows(stat.data(), 2, 15, {1, 2, 3, 6, 7, 8, 9, 10, 11, 14});
  } else if (c == "one_in_variable") {
    // Variable 2 has a single value; variable 1 three.
    uvsta0(3, 2, {1, 2, 4, 7, kNaN, kNaN}, 3, 0, 0, 1, stat, nrowmiss);
    print_rows(stat.data(), 2, 15, {1, 2, 8, 10});
  } else if (c == "constant") {
    uvsta0(3, 1, {2, 2, 2}, 3, 0, 0, 0, stat, nrowmiss);
    print_rows(stat.data(), 1, 15, {1, 2, 3, 4, 5, 9, 11, 12, 13, 14});
  } else if (c == "tiny_variance") {
    uvsta0(2, 1, {1e-20f, 3e-20f}, 2, 0, 0, 0, stat, nrowmiss);
    print_rows(stat.data(), 1, 15, {2, 3, 4, 5});
  } else if (c == "denormal_spread") {
    // The squared deviations underflow to an exact zero sum.
    uvsta0(3, 1, {1e-44f, 2e-44f, 3e-44f}, 3, 0, 0, 0, stat, nrowmiss);
    print_rows(stat.data(), 1, 15, {2, 3, 4, 5});
  } else if (c == "tiny_moments") {
    uvsta0(2, 1, {1e-14f, 3e-14f}, 2, 0, 0, 0, stat, nrowmiss);
    print_rows(stat.data(), 1, 15, {4, 5});
  } else if (c == "tiny_fourth") {
    uvsta0(2, 1, {1e-11f, 3e-11f}, 2, 0, 0, 0, stat, nrowmiss);
    print_rows(stat.data(), 1, 15, {4, 5});
  } else if (c == "zero_mean") {
    uvsta0(2, 1, {-1, 1}, 2, 0, 0, 0, stat, nrowmiss);
    print_rows(stat.data(), 1, 15, {9});
  } else if (c == "zero_weights") {
    // column 1 data, column 2 weights, all 0
    uvsta0(3, 1, {1, 2, 3, 0, 0, 0}, 3, 0, 2, 0, stat, nrowmiss);
    print_rows(stat.data(), 1, 15, {1, 2, 6, 7, 8, 10, 15});
  } else if (c == "zero_weights_variable") {
    // MISSOPT 1: variable 2 is only present in the rows of weight 0.
    uvsta0(4, 2, {1, 2, 3, 4, kNaN, kNaN, 5, 6, 1, 1, 0, 0}, 4, 0, 3, 1, stat, nrowmiss);
    print_rows(stat.data(), 2, 15, {1, 2, 10, 15});
  } else if (c == "weightless_spread") {
    // The values differ only in rows of weight 0: no squared deviations.
    uvsta0(3, 1, {1, 2, 3, 1, 0, 0}, 3, 0, 2, 0, stat, nrowmiss);
    print_rows(stat.data(), 1, 15, {1, 2, 3, 9, 10, 15});
  } else if (c == "max_below_min") {
    // The caller's running extremes are swapped between the calls.
    stat.assign(30, 0.0f);
    const std::vector<float> x = {1, 2, 3, 4, 5, 6};
    velm::UVSTA(1, 3, 2, x.data(), 3, 0, 0, 0, 95.0f, 95.0f, 0, stat.data(), 15, nrowmiss);
    const int vars = std::stoi(args.at(1));
    for (int j = 0; j < vars; ++j) std::swap(stat[5 + 15 * j], stat[6 + 15 * j]);
    velm::UVSTA(3, 0, 2, x.data(), 3, 0, 0, 0, 95.0f, 95.0f, 0, stat.data(), 15, nrowmiss);
    print_rows(stat.data(), 2, 15, {2, 8});
  }
}

// IPRINT 1 on IDO 0, and IPRINT 2 through a sequence.
VELM_PROBE(uvsta_print) {
  const std::vector<float> x = {1, 2, 3, 4, 10, 20, 30, 50};
  std::vector<float> stat(30, 0.0f);
  std::int32_t nrowmiss = 0;
  if (args.at(0) == "final") {
    velm::UVSTA(0, 4, 2, x.data(), 4, 0, 0, 0, 95.0f, 95.0f, 1, stat.data(), 15, nrowmiss);
  } else {
    velm::UVSTA(1, 2, 2, x.data(), 4, 0, 0, 0, 95.0f, 95.0f, 2, stat.data(), 15, nrowmiss);
    velm::UVSTA(2, 2, 2, x.data() + 2, 4, 0, 0, 0, 95.0f, 95.0f, 2, stat.data(), 15, nrowmiss);
    velm::UVSTA(3, 0, 2, x.data(), 4, 0, 0, 0, 95.0f, 95.0f, 2, stat.data(), 15, nrowmiss);
  }
}

VELM_PROBE(velmspear_no_storage) {
  const int16_t n = 3;
  const float a[3] = {1, 2, 3};
  velm::refuse_work_request(1);
  const float rho = VELMSPEAR(&n, a, a);
  std::printf("returned %g\n", static_cast<double>(rho));
}

// VELMCNVERR with M and N given over X = 1, 2, ..., max(N, 1) (exact size).
VELM_PROBE(velmcnverr_counts) {
  const auto m = static_cast<int16_t>(std::stoi(args.at(0)));
  const auto n = static_cast<int16_t>(std::stoi(args.at(1)));
  std::vector<float> x(static_cast<std::size_t>(n > 0 ? n : 1));
  for (std::size_t i = 0; i < x.size(); ++i) x[i] = static_cast<float>(i + 1);
  const float r = VELMCNVERR(&m, &n, x.data());
  std::printf("returned %g\n", static_cast<double>(r));
}

// Infinite values: the range is not a number and no row keeps the
// caller's contents.
VELM_PROBE(velmstat_infinite) {
  const float x[3] = {kInf, kInf, kInf};
  const int16_t n = 3, one = 1;
  float stat[15];
  for (float& s : stat) s = 777.0f;
  VELMSTAT(&n, &one, x, &n, stat);
  print_rows(stat, 1, 15, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15});
}

// One statistics export on exact-size arrays of awkward values, with the
// counts given: "name count..." The arrays hold exactly what the counts
// allow (nothing for a count that is not positive), so the sanitizer build
// reports any read or write outside them.
VELM_PROBE(robust_export) {
  const std::string name = args.at(0);
  std::vector<int16_t> c;
  for (std::size_t i = 1; i < args.size(); ++i) c.push_back(static_cast<int16_t>(std::stoi(args[i])));
  auto values = [](int n) {
    const float pool[] = {kNaN, kInf, -kInf, 1e-40f, -0.0f, 3e38f, -3e38f, 1.0f, 2.5f, -7.0f};
    std::vector<float> v(static_cast<std::size_t>(n > 0 ? n : 0));
    for (std::size_t i = 0; i < v.size(); ++i) v[i] = pool[(i * 7 + 3) % 10];
    return v;
  };
  auto size = [](int a, int b = 1) { return a > 0 && b > 0 ? a * b : 0; };
  if (name == "VELMSTAT") {  // nrow nvar ldx
    const auto x = values(size(c[2], c[1]));
    std::vector<float> stat(static_cast<std::size_t>(size(15, c[1])));
    VELMSTAT(&c[0], &c[1], x.data(), &c[2], stat.data());
  } else if (name == "VELMSPEAR") {  // n
    const auto a = values(size(c[0])), b = values(size(c[0]));
    VELMSPEAR(&c[0], a.data(), b.data());
  } else if (name == "VELMCNVERR") {  // m n
    const auto x = values(size(c[1]));
    VELMCNVERR(&c[0], &c[1], x.data());
  } else if (name == "VELMSORT") {  // n
    const auto ra = values(size(c[0]));
    std::vector<float> rb(ra.size());
    std::vector<int16_t> iperm(ra.size());
    VELMSORT(&c[0], ra.data(), rb.data(), iperm.data());
  } else if (name == "VELMQTIL") {  // nobs nqprop
    const auto x = values(size(c[0]));
    std::vector<float> p(static_cast<std::size_t>(size(c[1])), 0.5f), q(p.size());
    VELMQTIL(&c[0], x.data(), &c[1], p.data(), q.data());
  } else if (name == "VELMHIST") {  // nobs k
    const auto x = values(size(c[0]));
    const float lo = -1.0f, hi = 1.0f;
    std::vector<float> div(static_cast<std::size_t>(size(c[1]))), tally(div.size());
    VELMHIST(&c[0], x.data(), &lo, &hi, &c[1], div.data(), tally.data());
  }
  std::printf("returned\n");
}
