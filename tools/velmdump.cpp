// velmdump: loads a built edition of velmprob, calls every export it has with
// fixed seeds and arguments, and prints each result's exact bits. Two builds
// give the same results exactly when their dumps are equal, so the Windows
// DLLs are compared with the Linux libraries of the same source tree this way
// (tools/build-windows.sh --test).
//
// Usage: velmdump LIBRARY
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#endif

#include "host/loader.h"

namespace {

const velm_host::Library* library = nullptr;

// The export `name`, or null when the edition lacks it.
template <typename F>
F find(const char* name) {
  return library->find<F>(name);
}

std::uint32_t bits(float f) {
  std::uint32_t b;
  std::memcpy(&b, &f, sizeof b);
  return b;
}

decltype(&VELMSETSEED) set_seed = nullptr;
decltype(&VELMGETSEED) get_seed = nullptr;
decltype(&VELMUNIFORM) uniform = nullptr;

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
  if (auto f = find<decltype(&VELMNORMAL)>("VELMNORMAL")) {
    for (std::int32_t s : kSeeds) {
      dump("VELMNORMAL(10, 2)", s, [f] {
        const float m = 10.0f, sd = 2.0f;
        return bits(f(&m, &sd));
      });
    }
  }
  if (auto f = find<decltype(&VELMLOGNORMAL)>("VELMLOGNORMAL")) {
    for (std::int32_t s : kSeeds) {
      dump("VELMLOGNORMAL(3, 1.5)", s, [f] {
        const float m = 3.0f, sd = 1.5f;
        return bits(f(&m, &sd));
      });
    }
  }
  if (auto f = find<decltype(&VELMGEOMETRIC)>("VELMGEOMETRIC")) {
    for (float p : {0.05f, 0.5f, 0.97f}) {
      dump("VELMGEOMETRIC", 12345, [f, p] { return static_cast<std::uint32_t>(f(&p)); });
    }
  }
  if (auto f = find<decltype(&VELMYESNO)>("VELMYESNO")) {
    for (float p : {0.1f, 0.5f, 0.9f}) {
      dump("VELMYESNO", 12345, [f, p] { return static_cast<std::uint32_t>(f(&p)); });
    }
  }
  if (auto f = find<decltype(&VELMTRIANG)>("VELMTRIANG")) {
    for (float mode : {0.0f, 1.0f, 4.0f}) {
      dump("VELMTRIANG(0, mode, 4)", 12345, [f, mode] {
        const float lo = 0.0f, hi = 4.0f;
        return bits(f(&lo, &mode, &hi));
      });
    }
  }
  if (auto f = find<decltype(&VELMBETA)>("VELMBETA")) {
    const float shapes[][2] = {{0.5f, 0.5f}, {0.7f, 3.0f}, {2.0f, 5.0f}, {40.0f, 0.3f}};
    for (const auto& pq : shapes) {
      dump("VELMBETA", 12345, [f, pq] { return bits(f(&pq[0], &pq[1])); });
    }
  }
  if (auto f = find<decltype(&VELMCRNORMAL)>("VELMCRNORMAL")) {
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
  if (auto f = find<decltype(&VELMSORT)>("VELMSORT")) {
    std::vector<float> sorted(kN);
    std::vector<std::int16_t> perm(kN);
    f(&n, x.data(), sorted.data(), perm.data());
    dump_array("VELMSORT", sorted.data(), kN);
    std::printf("VELMSORT permutation:");
    for (int i = 0; i < kN; ++i) std::printf("%s%d", i % 16 == 0 ? "\n " : " ", perm[i]);
    std::printf("\n");
  }
  if (auto f = find<decltype(&VELMQTIL)>("VELMQTIL")) {
    const float props[] = {0.01f, 0.05f, 0.25f, 0.5f, 0.75f, 0.95f, 0.99f};
    const std::int16_t nq = 7;
    float q[7] = {};
    f(&n, x.data(), &nq, props, q);
    dump_array("VELMQTIL", q, 7);
  }
  if (auto f = find<decltype(&VELMHIST)>("VELMHIST")) {
    const float lo = -1.0f, hi = 6.0f;
    const std::int16_t k = 9;
    float div[9] = {}, tally[9] = {};
    f(&n, x.data(), &lo, &hi, &k, div, tally);
    dump_array("VELMHIST classes", div, 9);
    dump_array("VELMHIST tally", tally, 9);
  }
  if (auto f = find<decltype(&VELMSTAT)>("VELMSTAT")) {
    std::vector<float> matrix(x);
    matrix.insert(matrix.end(), y.begin(), y.end());
    const std::int16_t nvar = 2, ldx = kN;
    float stat[30] = {};
    f(&n, &nvar, matrix.data(), &ldx, stat);
    dump_array("VELMSTAT", stat, 30);
  }
  if (auto f = find<decltype(&VELMSPEAR)>("VELMSPEAR")) {
    const float r = f(&n, x.data(), y.data());
    dump_array("VELMSPEAR", &r, 1);
  }
  if (auto f = find<decltype(&VELMCNVERR)>("VELMCNVERR")) {
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
  const velm_host::Library loaded(argv[1]);  // exit status 2 when it cannot be opened
  library = &loaded;
  set_seed = find<decltype(&VELMSETSEED)>("VELMSETSEED");
  get_seed = find<decltype(&VELMGETSEED)>("VELMGETSEED");
  uniform = find<decltype(&VELMUNIFORM)>("VELMUNIFORM");
  if (set_seed == nullptr || get_seed == nullptr || uniform == nullptr) {
    std::fprintf(stderr, "velmdump: %s lacks the seed and uniform exports\n", argv[1]);
    return 2;
  }
  samplers();
  statistics();
  return 0;
}
