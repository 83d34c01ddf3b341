#include "host/velmsim/model/distributions.h"

#include <sstream>

namespace velmsim {

std::string parameter_text(double x) {
  std::ostringstream out;
  out.precision(7);
  out << x;
  return out.str();
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

}  // namespace

// Uniforms per draw: one for the samplers by inversion (uniform, triangular,
// geometric); a number that varies from draw to draw but not with the
// parameters for the normal-based ones (the standard normals are drawn, then
// scaled); the beta sampler picks its method and its rejection test from the
// shapes.
const std::vector<Distribution>& distributions() {
  static const std::vector<Distribution> table = {
      {Dist::uniform, "uniform", {"min", "max"}, {}, make_uniform, "VELMUNIFORM", Call::two_reals,
       Uniforms::fixed, kBothEditions, true, nullptr},
      {Dist::normal, "normal", {"mean", "sd"}, {}, make_normal, "VELMNORMAL", Call::two_reals,
       Uniforms::fixed, kBothEditions, true, nullptr},
      {Dist::lognormal, "lognormal", {"mean", "sd"}, {}, make_lognormal, "VELMLOGNORMAL",
       Call::two_reals, Uniforms::fixed, kBothEditions, true, nullptr},
      {Dist::triangular, "triangular", {"low", "mode", "high"}, {}, make_triangular, "VELMTRIANG",
       Call::three_reals, Uniforms::fixed, kBothEditions, true,
       "puts half the probability on each side of the mode"},
      {Dist::beta, "beta", {"p", "q"}, {"min", "max"}, make_beta, "VELMBETA", Call::two_reals,
       Uniforms::by_parameters, kBothEditions, true, nullptr},
      {Dist::geometric, "geometric", {"p"}, {}, make_geometric, "VELMGEOMETRIC", Call::count,
       Uniforms::fixed, kBothEditions, true, nullptr},
      {Dist::yesno, "yesno", {"p"}, {}, make_yesno, "VELMYESNO", Call::count,
       Uniforms::one_unless_certain, kThreadedEdition, false, nullptr},
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
      {InputKind::pair, "normal_pair", "VELMCRNORMAL", kThreadedEdition},
      {InputKind::risk, "risk", "VELMYESNO", kThreadedEdition},
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
