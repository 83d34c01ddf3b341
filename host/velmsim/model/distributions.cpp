#include "host/velmsim/model/distributions.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace velmsim {

std::string parameter_text(double x) {
  std::ostringstream out;
  out.precision(7);
  out << x;
  return out.str();
}

std::string exact_text(double x) {
  char text[32];
  for (int digits = 6; digits <= 17; ++digits) {
    std::snprintf(text, sizeof text, "%.*g", digits, x);
    if (std::strtod(text, nullptr) == x) break;
  }
  return text;
}

namespace {

using T = std::string;

T greater(const T& who, const char* hi, const char* lo, float l, float h) {
  return T("'") + hi + "' of " + who + " must be greater than '" + lo + "' (" + parameter_text(l) +
         "), not " + parameter_text(h);
}

void make_uniform(const Parameters& p, const T& who, const Refuse& refuse, Draw& d) {
  if (!(p["min"] < p["max"])) refuse("max", greater(who, "max", "min", p["min"], p["max"]));
  d.arg = {p["min"], p["max"]};
}

void make_normal(const Parameters& p, const T& who, const Refuse& refuse, Draw& d) {
  if (!(p["sd"] > 0))
    refuse("sd", "'sd' of " + who + " (the standard deviation) must be greater than 0, not " +
                     parameter_text(p["sd"]));
  d.arg = {p["mean"], p["sd"]};
}

void make_lognormal(const Parameters& p, const T& who, const Refuse& refuse, Draw& d) {
  if (!(p["mean"] > 0))
    refuse("mean", "'mean' of " + who +
                       " must be greater than 0 for a lognormal distribution (it is the mean of "
                       "the variable itself), not " + parameter_text(p["mean"]));
  make_normal(p, who, refuse, d);
}

void make_triangular(const Parameters& p, const T& who, const Refuse& refuse, Draw& d) {
  const float lo = p["low"], mo = p["mode"], hi = p["high"];
  if (!(lo < hi))
    refuse("high", greater(who, "high", "low", lo, hi));
  else if (!(lo <= mo && mo <= hi))
    refuse("mode", "'mode' of " + who + " must lie between 'low' (" + parameter_text(lo) +
                       ") and 'high' (" + parameter_text(hi) + "), not " + parameter_text(mo));
  d.arg = {lo, mo, hi};
}

// Beta(p, q) on (0, 1), or mapped onto [min, max] when either is given.
void make_beta(const Parameters& p, const T& who, const Refuse& refuse, Draw& d) {
  for (const char* shape : {"p", "q"})
    if (!(p[shape] > 0))
      refuse(shape, T("'") + shape + "' of " + who +
                        " (a shape parameter) must be greater than 0, not " + parameter_text(p[shape]));
  d.arg = {p["p"], p["q"]};
  d.scaled = p.has("min") || p.has("max");
  d.lo = p.has("min") ? p["min"] : 0.0;
  d.hi = p.has("max") ? p["max"] : 1.0;
  if (!(d.lo < d.hi))
    refuse(p.has("max") ? "max" : "min",
           greater(who, "max", "min", static_cast<float>(d.lo), static_cast<float>(d.hi)));
}

// PERT on [min, max] with its mode: a beta with shapes
// alpha = 1 + lambda (mode - min) / (max - min) and
// beta = 1 + lambda (max - mode) / (max - min), computed in double and passed
// in single precision, mapped onto [min, max] in double and rounded once. The
// mode is kept beside the shapes for the plan.
void make_pert(const Parameters& p, const T& who, const Refuse& refuse, Draw& d) {
  const double lo = p["min"], mo = p["mode"], hi = p["max"];
  const double lambda = p.has("lambda") ? p["lambda"] : 4.0;
  if (!(lo < hi)) refuse("max", greater(who, "max", "min", p["min"], p["max"]));
  if (!(mo >= lo && mo <= hi))
    refuse("mode", "'mode' of " + who + " must lie between 'min' (" + parameter_text(p["min"]) +
                       ") and 'max' (" + parameter_text(p["max"]) + "), not " + parameter_text(p["mode"]));
  if (!(lambda > 0 && lambda <= 1000))
    refuse("lambda", "'lambda' of " + who + " (the weight of the mode) must lie in (0, 1000], not " +
                         parameter_text(lambda));
  const double span = hi - lo > 0 ? hi - lo : 1.0;
  d.arg = {static_cast<float>(1.0 + lambda * (mo - lo) / span),
           static_cast<float>(1.0 + lambda * (hi - mo) / span), p["mode"]};
  d.scaled = true;
  d.lo = lo;
  d.hi = hi;
}

// A value that every iteration takes as it is: an activity whose three
// estimates agree, a rate held fixed. It draws nothing.
void make_constant(const Parameters& p, const T&, const Refuse&, Draw& d) { d.arg = {p["value"]}; }

void make_geometric(const Parameters& p, const T& who, const Refuse& refuse, Draw& d) {
  if (!(p["p"] > 0 && p["p"] < 1))
    refuse("p", "'p' of " + who +
                    " (the chance of success in each trial) must lie strictly between 0 and 1, "
                    "not " + parameter_text(p["p"]));
  d.arg = {p["p"]};
}

void make_yesno(const Parameters& p, const T& who, const Refuse& refuse, Draw& d) {
  if (!(p["p"] >= 0 && p["p"] <= 1))
    refuse("p", "'p' of " + who + " (a probability) must lie between 0 and 1, not " +
                    parameter_text(p["p"]));
  d.arg = {p["p"]};
}

// The lognormal's conversion from the variable's mean and sd to the mean and
// sd of its logarithm, as each edition makes it: the threaded edition in
// single precision, v = ln(1 + (sd/mean)^2) from a float 1 + r^2; the
// statistics edition in double. Where v comes out 0 the sampler refuses the
// zero scale and stops the process; where the float 1 + r^2 is far from the
// exact one the variates' spread is not the one asked for.
void check_lognormal(const Draw& d, unsigned edition, const T& who, const Refuse& refuse,
                     const Warn& warn) {
  const float mean = d.arg[0], sd = d.arg[1];
  if (edition == kStatsEdition) {
    const double r = static_cast<double>(sd) / static_cast<double>(mean);
    if (1.0 + r * r == 1.0)
      refuse("sd", "'sd' of " + who + " is too small beside its mean for the statistics "
                   "edition's lognormal sampler: sd / mean = " + parameter_text(r) +
                   " leaves the logarithm no spread (sd / mean must be at least about 1.1e-8)");
    return;
  }
  const float r = sd / mean;
  const float w = 1.0f + r * r;
  if (w == 1.0f) {
    refuse("sd", "'sd' of " + who + " is too small beside its mean for the lognormal sampler: "
                 "sd / mean = " + parameter_text(r) + " leaves the logarithm no spread in "
                 "single precision (sd / mean must be at least about 2.5e-4, or sample with "
                 "--sampler stats)");
    return;
  }
  // The spread the variates get: sd / mean = sqrt(exp(v) - 1), v = ln w.
  const double v = static_cast<float>(std::log(static_cast<double>(w)));
  const double drawn = std::sqrt(std::expm1(v));
  const double error = drawn / static_cast<double>(r) - 1.0;
  if (std::fabs(error) > 0.01)
    warn("sd", "the lognormal sampler converts 'sd' of " + who + " in single precision: at "
               "sd / mean = " + parameter_text(r) + " its variates have an sd " +
               parameter_text(100.0 * error) + " % off the one asked for (use --sampler stats "
               "for a conversion in double)");
}

// A geometric p so small that 1 - p rounds to 1 in single precision gives
// every variate the sampler's largest value.
void check_geometric(const Draw& d, unsigned, const T& who, const Refuse& refuse, const Warn&) {
  const float p = d.arg[0];
  if (1.0f - p == 1.0f)
    refuse("p", "'p' of " + who + " = " + parameter_text(p) + " is below what the geometric "
                "sampler can use: 1 - p rounds to 1 in single precision (p must be at least "
                "about 6e-8)");
}

// The planned value of a normal, lognormal or yes/no draw: its mean.
double first_argument(const Draw& d) { return d.arg[0]; }

}  // namespace

// Uniforms per draw: one for the samplers by inversion (uniform, triangular,
// geometric); a number that varies from draw to draw but not with the
// parameters for the normal-based ones (the standard normals are drawn, then
// scaled); the beta sampler picks its method and its rejection test from the
// shapes. The means are counted from the stream over 200,000 draws (beta:
// the largest mean over shapes from 0.01 to 50, 2.56; normal 2.16).

const std::vector<Distribution>& distributions() {
  static const std::vector<Distribution> table = {
      {Dist::uniform, "uniform", {"min", "max"}, {}, make_uniform, nullptr, "VELMUNIFORM",
       Call::two_reals, Uniforms::fixed, 1.0, kBothEditions, true, nullptr,
       [](const Draw& d) { return (static_cast<double>(d.arg[0]) + d.arg[1]) / 2; }},
      {Dist::normal, "normal", {"mean", "sd"}, {}, make_normal, nullptr, "VELMNORMAL",
       Call::two_reals, Uniforms::fixed, 2.2, kBothEditions, true, nullptr, first_argument},
      {Dist::lognormal, "lognormal", {"mean", "sd"}, {}, make_lognormal, check_lognormal,
       "VELMLOGNORMAL", Call::two_reals, Uniforms::fixed, 2.2, kBothEditions, true, nullptr,
       first_argument},
      {Dist::triangular, "triangular", {"low", "mode", "high"}, {}, make_triangular, nullptr,
       "VELMTRIANG", Call::three_reals, Uniforms::fixed, 1.0, kBothEditions, true,
       "puts half the probability on each side of the mode",
       [](const Draw& d) { return static_cast<double>(d.arg[1]); }},
      {Dist::beta, "beta", {"p", "q"}, {"min", "max"}, make_beta, nullptr, "VELMBETA",
       Call::two_reals, Uniforms::by_parameters, 2.6, kBothEditions, true, nullptr,
       [](const Draw& d) { return d.lo + (d.hi - d.lo) * d.arg[0] / (static_cast<double>(d.arg[0]) + d.arg[1]); }},
      {Dist::geometric, "geometric", {"p"}, {}, make_geometric, check_geometric, "VELMGEOMETRIC",
       Call::count, Uniforms::fixed, 1.0, kBothEditions, true, nullptr,
       [](const Draw& d) { return 1.0 / d.arg[0]; }},
      {Dist::yesno, "yesno", {"p"}, {}, make_yesno, nullptr, "VELMYESNO", Call::count,
       Uniforms::one_unless_certain, 1.0, kThreadedEdition, false, nullptr, first_argument},
      {Dist::pert, "pert", {"min", "mode", "max"}, {"lambda"}, make_pert, nullptr, "VELMBETA",
       Call::two_reals, Uniforms::by_parameters, 2.6, kBothEditions, true, nullptr,
       [](const Draw& d) { return static_cast<double>(d.arg[2]); }},
      {Dist::constant, "constant", {"value"}, {}, make_constant, nullptr, nullptr, Call::none,
       Uniforms::fixed, 0.0, kBothEditions, false, nullptr, first_argument},
  };
  return table;
}

const Distribution* find_distribution(const std::string& name) {
  for (const Distribution& d : distributions())
    if (name == d.name) return &d;
  return nullptr;
}

bool same_uniforms(const Draw& a, const Draw& b) {
  if (a.dist != b.dist) return false;
  switch (distribution(a.dist).uniforms) {
    case Uniforms::fixed: return true;
    case Uniforms::by_parameters: return a.arg == b.arg;
    case Uniforms::one_unless_certain: {
      const auto uncertain = [](float p) { return p > 0.0f && p < 1.0f; };
      return uncertain(a.arg[0]) == uncertain(b.arg[0]);
    }
  }
  return false;
}

const std::vector<Kind>& kinds() {
  static const std::vector<Kind> table = {
      {InputKind::pair, "normal_pair", "VELMCRNORMAL", kThreadedEdition, 4.4},  // two normals
      {InputKind::risk, "risk", "VELMYESNO", kThreadedEdition, 1.0},  // the yes/no draw
  };
  return table;
}

const Kind& kind(InputKind k) { return kinds()[k == InputKind::pair ? 0 : 1]; }

std::vector<std::string> dist_names() {
  std::vector<std::string> names;
  for (const Distribution& d : distributions()) names.push_back(d.name);
  for (const Kind& k : kinds()) names.push_back(k.name);
  return names;
}

}  // namespace velmsim
