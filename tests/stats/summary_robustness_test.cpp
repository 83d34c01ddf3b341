// Randomised robustness of the six statistics exports: random counts and
// leading dimensions over exact-size arrays full of NaN, infinities,
// denormals, signed zeros and huge values. Accepted counts run in-process;
// refused ones (which end the process) run in a probe process each. The
// sanitizer build checks that nothing outside the arrays is touched.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "export/velmprob.h"
#include "support/probe.h"

namespace {

std::vector<float> awkward(int n, std::mt19937& rng) {
  const float inf = std::numeric_limits<float>::infinity();
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float specials[] = {inf, -inf, nan, 1e-40f, -1e-45f, -0.0f, 0.0f, 3e38f, -3.4e38f, 1.0f};
  std::uniform_int_distribution<int> kind(0, 9);
  std::normal_distribution<float> z(0.0f, 10.0f);
  std::vector<float> v(static_cast<std::size_t>(n));
  const int mix = kind(rng);  // share of special values in this sample
  for (auto& e : v) {
    const int k = kind(rng);
    e = k < mix ? specials[kind(rng)] : k == 9 ? std::round(z(rng)) : z(rng);
  }
  return v;
}

std::vector<int> counts(std::mt19937& rng) {
  std::vector<int> n = {1, 2, 3, 32767};
  std::uniform_int_distribution<int> len(1, 400);
  for (int i = 0; i < 25; ++i) n.push_back(len(rng));
  return n;
}

TEST(SummaryRobustness, AcceptedCountsInProcess) {
  std::mt19937 rng(2024);
  std::uniform_int_distribution<int> extra(0, 3);
  std::uniform_int_distribution<int> vars(1, 4);
  std::uniform_real_distribution<float> u(0.0f, 1.0f);
  ::testing::internal::CaptureStdout();  // the degenerate-case warnings
  for (int n : counts(rng)) {
    const auto n16 = static_cast<int16_t>(n);
    // VELMSTAT with LDX at or above NROW.
    const int nvar = n > 5000 ? 1 : vars(rng);
    const int ldx = std::min(32767, n + extra(rng));
    const auto nvar16 = static_cast<int16_t>(nvar), ldx16 = static_cast<int16_t>(ldx);
    const std::vector<float> x = awkward(ldx * nvar, rng);
    std::vector<float> stat(static_cast<std::size_t>(15 * nvar), 5.0f);
    VELMSTAT(&n16, &nvar16, x.data(), &ldx16, stat.data());
    for (int j = 0; j < nvar; ++j) {
      const float count = stat[static_cast<std::size_t>(9 + 15 * j)];
      ASSERT_TRUE(count >= 0.0f && count <= static_cast<float>(n));
      ASSERT_EQ(stat[static_cast<std::size_t>(14 + 15 * j)], 5.0f);
    }
    // VELMSPEAR, inputs left alone.
    const std::vector<float> a = awkward(n, rng), b = awkward(n, rng);
    const std::vector<float> a0 = a, b0 = b;
    const float rho = VELMSPEAR(&n16, a.data(), b.data());
    ASSERT_TRUE(std::isnan(rho) || std::fabs(rho) <= 1.0001f) << rho;
    ASSERT_EQ(0, std::memcmp(a.data(), a0.data(), a.size() * sizeof(float)));
    ASSERT_EQ(0, std::memcmp(b.data(), b0.data(), b.size() * sizeof(float)));
    // VELMCNVERR with 0 <= M < N.
    const auto m16 = static_cast<int16_t>(std::uniform_int_distribution<int>(0, n - 1)(rng));
    const float e = VELMCNVERR(&m16, &n16, a.data());
    ASSERT_TRUE(std::isnan(e) || e >= 0.0f);
    // VELMSORT, VELMQTIL, VELMHIST.
    std::vector<float> rb(a.size());
    std::vector<int16_t> iperm(a.size());
    VELMSORT(&n16, a.data(), rb.data(), iperm.data());
    const int16_t nq = static_cast<int16_t>(1 + extra(rng));
    std::vector<float> p(static_cast<std::size_t>(nq)), q(p.size());
    for (auto& v : p) v = std::clamp(u(rng), 1e-6f, 0.999999f);
    VELMQTIL(&n16, b.data(), &nq, p.data(), q.data());
    const int16_t k = static_cast<int16_t>(3 + extra(rng) * 7);
    const float lo = -10.0f, hi = 10.0f;
    std::vector<float> div(static_cast<std::size_t>(k)), tally(div.size());
    std::vector<float> h = a;  // the histogram refuses missing values
    for (auto& v : h) v = std::isnan(v) ? 0.0f : v;
    VELMHIST(&n16, h.data(), &lo, &hi, &k, div.data(), tally.data());
  }
  ::testing::internal::GetCapturedStdout();
}

struct Call {
  std::vector<std::string> args;
  bool refused;
};

TEST(SummaryRobustness, RefusedAndBoundaryCountsInProbes) {
  const Call calls[] = {
      // nrow nvar ldx
      {{"VELMSTAT", "0", "1", "1"}, true},
      {{"VELMSTAT", "-5", "1", "5"}, true},
      {{"VELMSTAT", "-32768", "2", "3"}, true},
      {{"VELMSTAT", "5", "1", "4"}, true},
      {{"VELMSTAT", "32767", "1", "-32768"}, true},
      {{"VELMSTAT", "3", "0", "3"}, true},
      {{"VELMSTAT", "3", "-1", "3"}, true},
      {{"VELMSTAT", "1", "1", "1"}, false},
      {{"VELMSTAT", "2", "3", "2"}, false},
      {{"VELMSTAT", "32767", "1", "32767"}, false},
      {{"VELMSPEAR", "0"}, false},
      {{"VELMSPEAR", "-32768"}, false},
      {{"VELMSPEAR", "1"}, false},
      {{"VELMSPEAR", "2"}, false},
      // m n
      {{"VELMCNVERR", "-1", "5"}, true},
      {{"VELMCNVERR", "5", "5"}, true},
      {{"VELMCNVERR", "1", "0"}, true},
      {{"VELMCNVERR", "0", "-3"}, true},
      {{"VELMCNVERR", "32767", "-2"}, true},
      {{"VELMCNVERR", "1", "2"}, false},
      {{"VELMCNVERR", "0", "1"}, false},
      {{"VELMSORT", "0"}, true},
      {{"VELMSORT", "-7"}, true},
      {{"VELMSORT", "1"}, false},
      {{"VELMQTIL", "0", "2"}, true},
      {{"VELMQTIL", "3", "0"}, true},
      {{"VELMQTIL", "3", "-2"}, true},
      {{"VELMQTIL", "1", "1"}, false},
      {{"VELMHIST", "0", "4"}, true},
      {{"VELMHIST", "5", "2"}, true},
      {{"VELMHIST", "5", "-3"}, true},
      {{"VELMHIST", "1", "3"}, false},
  };
  for (const auto& c : calls) {
    std::string label;
    for (const auto& a : c.args) label += a + " ";
    const auto r = velm_test::run_probe("robust_export", c.args);
    if (c.refused) {
      EXPECT_EQ(r.status, 1) << label << r.output;
      EXPECT_NE(r.output.find("TERMINAL ERROR"), std::string::npos) << label << r.output;
      EXPECT_EQ(r.output.find("returned"), std::string::npos) << label;
    } else {
      EXPECT_EQ(r.status, 0) << label << r.output;
      EXPECT_NE(r.output.find("returned"), std::string::npos) << label;
    }
  }
}

}  // namespace
