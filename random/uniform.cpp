// The uniform stream: x(k+1) = 16807 x(k) mod (2^31 - 1), u = x * scale
// rounded once to single precision, with scale = 2^-31 (1 - 2^-24), the
// largest single below 2^-31, so that u lies strictly inside (0, 1).
#include "random/uniform.h"

#include <cstdint>
#include <ctime>
#include <mutex>

#include "core/edition.h"
#include "core/output_lock.h"
#include "error/checks.h"
#include "error/error.h"

namespace velm {
namespace {

constexpr std::uint32_t kModulus = 2147483647u;  // 2^31 - 1
constexpr std::uint32_t kMultiplier = 16807u;

struct Stream {
  std::int32_t seed = 0;
  float scale = 0.0f;
  bool initialised = false;  // set-up of R1INT done
  bool seeded = false;       // a seed was installed or drawn from the clock
  bool first_rnun = true;
  bool first_rnunf = true;
};
constinit VELM_PER_THREAD Stream g_stream{};

// This thread's stream. GCC recomputes the address of a thread-local object
// at every use, which in a shared library is a call into the dynamic loader;
// passing the address through an empty asm statement makes it compute it once
// per draw.
inline Stream& this_stream() {
  Stream* stream = &g_stream;
#if defined(__GNUC__)
  if constexpr (kThreadedEdition) asm("" : "+r"(stream));
#endif
  return *stream;
}

// One step of the generator, exact and without a division: 16807 x < 2^46 is
// split as hi 2^31 + lo, and since 2^31 = 1 (mod 2^31 - 1) it is congruent to
// hi + lo < 2^31 + 2^15, which one subtraction brings below the modulus.
inline std::uint32_t next_state(std::uint32_t x) {
  const std::uint64_t product = static_cast<std::uint64_t>(x) * kMultiplier;
  std::uint32_t folded = static_cast<std::uint32_t>(product & kModulus) +
                         static_cast<std::uint32_t>(product >> 31);
  if (folded >= kModulus) folded -= kModulus;
  return folded;
}

// single(x * scale), rounded once. scale = (2^24 - 1) 2^-55, so the exact
// product is the integer x (2^24 - 1) < 2^55 times a power of two: convert that
// integer to single precision (the one rounding) and scale it exactly.
inline float to_uniform(std::uint32_t x) {
  const std::int64_t mantissa = static_cast<std::int64_t>(x) * 0xFFFFFF;
  return static_cast<float>(mantissa) * 0x1p-55f;
}

}  // namespace

std::int32_t clock_seed() {
  std::time_t now = std::time(nullptr);
  int h = 0, m = 0, s = 0;
  {
    // std::localtime returns a shared buffer; readers in several threads
    // take turns.
    static NoDestroy<std::mutex> clock_mutex;
    std::unique_lock<std::mutex> lock(clock_mutex.get(), std::defer_lock);
    if constexpr (kThreadedEdition) lock.lock();
    if (const std::tm* local = std::localtime(&now)) {
      h = local->tm_hour;
      m = local->tm_min;
      s = local->tm_sec;
    }
  }
  const std::int32_t seed = h * 10000 + m * 100 + s + 1;
  return seed <= 1 ? 123457 : seed;
}

void R1INT(int flag) {
  Stream& st = g_stream;
  if (!st.initialised) {
    // The nearest single to 1/2147483647 is 2^-31; step below it until
    // 2^31 scale < 1 (one step).
    float scale = 4.656613e-10f;
    while (2147483648.0f * scale >= 1.0f) scale = scale * (1.0f - AMACH(3));
    st.scale = scale;
    st.initialised = true;
  }
  if (flag == -1) {
    st.seeded = true;
  } else if (flag == 0 && !st.seeded) {
    st.seed = clock_seed();
    st.seeded = true;
  }
}

void RNSET(std::int32_t seed) {
  if (seed < 0 || seed == 2147483647) {
    R1INT(0);
    return;
  }
  if (seed == 0) {
    g_stream.seed = clock_seed();
    return;
  }
  R1INT(-1);
  g_stream.seed = seed;
}

std::int32_t RNGET() {
  R1INT(0);
  return g_stream.seed;
}

namespace {

// The first draw through RNUN or RNUNF runs the set-up (and seeds an unseeded
// stream from the clock); kept out of line, and followed by a fresh call, so
// that the draw itself finds this thread's stream with one look-up.
[[gnu::noinline]] void first_use(bool Stream::*flag) {
  R1INT(0);
  g_stream.*flag = false;
}

}  // namespace

void RNUN(int nr, float* r) {
  if (nr < 1) {
    refuse_count_below_one("RNUN  ", nr);
    return;
  }
  Stream& st = this_stream();
  if (st.first_rnun) [[unlikely]] {
    first_use(&Stream::first_rnun);
    return RNUN(nr, r);
  }
  auto x = static_cast<std::uint32_t>(st.seed);
  for (int i = 0; i < nr; ++i) {
    x = next_state(x);
    r[i] = to_uniform(x);
  }
  st.seed = static_cast<std::int32_t>(x);
}

float RNUNF() {
  Stream& st = this_stream();
  if (st.first_rnunf) [[unlikely]] {
    first_use(&Stream::first_rnunf);
    return RNUNF();
  }
  const std::uint32_t x = next_state(static_cast<std::uint32_t>(st.seed));
  st.seed = static_cast<std::int32_t>(x);
  return to_uniform(x);
}

}  // namespace velm
