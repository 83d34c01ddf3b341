// check_elementary: proves, by trying every argument, that the single-precision
// functions of velm::fp are correctly rounded, and measures the double ones.
//
// A correctly rounded function is defined by mathematics alone, so the
// reference for each float x is the exact f(x) rounded to the nearest float
// (ties to even, subnormals and overflow as IEEE specifies). It is found in
// two steps: the C library's double-precision f(x), rounded to single, is
// right whenever that double lies clearly away from a midpoint between two
// floats (the C library's error is below one double unit, far less than the
// margin of MARGIN units used here); where it lies within the margin, MPFR
// computes f(x) correctly rounded to 24 bits with the single-precision
// exponent range, and decides.
//
// log, exp and pow are checked in both their builds, with separate and with
// fused multiply-adds, where the processor has the latter.
//
//   log, exp, sin, cos, asin   every one of the 2^32 floats (or every k-th
//                              with --stride k)
//   pow                        every exact case x^y = m^n 2^(kn) small enough
//                              to be a float, the exponents the beta sampler
//                              uses on bases in (0, 1), and random pairs
//   double log and exp         random arguments over the whole range and the
//                              edges, against MPFR at 160 bits, with the
//                              largest error in units in the last place
//
// Usage: check_elementary [--threads N] [--stride K] [--pairs N] [--doubles N]
//                         [function...]
// Functions: log exp sin cos asin pow dlog dexp (default: all). The exit status
// is 1 when any result differs from the reference or a double bound is passed.
#include <mpfr.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <cinttypes>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "fp/elementary.h"

namespace {

constexpr int kMargin = 16;       // double units around a midpoint that MPFR decides
constexpr int kListed = 20;       // failures listed per function
constexpr double kLogBound = 0.52;  // documented bounds of the double functions, in ulps
constexpr double kExpBound = 0.76;

using MpfrUnary = int (*)(mpfr_ptr, mpfr_srcptr, mpfr_rnd_t);

std::uint32_t bits(float x) { return std::bit_cast<std::uint32_t>(x); }

// A well-mixed 64-bit value for index i (splitmix64), so that every random
// case can be made again from its number alone.
std::uint64_t mix(std::uint64_t i) {
  std::uint64_t z = i * 0x9E3779B97F4A7C15ull + 0x632BE59BD9B4E019ull;
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

bool same(float a, float b) { return (std::isnan(a) && std::isnan(b)) || bits(a) == bits(b); }

// f(x) correctly rounded to single precision, subnormals included: MPFR
// rounds to 24 bits, then to the subnormal grid below 2^-126.
template <typename Compute>
float mpfr_single(Compute compute) {
  mpfr_exp_t emin = mpfr_get_emin(), emax = mpfr_get_emax();
  mpfr_set_emin(-148);
  mpfr_set_emax(128);
  mpfr_t y;
  mpfr_init2(y, 24);
  int inexact = compute(y);
  inexact = mpfr_subnormalize(y, inexact, MPFR_RNDN);
  const float result = mpfr_get_flt(y, MPFR_RNDN);
  mpfr_clear(y);
  mpfr_set_emin(emin);
  mpfr_set_emax(emax);
  return result;
}

float mpfr_unary(MpfrUnary f, float x) {
  return mpfr_single([&](mpfr_ptr y) {
    mpfr_t a;
    mpfr_init2(a, 24);
    mpfr_set_flt(a, x, MPFR_RNDN);
    const int inexact = f(y, a, MPFR_RNDN);
    mpfr_clear(a);
    return inexact;
  });
}

float mpfr_power(float x, float e) {
  return mpfr_single([&](mpfr_ptr y) {
    mpfr_t a, b;
    mpfr_init2(a, 24);
    mpfr_init2(b, 24);
    mpfr_set_flt(a, x, MPFR_RNDN);
    mpfr_set_flt(b, e, MPFR_RNDN);
    const int inexact = mpfr_pow(y, a, b, MPFR_RNDN);
    mpfr_clear(a);
    mpfr_clear(b);
    return inexact;
  });
}

// The double d rounded to single precision, overflowing to infinity at the
// midpoint above the largest float as IEEE rounding does.
float to_single(double d) {
  constexpr double kOverflow = 0x1.ffffffp127;
  if (d >= kOverflow) return std::numeric_limits<float>::infinity();
  if (d <= -kOverflow) return -std::numeric_limits<float>::infinity();
  return static_cast<float>(d);
}

// True when d lies within kMargin double units of the midpoint between the
// float r nearest to it and r's neighbour on d's side: there a double error
// could turn the rounding. This is the definition, for any d.
bool near_midpoint_anywhere(double d, float r) {
  if (std::isnan(d) || std::isinf(d) || d == static_cast<double>(r)) return false;
  const float inf = std::numeric_limits<float>::infinity();
  double midpoint;
  if (std::isinf(r)) {
    midpoint = std::copysign(0x1.ffffffp127, d);
  } else {
    const float neighbour = std::nextafter(r, d > r ? inf : -inf);
    midpoint = std::isinf(neighbour) ? std::copysign(0x1.ffffffp127, d)
                                     : (static_cast<double>(r) + neighbour) / 2.0;
  }
  const double unit = std::nextafter(std::fabs(d), std::numeric_limits<double>::infinity()) -
                      std::fabs(d);
  return std::fabs(d - midpoint) <= kMargin * unit;
}

// The same, read from the bits where it can be: between the smallest normal
// float and 2^127, a double's 29 bits below the float's 24 give its place
// between two floats, whose midpoint is 2^28 there, in double units of d's
// own binade. Every float goes through here, so this is most of the check's
// own time.
bool near_midpoint(double d, float r) {
  if (const double size = std::fabs(d); size >= 0x1p-126 && size < 0x1p127) {
    const auto low = static_cast<std::int64_t>(std::bit_cast<std::uint64_t>(d) & ((1u << 29) - 1));
    return std::abs(low - (std::int64_t{1} << 28)) <= kMargin;
  }
  return near_midpoint_anywhere(d, r);
}

// The two agree: on doubles a few units either side of midpoints, of floats
// and of the floats' ends of binades, over the whole range, and on random
// doubles. Run before the check, which relies on it.
bool near_midpoint_agrees() {
  std::uint64_t disagree = 0;
  for (std::uint64_t i = 0; i < 2000000; ++i) {
    const std::uint64_t r = mix(i);
    // A float: random bits, or the top or bottom of a binade.
    auto bits = static_cast<std::uint32_t>(r);
    if (i % 4 == 1) bits |= 0x007FFFFFu;
    if (i % 4 == 2) bits &= 0xFF800000u;
    const float f = std::bit_cast<float>(bits);
    if (!std::isfinite(f)) continue;
    const double up = std::nextafter(static_cast<double>(f), 1e300) - static_cast<double>(f);
    const double mid = static_cast<double>(f) + 0x1p28 * up * (r >> 63 ? 1 : -1);
    const int step = static_cast<int>((r >> 32) % (4 * kMargin)) - 2 * kMargin;
    const double d = i % 8 == 7 ? std::bit_cast<double>(mix(~i)) : mid + step * up;
    const float nearest = static_cast<float>(d);
    if (std::isinf(nearest) || std::isnan(d)) continue;
    if (near_midpoint(d, nearest) != near_midpoint_anywhere(d, nearest)) {
      if (++disagree <= 5) std::printf("near_midpoint disagrees at %a\n", d);
    }
  }
  return disagree == 0;
}

struct Tally {
  std::atomic<std::uint64_t> decided{0};  // by MPFR
  std::atomic<std::uint64_t> failed{0};
  std::mutex mutex;
  std::vector<std::string> listed;

  void fail(const std::string& line) {
    if (failed.fetch_add(1) < kListed) {
      std::lock_guard<std::mutex> lock(mutex);
      listed.push_back(line);
    }
  }
  bool report(const char* name, std::uint64_t checked, double seconds) {
    std::printf("%-5s %12" PRIu64 " checked, %8" PRIu64 " decided by MPFR, %6" PRIu64
                " wrong  (%.1f s)\n",
                name, checked, decided.load(), failed.load(), seconds);
    std::sort(listed.begin(), listed.end());
    for (const auto& line : listed) std::printf("      %s\n", line.c_str());
    return failed.load() == 0;
  }
};

// Runs work(i) for i in [0, count) on `threads` threads, in blocks (a
// template, so that the work of each index is inlined in the loop).
template <typename Work>
void parallel(std::uint64_t count, int threads, const Work& work) {
  constexpr std::uint64_t kBlock = 1 << 16;
  std::atomic<std::uint64_t> next{0};
  std::vector<std::thread> pool;
  for (int t = 0; t < threads; ++t) {
    pool.emplace_back([&] {
      for (;;) {
        const std::uint64_t begin = next.fetch_add(kBlock);
        if (begin >= count) return;
        const std::uint64_t end = std::min(count, begin + kBlock);
        for (std::uint64_t i = begin; i < end; ++i) work(i);
      }
    });
  }
  for (auto& t : pool) t.join();
}

double seconds_since(const std::chrono::steady_clock::time_point& start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

struct Unary {
  const char* name;
  float (*ours)(float);
  double (*libm)(double);
  MpfrUnary mpfr;
  float (*fused)(float);  // the build with fused multiply-adds, if any
};

// Whether the fused builds run here too.
const bool kFused = velm::fp::has_fused_multiply_add();

float ours_log(float x) { return velm::fp::separate::log(x); }
float ours_exp(float x) { return velm::fp::separate::exp(x); }
float fused_log(float x) { return velm::fp::fused::log(x); }
float fused_exp(float x) { return velm::fp::fused::exp(x); }
float ours_sin(float x) { return velm::fp::sin(x); }
float ours_cos(float x) { return velm::fp::cos(x); }
float ours_asin(float x) { return velm::fp::asin(x); }
double libm_log(double x) { return std::log(x); }
double libm_exp(double x) { return std::exp(x); }
double libm_sin(double x) { return std::sin(x); }
double libm_cos(double x) { return std::cos(x); }
double libm_asin(double x) { return std::asin(x); }

const Unary kUnary[] = {
    {"log", ours_log, libm_log, mpfr_log, fused_log},
    {"exp", ours_exp, libm_exp, mpfr_exp, fused_exp},
    {"sin", ours_sin, libm_sin, mpfr_sin, nullptr},
    {"cos", ours_cos, libm_cos, mpfr_cos, nullptr},
    {"asin", ours_asin, libm_asin, mpfr_asin, nullptr},
};

std::string describe(const char* what, float x, float got, float want) {
  char line[160];
  std::snprintf(line, sizeof line, "%s(%a) [0x%08X] = %a [0x%08X], correctly rounded %a [0x%08X]",
                what, static_cast<double>(x), bits(x), static_cast<double>(got), bits(got),
                static_cast<double>(want), bits(want));
  return line;
}

// The reference of one float: the C library's double result rounded to
// single, or MPFR's where that double lies near a midpoint.
float reference(const Unary& f, float x, double d, Tally& tally) {
  float want = std::isnan(d) ? std::numeric_limits<float>::quiet_NaN() : to_single(d);
  if (near_midpoint(d, want)) {
    want = mpfr_unary(f.mpfr, x);
    tally.decided.fetch_add(1, std::memory_order_relaxed);
  }
  return want;
}

// sin and cos in one pass over the floats: the C library's sincos gives both
// references for the price of one argument reduction, which for large
// arguments is most of the time.
bool check_sin_cos(const Unary& sin_f, const Unary& cos_f, int threads, std::uint64_t stride) {
  Tally sin_tally, cos_tally;
  const auto start = std::chrono::steady_clock::now();
  const std::uint64_t count = ((std::uint64_t{1} << 32) + stride - 1) / stride;
  parallel(count, threads, [&](std::uint64_t i) {
    const float x = std::bit_cast<float>(static_cast<std::uint32_t>(i * stride));
    double s = 0.0, c = 0.0;
    sincos(static_cast<double>(x), &s, &c);
    const float sin_want = reference(sin_f, x, s, sin_tally);
    const float cos_want = reference(cos_f, x, c, cos_tally);
    const float sin_got = sin_f.ours(x), cos_got = cos_f.ours(x);
    if (!same(sin_got, sin_want)) sin_tally.fail(describe(sin_f.name, x, sin_got, sin_want));
    if (!same(cos_got, cos_want)) cos_tally.fail(describe(cos_f.name, x, cos_got, cos_want));
  });
  const double seconds = seconds_since(start);
  const bool sin_ok = sin_tally.report(sin_f.name, count, seconds);
  return cos_tally.report(cos_f.name, count, seconds) && sin_ok;
}

bool check_unary(const Unary& f, int threads, std::uint64_t stride) {
  Tally tally;
  const auto start = std::chrono::steady_clock::now();
  const std::uint64_t count = ((std::uint64_t{1} << 32) + stride - 1) / stride;
  parallel(count, threads, [&](std::uint64_t i) {
    const float x = std::bit_cast<float>(static_cast<std::uint32_t>(i * stride));
    const float got = f.ours(x);
    const float want = reference(f, x, f.libm(x), tally);
    if (!same(got, want)) tally.fail(describe(f.name, x, got, want));
    if (kFused && f.fused != nullptr) {
      const float fused = f.fused(x);
      if (!same(fused, want)) tally.fail(describe(f.name, x, fused, want) + " (fused)");
    }
  });
  return tally.report(f.name, count, seconds_since(start));
}

// pow(x, y) against the C library's double pow, MPFR near midpoints, or
// MPFR alone (exact cases, whose results are often midpoints themselves).
void check_pow_pair(float x, float y, bool mpfr_only, Tally& tally) {
  float want;
  if (mpfr_only) {
    want = mpfr_power(x, y);
    tally.decided.fetch_add(1, std::memory_order_relaxed);
  } else {
    const double d = std::pow(static_cast<double>(x), static_cast<double>(y));
    want = std::isnan(d) ? std::numeric_limits<float>::quiet_NaN() : to_single(d);
    if (near_midpoint(d, want)) {
      want = mpfr_power(x, y);
      tally.decided.fetch_add(1, std::memory_order_relaxed);
    }
  }
  const auto check = [&](float got, const char* build) {
    if (same(got, want)) return;
    char line[200];
    std::snprintf(line, sizeof line, "pow(%a, %a) = %a [0x%08X], correctly rounded %a [0x%08X]%s",
                  static_cast<double>(x), static_cast<double>(y), static_cast<double>(got),
                  bits(got), static_cast<double>(want), bits(want), build);
    tally.fail(line);
  };
  check(velm::fp::separate::pow(x, y), "");
  if (kFused) check(velm::fp::fused::pow(x, y), " (fused)");
}

bool check_pow(int threads, std::uint64_t pairs) {
  bool ok = true;
  // Exact cases. x = m 2^k with m odd: x^n = m^n 2^(kn) for integers n, and
  // x^(n/2^j) = r^n 2^(kn/2^j) when m = r^(2^j) is a perfect power; such a
  // result is a float when its odd part has at most 24 bits and its exponent
  // is in range. Every sign of x that makes sense is tried.
  {
    Tally tally;
    const auto start = std::chrono::steady_clock::now();
    std::vector<std::pair<float, float>> cases;
    for (int j = 0; j <= 4; ++j) {
      const int root = 1 << j;
      for (std::uint64_t r = 1; r < (1u << 24); r += 2) {
        // m = r^root must fit 24 bits.
        std::uint64_t m = 1;
        bool fits = true;
        for (int i = 0; i < root && fits; ++i) fits = (m *= r) < (1u << 24);
        if (!fits) break;
        // x^1 = x needs no check; negative n give exact results only for r = 1.
        for (int n = r == 1 ? -300 : (j == 0 ? 2 : 1); n <= 300; ++n) {
          if (n == 0 || (j > 0 && n % 2 == 0)) continue;
          // r^n must fit 24 bits (for r > 1).
          std::uint64_t p = 1;
          bool small = true;
          for (int i = 0; i < n && small && r > 1; ++i) small = (p *= r) < (1u << 24);
          if (!small) break;
          for (int k = -160; k <= 130; ++k) {
            const float x = std::ldexp(static_cast<float>(m), k * root);
            const float y = std::ldexp(static_cast<float>(n), -j);
            if (x == 0.0f || std::isinf(x) || static_cast<double>(y) * root != n) continue;
            if (std::fabs(static_cast<double>(k) * n) > 400) continue;
            cases.emplace_back(x, y);
            if (j == 0 && (n % 2 != 0 || r == 1)) cases.emplace_back(-x, y);
          }
        }
      }
    }
    parallel(cases.size(), threads,
             [&](std::uint64_t i) { check_pow_pair(cases[i].first, cases[i].second, true, tally); });
    ok &= tally.report("pow=", cases.size(), seconds_since(start));
  }
  // The beta sampler's powers: bases in (0, 1) with exponents 1/a, a - 1 for
  // shape parameters over the range hosts use.
  {
    Tally tally;
    const auto start = std::chrono::steady_clock::now();
    std::vector<float> exponents;
    for (float a : {0.01f, 0.05f, 0.1f, 0.3f, 0.5f, 0.7f, 0.9f, 1.5f, 2.0f, 2.5f, 3.0f, 5.0f,
                    7.5f, 10.0f, 20.0f, 30.0f, 50.0f, 100.0f, 1000.0f}) {
      exponents.push_back(1.0f / a);
      exponents.push_back(a - 1.0f);
    }
    constexpr std::uint64_t kBases = 1 << 19;
    parallel(exponents.size() * kBases, threads, [&](std::uint64_t i) {
      // 2^19 floats of (0, 1) spread over the interval, shifted per exponent.
      const std::uint64_t e = i / kBases, b = i % kBases;
      constexpr std::uint64_t kStep = 0x3F800000u / kBases;  // bits of 1.0 over the count
      const auto base_bits = static_cast<std::uint32_t>(b * kStep + (e * 7919u) % kStep + 1u);
      check_pow_pair(std::bit_cast<float>(base_bits), exponents[e], false, tally);
    });
    ok &= tally.report("pow~", exponents.size() * kBases, seconds_since(start));
  }
  // Random pairs: half with random bits, half with y chosen so that x^y is a
  // finite float (the hard part of the range).
  {
    Tally tally;
    const auto start = std::chrono::steady_clock::now();
    parallel(pairs, threads, [&](std::uint64_t i) {
      const std::uint64_t r1 = mix(2 * i), r2 = mix(2 * i + 1);
      const float x = std::bit_cast<float>(static_cast<std::uint32_t>(r1));
      float y;
      if (i % 2 == 0) {
        y = std::bit_cast<float>(static_cast<std::uint32_t>(r1 >> 32));
      } else {
        const double target = -149.0 + 277.0 * static_cast<double>(r2 >> 11) * 0x1p-53;
        const double l2 = std::log2(std::fabs(static_cast<double>(x)));
        y = l2 == 0.0 || !std::isfinite(l2) ? 2.0f : static_cast<float>(target / l2);
      }
      check_pow_pair(x, y, false, tally);
    });
    ok &= tally.report("pow", pairs, seconds_since(start));
  }
  return ok;
}

// Largest error of the double functions in units in the last place, against
// MPFR at 160 bits, over random bit patterns of the arguments that give a
// finite non-zero result and over the edges of the range.
bool check_double(const char* name, double (*ours)(double), MpfrUnary f, double lo, double hi,
                  double bound, std::uint64_t count, int threads) {
  const auto start = std::chrono::steady_clock::now();
  std::mutex mutex;
  double worst = 0.0, worst_x = 0.0;
  std::vector<double> edges = {lo, hi, 1.0, std::nextafter(1.0, 0.0), std::nextafter(1.0, 2.0),
                               0x1p-1022, 0x1p-1074, std::numeric_limits<double>::max(),
                               -0.5, 0.5, 1e-300, -1e-300, 709.7, -708.4, -745.1};
  const std::uint64_t total = count + edges.size();
  parallel(total, threads, [&](std::uint64_t i) {
    double x;
    if (i < edges.size()) {
      x = edges[i];
    } else {
      const std::uint64_t r = mix(i);
      // Half uniform over [lo, hi], half random bit patterns inside it.
      x = i % 2 ? lo + (hi - lo) * static_cast<double>(r >> 11) * 0x1p-53 : std::bit_cast<double>(r);
    }
    if (!(x >= lo && x <= hi)) return;
    const double got = ours(x);
    mpfr_t a, y;
    mpfr_init2(a, 53);
    mpfr_init2(y, 160);
    mpfr_set_d(a, x, MPFR_RNDN);
    f(y, a, MPFR_RNDN);
    const double want = mpfr_get_d(y, MPFR_RNDN);
    if (!std::isfinite(want) || want == 0.0 || std::fabs(want) < 0x1p-1022) {
      mpfr_clear(a);
      mpfr_clear(y);
      return;
    }
    // error in ulps of the exact value: |got - exact| / ulp(exact)
    int e = 0;
    std::frexp(want, &e);
    mpfr_t diff;
    mpfr_init2(diff, 160);
    // Scaled to units in the last place inside MPFR: near the bottom of the
    // normal range the difference itself is below the smallest double.
    mpfr_sub_d(diff, y, got, MPFR_RNDN);
    mpfr_mul_2si(diff, diff, 53 - e, MPFR_RNDN);
    const double ulps = std::fabs(mpfr_get_d(diff, MPFR_RNDN));
    mpfr_clear(diff);
    mpfr_clear(a);
    mpfr_clear(y);
    std::lock_guard<std::mutex> lock(mutex);
    if (ulps > worst) {
      worst = ulps;
      worst_x = x;
    }
  });
  std::printf("%-5s %12" PRIu64 " random and edge arguments: worst %.4f ulp at %a, bound %.2f  (%.1f s)\n",
              name, total, worst, worst_x, bound, seconds_since(start));
  return worst <= bound;
}

double ours_dlog(double x) { return velm::fp::log(x); }
double ours_dexp(double x) { return velm::fp::exp(x); }

}  // namespace

int main(int argc, char** argv) {
  std::setvbuf(stdout, nullptr, _IOLBF, 0);  // each function's line as it is done
  int threads = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  std::uint64_t stride = 1, pairs = 1000000000, doubles = 100000000;
  std::vector<std::string> wanted;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&]() -> std::uint64_t {
      if (i + 1 >= argc) {
        std::fprintf(stderr, "check_elementary: %s needs a number\n", arg.c_str());
        std::exit(2);
      }
      return std::strtoull(argv[++i], nullptr, 10);
    };
    if (arg == "--threads") threads = static_cast<int>(std::max<std::uint64_t>(1, value()));
    else if (arg == "--stride") stride = std::max<std::uint64_t>(1, value());
    else if (arg == "--pairs") pairs = value();
    else if (arg == "--doubles") doubles = value();
    else if (arg.rfind("--", 0) == 0) {
      std::fprintf(stderr, "usage: check_elementary [--threads N] [--stride K] [--pairs N] "
                           "[--doubles N] [log exp sin cos asin pow dlog dexp]\n");
      return 2;
    } else wanted.push_back(arg);
  }
  auto want = [&](const char* name) {
    return wanted.empty() || std::find(wanted.begin(), wanted.end(), name) != wanted.end();
  };
  std::printf("check_elementary: %d threads, every %" PRIu64 "%s float; log, exp and pow %s\n",
              threads, stride, stride == 1 ? "st" : "th",
              kFused ? "with separate and with fused multiply-adds"
                     : "with separate multiply-adds (this processor does not fuse)");
  if (!near_midpoint_agrees()) {
    std::printf("FAILED: the test near midpoints disagrees with its definition\n");
    return 1;
  }
  bool ok = true;
  const Unary& sin_f = kUnary[2];
  const Unary& cos_f = kUnary[3];
  const bool together = want("sin") && want("cos");
  for (const Unary& f : kUnary) {
    if (!want(f.name)) continue;
    if (together && &f == &sin_f) ok &= check_sin_cos(sin_f, cos_f, threads, stride);
    else if (!(together && &f == &cos_f)) ok &= check_unary(f, threads, stride);
  }
  if (want("pow")) ok &= check_pow(threads, pairs);
  if (want("dlog")) {
    ok &= check_double("dlog", ours_dlog, mpfr_log, 0x1p-1074, std::numeric_limits<double>::max(),
                       kLogBound, doubles, threads);
  }
  if (want("dexp")) {
    ok &= check_double("dexp", ours_dexp, mpfr_exp, -708.39, 709.78, kExpBound, doubles, threads);
  }
  std::printf("%s\n", ok ? "all correctly rounded" : "FAILED");
  return ok ? 0 : 1;
}
