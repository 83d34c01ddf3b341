// libFuzzer targets for the statistics exports, one executable per export
// (VELM_FUZZ_TARGET names it). The input bytes become the 16-bit counts and
// the contents of the arrays; counts and bounds are folded into what the
// export accepts, since a refused argument ends the process by design, and
// the arrays are exactly as long as the counts say, so that the address
// sanitizer sees any access beyond them.
//
//   build-fuzz/tests/fuzz/fuzz_velmstat -max_total_time=60 CORPUS_COPY tests/fuzz/corpus/velmstat
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "export/velmprob.h"

namespace {

// Reads the input front to back; past its end every read gives zeros.
class Input {
 public:
  Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  template <class T>
  T get() {
    T value{};
    const std::size_t n = std::min(sizeof value, size_ - pos_);
    std::memcpy(&value, data_ + pos_, n);
    pos_ += n;
    return value;
  }
  // A count in 1..limit.
  int count(int limit) { return 1 + static_cast<int>(get<std::uint16_t>() % limit); }
  std::vector<float> reals(int n) {
    std::vector<float> v(static_cast<std::size_t>(n));
    for (float& x : v) x = get<float>();
    return v;
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t pos_ = 0;
};

template <class T>
void keep(const T& value) {
  asm volatile("" : : "g"(&value) : "memory");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Input in(data, size);
#if VELM_FUZZ_TARGET == 1  // VELMSORT
  const auto n = static_cast<std::int16_t>(in.count(4096));
  const std::vector<float> ra = in.reals(n);
  std::vector<float> rb(ra.size());
  std::vector<std::int16_t> iperm(ra.size());
  VELMSORT(&n, ra.data(), rb.data(), iperm.data());
#elif VELM_FUZZ_TARGET == 2  // VELMQTIL: proportions strictly inside (0, 1)
  const auto nobs = static_cast<std::int16_t>(in.count(4096));
  const auto nq = static_cast<std::int16_t>(in.count(16));
  std::vector<float> qprop = in.reals(nq);
  for (float& p : qprop) {
    if (!(p > 0.0f && p < 1.0f)) p = 0.5f;
  }
  const std::vector<float> x = in.reals(nobs);
  std::vector<float> q(qprop.size());
  VELMQTIL(&nobs, x.data(), &nq, qprop.data(), q.data());
#elif VELM_FUZZ_TARGET == 3  // VELMHIST: no missing values, bounds in order, K >= 3
  const auto nobs = static_cast<std::int16_t>(in.count(4096));
  const auto k = static_cast<std::int16_t>(2 + in.count(64));
  float lo = in.get<float>(), hi = in.get<float>();
  if (std::isnan(lo)) lo = 0.0f;
  if (std::isnan(hi)) hi = 1.0f;
  if (!(hi > lo)) {
    lo = -INFINITY;
    hi = INFINITY;
  }
  std::vector<float> x = in.reals(nobs);
  for (float& v : x) {
    if (std::isnan(v)) v = 0.0f;
  }
  std::vector<float> div(static_cast<std::size_t>(k)), tally(static_cast<std::size_t>(k));
  VELMHIST(&nobs, x.data(), &lo, &hi, &k, div.data(), tally.data());
#elif VELM_FUZZ_TARGET == 4  // VELMSTAT: LDX >= NROW >= 1
  const auto nrow = static_cast<std::int16_t>(in.count(1024));
  const auto nvar = static_cast<std::int16_t>(in.count(4));
  const auto ldx = static_cast<std::int16_t>(nrow + in.count(3) - 1);
  const std::vector<float> x = in.reals(ldx * nvar);
  std::vector<float> stat(static_cast<std::size_t>(15 * nvar));
  VELMSTAT(&nrow, &nvar, x.data(), &ldx, stat.data());
#elif VELM_FUZZ_TARGET == 5  // VELMSPEAR
  const auto n = static_cast<std::int16_t>(in.count(4096));
  const std::vector<float> a = in.reals(n);
  const std::vector<float> b = in.reals(n);
  keep(VELMSPEAR(&n, a.data(), b.data()));
#elif VELM_FUZZ_TARGET == 6  // VELMCNVERR: 0 <= M < N
  const auto n = static_cast<std::int16_t>(in.count(4096));
  const auto m = static_cast<std::int16_t>(in.get<std::uint16_t>() % n);
  const std::vector<float> x = in.reals(n);
  keep(VELMCNVERR(&m, &n, x.data()));
#else
#error "VELM_FUZZ_TARGET must name a statistics export (1 to 6)"
#endif
  return 0;
}
