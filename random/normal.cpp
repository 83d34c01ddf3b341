// Normal, lognormal and multivariate normal variates, the conversion of a
// lognormal's mean and standard deviation to those of its logarithm, and the
// correlated normal pair.
//
// RNNOA is the acceptance/rejection method of Kinderman and Ramage (1976): the
// normal density is split into a central triangle (region 1, taken with
// probability p1 and needing no test), three small correction regions under
// the difference between the density and that triangle (regions 3, 4, 5) and
// the tail beyond xi. The first uniform U of a variate picks the region; each
// region then draws further uniforms V, W.
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>

#include "core/edition.h"
#include "error/checks.h"
#include "error/error.h"
#include "fp/elementary.h"
#include "random/samplers.h"
#include "random/uniform.h"

namespace velm {

namespace {

// The constants are the single-precision values given by their bit patterns;
// building them from the bits keeps them exact whatever a compiler does with
// decimal literals.
constexpr float bits(std::uint32_t b) { return std::bit_cast<float>(b); }

constexpr float kXi = bits(0x400DD388u);     // 2.2160358: half-width of the centre
constexpr float kXiSqH = bits(0x401D2565u);  // 2.4554074: xi^2 / 2, tail offset
constexpr float kP1 = bits(0x3F625270u);     // 0.8840704: probability of region 1
constexpr float kA1 = bits(0x3F90C8ECu);     // 1.1311316: region-1 slope
constexpr float kPt = bits(0x3F792AE8u);     // 0.97331095: start of the tail
constexpr float kPs = bits(0x3F7C9574u);     // 0.9866555: sign split in the tail
constexpr float kP3 = bits(0x3F756EBAu);     // 0.9587208: start of region 3
constexpr float kP4 = bits(0x3F694BCBu);     // 0.91131276: start of region 4
constexpr float kC3 = bits(0x3F217E64u);     // 0.6308348: region-3 slope
constexpr float kM3 = bits(0x3F416E72u);     // 0.7555915: region-3 quick accept
constexpr float kT3 = bits(0x3D0C3FC5u);     // 0.034240503: region-3 test factor
constexpr float kB45 = bits(0x3EF59ED5u);    // 0.47972742: base of regions 4, 5
constexpr float kC4 = bits(0x3F8D8029u);     // 1.1054736: region-4 slope
constexpr float kM4 = bits(0x3F5F721Du);     // 0.872835: region-4 quick accept
constexpr float kT4 = bits(0x3D49C992u);     // 0.049264498: region-4 test factor
constexpr float kC5 = bits(0x3F187328u);     // 0.59550714: region-5 slope
constexpr float kM5 = bits(0x3F4E3A5Bu);     // 0.80557793: region-5 quick accept
constexpr float kT5 = bits(0x3D5AA26Bu);     // 0.05337755: region-5 test factor
constexpr float kPhi0 = bits(0x3ECC422Au);   // 0.3989423: 1 / sqrt(2 pi)
constexpr float kC0 = bits(0x3E385886u);     // 0.18002519: slope of the triangle

// Normal density minus the central triangle at t.
inline float density_excess(float t) {
  return kPhi0 * velm::fp::exp(-(t * t) / 2.0f) - kC0 * (kXi - std::fabs(t));
}

// The uniforms of a variate are U, then pairs (V, W), in stream order. They
// are taken from the stream two at a time (U with the first V, then W with
// the next V, ...) which reads the stream state half as often as drawing them
// singly and consumes exactly the same uniforms: after the pair (U, V1) a
// region either is done (region 1) or needs W1 next, and every later attempt
// needs a fresh pair.
struct PairDraw {
  float u[2];
  float first_v;
  bool have_v;
  void next(float& v, float& w) {
    if (have_v) {
      v = first_v;
      w = RNUNF();
      have_v = false;
    } else {
      RNUN(2, u);
      v = u[0];
      w = u[1];
    }
  }
};

// One variate of a correction region: the candidate is base + slope * min(V, W)
// (slope negative for regions 3 and 5), accepted at once when max(V, W) is
// within the quick bound, else when the density excess covers factor * |V - W|.
// Region 5 (can_go_negative) starts over when the candidate is below zero.
inline float correction_region(PairDraw& d, float base, float slope, float quick, float factor,
                               bool can_go_negative) {
  for (;;) {
    float v, w;
    d.next(v, w);
    const float z = v - w;
    const float t = base + slope * (v < w ? v : w);
    if (can_go_negative && t < 0.0f) continue;
    if ((v < w ? w : v) <= quick || density_excess(t) >= factor * std::fabs(z)) {
      return z < 0.0f ? t : -t;
    }
  }
}

// The variate for U >= p1, whose region needs further uniforms; the first
// V has been drawn with U. Out of line, so that the common case stays short.
[[gnu::noinline]] float normal_outside_region_1(float u, float first_v) {
  PairDraw d;
  d.first_v = first_v;
  d.have_v = true;
  if (u >= kPt) {
    float v, w, t;
    do {
      d.next(v, w);
      t = kXiSqH - velm::fp::log(w);
    } while (v * v * t > kXiSqH);
    const float x = std::sqrt(2.0f * t);
    return u < kPs ? x : -x;
  }
  if (u >= kP3) return correction_region(d, kXi, -kC3, kM3, kT3, false);
  if (u >= kP4) return correction_region(d, kB45, kC4, kM4, kT4, false);
  return correction_region(d, kB45, -kC5, kM5, kT5, true);
}

inline float normal_variate() {
  float u[2];
  RNUN(2, u);
  // Region 1: U and V only.
  if (u[0] < kP1) return kXi * (kA1 * u[0] + u[1]) - kXi;
  return normal_outside_region_1(u[0], u[1]);
}

// The float to which every value within e of d rounds, if there is one (d
// finite and within the range of floats; a NaN d or e gives none). It is d
// rounded, taken straight from d so that the test of the ends is not on the
// way to it.
std::optional<float> single_within(double d, double e) {
  if (static_cast<float>(d - e) == static_cast<float>(d + e)) return static_cast<float>(d);
  return std::nullopt;
}

}  // namespace

void RNNOA(int nr, float* r) {
  if (nr < 1) {
    refuse_count_below_one("RNNOA ", nr);
    return;
  }
  for (int i = 0; i < nr; ++i) r[i] = normal_variate();
}

void RNLNL(int nr, float xm, float s, float* r) {
  // A NaN s is not refused: the normals are drawn as for a valid s and the
  // results are NaN, so that no caller reads an unwritten result.
  if (s <= 0.0f || nr < 1) {
    E1PSH("RNLNL ");
    int nerr = 1;
    ARGRNG(nr, "NR", 1, -1, nerr);
    if (s <= 0.0f) {
      E1STR(1, s);
      E1MES(kTerminal, 2, "The scale parameter S = %(R1), but S must be positive.");
    }
    E1POP("RNLNL ");
    return;
  }
  RNNOA(nr, r);
  for (int i = 0; i < nr; ++i) r[i] = velm::fp::exp(s * r[i] + xm);
}

void RNMVN(int nr, int k, const float* rsig, int ldrsig, float* r, int ldr) {
  const int rows = nr < 0 ? -nr : nr;
  auto sig = [rsig, ldrsig](int i, int j) { return rsig[(i - 1) + (j - 1) * ldrsig]; };
  // The checks below report through the error stack; when every one of them
  // passes they leave no trace, so a call that is plainly in order skips them.
  auto factor_in_order = [&]() {
    for (int i = 1; i < k; ++i) {
      if (sig(i, i) != 0.0f) continue;
      for (int j = i + 1; j <= k; ++j) {
        if (!(sig(i, j) == 0.0f)) return false;
      }
    }
    return true;
  };
  if (nr >= 0 && !(nr >= 1 && ldr >= 1 && nr <= ldr && k >= 1 && ldrsig >= 1 && k <= ldrsig &&
                   factor_in_order())) {
    E1PSH("RNMVN ");
    int nerr = 1;
    ARGDIM(1, nr, "NR", ldr, "LDR", nerr);          // codes 1, 2, 3
    ARGDIM(1, k, "K", ldrsig, "LDRSIG", nerr);      // codes 4, 5, 6
    // The factor check reads the k x k triangle; with a refused K or LDRSIG
    // that triangle is not where the checks say it is, so it is not read.
    if (k >= 1 && ldrsig >= 1 && k <= ldrsig) {
      bool found = false;
      for (int i = 1; i < k && !found; ++i) {
        if (sig(i, i) != 0.0f) continue;
        for (int j = i + 1; j <= k; ++j) {
          if (!(sig(i, j) == 0.0f)) {
            E1STI(1, i);
            E1STI(2, j);
            E1STR(1, sig(i, i));
            E1STR(2, sig(i, j));
            E1MES(kTerminal, nerr,
                  "R(%(I1),%(I1)) = %(R1).  Remaining elements for the row must also be "
                  "zero, but R(%(I1),%(I2)) = %(R2) is not.");
            found = true;
            break;
          }
        }
      }
    }
    ++nerr;
    if (N1RTY(0) > 0) {
      E1POP("RNMVN ");
      return;
    }
    E1POP("RNMVN ");
  }

  // Standard normals, column after column.
  if (ldr == rows) {
    RNNOA(rows * k, r);
  } else {
    for (int j = 0; j < k; ++j) RNNOA(rows, r + static_cast<std::ptrdiff_t>(j) * ldr);
  }
  // Row times the factor, from the last column down: column n of the result
  // needs columns 1..n of the row, none of which is overwritten yet.
  for (int i = 0; i < rows; ++i) {
    float* row = r + i;
    for (int n = k; n >= 1; --n) {
      float sum = row[0] * sig(1, n);
      for (int j = 2; j <= n; ++j) sum += row[static_cast<std::ptrdiff_t>(j - 1) * ldr] * sig(j, n);
      row[static_cast<std::ptrdiff_t>(n - 1) * ldr] = sum;
    }
  }
}

LogMoments lognormal_log_moments(float mean, float sd) {
  if constexpr (kLognormalConversion == Precision::single) {
    // Single precision throughout: an sd / mean below about 2.4e-4 gives
    // v = 0, which RNLNL refuses as a zero scale.
    const float ratio = sd / mean;
    float v = velm::fp::log(1.0f + ratio * ratio);
    if (std::isinf(v) && std::isfinite(sd) && std::isfinite(mean) && mean != 0.0f) {
      // (sd / mean)^2, or sd / mean itself, overflowed: then 1 / ratio^2 is
      // below 3e-39 and ln(1 + ratio^2) is 2 ln|ratio| to single precision,
      // formed from the logarithms so that nothing overflows.
      v = 2.0f * (velm::fp::log(std::fabs(sd)) - velm::fp::log(std::fabs(mean)));
    }
    return {velm::fp::log(mean) - 0.5f * v, std::sqrt(v)};
  } else {
    // Double precision, stored to single: small sd / mean keep a positive
    // scale.
    const double ratio = static_cast<double>(sd) / static_cast<double>(mean);
    const double w = 1.0 + ratio * ratio;
    // Both results are rounded to single precision, and estimates of the two
    // logarithms within 2^-35 almost always decide those roundings: when
    // every value within the estimates' error of a result rounds to one
    // float, the logarithms of fp::log round to it as well. The rest (and
    // any argument the estimates do not take, such as a negative mean) takes
    // the full logarithms.
    const double l_estimate = velm::fp::log_estimate(static_cast<double>(mean));
    const double v_estimate = velm::fp::log_estimate(w);
    const double xm_estimate = l_estimate - 0.5 * v_estimate;
    const double s_estimate = std::sqrt(v_estimate);
    const std::optional<float> xm = single_within(
        xm_estimate, (std::fabs(l_estimate) + 0.5 * v_estimate + std::fabs(xm_estimate)) * 0x1p-34);
    const std::optional<float> s = single_within(s_estimate, s_estimate * 0x1p-34);
    if (xm && s) return {*xm, *s};
    const double v = velm::fp::log(w);
    return {static_cast<float>(velm::fp::log(static_cast<double>(mean)) - 0.5 * v),
            static_cast<float>(std::sqrt(v))};
  }
}

void normal_pair(float mean1, float sd1, float mean2, float sd2, float rho, float& out1,
                 float& out2) {
  // Covariance [[sd1^2, rho sd1 sd2], [rho sd1 sd2, sd2^2]] = R'R with the
  // upper-triangular R = [[sd1, rho sd2], [0, sqrt((sd2 - rho^2 sd2) sd2)]],
  // stored column after column.
  const float reduced = sd2 - rho * rho * sd2;
  const float var2 = reduced * sd2;
  float root = std::sqrt(var2);
  const bool underflowed = var2 == 0.0f ? reduced != 0.0f && sd2 != 0.0f
                                        : var2 > 0.0f && var2 < std::numeric_limits<float>::min();
  if (std::isinf(var2) || underflowed) {
    // The conditional variance sd2^2 (1 - rho^2) left the single-precision
    // range though its root need not: the root is taken in double precision.
    // Variances that fit keep the single-precision form.
    const double wide = sd2;
    const double r = rho;
    root = static_cast<float>(std::sqrt((wide - r * r * wide) * wide));
  }
  const float rsig[4] = {sd1, 0.0f, rho * sd2, root};
  float pair[2];
  RNMVN(1, 2, rsig, 2, pair, 1);
  out1 = pair[0] + mean1;
  out2 = pair[1] + mean2;
}

}  // namespace velm
