#include "host/velmsim/render/html_page.h"

#include <algorithm>
#include <cmath>

#include "host/velmsim/render/format.h"

namespace velmsim::page {

namespace {

// The style sheet of the pages.
const char* const kStyle = R"(
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

}  // namespace


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

std::string histogram_chart(const Histogram& h, const std::string& xlabel,
                            const std::string& title, const std::vector<Mark>& marks) {
  const float low = h.low, high = h.high;
  const std::vector<float>& tally = h.tally;
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


std::string histogram_note(const Histogram& h) {
  return format("<p class=\"note\">%zu classes between the 1st and 99th percentile; %.0f "
                "iterations below and %.0f above are not drawn.</p>\n",
                h.tally.size() - 2, static_cast<double>(h.tally.front()),
                static_cast<double>(h.tally.back()));
}

std::string page_open(const std::string& title, const char* extra_style) {
  return "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\"/>\n<title>" + title +
         "</title>\n<style>" + kStyle + extra_style + "</style>\n</head>\n<body>\n";
}

std::string page_close() { return "</body>\n</html>\n"; }

std::string table_row(const std::string& key, const std::string& value) {
  return "<tr><td>" + key + "</td><td>" + value + "</td></tr>\n";
}

std::string card(const std::string& value, const std::string& label) {
  return "<div class=\"card\"><b>" + value + "</b><span>" + label + "</span></div>";
}

}  // namespace velmsim::page
