// The functions velmsim adds to muParser's own in every expression of a
// model (formulas and constants): npv and irr of a series of cash flows; and
// muParser's messages as velmsim's located errors give them.
#pragma once

#include <cstdint>
#include <string>

namespace mu {
class ParserBase;
}

namespace velmsim {

// Defines npv and irr in `parser`. Neither is folded into a constant when the
// expression is compiled, so that each evaluation tells why it failed.
void define_functions(mu::ParserBase& parser);

// npv(rate, v0, v1, ..., vN) = sum of v_t / (1 + rate)^t, v0 at time 0.
double net_present_value(double rate, const double* flows, int count);

// The rate r > -1 at which the net present value of the flows is 0, or NaN.
// The search walks outward from r = 0 over the grid 1 + r = 1.05^k, k = 0,
// 1, -1, 2, -2, ... up to |k| = kIrrGridSteps (r from about -0.999999 to
// 1e6), and refines the first interval of the grid over which the net
// present value changes sign (or a grid point where it is 0) with the TOMS
// 748 bracketing method to full double precision. Flows with several rates
// (that change sign more than once) give the one found first, so nearest 0
// on the grid; two rates within one step of the grid may be missed.
double internal_rate_of_return(const double* flows, int count);
inline constexpr int kIrrGridSteps = 283;
inline constexpr double kIrrGridRatio = 1.05;

// Why the last call of npv or irr in this thread (each thread evaluates
// with its own parsers) gave NaN; the evaluators clear it before each
// formula and read it when the formula's value is not finite.
enum class FunctionFailure : std::uint8_t {
  none,
  npv_arguments,   // fewer than a rate and one cash flow
  irr_arguments,   // fewer than two cash flows
  irr_no_change,   // the flows never change sign: no rate can balance them
  irr_no_root,     // they change sign, but no rate on the grid balances them
};
FunctionFailure& function_failure();

// A sentence saying why, for a message; "" for none.
std::string failure_text(FunctionFailure failure);

// muParser's message without its own "at position N" (the location in the
// file says where) and its closing stop.
std::string parser_message(std::string message);

// Whether the failure is a mistake in how the function is written (its
// number of arguments), which a check of the expression reports.
bool is_written_wrong(FunctionFailure failure);

}  // namespace velmsim
