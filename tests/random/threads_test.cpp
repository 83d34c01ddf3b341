// Threaded edition: every thread has its own stream and error state.
#include <gtest/gtest.h>

#include <cstdint>
#include <thread>
#include <vector>

#include "core/edition.h"
#include "error/checks.h"
#include "error/error.h"
#include "export/velmprob.h"

namespace {

#if VELM_THREADED

std::vector<float> draw_after_seed(std::int32_t seed, int n) {
  VELMSETSEED(&seed);
  const float a = 0.0f, b = 1.0f;
  std::vector<float> values(n);
  for (auto& v : values) v = VELMUNIFORM(&a, &b);
  return values;
}

TEST(ThreadedEdition, SameSeedSameSequenceInEveryThread) {
  std::vector<float> first, second;
  std::thread t1([&] { first = draw_after_seed(12345, 1000); });
  std::thread t2([&] { second = draw_after_seed(12345, 1000); });
  t1.join();
  t2.join();
  EXPECT_EQ(first, second);
  EXPECT_EQ(first, draw_after_seed(12345, 1000));
}

TEST(ThreadedEdition, SeedsDoNotCrossThreads) {
  const std::vector<float> expected = draw_after_seed(4242, 2000);
  std::vector<float> observed;
  std::int32_t other_seed_seen = 0;
  std::thread reader([&] {
    const std::int32_t seed = 4242;
    VELMSETSEED(&seed);
    const float a = 0.0f, b = 1.0f;
    for (int i = 0; i < 2000; ++i) observed.push_back(VELMUNIFORM(&a, &b));
  });
  std::thread writer([&] {
    for (int i = 1; i <= 5000; ++i) VELMSETSEED(&i);
    other_seed_seen = VELMGETSEED();
  });
  reader.join();
  writer.join();
  EXPECT_EQ(observed, expected);
  EXPECT_EQ(other_seed_seen, 5000);
  // This thread's stream is where the first draw left it.
  const std::int32_t own = 4242;
  VELMSETSEED(&own);
  EXPECT_EQ(draw_after_seed(4242, 2000), expected);
}

TEST(ThreadedEdition, ErrorStateIsPerThread) {
  velm::E1INIT();
  velm::E1PSH("MAIN  ");
  velm::E1MES(velm::kAlert, 9, "main thread alert");
  int other_level = -1, other_type = -1;
  std::thread other([&] {
    other_type = velm::N1RTY(0);
    other_level = velm::error_context().level;
  });
  other.join();
  EXPECT_EQ(other_type, 0);
  EXPECT_EQ(other_level, 1);
  EXPECT_EQ(velm::N1RTY(0), velm::kAlert);
  velm::E1POP("MAIN  ");
  velm::error_context().type[1] = 0;
  velm::error_context().code[1] = 0;
}

TEST(ThreadedEdition, UnitTableIsPerThread) {
  int seen_by_other = 0;
  std::thread other([&] {
    int unit = 9;
    velm::UMACH(-3, unit);
    velm::UMACH(3, seen_by_other);
  });
  other.join();
  int unit = 0;
  velm::UMACH(3, unit);
  EXPECT_EQ(seen_by_other, 9);
  EXPECT_EQ(unit, 6);
}

#endif

}  // namespace
