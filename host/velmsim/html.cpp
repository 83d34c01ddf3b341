// The report as one self-contained HTML page: inline SVG charts (S-curve,
// histogram, tornado, convergence) and the tables, no scripts and no external
// resources. The page is well-formed XML as well as HTML, so that it can be
// checked with any XML reader.
#include <algorithm>
#include <cmath>
#include <functional>
#include <cstdarg>
#include <cstdio>

#include "host/velmsim/html.h"
#include "host/velmsim/report.h"

namespace velmsim {

namespace page {

std::string escape(const std::string& s) {
  std::string out;
  for (char c : s) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#39;"; break;
      default: out += c;
    }
  }
  return out;
}

std::string amount(double x, double scale) {
  const double a = std::max(std::fabs(x), std::fabs(scale));
  if (std::isnan(x) || a < 1e4 || std::fabs(x) >= 1e15) return six_digits(x);
  std::string digits = format("%.0f", std::fabs(x));
  for (int i = static_cast<int>(digits.size()) - 3; i > 0; i -= 3)
    digits.insert(static_cast<std::size_t>(i), ",");
  return (x < 0 ? "&#8722;" : "") + digits;
}

std::string tick_label(double x) {
  const double a = std::fabs(x);
  if (a >= 1e9) return format("%gG", x / 1e9);
  if (a >= 1e6) return format("%gM", x / 1e6);
  if (a >= 1e4) return format("%gk", x / 1e3);
  return format("%g", x);
}

std::vector<double> ticks(double lo, double hi, int wanted) {
  std::vector<double> t;
  if (!(hi > lo)) return {lo};
  const double raw = (hi - lo) / wanted;
  const double power = std::pow(10.0, std::floor(std::log10(raw)));
  double step = power;
  for (double m : {1.0, 2.0, 5.0, 10.0})
    if (m * power >= raw) {
      step = m * power;
      break;
    }
  for (double v = std::ceil(lo / step) * step; v <= hi + step * 1e-9; v += step)
    t.push_back(std::fabs(v) < step * 1e-9 ? 0.0 : v);
  return t;
}

std::string svg_open(const Frame& f, const std::string& kind, const std::string& title) {
  return format("<svg xmlns=\"http://www.w3.org/2000/svg\" class=\"chart\" data-chart=\"%s\" "
                "viewBox=\"0 0 %.0f %.0f\" width=\"%.0f\" height=\"%.0f\" role=\"img\">"
                "<title>%s</title>\n",
                kind.c_str(), f.width, f.height, f.width, f.height, escape(title).c_str());
}

std::string axes(const Frame& f, const std::vector<double>& xt, const std::vector<double>& yt,
                 const std::string& xlabel, const std::string& ylabel, bool percent_y) {
  std::string s;
  for (double v : yt) {
    s += format("<line class=\"grid\" x1=\"%.1f\" y1=\"%.1f\" x2=\"%.1f\" y2=\"%.1f\"/>", f.left,
                f.y(v), f.width - f.right, f.y(v));
    s += format("<text class=\"tick\" x=\"%.1f\" y=\"%.1f\" text-anchor=\"end\">%s</text>\n",
                f.left - 6, f.y(v) + 4,
                percent_y ? format("%g%%", v * 100).c_str() : tick_label(v).c_str());
  }
  for (double v : xt) {
    s += format("<line class=\"axis\" x1=\"%.1f\" y1=\"%.1f\" x2=\"%.1f\" y2=\"%.1f\"/>", f.x(v),
                f.height - f.bottom, f.x(v), f.height - f.bottom + 5);
    s += format("<text class=\"tick\" x=\"%.1f\" y=\"%.1f\" text-anchor=\"middle\">%s</text>\n",
                f.x(v), f.height - f.bottom + 18, tick_label(v).c_str());
  }
  s += format("<line class=\"axis\" x1=\"%.1f\" y1=\"%.1f\" x2=\"%.1f\" y2=\"%.1f\"/>", f.left,
              f.height - f.bottom, f.width - f.right, f.height - f.bottom);
  s += format("<text class=\"label\" x=\"%.1f\" y=\"%.1f\" text-anchor=\"middle\">%s</text>",
              (f.left + f.width - f.right) / 2, f.height - 6, escape(xlabel).c_str());
  s += format("<text class=\"label\" transform=\"translate(14 %.1f) rotate(-90)\" "
              "text-anchor=\"middle\">%s</text>\n",
              (f.top + f.height - f.bottom) / 2, escape(ylabel).c_str());
  return s;
}

std::string draw_marks(const Frame& f, const std::vector<Mark>& marks) {
  std::string s;
  int row = 0;
  for (const Mark& m : marks) {
    if (m.value < f.x0 || m.value > f.x1) continue;
    const double x = f.x(m.value);
    s += format("<line class=\"mark %s\" x1=\"%.1f\" y1=\"%.1f\" x2=\"%.1f\" y2=\"%.1f\"/>", m.css,
                x, f.top, x, f.height - f.bottom);
    s += format("<text class=\"marklabel %s\" x=\"%.1f\" y=\"%.1f\">%s %s</text>\n", m.css, x + 3,
                f.top + 10 + 12 * (row++ % 4), m.label, escape(tick_label(m.value)).c_str());
  }
  return s;
}

std::string histogram_chart(float low, float high, const std::vector<float>& tally,
                            const std::string& xlabel, const std::string& title,
                            const std::vector<Mark>& marks) {
  Frame f;
  f.x0 = low;
  f.x1 = high;
  const std::size_t k = tally.size();
  float largest = 1;
  for (std::size_t i = 1; i + 1 < k; ++i) largest = std::max(largest, tally[i]);
  f.y1 = largest * 1.1;
  std::string s = svg_open(f, "histogram", title);
  s += axes(f, ticks(f.x0, f.x1), ticks(0, f.y1, 5), xlabel, "iterations");
  const double width = (static_cast<double>(high) - low) / static_cast<double>(k - 2);
  for (std::size_t i = 1; i + 1 < k; ++i) {
    const double from = low + static_cast<double>(i - 1) * width;
    s += format("<rect class=\"bar\" x=\"%.1f\" y=\"%.1f\" width=\"%.1f\" height=\"%.1f\"/>",
                f.x(from) + 0.5, f.y(tally[i]), std::max(0.0, f.x(from + width) - f.x(from) - 1),
                f.y(0) - f.y(tally[i]));
  }
  s += '\n';
  s += draw_marks(f, marks);
  return s + "</svg>\n";
}

}  // namespace page

namespace {

using namespace page;

std::vector<Mark> marks_of(const Report&, const OutputSummary& o) {
  std::vector<Mark> m;
  if (o.base) m.push_back({"base", *o.base, "base"});
  m.push_back({"P50", o.p50, "p50"});
  m.push_back({"P80", o.p80, "p80"});
  if (o.target) m.push_back({"target", *o.target, "target"});
  return m;
}

std::string histogram(const Report& r, const OutputSummary& o) {
  return histogram_chart(o.low, o.high, o.tally, o.name, "Histogram of " + o.name, marks_of(r, o));
}

std::string s_curve(const Report& r, const OutputSummary& o) {
  Frame f;
  f.x0 = o.stat[5];
  f.x1 = o.stat[6] > o.stat[5] ? o.stat[6] : o.stat[5] + 1;
  for (const Mark& m : marks_of(r, o)) {  // keep base and target in view when near
    const double span = f.x1 - f.x0;
    if (m.value < f.x0 && m.value > f.x0 - 0.25 * span) f.x0 = m.value;
    if (m.value > f.x1 && m.value < f.x1 + 0.25 * span) f.x1 = m.value;
  }
  std::string s = svg_open(f, "s-curve", "S-curve of " + o.name);
  s += axes(f, ticks(f.x0, f.x1), {0, 0.2, 0.4, 0.6, 0.8, 1.0}, o.name,
            "probability of a value at most this", true);
  std::string points = format("%.1f,%.1f ", f.x(o.stat[5]), f.y(0));
  for (const auto& [v, p] : o.curve) points += format("%.1f,%.1f ", f.x(v), f.y(p));
  points += format("%.1f,%.1f", f.x(o.stat[6]), f.y(1));
  s += "<polyline class=\"curve\" points=\"" + points + "\"/>\n";
  s += draw_marks(f, marks_of(r, o));
  return s + "</svg>\n";
}

std::string tornado(const OutputSummary& o) {
  Frame f;
  f.left = 150;
  f.right = 60;
  f.height = f.top + f.bottom + 8 + 26.0 * static_cast<double>(o.tornado.size());
  f.x0 = -1;
  f.x1 = 1;
  std::string s = svg_open(f, "tornado", "Tornado: rank correlation with " + o.name);
  s += axes(f, {-1, -0.5, 0, 0.5, 1}, {}, "Spearman rank correlation with " + o.name, "");
  for (std::size_t i = 0; i < o.tornado.size(); ++i) {
    const Correlation& c = o.tornado[i];
    const double y = f.top + 26.0 * static_cast<double>(i);
    s += format("<text class=\"name\" x=\"%.1f\" y=\"%.1f\" text-anchor=\"end\">%s</text>",
                f.left - 8, y + 15, escape(c.name).c_str());
    if (std::isnan(c.rho) || o.constant) {
      s += format("<text class=\"value\" x=\"%.1f\" y=\"%.1f\">%s</text>\n", f.x(0) + 4, y + 15,
                  o.constant ? "n/a: the output never varied" : "never varied");
      continue;
    }
    const double a = f.x(std::min(0.0f, c.rho)), b = f.x(std::max(0.0f, c.rho));
    s += format("<rect class=\"%s\" x=\"%.1f\" y=\"%.1f\" width=\"%.1f\" height=\"18\"/>",
                c.rho < 0 ? "neg" : "pos", a, y + 2, std::max(1.0, b - a));
    s += format("<text class=\"value\" x=\"%.1f\" y=\"%.1f\" text-anchor=\"%s\">%+.3f</text>\n",
                c.rho < 0 ? a - 4 : b + 4, y + 15, c.rho < 0 ? "end" : "start",
                static_cast<double>(c.rho));
  }
  s += format("<line class=\"axis\" x1=\"%.1f\" y1=\"%.1f\" x2=\"%.1f\" y2=\"%.1f\"/>", f.x(0),
              f.top, f.x(0), f.height - f.bottom);
  return s + "</svg>\n";
}

// Each driver's P80 allocation as a horizontal bar from zero, in the order of
// the drivers table (largest tail excess first), inputs and risks in their
// own colours, the amount printed at the bar's end.
std::string allocation_chart(const OutputSummary& o) {
  double lo = 0, hi = 0;
  for (const Driver& d : o.drivers)
    if (!std::isnan(d.allocation)) {
      lo = std::min(lo, d.allocation);
      hi = std::max(hi, d.allocation);
    }
  Frame f;
  f.left = 150;
  f.right = 30;
  f.height = f.top + f.bottom + 8 + 26.0 * static_cast<double>(o.drivers.size());
  const double pad = 0.2 * (hi - lo);  // room for the amounts beyond the longest bars
  f.x0 = lo < 0 ? lo - pad : 0;
  f.x1 = hi > 0 ? hi + pad : 0;
  if (!(f.x1 > f.x0)) f.x1 = f.x0 + 1;
  std::string s = svg_open(f, "drivers", "P80 allocation of " + o.name);
  const std::string unit = o.currency.empty() ? "" : " (" + o.currency + ")";
  s += axes(f, ticks(f.x0, f.x1), {}, "part of P80 − mean" + unit, "");
  for (std::size_t i = 0; i < o.drivers.size(); ++i) {
    const Driver& d = o.drivers[i];
    const double y = f.top + 26.0 * static_cast<double>(i);
    s += format("<text class=\"name\" x=\"%.1f\" y=\"%.1f\" text-anchor=\"end\">%s</text>",
                f.left - 8, y + 15, escape(d.name).c_str());
    if (std::isnan(d.allocation)) {
      s += format("<text class=\"value\" x=\"%.1f\" y=\"%.1f\">n/a</text>\n", f.x(0) + 4, y + 15);
      continue;
    }
    const double a = f.x(std::min(0.0, d.allocation)), b = f.x(std::max(0.0, d.allocation));
    s += format("<rect class=\"%s\" x=\"%.1f\" y=\"%.1f\" width=\"%.1f\" height=\"18\"/>",
                d.risk ? "risk" : "pos", a, y + 2, std::max(1.0, b - a));
    s += format("<text class=\"value\" x=\"%.1f\" y=\"%.1f\" text-anchor=\"%s\">%s</text>\n",
                d.allocation < 0 ? a - 4 : b + 4, y + 15, d.allocation < 0 ? "end" : "start",
                amount(d.allocation, std::max(-lo, hi)).c_str());
  }
  const auto risks =
      std::count_if(o.drivers.begin(), o.drivers.end(), [](const Driver& d) { return d.risk; });
  if (risks > 0 && static_cast<std::size_t>(risks) < o.drivers.size()) {
    s += format("<text class=\"legend pos\" x=\"%.1f\" y=\"%.1f\">input</text>",
                f.width - f.right - 90, f.height - 6);
    s += format("<text class=\"legend risk\" x=\"%.1f\" y=\"%.1f\">risk</text>\n",
                f.width - f.right - 40, f.height - 6);
  }
  s += format("<line class=\"axis\" x1=\"%.1f\" y1=\"%.1f\" x2=\"%.1f\" y2=\"%.1f\"/>", f.x(0),
              f.top, f.x(0), f.height - f.bottom);
  return s + "</svg>\n";
}

std::string convergence(const Report& r, std::size_t k) {
  Frame f;
  f.x0 = 0;
  f.x1 = r.trace.empty() ? 1 : r.trace.back().n;
  double lo = INFINITY, hi = -INFINITY;
  for (const Checkpoint& c : r.trace) {
    lo = std::min({lo, static_cast<double>(c.mean[k]), static_cast<double>(c.p80[k])});
    hi = std::max({hi, static_cast<double>(c.mean[k]), static_cast<double>(c.p80[k])});
  }
  const double pad = hi > lo ? 0.15 * (hi - lo) : std::max(1.0, std::fabs(hi) * 0.01);
  f.y0 = lo - pad;
  f.y1 = hi + pad;
  const std::string& name = r.outputs[k].name;
  std::string s = svg_open(f, "convergence", "Convergence of the mean and P80 of " + name);
  s += axes(f, ticks(f.x0, f.x1), ticks(f.y0, f.y1, 5), "iterations", name);
  std::string mean, p80;
  for (const Checkpoint& c : r.trace) {
    mean += format("%.1f,%.1f ", f.x(c.n), f.y(c.mean[k]));
    p80 += format("%.1f,%.1f ", f.x(c.n), f.y(c.p80[k]));
  }
  s += "<polyline class=\"mean\" points=\"" + mean + "\"/>\n";
  s += "<polyline class=\"p80line\" points=\"" + p80 + "\"/>\n";
  for (const Checkpoint& c : r.trace) {
    s += format("<circle class=\"mean\" cx=\"%.1f\" cy=\"%.1f\" r=\"2.5\"/>", f.x(c.n), f.y(c.mean[k]));
    s += format("<circle class=\"p80line\" cx=\"%.1f\" cy=\"%.1f\" r=\"2.5\"/>", f.x(c.n), f.y(c.p80[k]));
  }
  s += format("\n<text class=\"legend mean\" x=\"%.1f\" y=\"%.1f\">mean</text>", f.width - f.right - 90,
              f.top + 12);
  s += format("<text class=\"legend p80line\" x=\"%.1f\" y=\"%.1f\">P80</text>\n",
              f.width - f.right - 40, f.top + 12);
  return s + "</svg>\n";
}

// A correlation matrix as a table, each cell shaded by its value: blue for
// positive, orange for negative.
std::string correlation_table(const std::vector<std::string>& names,
                              const std::function<double(std::size_t, std::size_t)>& at) {
  std::string h = "<table class=\"matrix\"><tr><th></th>";
  for (const std::string& name : names) h += "<th class=\"n\">" + escape(name) + "</th>";
  h += "</tr>\n";
  for (std::size_t i = 0; i < names.size(); ++i) {
    h += "<tr><th>" + escape(names[i]) + "</th>";
    for (std::size_t j = 0; j < names.size(); ++j) {
      const double v = at(i, j);
      if (std::isnan(v)) {
        h += "<td class=\"n\">n/a</td>";
        continue;
      }
      const char* colour = v >= 0 ? "43,108,176" : "192,86,33";
      h += format("<td class=\"n\" style=\"background: rgba(%s,%.2f)\">%.3f</td>", colour,
                  0.45 * std::min(1.0, std::fabs(v)), std::fabs(v) < 5e-4 ? 0.0 : v);
    }
    h += "</tr>\n";
  }
  return h + "</table>\n";
}

}  // namespace

const char* const page::kStyle = R"(
body { font: 14px/1.45 "DejaVu Sans", Helvetica, Arial, sans-serif; color: #222; margin: 24px auto; max-width: 980px; padding: 0 16px; }
h1 { font-size: 24px; margin-bottom: 4px; }
h2 { font-size: 19px; border-bottom: 2px solid #2b6cb0; padding-bottom: 3px; margin-top: 36px; }
h3 { font-size: 15px; margin: 22px 0 6px; }
code { font-family: "DejaVu Sans Mono", monospace; font-size: 13px; background: #f3f3f3; padding: 1px 4px; }
table { border-collapse: collapse; margin: 6px 0 12px; }
th, td { padding: 3px 12px 3px 0; text-align: left; vertical-align: top; }
td.n, th.n { text-align: right; font-variant-numeric: tabular-nums; }
table.grid td, table.grid th { border-bottom: 1px solid #ddd; padding-left: 8px; }
.meta td:first-child { color: #555; }
.cards { display: flex; flex-wrap: wrap; gap: 12px; margin: 12px 0; }
.card { border: 1px solid #ccd; border-radius: 6px; padding: 8px 14px; min-width: 130px; }
.card b { display: block; font-size: 19px; }
.card span { color: #555; font-size: 12px; }
.tables { display: flex; flex-wrap: wrap; gap: 28px; }
svg.chart { display: block; max-width: 100%; height: auto; margin: 4px 0 10px; }
svg .grid { stroke: #e4e4e4; } svg .axis { stroke: #555; }
svg text { font-size: 12px; fill: #333; } svg .label { font-size: 12px; fill: #555; }
svg .curve { fill: none; stroke: #2b6cb0; stroke-width: 2.2; }
svg .bar { fill: #90b4e0; }
svg .mark { stroke-width: 1.6; stroke-dasharray: 5 3; }
svg .base { stroke: #555; fill: #555; } svg .p50 { stroke: #2f855a; fill: #2f855a; }
svg .p80 { stroke: #b7791f; fill: #b7791f; } svg .target { stroke: #c53030; fill: #c53030; }
svg text.marklabel { font-size: 11px; paint-order: stroke; stroke: #fff; stroke-width: 3px; }
svg .pos { fill: #2b6cb0; } svg .neg { fill: #c05621; } svg .risk { fill: #b7791f; }
svg text.legend { font-weight: bold; }
svg polyline.mean { fill: none; stroke: #2b6cb0; stroke-width: 2; } svg circle.mean { fill: #2b6cb0; }
svg polyline.p80line { fill: none; stroke: #b7791f; stroke-width: 2; } svg circle.p80line { fill: #b7791f; }
svg text.mean { fill: #2b6cb0; font-weight: bold; } svg text.p80line { fill: #b7791f; font-weight: bold; }
.note { color: #555; font-size: 13px; }
table.matrix th, table.matrix td { padding: 4px 10px; border: 1px solid #e2e2e2; }
@media print { body { margin: 0; max-width: none; } section.output, svg.chart, table { break-inside: avoid; } h2 { break-before: page; } h2.first { break-before: auto; } }
)";

namespace {

using namespace page;

// The contingency drivers of an output: the P80 allocation chart and the
// table, with what the columns mean.
std::string drivers(const OutputSummary& o, const std::string& money) {
  std::string h =
      "<h3>Contingency drivers: each one&#8217;s part in the iterations at or above P80</h3>\n";
  if (o.constant) return h + "<p class=\"note\">None: " + escape(o.name) + " never varied.</p>\n";
  if (o.drivers.empty())
    return h + "<p class=\"note\">None: the model has no risk events and names no inputs in "
               "<code>shares</code>.</p>\n";
  const bool shared = o.tail_excess != 0.0;
  if (shared) h += allocation_chart(o);
  auto percent = [](double x) {
    return std::isnan(x) ? std::string("n/a") : format("%.1f%%", 100.0 * x);
  };
  h += "<table class=\"grid\"><tr><th>driver</th><th>kind</th><th class=\"n\">tail excess</th>"
       "<th class=\"n\">share</th><th class=\"n\">P80 allocation" + money + "</th>"
       "<th class=\"n\">share of variance</th></tr>\n";
  double excess = 0, allocation = 0;  // the largest, for the amounts' form
  for (const Driver& d : o.drivers) {
    excess = std::max(excess, std::fabs(d.excess));
    if (!std::isnan(d.allocation)) allocation = std::max(allocation, std::fabs(d.allocation));
  }
  for (const Driver& d : o.drivers)
    h += format("<tr><td>%s</td><td>%s</td><td class=\"n\">%s</td><td class=\"n\">%s</td>"
                "<td class=\"n\">%s</td><td class=\"n\">%s</td></tr>\n",
                escape(d.name).c_str(), d.risk ? "risk" : "input", amount(d.excess, excess).c_str(),
                percent(d.share).c_str(), amount(d.allocation, allocation).c_str(),
                percent(d.variance_share).c_str());
  h += "</table>\n";
  // Built by concatenation: names and amounts can make it longer than format() takes.
  const std::string name = escape(o.name);
  if (!shared)
    return h + "<p class=\"note\">Every iteration is at or above P80 (" + name + " is at its "
               "minimum in at least 80% of them): there is no tail to share.</p>\n";
  h += "<p class=\"note\">The tail is the " + std::to_string(o.tail) + " iterations with " + name +
       " &#8805; P80. Tail excess: the mean over the tail less the mean over all iterations. "
       "Share: of the tail&#8217;s own excess, E[" + name + " | tail] &#8722; E[" + name + "] = " +
       amount(o.tail_excess) + money + ", to which the excesses of a sum add up. P80 allocation: "
       "share &#215; (P80 &#8722; mean) = share &#215; " +
       amount(static_cast<double>(o.p80) - o.mean) + money +
       ". Share of variance: &#961;&#178; over the sum of &#961;&#178; of every input.</p>\n";
  return h;
}

}  // namespace

std::string html_report(const Report& r) {
  using namespace page;
  const std::string money = r.currency.empty() ? "" : " " + escape(r.currency);
  std::string h = "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\"/>\n";
  h += "<title>" + escape(r.model_name) + ": velmsim report</title>\n<style>" + kStyle +
       "</style>\n</head>\n<body>\n";
  h += "<h1>" + escape(r.model_name) + "</h1>\n";
  h += format("<p class=\"note\">Monte-Carlo simulation by velmsim %s: %d iterations, %s.</p>\n",
              escape(r.version).c_str(), r.iterations,
              r.converged ? format("converged (every output's convergence error below %g)", r.tolerance).c_str()
                          : format("stopped at the iteration limit before converging to %g", r.tolerance).c_str());
  h += "<table class=\"meta\">\n";
  auto row = [&](const std::string& k, const std::string& v) {
    h += "<tr><td>" + k + "</td><td>" + v + "</td></tr>\n";
  };
  row("Model file", "<code>" + escape(r.model_path) + "</code>");
  row("SHA-256", "<code>" + r.model_sha256 + "</code>");
  row("Sampling", "<code>" + escape(r.sampling_library) + "</code> (" + escape(r.sampling_edition) + " edition)");
  row("Statistics", "<code>" + escape(r.statistics_library) + "</code> (statistics edition)");
  row("Seed", format("%d%s", static_cast<int>(r.seed), r.clock_seed ? " (from the clock)" : "") +
                  (r.one_stream ? ", one stream seeded once" : ", one substream per iteration"));
  row("Iterations", format("%d (limit %d, blocks of %d), %d thread%s", r.iterations, r.limit, r.block,
                           r.threads, r.threads == 1 ? "" : "s"));
  if (r.base) row("Base", amount(*r.base) + money);
  if (r.target) row("Target", amount(*r.target) + money);
  h += "</table>\n";

  if (const auto& c = r.correlation) {
    const std::size_t n = c->names.size();
    h += "<h2 class=\"first\">Rank correlation of inputs</h2>\n<div class=\"tables\">\n";
    h += "<div><h3>Target</h3>\n" +
         correlation_table(c->names, [&](std::size_t i, std::size_t j) { return c->target(i, j); }) +
         "</div>\n";
    h += "<div><h3>Achieved (Spearman, all iterations)</h3>\n" +
         correlation_table(c->names, [&](std::size_t i, std::size_t j) {
           return static_cast<double>(c->achieved[i * n + j]);
         }) +
         "</div>\n</div>\n";
    h += format("<p class=\"note\">The target is induced by reordering each block of %d "
                "iterations (Iman&#8211;Conover): every input keeps the values drawn for it, in "
                "another order.%s</p>\n",
                r.block,
                c->repaired ? format(" The matrix in the file was not positive semi-definite: the "
                                     "nearest correlation matrix is used (largest change %.4g).",
                                     c->largest_change).c_str()
                            : "");
  }

  for (std::size_t k = 0; k < r.outputs.size(); ++k) {
    const OutputSummary& o = r.outputs[k];
    const std::string money = o.currency.empty() ? "" : " " + escape(o.currency);
    h += "<section class=\"output\">\n<h2" +
         std::string(k == 0 && !r.correlation ? " class=\"first\"" : "") +
         ">Output " + escape(o.name) + "</h2>\n";
    h += "<p><code>" + escape(o.name) + " = " + escape(o.formula) + "</code></p>\n";
    if (o.constant) h += "<p class=\"note\">This output has the same value in every iteration.</p>\n";
    h += "<div class=\"cards\">";
    auto card = [&](const std::string& v, const std::string& label) {
      h += "<div class=\"card\"><b>" + v + "</b><span>" + label + "</span></div>";
    };
    card(amount(o.stat[0]), "mean" + money);
    card(amount(o.p50), "P50" + money);
    card(amount(o.p80), "P80" + money);
    if (o.base) card(amount(static_cast<double>(o.p80) - *o.base), "contingency P80 &#8722; base" + money);
    if (o.target) card(format("%.1f%%", 100.0 * *o.below_target), "chance of " + escape(o.name) + " &#8804; target");
    h += "</div>\n";

    h += "<h3>S-curve: probability that " + escape(o.name) + " is at most a value</h3>\n" + s_curve(r, o);
    if (!o.tally.empty()) {
      h += "<h3>Histogram</h3>\n" + histogram(r, o);
      h += format("<p class=\"note\">%zu classes between the 1st and 99th percentile; %.0f "
                  "iterations below and %.0f above are not drawn.</p>\n",
                  o.tally.size() - 2, static_cast<double>(o.tally.front()),
                  static_cast<double>(o.tally.back()));
    }
    h += "<h3>Tornado: Spearman rank correlation of each input with " + escape(o.name) + "</h3>\n" +
         tornado(o);
    h += "<h3>Convergence of the mean and P80</h3>\n" + convergence(r, k);

    h += "<div class=\"tables\">\n<div><h3>Statistics</h3><table class=\"grid\">\n";
    for (int i = 0; i < kReportedStatistics; ++i)
      h += "<tr><td>" + std::string(kStatLabels[i]) + "</td><td class=\"n\">" +
           amount(o.stat[static_cast<std::size_t>(i)]) + "</td></tr>\n";
    h += "</table></div>\n<div><h3>Percentiles</h3><table class=\"grid\">\n";
    for (const auto& [p, v] : o.percentiles)
      h += format("<tr><td>P%g</td><td class=\"n\">%s</td></tr>\n", p, amount(v).c_str());
    h += "</table>\n";
    if (o.base || o.target) {
      h += "<h3>Against base and target</h3><table class=\"grid\">\n";
      if (o.base) {
        const double b = *o.base;
        for (const auto& [label, v] : {std::pair<const char*, float>{"P50", o.p50}, {"P80", o.p80}}) {
          const double c = static_cast<double>(v) - b;
          h += format("<tr><td>%s &#8722; base</td><td class=\"n\">%s%s</td><td class=\"n\">%s</td></tr>\n",
                      label, amount(c).c_str(), money.c_str(),
                      b != 0 ? format("%+.1f%% of base", 100 * c / b).c_str() : "");
        }
        h += format("<tr><td>P(%s &#8804; base)</td><td class=\"n\">%.1f%%</td><td></td></tr>\n",
                    escape(o.name).c_str(), 100.0 * *o.below_base);
      }
      if (o.target)
        h += format("<tr><td>P(%s &#8804; target)</td><td class=\"n\">%.1f%%</td><td></td></tr>\n",
                    escape(o.name).c_str(), 100.0 * *o.below_target);
      h += "</table>\n";
    }
    h += "</div>\n</div>\n";
    if (!o.risks.empty()) {
      h += "<h3>Risk events</h3>\n<table class=\"grid\"><tr><th>event</th><th class=\"n\">p</th>"
           "<th class=\"n\">observed</th><th class=\"n\">mean impact</th><th class=\"n\">p &#215; "
           "mean impact</th><th class=\"n\">&#961; with " + escape(o.name) + "</th></tr>\n";
      for (const RiskLine& k2 : o.risks)
        h += format("<tr><td>%s</td><td class=\"n\">%.4g</td><td class=\"n\">%.4f</td><td "
                    "class=\"n\">%s</td><td class=\"n\">%s</td><td class=\"n\">%s</td></tr>\n",
                    escape(k2.name).c_str(), static_cast<double>(k2.p), k2.rate,
                    amount(k2.mean_impact).c_str(),
                    amount(static_cast<double>(k2.p) * k2.mean_impact).c_str(),
                    std::isnan(k2.rho) ? "n/a" : format("%+.3f", static_cast<double>(k2.rho)).c_str());
      h += "</table>\n";
    }
    h += drivers(o, money);
    h += "</section>\n";
  }

  h += "<h2>Convergence trace</h2>\n<table class=\"grid\"><tr><th class=\"n\">iterations</th>";
  for (const OutputSummary& o : r.outputs) h += "<th class=\"n\">" + escape(o.name) + " error</th>";
  h += "</tr>\n";
  for (const Checkpoint& c : r.trace) {
    h += format("<tr><td class=\"n\">%d</td>", c.n);
    for (float e : c.error) h += "<td class=\"n\">" + escape(six_digits(e)) + "</td>";
    h += "</tr>\n";
  }
  h += "</table>\n<p class=\"note\">Convergence error: VELMCNVERR after each block, the largest "
       "change over the last block of the mean, the standard deviation and the 10, 25, 75 and 90% "
       "points, in standard deviations.</p>\n</body>\n</html>\n";
  return h;
}

}  // namespace velmsim
