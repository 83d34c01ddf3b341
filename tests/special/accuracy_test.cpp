// Accuracy of the probability functions against the high-precision table of
// tools/gen/gen_special.py. Errors are measured in units in the last
// place of single precision (ulps of the reference value) for the functions,
// and relatively for the inverses. Each bound is the one the routine's
// algorithm reaches on its branch, stated per branch; the worst error seen is
// printed so that a drift shows before it fails.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <functional>
#include <string>

#include "error/error.h"
#include "special/special.h"
#include "tests/special/special_data.inc"

namespace {

using namespace velm_test::reference;

double ulps(float got, double want) {
  const float w = static_cast<float>(std::fabs(want));
  const float spacing = std::nextafter(w, INFINITY) - w;
  return std::fabs(static_cast<double>(got) - want) / spacing;
}

double rel(float got, double want) {
  if (want == 0.0) return std::fabs(static_cast<double>(got));
  return std::fabs((static_cast<double>(got) - want) / want);
}

// Worst error of one branch, with the argument where it occurs.
struct Worst {
  std::string name;
  double bound;
  double err = 0.0;
  double where = 0.0;
  int count = 0;
  void add(double e, double at) {
    ++count;
    if (!(e <= err)) {
      err = e;
      where = at;
    }
  }
  void check() const {
    std::printf("  %-34s %4d points, worst %.3g at %.9g (bound %.3g)\n", name.c_str(), count, err,
                where, bound);
    EXPECT_GT(count, 0) << name;
    EXPECT_LE(err, bound) << name << " at " << where;
  }
};

// Runs a routine with its messages kept from stopping anything: the calls
// here are all inside the routines' domains, so nothing above an alert may
// be recorded.
template <typename F>
float quiet(F&& f, int worst_type = 2) {
  const float r = f();
  EXPECT_LE(velm::N1RTY(1), worst_type);
  return r;
}

TEST(Accuracy, Gamma) {
  Worst series{"GAMMA |x| <= 10 (series)", 4};
  // exp of a single-precision argument near 80: its rounding alone is worth
  // some 80 ulps.
  Worst stirling{"GAMMA x > 10 (Stirling)", 160};
  // sin(pi y) near a pole: error grows as 1/distance to the nearest integer.
  Worst reflect{"GAMMA x < -10, 0.05 from poles", 400};
  Worst near_pole{"GAMMA x < -10, 1e-3..0.05 from poles", 2000};
  for (const auto& r : kGamma) {
    const float g = quiet([&] { return velm::GAMMA(r.x); }, 3);
    const double e = ulps(g, r.value);
    const double pole_distance = std::fabs(r.x - std::round(r.x));
    (std::fabs(r.x) <= 10 ? series
     : r.x > 0            ? stirling
     : pole_distance >= 0.05 ? reflect
                             : near_pole)
        .add(e, r.x);
  }
  series.check();
  stirling.check();
  reflect.check();
  near_pole.check();
}

TEST(Accuracy, Erfc) {
  Worst inner{"ERFC |x| <= 1", 4.5};
  Worst middle{"ERFC 1 < x <= 2", 4};
  // exp(-x^2) of the single-precision square: its rounding is worth up to
  // x^2/2 ulps.
  Worst tail{"ERFC x > 2", 64};
  Worst negative{"ERFC x < -1", 4};
  for (const auto& r : kErfc) {
    const float v = quiet([&] { return velm::ERFC(r.x); });
    const double e = ulps(v, r.value);
    const float y = std::fabs(r.x);
    (y <= 1 ? inner : r.x < 0 ? negative : y * y <= 4 ? middle : tail).add(e, r.x);
  }
  inner.check();
  middle.check();
  tail.check();
  negative.check();
}

TEST(Accuracy, Erfce) {
  Worst inner{"ERFCE |x| <= 1", 4};
  Worst upper{"ERFCE x > 1", 4};
  Worst lower{"ERFCE x < -1", 64};
  for (const auto& r : kErfce) {
    const float v = quiet([&] { return velm::ERFCE(r.x); });
    const double e = ulps(v, r.value);
    (std::fabs(r.x) <= 1 ? inner : r.x > 0 ? upper : lower).add(e, r.x);
  }
  inner.check();
  upper.check();
  lower.check();
}

TEST(Accuracy, Anordf) {
  Worst centre{"ANORDF |x| <= sqrt 2", 4.5};
  Worst upper{"ANORDF x > sqrt 2", 4};
  // The rounding of x sqrt(0.5) is amplified by erfc's condition number x^2.
  Worst lower{"ANORDF x < -sqrt 2", 160};
  for (const auto& r : kAnordf) {
    if (r.value < 1.17549435e-38) continue;  // underflows to 0 by design
    const float v = quiet([&] { return velm::ANORDF(r.x); });
    const double e = ulps(v, r.value);
    (std::fabs(r.x) <= 1.4142135f ? centre : r.x > 0 ? upper : lower).add(e, r.x);
  }
  centre.check();
  upper.check();
  lower.check();
}

TEST(Accuracy, Erfci) {
  Worst series{"ERFCI |1 - x| < 0.75 (series)", 1e-6};
  Worst newton{"ERFCI tails (Newton)", 1e-6};
  for (const auto& r : kErfci) {
    const float v = quiet([&] { return velm::ERFCI(r.x); }, 3);
    const double e = rel(v, r.value);
    (std::fabs(1.0f - r.x) < 0.75f ? series : newton).add(e, r.x);
  }
  series.check();
  newton.check();
}

TEST(Accuracy, Anorin) {
  Worst all{"ANORIN", 1e-6};
  for (const auto& r : kAnorin) {
    const float v = quiet([&] { return velm::ANORIN(r.x); });
    all.add(rel(v, r.value), r.x);
  }
  all.check();
}

TEST(Accuracy, Chidf) {
  Worst all{"CHIDF DF <= 65 (absolute)", 1e-5};
  for (const auto& r : kChidf) {
    const float v = quiet([&] { return velm::CHIDF(r.chsq, r.df); });
    all.add(std::fabs(v - r.value), r.chsq);
  }
  all.check();
}

// The inverse can be no better than CHIDF: a probability carried in single
// precision pins x only to ulp(P)/(x f(x)) relatively, which near P = 1 is
// large. For DF > 65 CHIDF is the Wilson-Hilferty approximation, which the
// inverse matches closely; its own distance from the exact quantile is the
// approximation's.
TEST(Accuracy, Chiin) {
  Worst central{"CHIIN DF <= 65, P in [0.05, 0.95]", 1.5e-5};
  Worst outer{"CHIIN DF <= 65, P in [0.01, 0.99]", 4e-5};
  Worst tails{"CHIIN DF <= 65, P = 1e-4, 1e-3, .999, .9999", 2e-3};
  Worst approx{"CHIIN DF > 65 vs Wilson-Hilferty", 1e-6};
  Worst exact{"CHIIN DF > 65 vs exact", 4e-3};
  for (const auto& r : kChiin) {
    if (r.quantile < 1e-10) continue;  // below CHIDF's floor of 1e-12
    const float v = quiet([&] { return velm::CHIIN(r.p, r.df); });
    const double at = r.df * 100 + r.p;
    if (r.df > 65) {
      approx.add(rel(v, r.wilson_hilferty), at);
      exact.add(rel(v, r.quantile), at);
    } else if (r.p >= 0.05f && r.p <= 0.95f) {
      central.add(rel(v, r.quantile), at);
    } else if (r.p >= 0.01f && r.p <= 0.99f) {
      outer.add(rel(v, r.quantile), at);
    } else {
      tails.add(rel(v, r.quantile), at);
    }
  }
  central.check();
  outer.check();
  tails.check();
  approx.check();
  exact.check();
}

TEST(Accuracy, Betin) {
  Worst all{"BETIN", 2e-6};
  for (const auto& r : kBetin) {
    const float v = quiet([&] { return velm::BETIN(r.p, r.pin, r.qin); });
    all.add(rel(v, r.quantile), r.pin * 1000 + r.p);
  }
  all.check();
}

TEST(Accuracy, Tin) {
  Worst cauchy{"TIN DF = 1", 1e-5};
  Worst two{"TIN DF = 2", 1e-5};
  Worst beta{"TIN 1 < DF < 2 (BETIN)", 1e-5};
  // Hill's approximation is weakest just above two degrees of freedom.
  Worst hill_low{"TIN 2 < DF < 3 (Hill)", 3.2e-4};
  Worst hill{"TIN DF >= 3 (Hill)", 1e-5};
  for (const auto& r : kTin) {
    const float v = quiet([&] { return velm::TIN(r.p, r.df); });
    const double e = r.quantile == 0 ? std::fabs(v) : rel(v, r.quantile);
    (r.df == 1   ? cauchy
     : r.df == 2 ? two
     : r.df < 2  ? beta
     : r.df < 3  ? hill_low
                 : hill)
        .add(e, r.df * 100 + r.p);
  }
  cauchy.check();
  two.check();
  beta.check();
  hill_low.check();
  hill.check();
}

}  // namespace
