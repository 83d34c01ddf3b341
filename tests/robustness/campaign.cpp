// Hostile-input campaign: calls every export of this edition with a seeded
// mix of hostile scalars (NaN, infinities, denormals, signed zeros, the ends
// of the range), 16-bit counts (negative, zero, one, mismatched with the
// leading dimension, the largest) and arrays full of such values.
//
// Case k is made from (seed, k) alone, so any case can be replayed by itself.
// The cases run in batches in a child process, one export call per case;
// every array of a case lies in memory shared with the parent, between guard
// zones. A child that a designed stop ends is replaced by a new one at the
// next case. Checked:
//  - the guard zones and the input arrays are unchanged after every call;
//  - after a designed stop, the output arrays are still as they were before
//    the call (outputs are written only on success);
//  - results lie in their documented ranges;
//  - the child's standard output is a sequence of whole, well-formed
//    messages, the last of them TERMINAL or FATAL when the child stopped;
//  - the child ends with status 0 or 1 only, and no call outlasts the
//    timeout.
//
//   velm_campaign_<edition> [--calls N] [--seed S] [--batch B] [--timeout SECONDS]
//   velm_campaign_<edition> --case K [--seed S]     replays case K in this process
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <array>
#include <chrono>
#include <cinttypes>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "core/edition.h"
#include "export/velmprob.h"

#if defined(__SANITIZE_ADDRESS__)
#define VELM_CAMPAIGN_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VELM_CAMPAIGN_ASAN 1
#endif
#endif
#if defined(VELM_CAMPAIGN_ASAN)
#include <sanitizer/asan_interface.h>
#define GUARD_POISON(p, n) ASAN_POISON_MEMORY_REGION(p, n)
#define GUARD_UNPOISON(p, n) ASAN_UNPOISON_MEMORY_REGION(p, n)
// A sanitizer report must not look like a designed stop (status 1).
extern "C" const char* __asan_default_options() { return "exitcode=86"; }
#else
#define GUARD_POISON(p, n) ((void)(p), (void)(n))
#define GUARD_UNPOISON(p, n) ((void)(p), (void)(n))
#endif
extern "C" const char* __ubsan_default_options() { return "exitcode=87"; }

#if defined(VELM_COVERAGE_BUILD)
extern "C" void __gcov_dump();
#endif

namespace {

// ---- Exports of this edition ----

enum Fn {
  kSetSeed, kGetSeed, kUniform, kNormal, kLognormal, kGeometric, kTriang, kBeta,
#if VELM_THREADED
  kCrNormal, kYesNo,
#else
  kSort, kQtil, kHist, kStat, kSpear, kCnvErr,
#endif
  kFnCount
};

constexpr const char* kFnNames[] = {
    "VELMSETSEED", "VELMGETSEED", "VELMUNIFORM", "VELMNORMAL", "VELMLOGNORMAL", "VELMGEOMETRIC",
    "VELMTRIANG", "VELMBETA",
#if VELM_THREADED
    "VELMCRNORMAL", "VELMYESNO",
#else
    "VELMSORT", "VELMQTIL", "VELMHIST", "VELMSTAT", "VELMSPEAR", "VELMCNVERR",
#endif
};
static_assert(sizeof kFnNames / sizeof kFnNames[0] == kFnCount);

// ---- Random numbers: splitmix64, a function of (seed, case) ----

struct Rng {
  std::uint64_t s;
  std::uint64_t next() {
    std::uint64_t z = (s += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  int below(int n) { return static_cast<int>(next() % static_cast<std::uint64_t>(n)); }
  float unit() { return static_cast<float>(next() >> 40) * 0x1p-24f; }
};

float from_bits(std::uint32_t b) {
  float f;
  std::memcpy(&f, &b, sizeof f);
  return f;
}
[[maybe_unused]] std::uint32_t to_bits(float f) {
  std::uint32_t b;
  std::memcpy(&b, &f, sizeof b);
  return b;
}

float hostile(Rng& r) {
  constexpr float inf = std::numeric_limits<float>::infinity();
  switch (r.below(24)) {
    case 0: return std::numeric_limits<float>::quiet_NaN();
    case 1: return -std::numeric_limits<float>::quiet_NaN();
    case 2: return inf;
    case 3: return -inf;
    case 4: return 0.0f;
    case 5: return -0.0f;
    case 6: return std::numeric_limits<float>::denorm_min();
    case 7: return -from_bits(static_cast<std::uint32_t>(r.next() & 0x7FFFFF));  // subnormal
    case 8: return std::numeric_limits<float>::min();
    case 9: return std::numeric_limits<float>::max();
    case 10: return -std::numeric_limits<float>::max();
    case 11: return 1.0f;
    case 12: return -1.0f;
    case 13: return 0.5f;
    case 14: return 1.0f - 0x1p-24f;
    case 15: return 1.0f + 0x1p-23f;
    case 16: return 0x1p-24f;
    case 17: return 3e38f;
    case 18: return -3e38f;
    case 19: return from_bits(static_cast<std::uint32_t>(r.next() & 0x7FFFFF));
    default: {
      // Any finite number, its exponent uniform over the whole range.
      const auto b = static_cast<std::uint32_t>(r.next());
      const std::uint32_t exponent = 1 + static_cast<std::uint32_t>(r.below(254));
      return from_bits((b & 0x807FFFFFu) | (exponent << 23));
    }
  }
}

float ordinary(Rng& r) {
  if (r.below(4) == 0) return static_cast<float>(r.below(21) - 10);
  const float magnitude = std::ldexp(1.0f + r.unit(), r.below(21) - 10);
  return r.below(2) ? magnitude : -magnitude;
}

// A value with the given chance (in %) of being hostile.
float value(Rng& r, int hostility) { return r.below(100) < hostility ? hostile(r) : ordinary(r); }

// ---- Cases ----

constexpr std::size_t kGuard = 64;                 // bytes either side of an array
constexpr unsigned char kGuardByte = 0xA5;
constexpr unsigned char kUnwrittenByte = 0x5A;     // outputs before the call
constexpr std::size_t kArena = std::size_t{8} << 20;

struct ArrayRef {
  std::size_t offset = 0;  // of the data, in the arena
  std::size_t bytes = 0;
  bool output = false;
  bool real = false;
};

struct Case {
  std::uint64_t number = 0;
  Fn fn = kSetSeed;
  bool may_stop = false;    // refusable arguments allowed
  std::int32_t seed = 0;    // installed before the call (and VELMSETSEED's argument)
  float f[5] = {};
  std::int16_t c[4] = {};
  ArrayRef a[4];
  int arrays = 0;
};

class Builder {
 public:
  Builder(unsigned char* arena, Case& c) : arena_(arena), c_(c) {}
  // An array of n elements of the given size, between guard zones.
  template <class T>
  T* add(std::size_t n, bool output) {
    used_ = (used_ + 15) / 16 * 16;
    std::memset(arena_ + used_, kGuardByte, kGuard);
    used_ += kGuard;
    ArrayRef& ref = c_.a[c_.arrays++];
    ref.offset = used_;
    ref.bytes = n * sizeof(T);
    ref.output = output;
    ref.real = std::is_same_v<T, float>;
    std::memset(arena_ + used_, output ? kUnwrittenByte : 0, ref.bytes);
    used_ += ref.bytes;
    std::memset(arena_ + used_, kGuardByte, kGuard);
    used_ += kGuard;
    return reinterpret_cast<T*>(arena_ + ref.offset);
  }

 private:
  unsigned char* arena_;
  Case& c_;
  std::size_t used_ = 0;
};

// Array contents: one of several shapes, from ordinary to wholly hostile.
[[maybe_unused]] void fill(float* x, std::size_t n, Rng& r) {
  const int shape = r.below(8);
  const float constant = value(r, 50);
  const int hostility = r.below(3) == 0 ? 100 : r.below(40);
  for (std::size_t i = 0; i < n; ++i) {
    switch (shape) {
      case 0: x[i] = std::numeric_limits<float>::quiet_NaN(); break;
      case 1: x[i] = r.below(2) ? std::numeric_limits<float>::infinity()
                                : -std::numeric_limits<float>::infinity(); break;
      case 2: x[i] = constant; break;
      case 3: x[i] = static_cast<float>(r.below(5)); break;  // heavy ties
      case 4: x[i] = static_cast<float>(i) * (r.below(8) == 0 ? -1.0f : 1.0f); break;
      default: x[i] = value(r, hostility);
    }
  }
}

[[maybe_unused]] std::int16_t count(Rng& r, bool may_stop) {
  if (may_stop && r.below(3) == 0) {
    const std::int16_t refused[] = {0, -1, -2, std::numeric_limits<std::int16_t>::min()};
    return refused[r.below(4)];
  }
  const int k = r.below(1000);
  if (k < 3) return std::numeric_limits<std::int16_t>::max();
  if (k < 100) return static_cast<std::int16_t>(65 + r.below(1000));
  if (k < 300) return static_cast<std::int16_t>(1 + r.below(4));
  return static_cast<std::int16_t>(1 + r.below(64));
}

// A probability-like parameter: mostly inside (0, 1), sometimes at or beyond
// its ends when refusals are allowed.
float probability(Rng& r, bool may_stop) {
  if (may_stop && r.below(2) == 0) return hostile(r);
  switch (r.below(6)) {
    case 0: return std::numeric_limits<float>::denorm_min();
    case 1: return 1.0f - 0x1p-24f;
    case 2: return std::numeric_limits<float>::quiet_NaN();
    default: return std::max(r.unit(), 0x1p-30f);
  }
}

Case make_case(std::uint64_t seed, std::uint64_t k, unsigned char* arena) {
  Rng r{seed * 0x2545F4914F6CDD1Dull ^ (k + 1) * 0x9E3779B97F4A7C15ull};
  r.next();
  Case c;
  c.number = k;
  c.fn = static_cast<Fn>(r.below(kFnCount));
  c.may_stop = r.below(128) == 0;
  c.seed = static_cast<std::int32_t>(1 + (r.next() % 2147483646u));
  const int h = r.below(3) == 0 ? 100 : 50;
  for (float& f : c.f) f = value(r, h);
  Builder b(arena, c);
  switch (c.fn) {
    case kSetSeed: {
      const std::int32_t odd[] = {0, -1, std::numeric_limits<std::int32_t>::min(), 2147483647,
                                  2147483646, 1};
      if (r.below(2)) c.seed = odd[r.below(6)];
      break;
    }
    case kLognormal:
      if (!c.may_stop) {
        // The scale of the logarithm must come out positive: sd and mean of
        // one sign, sd / mean not tiny (a NaN ratio passes).
        c.f[1] = std::fabs(c.f[1]);
        c.f[0] = std::fabs(c.f[0]);
        const float q = c.f[1] / c.f[0];
        if (!std::isnan(q) && !(q >= 1e-3f)) c.f[1] = c.f[0];
      }
      break;
    case kGeometric:
      c.f[0] = probability(r, c.may_stop);
      break;
    case kBeta:
      if (!c.may_stop) {
        for (int i = 0; i < 2; ++i) {
          c.f[i] = std::isnan(c.f[i]) ? 1.0f : std::fabs(c.f[i]);
          if (c.f[i] == 0.0f) c.f[i] = std::numeric_limits<float>::denorm_min();
        }
      }
      break;
#if VELM_THREADED
    case kCrNormal:
      if (!c.may_stop && c.f[1] == 0.0f) c.f[1] = 1.0f;  // a zero sd1 refuses rho sd2 != 0
      b.add<float>(1, true);
      b.add<float>(1, true);
      break;
    case kYesNo:
      c.f[0] = r.below(2) ? probability(r, true) : c.f[0];
      break;
#else
    case kSort: {
      c.c[0] = count(r, c.may_stop);
      const std::size_t n = c.c[0] > 0 ? static_cast<std::size_t>(c.c[0]) : 0;
      fill(b.add<float>(n, false), n, r);
      b.add<float>(n, true);
      b.add<std::int16_t>(n, true);
      break;
    }
    case kQtil: {
      c.c[0] = count(r, c.may_stop);
      c.c[1] = static_cast<std::int16_t>(c.may_stop && r.below(2) ? count(r, true) : 1 + r.below(9));
      const std::size_t n = c.c[0] > 0 ? static_cast<std::size_t>(c.c[0]) : 0;
      const std::size_t nq = c.c[1] > 0 ? static_cast<std::size_t>(c.c[1]) : 0;
      fill(b.add<float>(n, false), n, r);
      float* qprop = b.add<float>(nq, false);
      for (std::size_t i = 0; i < nq; ++i) {
        qprop[i] = c.may_stop ? value(r, 80) : probability(r, false);
        if (!c.may_stop && std::isnan(qprop[i])) qprop[i] = 0.5f;  // refused
      }
      b.add<float>(nq, true);
      break;
    }
    case kHist: {
      c.c[0] = count(r, c.may_stop);
      c.c[1] = static_cast<std::int16_t>(c.may_stop && r.below(2) ? r.below(4) - 1 : 3 + r.below(20));
      if (r.below(200) == 0) c.c[1] = std::numeric_limits<std::int16_t>::max();
      if (!c.may_stop) {
        // Bounds in order (infinite ones allowed).
        if (std::isnan(c.f[0])) c.f[0] = -1.0f;
        if (std::isnan(c.f[1])) c.f[1] = 1.0f;
        if (c.f[0] > c.f[1]) std::swap(c.f[0], c.f[1]);
        if (!(c.f[1] > c.f[0])) c.f[1] = c.f[0] == std::numeric_limits<float>::infinity()
                                              ? c.f[0]
                                              : std::nextafter(c.f[0], std::numeric_limits<float>::infinity());
        if (!(c.f[1] > c.f[0])) c.f[0] = -std::numeric_limits<float>::infinity();
      }
      const std::size_t n = c.c[0] > 0 ? static_cast<std::size_t>(c.c[0]) : 0;
      const std::size_t k = c.c[1] > 0 ? static_cast<std::size_t>(c.c[1]) : 0;
      float* x = b.add<float>(n, false);
      fill(x, n, r);
      if (!c.may_stop) std::replace_if(x, x + n, [](float v) { return std::isnan(v); }, 0.0f);  // refused
      b.add<float>(k, true);
      b.add<float>(k, true);
      break;
    }
    case kStat: {
      c.c[0] = count(r, c.may_stop);                                   // NROW
      c.c[1] = static_cast<std::int16_t>(1 + r.below(3));              // NVAR
      c.c[2] = static_cast<std::int16_t>(std::min(32767, std::max<int>(c.c[0], 1) + r.below(3)));  // LDX
      if (c.may_stop) {
        switch (r.below(4)) {
          case 0: c.c[1] = static_cast<std::int16_t>(r.below(3) - 1); break;
          case 1: c.c[2] = static_cast<std::int16_t>(c.c[0] - 1); break;  // LDX below NROW
          case 2: c.c[2] = static_cast<std::int16_t>(-r.below(3)); break;
          default: break;
        }
      }
      if (c.c[0] > 2000) c.c[1] = 1;
      const std::size_t nvar = c.c[1] > 0 ? static_cast<std::size_t>(c.c[1]) : 0;
      const std::size_t ld = c.c[2] > 0 ? static_cast<std::size_t>(c.c[2]) : 0;
      fill(b.add<float>(ld * nvar, false), ld * nvar, r);
      b.add<float>(15 * nvar, true);
      break;
    }
    case kSpear: {
      c.c[0] = count(r, true);  // VELMSPEAR returns NaN for N < 1 without reading
      const std::size_t n = c.c[0] > 0 ? static_cast<std::size_t>(c.c[0]) : 0;
      fill(b.add<float>(n, false), n, r);
      fill(b.add<float>(n, false), n, r);
      break;
    }
    case kCnvErr: {
      c.c[1] = count(r, c.may_stop);  // N
      const int n = std::max<int>(c.c[1], 1);
      // M from 0 to N - 1: the earlier snapshot keeps at least one value.
      const int choices[] = {0, std::min(1, n - 1), n / 2, n - 1, r.below(n)};
      c.c[0] = static_cast<std::int16_t>(choices[r.below(5)]);  // M
      if (c.may_stop && r.below(2)) c.c[0] = static_cast<std::int16_t>(r.below(2) ? -1 : n + 1);
      const std::size_t nx = c.c[1] > 0 ? static_cast<std::size_t>(c.c[1]) : 0;
      fill(b.add<float>(nx, false), nx, r);
      break;
    }
#endif
    default:
      break;
  }
  return c;
}

// ---- One call ----

struct Outcome {
  float real = 0.0f;
  std::int32_t integer = 0;
};

template <class T>
T* at(unsigned char* arena, const Case& c, int i) {
  return reinterpret_cast<T*>(arena + c.a[i].offset);
}

Outcome call(const Case& c, unsigned char* arena) {
  Outcome o;
  const float* f = c.f;
  switch (c.fn) {
    case kSetSeed: VELMSETSEED(&c.seed); break;
    case kGetSeed: o.integer = VELMGETSEED(); break;
    case kUniform: o.real = VELMUNIFORM(&f[0], &f[1]); break;
    case kNormal: o.real = VELMNORMAL(&f[0], &f[1]); break;
    case kLognormal: o.real = VELMLOGNORMAL(&f[0], &f[1]); break;
    case kGeometric: o.integer = VELMGEOMETRIC(&f[0]); break;
    case kTriang: o.real = VELMTRIANG(&f[0], &f[1], &f[2]); break;
    case kBeta: o.real = VELMBETA(&f[0], &f[1]); break;
#if VELM_THREADED
    case kCrNormal:
      o.integer = VELMCRNORMAL(&f[0], &f[1], &f[2], &f[3], &f[4], at<float>(arena, c, 0),
                               at<float>(arena, c, 1));
      break;
    case kYesNo: o.integer = VELMYESNO(&f[0]); break;
#else
    case kSort:
      VELMSORT(&c.c[0], at<float>(arena, c, 0), at<float>(arena, c, 1),
               at<std::int16_t>(arena, c, 2));
      break;
    case kQtil:
      VELMQTIL(&c.c[0], at<float>(arena, c, 0), &c.c[1], at<float>(arena, c, 1),
               at<float>(arena, c, 2));
      break;
    case kHist:
      VELMHIST(&c.c[0], at<float>(arena, c, 0), &f[0], &f[1], &c.c[1], at<float>(arena, c, 1),
               at<float>(arena, c, 2));
      break;
    case kStat:
      VELMSTAT(&c.c[0], &c.c[1], at<float>(arena, c, 0), &c.c[2], at<float>(arena, c, 1));
      break;
    case kSpear: o.real = VELMSPEAR(&c.c[0], at<float>(arena, c, 0), at<float>(arena, c, 1)); break;
    case kCnvErr: o.real = VELMCNVERR(&c.c[0], &c.c[1], at<float>(arena, c, 0)); break;
#endif
    default: break;
  }
  return o;
}

// The documented ranges of the results of a call that returned; empty when
// they hold.
std::string check_result(const Case& c, const Outcome& o, [[maybe_unused]] unsigned char* arena) {
  const float* f = c.f;
  char buffer[160] = "";
  auto finite = [](std::initializer_list<float> v) {
    return std::all_of(v.begin(), v.end(), [](float x) { return std::isfinite(x); });
  };
  switch (c.fn) {
    case kGetSeed:
      if (o.integer < 1 || o.integer > 2147483646) {
        std::snprintf(buffer, sizeof buffer, "seed %" PRId32 " outside 1..2147483646", o.integer);
      }
      break;
    case kUniform:
      if (f[0] == 0.0f && f[1] == 1.0f && !(o.real > 0.0f && o.real < 1.0f)) {
        std::snprintf(buffer, sizeof buffer, "uniform(0, 1) gave %.9g", static_cast<double>(o.real));
      } else if (finite({f[0], f[1]}) && f[0] <= f[1] && !(o.real >= f[0] && o.real <= f[1])) {
        std::snprintf(buffer, sizeof buffer, "uniform gave %.9g outside [a, b]", static_cast<double>(o.real));
      }
      break;
    case kGeometric:
      if (!std::isnan(f[0]) && o.integer < 1) std::snprintf(buffer, sizeof buffer, "geometric gave %" PRId32, o.integer);
      break;
    case kBeta:
      if (!(o.real > 0.0f && o.real < 1.0f)) {
        std::snprintf(buffer, sizeof buffer, "beta gave %.9g", static_cast<double>(o.real));
      }
      break;
    case kTriang:
      if (velm::kThreadedEdition && finite({f[0], f[1], f[2]}) && f[0] <= f[1] && f[1] <= f[2] &&
          !(o.real >= f[0] && o.real <= f[2])) {
        std::snprintf(buffer, sizeof buffer, "triangular gave %.9g outside [low, high]",
                      static_cast<double>(o.real));
      } else if (!velm::kThreadedEdition && finite({f[0], f[1], f[2]}) && !std::isfinite(o.real)) {
        std::snprintf(buffer, sizeof buffer, "finite arguments gave %.9g", static_cast<double>(o.real));
      }
      break;
#if VELM_THREADED
    case kCrNormal:
      if (o.integer != -1) std::snprintf(buffer, sizeof buffer, "returned %" PRId32, o.integer);
      break;
    case kYesNo:
      if (o.integer != 0 && o.integer != 1) std::snprintf(buffer, sizeof buffer, "returned %" PRId32, o.integer);
      break;
#else
    case kSort: {
      // RB is RA rearranged, IPERM the rearrangement.
      const int n = c.c[0];
      const float* ra = at<float>(arena, c, 0);
      const float* rb = at<float>(arena, c, 1);
      const std::int16_t* ip = at<std::int16_t>(arena, c, 2);
      std::vector<bool> seen(static_cast<std::size_t>(n), false);
      for (int i = 0; i < n; ++i) {
        const int p = ip[i];
        if (p < 1 || p > n || seen[static_cast<std::size_t>(p - 1)] ||
            to_bits(rb[i]) != to_bits(ra[p - 1])) {
          std::snprintf(buffer, sizeof buffer, "IPERM(%d) = %d does not place RA in RB", i + 1, p);
          break;
        }
        seen[static_cast<std::size_t>(p - 1)] = true;
      }
      break;
    }
    case kHist: {
      const float* tally = at<float>(arena, c, 2);
      double sum = 0.0;
      for (int i = 0; i < c.c[1]; ++i) {
        if (!(tally[i] >= 0.0f) || tally[i] != std::floor(tally[i])) {
          std::snprintf(buffer, sizeof buffer, "TALLY(%d) = %g", i + 1, static_cast<double>(tally[i]));
        }
        sum += tally[i];
      }
      if (sum > c.c[0]) std::snprintf(buffer, sizeof buffer, "%g tallied of %d", sum, c.c[0]);
      break;
    }
    case kSpear:
      if (!std::isnan(o.real) && !(o.real >= -1.0f && o.real <= 1.0f)) {
        std::snprintf(buffer, sizeof buffer, "rank correlation %.9g", static_cast<double>(o.real));
      }
      break;
#endif
    default:
      break;
  }
  return buffer;
}

// ---- Messages ----

// Standard output must be whole messages: an empty record, a header record
// " *** <TYPE> ERROR <code> from <NAME>.  ...", continuation records
// " ***          ..." and traceback records, each at most 80 characters and
// ending with a newline. Returns an empty string when it is, and sets the
// type word of the last header.
std::string check_messages(std::string_view out, std::string& last_type) {
  last_type.clear();
  if (!out.empty() && out.back() != '\n') return "output does not end with a whole record";
  enum { kStart, kAfterBlank, kInMessage } state = kStart;
  std::size_t pos = 0;
  while (pos < out.size()) {
    const std::size_t end = out.find('\n', pos);
    const std::string_view line = out.substr(pos, end - pos);
    pos = end + 1;
    if (line.size() > 80) return "record longer than 80 characters: " + std::string(line);
    if (line.empty()) {
      state = kAfterBlank;
      continue;
    }
    if (state == kAfterBlank) {
      static constexpr std::string_view types[] = {"TERMINAL", "WARNING ", "FATAL   ", "NOTE    ",
                                                   "ALERT   "};
      bool ok = line.substr(0, 5) == " *** " && line.size() > 20;
      std::string_view type;
      if (ok) {
        type = line.substr(5, 8);
        ok = std::find(std::begin(types), std::end(types), type) != std::end(types) &&
             line.substr(13, 7) == " ERROR " && line.find(" from ") != std::string_view::npos &&
             line.find(".  ") != std::string_view::npos;
      }
      if (!ok) return "malformed header record: " + std::string(line);
      last_type = std::string(type);
      state = kInMessage;
    } else if (state == kInMessage) {
      const bool continuation = line.substr(0, 14) == " ***          ";
      const bool traceback = line.substr(0, 5) == "     ";
      if (!continuation && !traceback) return "malformed record: " + std::string(line);
    } else {
      return "record outside a message: " + std::string(line);
    }
  }
  return "";
}

// ---- The child: runs cases from `first` until `last` or a stop ----

// Shared with the child; lock-free atomics work across processes.
struct Control {
  std::atomic<std::uint64_t> current;    // the case being run
  std::atomic<std::uint64_t> started;    // calls started, as a heartbeat
  std::atomic<int> in_call;              // 1 between the call's start and its return
  std::atomic<int> finished;             // 1 when the batch ran to its end
  std::atomic<std::uint64_t> findings;   // findings the child reported (on standard error)
  std::atomic<std::uint64_t> calls[kFnCount];
  void reset(std::uint64_t first) {
    current = first;
    started = 0;
    in_call = 0;
    finished = 0;
    findings = 0;
    for (auto& n : calls) n = 0;
  }
};

void poison_guards(const Case& c, unsigned char* arena, bool poison) {
  for (int i = 0; i < c.arrays; ++i) {
    unsigned char* before = arena + c.a[i].offset - kGuard;
    unsigned char* after = arena + c.a[i].offset + c.a[i].bytes;
    if (poison) {
      GUARD_POISON(before, kGuard);
      GUARD_POISON(after, kGuard);
    } else {
      GUARD_UNPOISON(before, kGuard);
      GUARD_UNPOISON(after, kGuard);
    }
  }
}

// Compares the guard zones (and inputs, and outputs when asked) with a
// freshly made copy of the case; empty when they agree.
std::string compare_with_fresh(const Case& c, const unsigned char* arena, unsigned char* fresh,
                               std::uint64_t seed, bool outputs_too) {
  make_case(seed, c.number, fresh);
  for (int i = 0; i < c.arrays; ++i) {
    const ArrayRef& a = c.a[i];
    if (std::memcmp(arena + a.offset - kGuard, fresh + a.offset - kGuard, kGuard) != 0 ||
        std::memcmp(arena + a.offset + a.bytes, fresh + a.offset + a.bytes, kGuard) != 0) {
      return "guard zone of array " + std::to_string(i + 1) + " written";
    }
    if ((!a.output || outputs_too) && std::memcmp(arena + a.offset, fresh + a.offset, a.bytes) != 0) {
      return std::string(a.output ? "output" : "input") + " array " + std::to_string(i + 1) +
             (a.output ? " written by a call that stopped" : " changed");
    }
  }
  return "";
}

void report(std::uint64_t k, const Case& c, const std::string& what) {
  std::fprintf(stderr, "FINDING case %" PRIu64 " (%s): %s\n", k, kFnNames[c.fn], what.c_str());
  std::fflush(stderr);
}

[[noreturn]] void run_child(Control* ctl, unsigned char* arena, std::uint64_t seed,
                            std::uint64_t first, std::uint64_t last) {
  std::vector<unsigned char> fresh(kArena);
  for (std::uint64_t k = first; k < last; ++k) {
    ctl->current = k;
    const Case c = make_case(seed, k, arena);
    // Every case starts from its own seed, so that it replays alone.
    if (c.fn != kSetSeed) VELMSETSEED(&c.seed);
    poison_guards(c, arena, true);
    ++ctl->calls[c.fn];
    ctl->in_call = 1;
    ++ctl->started;
    const Outcome o = call(c, arena);
    ctl->in_call = 0;
    poison_guards(c, arena, false);
    std::string what = compare_with_fresh(c, arena, fresh.data(), seed, false);
    if (what.empty()) what = check_result(c, o, arena);
    if (!what.empty()) {
      ++ctl->findings;
      report(k, c, what);
    }
  }
  std::fflush(nullptr);
  ctl->finished = 1;
#if defined(VELM_COVERAGE_BUILD)
  __gcov_dump();
#endif
  std::_Exit(0);
}

void describe(const Case& c, unsigned char* arena) {
  std::printf("case %" PRIu64 ": %s%s, seed %" PRId32 "\n  reals", c.number, kFnNames[c.fn],
              c.may_stop ? " (refusable arguments)" : "", c.seed);
  for (float v : c.f) std::printf(" %.9g", static_cast<double>(v));
  std::printf("\n  counts %d %d %d %d\n", c.c[0], c.c[1], c.c[2], c.c[3]);
  for (int i = 0; i < c.arrays; ++i) {
    const ArrayRef& a = c.a[i];
    std::printf("  array %d: %zu bytes, %s", i + 1, a.bytes, a.output ? "output\n" : "input:");
    if (!a.output && a.real) {
      const float* x = reinterpret_cast<const float*>(arena + a.offset);
      const std::size_t n = std::min<std::size_t>(a.bytes / sizeof(float), 40);
      for (std::size_t j = 0; j < n; ++j) std::printf(" %.9g", static_cast<double>(x[j]));
      std::printf(a.bytes / sizeof(float) > n ? " ...\n" : "\n");
    }
  }
  std::fflush(stdout);
}

struct Totals {
  std::vector<std::uint64_t> calls = std::vector<std::uint64_t>(kFnCount, 0);
  std::vector<std::uint64_t> stops = std::vector<std::uint64_t>(kFnCount, 0);
  std::uint64_t findings = 0;
  std::uint64_t children = 0;
};

void finding(Totals& t, std::uint64_t k, const Case& c, const std::string& what) {
  ++t.findings;
  report(k, c, what);
}

int run_campaign(std::uint64_t seed, std::uint64_t calls, std::uint64_t batch, double timeout) {
  const std::size_t shared_bytes = sizeof(Control) + 64 + kArena;
  void* shared = mmap(nullptr, shared_bytes, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
  if (shared == MAP_FAILED) {
    std::perror("mmap");
    return 2;
  }
  auto* ctl = new (shared) Control;
  unsigned char* arena = static_cast<unsigned char*>(shared) + 64 + sizeof(Control);
  arena = reinterpret_cast<unsigned char*>((reinterpret_cast<std::uintptr_t>(arena) + 63) & ~std::uintptr_t{63});
  std::vector<unsigned char> fresh(kArena);
  Totals totals;
  const auto start = std::chrono::steady_clock::now();
  std::uint64_t next = 0;
  while (next < calls) {
    const std::uint64_t last = std::min(calls, next + batch);
    ctl->reset(next);
    int pipefd[2];
    if (pipe(pipefd) != 0) {
      std::perror("pipe");
      return 2;
    }
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
      close(pipefd[0]);
      dup2(pipefd[1], STDOUT_FILENO);
      close(pipefd[1]);
      run_child(ctl, arena, seed, next, last);
    }
    ++totals.children;
    close(pipefd[1]);
    std::string out;
    std::uint64_t heartbeat = ~std::uint64_t{0};
    auto beat_time = std::chrono::steady_clock::now();
    bool timed_out = false;
    for (;;) {
      pollfd p{pipefd[0], POLLIN, 0};
      const int ready = poll(&p, 1, 100);
      if (ready > 0) {
        char buffer[4096];
        const ssize_t got = read(pipefd[0], buffer, sizeof buffer);
        if (got <= 0) break;
        out.append(buffer, static_cast<std::size_t>(got));
        // Warnings of accepted calls pile up; only the last messages matter
        // once the earlier ones have been checked.
        if (out.size() > (1u << 20)) {
          const std::size_t cut = out.rfind("\n\n", out.size() - (1u << 16));
          std::string type;
          const std::string head = out.substr(0, cut + 1);
          const std::string bad = check_messages(head, type);
          if (!bad.empty()) finding(totals, ctl->current, make_case(seed, ctl->current, fresh.data()), bad);
          out.erase(0, cut + 1);
        }
        continue;
      }
      const auto now = std::chrono::steady_clock::now();
      if (ctl->started != heartbeat || !ctl->in_call) {
        heartbeat = ctl->started;
        beat_time = now;
      } else if (std::chrono::duration<double>(now - beat_time).count() > timeout) {
        kill(pid, SIGKILL);
        timed_out = true;
        break;
      }
    }
    close(pipefd[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    const std::uint64_t k = ctl->current;
    totals.findings += ctl->findings;
    const Case c = make_case(seed, k, fresh.data());  // the arena itself is left as the call left it
    std::string type;
    const std::string bad = check_messages(out, type);
    for (int i = 0; i < kFnCount; ++i) totals.calls[static_cast<std::size_t>(i)] += ctl->calls[i];
    if (!bad.empty()) finding(totals, k, c, bad);
    if (timed_out) {
      finding(totals, k, c, "no return within " + std::to_string(timeout) + " s");
      next = k + 1;
      continue;
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0 && ctl->finished) {
      next = last;
      continue;
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) == 1 && ctl->in_call) {
      // A designed stop: the last message is a TERMINAL or FATAL one, and
      // the call wrote none of its outputs.
      ++totals.stops[c.fn];
      if (type != "TERMINAL" && type != "FATAL   ") {
        finding(totals, k, c, "stopped without a TERMINAL or FATAL message");
      }
      poison_guards(c, arena, false);
      const std::string changed = compare_with_fresh(c, arena, fresh.data(), seed, true);
      if (!changed.empty()) finding(totals, k, c, changed);
    } else if (WIFEXITED(status)) {
      finding(totals, k, c, "exit status " + std::to_string(WEXITSTATUS(status)) +
                                (ctl->in_call ? " in the call" : " outside a call"));
    } else {
      finding(totals, k, c, "ended by signal " + std::to_string(WTERMSIG(status)));
    }
    next = k + 1;
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::uint64_t all_calls = 0, all_stops = 0;
  std::printf("%-14s %10s %8s\n", "export", "calls", "stops");
  for (int i = 0; i < kFnCount; ++i) {
    std::printf("%-14s %10" PRIu64 " %8" PRIu64 "\n", kFnNames[i], totals.calls[static_cast<std::size_t>(i)],
                totals.stops[static_cast<std::size_t>(i)]);
    all_calls += totals.calls[static_cast<std::size_t>(i)];
    all_stops += totals.stops[static_cast<std::size_t>(i)];
  }
  std::printf("%-14s %10" PRIu64 " %8" PRIu64 "\nseed %" PRIu64 ", %" PRIu64
              " child processes, %.1f s, findings %" PRIu64 "\n",
              "total", all_calls, all_stops, seed, totals.children, seconds, totals.findings);
  munmap(shared, shared_bytes);
  return totals.findings == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  std::uint64_t seed = 1, calls = 20000, batch = 5000, replay = 0;
  double timeout = 20.0;
  bool replaying = false;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string opt = argv[i];
    const char* v = argv[i + 1];
    if (opt == "--seed") seed = std::strtoull(v, nullptr, 10);
    else if (opt == "--calls") calls = std::strtoull(v, nullptr, 10);
    else if (opt == "--batch") batch = std::max<std::uint64_t>(1, std::strtoull(v, nullptr, 10));
    else if (opt == "--timeout") timeout = std::strtod(v, nullptr);
    else if (opt == "--case") {
      replay = std::strtoull(v, nullptr, 10);
      replaying = true;
    } else {
      std::fprintf(stderr, "unknown option %s\n", opt.c_str());
      return 2;
    }
  }
  if (replaying) {
    // In this process: the description, then the call (which may end it).
    std::vector<unsigned char> arena(kArena);
    const Case c = make_case(seed, replay, arena.data());
    describe(c, arena.data());
    if (c.fn != kSetSeed) VELMSETSEED(&c.seed);
    const Outcome o = call(c, arena.data());
    std::printf("returned %.9g / %" PRId32 "\n", static_cast<double>(o.real), o.integer);
    std::vector<unsigned char> fresh(kArena);
    std::string what = compare_with_fresh(c, arena.data(), fresh.data(), seed, false);
    if (what.empty()) what = check_result(c, o, arena.data());
    std::printf("%s\n", what.empty() ? "no finding" : what.c_str());
    return what.empty() ? 0 : 3;
  }
  return run_campaign(seed, calls, batch, timeout);
}
