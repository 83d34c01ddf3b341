// Array loops over the sampler exports of a loaded edition, for hosts such as
// the Python binding that pay for every call across their own boundary.
//
// Each loop receives the address of an export and calls it once per value,
// exactly as a host calling it n times would: the values are those of n
// single calls, bit for bit, and the stream is left where n single calls
// leave it. The samplers' array routines are not used: with a count above 1
// some of them draw in a different order.
//
// The library links to no edition. The host hands it the export's address
// from the edition it loaded, so one loop serves either edition and the
// edition it calls is always the one the host chose. Both editions share one
// file name (and ELF soname); a library that named its edition as a needed
// library would be bound to whichever edition the process loaded first.
//
// In the threaded sampling edition the export draws from the calling thread's
// stream; these loops keep no state of their own and may run in any number of
// threads at once.
#include <cstdint>

#if defined(_WIN32)
#define VELM_BULK_API extern "C" __declspec(dllexport)
#else
#define VELM_BULK_API extern "C" __attribute__((visibility("default")))
#endif

namespace {
using Real2 = float (*)(const float*, const float*);
using Real3 = float (*)(const float*, const float*, const float*);
using Int1 = std::int32_t (*)(const float*);
using Pair = std::int32_t (*)(const float*, const float*, const float*, const float*,
                              const float*, float*, float*);
}  // namespace

// out[i] = f(a, b) for i = 0 .. n-1: uniform, normal, lognormal, beta.
VELM_BULK_API void velmbulk_real2(Real2 f, const float* a, const float* b, float* out,
                                  std::int64_t n) {
  for (std::int64_t i = 0; i < n; ++i) out[i] = f(a, b);
}

// out[i] = f(a, b, c): triangular.
VELM_BULK_API void velmbulk_real3(Real3 f, const float* a, const float* b, const float* c,
                                  float* out, std::int64_t n) {
  for (std::int64_t i = 0; i < n; ++i) out[i] = f(a, b, c);
}

// out[i] = f(p): geometric, yes/no.
VELM_BULK_API void velmbulk_int1(Int1 f, const float* p, std::int32_t* out, std::int64_t n) {
  for (std::int64_t i = 0; i < n; ++i) out[i] = f(p);
}

// The pair of call i in out[2i] and out[2i + 1]: correlated normals. The
// export's result (always -1) carries nothing.
VELM_BULK_API void velmbulk_pair(Pair f, const float* mean1, const float* sd1, const float* mean2,
                                 const float* sd2, const float* rho, float* out, std::int64_t n) {
  for (std::int64_t i = 0; i < n; ++i) f(mean1, sd1, mean2, sd2, rho, out + 2 * i, out + 2 * i + 1);
}
