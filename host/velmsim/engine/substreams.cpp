#include "host/velmsim/engine/substreams.h"

namespace velmsim {

namespace {

constexpr std::uint64_t kModulus = 2147483647;  // 2^31 - 1: products of residues fit in 62 bits

// base^e mod 2^31 - 1, by squaring and multiplying.
std::uint64_t power(std::uint64_t base, std::uint64_t e) {
  std::uint64_t r = 1;
  base %= kModulus;
  for (; e > 0; e >>= 1) {
    if (e & 1) r = r * base % kModulus;
    base = base * base % kModulus;
  }
  return r;
}

}  // namespace

std::int32_t substream_seed(std::int32_t seed, std::int64_t i) {
  static const std::uint64_t stride = power(16807, static_cast<std::uint64_t>(kSubstreamLength));
  return static_cast<std::int32_t>(static_cast<std::uint64_t>(seed) *
                                   power(stride, static_cast<std::uint64_t>(i)) % kModulus);
}

std::int32_t key_seed(std::int32_t seed, std::int64_t i) {
  static const std::uint64_t half = power(16807, static_cast<std::uint64_t>(kKeyOffset));
  return static_cast<std::int32_t>(static_cast<std::uint64_t>(substream_seed(seed, i)) * half %
                                   kModulus);
}

}  // namespace velmsim
