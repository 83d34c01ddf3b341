// The contingency drivers of an output on the run's HTML page: the P80
// allocation chart and the drivers table, with what its columns mean.
#include <algorithm>
#include <cmath>

#include "host/velmsim/render/format.h"
#include "host/velmsim/render/html_page.h"
#include "host/velmsim/render/html_sections.h"

namespace velmsim {

using namespace page;

namespace {

// Each driver's P80 allocation as a horizontal bar from zero, in the order of
// the drivers table (largest tail excess first), inputs and risks in their
// own colours (the legend above the bars), the amount printed at the bar's
// end.
std::string allocation_chart(const OutputSummary& o, const std::vector<Driver>& drivers) {
  double lo = 0, hi = 0;
  for (const Driver& d : drivers) {
    if (!std::isnan(d.allocation)) {
      lo = std::min(lo, d.allocation);
      hi = std::max(hi, d.allocation);
    }
  }
  Frame f = bar_frame(drivers, 30);
  const double pad = 0.2 * (hi - lo);  // room for the amounts beyond the longest bars
  f.x0 = lo < 0 ? lo - pad : 0;
  f.x1 = hi > 0 ? hi + pad : 0;
  if (!(f.x1 > f.x0)) f.x1 = f.x0 + 1;
  std::string s = svg_open(f, "drivers", "P80 allocation of " + o.name);
  const std::string unit = o.unit_shown().empty() ? "" : " (" + o.unit_shown() + ")";
  s += axes(f, ticks(f.x0, f.x1), {}, "part of P80 − mean" + unit, "");
  for (std::size_t i = 0; i < drivers.size(); ++i) {
    const Driver& d = drivers[i];
    const double y = f.top + 26.0 * static_cast<double>(i);
    s += row_name(f, y, short_name(d));
    if (std::isnan(d.allocation)) {
      s += format("<text class=\"value\" x=\"%.1f\" y=\"%.1f\">n/a</text>\n", f.x(0) + 4, y + 15);
      continue;
    }
    s += row_bar(f, y, d.allocation, d.risk ? "risk" : "pos",
                 amount(d.allocation, std::max(-lo, hi)));
  }
  const auto risks =
      std::count_if(drivers.begin(), drivers.end(), [](const Driver& d) { return d.risk; });
  if (risks > 0 && static_cast<std::size_t>(risks) < drivers.size()) {
    s += format("<text class=\"legend pos\" x=\"%.1f\" y=\"%.1f\">input</text>",
                f.width - f.right - 70, f.top - 6);
    s += format("<text class=\"legend risk\" x=\"%.1f\" y=\"%.1f\">risk</text>\n",
                f.width - f.right - 24, f.top - 6);
  }
  s += format("<line class=\"axis\" x1=\"%.1f\" y1=\"%.1f\" x2=\"%.1f\" y2=\"%.1f\"/>", f.x(0),
              f.top, f.x(0), f.height - f.bottom);
  return s + "</svg>\n";
}

}  // namespace

std::string left_out_note(std::size_t shown, std::size_t total, const char* what,
                          const char* first) {
  return "<p class=\"note\">" + rows_left_out(shown, total, what, first) +
         "; <code>[run] tornado</code> or <code>--tornado</code> sets how many, and the JSON "
         "report lists all.</p>\n";
}

std::string drivers_section(const OutputSummary& o, const std::string& money, bool network,
                            std::size_t rows) {
  std::string h =
      "<h3>Contingency drivers: each one&#8217;s part in the iterations at or above P80</h3>\n";
  if (o.constant) return h + "<p class=\"note\">None: " + escape(o.name) + " never varied.</p>\n";
  if (o.drivers.empty())
    return h + (network ? "<p class=\"note\">None: no input is a risk event or in <code>shares</code>; "
                          "the schedule&#8217;s risks are ranked by elimination above.</p>\n"
                        : "<p class=\"note\">None: the model has no risk events and names no inputs "
                          "in <code>shares</code>.</p>\n");
  const std::vector<Driver> drivers(o.drivers.begin(),
                                    o.drivers.begin() + static_cast<std::ptrdiff_t>(rows));
  const bool shared = o.tail_excess != 0.0;
  if (shared) h += allocation_chart(o, drivers);
  auto percent = [](double x) {
    return std::isnan(x) ? std::string("n/a") : format("%.1f%%", 100.0 * x);
  };
  h += "<table class=\"grid\"><tr><th>driver</th><th>kind</th><th class=\"n\">tail excess</th>"
       "<th class=\"n\">share</th><th class=\"n\">P80 allocation" + money + "</th>"
       "<th class=\"n\">share of variance</th></tr>\n";
  double excess = 0, allocation = 0;  // the largest, for the amounts' form
  for (const Driver& d : drivers) {
    excess = std::max(excess, std::fabs(d.excess));
    if (!std::isnan(d.allocation)) allocation = std::max(allocation, std::fabs(d.allocation));
  }
  for (const Driver& d : drivers)
    h += format("<tr><td>%s</td><td>%s</td><td class=\"n\">%s</td><td class=\"n\">%s</td>"
                "<td class=\"n\">%s</td><td class=\"n\">%s</td></tr>\n",
                escape(titled(d, true)).c_str(), d.risk ? "risk" : "input",
                amount(d.excess, excess).c_str(),
                percent(d.share).c_str(), amount(d.allocation, allocation).c_str(),
                percent(d.variance_share).c_str());
  h += "</table>\n";
  if (rows < o.drivers.size()) h += left_out_note(rows, o.drivers.size(), "drivers", "the largest");
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
       amount(o.p80_minus_mean) + money +
       ". Share of variance: &#961;&#178; over the sum of &#961;&#178; of every input.</p>\n";
  return h;
}

}  // namespace velmsim
