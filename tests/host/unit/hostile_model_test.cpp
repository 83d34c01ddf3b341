// Hostile and extreme models: each is refused (or warned about) with a
// located message and every other error of the file, never a crash, and
// never a run that the library would stop or whose figures it would mangle.
#include <gtest/gtest.h>

#include <string>

#include "tests/host/unit/support.h"

namespace {

using namespace velmsim_unit;

const std::string kOutput = "[outputs]\ny = \"1\"\n";

// Names a formula cannot take, declared anywhere: each reported where it
// stands, with the file's other errors (muParser used to abort on them).
TEST(HostileModel, NamesThatCannotBeFormulaNames) {
  const std::string long_name(150, 'x');
  const std::string text =
      "[inputs]\n\"a b\" = { dist = \"uniform\", min = 0, max = 1 }\n"
      "1x = { dist = \"uniform\", min = 0, max = 1 }\n" +
      long_name + " = { dist = \"uniform\", min = 0, max = 1 }\n"
      "p = { dist = \"normal_pair\", mean = [0, 0], sd = [1, 1], rho = 0, names = [\"c d\", \"e\"] }\n"
      "[outputs]\n" + long_name + " = \"e\"\nz = \"e\"\n"
      "[run]\nseed = -5\n";
  const std::string m = messages(text);
  for (const std::string line :
       {"m.toml:2:1: error: 'a b' cannot be a variable name", "m.toml:3:1: error: '1x' cannot be",
        "m.toml:4:1: error: the name 'xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx...' has 150 "
        "characters; a name in the formulas has at most 100",
        "m.toml:5:75: error: 'c d' cannot be a variable name",
        "m.toml:7:1: error: the name 'xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx...' has 150",
        "m.toml:10:8: error: seed = -5 is out of range"})
    EXPECT_NE(m.find(line), std::string::npos) << line << "\n" << m;
  // A formula that names one of them is not told again that it is unknown.
  EXPECT_EQ(messages("[inputs]\n" + long_name + " = { dist = \"uniform\", min = 0, max = 1 }\n"
                     "[outputs]\ny = \"" + long_name + "\"\n")
                .find("unknown name"),
            std::string::npos);
}

// A key of 50,000 dotted parts would overflow the parser's stack; it is
// refused before parsing, and its long line shown cut around the column.
TEST(HostileModel, DeepKeysAreRefusedBeforeParsing) {
  std::string deep = "[a";
  for (int i = 0; i < 50000; ++i) deep += ".a";
  deep += "]\n";
  const std::string m = messages(deep);
  EXPECT_EQ(m.rfind("m.toml:1:2: error: this key has more than 32 dotted parts; a model's keys "
                    "have at most 32\n[a.a.a.",
                    0),
            0u)
      << m.substr(0, 300);
  EXPECT_LT(m.size(), 300u);
  // 32 parts, and numbers with dots, are fine.
  std::string ok = "[inputs]\nx = { dist = \"uniform\", min = 1.5, max = 2.5 }\n"
                   "[outputs]\ny = \"x\"\n[model]\nname = \"a.b.c.d.e.f.g.h.i.j.k.l.m.n.o.p.q.r.s.t.u.v."
                   "w.x.y.z.aa.bb.cc.dd.ee.ff.gg.hh\"\n[z";
  for (int i = 1; i < 32; ++i) ok += ".z";
  EXPECT_EQ(messages(ok + "]\n").find("dotted"), std::string::npos);
}

// Values the library would stop on, or silently mangle, that the
// distributions' own conditions accept: refused or warned about per edition.
TEST(HostileModel, WhatTheSamplersCannotTake) {
  const std::string text = "[inputs]\nla = { dist = \"lognormal\", mean = 1, sd = 1e-4 }\n"
                           "lw = { dist = \"lognormal\", mean = 1, sd = 2.5e-4 }\n"
                           "lf = { dist = \"lognormal\", mean = 1, sd = 1.2e-3 }\n"
                           "g = { dist = \"geometric\", p = 1e-9 }\n"
                           "r = { dist = \"risk\", p = 0.5, impact = { dist = \"lognormal\", mean = 5, sd = 1e-4 } }\n"
                           "[outputs]\ny = \"la + lw + lf + g + r\"\n[model]\nbase = 1e300\n";
  const std::string threaded = messages(text);
  for (const std::string line :
       {"m.toml:2:43: error: 'sd' of input 'la' is too small beside its mean for the lognormal "
        "sampler: sd / mean = 0.0001 leaves the logarithm no spread in single precision",
        "m.toml:3:43: warning: the lognormal sampler converts 'sd' of input 'lw' in single "
        "precision: at sd / mean = 0.00025 its variates have an sd 38.10679 % off",
        "m.toml:5:31: error: 'p' of input 'g' = 1e-09 is below what the geometric sampler can "
        "use: 1 - p rounds to 1",
        "m.toml:6:77: error: 'sd' of the impact of 'r' is too small",
        "m.toml:10:8: error: 'base' = 1e+300 is beyond single precision"})
    EXPECT_NE(threaded.find(line), std::string::npos) << line << "\n" << threaded;
  EXPECT_EQ(threaded.find("'lf'"), std::string::npos) << "an error within 1 % is not worth a word";
  // The statistics edition converts in double: the same sd / mean serve.
  Overrides stats;
  stats.sampler = Sampler::stats;
  const std::string in_double = messages(text, stats);
  EXPECT_EQ(in_double.find("lognormal sampler"), std::string::npos) << in_double;
  EXPECT_NE(in_double.find("geometric sampler"), std::string::npos);
}

// Counts beyond what the statistics take and draws beyond an iteration's
// stretch of the stream are refused up front, where they begin.
TEST(HostileModel, LimitsOfASummary) {
  std::string wide = "[inputs]\n";
  for (int i = 0; i < 32768; ++i) wide += "u" + std::to_string(i) + " = { dist = \"uniform\", min = 0, max = 1 }\n";
  const std::string m = messages(wide + kOutput);
  EXPECT_NE(m.find("m.toml:32769:1: error: the model has 32768 input columns; the statistics take "
                   "at most 32767"),
            std::string::npos)
      << m.substr(0, 400);

  std::string betas = "[inputs]\n";
  for (int i = 0; i < 26000; ++i) betas += "b" + std::to_string(i) + " = { dist = \"beta\", p = 2, q = 5 }\n";
  const std::string b = messages(betas + kOutput);
  EXPECT_NE(b.find("uniforms per iteration"), std::string::npos) << b.substr(0, 400);
  Overrides one;
  one.one_stream = true;
  EXPECT_EQ(messages(betas + kOutput, one), "");

  Overrides many;  // 65,441 percentiles once wrapped the count and read 0
  for (int i = 1; i <= 32663; ++i) many.percentiles.push_back(i / 326.64);
  EXPECT_NE(messages("[inputs]\nx = { dist = \"uniform\", min = 0, max = 1 }\n" + kOutput, many)
                .find("m.toml: error: --percentiles lists 32663; the statistics take at most 32662"),
            std::string::npos);

  Overrides p;
  p.percentiles = {50.00001, 99.999999};
  EXPECT_EQ(messages("[inputs]\nx = { dist = \"uniform\", min = 0, max = 1 }\n" + kOutput, p),
            "m.toml: error: --percentiles: the percentile 99.999999 is 100 in single precision, "
            "in which the statistics take it (at most 99.999998)\n");
}

// Names that are something else than the message used to say.
TEST(HostileModel, NamesOfOutputsWhereInputsBelong) {
  const std::string m = messages(
      "[inputs]\na = { dist = \"uniform\", min = 0, max = 1 }\n"
      "[outputs]\ny = \"a + later + y\"\nlater = \"a\"\n[run]\nshares = [\"later\"]\n");
  EXPECT_NE(m.find("m.toml:4:10: error: 'later' in the formula of 'y' is an output written below "
                   "it (line 5): a formula may use only the outputs written above it"),
            std::string::npos)
      << m;
  EXPECT_NE(m.find("m.toml:7:11: error: 'later' is an output; shares lists inputs"),
            std::string::npos)
      << m;
}

}  // namespace
