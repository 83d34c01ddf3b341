// Probability functions of the statistics edition: Chebyshev series, gamma,
// error functions, the normal distribution, and the chi-squared, beta and t
// distribution functions and inverses.
//
// All work in single precision. Every routine enters and leaves the error
// stack under its own name and reports through the error facility; argument
// errors are TERMINAL and yield NaN.
#pragma once

namespace velm {

// Value of the Chebyshev series cs[0..n-1] (first coefficient counted half)
// at x in [-1, 1], by Clenshaw's recurrence. n must be 1..1000; x outside
// [-1.1, 1.1] is evaluated with a warning.
float CSEVL(float x, const float* cs, int n);
// Number of leading terms of the series os[0..nos-1] whose neglected tail has
// absolute sum at most eta; 0 after an error.
int INITS(const float* os, int nos, float eta);
// Gamma function.
float GAMMA(float x);
// ln Gamma(x) - ((x - 0.5) ln x - x + ln sqrt(2 pi)) for x >= 10.
float R9LGMC(float x);
// Smallest and largest x for which GAMMA neither underflows nor overflows.
void R9GAML(float& xmin, float& xmax);
// R9GAML with the smallest and largest positive numbers given explicitly
// (R9GAML passes the machine's).
void R9GAML_limits(float tiny, float huge, float& xmin, float& xmax);

// Complementary error function.
float ERFC(float x);
// exp(x^2) erfc(x).
float ERFCE(float x);
// Inverse of erfc on (0, 2).
float ERFCI(float x);
// Standard normal distribution function.
float ANORDF(float x);
// Inverse of the standard normal distribution function on (0, 1).
float ANORIN(float p);

// Chi-squared distribution function with df >= 0.5 degrees of freedom.
float CHIDF(float chsq, float df);
// Inverse of CHIDF.
float CHIIN(float p, float df);
// Inverse of the beta distribution function with shapes pin, qin.
float BETIN(float p, float pin, float qin);
// Inverse of Student's t distribution function with df >= 1.
float TIN(float p, float df);

}  // namespace velm
