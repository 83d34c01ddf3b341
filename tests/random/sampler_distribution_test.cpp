// The samplers against their exact distributions, with fixed seeds:
// Kolmogorov-Smirnov distances for the continuous ones, chi-square or
// proportions for the discrete ones. The bounds sit at about the 0.1 % level
// of the statistics (the seeds are fixed, so nothing flakes), tight enough
// that a wrong constant or a lost draw shows.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <vector>

#include "core/edition.h"
#include "export/velmprob.h"
#include "random/samplers.h"
#include "random/uniform.h"

namespace {

// Largest distance between the empirical distribution of x and cdf, taken
// over the sample points inside [from, to]. Beta variates very close to 0 or
// 1 are rounded to single precision and clamped into heaps at 2^-24 and
// 1 - 2^-23; the distance is measured away from those ends, where rounding
// moves the distribution function by far less than the bound.
double ks_distance(std::vector<float> x, const std::function<double(double)>& cdf,
                   double from = -HUGE_VAL, double to = HUGE_VAL) {
  std::sort(x.begin(), x.end());
  const double n = static_cast<double>(x.size());
  double d = 0.0;
  for (std::size_t i = 0; i < x.size(); ++i) {
    if (x[i] < from || x[i] > to) continue;
    const double f = cdf(x[i]);
    d = std::max({d, f - static_cast<double>(i) / n, static_cast<double>(i + 1) / n - f});
  }
  return d;
}

double ks_bound(std::size_t n) { return 1.95 / std::sqrt(static_cast<double>(n)); }

double normal_cdf(double z) { return 0.5 * std::erfc(-z / std::sqrt(2.0)); }

// Regularised incomplete beta I_x(a, b) by its continued fraction (modified
// Lentz), using the symmetry I_x(a, b) = 1 - I_(1-x)(b, a) where the
// fraction converges slowly.
double beta_cf(double a, double b, double x) {
  const double tiny = 1e-300;
  double c = 1.0, d = 1.0 - (a + b) * x / (a + 1.0);
  if (std::fabs(d) < tiny) d = tiny;
  d = 1.0 / d;
  double h = d;
  for (int m = 1; m <= 10000; ++m) {
    const double m2 = 2.0 * m;
    double aa = m * (b - m) * x / ((a + m2 - 1.0) * (a + m2));
    d = 1.0 + aa * d;
    if (std::fabs(d) < tiny) d = tiny;
    c = 1.0 + aa / c;
    if (std::fabs(c) < tiny) c = tiny;
    d = 1.0 / d;
    h *= d * c;
    aa = -(a + m) * (a + b + m) * x / ((a + m2) * (a + m2 + 1.0));
    d = 1.0 + aa * d;
    if (std::fabs(d) < tiny) d = tiny;
    c = 1.0 + aa / c;
    if (std::fabs(c) < tiny) c = tiny;
    d = 1.0 / d;
    const double del = d * c;
    h *= del;
    if (std::fabs(del - 1.0) < 1e-15) break;
  }
  return h;
}

double beta_cdf(double a, double b, double x) {
  if (x <= 0.0) return 0.0;
  if (x >= 1.0) return 1.0;
  const double lbt = std::lgamma(a + b) - std::lgamma(a) - std::lgamma(b) + a * std::log(x) +
                     b * std::log1p(-x);
  if (x < (a + 1.0) / (a + b + 2.0)) return std::exp(lbt) * beta_cf(a, b, x) / a;
  return 1.0 - std::exp(lbt) * beta_cf(b, a, 1.0 - x) / b;
}

TEST(BetaCdfCheck, KnownValues) {
  EXPECT_NEAR(beta_cdf(2.0, 3.0, 0.4), 0.5248, 1e-12);           // 1 - 0.6^4 - 4 0.4 0.6^3
  EXPECT_NEAR(beta_cdf(0.5, 0.5, 0.25), 1.0 / 3.0, 1e-12);       // (2/pi) asin(sqrt x)
  EXPECT_NEAR(beta_cdf(1.0, 3.0, 0.2), 1.0 - 0.8 * 0.8 * 0.8, 1e-12);
}

TEST(NormalDistribution, StandardNormalAndRegionShare) {
  velm::RNSET(20240601);
  std::vector<float> z(200000);
  velm::RNNOA(static_cast<int>(z.size()), z.data());
  EXPECT_LT(ks_distance(z, normal_cdf), ks_bound(z.size()));
  // Variance and tail mass beyond the centre (|z| > xi happens only in the
  // tail region): 2 (1 - Phi(2.2160358)) = 0.02669.
  double s2 = 0.0;
  int beyond = 0;
  for (float x : z) {
    s2 += static_cast<double>(x) * x;
    if (std::fabs(x) > 2.2160358f) ++beyond;
  }
  EXPECT_NEAR(s2 / static_cast<double>(z.size()), 1.0, 0.01);
  EXPECT_NEAR(beyond / static_cast<double>(z.size()), 0.026690, 0.0012);
}

TEST(NormalDistribution, ExportScalesAndShifts) {
  velm::RNSET(77);
  const float mean = -4.0f, sd = 2.5f;
  std::vector<float> x(50000);
  for (float& v : x) v = VELMNORMAL(&mean, &sd);
  EXPECT_LT(ks_distance(x, [](double v) { return normal_cdf((v + 4.0) / 2.5); }), ks_bound(x.size()));
}

TEST(LognormalDistribution, MomentsOfTheVariableItself) {
  velm::RNSET(31337);
  const float mean = 10.0f, sd = 2.0f;
  const int n = 200000;
  double s = 0.0, s2 = 0.0;
  std::vector<float> logs;
  for (int i = 0; i < n; ++i) {
    const double x = VELMLOGNORMAL(&mean, &sd);
    s += x;
    s2 += x * x;
    logs.push_back(static_cast<float>(std::log(x)));
  }
  const double m = s / n, var = s2 / n - m * m;
  EXPECT_NEAR(m, 10.0, 0.02);
  EXPECT_NEAR(std::sqrt(var), 2.0, 0.02);
  const double v = std::log(1.04), loc = std::log(10.0) - 0.5 * v;
  EXPECT_LT(ks_distance(logs, [&](double y) { return normal_cdf((y - loc) / std::sqrt(v)); }),
            ks_bound(logs.size()));
}

#if VELM_THREADED
TEST(CorrelatedPairDistribution, MeansSdsAndCorrelation) {
  velm::RNSET(4711);
  const float m1 = 1.0f, s1 = 2.0f, m2 = -3.0f, s2 = 0.5f, rho = -0.6f;
  const int n = 200000;
  double a = 0, b = 0, aa = 0, bb = 0, ab = 0;
  for (int i = 0; i < n; ++i) {
    float x, y;
    VELMCRNORMAL(&m1, &s1, &m2, &s2, &rho, &x, &y);
    a += x; b += y; aa += double(x) * x; bb += double(y) * y; ab += double(x) * y;
  }
  const double ma = a / n, mb = b / n;
  const double va = aa / n - ma * ma, vb = bb / n - mb * mb, cab = ab / n - ma * mb;
  EXPECT_NEAR(ma, 1.0, 0.02);
  EXPECT_NEAR(mb, -3.0, 0.005);
  EXPECT_NEAR(std::sqrt(va), 2.0, 0.015);
  EXPECT_NEAR(std::sqrt(vb), 0.5, 0.004);
  EXPECT_NEAR(cab / std::sqrt(va * vb), -0.6, 0.006);
}

TEST(YesNoDistribution, ProportionIsP) {
  velm::RNSET(999);
  const int n = 200000;
  for (float p : {0.05f, 0.3f, 0.5f, 0.7f, 0.98f}) {
    int yes = 0;
    for (int i = 0; i < n; ++i) yes += VELMYESNO(&p);
    const double sd = std::sqrt(p * (1.0 - p) / n);
    EXPECT_NEAR(yes / double(n), p, 4.0 * sd) << p;
  }
}
#endif

TEST(GeometricDistribution, ChiSquareAgainstTheMassFunction) {
  velm::RNSET(8080);
  for (float p : {0.05f, 0.3f, 0.8f}) {
    const int n = 100000;
    // Cells k = 1 .. K - 1 and k >= K, with K chosen so the last cell keeps
    // an expected count of at least 50.
    int cells = 1;
    while (n * std::pow(1.0 - p, cells) > 50.0) ++cells;
    std::vector<double> count(static_cast<std::size_t>(cells) + 1, 0.0);
    for (int i = 0; i < n; ++i) {
      const std::int32_t k = VELMGEOMETRIC(&p);
      ASSERT_GE(k, 1);
      count[static_cast<std::size_t>(std::min(k, cells))] += 1.0;
    }
    double chi2 = 0.0;
    for (int k = 1; k <= cells; ++k) {
      const double prob = k < cells ? p * std::pow(1.0 - p, k - 1) : std::pow(1.0 - p, cells - 1);
      const double e = n * prob;
      chi2 += (count[static_cast<std::size_t>(k)] - e) * (count[static_cast<std::size_t>(k)] - e) / e;
    }
    // df = cells - 1; mean df, sd sqrt(2 df): allow mean + 5 sd.
    const double df = cells - 1;
    EXPECT_LT(chi2, df + 5.0 * std::sqrt(2.0 * df)) << p;
  }
}

TEST(BinomialDistribution, SmallMeanMethodWithSeveralTrials) {
  velm::RNSET(1212);
  const int n = 100000, trials = 6;
  for (float p : {0.15f, 0.75f}) {
    std::vector<std::int32_t> ir(static_cast<std::size_t>(n));
    velm::RNBIN(n, trials, p, ir.data());
    std::vector<double> count(trials + 1, 0.0);
    for (std::int32_t k : ir) count[static_cast<std::size_t>(k)] += 1.0;
    double chi2 = 0.0, df = 0.0;
    for (int k = 0; k <= trials; ++k) {
      const double e = n * std::tgamma(trials + 1.0) / (std::tgamma(k + 1.0) * std::tgamma(trials - k + 1.0)) *
                       std::pow(p, k) * std::pow(1.0 - p, trials - k);
      if (e < 20) continue;
      chi2 += (count[static_cast<std::size_t>(k)] - e) * (count[static_cast<std::size_t>(k)] - e) / e;
      df += 1.0;
    }
    EXPECT_LT(chi2, df + 5.0 * std::sqrt(2.0 * df)) << p;
  }
}

TEST(TriangularDistribution, EditionsMethod) {
  velm::RNSET(5150);
  const float lo = 1.0f, mode = 1.5f, hi = 4.0f;
  std::vector<float> x(100000);
  for (float& v : x) v = VELMTRIANG(&lo, &mode, &hi);
  std::function<double(double)> cdf;
  if (velm::kThreadedEdition) {
    cdf = [](double v) {
      return v <= 1.5 ? (v - 1.0) * (v - 1.0) / (3.0 * 0.5) : 1.0 - (4.0 - v) * (4.0 - v) / (3.0 * 2.5);
    };
  } else {
    // Probability 1/2 on each side of the mode.
    cdf = [](double v) {
      return v <= 1.5 ? 0.5 * ((v - 1.0) / 0.5) * ((v - 1.0) / 0.5)
                      : 1.0 - 0.5 * ((4.0 - v) / 2.5) * ((4.0 - v) / 2.5);
    };
  }
  EXPECT_LT(ks_distance(x, cdf), ks_bound(x.size()));
}

#if !VELM_THREADED
TEST(TriangularDistribution, StatisticsEditionPutsHalfBelowAnyMode) {
  velm::RNSET(6160);
  const float lo = 0.0f, mode = 0.1f, hi = 1.0f;
  const int n = 100000;
  int below = 0;
  for (int i = 0; i < n; ++i) below += VELMTRIANG(&lo, &mode, &hi) <= 0.1f;
  EXPECT_NEAR(below / double(n), 0.5, 0.006);
}
#endif

TEST(TriangularDistribution, SymmetricUnitRoutine) {
  velm::RNSET(7170);
  std::vector<float> x(100000);
  velm::RNTRI(static_cast<int>(x.size()), x.data());
  EXPECT_LT(ks_distance(x, [](double v) { return v <= 0.5 ? 2 * v * v : 1 - 2 * (1 - v) * (1 - v); }),
            ks_bound(x.size()));
}

struct BetaRegion {
  float p, q;
  int nr;  // variates per RNBET call: 1..4 selects BB, 5 or more B4PE
};

TEST(BetaDistribution, EveryRegionAgainstTheExactDistribution) {
  const BetaRegion regions[] = {
      {0.7f, 0.8f, 1000},   // Johnk
      {0.45f, 0.2f, 1000},  // Johnk, guarded
      {1.0f, 3.0f, 1000},   // inversion
      {2.5f, 1.0f, 1000},   // inversion
      {0.5f, 3.0f, 1000},   // switching
      {4.0f, 0.6f, 1000},   // switching, mirrored
      {2.0f, 5.0f, 1},      // BB
      {9.0f, 1.5f, 4},      // BB, larger first
      {2.0f, 5.0f, 1000},   // B4PE
      {30.0f, 2.0f, 1000},  // B4PE, one side
      {1.2f, 1.3f, 1000},   // B4PE, no sides
      {40.0f, 60.0f, 5},    // B4PE, both sides
  };
  velm::RNSET(13579);
  const std::size_t n = 60000;
  for (const BetaRegion& g : regions) {
    std::vector<float> x(n);
    for (std::size_t i = 0; i < n; i += static_cast<std::size_t>(g.nr)) {
      velm::RNBET(g.nr, g.p, g.q, x.data() + i);
    }
    const double d = ks_distance(x, [&](double v) { return beta_cdf(g.p, g.q, v); }, 1e-4, 1 - 1e-4);
    EXPECT_LT(d, ks_bound(n)) << g.p << " " << g.q << " nr " << g.nr;
  }
}

TEST(BetaDistribution, GuardedJohnkIsSymmetric) {
  // Beta(0.3, 0.3): exact distribution, tight.
  velm::RNSET(24680);
  const std::size_t n = 200000;
  std::vector<float> x(n);
  velm::RNBET(static_cast<int>(n), 0.3f, 0.3f, x.data());
  EXPECT_LT(ks_distance(x, [](double v) { return beta_cdf(0.3, 0.3, v); }, 1e-4, 1 - 1e-4),
            ks_bound(n));
  std::size_t below = 0;
  for (float v : x) below += v < 0.5f;
  EXPECT_NEAR(below / double(n), 0.5, 0.005);

  // Beta(0.01, 0.01): about 43 % of the mass lies below 2^-24 and as much
  // above 1 - 2^-23, so the clamps hold two equal heaps.
  std::vector<float> y(n);
  velm::RNBET(static_cast<int>(n), 0.01f, 0.01f, y.data());
  std::size_t at_lo = 0, at_hi = 0;
  for (float v : y) {
    at_lo += v == 0x1p-24f;
    at_hi += v >= 1.0f - 0x1p-23f;
  }
  const double lo_share = at_lo / double(n), hi_share = at_hi / double(n);
  // I(2^-24; 0.01, 0.01) = 0.4270.
  EXPECT_NEAR(lo_share, beta_cdf(0.01, 0.01, 0x1p-24), 0.006);
  EXPECT_NEAR(hi_share, lo_share, 0.008);
}

}  // namespace
