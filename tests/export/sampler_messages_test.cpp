// Refused sampler arguments: each call prints its TERMINAL message (an empty
// record, the header record and any continuation records; no traceback, the
// reporting routine being the one the export called) and ends the process
// with status 1 before the export returns.
#include <gtest/gtest.h>

#include <string>

#include "core/edition.h"
#include "support/probe.h"

namespace {

using velm_test::run_probe;

void expect_stop(const velm_test::ProbeResult& got, const std::string& records) {
  EXPECT_EQ(got.output, records);
  EXPECT_EQ(got.status, 1);
}

TEST(SamplerMessages, LognormalWithZeroSdHasZeroScale) {
  expect_stop(run_probe("lognormal", {"1", "0"}),
              "\n"
              " *** TERMINAL ERROR 2 from RNLNL.  The scale parameter S = 0.000000E+00, but\n"
              " ***          S must be positive.\n");
}

TEST(SamplerMessages, LognormalWithTinyRelativeSd) {
  // sd / mean = 1e-4: 1 + 1e-8 is 1 in single precision (threaded edition),
  // not in double precision (statistics edition).
  const auto got = run_probe("lognormal", {"1", "1e-4"});
  if (velm::kThreadedEdition) {
    expect_stop(got,
                "\n"
                " *** TERMINAL ERROR 2 from RNLNL.  The scale parameter S = 0.000000E+00, but\n"
                " ***          S must be positive.\n");
  } else {
    EXPECT_EQ(got.status, 0);
    ASSERT_EQ(got.output.rfind("returned ", 0), 0u) << got.output;
    EXPECT_NEAR(std::stod(got.output.substr(9)), 1.0, 1e-3) << got.output;
  }
}

TEST(SamplerMessages, GeometricOutsideTheOpenUnitInterval) {
  expect_stop(run_probe("geometric", {"0"}),
              "\n"
              " *** TERMINAL ERROR 2 from RNGEO.  The probability P = 0.000000E+00, but P\n"
              " ***          must be greater than 0.0 and less than 1.0.\n");
  expect_stop(run_probe("geometric", {"1"}),
              "\n"
              " *** TERMINAL ERROR 2 from RNGEO.  The probability P = 1.000000E+00, but P\n"
              " ***          must be greater than 0.0 and less than 1.0.\n");
}

TEST(SamplerMessages, BetaParametersAndCount) {
  expect_stop(run_probe("beta", {"0", "1"}),
              "\n"
              " *** TERMINAL ERROR 2 from RNBET.  PIN = 0.000000E+00.  PIN must be positive.\n");
  // Both refused: codes 2 and 3 in that order, then the stop.
  expect_stop(run_probe("beta", {"-1", "0"}),
              "\n"
              " *** TERMINAL ERROR 2 from RNBET.  PIN = -1.000000E+00.  PIN must be positive.\n"
              "\n"
              " *** TERMINAL ERROR 3 from RNBET.  QIN = 0.000000E+00.  QIN must be positive.\n");
  // A NaN parameter is not greater than 0.
  expect_stop(run_probe("beta", {"2", "nan"}),
              "\n"
              " *** TERMINAL ERROR 3 from RNBET.  QIN = NaN.  QIN must be positive.\n");
  expect_stop(run_probe("beta_nr0"),
              "\n"
              " *** TERMINAL ERROR 1 from RNBET.  NR = 0.  NR must be greater than or equal\n"
              " ***          to 1.\n");
}

TEST(SamplerMessages, MultivariateDimensionsCountTheirChecks) {
  // NR > LDR is the third check.
  expect_stop(run_probe("mvn_dims", {"3", "2", "2", "2"}),
              "\n"
              " *** TERMINAL ERROR 3 from RNMVN.  NR = 3 and LDR = 2.  NR must be less than\n"
              " ***          or equal to LDR.\n");
  // LDR = 0 (second check; the third is skipped but counted) and K > LDRSIG
  // (sixth). The factor is not read: with LDRSIG = 1 its triangle would lie
  // beyond the three elements given.
  expect_stop(run_probe("mvn_dims", {"1", "3", "1", "0"}),
              "\n"
              " *** TERMINAL ERROR 2 from RNMVN.  LDR = 0.  LDR must be greater than or\n"
              " ***          equal to 1.\n"
              "\n"
              " *** TERMINAL ERROR 6 from RNMVN.  K = 3 and LDRSIG = 1.  K must be less than\n"
              " ***          or equal to LDRSIG.\n");
}

#if VELM_THREADED
TEST(SamplerMessages, CorrelatedPairWithZeroFirstSd) {
  expect_stop(run_probe("crnormal", {"0", "1", "0.5"}),
              "\n"
              " *** TERMINAL ERROR 7 from RNMVN.  R(1,1) = 0.000000E+00.  Remaining elements\n"
              " ***          for the row must also be zero, but R(1,2) = 5.000000E-01 is not.\n");
  // With rho = 0 the factor is acceptable and the call returns -1.
  const auto ok = run_probe("crnormal", {"0", "1", "0"});
  EXPECT_EQ(ok.status, 0);
  EXPECT_EQ(ok.output, "returned -1\n");
}
#endif

}  // namespace
