// The critical-path passes of a task network: hand-worked networks, every
// link type with lags, cycles named in order, and random networks against
// an independent model of the passes (the constraints relaxed until nothing
// moves, in no particular order).
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "host/velmsim/plan/network.h"

namespace {

using velmsim::Link;
using velmsim::LinkType;
using velmsim::Network;

Network make(const std::vector<std::vector<Link>>& after) {
  std::vector<std::size_t> cycle;
  auto n = Network::make(after, cycle);
  EXPECT_TRUE(n.has_value());
  return n.value_or(*Network::make({}, cycle));
}

// A textbook network: A(3); B(4), C(2) after A; D(5) after B; E(1) after C;
// F(2) after D and E. Critical path A-B-D-F, 14 days; C and E have 6 days of
// float.
TEST(Network, TextbookFinishAndCriticalPath) {
  const Network n = make({{}, {{0}}, {{0}}, {{1}}, {{2}}, {{3}, {4}}});
  const double d[] = {3, 4, 2, 5, 1, 2};
  Network::Times t;
  n.pass(d, nullptr, t);
  EXPECT_EQ(t.project_finish, 14);
  EXPECT_EQ(t.start, (std::vector<double>{0, 3, 3, 7, 5, 12}));
  EXPECT_EQ(t.total_float, (std::vector<double>{0, 0, 6, 0, 6, 0}));
  EXPECT_EQ(t.critical, (std::vector<std::uint8_t>{1, 1, 0, 1, 0, 1}));
  // C absent: duration 0, never critical, and E still waits for A.
  const double without_c[] = {3, 4, 0, 5, 1, 2};
  const std::uint8_t exists[] = {1, 1, 0, 1, 1, 1};
  n.pass(without_c, exists, t);
  EXPECT_EQ(t.start[4], 3);
  EXPECT_EQ(t.critical[2], 0);
}

// Every link type with lags, worked by hand: T1(10); T2(4) SS+5 after T1;
// T3(3) FF+4 after T1; T4(5) SF+2 after T2; T5(2) FS-3 after T1.
TEST(Network, EveryLinkTypeWithLags) {
  const Network n = make({{},
                          {{0, LinkType::SS, 5}},
                          {{0, LinkType::FF, 4}},
                          {{1, LinkType::SF, 2}},
                          {{0, LinkType::FS, -3}}});
  const double d[] = {10, 4, 3, 5, 2};
  Network::Times t;
  n.pass(d, nullptr, t);
  EXPECT_EQ(t.start, (std::vector<double>{0, 5, 11, 2, 7}));
  EXPECT_EQ(t.finish, (std::vector<double>{10, 9, 14, 7, 9}));
  EXPECT_EQ(t.project_finish, 14);
  EXPECT_EQ(t.total_float, (std::vector<double>{0, 5, 0, 7, 5}));
}

TEST(Network, CyclesAreNamedInOrder) {
  std::vector<std::size_t> cycle;
  // 0 <- 2 <- 1 <- 0 (each task after the one before it in the cycle), and
  // a task 3 outside it; a task after itself.
  EXPECT_FALSE(Network::make({{{2}}, {{0}}, {{1}}, {}}, cycle));
  ASSERT_EQ(cycle.size(), 3u);
  for (std::size_t i = 0; i < 3; ++i) {
    // cycle[i] is a predecessor of cycle[i + 1] (the last of the first).
    const std::size_t next = cycle[(i + 1) % 3];
    const std::vector<std::vector<Link>> after = {{{2}}, {{0}}, {{1}}, {}};
    EXPECT_TRUE(std::any_of(after[next].begin(), after[next].end(),
                            [&](const Link& l) { return l.task == cycle[i]; }));
  }
  EXPECT_FALSE(Network::make({{}, {{1}}}, cycle));
  EXPECT_EQ(cycle, (std::vector<std::size_t>{1}));
}

// Random networks (links only to earlier tasks in a shuffled numbering, so
// acyclic) against the constraints relaxed to a fixed point.
TEST(Network, RandomNetworksMatchRelaxedConstraints) {
  std::mt19937 rng(7);
  for (int trial = 0; trial < 200; ++trial) {
    const std::size_t count = 1 + rng() % 30;
    std::vector<std::size_t> rank(count);
    for (std::size_t i = 0; i < count; ++i) rank[i] = i;
    std::shuffle(rank.begin(), rank.end(), rng);
    std::vector<std::vector<Link>> after(count);
    std::vector<double> d(count);
    std::vector<std::uint8_t> exists(count);
    for (std::size_t t = 0; t < count; ++t) {
      d[t] = static_cast<double>(rng() % 20);
      exists[t] = rng() % 5 != 0;
      if (!exists[t]) d[t] = 0;
      for (std::size_t p = 0; p < count; ++p)
        if (rank[p] < rank[t] && rng() % 4 == 0)
          after[t].push_back({p, static_cast<LinkType>(rng() % 4),
                              static_cast<double>(static_cast<int>(rng() % 11) - 3)});
    }
    Network::Times t;
    make(after).pass(d.data(), exists.data(), t);

    std::vector<double> es(count, 0.0);
    for (bool moved = true; moved;) {
      moved = false;
      for (std::size_t j = 0; j < count; ++j)
        for (const Link& l : after[j]) {
          const double from = l.type == LinkType::FS || l.type == LinkType::FF
                                  ? es[l.task] + d[l.task]
                                  : es[l.task];
          const double need = from + l.lag - (l.type == LinkType::FF || l.type == LinkType::SF ? d[j] : 0);
          if (need > es[j]) {
            es[j] = need;
            moved = true;
          }
        }
    }
    double end = 0;
    for (std::size_t j = 0; j < count; ++j) end = std::max(end, es[j] + d[j]);
    std::vector<double> lf(count, end);
    for (bool moved = true; moved;) {
      moved = false;
      for (std::size_t j = 0; j < count; ++j)
        for (const Link& l : after[j]) {
          const std::size_t i = l.task;
          const double to = l.type == LinkType::FS || l.type == LinkType::SS ? lf[j] - d[j] : lf[j];
          const double allow = to - l.lag + (l.type == LinkType::SS || l.type == LinkType::SF ? d[i] : 0);
          if (allow < lf[i]) {
            lf[i] = allow;
            moved = true;
          }
        }
    }
    ASSERT_EQ(t.project_finish, end) << trial;
    for (std::size_t j = 0; j < count; ++j) {
      ASSERT_EQ(t.start[j], es[j]) << trial << ", task " << j;
      ASSERT_EQ(t.total_float[j], lf[j] - es[j] - d[j]) << trial << ", task " << j;
      ASSERT_EQ(t.critical[j], exists[j] && lf[j] - es[j] - d[j] <= 1e-6) << trial;
    }
  }
}

}  // namespace
