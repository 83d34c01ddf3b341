// Elementary functions with the same results on every platform.
//
// The C runtimes differ in the last bit of logf, expf, powf, sinf, cosf and
// asinf (and of log and exp): the GNU C library, the Windows runtime and Wine
// give different answers for many arguments. A sampler that calls them would
// give different variates for the same seed on different systems, and an
// acceptance test that flips on one bit changes how many uniforms are drawn
// after it. These functions use only IEEE basic arithmetic (+, -, *, /,
// comparisons and exact scaling by powers of two, and fused multiply-add
// where the processor has it), so every platform with IEEE single and double
// arithmetic and SSE2 rounding gives the same bits.
//
// The single-precision functions return the correctly rounded result (the
// exact value rounded to the nearest float, ties to even), so their bits are
// fixed by mathematics alone. Each evaluates a short approximation in
// double precision and rounds it once when it lies clearly away from every
// midpoint between two floats; the rest (a few in a thousand arguments at
// most, besides special values and, for sin and cos, arguments of 2^19 and
// above) is evaluated again more closely: log, exp and pow in
// double-double arithmetic, sin, cos and asin to within about 2^-60, with the
// correct results of the few floats for which even that is not close enough
// written out. tools/check_elementary
// proves log, exp, sin, cos and asin on every float, and pow on its exact
// cases and a billion random pairs. Special values follow the C library: NaN in,
// NaN out; log(0) = -inf; log(x < 0) = NaN; exp overflows to +inf and
// underflows to 0; pow as C99 Annex F specifies; sin and cos of an infinity
// are NaN; asin outside [-1, 1] is NaN. (Square root needs no replacement:
// IEEE defines it exactly, and std::sqrt is the same everywhere.)
#pragma once

namespace velm::fp {

float log(float x);
float exp(float x);
float pow(float x, float y);
float sin(float x);
float cos(float x);
float asin(float x);

// log, exp and pow evaluate their fast paths in one of two ways, chosen once
// as the library loads: with a separate multiplication and addition, on
// every processor, or with fused multiply-adds, one rounding each, shorter,
// where the processor has them (x86 with FMA). Both are correctly rounded, so
// they give the same bits. Each can be called by name for checks and
// benchmarks; fused:: only where has_fused_multiply_add() says so.
bool has_fused_multiply_add();
namespace separate {
float log(float x);
float exp(float x);
float pow(float x, float y);
}  // namespace separate
namespace fused {
float log(float x);
float exp(float x);
float pow(float x, float y);
}  // namespace fused

// Double precision, deterministic: log within about 0.51 and exp within about
// 0.75 units in the last place (table-driven: 2^(j/128) and log(i/128) as
// pairs of doubles, short polynomials, no division).
double log(double x);
double exp(double x);

// log x for a positive normal finite double x, within 2^-35 relative: cheap,
// for callers that round the result to single precision and fall back to
// log(double) when the estimate cannot decide the rounding. Other arguments
// give NaN.
double log_estimate(double x);

}  // namespace velm::fp
