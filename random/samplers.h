// Samplers built on the uniform stream. Each fills an array of nr variates
// and takes every uniform it needs from RNUN / RNUNF in a fixed order, so
// that one seed reproduces the same variates everywhere. Parameter errors are
// reported as TERMINAL errors through the error facility; the output is then
// left unwritten.
#pragma once

#include <cstdint>

namespace velm {

// Standard normal variates (acceptance/rejection over a triangle, three
// correction regions and a tail). Uniforms are drawn one at a time.
void RNNOA(int nr, float* r);

// Lognormal variates exp(xm + s * z); xm and s are the mean and standard
// deviation of the logarithm. s must be positive.
void RNLNL(int nr, float xm, float s, float* r);

// Rows of multivariate normal variates with covariance rsig' * rsig, rsig the
// k x k upper-triangular Cholesky factor (leading dimension ldrsig, only the
// upper triangle is read). r is |nr| x k with leading dimension ldr, one
// vector per row. A negative nr generates |nr| rows without argument checks.
void RNMVN(int nr, int k, const float* rsig, int ldrsig, float* r, int ldr);

// Geometric variates: trials up to and including the first success, p in
// (0, 1). A variate beyond the 32-bit range is stored as 2147483647.
void RNGEO(int nr, float p, std::int32_t* ir);

// Binomial variates with n trials and success probability p in (0, 1), by
// inversion of the distribution function from its mode-free end (the method
// for small means, which is what every caller of this library needs).
void RNBIN(int nr, int n, float p, std::int32_t* ir);

// Symmetric triangular variates on (0, 1) with mode 1/2, one uniform each.
void RNTRI(int nr, float* r);

// Location xm and scale s of the logarithm of a lognormal variable with the
// given mean and standard deviation: the logarithm has variance
// v = ln(1 + (sd / mean)^2) and mean ln(mean) - v / 2. The precision of the
// conversion is the edition's (core/edition.h).
struct LogMoments {
  float xm;
  float s;
};
LogMoments lognormal_log_moments(float mean, float sd);

// A pair of normal variates with means mean1, mean2, standard deviations sd1,
// sd2 and correlation rho: RNMVN with the Cholesky factor of their covariance
// matrix, then the means added.
void normal_pair(float mean1, float sd1, float mean2, float sd2, float rho, float& out1,
                 float& out2);

// 1 with probability p, else 0: p <= 0 and p >= 1 (and so no NaN) are
// answered without a draw, other p by RNBIN with one trial.
std::int32_t yes_no(float p);

// Triangular variate on [low, high] with the given mode, by the edition's
// method (core/edition.h). start receives the uniform (inversion) or the
// symmetric triangular variate (stretch) that the method draws first.
float triangular_variate(float low, float mode, float high, float& start);
// The two methods' maps: inversion of the distribution function at the
// uniform u; the symmetric triangular variate t on (0, 1) with each half
// stretched onto its side of the mode.
float triangular_by_inversion(float u, float low, float mode, float high);
float stretch_symmetric_triangular(float t, float low, float mode, float high);

// Beta variates with shape parameters pin and qin. Every stored value lies in
// [2^-24, 1): a computed 1 or more becomes 1 - 2^-23.
void RNBET(int nr, float pin, float qin, float* r);

}  // namespace velm
