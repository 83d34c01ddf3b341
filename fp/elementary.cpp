// Elementary functions from IEEE basic arithmetic alone; see elementary.h.
#include "fp/elementary.h"

#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <limits>

namespace velm::fp {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// ln 2 in two parts: the high part has 32 significant bits, so k * kLn2Hi is
// exact for |k| < 2^21.
constexpr double kLn2Hi = 6.93147180369123816490e-01;
constexpr double kLn2Lo = 1.90821492927058770002e-10;
constexpr double kLn2 = 0x1.62e42fefa39efp-1;
constexpr double kLog2E = 1.44269504088896338700e+00;
constexpr double kPiOver2 = 1.57079632679489661923e+00;
constexpr double kPiOver4 = 0.78539816339744830962e+00;

// The bits of 2/pi after the binary point, 32 per word, most significant
// first (tools/gen/gen_elementary.py prints them).
constexpr std::uint32_t kTwoOverPi[] = {0xA2F9836Eu, 0x4E441529u, 0xFC2757D1u, 0xF534DDC0u,
                                        0xDB629599u, 0x3C439041u, 0xFE5163ABu, 0xDEBBC561u};

#include "fp/elementary_tables_data.inc"

// Rounds a double to single precision; values beyond the largest float round
// to infinity as IEEE conversion does (written out: C++ leaves the
// out-of-range conversion undefined).
float to_float(double d) {
  constexpr double kOverflow = 0x1.ffffffp127;  // halfway above the largest float
  if (d >= kOverflow) return std::numeric_limits<float>::infinity();
  if (d <= -kOverflow) return -std::numeric_limits<float>::infinity();
  return static_cast<float>(d);
}

std::uint64_t bits_of(double x) {
  std::uint64_t b;
  std::memcpy(&b, &x, sizeof b);
  return b;
}

double from_bits(std::uint64_t b) {
  double x;
  std::memcpy(&x, &b, sizeof x);
  return x;
}

// An unevaluated sum hi + lo of two doubles.
struct DoubleDouble {
  double hi;
  double lo;
};

// a + b exactly as hi + lo, for |a| >= |b| (or a = 0).
DoubleDouble fast_two_sum(double a, double b) {
  const double hi = a + b;
  return {hi, b - (hi - a)};
}

// The upper 26 bits of a double, so that products of it with a float are
// exact.
double upper_half(double a) { return from_bits(bits_of(a) & 0xFFFFFFFFF8000000u); }

// y (hi + lo) for a float y, as a double-double: y hi is split into the exact
// products of y with the upper and lower halves of hi.
DoubleDouble times_float(float y, DoubleDouble a) {
  const double yd = y;
  const double h = upper_half(a.hi);
  const double p1 = yd * h;                 // exact: 24 + 26 bits
  const double p2 = yd * (a.hi - h);        // exact: 24 + 27 bits
  const DoubleDouble s = fast_two_sum(p1, p2);
  return fast_two_sum(s.hi, s.lo + yd * a.lo);
}

// hi + lo (|lo| <= ulp(hi)/2) rounded once to single precision. hi alone
// rounds right unless it lies exactly halfway between two floats; there lo
// says on which side the sum lies.
float round_to_float(double hi, double lo) {
  float f = to_float(hi);
  if (lo != 0.0 && static_cast<double>(f) != hi && !std::isinf(f)) {
    const float inf = std::numeric_limits<float>::infinity();
    const float other = std::nextafter(f, hi > f ? inf : -inf);
    if (!std::isinf(other) && hi == (static_cast<double>(f) + other) / 2.0 &&
        (lo > 0.0) == (other > f)) {
      f = other;
    }
  }
  return f;
}

// 2^k for -1022 <= k <= 1023, built from its bits.
double power_of_two(int k) { return from_bits(static_cast<std::uint64_t>(k + 1023) << 52); }

// c[0] + c[1] z + ... + c[7] z^7 by Estrin's scheme: pairs, then pairs of
// pairs in z^2, then z^4, three multiplications deep instead of Horner's
// seven.
double estrin8(double z, const double (&c)[8]) {
  const double z2 = z * z;
  const double z4 = z2 * z2;
  const double a0 = c[0] + c[1] * z, a1 = c[2] + c[3] * z;
  const double a2 = c[4] + c[5] * z, a3 = c[6] + c[7] * z;
  return (a0 + a1 * z2) + (a2 + a3 * z2) * z4;
}

// sin r and cos r for |r| <= pi/4 by their Taylor series (the first terms
// left out, r^19/19! and r^20/20!, are below 2^-62 of the result, far below
// its rounding errors).
double sin_kernel(double r) {
  // (sin r - r) / r^3 = -1/3! + z/5! - ... + z^7/17!
  constexpr double kCoefficients[8] = {-1.0 / 6.0,          1.0 / 120.0,
                                       -1.0 / 5040.0,       1.0 / 362880.0,
                                       -1.0 / 39916800.0,   1.0 / 6227020800.0,
                                       -1.0 / 1307674368000.0, 1.0 / 355687428096000.0};
  const double z = r * r;
  return r + r * z * estrin8(z, kCoefficients);
}

double cos_kernel(double r) {
  // (cos r - 1 + z/2) / z^2 = 1/4! - z/6! + ... - z^7/18!
  constexpr double kCoefficients[8] = {1.0 / 24.0,          -1.0 / 720.0,
                                       1.0 / 40320.0,       -1.0 / 3628800.0,
                                       1.0 / 479001600.0,   -1.0 / 87178291200.0,
                                       1.0 / 20922789888000.0, -1.0 / 6402373705728000.0};
  const double z = r * r;
  // 1 - z/2 + z^2 p, with the large terms added last.
  return 1.0 - (0.5 * z - z * z * estrin8(z, kCoefficients));
}

// asin x for |x| <= 1/2 as x + x^3 p(x^2), where p of degree 13 stands for
// (asin x - x) / x^3 within 2^-58 once its coefficients are rounded to
// doubles (so asin x within 2^-60 relative): the Chebyshev interpolant over
// [0, 1/4] in z = x^2 (tools/gen/gen_elementary.py makes it). It takes 14 terms where the
// Maclaurin series, whose coefficients fall by only 1/4 a term at x = 1/2,
// takes 30. p is evaluated as four interleaved Horner chains in z^4 (the
// terms m = k mod 4 in chain k), joined at the end: a quarter of the
// dependent steps of one chain.
constexpr double kAsinCoefficients[] = {
    0x1.5555555555555p-3, 0x1.3333333333388p-4, 0x1.6db6db6dac1e0p-5, 0x1.f1c71c7a52ba3p-6,
    0x1.6e8ba123e494cp-6, 0x1.1c4efce23019fp-6, 0x1.c990ad3d8fdcap-7, 0x1.7b027ee1dd585p-7,
    0x1.3b49de7121487p-7, 0x1.31622469ce5adp-7, 0x1.8f193743418ffp-9, 0x1.406192d124629p-6,
    -0x1.3b416bb7d9257p-6, 0x1.e529c6fce9bb4p-6};
constexpr int kAsinTerms = static_cast<int>(std::size(kAsinCoefficients));

double asin_kernel(double x) {
  const double z = x * x;
  const double z2 = z * z;
  const double z4 = z2 * z2;
  double chain[4] = {};
  for (int j = (kAsinTerms - 1) / 4; j >= 0; --j)
    for (int k = 0; k < 4; ++k)
      if (k + 4 * j < kAsinTerms) chain[k] = chain[k] * z4 + kAsinCoefficients[k + 4 * j];
  const double p = (chain[0] + chain[1] * z) + (chain[2] + chain[3] * z) * z2;
  return x + x * z * p;
}

// pi/2 in three parts of 33, 33 and 53 significant bits, so that k times
// either of the first two is exact for |k| < 2^20, and 2/pi rounded to double
// (tools/gen/gen_elementary.py prints them).
constexpr double kPiOver2Part1 = 0x1.921fb544p+0;
constexpr double kPiOver2Part2 = 0x1.0b4611a6p-34;
constexpr double kPiOver2Part3 = 0x1.3198a2e037073p-69;
constexpr double kTwoOverPiD = 0x1.45f306dc9c883p-1;

// Reduces x with pi/4 < |x| < 2^19 to r within pi/4 (and a rounding) of 0
// and the quadrant q with x = r + q pi/2 modulo 2 pi (Cody and Waite): k, the
// integer nearest x 2/pi, is below 2^19, so k pi/2 is taken off exactly in
// its first two parts and the third leaves an error below 2^-95. x - k P1
// loses nothing (P1 is just below pi/2, so the two are within a factor of two
// of one another), and each later step rounds once, within 2^-53 of r.
double reduce_moderate(double x, int& q) {
  constexpr double kShifter = 0x1.8p52;
  const double k = (x * kTwoOverPiD + kShifter) - kShifter;
  q = static_cast<int>(static_cast<std::int64_t>(k) & 3);
  return ((x - k * kPiOver2Part1) - k * kPiOver2Part2) - k * kPiOver2Part3;
}

// Reduces a finite float x with |x| > pi/4 (in use from 2^19 on) to r in
// [-pi/4, pi/4] and the quadrant q (0..3) with x = r + q pi/2 modulo 2 pi,
// exactly enough for single precision at any magnitude: x = M 2^E with an
// integer M < 2^24, and only the bits of 2/pi that can reach the last two
// integer bits and the first 64 fraction bits of x (2/pi) take part (96 bits,
// multiplied in integers).
double reduce(float x, int& q) {
  const bool negative = x < 0.0f;
  int exponent = 0;
  const float mantissa = std::frexp(negative ? -x : x, &exponent);  // x = m 2^e, m in [1/2, 1)
  const auto m = static_cast<std::uint32_t>(std::ldexp(mantissa, 24));
  const int e = exponent - 24;  // x = m 2^e with m an integer
  // Bits of 2/pi from position p (1 = first after the point) on; those before
  // p add multiples of 4 to x (2/pi) and do not matter.
  const int p = e - 1 > 1 ? e - 1 : 1;
  std::uint32_t w[3];
  for (int k = 0; k < 3; ++k) {
    const int bit = p - 1 + 32 * k;  // 0-based index of the first bit of word k
    const int word = bit / 32, shift = bit % 32;
    std::uint32_t value = kTwoOverPi[word] << shift;
    if (shift != 0) value |= kTwoOverPi[word + 1] >> (32 - shift);
    w[k] = value;
  }
  // P = m * (w0 w1 w2), a number of 128 bits in two halves.
  const std::uint64_t t2 = static_cast<std::uint64_t>(m) * w[2];
  const std::uint64_t t1 = static_cast<std::uint64_t>(m) * w[1] + (t2 >> 32);
  const std::uint64_t t0 = static_cast<std::uint64_t>(m) * w[0] + (t1 >> 32);
  const std::uint64_t hi = t0;
  const std::uint64_t lo = (t1 << 32) | (t2 & 0xFFFFFFFFu);
  // x (2/pi) = P 2^-s; s lies in 94..120 for |x| > pi/4.
  const int s = p + 95 - e;
  q = static_cast<int>((hi >> (s - 64)) & 3u);
  const int o = s - 64;
  const std::uint64_t fraction = (lo >> o) | (hi << (64 - o));
  // Fractions of a half or more belong to the next quadrant, as negatives.
  const auto centred = static_cast<std::int64_t>(fraction);
  if (fraction >> 63) q = (q + 1) & 3;
  const double r = std::ldexp(static_cast<double>(centred), -64) * kPiOver2;
  if (negative) {
    q = (4 - q) & 3;
    return -r;
  }
  return r;
}

// log x for finite x > 0 as an unevaluated sum hi + lo, |lo| <= ulp(hi)/2,
// within about 2^-62 of log x relative.
DoubleDouble log_dd(double x) {
  // x = m 2^e with m in [sqrt(1/2), sqrt(2)), read from the bits (subnormals
  // are scaled up by 2^54 first): subtracting the bits of sqrt(1/2) leaves e
  // in the exponent field, and removing it from the bits of x leaves m.
  int e = 0;
  if (x < 0x1p-1022) {
    x = x * 0x1p54;
    e = -54;
  }
  const std::uint64_t b = bits_of(x);
  const std::uint64_t offset = b - 0x3FE6A09E667F3BCDu;
  e += static_cast<int>(static_cast<std::int64_t>(offset) >> 52);
  const std::uint64_t m_bits = b - (offset & 0xFFF0000000000000u);
  const double m = from_bits(m_bits);
  // c = i/128 nearest to m (i = 91..181) and t ~ 1/c from the table: log m =
  // log(m t) - log t with m t = 1 + r, |r| < 2^-7.4. r is exact as rh + rl:
  // m = mh + ml with mh the top 41 bits of m, t has 12 bits, so mh t and ml t
  // are exact, and mh t - 1 is exact (mh t is within a factor 2 of 1). Near
  // x = 1, e = 0 and t = 1, so nothing cancels. i = floor((256 m + 1) / 2),
  // the integer nearest to 128 m, from the significand of m.
  const int shift = 44 + static_cast<int>(1023 - (m_bits >> 52));
  const auto i = static_cast<int>(
      ((((m_bits & 0x000FFFFFFFFFFFFFu) | 0x0010000000000000u) >> shift) + 1) >> 1);
  const auto* row = kLogTable[i - 90];
  const double t = row[0];
  const double mh = from_bits(m_bits & ~std::uint64_t{0xFFF});
  const double rh = mh * t - 1.0;
  const double rl = (m - mh) * t;
  // r = rh + rl with its rounding error (none when t = 1, where r = m - 1).
  const double r = rh + rl;
  const double r_error = (rh - r) + rl;
  // hi = e (ln 2)_hi + (-log t)_hi is exact (both are multiples of 2^-42 below
  // 2^10); hi + r is summed exactly (|hi| > |r| unless hi = 0), and the small
  // parts are added to its rounding error before the one last rounding.
  const double k = e;
  const double hi = k * kLn2Hi + row[1];
  const double sum = hi + r;
  const double small = ((hi - sum) + r) + (r_error + (k * kLn2Lo + row[2]));
  // log(1 + r) - r = -r^2/2 + r^3/3 - ... - r^8/8 (the first term left out is
  // below 2^-60 of the result), in pairs of terms for a shorter dependency chain.
  const double r2 = r * r;
  const double r4 = r2 * r2;
  const double tail = r2 * (((-0.5 + r * (1.0 / 3.0)) + r2 * (-0.25 + r * 0.2)) +
                            r4 * ((-1.0 / 6.0 + r * (1.0 / 7.0)) + r2 * -0.125));
  return fast_two_sum(sum, small + tail);
}

// e^(x + dx) for x in the finite range of the double result and |dx| below
// 2^-40 |x| or so: v 2^n with v = hi + lo in [2^-1/256, 2^(1 + 1/256)),
// within about 2^-60 relative.
struct ScaledDouble {
  DoubleDouble v;
  int n;
};
ScaledDouble exp_dd(double x, double dx) {
  // x = (n + j/128) ln2 + r with j = 0..127 and |r| <= ln2/256; adding and
  // removing 1.5 2^52 rounds x 128 log2(e) to the nearest integer, and
  // k (ln 2/128)_hi is exact for |k| < 2^21.
  constexpr double kShifter = 0x1.8p52;
  const double k = (x * (128.0 * kLog2E) + kShifter) - kShifter;
  const double r = ((x - k * (kLn2Hi / 128.0)) - k * (kLn2Lo / 128.0)) + dx;
  // e^r - 1 by its Taylor series to r^5 (the first term left out is below
  // 2^-60), in pairs of terms for a shorter dependency chain.
  const double r2 = r * r;
  const double p =
      r + (r2 * (0.5 + r * (1.0 / 6.0)) + (r2 * r2) * (1.0 / 24.0 + r * (1.0 / 120.0)));
  const auto ki = static_cast<std::int64_t>(k);
  const auto* t = kExp2Table[ki & 127];
  const int n = static_cast<int>((ki - (ki & 127)) / 128);
  // 2^(j/128) e^r = hi + (lo + hi (e^r - 1)).
  return {fast_two_sum(t[0], t[1] + t[0] * p), n};
}

// The fast paths of the single-precision functions evaluate in double with
// an error of a few dozen units of the double's last place, then round once.
// That is the correctly rounded float unless the double lies within its error
// of a midpoint between two floats; rounds_safely tells, and the rare rest
// goes to the double-double evaluations above.

// True when d, a double in the normal range of floats whose error is below
// `margin` units in its last place, lies farther than that from every
// midpoint between two floats: its 29 bits below a float's last place are
// then farther than margin from 2^28, that is, those bits less 2^28 - margin
// (modulo 2^29) exceed 2 margin.
bool rounds_safely(double d, std::uint64_t margin) {
  return ((bits_of(d) - (0x10000000u - margin)) & 0x1FFFFFFFu) > 2 * margin;
}

// x = 2^k z for a positive normal x, with z in [0.697, 1.395) and the row of
// kLogFloatTable for z's interval: x less 0.697265625 (0x3F328000 as a
// float), in bits, holds k in its exponent field and the interval, one of
// 128 of 2^-7 binades, in its next 7 bits. Split from a double's bits or, to
// save the conversion on the way to the table, from a float's.
struct LogSplit {
  const double* row;
  double k;
  double z;
};
LogSplit split_for_log(double x) {
  const std::uint64_t b = bits_of(x);
  const std::uint64_t offset = b - 0x3FE6500000000000u;
  return {kLogFloatTable[(offset >> 45) % 128],
          static_cast<double>(static_cast<std::int64_t>(offset) >> 52),
          from_bits(b - (offset & 0xFFF0000000000000u))};
}
// For a float: the offset's bits above the interval's 7 bits and the
// interval's, 128 k + i, and z.
struct FloatLogSplit {
  std::int32_t intervals;
  double z;
};
FloatLogSplit split_float_for_log(std::uint32_t ix) {
  const std::uint32_t offset = ix - 0x3F328000u;
  return {static_cast<std::int32_t>(offset) >> 16,
          std::bit_cast<float>(ix - (offset & 0xFF800000u))};
}
LogSplit split_for_log(std::uint32_t ix) {
  const auto [intervals, z] = split_float_for_log(ix);
  return {kLogFloatTable[static_cast<std::uint32_t>(intervals) % 128],
          static_cast<double>(intervals >> 7), z};
}

// The fast paths of log, exp and pow are written once over the multiply-add
// a b + c of their polynomials and reductions, and built twice: rounded as a
// product and a sum, for every processor, and fused (rounded once), where the
// processor has the instruction. A fused step's error is at most the two
// roundings' it replaces, so every bound below holds for both builds, and
// both round to the same floats (the check of every float runs both).
// The kernels are put whole into each build's function (the compiler would
// otherwise call them from the fused build, where they are shared).
#if defined(__GNUC__)
#define VELM_FP_KERNEL [[gnu::always_inline]] inline
#else
#define VELM_FP_KERNEL inline
#endif
struct Separate {
  static double mul_add(double a, double b, double c) { return a * b + c; }
};
struct Fused {
  static double mul_add(double a, double b, double c) { return std::fma(a, b, c); }
};

// log x for a positive normal double x, within 2^-35 relative: with x = 2^k z
// split as above, log x = k ln 2 + log c + log(z/c). r = z/c - 1 is
// within 2^-8 of 0, and log(1 + r) = r + r^2 q(r) with q of degree 2. For a
// float x, r is exact (z has 24 significant bits and the table's 1/c 28);
// for a longer x it rounds once, by at most 2^-53. Where x is near 1, k = 0
// and 1/c = 1, so nothing cancels and r is exact; elsewhere |log x| > 2^-9,
// and the error of r^2 q, below 2^-44, is below 2^-35 of it.
template <class A>
VELM_FP_KERNEL double log_short(LogSplit s) {
  const double r = A::mul_add(s.z, s.row[0], -1.0);
  const double y0 = A::mul_add(s.k, kLn2, s.row[1]);
  const double r2 = r * r;
  return A::mul_add(r2 * r, A::mul_add(kLogFloatQ[2], r, kLogFloatQ[1]),
                    A::mul_add(kLogFloatQ[0], r2, y0 + r));
}

// pow's two columns side by side, read from one base with the interval's
// index alone.
struct PowLogColumns {
  double inv_c[128];
  double scaled_log_c[128];
  constexpr PowLogColumns() : inv_c(), scaled_log_c() {
    for (int i = 0; i < 128; ++i) {
      inv_c[i] = kLogFloatTable[i][0];
      scaled_log_c[i] = kPowLogTable[i];
    }
  }
};
constexpr PowLogColumns kPowLogColumns;

// C log x with C = 128/ln 2 (the argument the exponential below takes) for a
// positive normal float x, from its bits, within 2^-45 relative, for pow: as
// log_short with q of degree 3, within 2^-37.5, so that r^2 q is within
// 2^-45.5 |r|, and 128 k + C log c for interval i taken as (128 k + i - 77)
// + (C log c - (i - 77)): the first is the offset's bits above the interval's
// 7, less 77, an integer; the second, from the table, is below 12 in
// magnitude and 0 for the interval holding 1. Near 1 the error is that of
// r^2 q. Elsewhere r^2 q is within 2^-53.5 and C |log x| above 2^-9 C (2^-8 C
// where |r| may reach 2^-8), and the sum before it, at most three times
// C |log x| (|log(1 + r)| is below 2^-8), rounds within a few units of 2^-53
// of it, as does C r. C r is formed beside r^2, and the polynomial as
// C q0 r^2 + r^3 (C q1 + C q2 r + C q3 r^2), so that no more than four
// operations follow r.
template <class A>
VELM_FP_KERNEL double scaled_log_for_pow(std::uint32_t ix) {
  const auto [intervals, z] = split_float_for_log(ix);
  const std::uint32_t row = static_cast<std::uint32_t>(intervals) % 128;
  const double r = A::mul_add(z, kPowLogColumns.inv_c[row], -1.0);
  const double r2 = r * r;
  const double leading = A::mul_add(
      128.0 * kLog2E, r, static_cast<double>(intervals - 77) + kPowLogColumns.scaled_log_c[row]);
  const double rest = A::mul_add(kPowLogQ[3], r2, A::mul_add(kPowLogQ[2], r, kPowLogQ[1]));
  return A::mul_add(r2 * r, rest, A::mul_add(kPowLogQ[0], r2, leading));
}

// Bits of 2^(j/128) less j 2^45: adding k 2^45 for k = 128 n + j then gives
// the bits of 2^(k/128) = 2^n 2^(j/128) for a normal result.
struct Exp2Bits {
  std::uint64_t b[128];
  constexpr Exp2Bits() : b() {
    for (int j = 0; j < 128; ++j) {
      b[j] = std::bit_cast<std::uint64_t>(kExp2Table[j][0]) - (static_cast<std::uint64_t>(j) << 45);
    }
  }
};
constexpr Exp2Bits kExp2Bits;

// 2^(z/128) for z = a b, that is e^x for z = x 128/ln 2, within 2^-40.4
// relative where it is a normal float. z = k + r with k the nearest integer
// and |r| <= 1/2, and 2^(z/128) = 2^(k/128) 2^(r/128): the first from the
// table's bits, the second 1 + r g(r) with g of degree 2 (within 2^-40.5).
// z rounds within 2^-38.7 (|z| < 2^14.3), which moves the result by under
// 2^-46, and r = z - k is exact. Separately rounded, k is the integer nearest
// z; fused (a b plus the shifter rounded once), nearest the exact a b, so |r|
// may pass 1/2 by z's rounding, too little to move g's error. The shifter
// leaves k in the low bits of the shifted sum, as a 64-bit two's complement
// number; `normal` tells from those bits whether k lies in [-16127, 16383],
// so that the result is a normal float (z within [-16127.5, 16383.5)),
// without comparing z: for a NaN, an infinity or a z beyond 2^51 in
// magnitude, the bits are far from the shifter's. exp passes x and
// 128/ln 2, pow y and C log x.
struct Exp2 {
  double value;
  bool normal;
};
template <class A>
VELM_FP_KERNEL Exp2 exp2_fast(double a, double b) {
  constexpr double kShifter = 0x1.8p52;
  const double shifted = A::mul_add(a, b, kShifter);
  const std::uint64_t ki = bits_of(shifted);
  const double r = a * b - (shifted - kShifter);
  const double s = from_bits(kExp2Bits.b[ki % 128] + (ki << 45));
  const double r2 = r * r;
  return {s * A::mul_add(r2, A::mul_add(kExpFloatG[2], r, kExpFloatG[1]),
                         A::mul_add(kExpFloatG[0], r, 1.0)),
          ki - (std::bit_cast<std::uint64_t>(kShifter) - 16127) <= 16127 + 16383};
}

// Margins of the fast paths in units of the double's last place: the
// relative errors above, 2^-35 and 2^-40.4, are below 2^18 and 2^12.6 units
// (a double's unit is at least 2^-53 of it), and a few roundings more.
constexpr std::uint64_t kLogMargin = std::uint64_t{1} << 19;
constexpr std::uint64_t kExpMargin = std::uint64_t{1} << 13;
// pow's result e^t: t = y log x within 2^-45 |t| (its z = C y log x within
// 2^-45 |z|: C log x within 2^-45 relative, the product rounded once), so
// e^t within 88.72 2^-45 + 2^-40.4 for |t| <= 88.72, below 2^14.9 units.
constexpr std::uint64_t kPowMargin = std::uint64_t{1} << 15;

// Rows j = 0..127 of sin(j pi/64 + f pi/64) = a0 + a1 f + ... + a5 f^5 (see
// sin_fast), one array per coefficient so that a row is read with the index
// alone.
struct SinCosRows {
  double a0[128], a1[128], a2[128], a3[128], a4[128], a5[128];
  constexpr SinCosRows() : a0(), a1(), a2(), a3(), a4(), a5() {
    for (int j = 0; j < 128; ++j) {
      a0[j] = kSinCosTable[j][0];
      a1[j] = kSinCosTable[j][1];
      a2[j] = a0[j] * kCosFastC[0];
      a3[j] = a1[j] * kSinFastS[0];
      a4[j] = a0[j] * kCosFastC[1];
      a5[j] = a1[j] * kSinFastS[1];
    }
  }
};
constexpr SinCosRows kSinCosRows;

// sin(j pi/64 + f pi/64) for |f| <= 1/2 + 2^-5.5 from row j modulo 128, by
// Estrin's scheme in f: three multiplications and additions deep once f is
// known (the row's loads go beside the reduction that makes f).
double sin_about(double f, std::uint32_t j) {
  j %= 128;
  const double w = f * f;
  const double& a0 = kSinCosRows.a0[j];
  return (a0 + kSinCosRows.a1[j] * f) +
         (w * (kSinCosRows.a2[j] + kSinCosRows.a3[j] * f) +
          (w * w) * (kSinCosRows.a4[j] + kSinCosRows.a5[j] * f));
}

// sin(x + offset pi/64) for a float x with |x| < 2^19, within 2^-39.4
// relative where the result is at least 2^-126 in magnitude (cos is the
// offset 32). x 64/pi = k + f with k an integer and f = (x Chi - k) + x Clo:
// x Chi is exact (x has 24 significant bits and Chi 29) and so is x Chi - k
// (|x Chi - k| < 1). Below 2^12, k is x 64/pi rounded to an integer in
// single precision, from x itself while x is converted to double (x 64/pi is
// then within 2^-6.6 of the float product, and |x Clo| < 2^-14.2); above, k
// is the integer nearest x Chi (and |x Clo| < 2^-7.2). So |f| < 1/2 + 2^-5.5.
// Either shifter leaves k in the low bits of its sum. With j = k + offset
// modulo 128 and h = pi/64,
//   sin(x + offset h) = sin(j h) cos(h f) + cos(j h) sin(h f)
//                     = S + B f + w (S c0 + B s0 f) + w^2 (S c1 + B s1 f)
// for w = f^2, S = sin(j h) and B = h cos(j h) from the table, and the
// polynomials sin(h f) = h f (1 + w s(w)) within 2^-46.8 and
// cos(h f) = 1 + w c(w) within 2^-44.0. The error relative to the result:
//   - where S = 0 the result is B f (1 + w s(w)), and f is relatively exact
//     but for the reduction: x Clo rounds within 2^-59 and 64/pi - Chi - Clo
//     is below 2^-80, and no float below 2^19 lies nearer than 2^-27.8 to a
//     multiple of pi/2 (nor nearer than 2^-24.8 in [2^18, 2^19), where the
//     error is largest), which leaves 2^-39.5;
//   - elsewhere the result is at least sin(0.478 h) ~ 2^-5.4 and at least
//     |S|/2.1, so the reduction adds 2^-53 and the polynomials 2^-42.8;
//   - roundings and the table add below 2^-50.
double sin_fast(float x, std::uint32_t offset) {
  const double xd = x;
  const double t = xd * kSixtyFourOverPiHi;
  const double lo = xd * kSixtyFourOverPiLo;
  if (std::fabs(x) < 0x1p12f) {
    constexpr float kShifter = 0x1.8p23f;
    constexpr auto kSixtyFourOverPiF = static_cast<float>(kSixtyFourOverPiHi);
    const float shifted = x * kSixtyFourOverPiF + kShifter;
    const double k = shifted - kShifter;
    return sin_about((t - k) + lo, std::bit_cast<std::uint32_t>(shifted) + offset);
  }
  constexpr double kShifter = 0x1.8p52;
  const double shifted = t + kShifter;
  const double k = shifted - kShifter;
  return sin_about((t - k) + lo, static_cast<std::uint32_t>(bits_of(shifted)) + offset);
}

// asin x for 2^-126 <= |x| <= 1 within 2^-36.9 relative, without branches:
// asin x = a + b t q(t^2) with q(z) = 1 + z p(z) and |t| <= 1/2, where t = |x|
// for |x| <= 1/2 and, above, asin |x| = pi/2 - 2 asin t with
// t = sqrt((1 - |x|)/2) (1 - |x| is exact). For |x| <= 1/2, x^2 <= 1/4 <=
// (1 - |x|)/2 and |x| <= 1/2 <= sqrt((1 - |x|)/2), and above the other way
// round (by far more than the roundings), so z and t are the smaller of
// each pair; z needs no square root, which runs beside the polynomial. q, of
// degree 8, is evaluated by Estrin's scheme. p within 2^-35.9 gives q within
// 2^-37.9, and the result within 2^-36.9 relative (2 asin t is at most 2/3
// of pi/2 - 2 asin t); roundings add below 2^-49.
//
// a and b for |x| <= 1/2 and above, each for x >= 0 and x < 0.
constexpr double kAsinSum[4][2] = {
    {0.0, 1.0}, {0.0, -1.0}, {kPiOver2, -2.0}, {-kPiOver2, 2.0}};

double smaller(double a, double b) { return b < a ? b : a; }

double asin_fast(float x) {
  const std::uint32_t bits = std::bit_cast<std::uint32_t>(x);
  const auto* sum = kAsinSum[2 * ((bits & 0x7FFFFFFFu) > 0x3F000000u) + (bits >> 31)];
  const double xd = x;
  const double ax = std::fabs(xd);
  const double z_outer = (1.0 - ax) * 0.5;
  const double z = smaller(xd * xd, z_outer);
  const double t = smaller(ax, std::sqrt(z_outer));
  const double* p = kAsinFastP;
  const double z2 = z * z;
  const double z4 = z2 * z2;
  const double q = (((1.0 + p[0] * z) + (p[1] + p[2] * z) * z2) + p[7] * (z4 * z4)) +
                   ((p[3] + p[4] * z) + (p[5] + p[6] * z) * z2) * z4;
  return sum[0] + (sum[1] * t) * q;
}

// Margins of the fast sine, cosine and arcsine: the relative errors above,
// 2^-39.4 and 2^-36.9, are below 2^13.6 and 2^16.1 units.
constexpr std::uint64_t kSinCosMargin = std::uint64_t{1} << 15;
constexpr std::uint64_t kAsinMargin = std::uint64_t{1} << 17;

// sin and cos evaluate in double and round once, which is right for every
// float but these few: their double result lies within its error of a
// midpoint between two floats, and the rounding goes the wrong way. They were
// found by trying every float against MPFR (tools/check_elementary), which
// also proves every other result; here they get their correctly rounded
// values.
struct Correction {
  std::uint32_t x;
  std::uint32_t result;
};
constexpr Correction kSinCorrections[] = {{0x46199998u, 0xBEB1FA5Du}, {0xC6199998u, 0x3EB1FA5Du}};
constexpr Correction kCosCorrections[] = {{0x5F18B878u, 0x3F7F14BBu}, {0xDF18B878u, 0x3F7F14BBu},
                                          {0x6115CB11u, 0x3F78142Fu}, {0xE115CB11u, 0x3F78142Fu}};

template <std::size_t N>
float corrected(float x, double computed, const Correction (&table)[N]) {
  const auto b = std::bit_cast<std::uint32_t>(x);
  for (const Correction& c : table) {
    if (c.x == b) return std::bit_cast<float>(c.result);
  }
  return static_cast<float>(computed);
}

}  // namespace

double log(double x) {
  if (x != x) return x;
  if (x < 0.0) return kNaN;
  if (x == 0.0) return -kInf;
  if (x == kInf) return x;
  return log_dd(x).hi;
}

double exp(double x) {
  if (x != x) return x;
  if (x > 709.782712893383973096) return kInf;
  if (x < -745.133219101941108420) return 0.0;
  const auto [v, n] = exp_dd(x, 0.0);
  if (n > 1023) return v.hi * power_of_two(1023) * power_of_two(n - 1023);
  // Below 2^-1022 the one rounding happens in the last product.
  if (n < -1022) return (v.hi * power_of_two(n + 200)) * power_of_two(-200);
  return v.hi * power_of_two(n);
}

// The rare arguments off the fast paths: special values, subnormals and
// results near a midpoint between two floats. Kept out of line so that the
// fast paths need no stack frame.
namespace {

[[gnu::noinline]] float log_rest(float x) {
  if (!(x > 0.0f) || x == std::numeric_limits<float>::infinity()) {
    return static_cast<float>(log(static_cast<double>(x)));
  }
  const DoubleDouble l = log_dd(x);
  return round_to_float(l.hi, l.lo);
}

[[gnu::noinline]] float exp_rest(float x) {
  if (x != x) return x;
  if (x > 89.0f) return std::numeric_limits<float>::infinity();
  if (x < -104.0f) return 0.0f;
  const auto [v, n] = exp_dd(x, 0.0);
  const double scale = power_of_two(n);
  return round_to_float(v.hi * scale, v.lo * scale);
}

// pow for what its fast path leaves: special values, negative bases, exact
// results and results near a midpoint between two floats.
[[gnu::noinline]] float pow_rest(float x, float y) {
  if (y == 0.0f || x == 1.0f) return 1.0f;
  if (x != x || y != y) return std::numeric_limits<float>::quiet_NaN();
  const float ay = std::fabs(y);
  // Floats of 2^23 and above are integers; below, adding and removing 2^23
  // rounds to an integer.
  const bool integer = ay >= 8388608.0f || (ay + 8388608.0f) - 8388608.0f == ay;
  // Floats of 2^24 and above are even integers.
  const bool odd = integer && ay < 16777216.0f && (static_cast<std::uint32_t>(ay) & 1u) == 1u;
  const float inf = std::numeric_limits<float>::infinity();
  if (ay == inf) {
    const float ax = std::fabs(x);
    if (ax == 1.0f) return 1.0f;
    return (ax > 1.0f) == (y > 0.0f) ? inf : 0.0f;
  }
  if (x == 0.0f) {
    const float magnitude = y < 0.0f ? inf : 0.0f;
    return odd ? std::copysign(magnitude, x) : magnitude;
  }
  if (std::fabs(x) == inf) {
    const float magnitude = y < 0.0f ? 0.0f : inf;
    return odd && x < 0.0f ? -magnitude : magnitude;
  }
  if (x < 0.0f && !integer) return std::numeric_limits<float>::quiet_NaN();
  const float sign = odd && x < 0.0f ? -1.0f : 1.0f;
  // Exact results can lie exactly halfway between two floats (2^-150, 4097^2,
  // (2^-97 9/8)^(3/2)), where only the exact value rounds right. With
  // |x| = m 2^k (m odd) and y = n / 2^j (n odd, or j = 0 for an integer y),
  // x^y is rational only when m is a perfect 2^j-th power r^(2^j) and the
  // power of two k y is an integer: then x^y = r^n 2^(k y). Those results whose
  // odd part fits in 53 bits are computed exactly and rounded once.
  {
    std::uint32_t xb;
    const float ax = std::fabs(x);
    std::memcpy(&xb, &ax, sizeof xb);
    const auto biased = static_cast<int>(xb >> 23);
    std::uint64_t m = xb & 0x7FFFFFu;
    int k = -149;
    if (biased != 0) {
      m |= 0x800000u;
      k = biased - 150;
    }
    const int zeros = std::countr_zero(m);  // m > 0: x is finite and not 0
    m >>= zeros;
    k += zeros;
    const double e = static_cast<double>(k) * y;  // exact: |k| < 2^8, |y| < 2^128
    const bool integral_exponent = e == std::floor(e);
    if (m == 1 && integral_exponent) {
      if (e > 300.0) return sign * inf;
      if (e < -300.0) return sign * 0.0f;
      return sign * to_float(power_of_two(static_cast<int>(e)));
    }
    // y = n / 2^j: the 2^j-th root of m must be an integer r (j <= 3 for m > 1,
    // since 3^16 has more than 24 bits); only n > 0 keeps r^n an integer.
    int j = 0;
    float scaled = ay;
    while (j <= 3 && scaled != std::floor(scaled)) {
      scaled *= 2.0f;
      ++j;
    }
    std::uint64_t r = m;
    for (int i = 0; i < j && r > 1; ++i) {
      const auto root = static_cast<std::uint64_t>(std::sqrt(static_cast<double>(r)) + 0.5);
      r = root * root == r ? root : 0;
    }
    if (m > 1 && y > 0.0f && integral_exponent && r > 1 && scaled <= 53.0f &&
        scaled == std::floor(scaled)) {
      // r^n >= 2^(n (w - 1)) for r of w bits: only below 53 can r^n fit.
      const int n = static_cast<int>(scaled);
      if (n * (static_cast<int>(std::bit_width(r)) - 1) < 53) {
        std::uint64_t power = 1;
        bool exact = true;
        for (int i = 0; i < n && exact; ++i) {
          exact = power <= (std::uint64_t{1} << 53) / r;
          power *= exact ? r : 1;
        }
        if (exact) {
          return sign * to_float(std::ldexp(static_cast<double>(power), static_cast<int>(e)));
        }
      }
    }
  }
  // x^y = e^t with t = y log|x| carried as a double-double, so that the error
  // of t, multiplied by |t| <= 104 for a finite non-zero float result, stays
  // far below the spacing of floats.
  const DoubleDouble t = times_float(y, log_dd(std::fabs(static_cast<double>(x))));
  if (t.hi > 89.0) return sign * inf;
  if (t.hi < -104.0) return sign * 0.0f;
  const auto [v, n] = exp_dd(t.hi, t.lo);
  // v 2^n with n >= -150: scaling by 2^n is exact in double.
  const double scale = power_of_two(n);
  return sign * round_to_float(v.hi * scale, v.lo * scale);
}

// The rest of sin, cos and asin: special values, tiny and huge arguments,
// and results near a midpoint between two floats, evaluated within about
// 2^-60.
[[gnu::noinline]] float sin_rest(float x) {
  if (std::fabs(x) == std::numeric_limits<float>::infinity()) {
    return std::numeric_limits<float>::quiet_NaN();
  }
  if (x != x || x == 0.0f) return x;  // keeps the sign of zero
  if (std::fabs(x) <= kPiOver4) return static_cast<float>(sin_kernel(x));
  int q = 0;
  const double r = std::fabs(x) < 0x1p19f ? reduce_moderate(x, q) : reduce(x, q);
  const double s = q & 1 ? cos_kernel(r) : sin_kernel(r);
  return corrected(x, q & 2 ? -s : s, kSinCorrections);
}

[[gnu::noinline]] float cos_rest(float x) {
  if (std::fabs(x) == std::numeric_limits<float>::infinity()) {
    return std::numeric_limits<float>::quiet_NaN();
  }
  if (x != x) return x;
  if (std::fabs(x) <= kPiOver4) return static_cast<float>(cos_kernel(x));
  int q = 0;
  const double r = std::fabs(x) < 0x1p19f ? reduce_moderate(x, q) : reduce(x, q);
  const double c = q & 1 ? sin_kernel(r) : cos_kernel(r);
  return corrected(x, (q + 1) & 2 ? -c : c, kCosCorrections);
}

[[gnu::noinline]] float asin_rest(float x) {
  if (x != x) return x;
  const double ax = std::fabs(static_cast<double>(x));
  if (ax > 1.0) return std::numeric_limits<float>::quiet_NaN();
  if (ax <= 0.5) return static_cast<float>(asin_kernel(x));
  // asin |x| = pi/2 - 2 asin sqrt((1 - |x|) / 2); 1 - |x| is exact.
  const double a = kPiOver2 - 2.0 * asin_kernel(std::sqrt((1.0 - ax) / 2.0));
  return static_cast<float>(x < 0.0f ? -a : a);
}

// The fast paths take 2^-125 <= |x| < 2^19 for sin (|sin x| is then at least
// 2^-126: below 2^-125 it may not be), |x| < 2^19 for cos and
// 2^-126 <= |x| <= 1 for asin, all by one unsigned comparison of the bits of
// |x|.
}  // namespace

double log_estimate(double x) {
  if (!(x >= 0x1p-1022 && x <= std::numeric_limits<double>::max())) return kNaN;
  return log_short<Separate>(split_for_log(x));
}

namespace {

// The fast paths over either arithmetic; the rest is shared.
template <class A>
float log_with(float x) {
  const auto ix = std::bit_cast<std::uint32_t>(x);
  if (ix - 0x00800000u < 0x7F000000u) {  // positive, normal and finite
    const double fast = log_short<A>(split_for_log(ix));
    if (rounds_safely(fast, kLogMargin)) return static_cast<float>(fast);
  }
  return log_rest(x);
}

template <class A>
float exp_with(float x) {
  const auto [fast, normal] = exp2_fast<A>(static_cast<double>(x), 128.0 * kLog2E);
  if (normal && rounds_safely(fast, kExpMargin)) return static_cast<float>(fast);
  return exp_rest(x);
}

template <class A>
float pow_with(float x, float y) {
  // Fast path for a positive normal x: t = y log x in double, e^t when it is a
  // normal float, from z = y (C log x) = t 128/ln 2, the exponential's
  // argument, at once.
  const auto ix = std::bit_cast<std::uint32_t>(x);
  if (ix - 0x00800000u < 0x7F000000u) {
    const auto [fast, normal] = exp2_fast<A>(static_cast<double>(y), scaled_log_for_pow<A>(ix));
    if (normal && rounds_safely(fast, kPowMargin)) return static_cast<float>(fast);
  }
  return pow_rest(x, y);
}

// Fused multiply-add is asked of the processor at run time where the
// compiler can build a function for an instruction set beyond its target's
// and say whether the processor has it (GCC and Clang on x86); elsewhere the
// separate build serves alone.
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define VELM_FP_FUSED_TARGET [[gnu::target("fma")]]
bool processor_fuses() {
  __builtin_cpu_init();  // this may run before the runtime's own constructors
  return __builtin_cpu_supports("fma");
}
#else
#define VELM_FP_FUSED_TARGET
bool processor_fuses() { return false; }
#endif

// Decided once, as the library loads, and only read afterwards. (Until then,
// for another file's initialisers, the separate build serves: same bits.)
const bool kFused = processor_fuses();

}  // namespace

// Asked afresh rather than read from kFused, so that it is right even in
// another file's initialisers.
bool has_fused_multiply_add() { return processor_fuses(); }

namespace separate {
float log(float x) { return log_with<Separate>(x); }
float exp(float x) { return exp_with<Separate>(x); }
float pow(float x, float y) { return pow_with<Separate>(x, y); }
}  // namespace separate

namespace fused {
VELM_FP_FUSED_TARGET float log(float x) { return log_with<Fused>(x); }
VELM_FP_FUSED_TARGET float exp(float x) { return exp_with<Fused>(x); }
VELM_FP_FUSED_TARGET float pow(float x, float y) { return pow_with<Fused>(x, y); }
}  // namespace fused

float log(float x) { return kFused ? fused::log(x) : separate::log(x); }
float exp(float x) { return kFused ? fused::exp(x) : separate::exp(x); }
float pow(float x, float y) { return kFused ? fused::pow(x, y) : separate::pow(x, y); }

float sin(float x) {
  const std::uint32_t ax = std::bit_cast<std::uint32_t>(x) & 0x7FFFFFFFu;
  if (ax - 0x01000000u < 0x48000000u - 0x01000000u) {
    const double fast = sin_fast(x, 0);
    if (rounds_safely(fast, kSinCosMargin)) return static_cast<float>(fast);
  }
  return sin_rest(x);
}

float cos(float x) {
  const std::uint32_t ax = std::bit_cast<std::uint32_t>(x) & 0x7FFFFFFFu;
  if (ax < 0x48000000u) {
    const double fast = sin_fast(x, 32);
    if (rounds_safely(fast, kSinCosMargin)) return static_cast<float>(fast);
  }
  return cos_rest(x);
}

float asin(float x) {
  const std::uint32_t ax = std::bit_cast<std::uint32_t>(x) & 0x7FFFFFFFu;
  if (ax - 0x00800000u <= 0x3F800000u - 0x00800000u) {
    const double fast = asin_fast(x);
    if (rounds_safely(fast, kAsinMargin)) return static_cast<float>(fast);
  }
  return asin_rest(x);
}

}  // namespace velm::fp
