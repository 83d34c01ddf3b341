#include "host/velmsim/model/functions.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>

#include <boost/math/tools/toms748_solve.hpp>
#include <muParser.h>

namespace velmsim {

FunctionFailure& function_failure() {
  thread_local FunctionFailure failure = FunctionFailure::none;
  return failure;
}

std::string failure_text(FunctionFailure failure) {
  switch (failure) {
    case FunctionFailure::none: return "";
    case FunctionFailure::npv_arguments:
      return "npv needs a rate and at least one cash flow: npv(rate, v0, v1, ...)";
    case FunctionFailure::irr_arguments:
      return "irr needs at least two cash flows: irr(v0, v1, ...)";
    case FunctionFailure::irr_no_change:
      return "irr found no rate at which the cash flows' net present value is 0 (they do not "
             "change sign)";
    case FunctionFailure::irr_no_root:
      return "irr found no rate between -0.999999 and 1e6 at which the cash flows' net present "
             "value is 0";
  }
  return "";
}

std::string parser_message(std::string message) {
  const auto cut = message.find(" at position ");
  if (cut != std::string::npos) message.erase(cut);
  while (!message.empty() && (message.back() == '.' || message.back() == ' ')) message.pop_back();
  return message;
}

bool is_written_wrong(FunctionFailure failure) {
  return failure == FunctionFailure::npv_arguments || failure == FunctionFailure::irr_arguments;
}

double net_present_value(double rate, const double* flows, int count) {
  // Horner's rule in the discount factor 1 / (1 + rate), from the last flow.
  const double discount = 1.0 / (1.0 + rate);
  double sum = 0.0;
  for (int t = count - 1; t >= 0; --t) sum = sum * discount + flows[t];
  return sum;
}

double internal_rate_of_return(const double* flows, int count) {
  int sign = 0;
  bool changes = false;
  for (int t = 0; t < count; ++t) {
    if (flows[t] == 0 || std::isnan(flows[t])) continue;
    const int s = flows[t] > 0 ? 1 : -1;
    changes = changes || (sign != 0 && s != sign);
    sign = s;
  }
  if (!changes) {
    function_failure() = FunctionFailure::irr_no_change;
    return std::numeric_limits<double>::quiet_NaN();
  }
  auto rate = [](int k) { return std::pow(kIrrGridRatio, k) - 1.0; };
  auto npv = [&](double r) { return net_present_value(r, flows, count); };
  // A bracket [a, b] of grid points: a root at an end, or a change of sign.
  auto solve = [&](int ka, int kb, double fa, double fb) -> std::optional<double> {
    if (fa == 0) return rate(ka);
    if (fb == 0) return rate(kb);
    if (!(fa < 0 && fb > 0) && !(fa > 0 && fb < 0)) return std::nullopt;
    try {
      std::uintmax_t iterations = 200;
      const auto [lo, hi] = boost::math::tools::toms748_solve(
          npv, rate(ka), rate(kb), fa, fb,
          boost::math::tools::eps_tolerance<double>(std::numeric_limits<double>::digits),
          iterations);
      return lo + (hi - lo) / 2;
    } catch (const std::exception&) {
      return std::nullopt;
    }
  };
  double up = npv(0.0), down = up;
  for (int step = 1; step <= kIrrGridSteps; ++step) {
    const double next_up = npv(rate(step));
    if (const auto r = solve(step - 1, step, up, next_up)) return *r;
    const double next_down = npv(rate(-step));
    if (const auto r = solve(-step, 1 - step, next_down, down)) return *r;
    up = next_up;
    down = next_down;
  }
  function_failure() = FunctionFailure::irr_no_root;
  return std::numeric_limits<double>::quiet_NaN();
}

namespace {

double npv_function(const double* args, int count) {
  if (count < 2) {
    function_failure() = FunctionFailure::npv_arguments;
    return std::numeric_limits<double>::quiet_NaN();
  }
  return net_present_value(args[0], args + 1, count - 1);
}

double irr_function(const double* args, int count) {
  if (count < 2) {
    function_failure() = FunctionFailure::irr_arguments;
    return std::numeric_limits<double>::quiet_NaN();
  }
  return internal_rate_of_return(args, count);
}

}  // namespace

void define_functions(mu::ParserBase& parser) {
  parser.DefineFun("npv", npv_function, false);
  parser.DefineFun("irr", irr_function, false);
}

}  // namespace velmsim
