// Threaded edition: every thread has its own stream. Threads that install the
// same seed draw the same variates from every sampler, whatever other threads
// do meanwhile.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "core/edition.h"
#include "export/velmprob.h"
#include "support/probe.h"

#if VELM_THREADED
namespace {

// A mixed sequence from every sampler export, as raw bits.
std::vector<std::uint32_t> draw_all(std::int32_t seed, int rounds) {
  VELMSETSEED(&seed);
  std::vector<std::uint32_t> out;
  auto put = [&out](float x) {
    std::uint32_t b;
    std::memcpy(&b, &x, sizeof b);
    out.push_back(b);
  };
  const float zero = 0.0f, one = 1.0f, two = 2.0f, half = 0.5f, p3 = 0.3f, rho = 0.4f;
  const float small = 0.3f, big = 3.0f;
  for (int i = 0; i < rounds; ++i) {
    put(VELMUNIFORM(&zero, &one));
    put(VELMNORMAL(&one, &two));
    put(VELMLOGNORMAL(&two, &half));
    float a, b;
    VELMCRNORMAL(&zero, &one, &one, &two, &rho, &a, &b);
    put(a);
    put(b);
    out.push_back(static_cast<std::uint32_t>(VELMGEOMETRIC(&p3)));
    out.push_back(static_cast<std::uint32_t>(VELMYESNO(&p3)));
    put(VELMTRIANG(&zero, &half, &two));
    put(VELMBETA(&small, &small));
    put(VELMBETA(&two, &big));
    put(VELMBETA(&big, &small));
  }
  out.push_back(static_cast<std::uint32_t>(VELMGETSEED()));
  return out;
}

TEST(SamplerThreads, SameSeedSameVariatesInEveryThread) {
  const auto reference = draw_all(12345, 2000);
  std::vector<std::vector<std::uint32_t>> got(4);
  std::vector<std::thread> threads;
  for (std::size_t t = 0; t < got.size(); ++t) {
    // Threads 0 and 1 use the reference seed; 2 and 3 draw from other seeds
    // at the same time.
    const std::int32_t seed = t < 2 ? 12345 : static_cast<std::int32_t>(777 + t);
    threads.emplace_back([&got, t, seed] { got[t] = draw_all(seed, 2000); });
  }
  for (auto& th : threads) th.join();
  EXPECT_EQ(got[0], reference);
  EXPECT_EQ(got[1], reference);
  EXPECT_NE(got[2], reference);
  EXPECT_NE(got[2], got[3]);
}

TEST(SamplerThreads, OtherThreadsLeaveThisStreamAlone) {
  const std::int32_t seed = 4242;
  VELMSETSEED(&seed);
  const float zero = 0.0f, one = 1.0f;
  const float first = VELMNORMAL(&zero, &one);
  const std::int32_t mark = VELMGETSEED();
  std::thread other([] {
    const std::int32_t s = 99;
    VELMSETSEED(&s);
    const float p = 0.5f;
    for (int i = 0; i < 1000; ++i) VELMBETA(&p, &p);
  });
  other.join();
  EXPECT_EQ(VELMGETSEED(), mark);
  VELMSETSEED(&seed);
  EXPECT_EQ(VELMNORMAL(&zero, &one), first);
}

// Eight threads of 10^6 mixed sampler calls each: four install the same
// seed and must agree bit for bit, three install seeds of their own and one
// takes its seed from the clock, all at once.
TEST(SamplerThreads, EightThreadsOfAMillionCalls) {
  constexpr int kRounds = 100000;  // ten sampler calls a round
  std::vector<std::vector<std::uint32_t>> got(8);
  std::vector<std::thread> threads;
  for (std::size_t t = 0; t < got.size(); ++t) {
    threads.emplace_back([&got, t] {
      if (t == 7) {
        // No seed installed: the first draw seeds this thread's stream.
        const float zero = 0.0f, one = 1.0f;
        const float u = VELMUNIFORM(&zero, &one);
        got[t] = draw_all(VELMGETSEED(), kRounds);
        got[t].push_back(u > 0.0f && u < 1.0f);
      } else {
        got[t] = draw_all(t < 4 ? 2024 : static_cast<std::int32_t>(31 * t), kRounds);
      }
    });
  }
  for (auto& th : threads) th.join();
  for (std::size_t t = 1; t < 4; ++t) EXPECT_TRUE(got[t] == got[0]) << "thread " << t;
  for (std::size_t t = 4; t < 8; ++t) EXPECT_FALSE(got[t] == got[0]) << "thread " << t;
  EXPECT_EQ(got[7].back(), 1u);
}

// One thread's TERMINAL error while seven others draw: the process prints the
// message whole, once, and ends with status 1, whichever thread fails.
TEST(SamplerThreads, TerminalErrorWhileOthersDraw) {
  const std::string message =
      "\n"
      " *** TERMINAL ERROR 2 from RNLNL.  The scale parameter S = 0.000000E+00, but\n"
      " ***          S must be positive.\n";
  for (int rep = 0; rep < 200; ++rep) {
    const auto got = velm_test::run_probe("draw_while_terminal", {std::to_string(rep % 8)});
    ASSERT_EQ(got.output, message) << "repetition " << rep;
    ASSERT_EQ(got.status, 1) << "repetition " << rep;
  }
}

}  // namespace
#endif
