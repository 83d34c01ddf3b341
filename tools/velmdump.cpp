// velmdump: loads a built edition of velmprob, calls every export it has with
// fixed seeds and arguments, and prints each result's exact bits. Two builds
// give the same results exactly when their dumps are equal, so the Windows
// DLLs are compared with the Linux libraries of the same source tree this way
// (tools/build-windows.sh --test).
//
// It calls the exports the way a host that knows only their names and
// documented signatures does: found by name (GetProcAddress, dlsym) and called
// through pointers it declares itself, __stdcall on 32-bit x86 Windows. There
// it also checks every call's stack discipline: the stack pointer after the
// call must equal the one before. A __stdcall caller leaves the removal of the
// arguments to the function, so a DLL built with the C convention leaves the
// stack 4 bytes per argument off; velmdump then stops with exit status 3.
// The 32-bit Windows build compiles it with -fomit-frame-pointer, so that no
// frame pointer restores the stack pointer behind the check's back.
//
// Usage: velmdump LIBRARY
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <type_traits>
#include <vector>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#endif

#include "host/loader/library.h"

#if defined(_WIN32) && defined(__i386__) && !defined(VELM_CDECL)
#define HOST_CALL __stdcall
#else
#define HOST_CALL
#endif

namespace {

using i16 = std::int16_t;
using i32 = std::int32_t;
using SetSeedFn = void(HOST_CALL*)(const i32*);
using GetSeedFn = i32(HOST_CALL*)();
using Real2Fn = float(HOST_CALL*)(const float*, const float*);
using Real3Fn = float(HOST_CALL*)(const float*, const float*, const float*);
using CountFn = i32(HOST_CALL*)(const float*);
using CrNormalFn = i32(HOST_CALL*)(const float*, const float*, const float*, const float*,
                                   const float*, float*, float*);
using SortFn = void(HOST_CALL*)(const i16*, const float*, float*, i16*);
using QtilFn = void(HOST_CALL*)(const i16*, const float*, const i16*, const float*, float*);
using HistFn = void(HOST_CALL*)(const i16*, const float*, const float*, const float*,
                                const i16*, float*, float*);
using StatFn = void(HOST_CALL*)(const i16*, const i16*, const float*, const i16*, float*);
using SpearFn = float(HOST_CALL*)(const i16*, const float*, const float*);
using CnvErrFn = float(HOST_CALL*)(const i16*, const i16*, const float*);

// The header must declare the same types, convention included.
static_assert(std::is_same_v<SetSeedFn, decltype(&VELMSETSEED)> &&
              std::is_same_v<GetSeedFn, decltype(&VELMGETSEED)> &&
              std::is_same_v<Real2Fn, decltype(&VELMUNIFORM)> &&
              std::is_same_v<Real2Fn, decltype(&VELMNORMAL)> &&
              std::is_same_v<Real2Fn, decltype(&VELMLOGNORMAL)> &&
              std::is_same_v<Real2Fn, decltype(&VELMBETA)> &&
              std::is_same_v<Real3Fn, decltype(&VELMTRIANG)> &&
              std::is_same_v<CountFn, decltype(&VELMGEOMETRIC)> &&
              std::is_same_v<CountFn, decltype(&VELMYESNO)> &&
              std::is_same_v<CrNormalFn, decltype(&VELMCRNORMAL)> &&
              std::is_same_v<SortFn, decltype(&VELMSORT)> &&
              std::is_same_v<QtilFn, decltype(&VELMQTIL)> &&
              std::is_same_v<HistFn, decltype(&VELMHIST)> &&
              std::is_same_v<StatFn, decltype(&VELMSTAT)> &&
              std::is_same_v<SpearFn, decltype(&VELMSPEAR)> &&
              std::is_same_v<CnvErrFn, decltype(&VELMCNVERR)>);

const velm_host::Library* library = nullptr;

// The stack pointer, read where the statement stands. The memory clobber
// keeps the stores and pushes of a call's arguments on their side of it.
#if defined(_WIN32) && defined(__i386__)
#define VELM_READ_SP(sp) asm volatile("movl %%esp, %0" : "=r"(sp) : : "memory")
#endif

// f(args...), checked on 32-bit Windows for a stack pointer that moved (see the
// top of this file).
template <typename F, typename... A>
auto call([[maybe_unused]] const char* name, F f, A... args) {
#if defined(_WIN32) && defined(__i386__)
  std::uintptr_t before = 0, after = 0;
  const auto check = [&] {
    if (before != after) {
      std::fprintf(stderr, "velmdump: %s moved the stack pointer by %ld bytes\n", name,
                   static_cast<long>(after - before));
      std::exit(3);
    }
  };
  VELM_READ_SP(before);
  if constexpr (std::is_void_v<decltype(f(args...))>) {
    f(args...);
    VELM_READ_SP(after);
    check();
  } else {
    const auto result = f(args...);
    VELM_READ_SP(after);
    check();
    return result;
  }
#else
  return f(args...);
#endif
}

// An export found by name; a call goes through call() above.
template <typename F>
struct Export {
  const char* name = nullptr;
  F f = nullptr;
  explicit operator bool() const { return f != nullptr; }
  template <typename... A>
  auto operator()(A... args) const {
    return call(name, f, args...);
  }
};

template <typename F>
Export<F> find(const char* name) {
  return {name, library->find<F>(name)};
}

std::uint32_t bits(float f) {
  std::uint32_t b;
  std::memcpy(&b, &f, sizeof b);
  return b;
}

Export<SetSeedFn> set_seed;
Export<GetSeedFn> get_seed;
Export<Real2Fn> uniform;

void seed(std::int32_t s) { set_seed(&s); }

// Prints n results of draw() in hexadecimal, eight to a line, and the seed
// the stream holds afterwards.
template <typename Draw>
void dump(const char* name, std::int32_t s, Draw draw, int n = 64) {
  seed(s);
  std::printf("%s seed %d:", name, static_cast<int>(s));
  for (int i = 0; i < n; ++i) {
    std::printf("%s%08lx", i % 8 == 0 ? "\n " : " ", static_cast<unsigned long>(draw()));
  }
  std::printf("\n seed after %d\n", static_cast<int>(get_seed()));
}

void dump_array(const char* name, const float* x, int n) {
  std::printf("%s:", name);
  for (int i = 0; i < n; ++i) {
    std::printf("%s%08lx", i % 8 == 0 ? "\n " : " ", static_cast<unsigned long>(bits(x[i])));
  }
  std::printf("\n");
}

// n uniforms on (lo, hi) from the given seed, as sample data.
std::vector<float> sample(std::int32_t s, int n, float lo, float hi) {
  seed(s);
  std::vector<float> x(n);
  for (auto& v : x) v = uniform(&lo, &hi);
  return x;
}

constexpr std::int32_t kSeeds[] = {1, 12345, 2147483646};

void samplers() {
  for (std::int32_t s : kSeeds) {
    dump("VELMUNIFORM(-3, 5)", s, [] {
      const float a = -3.0f, b = 5.0f;
      return bits(uniform(&a, &b));
    });
  }
  if (auto f = find<Real2Fn>("VELMNORMAL")) {
    for (std::int32_t s : kSeeds) {
      dump("VELMNORMAL(10, 2)", s, [f] {
        const float m = 10.0f, sd = 2.0f;
        return bits(f(&m, &sd));
      });
    }
  }
  if (auto f = find<Real2Fn>("VELMLOGNORMAL")) {
    for (std::int32_t s : kSeeds) {
      dump("VELMLOGNORMAL(3, 1.5)", s, [f] {
        const float m = 3.0f, sd = 1.5f;
        return bits(f(&m, &sd));
      });
    }
  }
  if (auto f = find<CountFn>("VELMGEOMETRIC")) {
    for (float p : {0.05f, 0.5f, 0.97f}) {
      dump("VELMGEOMETRIC", 12345, [f, p] { return static_cast<std::uint32_t>(f(&p)); });
    }
  }
  if (auto f = find<CountFn>("VELMYESNO")) {
    for (float p : {0.1f, 0.5f, 0.9f}) {
      dump("VELMYESNO", 12345, [f, p] { return static_cast<std::uint32_t>(f(&p)); });
    }
  }
  if (auto f = find<Real3Fn>("VELMTRIANG")) {
    for (float mode : {0.0f, 1.0f, 4.0f}) {
      dump("VELMTRIANG(0, mode, 4)", 12345, [f, mode] {
        const float lo = 0.0f, hi = 4.0f;
        return bits(f(&lo, &mode, &hi));
      });
    }
  }
  if (auto f = find<Real2Fn>("VELMBETA")) {
    const float shapes[][2] = {{0.5f, 0.5f}, {0.7f, 3.0f}, {2.0f, 5.0f}, {40.0f, 0.3f}};
    for (const auto& pq : shapes) {
      dump("VELMBETA", 12345, [f, pq] { return bits(f(&pq[0], &pq[1])); });
    }
  }
  if (auto f = find<CrNormalFn>("VELMCRNORMAL")) {
    for (float rho : {-0.9f, 0.0f, 0.6f}) {
      dump("VELMCRNORMAL", 12345, [f, rho] {
        const float m1 = 1.0f, s1 = 2.0f, m2 = -1.0f, s2 = 0.5f;
        float o1 = 0.0f, o2 = 0.0f;
        f(&m1, &s1, &m2, &s2, &rho, &o1, &o2);
        return bits(o1) ^ (bits(o2) * 2654435761u);
      });
    }
  }
}

void statistics() {
  constexpr int kN = 200;
  const std::vector<float> x = sample(777, kN, -2.0f, 7.0f);
  const std::vector<float> y = sample(778, kN, 0.0f, 1.0f);
  const std::int16_t n = kN;
  if (auto f = find<SortFn>("VELMSORT")) {
    std::vector<float> sorted(kN);
    std::vector<std::int16_t> perm(kN);
    f(&n, x.data(), sorted.data(), perm.data());
    dump_array("VELMSORT", sorted.data(), kN);
    std::printf("VELMSORT permutation:");
    for (int i = 0; i < kN; ++i) std::printf("%s%d", i % 16 == 0 ? "\n " : " ", perm[i]);
    std::printf("\n");
  }
  if (auto f = find<QtilFn>("VELMQTIL")) {
    const float props[] = {0.01f, 0.05f, 0.25f, 0.5f, 0.75f, 0.95f, 0.99f};
    const std::int16_t nq = 7;
    float q[7] = {};
    f(&n, x.data(), &nq, props, q);
    dump_array("VELMQTIL", q, 7);
  }
  if (auto f = find<HistFn>("VELMHIST")) {
    const float lo = -1.0f, hi = 6.0f;
    const std::int16_t k = 9;
    float div[9] = {}, tally[9] = {};
    f(&n, x.data(), &lo, &hi, &k, div, tally);
    dump_array("VELMHIST classes", div, 9);
    dump_array("VELMHIST tally", tally, 9);
  }
  if (auto f = find<StatFn>("VELMSTAT")) {
    std::vector<float> matrix(x);
    matrix.insert(matrix.end(), y.begin(), y.end());
    const std::int16_t nvar = 2, ldx = kN;
    float stat[30] = {};
    f(&n, &nvar, matrix.data(), &ldx, stat);
    dump_array("VELMSTAT", stat, 30);
  }
  if (auto f = find<SpearFn>("VELMSPEAR")) {
    const float r = f(&n, x.data(), y.data());
    dump_array("VELMSPEAR", &r, 1);
  }
  if (auto f = find<CnvErrFn>("VELMCNVERR")) {
    const std::int16_t m = 50;
    const float e = f(&m, &n, x.data());
    dump_array("VELMCNVERR", &e, 1);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: velmdump LIBRARY\n");
    return 2;
  }
#if defined(_WIN32)
  _setmode(_fileno(stdout), _O_BINARY);  // the same bytes as elsewhere
#endif
  std::unique_ptr<velm_host::Library> loaded;
  try {
    loaded = std::make_unique<velm_host::Library>(argv[1]);
  } catch (const velm_host::LoadError& e) {
    std::fprintf(stderr, "velmdump: %s\n", e.what());
    return 2;
  }
  library = loaded.get();
  set_seed = find<SetSeedFn>("VELMSETSEED");
  get_seed = find<GetSeedFn>("VELMGETSEED");
  uniform = find<Real2Fn>("VELMUNIFORM");
  if (!set_seed || !get_seed || !uniform) {
    std::fprintf(stderr, "velmdump: %s lacks the seed and uniform exports\n", argv[1]);
    return 2;
  }
  samplers();
  statistics();
  return 0;
}
