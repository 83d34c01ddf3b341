// Stream-exact variates: for fixed seeds, every sampler must return the values
// of the independent model in tools/gen/gen_samplers.py and leave the stream at
// the same seed (so every path consumed the same number of uniforms).
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "core/edition.h"
#include "export/velmprob.h"
#include "random/samplers.h"
#include "random/uniform.h"
#include "tests/random/samplers_data.inc"

namespace {

using velm_expected::Case;

// Distance in units in the last place between two finite floats of the same
// sign. The model's elementary functions are correctly rounded; the
// library's may be an ulp off, which a difference such as 1 - (1 - t) w^e
// magnifies: such values are allowed a few ulps of 1 instead.
int ulps(float a, float b) {
  const auto ia = static_cast<std::int64_t>(std::bit_cast<std::int32_t>(a));
  const auto ib = static_cast<std::int64_t>(std::bit_cast<std::int32_t>(b));
  return static_cast<int>(std::llabs(ia - ib));
}

void expect_floats(const Case& c, const std::vector<float>& got) {
  ASSERT_EQ(static_cast<int>(got.size()), c.count) << c.group << "/" << c.name;
  for (int i = 0; i < c.count; ++i) {
    const float want = std::bit_cast<float>(c.values[i]);
    const bool close = ulps(got[i], want) <= 2 || std::fabs(got[i] - want) <= 2.5e-7f;
    EXPECT_TRUE(close)
        << c.group << "/" << c.name << " element " << i << ": got " << got[i] << ", want " << want;
  }
}

void expect_ints(const Case& c, const std::vector<std::int32_t>& got) {
  ASSERT_EQ(static_cast<int>(got.size()), c.count);
  for (int i = 0; i < c.count; ++i) {
    EXPECT_EQ(got[i], static_cast<std::int32_t>(c.values[i])) << c.group << "/" << c.name << " " << i;
  }
}

void expect_seed(const Case& c) {
  EXPECT_EQ(velm::RNGET(), c.seed_after) << c.group << "/" << c.name << " paths: " << c.paths;
}

std::vector<const Case*> cases_of(std::string_view group) {
  std::vector<const Case*> out;
  for (const Case& c : velm_expected::kCases) {
    if (group == c.group) out.push_back(&c);
  }
  return out;
}

// The covariance factor of the multivariate cases (column after column).
constexpr float kFactor3[9] = {1.5f, 0.0f, 0.0f, 0.5f, 2.0f, 0.0f, -0.25f, 0.75f, 1.25f};

TEST(StreamExact, NormalRunAndEveryPathOfOneVariate) {
  const auto cs = cases_of("normal");
  ASSERT_EQ(cs.size(), 14u);
  for (const Case* c : cs) {
    velm::RNSET(c->seed);
    std::vector<float> r(static_cast<std::size_t>(c->count));
    velm::RNNOA(c->count, r.data());
    expect_floats(*c, r);
    expect_seed(*c);
  }
}

TEST(StreamExact, NormalExportScalesTheSameVariate) {
  const Case& c = *cases_of("normal")[0];
  velm::RNSET(c.seed);
  const float mean = 3.0f, sd = 2.0f;
  for (int i = 0; i < 20; ++i) {
    const float z = std::bit_cast<float>(c.values[i]);
    EXPECT_EQ(VELMNORMAL(&mean, &sd), z * sd + mean) << i;
  }
}

TEST(StreamExact, Lognormal) {
  for (const Case* c : cases_of("lognormal")) {
    velm::RNSET(c->seed);
    std::vector<float> r(static_cast<std::size_t>(c->count));
    velm::RNLNL(c->count, static_cast<float>(c->params[0]), static_cast<float>(c->params[1]), r.data());
    expect_floats(*c, r);
    expect_seed(*c);
  }
}

TEST(StreamExact, LognormalExportConvertsInItsEditionsPrecision) {
  const auto cs = cases_of(velm::kThreadedEdition ? "lognormal_export_threaded"
                                                  : "lognormal_export_stats");
  ASSERT_EQ(cs.size(), 2u);
  for (const Case* c : cs) {
    velm::RNSET(c->seed);
    const float mean = static_cast<float>(c->params[0]), sd = static_cast<float>(c->params[1]);
    std::vector<float> got;
    for (int i = 0; i < c->count; ++i) got.push_back(VELMLOGNORMAL(&mean, &sd));
    expect_floats(*c, got);
    expect_seed(*c);
  }
}

TEST(StreamExact, MultivariateNormalFillsColumnsThenTransformsRows) {
  const auto cs = cases_of("mvn");
  ASSERT_EQ(cs.size(), 2u);
  for (const Case* c : cs) {
    const int ldr = c->count / 3;
    velm::RNSET(c->seed);
    std::vector<float> r(static_cast<std::size_t>(c->count), 0.0f);
    velm::RNMVN(3, 3, kFactor3, 3, r.data(), ldr);
    expect_floats(*c, r);  // rows beyond NR stay untouched (0)
    expect_seed(*c);
    // A negative count generates the same rows without the checks.
    velm::RNSET(c->seed);
    std::vector<float> again(static_cast<std::size_t>(c->count), 0.0f);
    velm::RNMVN(-3, 3, kFactor3, 3, again.data(), ldr);
    EXPECT_EQ(again, r);
  }
}

#if VELM_THREADED
TEST(StreamExact, CorrelatedPairExport) {
  const Case& c = *cases_of("crnormal").at(0);
  const float m1 = 1.0f, s1 = 2.0f, m2 = 3.0f, s2 = 0.5f, rho = 0.6f;
  velm::RNSET(c.seed);
  std::vector<float> got;
  for (int i = 0; i < c.count / 2; ++i) {
    float a = 0.0f, b = 0.0f;
    EXPECT_EQ(VELMCRNORMAL(&m1, &s1, &m2, &s2, &rho, &a, &b), -1);
    got.push_back(a);
    got.push_back(b);
  }
  expect_floats(c, got);
  expect_seed(c);
}
#endif

TEST(StreamExact, GeometricAndBinomial) {
  for (const Case* c : cases_of("geometric")) {
    velm::RNSET(c->seed);
    std::vector<std::int32_t> ir(static_cast<std::size_t>(c->count));
    velm::RNGEO(c->count, static_cast<float>(c->params[0]), ir.data());
    expect_ints(*c, ir);
    expect_seed(*c);
  }
  for (const Case* c : cases_of("binomial")) {
    velm::RNSET(c->seed);
    std::vector<std::int32_t> ir(static_cast<std::size_t>(c->count));
    velm::RNBIN(c->count, static_cast<int>(c->params[0]), static_cast<float>(c->params[1]), ir.data());
    expect_ints(*c, ir);
    expect_seed(*c);
  }
}

TEST(StreamExact, GeometricAndYesNoExportsMatchTheArrayRoutines) {
  const Case& g = *cases_of("geometric").at(0);
  velm::RNSET(g.seed);
  const float p = static_cast<float>(g.params[0]);
  for (int i = 0; i < g.count; ++i) EXPECT_EQ(VELMGEOMETRIC(&p), static_cast<std::int32_t>(g.values[i]));
#if VELM_THREADED
  for (const Case* c : cases_of("binomial")) {
    if (c->params[0] != 1.0) continue;
    velm::RNSET(c->seed);
    const float q = static_cast<float>(c->params[1]);
    for (int i = 0; i < c->count; ++i) EXPECT_EQ(VELMYESNO(&q), static_cast<std::int32_t>(c->values[i]));
    expect_seed(*c);
  }
#endif
}

TEST(StreamExact, Triangular) {
  const Case& t = *cases_of("rntri").at(0);
  velm::RNSET(t.seed);
  std::vector<float> r(static_cast<std::size_t>(t.count));
  velm::RNTRI(t.count, r.data());
  expect_floats(t, r);
  expect_seed(t);

  const Case& c = *cases_of(velm::kThreadedEdition ? "triang_threaded" : "triang_stats").at(0);
  const float lo = 0.0f, mode = 0.3f, hi = 2.0f;
  velm::RNSET(c.seed);
  std::vector<float> got;
  for (int i = 0; i < c.count; ++i) got.push_back(VELMTRIANG(&lo, &mode, &hi));
  expect_floats(c, got);
  expect_seed(c);
}

TEST(StreamExact, BetaEveryMethod) {
  const auto cs = cases_of("beta");
  ASSERT_EQ(cs.size(), 17u);
  for (const Case* c : cs) {
    const int nr = static_cast<int>(c->params[0]);
    velm::RNSET(c->seed);
    std::vector<float> r(static_cast<std::size_t>(nr));
    velm::RNBET(nr, static_cast<float>(c->params[1]), static_cast<float>(c->params[2]), r.data());
    expect_floats(*c, r);
    expect_seed(*c);
  }
}

TEST(StreamExact, BetaExportUsesBbForOneVariate) {
  const Case& c = *cases_of("beta").at(8);  // (2, 2) with NR = 4: BB
  ASSERT_EQ(std::string(c.name), "bb_nr4");
  velm::RNSET(c.seed);
  const float p = 2.0f, q = 2.0f;
  std::vector<float> got;
  for (int i = 0; i < c.count; ++i) got.push_back(VELMBETA(&p, &q));
  expect_floats(c, got);
  expect_seed(c);
}

}  // namespace
