// The model reader on model texts: every class of mistake located byte for
// byte (FILE:LINE:COL, source line, caret), and what a model that reads
// cleanly holds.
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <utility>
#include <vector>

#include "host/velmsim/model/distributions.h"
#include "tests/host/unit/support.h"

namespace {

using namespace velmsim_unit;

// The model in `text`, which must read without errors.
Model clean(const std::string& text) {
  Diagnostics diagnostics;
  Model m = read_model_text("m.toml", text, diagnostics);
  EXPECT_FALSE(diagnostics.has_errors()) << diagnostics.render("m.toml", text);
  return m;
}

// Each class of model error, from the TOML parser to the formulas and [run]:
// exact message, location, source line and caret.
TEST(ModelReader, ModelErrorsAreLocated) {
  struct Case {
    const char* what;
    std::string model;
    std::string message;  // after "m.toml:"
  };
  const std::string in = "[outputs]\ny = \"a\"\n[inputs]\n";
  const std::vector<Case> cases = {
      {"TOML syntax", "[inputs]\na = { dist = \"normal\", mean = 1, sd = 2\n",
       "2:40: error: Error while parsing inline table: expected key or closing '}', saw '\\n'\n"
       "a = { dist = \"normal\", mean = 1, sd = 2\n                                       ^\n"},
      {"unknown distribution", in + "a = { dist = \"lognorml\", mean = 1, sd = 2 }\n",
       "4:14: error: unknown distribution 'lognorml'; did you mean 'lognormal'?\n"
       "a = { dist = \"lognorml\", mean = 1, sd = 2 }\n             ^\n"},
      {"unknown distribution, nothing close: the table's names, then the kinds",
       in + "a = { dist = \"poisson\", mean = 1 }\n",
       "4:14: error: unknown distribution 'poisson'; known: uniform, normal, lognormal, "
       "triangular, beta, geometric, yesno, pert, constant, discrete, cumulative, data, normal_pair, risk\n"
       "a = { dist = \"poisson\", mean = 1 }\n             ^\n"},
      {"no dist", in + "a = { mean = 1, sd = 2 }\n",
       "4:1: error: input 'a' needs 'dist', one of uniform, normal, lognormal, triangular, beta, "
       "geometric, yesno, pert, constant, discrete, cumulative, data, normal_pair, risk\na = { mean = 1, sd = 2 }\n^\n"},
      {"unknown key", in + "a = { dist = \"normal\", mean = 1, sdd = 2 }\n",
       "4:1: error: input 'a' needs 'sd' for a normal distribution\n"
       "a = { dist = \"normal\", mean = 1, sdd = 2 }\n^\n"
       "m.toml:4:34: error: unknown key 'sdd' for a normal distribution; did you mean 'sd'?\n"
       "a = { dist = \"normal\", mean = 1, sdd = 2 }\n                                 ^\n"},
      {"sd <= 0", in + "a = { dist = \"normal\", mean = 1, sd = 0 }\n",
       "4:39: error: 'sd' of input 'a' (the standard deviation) must be greater than 0, not 0\n"
       "a = { dist = \"normal\", mean = 1, sd = 0 }\n                                      ^\n"},
      {"lognormal mean <= 0", in + "a = { dist = \"lognormal\", mean = -1, sd = 2 }\n",
       "4:34: error: 'mean' of input 'a' must be greater than 0 for a lognormal distribution (it is "
       "the mean of the variable itself), not -1\n"
       "a = { dist = \"lognormal\", mean = -1, sd = 2 }\n                                 ^\n"},
      {"p of geometric", in + "a = { dist = \"geometric\", p = 1 }\n",
       "4:31: error: 'p' of input 'a' (the chance of success in each trial) must lie strictly "
       "between 0 and 1, not 1\na = { dist = \"geometric\", p = 1 }\n                              ^\n"},
      {"mode outside", in + "a = { dist = \"triangular\", low = 1, mode = 0, high = 2 }\n",
       "4:44: error: 'mode' of input 'a' must lie between 'low' (1) and 'high' (2), not 0\n"
       "a = { dist = \"triangular\", low = 1, mode = 0, high = 2 }\n                                           ^\n"},
      {"min >= max", in + "a = { dist = \"uniform\", min = 3, max = 3 }\n",
       "4:40: error: 'max' of input 'a' must be greater than 'min' (3), not 3\n"
       "a = { dist = \"uniform\", min = 3, max = 3 }\n                                       ^\n"},
      {"beta shape", in + "a = { dist = \"beta\", p = 2, q = -1 }\n",
       "4:33: error: 'q' of input 'a' (a shape parameter) must be greater than 0, not -1\n"
       "a = { dist = \"beta\", p = 2, q = -1 }\n                                ^\n"},
      {"rho", in + "a = { dist = \"normal_pair\", mean = [0, 0], sd = [1, 1], rho = -1.5, names = [\"x\", \"y2\"] }\n",
       "4:63: error: 'rho' of input 'a' (a correlation) must lie between -1 and 1, not -1.5\n"
       "a = { dist = \"normal_pair\", mean = [0, 0], sd = [1, 1], rho = -1.5, names = [\"x\", \"y2\"] }\n"
       "                                                              ^\n"},
      {"not finite", in + "a = { dist = \"normal\", mean = inf, sd = 1 }\n",
       "4:31: error: 'mean' of input 'a' must be a finite number, not inf\n"
       "a = { dist = \"normal\", mean = inf, sd = 1 }\n                              ^\n"},
      {"risk p", in + "a = { dist = \"risk\", p = 1.2, impact = 4 }\n",
       "4:26: error: 'p' of input 'a' (the chance that the event occurs) must lie between 0 and 1, not 1.2\n"
       "a = { dist = \"risk\", p = 1.2, impact = 4 }\n                         ^\n"},
      {"duplicate name", "[inputs]\na = { dist = \"normal\", mean = 1, sd = 1 }\n"
                         "b = { dist = \"normal_pair\", mean = [0, 0], sd = [1, 1], rho = 0, names = [\"a\", \"c\"] }\n"
                         "[outputs]\ny = \"a + c\"\n",
       "3:75: error: the name 'a' is used twice; it is first used on line 2\n"
       "b = { dist = \"normal_pair\", mean = [0, 0], sd = [1, 1], rho = 0, names = [\"a\", \"c\"] }\n"
       "                                                                          ^\n"},
      {"formula syntax", "[inputs]\na = { dist = \"normal\", mean = 1, sd = 1 }\n[outputs]\ny = \"a * (2 +\"\n",
       "4:14: error: in the formula of 'y': Unexpected end of expression\n"
       "y = \"a * (2 +\"\n             ^\n"},
      {"unknown name in formula", "[inputs]\nlabour = { dist = \"normal\", mean = 1, sd = 1 }\n[outputs]\ny = \"2 * labor\"\n",
       "4:10: error: unknown name 'labor' in the formula of 'y'; did you mean 'labour'?\n"
       "y = \"2 * labor\"\n         ^\n"},
      {"a pair's own name in a formula (it used to pass the check and abort the run)",
       "[inputs]\nsite = { dist = \"normal_pair\", mean = [0, 0], sd = [1, 1], rho = 0, names = [\"d\", \"b\"] }\n"
       "[outputs]\ny = \"site + d\"\n",
       "4:6: error: 'site' in the formula of 'y' is a normal_pair, not a variable: use its "
       "variables 'd' and 'b'\ny = \"site + d\"\n     ^\n"},
      {"iterations", "[inputs]\na = { dist = \"normal\", mean = 1, sd = 1 }\n[outputs]\ny = \"a\"\n[run]\niterations = 40000\n",
       "6:14: error: iterations = 40000 is out of range: at least 2 and at most 32767, the largest "
       "count the statistics take\niterations = 40000\n             ^\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(messages(c.model), "m.toml:" + c.message) << c.what;
}

// Every error of a file is given, in file order, up to twenty; a line says
// how many more there are.
TEST(ModelReader, AllErrorsOfAFileUpToTwenty) {
  std::string model = "[inputs]\n";
  for (int i = 0; i < 25; ++i)
    model += "a" + std::to_string(i) + " = { dist = \"normal\", mean = 1, sd = -1 }\n";
  model += "[outputs]\ny = \"a0\"\n";
  const std::string m = messages(model);
  std::size_t errors = 0;
  for (std::size_t at = 0; (at = m.find(": error: ", at)) != std::string::npos; ++at) ++errors;
  EXPECT_EQ(errors, 20u);
  EXPECT_NE(m.find("m.toml:21:41: error: 'sd' of input 'a19' "), std::string::npos) << m;
  EXPECT_EQ(m.find("input 'a20'"), std::string::npos) << m;
  EXPECT_TRUE(m.ends_with("\nm.toml: 5 more errors not shown\n")) << m;
}

// Unknown, pair and repeated names in [run] shares, and a name that is not
// text: every one located.
TEST(ModelReader, NamesInSharesAreChecked) {
  const std::string line = "shares = [\"labour\", \"labor\", \"site\", \"labour\", 3]";
  const std::string model =
      "[inputs]\nlabour = { dist = \"normal\", mean = 1, sd = 1 }\n"
      "site = { dist = \"normal_pair\", mean = [0, 0], sd = [1, 1], rho = 0, names = "
      "[\"design\", \"build\"] }\n[outputs]\ny = \"labour + design\"\n[run]\n" + line + "\n";
  auto error = [&](int column, const std::string& message) {
    return "m.toml:7:" + std::to_string(column) + ": error: " + message + "\n" + line + "\n" +
           std::string(static_cast<std::size_t>(column - 1), ' ') + "^\n";
  };
  EXPECT_EQ(messages(model),
            error(21, "unknown name 'labor' in shares; did you mean 'labour'?") +
                error(30, "'site' is a normal_pair, not a variable: list its variables 'design' "
                          "and 'build'") +
                error(38, "'labour' is listed twice in shares") +
                error(48, "each name in shares must be a text in quotes"));
}

// Labels and units of every kind of input and of an output, and [run]
// tornado: each mistake located at its value.
TEST(ModelReader, LabelUnitAndTornadoMistakesAreLocated) {
  const std::string head = "[outputs]\ny = { formula = \"a\", unit = \"k$\" }\n[inputs]\n";
  const std::string a = "a = { dist = \"normal\", mean = 1, sd = 1 }\n";
  auto error = [](int line, int column, const std::string& message, const std::string& source) {
    return "m.toml:" + std::to_string(line) + ":" + std::to_string(column) + ": error: " +
           message + "\n" + source + std::string(static_cast<std::size_t>(column - 1), ' ') +
           "^\n";
  };
  const std::string plain = "a = { dist = \"normal\", mean = 1, sd = 1, label = 7 }\n";
  EXPECT_EQ(messages(head + plain),
            error(4, 50, "'label' of input 'a' must be a text in quotes", plain));
  const std::string risk = "a = { dist = \"risk\", p = 0.5, impact = 2, unit = \"" +
                           std::string(201, 'x') + "\" }\n";
  EXPECT_TRUE(messages(head + risk)
                  .starts_with("m.toml:4:50: error: 'unit' of input 'a' has 201 characters; at "
                               "most 200\n"));
  const std::string pair = "a = { dist = \"normal_pair\", mean = [0, 0], sd = [1, 1], rho = 0, "
                           "names = [\"a1\", \"a2\"], label = [\"One\", \"Two\\nlines\"] }\n";
  EXPECT_EQ(messages("[outputs]\ny = \"a1\"\n[inputs]\n" + pair),
            error(4, 104, "each of 'label' of input 'a' holds a control character (a line "
                          "break, a tab or the like): it must be one line of plain text", pair));
  const std::string three = "a = { dist = \"normal_pair\", mean = [0, 0], sd = [1, 1], rho = 0, "
                            "names = [\"a1\", \"a2\"], unit = [\"m\", \"m\", \"m\"] }\n";
  EXPECT_EQ(messages("[outputs]\ny = \"a1\"\n[inputs]\n" + three),
            error(4, 95, "'unit' of input 'a' must be one text for both variables or a list of "
                         "two, one per variable", three));
  const std::string both = "y = { formula = \"a\", currency = \"GBP\", unit = \"k\\u0085\" }\n";
  EXPECT_EQ(messages("[inputs]\n" + a + "[outputs]\n" + both),
            error(4, 47, "'unit' of output 'y' holds a control character (a line break, a tab or "
                         "the like): it must be one line of plain text", both) +
                error(4, 47, "output 'y' gives both 'unit' and 'currency', which the reports "
                             "show in the same places: keep one", both));
  const std::string impact = "a = { dist = \"risk\", p = 0.5, impact = { dist = \"uniform\", "
                             "min = 1, max = 2, label = \"x\" } }\n";
  EXPECT_EQ(messages(head + impact),
            error(4, 78, "unknown key 'label' for a uniform distribution", impact));
  for (const auto& [value, message] :
       {std::pair{"0", "tornado = 0 is out of range: at least 1 bar (or \"all\" for every input)"},
        {"-3", "tornado = -3 is out of range: at least 1 bar (or \"all\" for every input)"},
        {"2.5", "tornado must be a whole number"},
        {"\"some\"", "tornado must be a number of bars such as 20, or \"all\", not \"some\""}}) {
    const std::string run = std::string("tornado = ") + value + "\n";
    EXPECT_EQ(messages(head + a + "[run]\n" + run), error(6, 11, message, run)) << value;
  }
  Diagnostics diag;
  const Model m = read_model_text("m.toml", head + a + "[run]\ntornado = \"all\"\n", diag);
  EXPECT_FALSE(diag.has_errors());
  EXPECT_EQ(m.run.tornado, 0);
}

// Every mistake in [correlation] is located: a misspelt input, a variable of
// a pair (which has its own rho), a pair given twice in either order, an
// input with itself, and a key that is no pair.
TEST(ModelReader, CorrelationMistakesAreLocated) {
  const std::string model =
      "[inputs]\n"
      "labour = { dist = \"uniform\", min = 0, max = 1 }\n"
      "steel = { dist = \"normal\", mean = 5, sd = 1 }\n"
      "site = { dist = \"normal_pair\", mean = [1, 2], sd = [1, 1], rho = 0.5, names = [\"x\", \"y\"] }\n"
      "[outputs]\n"
      "total = \"labour + steel + x + y\"\n"
      "[correlation]\n"
      "labor.steel = 0.5\n"
      "labour.x = 0.2\n"
      "labour.steel = 0.2\n"
      "steel.labour = 0.3\n"
      "labour.labour = 1\n"
      "overall = 0.4\n";
  EXPECT_EQ(messages(model),
            "m.toml:8:1: error: unknown input 'labor' in [correlation]; did you mean 'labour'?\n"
            "labor.steel = 0.5\n^\n"
            "m.toml:9:8: error: 'x' is a variable of the normal_pair 'site', which has its own "
            "correlation (rho); it cannot also be in [correlation]\nlabour.x = 0.2\n       ^\n"
            "m.toml:11:16: error: the correlation of 'steel' and 'labour' is given twice; it is "
            "first given on line 10\nsteel.labour = 0.3\n               ^\n"
            "m.toml:12:17: error: a variable's correlation with itself is 1; give pairs of two "
            "different inputs\nlabour.labour = 1\n                ^\n"
            "m.toml:13:1: error: write each correlation as two input names joined by a dot, such as "
            "labour.steel = 0.5, or give names = [...] and matrix = [[...], ...]\noverall = 0.4\n^\n");
}

// A model that reads cleanly: inputs in file order, a pair giving two
// columns, a risk one; outputs with the model's base, target and currency or
// only their own; shares as column indices; the correlations written in
// another order held over the columns in draw order.
TEST(ModelReader, HoldsTheModelInDrawOrder) {
  const std::string text =
      "[model]\nbase = 100\ntarget = 150\ncurrency = \"EUR\"\n"
      "[inputs]\n"
      "z = { dist = \"beta\", p = 2, q = 3, min = 1, max = 4 }\n"
      "site = { dist = \"normal_pair\", mean = [1, 2], sd = [0.5, 1], rho = 0.3, names = [\"d\", \"e\"] }\n"
      "r = { dist = \"risk\", p = 0.25, impact = { dist = \"uniform\", min = 5, max = 9 } }\n"
      "a = { dist = \"uniform\", min = 0, max = 1 }\n"
      "[outputs]\n"
      "total = \"z + d + e + r + a\"\n"
      "own = { formula = \"total - base\", base = 7, currency = \"USD\" }\n"
      "[correlation]\n"
      "a.z = 0.4\n"
      "r.a = -0.2\n"
      "[run]\n"
      "shares = [\"a\", \"d\"]\n";
  const Model m = clean(text);

  ASSERT_EQ(m.inputs.size(), 4u);
  EXPECT_EQ(m.inputs[0].name, "z");
  Draw beta;
  beta.dist = Dist::beta;
  beta.arg = {2, 3, 0};
  beta.scaled = true;
  beta.lo = 1;
  beta.hi = 4;
  EXPECT_EQ(m.inputs[0].draw, beta);
  EXPECT_EQ(m.inputs[1].kind, InputKind::pair);
  EXPECT_EQ(m.inputs[1].pair.mean, (std::array<float, 2>{1, 2}));
  EXPECT_EQ(m.inputs[1].pair.sd, (std::array<float, 2>{0.5f, 1}));
  EXPECT_EQ(m.inputs[1].pair.rho, 0.3f);
  EXPECT_EQ(m.inputs[2].kind, InputKind::risk);
  EXPECT_EQ(m.inputs[2].risk.p, 0.25f);
  ASSERT_TRUE(m.inputs[2].risk.impact.has_value());
  Draw impact;
  impact.arg = {5, 9, 0};
  EXPECT_EQ(*m.inputs[2].risk.impact, impact);
  EXPECT_EQ(m.inputs[3].name, "a");

  EXPECT_EQ(m.column_names(), (std::vector<std::string>{"z", "d", "e", "r", "a"}));
  const std::vector<std::pair<std::size_t, int>> from = {{0, 0}, {1, 0}, {1, 1}, {2, 0}, {3, 0}};
  for (std::size_t c = 0; c < from.size(); ++c) {
    EXPECT_EQ(m.columns[c].input, from[c].first) << c;
    EXPECT_EQ(m.columns[c].part, from[c].second) << c;
  }

  ASSERT_EQ(m.outputs.size(), 2u);
  EXPECT_EQ(m.outputs[0].base, 100.0);
  EXPECT_EQ(m.outputs[0].target, 150.0);
  EXPECT_EQ(m.outputs[0].currency, "EUR");
  EXPECT_EQ(m.outputs[1].formula, "total - base");
  EXPECT_EQ(m.outputs[1].base, 7.0);
  EXPECT_FALSE(m.outputs[1].target.has_value());
  EXPECT_EQ(m.outputs[1].currency, "USD");

  EXPECT_EQ(m.shares, (std::vector<std::size_t>{4, 1}));
  // Over z, r, a.
  EXPECT_EQ(m.correlation.variables, (std::vector<std::size_t>{0, 3, 4}));
  EXPECT_EQ(m.correlation.given.a, (std::vector<double>{1, 0, 0.4, 0, 1, -0.2, 0.4, -0.2, 1}));
}

// Every row of the distribution table reads from its own keys, each value
// reaching the row's draw; is refused without any one of its required keys;
// and is taken or refused as a risk's impact as the row says. Looping over
// the table tests a row as soon as it is added.
TEST(ModelReader, EveryDistributionReadsFromItsRow) {
  std::string impacts;
  for (const Distribution& d : distributions())
    if (d.impact) impacts += (impacts.empty() ? "" : ", ") + std::string(d.name);
  for (const Distribution& d : distributions()) {
    // Distributions given by tables, and the percentiles that a triangular's
    // low and high may be, are read by tests of their own.
    if (d.call == Call::inverse) continue;
    std::vector<std::string> keys = d.keys;
    for (const std::string& k : d.optional)
      if (!k.ends_with("_pct")) keys.push_back(k);
    // Increasing values 0.25, 0.5, ... meet every row's conditions: bounds in
    // order, positive scales, chances inside (0, 1).
    Parameters p;
    std::vector<std::string> fields;
    for (std::size_t i = 0; i < keys.size(); ++i) {
      p.value[keys[i]] = 0.25f * static_cast<float>(i + 1);
      fields.push_back(keys[i] + " = " + std::to_string(0.25 * static_cast<double>(i + 1)));
    }
    Draw want;
    want.dist = d.id;
    d.make(p, "x", [&](const std::string& key, const std::string& m) {
      ADD_FAILURE() << d.name << " " << key << ": " << m;
    }, want);
    // Input x of dist d, all keys but the one at `leave_out`, alone or as a
    // risk's impact.
    auto model = [&](bool as_impact, std::size_t leave_out) {
      std::string line = as_impact ? "x = { dist = \"risk\", p = 0.5, impact = " : "x = ";
      line += "{ dist = \"" + std::string(d.name) + "\"";
      for (std::size_t i = 0; i < fields.size(); ++i)
        if (i != leave_out) line += ", " + fields[i];
      line += as_impact ? " } }" : " }";
      return std::pair{"[inputs]\n" + line + "\n[outputs]\ny = \"x\"\n", line};
    };

    const auto [text, line] = model(false, keys.size());
    Diagnostics diagnostics;
    const Model m = read_model_text("m.toml", text, diagnostics);
    ASSERT_FALSE(diagnostics.has_errors()) << diagnostics.render("m.toml", text);
    EXPECT_EQ(m.inputs.at(0).draw, want) << d.name;

    for (std::size_t k = 0; k < keys.size(); ++k) {
      const auto [short_text, short_line] = model(false, k);
      EXPECT_EQ(messages(short_text),
                k < d.keys.size() ? "m.toml:2:1: error: input 'x' needs '" + keys[k] + "' for a " +
                                        d.name + " distribution\n" + short_line + "\n^\n"
                                  : "")
          << d.name << " without " << keys[k];
    }

    const auto [risk_text, risk_line] = model(true, keys.size());
    Diagnostics risk_diagnostics;
    const Model r = read_model_text("m.toml", risk_text, risk_diagnostics);
    if (d.impact) {
      ASSERT_FALSE(risk_diagnostics.has_errors()) << risk_diagnostics.render("m.toml", risk_text);
      EXPECT_EQ(r.inputs.at(0).risk.impact, want) << d.name;
    } else {
      const std::size_t column = risk_line.find('"', risk_line.find("impact")) + 1;
      EXPECT_EQ(risk_diagnostics.render("m.toml", risk_text),
                "m.toml:2:" + std::to_string(column) +
                    ": error: the impact of a risk must be a number or one of " + impacts +
                    ", not " + d.name + "\n" + risk_line + "\n" +
                    std::string(column - 1, ' ') + "^\n");
    }
  }
}

// The first line of each message, for models whose errors are checked by
// place and text rather than byte for byte.
std::vector<std::string> error_lines(const std::string& text) {
  std::vector<std::string> lines;
  const std::string all = messages(text);
  for (std::size_t at = 0; (at = all.find("m.toml:", at)) != std::string::npos;) {
    const std::size_t end = all.find('\n', at);
    lines.push_back(all.substr(at + 7, end - at - 7));
    at = end;
  }
  return lines;
}

// [constants]: a number, or an expression of the constants above it, giving
// the parameters written as expressions; every mistake located at the key,
// the value or the column inside the expression.
TEST(ModelReader, ConstantsAndTheirMistakes) {
  const std::string good =
      "[constants]\nunit_cost = 40\ntax = 0.25\nafter_tax = \"1 - tax\"\n"
      "[inputs]\na = { dist = \"normal\", mean = \"unit_cost * 1.1\", sd = \"unit_cost / 8\" }\n"
      "[outputs]\ny = \"a * after_tax\"\n[correlation]\n";
  const Model m = clean(good);
  ASSERT_EQ(m.constants.size(), 3u);
  EXPECT_EQ(m.constants[2].name, "after_tax");
  EXPECT_EQ(m.constants[2].expression, "1 - tax");
  EXPECT_EQ(m.constants[2].value, 0.75);
  EXPECT_EQ(m.inputs.at(0).draw.arg[0], static_cast<float>(40 * 1.1));
  EXPECT_EQ(m.inputs.at(0).draw.arg[1], 5.0f);

  const std::string bad =
      "[constants]\nrate = 0.08\nb = \"rate + later\"\nc = \"rte * 2\"\nd = \"1/0\"\ne = \"1 +\"\n"
      "later = 3\nsin = 2\nf = true\n"
      "[inputs]\nx = { dist = \"normal\", mean = \"unit_cost\", sd = \"rate * \" }\n"
      "rate = { dist = \"normal\", mean = 1, sd = 1 }\n"
      "[tasks]\nlater = { duration = 3 }\n"
      "[outputs]\ny = \"rat\"\n";
  EXPECT_EQ(error_lines(bad),
            (std::vector<std::string>{
                "3:13: error: 'later' in the constant 'b' is a constant written below it (line 7): "
                "a constant may use only the constants written above it",
                "4:6: error: unknown name 'rte' in the constant 'c'; did you mean 'rate'?",
                "5:5: error: the constant 'd' must be a finite number, not inf",
                "6:9: error: in the constant 'e': Unexpected end of expression",
                "8:1: error: the name 'sin' is taken by the formulas (a built-in function, constant "
                "or 'base'); choose another",
                "9:5: error: the constant 'f' must be a number, or an expression of the constants "
                "above it in quotes, such as \"1 - tax\"",
                "11:32: error: unknown name 'unit_cost' in 'mean' of input 'x'; a number written "
                "as text may use only numbers, the constants of [constants] and the formulas' "
                "functions",
                "11:57: error: in 'sd' of input 'x': Unexpected end of expression",
                "12:1: error: the name 'rate' is used twice; it is first used on line 2",
                "14:1: error: task 'later' has the name of the constant on line 7; rename one of them",
                "16:6: error: unknown name 'rat' in the formula of 'y'; did you mean 'rate'?",
            }));
}

// Correlation groups: each pair within a group takes its rho, a pair written
// in [correlation] keeps its own, and a pattern chooses in draw order;
// every mistake located.
TEST(ModelReader, CorrelationGroupsAndTheirMistakes) {
  const std::string inputs =
      "[inputs]\nwbs_1 = { dist = \"normal\", mean = 1, sd = 1 }\n"
      "a = { dist = \"uniform\", min = 0, max = 1 }\nb = { dist = \"uniform\", min = 0, max = 1 }\n"
      "wbs_2 = { dist = \"normal\", mean = 1, sd = 1 }\nc = { dist = \"uniform\", min = 0, max = 1 }\n"
      "[outputs]\ny = \"a + b + c + wbs_1 + wbs_2\"\n[correlation]\n";
  const std::string good = inputs +
      "groups = [{ inputs = [\"c\", \"a\", \"b\"], rho = 0.25 }, { match = \"wbs_?\", rho = 0.5 }]\n"
      "a.b = -0.1\n";
  const Model m = clean(good);
  // Over wbs_1, a, b, wbs_2, c.
  EXPECT_EQ(m.correlation.variables, (std::vector<std::size_t>{0, 1, 2, 3, 4}));
  EXPECT_EQ(m.correlation.given.a,
            (std::vector<double>{1, 0, 0, 0.5, 0,  0, 1, -0.1, 0, 0.25,  0, -0.1, 1, 0, 0.25,
                                 0.5, 0, 0, 1, 0,  0, 0.25, 0.25, 0, 1}));

  const std::string bad = inputs +
      "groups = [{ inputs = [\"a\", \"b\", \"a\", \"d\"], rho = 0.2 }, { match = \"wbs_1*\", rho = 0.3 },\n"
      "  { inputs = [\"a\"], rho = 0.1 }, { inputs = [\"a\", \"b\"], match = \"x\", rho = 0.1 },\n"
      "  { rho = 0.1 }, { inputs = [\"a\", \"b\"] }, { inputs = [\"a\", \"b\"], rho = 1.5 },\n"
      "  { inputs = [\"a\", \"b\", \"c\"], rho = 0.2 }, { inputs = [\"b\", \"c\"], rho = 0.3 }, 3]\n";
  EXPECT_EQ(error_lines(bad),
            (std::vector<std::string>{
                "10:33: error: 'a' is listed twice in correlation group 1",
                "10:38: error: unknown input 'd' in [correlation]",
                "10:67: error: the pattern \"wbs_1*\" of correlation group 2 matches only 'wbs_1'; a "
                "group needs at least two",
                "11:14: error: 'inputs' of correlation group 3 must be a list of at least two "
                "names, such as [\"labour\", \"steel\"]",
                "11:65: error: correlation group 4 takes either 'inputs' or 'match', not both",
                "12:3: error: correlation group 5 needs 'inputs', a list of names, or 'match', a "
                "pattern such as \"wbs_*\"",
                "12:18: error: correlation group 6 needs 'rho', the correlation of each pair in it",
                "12:72: error: 'rho' of correlation group 7 must lie between -1 and 1, not 1.5",
                "13:73: error: 'b' and 'c' are in correlation groups 8 and 9 with different "
                "correlations (0.2 and 0.3); give the pair its own value, such as b.c = 0.3",
                "13:80: error: 'groups' must be a list of tables such as [{ inputs = [\"a\", \"b\"], "
                "rho = 0.3 }, { match = \"wbs_*\", rho = 0.2 }]",
            }));
}

}  // namespace

// Groups and pairs may not ask for a matrix larger than a run can take: the
// limit is told before any pair is made.
TEST(ModelReader, CorrelationHasALimit) {
  std::string inputs;
  for (int i = 0; i < 1001; ++i)
    inputs += "w" + std::to_string(i) + " = { dist = \"uniform\", min = 0, max = 1 }\n";
  const std::string model = "[inputs]\n" + inputs + "[outputs]\ny = \"w0\"\n[correlation]\n";
  const std::string group = messages(model + "groups = [{ match = \"w*\", rho = 0.1 }]\n");
  EXPECT_NE(group.find("error: correlation group 1 brings the correlation groups to 1001 variables "
                       "and 500500 pairs; at most 1000 variables and 2000000 pairs in all can be "
                       "correlated"),
            std::string::npos)
      << group;
  std::string chain;
  for (int i = 0; i < 1000; ++i)
    chain += "w" + std::to_string(i) + ".w" + std::to_string(i + 1) + " = 0.1\n";
  EXPECT_NE(messages(model + chain).find("error: [correlation] correlates 1001 variables; at most 1000"),
            std::string::npos);
}
