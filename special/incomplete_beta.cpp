// Regularised incomplete beta function I_x(a, b) by its continued fraction.
#include <cmath>
#include <cstdio>

#include "fp/elementary.h"
#include "special/incomplete_beta.h"

namespace velm {

void write_diagnostic_line(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

// The prefactor x^a (1-x)^b / (a B(a, b)) times the continued fraction, which
// converges fast for x < (a + 1)/(a + b + 2); beyond that point the symmetry
// I_x(a, b) = 1 - I_{1-x}(b, a) is used.
float betai(float a, float b, float x) {
  if (x < 0.0f || x > 1.0f) write_diagnostic_line("bad argument x in betai");
  float bt;
  if (x == 0.0f || x == 1.0f) {
    bt = 0.0f;
  } else {
    bt = velm::fp::exp(lngam(a + b) - lngam(a) - lngam(b) + a * velm::fp::log(x) +
                  b * velm::fp::log(1.0f - x));
  }
  if (x < (a + 1.0f) / (a + b + 2.0f)) return bt * betacf(a, b, x) / a;
  return 1.0f - bt * betacf(b, a, 1.0f - x) / b;
}

namespace {
constexpr int kMaxIterations = 100;
constexpr float kTolerance = 3.0e-7f;
constexpr float kFloor = 1.0e-30f;

float floored(float v) { return std::fabs(v) < kFloor ? kFloor : v; }
}  // namespace

// Modified Lentz evaluation of the continued fraction
//   1/(1 + d1/(1 + d2/(1 + ...))), d_{2m} = m(b-m)x/((a+2m-1)(a+2m)),
//   d_{2m+1} = -(a+m)(a+b+m)x/((a+2m)(a+2m+1)).
float betacf(float a, float b, float x) {
  const float ab = a + b;
  const float a1 = a + 1.0f;
  const float am1 = a - 1.0f;
  float c = 1.0f;
  float d = 1.0f / floored(1.0f - ab * x / a1);
  float h = d;
  for (int m = 1; m <= kMaxIterations; ++m) {
    const float fm = static_cast<float>(m);
    const float m2 = static_cast<float>(2 * m);
    float s = fm * (b - fm) * x / ((am1 + m2) * (a + m2));
    d = floored(1.0f + s * d);
    c = floored(1.0f + s / c);
    d = 1.0f / d;
    h = h * d * c;
    s = -(a + fm) * (ab + fm) * x / ((a + m2) * (a1 + m2));
    d = floored(1.0f + s * d);
    c = floored(1.0f + s / c);
    d = 1.0f / d;
    const float g = d * c;
    h = h * g;
    if (std::fabs(g - 1.0f) < kTolerance) return h;
  }
  write_diagnostic_line("a or b too big, or MAXIT too small in betacf");
  return h;
}

// Lanczos' series with gamma = 5 and six terms, accurate to about 2e-10.
float lngam(float x) {
  static constexpr double kCoefficients[6] = {
      76.18009172947146,     -86.50532032941678,    24.01409824083091,
      -1.231739572450155,    0.001208650973866179,  -5.395239384953e-06,
  };
  const double xd = x;
  const double lead = (xd + 0.5) * velm::fp::log(xd + 5.5) - (xd + 5.5);
  double sum = 1.000000000190015;
  double y = xd;
  for (double c : kCoefficients) {
    y += 1.0;
    sum += c / y;
  }
  return static_cast<float>(lead + velm::fp::log(2.5066282746310007 * sum / xd));
}

}  // namespace velm
