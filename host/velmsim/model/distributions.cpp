#include "host/velmsim/model/distributions.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <sstream>

#include <boost/math/special_functions/beta.hpp>

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

// The cumulative distribution function of the triangular (a, c, b) at x.
double triangular_cdf(double a, double c, double b, double x) {
  if (x <= a) return 0.0;
  if (x >= b) return 1.0;
  if (x <= c) return (x - a) * (x - a) / ((b - a) * (c - a));
  return 1.0 - (b - x) * (b - x) / ((b - a) * (b - c));
}

// The x in [lo, hi] at which the decreasing function f crosses 0, by
// bisection to the last bit of a double; f(lo) >= 0 >= f(hi).
template <typename F>
double crossing(double lo, double hi, F f) {
  for (int i = 0; i < 2100; ++i) {
    const double mid = lo + (hi - lo) / 2;
    if (mid <= lo || mid >= hi) break;
    (f(mid) >= 0 ? lo : hi) = mid;
  }
  return lo + (hi - lo) / 2;
}

// The end `from` + s (hi - lo) of an interval that, stepping s = 1, 2, 4...
// away from `from` in the direction of s, first makes f change sign; or
// nothing after 60 doublings.
template <typename F>
std::optional<double> bracket(double from, double width, double sign, F f) {
  const bool start = f(from) >= 0;
  for (double s = 1; s < 1.2e18; s *= 2)
    if ((f(from + sign * s * width) >= 0) != start) return from + sign * s * width;
  return std::nullopt;
}

// The triangular (a, c, b) whose q1 and q2 quantiles are x1 < x2 (0 <= q1 <
// q2 <= 1), with its mode c. For a given a, F(x2) falls as b grows, so b(a)
// is one bisection; as a falls, the b that keeps F(x2) = q2 falls too and
// F(x1) rises, so a is a second bisection around the first. A q1 of 0 fixes
// a = x1, a q2 of 1 fixes b = x2.
std::optional<std::array<double, 2>> solve_triangular(double x1, double q1, double c, double x2,
                                                      double q2) {
  const double width = x2 - x1;
  const double b_min = std::max(x2, c);
  auto b_of = [&](double a) -> std::optional<double> {
    if (q2 == 1.0) return x2;
    auto f = [&](double b) { return triangular_cdf(a, c, b, x2) - q2; };
    if (b_min > a && f(b_min) < 0) return std::nullopt;
    const double from = b_min > a ? b_min : a + width;
    const auto far = bracket(from, width, 1.0, f);
    if (!far) return std::nullopt;
    return crossing(from, *far, f);
  };
  if (q1 == 0.0) {
    if (c < x1) return std::nullopt;
    const auto b = b_of(x1);
    if (!b) return std::nullopt;
    return std::array<double, 2>{x1, *b};
  }
  const double a_max = std::min(x1, c);
  // F(x1) - q1 for a given a, with b solved; rises as a falls.
  auto g = [&](double a) {
    const auto b = b_of(a);
    return b ? q1 - triangular_cdf(a, c, *b, x1) : 1.0;
  };
  if (g(a_max) < 0) return std::nullopt;
  const auto far = bracket(a_max, width, -1.0, g);
  if (!far) return std::nullopt;
  const double a = crossing(*far, a_max, [&](double x) { return -g(x); });
  const auto b = b_of(a);
  if (!b || !std::isfinite(a) || !std::isfinite(*b)) return std::nullopt;
  return std::array<double, 2>{a, *b};
}

// A percentile as a message shows it: P10, P2.5.
T percentile_name(double q) { return "P" + parameter_text(100 * q); }

// The triangular whose values x1 and x2 are its q1 and q2 quantiles, drawn
// as the triangular on its solved low and high.
void solved_triangular(double x1, double q1, float mode, double x2, double q2,
                       const std::array<const char*, 2>& keys, const T& who,
                       const Refuse& refuse, Draw& d) {
  if (!(x1 < x2)) {
    refuse(keys[1], greater(who, keys[1], keys[0], static_cast<float>(x1), static_cast<float>(x2)));
    return;
  }
  const auto ends = solve_triangular(x1, q1, mode, x2, q2);
  const auto a = ends ? static_cast<float>((*ends)[0]) : 0.0f;
  const auto b = ends ? static_cast<float>((*ends)[1]) : 0.0f;
  if (!ends || !std::isfinite(a) || !std::isfinite(b) || !(a <= mode && mode <= b && a < b)) {
    refuse("mode", "no triangular distribution has " + percentile_name(q1) + " = " +
                       parameter_text(x1) + ", mode " + parameter_text(mode) + " and " +
                       percentile_name(q2) + " = " + parameter_text(x2) + " (" + who +
                       "): move the mode nearer the middle of the two");
    return;
  }
  d.arg = {a, mode, b};
  d.solved = "low " + parameter_text(a) + " and high " + parameter_text(b) + ", solved from " +
             percentile_name(q1) + " = " + parameter_text(x1) + " and " + percentile_name(q2) +
             " = " + parameter_text(x2);
}

// A triangular by low, mode and high; with low_pct or high_pct, low and high
// are those percentiles rather than its ends.
void make_triangular(const Parameters& p, const T& who, const Refuse& refuse, Draw& d) {
  const float lo = p["low"], mo = p["mode"], hi = p["high"];
  if (p.has("low_pct") || p.has("high_pct")) {
    const double q1 = p.has("low_pct") ? p["low_pct"] / 100.0 : 0.0;
    const double q2 = p.has("high_pct") ? p["high_pct"] / 100.0 : 1.0;
    if (!(q1 >= 0 && q1 < 0.5))
      refuse("low_pct", "'low_pct' of " + who + " (the percentile that 'low' is) must lie in [0, "
                        "50), not " + parameter_text(100 * q1));
    else if (!(q2 > 0.5 && q2 <= 1))
      refuse("high_pct", "'high_pct' of " + who + " (the percentile that 'high' is) must lie in "
                         "(50, 100], not " + parameter_text(100 * q2));
    else
      solved_triangular(lo, q1, mo, hi, q2, {"low", "high"}, who, refuse, d);
    return;
  }
  if (!(lo < hi))
    refuse("high", greater(who, "high", "low", lo, hi));
  else if (!(lo <= mo && mo <= hi))
    refuse("mode", "'mode' of " + who + " must lie between 'low' (" + parameter_text(lo) +
                       ") and 'high' (" + parameter_text(hi) + "), not " + parameter_text(mo));
  d.arg = {lo, mo, hi};
}

void make_triangular_p10(const Parameters& p, const T& who, const Refuse& refuse, Draw& d) {
  solved_triangular(p["p10"], 0.1, p["mode"], p["p90"], 0.9, {"p10", "p90"}, who, refuse, d);
}

// The 90th percentile of the standard normal.
constexpr double kZ90 = 1.2815515655446004;

// The normal whose 10th and 90th percentiles are p10 and p90.
void make_normal_p10(const Parameters& p, const T& who, const Refuse& refuse, Draw& d) {
  const double x1 = p["p10"], x2 = p["p90"];
  if (!(x1 < x2)) return refuse("p90", greater(who, "p90", "p10", p["p10"], p["p90"]));
  d.arg = {static_cast<float>((x1 + x2) / 2), static_cast<float>((x2 - x1) / (2 * kZ90))};
  d.solved = "mean " + parameter_text(d.arg[0]) + " and sd " + parameter_text(d.arg[1]) +
             ", solved from P10 = " + parameter_text(x1) + " and P90 = " + parameter_text(x2);
}

// The lognormal whose 10th and 90th percentiles are p10 and p90: its
// logarithm is the normal with those percentiles' logarithms, whose mean mu
// and sd s give the variable's mean exp(mu + s^2 / 2) and sd mean
// sqrt(exp(s^2) - 1), the parameters the export takes.
void make_lognormal_p10(const Parameters& p, const T& who, const Refuse& refuse, Draw& d) {
  const double x1 = p["p10"], x2 = p["p90"];
  if (!(x1 > 0))
    return refuse("p10", "'p10' of " + who + " must be greater than 0 for a lognormal "
                         "distribution, not " + parameter_text(x1));
  if (!(x1 < x2)) return refuse("p90", greater(who, "p90", "p10", p["p10"], p["p90"]));
  const double mu = (std::log(x1) + std::log(x2)) / 2, s = (std::log(x2) - std::log(x1)) / (2 * kZ90);
  const double mean = std::exp(mu + s * s / 2), sd = mean * std::sqrt(std::expm1(s * s));
  const auto m = static_cast<float>(mean), v = static_cast<float>(sd);
  if (!std::isfinite(m) || !std::isfinite(v))
    return refuse("p90", "the lognormal with P10 = " + parameter_text(x1) + " and P90 = " +
                         parameter_text(x2) + " (" + who + ") has a mean or sd beyond single "
                         "precision; bring the two nearer");
  d.arg = {m, v};
  d.solved = "mean " + parameter_text(m) + " and sd " + parameter_text(v) +
             ", solved from P10 = " + parameter_text(x1) + " and P90 = " + parameter_text(x2);
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
  d.solved = "beta shapes " + parameter_text(d.arg[0]) + " and " + parameter_text(d.arg[1]) +
             " on [" + parameter_text(lo) + ", " + parameter_text(hi) + "]";
}

// The list `key` of a table's distribution, refused when it is not given as
// one; `at` names an element's position in messages ("F[2]").
const std::vector<double>* list_of(const Parameters& p, const char* key, const T& who,
                                   const Refuse& refuse) {
  const auto it = p.list.find(key);
  if (it != p.list.end() && !it->second.empty()) return &it->second;
  refuse(key, T("'") + key + "' of " + who + " must be a list of numbers such as [1, 2, 3]");
  return nullptr;
}

T element(const char* key, std::size_t i) { return T(key) + "[" + std::to_string(i) + "]"; }

// A discrete distribution: values with their probabilities, which must sum
// to 1 within 1e-9; the cumulative probabilities are summed in double.
void make_discrete(const Parameters& p, const T& who, const Refuse& refuse, Draw& d) {
  const auto* x = list_of(p, "values", who, refuse);
  const auto* pr = list_of(p, "p", who, refuse);
  if (!x || !pr) return;
  if (x->size() != pr->size())
    return refuse("p", "'p' of " + who + " must give one probability per value: " +
                       std::to_string(x->size()) + " values, " + std::to_string(pr->size()) +
                       " probabilities");
  auto t = std::make_shared<DrawTable>();
  t->x = *x;
  double sum = 0;
  for (std::size_t i = 0; i < pr->size(); ++i) {
    if (!((*pr)[i] >= 0 && (*pr)[i] <= 1))
      return refuse(element("p", i), "each of 'p' of " + who + " (a probability) must lie "
                                     "between 0 and 1, not " + parameter_text((*pr)[i]));
    sum += (*pr)[i];
    t->F.push_back(sum);
  }
  if (!(std::fabs(sum - 1.0) <= 1e-9))
    return refuse("p", "the probabilities 'p' of " + who + " must add up to 1, not " +
                       exact_text(sum));
  for (double v : *x)
    if (!std::isfinite(static_cast<float>(v)))
      return refuse("values", "'values' of " + who + " must lie within single precision");
  d.table = std::move(t);
}

// A piecewise-linear cumulative distribution through the points (x, F): x
// increasing, F non-decreasing from 0 to 1.
void make_cumulative(const Parameters& p, const T& who, const Refuse& refuse, Draw& d) {
  const auto* x = list_of(p, "x", who, refuse);
  const auto* f = list_of(p, "F", who, refuse);
  if (!x || !f) return;
  if (x->size() != f->size() || x->size() < 2)
    return refuse("F", "'F' of " + who + " must give one cumulative probability per point of 'x', "
                       "and there must be at least two: " + std::to_string(x->size()) +
                       " points, " + std::to_string(f->size()) + " probabilities");
  for (std::size_t i = 1; i < x->size(); ++i) {
    if (!((*x)[i] > (*x)[i - 1]))
      return refuse(element("x", i), "'x' of " + who + " must increase: " +
                                     parameter_text((*x)[i]) + " follows " + parameter_text((*x)[i - 1]));
    if (!((*f)[i] >= (*f)[i - 1]))
      return refuse(element("F", i), "'F' of " + who + " must not decrease: " +
                                     parameter_text((*f)[i]) + " follows " + parameter_text((*f)[i - 1]));
  }
  if (f->front() != 0.0) return refuse(element("F", 0), "'F' of " + who + " must start at 0");
  if (f->back() != 1.0)
    return refuse(element("F", f->size() - 1), "'F' of " + who + " must end at 1");
  if (!std::isfinite(static_cast<float>(x->front())) || !std::isfinite(static_cast<float>(x->back())))
    return refuse("x", "'x' of " + who + " must lie within single precision");
  d.table = std::make_shared<DrawTable>(DrawTable{*x, *f});
}

// Observations drawn by bootstrap; the reader has read them from the file
// into the list "data".
void make_data(const Parameters& p, const T&, const Refuse&, Draw& d) {
  const auto it = p.list.find("data");
  if (it != p.list.end()) d.table = std::make_shared<DrawTable>(DrawTable{it->second, {}});
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

// The mean of a table's distribution: a discrete one's probability-weighted
// values, a cumulative one's trapezoids, the observations' average.
double table_mean(const Draw& d) {
  const DrawTable& t = *d.table;
  double sum = 0;
  if (t.F.empty()) {
    for (double v : t.x) sum += v;
    return sum / static_cast<double>(t.x.size());
  }
  for (std::size_t i = 0; i < t.x.size(); ++i) {
    const double previous = i == 0 ? 0.0 : t.F[i - 1];
    if (d.dist == Dist::discrete)
      sum += t.x[i] * (t.F[i] - previous);
    else if (i > 0)
      sum += (t.x[i] + t.x[i - 1]) / 2 * (t.F[i] - previous);
  }
  return sum;
}

// The cumulative distribution functions of the continuous distributions, in
// double, for the share of a truncated draw's range.
double normal_cdf(double z) { return 0.5 * std::erfc(-z / std::sqrt(2.0)); }

double uniform_cdf(const Draw& d, double x) {
  return std::clamp((x - d.arg[0]) / (static_cast<double>(d.arg[1]) - d.arg[0]), 0.0, 1.0);
}
double normal_dist_cdf(const Draw& d, double x) { return normal_cdf((x - d.arg[0]) / d.arg[1]); }
// The lognormal of the variable's mean m and sd s: its logarithm has the
// variance v = ln(1 + (s/m)^2) and the mean ln m - v / 2.
double lognormal_cdf(const Draw& d, double x) {
  if (x <= 0) return 0.0;
  const double r = static_cast<double>(d.arg[1]) / d.arg[0];
  const double v = std::log1p(r * r);
  return normal_cdf((std::log(x) - (std::log(static_cast<double>(d.arg[0])) - v / 2)) / std::sqrt(v));
}
double triangular_dist_cdf(const Draw& d, double x) {
  return triangular_cdf(d.arg[0], d.arg[1], d.arg[2], x);
}
// A beta (or PERT) on [lo, hi]: the regularised incomplete beta function.
double beta_cdf(const Draw& d, double x) {
  const double t = std::clamp((x - d.lo) / (d.hi - d.lo), 0.0, 1.0);
  return boost::math::ibeta(static_cast<double>(d.arg[0]), static_cast<double>(d.arg[1]), t);
}
double cumulative_cdf(const Draw& d, double x) {
  const DrawTable& t = *d.table;
  if (x <= t.x.front()) return 0.0;
  if (x >= t.x.back()) return 1.0;
  const std::size_t k = static_cast<std::size_t>(std::upper_bound(t.x.begin(), t.x.end(), x) - t.x.begin());
  return t.F[k - 1] + (t.F[k] - t.F[k - 1]) * (x - t.x[k - 1]) / (t.x[k] - t.x[k - 1]);
}

const Form kTriangularPercentiles{{"p10", "mode", "p90"}, {}, make_triangular_p10};
const Form kNormalPercentiles{{"p10", "p90"}, {}, make_normal_p10};
const Form kLognormalPercentiles{{"p10", "p90"}, {}, make_lognormal_p10};

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
       [](const Draw& d) { return (static_cast<double>(d.arg[0]) + d.arg[1]) / 2; }, nullptr,
       uniform_cdf},
      {Dist::normal, "normal", {"mean", "sd"}, {}, make_normal, nullptr, "VELMNORMAL",
       Call::two_reals, Uniforms::fixed, 2.2, kBothEditions, true, nullptr, first_argument,
       &kNormalPercentiles, normal_dist_cdf},
      {Dist::lognormal, "lognormal", {"mean", "sd"}, {}, make_lognormal, check_lognormal,
       "VELMLOGNORMAL", Call::two_reals, Uniforms::fixed, 2.2, kBothEditions, true, nullptr,
       first_argument, &kLognormalPercentiles, lognormal_cdf},
      {Dist::triangular, "triangular", {"low", "mode", "high"}, {"low_pct", "high_pct"},
       make_triangular, nullptr, "VELMTRIANG", Call::three_reals, Uniforms::fixed, 1.0,
       kBothEditions, true, "puts half the probability on each side of the mode",
       [](const Draw& d) { return static_cast<double>(d.arg[1]); }, &kTriangularPercentiles,
       triangular_dist_cdf},
      {Dist::beta, "beta", {"p", "q"}, {"min", "max"}, make_beta, nullptr, "VELMBETA",
       Call::two_reals, Uniforms::by_parameters, 2.6, kBothEditions, true, nullptr,
       [](const Draw& d) { return d.lo + (d.hi - d.lo) * d.arg[0] / (static_cast<double>(d.arg[0]) + d.arg[1]); },
       nullptr, beta_cdf},
      {Dist::geometric, "geometric", {"p"}, {}, make_geometric, check_geometric, "VELMGEOMETRIC",
       Call::count, Uniforms::fixed, 1.0, kBothEditions, true, nullptr,
       [](const Draw& d) { return 1.0 / d.arg[0]; }, nullptr, nullptr},
      {Dist::yesno, "yesno", {"p"}, {}, make_yesno, nullptr, "VELMYESNO", Call::count,
       Uniforms::one_unless_certain, 1.0, kThreadedEdition, false, nullptr, first_argument,
       nullptr, nullptr},
      {Dist::pert, "pert", {"min", "mode", "max"}, {"lambda"}, make_pert, nullptr, "VELMBETA",
       Call::two_reals, Uniforms::by_parameters, 2.6, kBothEditions, true, nullptr,
       [](const Draw& d) { return static_cast<double>(d.arg[2]); }, nullptr, beta_cdf},
      {Dist::constant, "constant", {"value"}, {}, make_constant, nullptr, nullptr, Call::none,
       Uniforms::fixed, 0.0, kBothEditions, false, nullptr, first_argument, nullptr, nullptr},
      {Dist::discrete, "discrete", {"values", "p"}, {}, make_discrete, nullptr, "VELMUNIFORM",
       Call::inverse, Uniforms::fixed, 1.0, kBothEditions, true, nullptr, table_mean, nullptr,
       nullptr},
      {Dist::cumulative, "cumulative", {"x", "F"}, {}, make_cumulative, nullptr, "VELMUNIFORM",
       Call::inverse, Uniforms::fixed, 1.0, kBothEditions, true, nullptr, table_mean, nullptr,
       cumulative_cdf},
      {Dist::data, "data", {"file", "column"}, {}, make_data, nullptr, "VELMUNIFORM",
       Call::inverse, Uniforms::fixed, 1.0, kBothEditions, true, nullptr, table_mean, nullptr,
       nullptr},
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
  // A truncated draw's redraws depend on every parameter.
  if (a.truncate || b.truncate) return a == b;
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

double mean_uniforms(const Draw& d) { return distribution(d.dist).mean_uniforms / d.kept; }

float table_value(const DrawTable& t, Dist dist, float u) {
  const double v = u;
  const std::size_t n = t.x.size();
  if (dist == Dist::data)
    return static_cast<float>(t.x[std::min(n - 1, static_cast<std::size_t>(v * static_cast<double>(n)))]);
  const auto k = static_cast<std::size_t>(std::upper_bound(t.F.begin(), t.F.end(), v) - t.F.begin());
  // Cumulative probabilities summed to just under 1 leave u above the last.
  if (k == n) return static_cast<float>(t.x[n - 1]);
  if (dist == Dist::discrete || k == 0) return static_cast<float>(t.x[k]);
  return static_cast<float>(t.x[k - 1] + (v - t.F[k - 1]) / (t.F[k] - t.F[k - 1]) * (t.x[k] - t.x[k - 1]));
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
