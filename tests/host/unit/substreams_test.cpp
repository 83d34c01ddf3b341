// The generator's substreams, stepped ahead exactly, against the generator
// itself.
#include <gtest/gtest.h>

#include <cstdint>

#include "host/velmsim/engine/substreams.h"
#include "tests/host/unit/support.h"

namespace {

using namespace velmsim_unit;

// Square-and-multiply against stepping by 16807^65536 one iteration at a
// time, over the whole iteration range and for seeds at both ends, where a
// product that overflowed 64 bits would show.
TEST(SubstreamSeed, EqualsSteppingOneSubstreamAtATime) {
  constexpr std::uint64_t m = 2147483647;
  std::uint64_t stride = 1;
  for (int k = 0; k < 65536; ++k) stride = stride * 16807 % m;
  for (const std::int32_t seed : {1, 12345, 2147483646}) {
    std::uint64_t s = static_cast<std::uint64_t>(seed);
    for (int i = 0; i < 32767; ++i, s = s * stride % m)
      ASSERT_EQ(substream_seed(seed, i), static_cast<std::int32_t>(s)) << seed << " " << i;
  }
}

// The first key state of an iteration is where the library's generator is
// after 32768 uniforms from the iteration's substream seed.
TEST(KeySeed, IsHalfwayThroughTheSubstream) {
  const velmsim_unit::DirectExports& x = velmsim_unit::direct();
  const float zero = 0, one = 1;
  for (const std::int64_t i : {0, 1, 32766}) {
    const std::int32_t start = substream_seed(12345, i);
    x.set_seed(&start);
    for (int k = 0; k < 32768; ++k) x.uniform(&zero, &one);
    EXPECT_EQ(x.get_seed(), key_seed(12345, i)) << i;
  }
}

}  // namespace
