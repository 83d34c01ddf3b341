// The generator's substreams: x -> 16807 x mod (2^31 - 1) is stepped ahead
// exactly in 64-bit integers, so that iteration i draws from its own stretch
// of the stream whatever thread draws it.
#pragma once

#include <cstdint>

namespace velmsim {

// Uniforms an iteration may take before its substream runs into the next.
constexpr std::int64_t kSubstreamLength = 65536;

// The rank scores of a correlated model are shuffled by the generator's
// states in the second half of each iteration's substream, so the
// iteration's own draws may take at most this many uniforms.
constexpr std::int64_t kKeyOffset = 32768;

// a * b mod 2^31 - 1 for residues a and b, without a division: 2^31 is 1
// modulo 2^31 - 1, so the product's high bits fold onto its low bits.
inline std::uint64_t times_mod(std::uint64_t a, std::uint64_t b) {
  constexpr std::uint64_t modulus = 2147483647;
  const std::uint64_t p = a * b;
  const std::uint64_t r = (p & modulus) + (p >> 31);
  return r >= modulus ? r - modulus : r;
}

// The seed of iteration i's substream: seed * 16807^(65536 i) mod (2^31 - 1),
// the state the generator reaches from `seed` after 65536 i uniforms.
std::int32_t substream_seed(std::int32_t seed, std::int64_t i);

// The first state of iteration i's keys: seed * 16807^(65536 i + 32768)
// mod (2^31 - 1). The key of its j-th correlated column is the state j steps
// on, that times 16807^j.
std::int32_t key_seed(std::int32_t seed, std::int64_t i);

}  // namespace velmsim
