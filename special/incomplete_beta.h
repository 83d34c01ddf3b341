// Regularised incomplete beta function and its helpers, shared by the
// inverse beta distribution and the rank correlation. These routines do not
// use the error stack; their only diagnostics are console messages after
// which the computation goes on.
#pragma once

#include <string_view>

namespace velm {

// I_x(a, b), single precision.
float betai(float a, float b, float x);
// Continued fraction of the incomplete beta function (modified Lentz).
float betacf(float a, float b, float x);
// ln Gamma(x) for x > 0: Lanczos series evaluated in double precision.
float lngam(float x);

// Writes a diagnostic line of this family to standard output and goes on.
// The library never waits for console input: a host may have no operator.
void write_diagnostic_line(std::string_view text);

}  // namespace velm
