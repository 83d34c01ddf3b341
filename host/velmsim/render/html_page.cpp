#include "host/velmsim/render/html_page.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <tuple>
#include <utility>

#include "host/velmsim/render/format.h"

namespace velmsim::page {

namespace {

// The style sheet of the pages. A long name wraps anywhere rather than widen
// the page (which printing would shrink to fit): in text, in a table's
// headings and first column, in tables of names; the other cells wrap between
// words, numbers not at all. Printing keeps a figure (a heading and its chart
// or table) on one page, and starts each output's section on a new page but
// the first, which follows the header (a section is longer than a page, so
// keeping it whole would only push the first off the header's page).
const char* const kStyle = R"(
body { font: 14px/1.45 "DejaVu Sans", Helvetica, Arial, sans-serif; color: #222; margin: 24px auto; max-width: 980px; padding: 0 16px; overflow-wrap: anywhere; }
h1 { font-size: 24px; margin-bottom: 4px; }
h2 { font-size: 19px; border-bottom: 2px solid #2b6cb0; padding-bottom: 3px; margin-top: 36px; }
h3 { font-size: 15px; margin: 22px 0 6px; }
h2 .unit { font-weight: normal; color: #555; }
code { font-family: "DejaVu Sans Mono", monospace; font-size: 13px; background: #f3f3f3; padding: 1px 4px; }
table { border-collapse: collapse; margin: 6px 0 12px; }
th, td { padding: 3px 12px 3px 0; text-align: left; vertical-align: top; overflow-wrap: normal; }
td.n, th.n { text-align: right; font-variant-numeric: tabular-nums; }
table.draws td:first-child { white-space: nowrap; }
th, td:first-child, .meta td, table.names td { overflow-wrap: anywhere; }
td.n, table.trace th:first-child { white-space: nowrap; }
table.grid td, table.grid th { border-bottom: 1px solid #ddd; padding-left: 8px; }
.meta td:first-child { color: #555; }
.cards { display: flex; flex-wrap: wrap; gap: 12px; margin: 12px 0; }
.card { border: 1px solid #ccd; border-radius: 6px; padding: 8px 14px; min-width: 130px; max-width: 100%; }
.card b { display: block; font-size: 19px; }
.card span { color: #555; font-size: 12px; }
.tables { display: flex; flex-wrap: wrap; gap: 28px; }
svg.chart { display: block; max-width: 100%; height: auto; margin: 4px 0 10px; }
svg .grid { stroke: #e4e4e4; } svg .axis { stroke: #555; }
svg text { font-size: 12px; fill: #333; } svg .label { font-size: 12px; fill: #555; }
svg .curve { fill: none; stroke: #2b6cb0; stroke-width: 2.2; }
svg .bar { fill: #90b4e0; } svg .mass { fill: #2c5282; } svg .cut { stroke: #fff; stroke-width: 2; }
svg .mark { stroke-width: 1.6; stroke-dasharray: 5 3; }
svg .base { stroke: #555; fill: #555; } svg .p50 { stroke: #2f855a; fill: #2f855a; }
svg .p80 { stroke: #b7791f; fill: #b7791f; } svg .target { stroke: #c53030; fill: #c53030; }
svg text.marklabel { font-size: 11px; paint-order: stroke; stroke: #fff; stroke-width: 3px; }
svg .pos { fill: #2b6cb0; } svg .neg { fill: #c05621; } svg .risk { fill: #b7791f; }
svg text.inside { fill: #fff; }
svg text.legend { font-weight: bold; }
svg polyline.mean { fill: none; stroke: #2b6cb0; stroke-width: 2; } svg circle.mean { fill: #2b6cb0; }
svg polyline.p80line { fill: none; stroke: #b7791f; stroke-width: 2; } svg circle.p80line { fill: #b7791f; }
svg text.mean { fill: #2b6cb0; font-weight: bold; } svg text.p80line { fill: #b7791f; font-weight: bold; }
svg circle.dot { fill: #90b4e0; fill-opacity: 0.5; } svg circle.meets { fill: #2f855a; fill-opacity: 0.55; }
svg polyline.frontier { fill: none; stroke: #c53030; stroke-width: 2.2; }
svg polyline.p10, svg polyline.p90 { fill: none; stroke: #90b4e0; stroke-width: 1.6; stroke-dasharray: 4 3; }
svg polyline.p50line { fill: none; stroke: #2b6cb0; stroke-width: 2.2; }
.note { color: #555; font-size: 13px; }
table.matrix th, table.matrix td { padding: 4px 10px; border: 1px solid #e2e2e2; }
@media print {
  body { margin: 0; max-width: none; }
  svg.chart, table, .figure { break-inside: avoid; }
  h2, h3 { break-after: avoid; }
  h2 { break-before: page; } h2.first { break-before: auto; }
}
)";

// The characters of s, each as its UTF-8 bytes, an entity as one.
std::vector<std::string> characters(const std::string& s) {
  std::vector<std::string> out;
  for (std::size_t i = 0; i < s.size();) {
    std::size_t n = 1;
    if (s[i] == '&') {
      const std::size_t end = s.find(';', i);
      if (end != std::string::npos && end - i <= 8) n = end - i + 1;
    } else {
      while (i + n < s.size() && (static_cast<unsigned char>(s[i + n]) & 0xC0) == 0x80) ++n;
    }
    out.push_back(s.substr(i, n));
    i += n;
  }
  return out;
}

// The count at the top of a histogram's scale: a tenth above its largest
// class, or when every class is empty its largest point mass. A point mass
// above it is drawn cut.
double histogram_scale(const CentralHistogram& h) {
  double top = std::max(0.0f, h.tally[h.tally.size() - 2] - h.at_high);
  for (std::size_t i = 1; i + 2 < h.tally.size(); ++i) top = std::max(top, double{h.tally[i]});
  return 1.1 * (top > 0 ? top : std::max({1.0f, h.at_low, h.at_high}));
}

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

double text_width(const std::string& s, double size) {
  // The advances of DejaVu Sans by kind of character, rounded up, so that a
  // wider sans-serif font still fits.
  double em = 0;
  for (const std::string& c : characters(s)) {
    const char ch = c.size() == 1 ? c[0] : '\0';
    if (ch == '\0') em += 1.0;  // an entity or a character beyond ASCII
    else if (std::strchr(" .,:;'|!ijl", ch)) em += 0.32;
    else if (std::strchr("()[]-ftr", ch)) em += 0.42;
    else if (std::strchr("mwMW", ch)) em += 1.0;
    else if (std::isupper(static_cast<unsigned char>(ch))) em += 0.76;
    else em += 0.64;
  }
  return em * size;
}

std::string fit(const std::string& s, double width, double size) {
  if (text_width(s, size) <= width) return escape(s);
  const std::vector<std::string> c = characters(s);
  // As many characters as fit at their widths, taken from both ends in turn.
  std::size_t front = 0, back = c.size();
  double used = text_width("&#8230;", size);
  for (bool head = true; front < back; head = !head) {
    const double w = text_width(head ? c[front] : c[back - 1], size);
    if (used + w > width) break;
    used += w;
    if (head) ++front;
    else --back;
  }
  std::string head, tail;
  for (std::size_t i = 0; i < front; ++i) head += c[i];
  for (std::size_t i = back; i < c.size(); ++i) tail += c[i];
  return "<title>" + escape(s) + "</title>" + escape(head) + "&#8230;" + escape(tail);
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
              (f.left + f.width - f.right) / 2, f.height - 6,
              fit(xlabel, f.width - f.left - f.right).c_str());
  s += format("<text class=\"label\" transform=\"translate(14 %.1f) rotate(-90)\" "
              "text-anchor=\"middle\">%s</text>\n",
              (f.top + f.height - f.bottom) / 2, fit(ylabel, f.height - f.top - f.bottom).c_str());
  return s;
}

std::string draw_marks(const Frame& f, const std::vector<Mark>& marks) {
  std::string s;
  int row = 0;
  for (const Mark& m : marks) {
    if (m.value < f.x0 || m.value > f.x1) continue;
    const double x = f.x(m.value);
    const std::string label = std::string(m.label) + " " + tick_label(m.value);
    const bool left = x + 3 + text_width(label, 11) > f.width - 2;
    s += format("<line class=\"mark %s\" x1=\"%.1f\" y1=\"%.1f\" x2=\"%.1f\" y2=\"%.1f\"/>", m.css,
                x, f.top, x, f.height - f.bottom);
    s += format("<text class=\"marklabel %s\" x=\"%.1f\" y=\"%.1f\"%s>%s</text>\n", m.css,
                left ? x - 3 : x + 3, f.top + 10 + 12 * (row++ % 4),
                left ? " text-anchor=\"end\"" : "", escape(label).c_str());
  }
  return s;
}

std::string histogram_chart(const CentralHistogram& h, const std::string& xlabel,
                            const std::string& title, const std::vector<Mark>& marks) {
  const std::vector<float>& tally = h.tally;
  const std::size_t k = tally.size();
  const double span = static_cast<double>(h.high) - h.low;
  Frame f;
  f.x0 = h.low - (h.at_low > 0 ? 0.04 * span : 0);  // room for a point mass's bar
  f.x1 = h.high + (h.at_high > 0 ? 0.04 * span : 0);
  f.y1 = histogram_scale(h);
  std::string s = svg_open(f, "histogram", title);
  s += axes(f, ticks(f.x0, f.x1), ticks(0, f.y1, 5), xlabel, "iterations");
  const double width = span / static_cast<double>(k - 2);
  for (std::size_t i = 1; i + 1 < k; ++i) {
    const double from = h.low + static_cast<double>(i - 1) * width;
    const double count = tally[i] - (i + 2 == k ? h.at_high : 0.0f);
    s += format("<rect class=\"bar\" x=\"%.1f\" y=\"%.1f\" width=\"%.1f\" height=\"%.1f\"/>",
                f.x(from) + 0.5, f.y(count), std::max(0.0, f.x(from + width) - f.x(from) - 1),
                f.y(0) - f.y(count));
  }
  s += '\n';
  s += draw_marks(f, marks);
  // The point masses last, so that their labels are not hidden by the marks'
  // lines; a mass above the scale is drawn up to the top and cut.
  for (const auto& [value, count, at_high] :
       {std::tuple{h.low, h.at_low, false}, std::tuple{h.high, h.at_high, true}}) {
    if (count <= 0) continue;
    const double x = f.x(value), y = count > f.y1 ? f.top : f.y(count);
    s += format("<rect class=\"mass\" x=\"%.1f\" y=\"%.1f\" width=\"7\" height=\"%.1f\"/>", x - 3.5,
                y, f.y(0) - y);
    if (count > f.y1)
      s += format("<path class=\"cut\" d=\"M%.1f %.1fl12 -5m-12 10l12 -5\"/>", x - 6, y + 14);
    // The label above the bar, below the marks' labels.
    s += format("<text class=\"marklabel mass\" x=\"%.1f\" y=\"%.1f\" text-anchor=\"%s\">%s: %s "
                "iterations</text>\n",
                at_high ? x - 7 : x + 7, std::max(y - 6, f.top + (at_high ? 76 : 62)),
                at_high ? "end" : "start",
                amount(value).c_str(), amount(count, 1e4).c_str());
  }
  return s + "</svg>\n";
}

std::string histogram_note(const CentralHistogram& h) {
  const std::string low = amount(h.low), high = amount(h.high);
  std::string s = format("<p class=\"note\">%zu classes from ", h.tally.size() - 2) +
                  (h.extremes ? "the minimum, " + low + ", to the maximum, " + high
                              : "the 1st percentile, " + low + ", to the 99th, " + high) +
                  ", each up to and including its upper end.";
  const double scale = histogram_scale(h);
  for (const auto& [value, count] : {std::pair{low, h.at_low}, std::pair{high, h.at_high}})
    if (count > 0)
      s += " The " + amount(count, 1e4) + " iterations at exactly " + value +
           " are drawn as a bar of their own" + (count > scale ? ", cut at the top." : ".");
  const float below = h.tally.front() - h.at_low, above = h.tally.back();
  if (below == 0 && above == 0) return s + " Every iteration is drawn.</p>\n";
  return s + " Not drawn: " + amount(below, 1e4) + " iterations " +
         (h.at_low > 0 ? "below " : "at or below ") + low + " and " + amount(above, 1e4) +
         " above " + high + ".</p>\n";
}

double name_margin(const std::vector<std::string>& names) {
  double widest = 0;
  for (const std::string& n : names) widest = std::max(widest, text_width(n));
  return std::clamp(widest + 24, 150.0, 280.0);
}

std::string row_name(const Frame& f, double y, const std::string& name) {
  return format("<text class=\"name\" x=\"%.1f\" y=\"%.1f\" text-anchor=\"end\">%s</text>",
                f.left - 8, y + 15, fit(name, f.left - 16).c_str());
}

std::string row_bar(const Frame& f, double y, double v, const char* css, const std::string& value) {
  const double zero = f.x(0), end = f.x(v), a = std::min(zero, end), b = std::max(zero, end);
  const double w = text_width(value);
  std::string s = format("<rect class=\"%s\" x=\"%.1f\" y=\"%.1f\" width=\"%.1f\" height=\"18\"/>",
                         css, a, y + 2, std::max(1.0, b - a));
  // The value beyond the bar's end, else inside the bar, else across the
  // zero line; inside when nothing fits.
  struct Place {
    double x;
    bool start, inside;
  };
  const bool up = v >= 0;
  const Place beyond{up ? b + 4 : a - 4, up, false}, within{up ? b - 4 : a + 4, !up, true},
      across{up ? zero - 4 : zero + 4, !up, false};
  auto fits = [&](const Place& p) {
    const double from = p.start ? p.x : p.x - w;
    return p.inside ? b - a >= w + 8 : from >= f.left && from + w <= f.width - 2;
  };
  const Place& p = fits(beyond) ? beyond : fits(within) ? within : fits(across) ? across : within;
  return s + format("<text class=\"value%s\" x=\"%.1f\" y=\"%.1f\" text-anchor=\"%s\">%s</text>\n",
                    p.inside ? " inside" : "", p.x, y + 15, p.start ? "start" : "end",
                    value.c_str());
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
