// Printed messages of the probability functions, compared byte for byte with
// the designed records: terminal errors (printed at once; the process ends
// with status 1 when the reporting routine leaves), fatal errors passed up to
// the routine the caller called (printed and ended there), and warnings
// (printed when that routine leaves; the call returns). Each scenario runs
// in its own probe process.
#include <gtest/gtest.h>

#include <string>

#include "support/probe.h"

namespace {

// With returns set the call must come back after its message, and the probe
// then prints one "result" line.
void expect_probe(const std::string& scenario, const velm_test::ProbeArgs& args,
                  const std::string& expected, int status, bool returns = false) {
  const velm_test::ProbeResult r = velm_test::run_probe(scenario, args);
  EXPECT_EQ(r.status, status) << scenario;
  if (!returns) {
    EXPECT_EQ(r.output, expected) << scenario;
    return;
  }
  ASSERT_GE(r.output.size(), expected.size()) << r.output;
  EXPECT_EQ(r.output.substr(0, expected.size()), expected) << scenario;
  const std::string rest = r.output.substr(expected.size());
  EXPECT_EQ(rest.rfind("result ", 0), 0u) << rest;
  EXPECT_EQ(rest.find('\n'), rest.size() - 1) << rest;
}

TEST(SpecialMessages, CsevlTermsNotPositive) {
  expect_probe("csevl_terms", {"0"},
      "\n"
      " *** TERMINAL ERROR 5 from CSEVL.  The number of terms in the series is not\n"
      " ***          positive. N = 0.\n",
               1);
}

TEST(SpecialMessages, CsevlTooManyTerms) {
  expect_probe("csevl_terms", {"1001"},
      "\n"
      " *** TERMINAL ERROR 6 from CSEVL.  The number of terms in the series is\n"
      " ***          greater than 1000. N = 1001.\n",
               1);
}

TEST(SpecialMessages, CsevlOutsideItsInterval) {
  expect_probe("csevl_x", {"1.2"},
      "\n"
      " *** WARNING  ERROR 7 from CSEVL.  The argument X = 1.200000E+00 is outside\n"
      " ***          the interval (-1.1,+1.1).\n",
               0, true);
}

TEST(SpecialMessages, InitsNoCoefficients) {
  expect_probe("inits", {"0", "1e-8"},
      "\n"
      " *** TERMINAL ERROR 5 from INITS.  The number of coefficients is less than 1.\n"
      " ***          NOS = 0.\n",
               1);
}

TEST(SpecialMessages, InitsTooMuchAccuracy) {
  expect_probe("inits", {"23", "0"},
      "\n"
      " *** TERMINAL ERROR 6 from INITS.  Too much accuracy may be requested. ETA\n"
      " ***          should be increased.\n",
               1);
}

TEST(SpecialMessages, GammaOfZero) {
  expect_probe("gamma", {"0"},
      "\n"
      " *** TERMINAL ERROR 5 from GAMMA.  The argument for the function can not be\n"
      " ***          zero.\n",
               1);
}

TEST(SpecialMessages, GammaTooCloseToZero) {
  expect_probe("gamma", {"1e-38"},
      "\n"
      " *** TERMINAL ERROR 4 from GAMMA.  The function overflows because X =\n"
      " ***          9.999999E-39 is too close to zero.\n",
               1);
}

TEST(SpecialMessages, GammaNegativeInteger) {
  expect_probe("gamma", {"-2"},
      "\n"
      " *** TERMINAL ERROR 6 from GAMMA.  The argument for the function can not be a\n"
      " ***          negative integer. Argument X = -2.000000E+00.\n",
               1);
}

TEST(SpecialMessages, GammaOverflow) {
  expect_probe("gamma", {"36"},
      "\n"
      " *** TERMINAL ERROR 4 from GAMMA.  The function overflows because X =\n"
      " ***          3.600000E+01 is greater than 3.503078E+01.\n",
               1);
}

TEST(SpecialMessages, GammaNegativeIntegerBelowTen) {
  expect_probe("gamma", {"-20"},
      "\n"
      " *** TERMINAL ERROR 7 from GAMMA.  The argument for the function can not be a\n"
      " ***          negative integer. Argument X = -2.000000E+01.\n",
               1);
}

TEST(SpecialMessages, GammaNearNegativeInteger) {
  expect_probe("gamma", {"-2.0001"},
      "\n"
      " *** WARNING  ERROR 2 from GAMMA.  The result is accurate to less than one\n"
      " ***          half precision because X = -2.000100E+00 is too close to a \n"
      " ***          negative integer.\n",
               0, true);
}

TEST(SpecialMessages, R9lgmcBelowTen) {
  expect_probe("r9lgmc", {"5"},
      "\n"
      " *** TERMINAL ERROR 5 from R9LGMC.  The argument X = 5.000000E+00 must be\n"
      " ***          greater than or equal to 10.0.\n",
               1);
}

TEST(SpecialMessages, R9gamlNoXmin) {
  expect_probe("r9gaml_limits", {"nan", "3.4028235e38"},
      "\n"
      " *** TERMINAL ERROR 5 from R9GAML.  Unable to determine the value of XMIN.\n",
               1);
}

TEST(SpecialMessages, R9gamlNoXmax) {
  expect_probe("r9gaml_limits", {"1.1754944e-38", "nan"},
      "\n"
      " *** TERMINAL ERROR 6 from R9GAML.  Unable to determine the value of XMAX.\n",
               1);
}

TEST(SpecialMessages, ErfceOverflow) {
  expect_probe("erfce", {"-10"},
      "\n"
      " *** TERMINAL ERROR 4 from ERFCE.  The function overflows because X =\n"
      " ***          -1.000000E+01 is less than -9.372414E+00.\n",
               1);
}

TEST(SpecialMessages, ErfciNotPositive) {
  expect_probe("erfci", {"0"},
      "\n"
      " *** TERMINAL ERROR 5 from ERFCI.  X = 0.000000E+00 must be greater than zero.\n",
               1);
}

TEST(SpecialMessages, ErfciNotBelowTwo) {
  expect_probe("erfci", {"2"},
      "\n"
      " *** TERMINAL ERROR 6 from ERFCI.  X = 2.000000E+00 must be less than 2.0.\n",
               1);
}

TEST(SpecialMessages, ErfciNoConvergence) {
  expect_probe("erfci", {"nan"},
      "\n"
      " *** TERMINAL ERROR 7 from ERFCI.  Sufficiently accurate result was not\n"
      " ***          achieved in a reasonable number of iterations. An algorithmic \n"
      " ***          problem exists.\n",
               1);
}

TEST(SpecialMessages, ErfciCloseToTwo) {
  expect_probe("erfci", {"1.999995"},
      "\n"
      " *** WARNING  ERROR 2 from ERFCI.  The result is accurate to less than one\n"
      " ***          half precision because X = 1.999995E+00 is too close to 2.0.\n",
               0, true);
}

TEST(SpecialMessages, AnorinOutsideTheInterval) {
  expect_probe("anorin", {"1"},
      "\n"
      " *** TERMINAL ERROR 1 from ANORIN.  The argument to the function must be\n"
      " ***          greater than 0.0 and less than 1.0.  P = 1.000000E+00.\n",
               1);
}

TEST(SpecialMessages, AnorinCalleeTracesBack) {
  expect_probe("anorin", {"nan"},
      "\n"
      " *** TERMINAL ERROR 7 from ERFCI.  Sufficiently accurate result was not\n"
      " ***          achieved in a reasonable number of iterations. An algorithmic \n"
      " ***          problem exists.\n"
      "     Here is a traceback of subprogram calls in reverse order:\n"
      "     Routine name                    Error type  Error code\n"
      "     ------------                    ----------  ----------\n"
      "     ERFCI                                5           7    (Called internally)\n"
      "     ANORIN                               0           0\n"
      "     USER                                 0           0\n",
               1);
}

TEST(SpecialMessages, ChidfDegreesOfFreedom) {
  expect_probe("chidf", {"1", "0.25"},
      "\n"
      " *** TERMINAL ERROR 2 from CHIDF.  The number of degrees of freedom of the\n"
      " ***          distribution, DF = 2.500000E-01, must be at least equal to 0.5.\n",
               1);
}

TEST(SpecialMessages, ChiinProbability) {
  expect_probe("chiin", {"0", "4"},
      "\n"
      " *** TERMINAL ERROR 2 from CHIIN.  The input probability, P = 0.000000E+00,\n"
      " ***          must be in the open interval (0.0, 1.0).\n",
               1);
}

TEST(SpecialMessages, ChiinDegreesOfFreedom) {
  expect_probe("chiin", {"0.5", "0.2"},
      "\n"
      " *** TERMINAL ERROR 3 from CHIIN.  The degrees of freedom, DF = 2.000000E-01,\n"
      " ***          must be greater than or equal to 0.5.\n",
               1);
}

TEST(SpecialMessages, ChiinBothArgumentsBad) {
  expect_probe("chiin", {"1.5", "0.2"},
      "\n"
      " *** TERMINAL ERROR 2 from CHIIN.  The input probability, P = 1.500000E+00,\n"
      " ***          must be in the open interval (0.0, 1.0).\n"
      "\n"
      " *** TERMINAL ERROR 3 from CHIIN.  The degrees of freedom, DF = 2.000000E-01,\n"
      " ***          must be greater than or equal to 0.5.\n",
               1);
}

TEST(SpecialMessages, ChiinNoBracket) {
  expect_probe("chiin", {"0.5", "nan"},
      "\n"
      " *** TERMINAL ERROR 4 from CHIIN.  Unable to bracket the value of the inverse\n"
      " ***          chi-square at P = 5.000000E-01 with DF = NaN.\n",
               1);
}

TEST(SpecialMessages, BetinFirstShape) {
  expect_probe("betin", {"1.5", "0", "1"},
      "\n"
      " *** TERMINAL ERROR 2 from BETIN.  The first parameter of the beta\n"
      " ***          distribution, PIN = 0.000000E+00, must be positive.\n",
               1);
}

TEST(SpecialMessages, BetinSecondShape) {
  expect_probe("betin", {"0.5", "1", "0"},
      "\n"
      " *** TERMINAL ERROR 3 from BETIN.  The second parameter of the beta\n"
      " ***          distribution, QIN = 0.000000E+00, must be positive.\n",
               1);
}

TEST(SpecialMessages, BetinProbability) {
  expect_probe("betin", {"1.5", "1", "1"},
      "\n"
      " *** TERMINAL ERROR 4 from BETIN.  The probability which the inverse of the\n"
      " ***          beta distribution is based on, P = 1.500000E+00, must be in the \n"
      " ***          exclusive interval (0.0, 1.0).\n",
               1);
}

TEST(SpecialMessages, BetinNoConvergence) {
  expect_probe("betin", {"2e-20", "0.75", "0.5"},
      "\n"
      " *** FATAL    ERROR 1 from BETIN.  Over 100 iterations have occurred without\n"
      " ***          convergence.  Convergence is assumed.\n",
               1);
}

TEST(SpecialMessages, TinDegreesOfFreedom) {
  expect_probe("tin", {"0.975", "0.5"},
      "\n"
      " *** TERMINAL ERROR 1 from TIN.  The input number of degrees of freedom, DF =\n"
      " ***          5.000000E-01, must be at least 1.\n",
               1);
}

// A NaN number of degrees of freedom is refused like one below 1.
TEST(SpecialMessages, TinDegreesOfFreedomNotANumber) {
  expect_probe("tin", {"0.975", "nan"},
      "\n"
      " *** TERMINAL ERROR 1 from TIN.  The input number of degrees of freedom, DF =\n"
      " ***          NaN, must be at least 1.\n",
               1);
}

TEST(SpecialMessages, TinProbability) {
  expect_probe("tin", {"1", "5"},
      "\n"
      " *** TERMINAL ERROR 2 from TIN.  The input probability value, P =\n"
      " ***          1.000000E+00, must be in the open interval (0.0,1.0).\n",
               1);
}

TEST(SpecialMessages, TinBetaRouteOverflows) {
  expect_probe("tin", {"1.83570099e-43", "1.7"},
      "\n"
      " *** FATAL    ERROR 3 from TIN.  Upon modifying the inverse value for the F\n"
      " ***          distribution from the value obtained from the inverse BETA \n"
      " ***          distribution, BETIN, overflow would occur.  Therefore, the \n"
      " ***          value is set to machine infinity.\n",
               1);
}

TEST(SpecialMessages, TinBetaRouteNoConvergence) {
  expect_probe("tin", {"1e-20", "1.5"},
      "\n"
      " *** FATAL    ERROR 1 from TIN.  Over 100 iterations have occurred without\n"
      " ***          convergence.  Convergence is assumed.\n",
               1);
}

}  // namespace
