#include "host/velmsim/compare.h"

#include <algorithm>
#include <cmath>
#include <tuple>

#include <nlohmann/json.hpp>

#include "host/velmsim/html.h"

namespace velmsim {

namespace {

bool same_draw(const Draw& x, const Draw& y) {
  return x.dist == y.dist && x.arg == y.arg && x.scaled == y.scaled && x.lo == y.lo && x.hi == y.hi;
}

// Uniforms a yes/no draw takes: one, or none when p is 0 or 1.
int yesno_uniforms(float p) { return p > 0.0f && p < 1.0f ? 1 : 0; }

// True when the two draws take the same number of uniforms in every
// iteration whatever their parameters: the samplers of one uniform each
// (uniform, triangular, geometric), the normal-based ones (the standard
// normals of the Kinderman-Ramage method, then scaled); the beta sampler
// picks its method from p and q, and yes/no takes none at p = 0 or 1.
bool same_uniforms(const Draw& x, const Draw& y) {
  if (x.dist != y.dist) return false;
  switch (x.dist) {
    case Dist::beta: return x.arg[0] == y.arg[0] && x.arg[1] == y.arg[1];
    case Dist::yesno:
    case Dist::risk: return yesno_uniforms(x.arg[0]) == yesno_uniforms(y.arg[0]);
    default: return true;
  }
}

bool same_input(const Input& x, const Input& y) {
  if (!same_draw(x.draw, y.draw)) return false;
  if (x.draw.dist != Dist::risk) return true;
  return x.impact_drawn == y.impact_drawn &&
         (x.impact_drawn ? same_draw(x.impact, y.impact) : x.impact_value == y.impact_value);
}

bool same_input_uniforms(const Input& x, const Input& y) {
  if (!same_uniforms(x.draw, y.draw)) return false;
  if (x.draw.dist != Dist::risk) return true;
  return x.impact_drawn == y.impact_drawn && (!x.impact_drawn || same_uniforms(x.impact, y.impact));
}

// A's name of an input, with B's when it differs.
std::string pair_name(const Input& x, const Input& y) {
  const auto names = [](const Input& in) {
    return in.draw.dist == Dist::normal_pair ? in.names[0] + "/" + in.names[1] : in.name;
  };
  const std::string na = names(x), nb = names(y);
  return na == nb ? na : na + " (B: " + nb + ")";
}

}  // namespace

std::vector<std::string> unused_run_settings(const Model& a, const Model& b,
                                             const CompareSettings& given) {
  std::vector<std::string> lines;
  if (!given.iterations_given && b.run.iterations != a.run.iterations)
    lines.push_back(format("B's [run] iterations = %d is not used: A's %d apply to both",
                           b.run.iterations, a.run.iterations));
  if (!given.seed_given && b.run.seed != a.run.seed)
    lines.push_back(format("B's [run] seed = %d is not used: A's %d applies to both",
                           static_cast<int>(b.run.seed), static_cast<int>(a.run.seed)));
  if (b.run.block != a.run.block)
    lines.push_back(format("B's [run] block = %d is not used: A's %d applies to both",
                           b.run.block, a.run.block));
  if (!given.percentiles_given && b.run.percentiles != a.run.percentiles)
    lines.push_back("B's [run] percentiles are not used: A's apply to both");
  if (b.run.classes != a.run.classes)
    lines.push_back(format("B's [run] classes = %d is not used: A's %d apply", b.run.classes,
                           a.run.classes));
  return lines;
}

SharedDraws shared_draws(const Model& a, const Model& b) {
  SharedDraws s;
  const std::size_t common = std::min(a.inputs.size(), b.inputs.size());
  // Rank correlation reorders its inputs' draws within each block; both
  // models reorder alike when they correlate the same columns to the same
  // target (the keys that shuffle the scores depend on the seed alone).
  const RankCorrelation &ca = a.correlation, &cb = b.correlation;
  const bool alike = ca.columns == cb.columns && ca.target.a == cb.target.a;
  auto reordered = [](const Model& m, std::size_t input) {
    for (std::size_t c : m.correlation.columns)
      if (m.columns[c].input == input) return true;
    return false;
  };
  // Input k starts at the same place in both streams while every input
  // before it took the same number of uniforms in both.
  std::size_t k = 0;
  for (bool aligned = true; k < common && aligned; ++k) {
    const Input& x = a.inputs[k];
    const Input& y = b.inputs[k];
    if (x.draw.dist != y.draw.dist) break;
    if (!alike && (reordered(a, k) || reordered(b, k)))
      s.reordered.push_back(pair_name(x, y));
    else
      (same_input(x, y) ? s.same_values : s.same_start).push_back(pair_name(x, y));
    aligned = same_input_uniforms(x, y);
  }
  for (std::size_t i = k; i < a.inputs.size(); ++i)
    s.unmatched_a.push_back(a.inputs[i].draw.dist == Dist::normal_pair
                                ? a.inputs[i].names[0] + "/" + a.inputs[i].names[1]
                                : a.inputs[i].name);
  for (std::size_t i = k; i < b.inputs.size(); ++i)
    s.unmatched_b.push_back(b.inputs[i].draw.dist == Dist::normal_pair
                                ? b.inputs[i].names[0] + "/" + b.inputs[i].names[1]
                                : b.inputs[i].name);
  return s;
}

DifferenceSummary summarise_difference(const std::vector<float>& ya, const std::vector<float>& yb,
                                       int n, const std::vector<double>& percentiles,
                                       const StatisticsExports& st, int classes) {
  DifferenceSummary d;
  const auto count = static_cast<std::size_t>(n);
  std::vector<float> x(count);
  std::size_t greater = 0;
  for (std::size_t i = 0; i < count; ++i) {
    x[i] = static_cast<float>(static_cast<double>(yb[i]) - static_cast<double>(ya[i]));
    greater += yb[i] > ya[i] ? 1 : 0;
  }
  d.b_greater = static_cast<double>(greater) / n;

  std::vector<double> percent = listed_percentiles(percentiles);
  const std::size_t shown = percent.size();

  // Data that never varies makes the library warn: the host gives its
  // statistics itself.
  d.constant = constant(x, n);
  if (d.constant) {
    d.mean = d.min = d.max = x[0];
    d.sd = 0;
    for (double p : percent) d.percentiles.emplace_back(p, x[0]);
    d.low = d.high = x[0];
    return d;
  }

  const auto n16 = static_cast<std::int16_t>(n);
  const std::int16_t one = 1;
  std::array<float, 15> stat{};
  st.stat(&n16, &one, x.data(), &n16, stat.data());
  d.mean = stat[0];
  d.sd = stat[2];
  d.min = stat[5];
  d.max = stat[6];

  percent.push_back(1.0);
  percent.push_back(99.0);
  std::vector<float> prop, q(percent.size());
  for (double p : percent) prop.push_back(static_cast<float>(p / 100.0));
  const auto k16 = static_cast<std::int16_t>(prop.size());
  st.qtil(&n16, x.data(), &k16, prop.data(), q.data());
  for (std::size_t i = 0; i < shown; ++i) d.percentiles.emplace_back(percent[i], q[i]);

  // Histogram between the 1st and 99th percentiles (the extremes when those
  // coincide).
  d.low = q[shown];
  d.high = q[shown + 1];
  if (!(d.low < d.high)) {
    d.low = d.min;
    d.high = d.max;
  }
  const auto c16 = static_cast<std::int16_t>(classes + 2);
  d.marks.resize(static_cast<std::size_t>(c16));
  d.tally.resize(static_cast<std::size_t>(c16));
  st.hist(&n16, x.data(), &d.low, &d.high, &c16, d.marks.data(), d.tally.data());
  return d;
}

Comparison compare_runs(const Model& a, const RunResult& ra, const Model& b, const RunResult& rb,
                        const StatisticsExports& st, int classes) {
  Comparison c;
  c.a.sha256 = sha256_hex(a.text);
  c.b.sha256 = sha256_hex(b.text);
  c.a.name = a.name;
  c.b.name = b.name;
  c.iterations = ra.samples.n;
  c.shared = shared_draws(a, b);
  const Report sa = summarise(a, ra, st, classes);
  const Report sb = summarise(b, rb, st, classes);
  for (std::size_t i = 0; i < a.outputs.size(); ++i) {
    std::size_t j = 0;
    while (j < b.outputs.size() && b.outputs[j].name != a.outputs[i].name) ++j;
    if (j == b.outputs.size()) {
      c.only_a.push_back(a.outputs[i].name);
      continue;
    }
    OutputComparison o;
    o.name = a.outputs[i].name;
    o.a = sa.outputs[i];
    o.b = sb.outputs[j];
    o.difference = summarise_difference(ra.samples.outputs[i], rb.samples.outputs[j],
                                        ra.samples.n, a.run.percentiles, st, classes);
    c.outputs.push_back(std::move(o));
  }
  for (const Output& y : b.outputs) {
    const bool in_a = std::any_of(a.outputs.begin(), a.outputs.end(),
                                  [&](const Output& x) { return x.name == y.name; });
    if (!in_a) c.only_b.push_back(y.name);
  }
  return c;
}

namespace {

std::string list(const std::vector<std::string>& names) {
  std::string s;
  for (const std::string& n : names) s += (s.empty() ? "" : ", ") + n;
  return s.empty() ? "(none)" : s;
}

}  // namespace

std::string compare_text(const Comparison& c) {
  std::string t;
  t += format("velmsim %s compare: A = %s, B = %s\n", c.version.c_str(), c.a.name.c_str(),
              c.b.name.c_str());
  t += "model A:     " + c.a.path + "\n";
  t += "sha-256 A:   " + c.a.sha256 + "\n";
  t += "model B:     " + c.b.path + "\n";
  t += "sha-256 B:   " + c.b.sha256 + "\n";
  t += "sampling:    " + c.sampling_library + " (threaded sampling edition)\n";
  t += "statistics:  " + c.statistics_library + " (statistics edition)\n";
  t += format("seed:        %d%s\n", static_cast<int>(c.seed), c.clock_seed ? " (from the clock)" : "");
  t += "streams:     iteration i of both models draws from seed * 16807^(65536 i) mod (2^31 - 1)\n";
  t += format("threads:     %d\n", c.threads);
  t += format("iterations:  %d in each model (blocks of %d), no convergence stop\n", c.iterations,
              c.block);
  for (const std::string& u : c.unused) t += "note:        " + u + "\n";

  t += "\nCommon random numbers (inputs matched by their place in the files)\n";
  auto line = [&](const char* label, const std::vector<std::string>& names) {
    t += format("  %-40s %s\n", label, list(names).c_str());
  };
  line("same values in both models:", c.shared.same_values);
  if (!c.shared.same_start.empty()) line("same stream position, other parameters:", c.shared.same_start);
  if (!c.shared.reordered.empty()) line("same draws, reordered differently:", c.shared.reordered);
  if (!c.shared.unmatched_a.empty()) line("not paired, from A:", c.shared.unmatched_a);
  if (!c.shared.unmatched_b.empty()) line("not paired, from B:", c.shared.unmatched_b);

  for (const OutputComparison& o : c.outputs) {
    const DifferenceSummary& d = o.difference;
    const std::string money = o.a.currency.empty() ? "" : " (" + o.a.currency + ")";
    t += "\n== Output " + o.name + money + "\n";
    t += "  A: " + o.name + " = " + o.a.formula + "\n";
    t += "  B: " + o.name + " = " + o.b.formula + "\n";
    t += format("\n  %-12s %16s %16s %16s\n", "", "A", "B", "B's - A's");
    for (const auto& [label, x, y] :
         {std::tuple<const char*, float, float>{"Mean", o.a.stat[0], o.b.stat[0]},
          {"P50", o.a.p50, o.b.p50},
          {"P80", o.a.p80, o.b.p80}})
      t += format("  %-12s %16s %16s %16s\n", label, six_digits(x).c_str(), six_digits(y).c_str(),
                  six_digits(static_cast<double>(y) - static_cast<double>(x)).c_str());

    t += "\nDifference B - A, iteration by iteration\n";
    if (d.constant) t += "(B - A has the same value in every iteration)\n";
    for (const auto& [label, v] : {std::pair<const char*, float>{"Mean", d.mean},
                                   {"Std. Dev.", d.sd},
                                   {"Minimum", d.min},
                                   {"Maximum", d.max}})
      t += format("  %-12s %16s\n", label, six_digits(v).c_str());
    for (const auto& [p, v] : d.percentiles) t += format("  P%-11g %16s\n", p, six_digits(v).c_str());
    t += format("  %-12s %14.1f %%\n", "P(B > A)", 100.0 * d.b_greater);
  }
  if (!c.only_a.empty() || !c.only_b.empty()) {
    t += "\n== Outputs in one model only (not compared)\n";
    if (!c.only_a.empty()) t += "  only in A: " + list(c.only_a) + "\n";
    if (!c.only_b.empty()) t += "  only in B: " + list(c.only_b) + "\n";
  }
  return t;
}

namespace {
// JSON with single-precision numbers, written in the shortest form that reads
// back as the same float; keys in the order written.
using Json = nlohmann::basic_json<nlohmann::ordered_map, std::vector, std::string, bool,
                                  std::int64_t, std::uint64_t, float>;

Json side_json(const CompareSide& s) {
  return {{"file", s.path}, {"sha256", s.sha256}, {"name", s.name}};
}

Json output_side(const OutputSummary& o) {
  Json curve = Json::array();
  for (const auto& [v, p] : o.curve) curve.push_back({v, p});
  return {{"formula", o.formula}, {"mean", o.stat[0]}, {"p50", o.p50}, {"p80", o.p80},
          {"minimum", o.stat[5]}, {"maximum", o.stat[6]}, {"s_curve", curve}};
}
}  // namespace

std::string compare_json(const Comparison& c) {
  Json j;
  j["velmsim"] = c.version;
  j["a"] = side_json(c.a);
  j["b"] = side_json(c.b);
  j["libraries"] = {{"sampling", c.sampling_library}, {"statistics", c.statistics_library}};
  j["run"] = {{"seed", c.seed}, {"clock_seed", c.clock_seed}, {"threads", c.threads},
              {"iterations", c.iterations}, {"block", c.block}};
  j["not_used"] = c.unused;
  j["common_random_numbers"] = {{"same_values", c.shared.same_values},
                                {"reordered", c.shared.reordered},
                                {"same_start", c.shared.same_start},
                                {"unpaired_a", c.shared.unmatched_a},
                                {"unpaired_b", c.shared.unmatched_b}};
  Json outputs = Json::array();
  for (const OutputComparison& o : c.outputs) {
    const DifferenceSummary& d = o.difference;
    Json out;
    out["name"] = o.name;
    out["currency"] = o.a.currency;
    out["a"] = output_side(o.a);
    out["b"] = output_side(o.b);
    Json pct = Json::array();
    for (const auto& [p, v] : d.percentiles) pct.push_back({{"percent", static_cast<float>(p)}, {"value", v}});
    out["difference"] = {{"constant", d.constant},
                         {"mean", d.mean},
                         {"sd", d.sd},
                         {"minimum", d.min},
                         {"maximum", d.max},
                         {"percentiles", pct},
                         {"probability_b_greater", static_cast<float>(d.b_greater)},
                         {"histogram", {{"low", d.low}, {"high", d.high}, {"marks", d.marks},
                                        {"tally", d.tally}}}};
    outputs.push_back(out);
  }
  j["outputs"] = outputs;
  j["only_in_a"] = c.only_a;
  j["only_in_b"] = c.only_b;
  return j.dump(2) + "\n";
}

namespace {

using namespace page;

// An amount with a true minus sign, as amount() gives large ones.
std::string num(double x) {
  std::string s = amount(x);
  return s.rfind('-', 0) == 0 ? "&#8722;" + s.substr(1) : s;
}

// What the page calls a model: its name, or its file when both have the
// same name.
std::string side_label(const Comparison& c, int k) {
  const CompareSide& side = k == 0 ? c.a : c.b;
  return c.a.name == c.b.name ? side.path : side.name;
}

// Both models' S-curves on one chart, with a legend.
std::string both_s_curves(const Comparison& c, const OutputComparison& o) {
  Frame f;
  f.x0 = std::min(o.a.stat[5], o.b.stat[5]);
  f.x1 = std::max(o.a.stat[6], o.b.stat[6]);
  if (!(f.x1 > f.x0)) f.x1 = f.x0 + 1;
  std::string s = svg_open(f, "s-curves", "S-curves of " + o.name + " in A and B");
  s += axes(f, ticks(f.x0, f.x1), {0, 0.2, 0.4, 0.6, 0.8, 1.0}, o.name,
            "probability of a value at most this", true);
  for (const auto& [side, css] : {std::pair<const OutputSummary*, const char*>{&o.a, "curve-a"},
                                  {&o.b, "curve-b"}}) {
    std::string points = format("%.1f,%.1f ", f.x(side->stat[5]), f.y(0));
    for (const auto& [v, p] : side->curve) points += format("%.1f,%.1f ", f.x(v), f.y(p));
    points += format("%.1f,%.1f", f.x(side->stat[6]), f.y(1));
    s += std::string("<polyline class=\"") + css + "\" points=\"" + points + "\"/>\n";
  }
  const double lx = f.left + 12, ly = f.top + 8;
  for (int k = 0; k < 2; ++k) {
    const double y = ly + 18.0 * k;
    s += format("<line class=\"%s\" x1=\"%.1f\" y1=\"%.1f\" x2=\"%.1f\" y2=\"%.1f\"/>",
                k == 0 ? "curve-a" : "curve-b", lx, y, lx + 28, y);
    s += format("<text class=\"legend\" x=\"%.1f\" y=\"%.1f\">%s: %s</text>\n", lx + 34, y + 4,
                k == 0 ? "A" : "B", escape(side_label(c, k)).c_str());
  }
  return s + "</svg>\n";
}

const char* const kCompareStyle = R"(
svg .curve-a { fill: none; stroke: #2b6cb0; stroke-width: 2.2; }
svg .curve-b { fill: none; stroke: #c05621; stroke-width: 2.2; stroke-dasharray: 7 3; }
svg .zero { stroke: #555; fill: #555; } svg .dmean { stroke: #2f855a; fill: #2f855a; }
svg text.legend { font-size: 12px; paint-order: stroke; stroke: #fff; stroke-width: 3px; }
td.a, th.a { color: #2b6cb0; } td.b, th.b { color: #c05621; }
)";

}  // namespace

std::string compare_html(const Comparison& c) {
  const std::string title =
      "Compare " + escape(side_label(c, 0)) + " (A) with " + escape(side_label(c, 1)) + " (B)";
  std::string h = "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\"/>\n";
  h += "<title>" + title + ": velmsim comparison</title>\n<style>" + kStyle + kCompareStyle +
       "</style>\n</head>\n<body>\n";
  h += "<h1>" + title + "</h1>\n";
  h += format("<p class=\"note\">Monte-Carlo comparison by velmsim %s: %d iterations of each "
              "model on common random numbers (iteration i of both draws from the same "
              "substream); B &#8722; A is taken iteration by iteration.</p>\n",
              escape(c.version).c_str(), c.iterations);
  h += "<table class=\"meta\">\n";
  auto row = [&](const std::string& k, const std::string& v) {
    h += "<tr><td>" + k + "</td><td>" + v + "</td></tr>\n";
  };
  row("Model A", "<code>" + escape(c.a.path) + "</code>");
  row("SHA-256 A", "<code>" + c.a.sha256 + "</code>");
  row("Model B", "<code>" + escape(c.b.path) + "</code>");
  row("SHA-256 B", "<code>" + c.b.sha256 + "</code>");
  row("Sampling", "<code>" + escape(c.sampling_library) + "</code> (threaded sampling edition)");
  row("Statistics", "<code>" + escape(c.statistics_library) + "</code> (statistics edition)");
  row("Seed", format("%d%s", static_cast<int>(c.seed), c.clock_seed ? " (from the clock)" : "") +
                  ", one substream per iteration, the same in both models");
  row("Iterations", format("%d in each model (blocks of %d, no convergence stop), %d thread%s",
                           c.iterations, c.block, c.threads, c.threads == 1 ? "" : "s"));
  for (const std::string& u : c.unused) row("Note", escape(u));
  h += "</table>\n";
  h += "<h3>Common random numbers</h3>\n<table class=\"grid\">\n";
  row("Same values in both models", escape(list(c.shared.same_values)));
  if (!c.shared.same_start.empty())
    row("Same stream position, other parameters", escape(list(c.shared.same_start)));
  if (!c.shared.reordered.empty())
    row("Same draws, reordered differently by [correlation]", escape(list(c.shared.reordered)));
  if (!c.shared.unmatched_a.empty() || !c.shared.unmatched_b.empty()) {
    row("Not paired, from A", escape(list(c.shared.unmatched_a)));
    row("Not paired, from B", escape(list(c.shared.unmatched_b)));
  }
  h += "</table>\n<p class=\"note\">Inputs are matched by their place in the files: each "
       "iteration draws them in file order, so an input is paired only while every input before "
       "it took the same random numbers in both models.</p>\n";

  for (std::size_t k = 0; k < c.outputs.size(); ++k) {
    const OutputComparison& o = c.outputs[k];
    const DifferenceSummary& d = o.difference;
    const std::string money = o.a.currency.empty() ? "" : " " + escape(o.a.currency);
    h += "<section class=\"output\">\n<h2" + std::string(k == 0 ? " class=\"first\"" : "") +
         ">Output " + escape(o.name) + "</h2>\n";
    h += "<p>A: <code>" + escape(o.name) + " = " + escape(o.a.formula) + "</code><br/>B: <code>" +
         escape(o.name) + " = " + escape(o.b.formula) + "</code></p>\n";
    h += "<div class=\"cards\">";
    auto card = [&](const std::string& v, const std::string& label) {
      h += "<div class=\"card\"><b>" + v + "</b><span>" + label + "</span></div>";
    };
    card(num(d.mean), "mean of B &#8722; A" + money);
    card(num(d.sd), "sd of B &#8722; A" + money);
    card(format("%.1f%%", 100.0 * d.b_greater), "P(B &gt; A)");
    card(num(static_cast<double>(o.b.p80) - o.a.p80), "P80 of B &#8722; P80 of A" + money);
    h += "</div>\n";

    h += "<h3>S-curves: probability that " + escape(o.name) + " is at most a value</h3>\n" +
         both_s_curves(c, o);
    h += "<h3>Histogram of B &#8722; A, iteration by iteration</h3>\n";
    if (d.constant) {
      h += "<p class=\"note\">B &#8722; A is " + num(d.mean) + money +
           " in every iteration: there is no spread to draw.</p>\n";
    } else {
      h += histogram_chart(d.low, d.high, d.tally, "B \xE2\x88\x92 A of " + o.name,
                           "Histogram of B \xE2\x88\x92 A of " + o.name,
                           {{"no change", 0.0, "zero"}, {"mean", d.mean, "dmean"}});
      h += format("<p class=\"note\">%zu classes between the 1st and 99th percentile; %.0f "
                  "iterations below and %.0f above are not drawn.</p>\n",
                  d.tally.size() - 2, static_cast<double>(d.tally.front()),
                  static_cast<double>(d.tally.back()));
    }

    h += "<div class=\"tables\">\n<div><h3>Side by side</h3><table class=\"grid\">\n";
    h += "<tr><th></th><th class=\"n a\">A</th><th class=\"n b\">B</th><th class=\"n\">B's "
         "&#8722; A's</th></tr>\n";
    for (const auto& [label, x, y] :
         {std::tuple<const char*, float, float>{"Mean", o.a.stat[0], o.b.stat[0]},
          {"P50", o.a.p50, o.b.p50},
          {"P80", o.a.p80, o.b.p80}})
      h += format("<tr><td>%s</td><td class=\"n a\">%s</td><td class=\"n b\">%s</td><td "
                  "class=\"n\">%s</td></tr>\n",
                  label, num(x).c_str(), num(y).c_str(),
                  num(static_cast<double>(y) - static_cast<double>(x)).c_str());
    h += "</table></div>\n<div><h3>B &#8722; A, iteration by iteration</h3><table class=\"grid\">\n";
    for (const auto& [label, v] : {std::pair<const char*, float>{"Mean", d.mean},
                                   {"Std. Dev.", d.sd},
                                   {"Minimum", d.min},
                                   {"Maximum", d.max}})
      h += "<tr><td>" + std::string(label) + "</td><td class=\"n\">" + num(v) + "</td></tr>\n";
    for (const auto& [p, v] : d.percentiles)
      h += format("<tr><td>P%g</td><td class=\"n\">%s</td></tr>\n", p, num(v).c_str());
    h += format("<tr><td>P(B &gt; A)</td><td class=\"n\">%.1f%%</td></tr>\n", 100.0 * d.b_greater);
    h += "</table></div>\n</div>\n</section>\n";
  }
  if (!c.only_a.empty() || !c.only_b.empty()) {
    h += "<h2>Outputs in one model only</h2>\n<table class=\"grid\">\n";
    if (!c.only_a.empty()) row("Only in A", escape(list(c.only_a)));
    if (!c.only_b.empty()) row("Only in B", escape(list(c.only_b)));
    h += "</table>\n<p class=\"note\">These are not compared.</p>\n";
  }
  h += "</body>\n</html>\n";
  return h;
}

}  // namespace velmsim
