// Chebyshev coefficient tables of the gamma and error functions. Each is the
// exact expansion of its function (see the generator,
// tools/gen/gen_series.py), rounded to single precision; only the leading
// coefficients are ever offered to INITS, the rest are kept so the tables
// stay complete.
#pragma once

namespace velm {

// Gamma(1 + y) - 0.9375 on 0 <= y <= 1, variable 2y - 1. 23 offered.
extern const float kGammaSeries[42];
// erf(x)/x - 1 on |x| <= 1, variable 2x^2 - 1. 13 offered.
extern const float kErfSeries[21];
// x exp(x^2) erfc(x) - 0.5 on 1 < x^2 <= 4, variable (8/x^2 - 5)/3. 23 offered.
extern const float kErfcMiddleSeries[49];
// x exp(x^2) erfc(x) - 0.5 on x^2 > 4, variable 8/x^2 - 1. 24 offered.
extern const float kErfcTailSeries[59];
// erfinv(s)/s - 1 on |s| < 0.75, variable s^2 * 3.5555556 - 1. 22 offered.
extern const float kErfInverseSeries[44];

inline constexpr int kGammaOffered = 23;
inline constexpr int kErfOffered = 13;
inline constexpr int kErfcMiddleOffered = 23;
inline constexpr int kErfcTailOffered = 24;
inline constexpr int kErfInverseOffered = 22;

// Correction term of Stirling's formula, ln Gamma(x) - ((x - 0.5) ln x - x +
// ln sqrt(2 pi)) = series(2 (10/x)^2 - 1)/x for x >= 10: a shortened series.
inline constexpr float kLogGammaCorrection[6] = {
    0.16663896f, -1.3849482e-5f, 9.810826e-9f, -1.80912e-11f, 6.22e-14f, -3.0e-16f,
};

inline constexpr float kPi = 3.1415927f;
inline constexpr float kLnSqrt2Pi = 0.9189385f;
inline constexpr float kSqrtPi = 1.7724539f;

}  // namespace velm
