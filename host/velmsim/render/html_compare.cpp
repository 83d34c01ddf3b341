// The comparison of two models as one HTML page: both S-curves on one chart,
// the histogram of B - A and the tables.
#include <algorithm>

#include "host/velmsim/render/format.h"
#include "host/velmsim/render/html_page.h"
#include "host/velmsim/render/render.h"

namespace velmsim {

using namespace page;

namespace {

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

// Both models' S-curves on one chart, with a legend above them.
std::string both_s_curves(const Comparison& c, const OutputComparison& o) {
  Frame f;
  f.top = 56;
  f.height += 36;
  f.x0 = std::min(o.a.stat[5], o.b.stat[5]);
  f.x1 = std::max(o.a.stat[6], o.b.stat[6]);
  if (!(f.x1 > f.x0)) f.x1 = f.x0 + 1;
  std::string s = svg_open(f, "s-curves", "S-curves of " + o.name + " in A and B");
  s += axes(f, ticks(f.x0, f.x1), {0, 0.2, 0.4, 0.6, 0.8, 1.0}, o.name,
            "probability of a value at most this", true);
  for (const auto& [side, css] : {std::pair<const Spread*, const char*>{&o.a, "curve-a"},
                                  {&o.b, "curve-b"}}) {
    std::string points = format("%.1f,%.1f ", f.x(side->stat[5]), f.y(0));
    for (const auto& [v, p] : side->curve) points += format("%.1f,%.1f ", f.x(v), f.y(p));
    points += format("%.1f,%.1f", f.x(side->stat[6]), f.y(1));
    s += std::string("<polyline class=\"") + css + "\" points=\"" + points + "\"/>\n";
  }
  const double lx = f.left + 12;
  for (int k = 0; k < 2; ++k) {
    const double y = 14 + 18.0 * k;
    s += format("<line class=\"%s\" x1=\"%.1f\" y1=\"%.1f\" x2=\"%.1f\" y2=\"%.1f\"/>",
                k == 0 ? "curve-a" : "curve-b", lx, y, lx + 28, y);
    // Bold 12 px, about as wide as a regular 13.5 px.
    s += format("<text class=\"legend\" x=\"%.1f\" y=\"%.1f\">%s</text>\n", lx + 34, y + 4,
                fit((k == 0 ? "A: " : "B: ") + side_label(c, k), f.width - lx - 44, 13.5).c_str());
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
  std::string h = page_open(title + ": velmsim comparison", kCompareStyle);
  h += "<h1>" + title + "</h1>\n";
  h += format("<p class=\"note\">Monte-Carlo comparison by velmsim %s: %d iterations of each "
              "model on common random numbers (iteration i of both draws from the same "
              "substream); B &#8722; A is taken iteration by iteration.</p>\n",
              escape(c.version).c_str(), c.iterations);
  h += "<table class=\"meta\">\n";
  auto row = [&](const std::string& k, const std::string& v) { h += table_row(k, v); };
  row("Model A", "<code>" + escape(c.a.path) + "</code>");
  row("SHA-256 A", "<code>" + c.a.sha256 + "</code>");
  row("Model B", "<code>" + escape(c.b.path) + "</code>");
  row("SHA-256 B", "<code>" + c.b.sha256 + "</code>");
  row("Sampling", "<code>" + escape(c.libraries.sampling) + "</code> (threaded sampling edition)");
  row("Statistics", "<code>" + escape(c.libraries.statistics) + "</code> (statistics edition)");
  row("Seed", format("%d%s", static_cast<int>(c.seed), c.clock_seed ? " (from the clock)" : "") +
                  ", one substream per iteration, the same in both models");
  row("Iterations", format("%d in each model (blocks of %d, no convergence stop), %d thread%s",
                           c.iterations, c.block, c.threads, c.threads == 1 ? "" : "s"));
  for (const std::string& u : c.unused) row("Note", escape(u));
  h += "</table>\n";
  h += "<div class=\"figure\"><h3>Common random numbers</h3>\n<table class=\"grid names\">\n";
  row("Same values in both models", escape(name_list(c.shared.same_values)));
  if (!c.shared.same_start.empty())
    row("Same stream position, other parameters", escape(name_list(c.shared.same_start)));
  if (!c.shared.reordered.empty())
    row("Same draws, reordered differently by [correlation]", escape(name_list(c.shared.reordered)));
  if (!c.shared.unmatched_a.empty() || !c.shared.unmatched_b.empty()) {
    row("Not paired, from A", escape(name_list(c.shared.unmatched_a)));
    row("Not paired, from B", escape(name_list(c.shared.unmatched_b)));
  }
  h += "</table>\n<p class=\"note\">Inputs are matched by their place in the files: each "
       "iteration draws them in file order, so an input is paired only while every input before "
       "it took the same random numbers in both models.</p></div>\n";

  for (std::size_t k = 0; k < c.outputs.size(); ++k) {
    const OutputComparison& o = c.outputs[k];
    const DifferenceSummary& d = o.difference;
    const std::string money = o.currency.empty() ? "" : " " + escape(o.currency);
    h += "<section class=\"output\">\n<h2" + std::string(k == 0 ? " class=\"first\"" : "") +
         ">Output " + escape(o.name) + "</h2>\n";
    h += "<p>A: <code>" + escape(o.name) + " = " + escape(o.formula_a) + "</code><br/>B: <code>" +
         escape(o.name) + " = " + escape(o.formula_b) + "</code></p>\n";
    h += "<div class=\"cards\">";
    if (d.overflow > 0)
      h += card(std::to_string(d.overflow), "iterations with B &#8722; A beyond single precision");
    else
      h += card(num(d.mean), "mean of B &#8722; A" + money) + card(num(d.sd), "sd of B &#8722; A" + money);
    h += card(format("%.1f%%", 100.0 * d.b_greater), "P(B &gt; A)");
    h += card(num(o.rows[2].difference), "P80 of B &#8722; P80 of A" + money);
    h += "</div>\n";

    // Each heading with its chart or table in one figure, which printing
    // keeps on one page.
    h += "<div class=\"figure\"><h3>S-curves: probability that " + escape(o.name) +
         " is at most a value</h3>\n" + both_s_curves(c, o) + "</div>\n";
    h += "<div class=\"figure\"><h3>Histogram of B &#8722; A, iteration by iteration</h3>\n";
    if (d.overflow > 0) {
      h += "<p class=\"note\">B &#8722; A is beyond single precision in " +
           std::to_string(d.overflow) + " of the " + std::to_string(c.iterations) +
           " iterations: it has no statistics and no histogram.</p>\n";
    } else if (d.constant) {
      h += "<p class=\"note\">B &#8722; A is " + num(d.mean) + money +
           " in every iteration: there is no spread to draw.</p>\n";
    } else {
      h += histogram_chart(d.histogram, "B \xE2\x88\x92 A of " + o.name,
                           "Histogram of B \xE2\x88\x92 A of " + o.name,
                           {{"no change", 0.0, "zero"}, {"mean", d.mean, "dmean"}});
      h += histogram_note(d.histogram);
    }
    h += "</div>\n";

    h += "<div class=\"tables\">\n<div class=\"figure\"><h3>Side by side</h3>"
         "<table class=\"grid\">\n";
    h += "<tr><th></th><th class=\"n a\">A</th><th class=\"n b\">B</th><th class=\"n\">B's "
         "&#8722; A's</th></tr>\n";
    for (const SideBySide& r : o.rows)
      h += format("<tr><td>%s</td><td class=\"n a\">%s</td><td class=\"n b\">%s</td><td "
                  "class=\"n\">%s</td></tr>\n",
                  r.label, num(r.a).c_str(), num(r.b).c_str(), num(r.difference).c_str());
    h += "</table></div>\n<div class=\"figure\"><h3>B &#8722; A, iteration by iteration</h3>"
         "<table class=\"grid\">\n";
    for (const auto& [label, v] : {std::pair<const char*, float>{"Mean", d.mean},
                                   {"Std. Dev.", d.sd},
                                   {"Minimum", d.min},
                                   {"Maximum", d.max}})
      if (d.overflow == 0)
        h += "<tr><td>" + std::string(label) + "</td><td class=\"n\">" + num(v) + "</td></tr>\n";
    for (const auto& [p, v] : d.percentiles)
      h += "<tr><td>P" + exact_text(p) + "</td><td class=\"n\">" + num(v) + "</td></tr>\n";
    h += format("<tr><td>P(B &gt; A)</td><td class=\"n\">%.1f%%</td></tr>\n", 100.0 * d.b_greater);
    h += "</table></div>\n</div>\n</section>\n";
  }
  if (!c.only_a.empty() || !c.only_b.empty()) {
    h += "<h2>Outputs in one model only</h2>\n<table class=\"grid names\">\n";
    if (!c.only_a.empty()) row("Only in A", escape(name_list(c.only_a)));
    if (!c.only_b.empty()) row("Only in B", escape(name_list(c.only_b)));
    h += "</table>\n<p class=\"note\">These are not compared.</p>\n";
  }
  return h + page_close();
}

}  // namespace velmsim
