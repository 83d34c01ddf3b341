// The report of a run as one HTML page: inline SVG charts (S-curve,
// histogram, tornado, convergence) and the tables; a schedule's section and
// an output's contingency drivers come from html_schedule.cpp and
// html_drivers.cpp.
#include <algorithm>
#include <cmath>
#include <functional>
#include <tuple>

#include "host/velmsim/model/calendar.h"
#include "host/velmsim/render/format.h"
#include "host/velmsim/render/html_page.h"
#include "host/velmsim/render/html_sections.h"
#include "host/velmsim/render/render.h"

namespace velmsim {

using namespace page;

namespace {

// The most outputs in one table of the convergence trace, the most inputs in
// one table of a correlation matrix.
constexpr std::size_t kTraceColumns = 6, kMatrixColumns = 10;

std::vector<Mark> marks_of(const OutputSummary& o) {
  std::vector<Mark> m;
  if (o.base) m.push_back({"base", *o.base, "base"});
  m.push_back({"P50", o.p50, "p50"});
  m.push_back({"P80", o.p80, "p80"});
  if (o.target) m.push_back({"target", *o.target, "target"});
  return m;
}

// An output's axis: its label (else its name) and its unit, "Total cost (k$)".
std::string axis_label(const OutputSummary& o) {
  const std::string& unit = o.unit_shown();
  return short_name(o) + (unit.empty() ? "" : " (" + unit + ")");
}

std::string histogram(const OutputSummary& o) {
  return histogram_chart(o.histogram, axis_label(o), "Histogram of " + o.name, marks_of(o));
}

// The S-curve of an output; a schedule's finish, given its calendar with a
// start, also has the date under each tick of working days.
std::string s_curve(const OutputSummary& o, const Schedule* calendar = nullptr) {
  const bool dates = calendar != nullptr && calendar->start;
  Frame f;
  if (dates) {
    f.height += 16;
    f.bottom += 16;
  }
  f.x0 = o.stat[5];
  f.x1 = o.stat[6] > o.stat[5] ? o.stat[6] : o.stat[5] + 1;
  for (const Mark& m : marks_of(o)) {  // keep base and target in view when near
    const double span = f.x1 - f.x0;
    if (m.value < f.x0 && m.value > f.x0 - 0.25 * span) f.x0 = m.value;
    if (m.value > f.x1 && m.value < f.x1 + 0.25 * span) f.x1 = m.value;
  }
  std::string s = svg_open(f, "s-curve", "S-curve of " + o.name);
  const std::vector<double> xt = ticks(f.x0, f.x1);
  s += axes(f, xt, {0, 0.2, 0.4, 0.6, 0.8, 1.0},
            dates ? o.name + " (working days from the start, and the date each ends on)"
                  : axis_label(o),
            "probability of a value at most this", true);
  for (double v : dates ? xt : std::vector<double>{})
    s += format("<text class=\"tick\" x=\"%.1f\" y=\"%.1f\" text-anchor=\"middle\">%s</text>\n",
                f.x(v), f.height - f.bottom + 33, date_text(date_after(*calendar, v)).c_str());
  std::string points = format("%.1f,%.1f ", f.x(o.stat[5]), f.y(0));
  for (const auto& [v, p] : o.curve) points += format("%.1f,%.1f ", f.x(v), f.y(p));
  points += format("%.1f,%.1f", f.x(o.stat[6]), f.y(1));
  s += "<polyline class=\"curve\" points=\"" + points + "\"/>\n";
  s += draw_marks(f, marks_of(o));
  return s + "</svg>\n";
}

// The first `bars` of the tornado, strongest first, each input by its label.
std::string tornado(const OutputSummary& o, std::size_t bars) {
  const std::vector<Correlation> shown(o.tornado.begin(),
                                       o.tornado.begin() + static_cast<std::ptrdiff_t>(bars));
  Frame f = bar_frame(shown, 60);
  f.x0 = -1;
  f.x1 = 1;
  std::string s = svg_open(f, "tornado", "Tornado: rank correlation with " + o.name);
  s += axes(f, {-1, -0.5, 0, 0.5, 1}, {}, "Spearman rank correlation with " + short_name(o), "");
  for (std::size_t i = 0; i < bars; ++i) {
    const Correlation& c = o.tornado[i];
    const double y = f.top + 26.0 * static_cast<double>(i);
    s += row_name(f, y, short_name(c));
    if (std::isnan(c.rho) || o.constant) {
      s += format("<text class=\"value\" x=\"%.1f\" y=\"%.1f\">%s</text>\n", f.x(0) + 4, y + 15,
                  o.constant ? "n/a: the output never varied" : "never varied");
      continue;
    }
    s += row_bar(f, y, c.rho, c.rho < 0 ? "neg" : "pos",
                 format("%+.3f", static_cast<double>(c.rho)));
  }
  s += format("<line class=\"axis\" x1=\"%.1f\" y1=\"%.1f\" x2=\"%.1f\" y2=\"%.1f\"/>", f.x(0),
              f.top, f.x(0), f.height - f.bottom);
  return s + "</svg>\n";
}

std::string convergence(const Report& r, std::size_t k) {
  // The checks' mean and P80, then the report's own over every iteration
  // when the last check came before the last iteration.
  struct Point {
    int n;
    double mean, p80;
  };
  std::vector<Point> points;
  for (const Checkpoint& c : r.trace) points.push_back({c.n, c.mean[k], c.p80[k]});
  const OutputSummary& o = r.outputs[k];
  if ((points.empty() || points.back().n < r.iterations) && std::isfinite(o.stat[0]))
    points.push_back({r.iterations, o.stat[0], o.p80});
  Frame f;
  f.x0 = 0;
  f.x1 = points.empty() ? 1 : points.back().n;
  double lo = INFINITY, hi = -INFINITY;
  for (const Point& p : points) {
    lo = std::min({lo, p.mean, p.p80});
    hi = std::max({hi, p.mean, p.p80});
  }
  const double pad = hi > lo ? 0.15 * (hi - lo) : std::max(1.0, std::fabs(hi) * 0.01);
  f.y0 = lo - pad;
  f.y1 = hi + pad;
  const std::string& name = o.name;
  std::string s = svg_open(f, "convergence", "Convergence of the mean and P80 of " + name);
  s += axes(f, ticks(f.x0, f.x1), ticks(f.y0, f.y1, 5), "iterations", axis_label(o));
  std::string mean, p80;
  for (const Point& p : points) {
    mean += format("%.1f,%.1f ", f.x(p.n), f.y(p.mean));
    p80 += format("%.1f,%.1f ", f.x(p.n), f.y(p.p80));
  }
  s += "<polyline class=\"mean\" points=\"" + mean + "\"/>\n";
  s += "<polyline class=\"p80line\" points=\"" + p80 + "\"/>\n";
  for (const Point& p : points) {
    s += format("<circle class=\"mean\" cx=\"%.1f\" cy=\"%.1f\" r=\"2.5\"/>", f.x(p.n), f.y(p.mean));
    s += format("<circle class=\"p80line\" cx=\"%.1f\" cy=\"%.1f\" r=\"2.5\"/>", f.x(p.n), f.y(p.p80));
  }
  s += format("\n<text class=\"legend mean\" x=\"%.1f\" y=\"%.1f\">mean</text>", f.width - f.right - 90,
              f.top + 12);
  s += format("<text class=\"legend p80line\" x=\"%.1f\" y=\"%.1f\">P80</text>\n",
              f.width - f.right - 40, f.top + 12);
  return s + "</svg>\n";
}

// A correlation matrix as tables of a few columns each (so that a wide one
// fits the page), each cell shaded by its value: blue for positive, orange
// for negative.
// The most variables whose correlation matrices the page shows when most
// pairs share a correlation group's target; more are listed by pair.
constexpr std::size_t kMatrixVariables = 8;

std::string correlation_table(const std::vector<std::string>& names,
                              const std::function<double(std::size_t, std::size_t)>& at) {
  std::string h;
  for (std::size_t first = 0; first < names.size(); first += kMatrixColumns) {
    const std::size_t end = std::min(first + kMatrixColumns, names.size());
    h += "<table class=\"matrix\"><tr><th></th>";
    for (std::size_t j = first; j < end; ++j) h += "<th class=\"n\">" + escape(names[j]) + "</th>";
    h += "</tr>\n";
    for (std::size_t i = 0; i < names.size(); ++i) {
      h += "<tr><th>" + escape(names[i]) + "</th>";
      for (std::size_t j = first; j < end; ++j) {
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
    h += "</table>\n";
  }
  return h;
}

}  // namespace


std::string html_report(const Report& r) {
  const std::string money = r.currency.empty() ? "" : " " + escape(r.currency);
  std::string h = page_open(escape(r.model_name) + ": velmsim report");
  h += "<h1>" + escape(r.model_name) + "</h1>\n";
  std::string criteria = format("every output's convergence error below %g", r.tolerance);
  if (r.precision)
    criteria += format(" and every percentile's interval narrower than %g sd", *r.precision);
  h += format("<p class=\"note\">Monte-Carlo simulation by velmsim %s: %d iterations, %s.</p>\n",
              escape(r.version).c_str(), r.iterations,
              (r.converged ? "converged (" + criteria + ")"
                           : "stopped at the iteration limit before " + criteria)
                  .c_str());
  h += "<table class=\"meta\">\n";
  auto row = [&](const std::string& k, const std::string& v) { h += table_row(k, v); };
  row("Model file", "<code>" + escape(r.model_path) + "</code>");
  row("SHA-256", "<code>" + r.model_sha256 + "</code>");
  if (!r.constants.empty()) {
    std::string lines;
    for (const Constant& c : r.constants)
      lines += (lines.empty() ? "" : "<br>") + ("<code>" + escape(constant_text(c)) + "</code>");
    row("Constants", lines);
  }
  row("Sampling", "<code>" + escape(r.libraries.sampling) + "</code> (" + escape(r.libraries.sampling_edition) + " edition)");
  row("Statistics", "<code>" + escape(r.libraries.statistics) + "</code> (statistics edition)");
  row("Seed", format("%d%s", static_cast<int>(r.seed), r.clock_seed ? " (from the clock)" : "") +
                  (r.one_stream ? ", one stream seeded once" : ", one substream per iteration"));
  row("Iterations", format("%d (limit %d, blocks of %d), %d thread%s", r.iterations, r.limit, r.block,
                           r.threads, r.threads == 1 ? "" : "s"));
  if (r.base) row("Base", amount(*r.base) + money);
  if (r.target) row("Target", amount(*r.target) + money);
  h += "</table>\n";

  if (!r.draws.empty()) {
    // The columns that some draw fills.
    const bool solved = std::any_of(r.draws.begin(), r.draws.end(), [](const DrawLine& d) { return !d.note.solved.empty(); });
    const bool truncated = std::any_of(r.draws.begin(), r.draws.end(), [](const DrawLine& d) { return d.note.truncate.has_value(); });
    h += std::string("<h2 class=\"first\">Draws with solved parameters or truncation</h2>\n"
                     "<table class=\"draws\">\n<tr><th>Draw</th>") +
         (solved ? "<th>Solved parameters</th>" : "") + (truncated ? "<th>Truncation</th>" : "") + "</tr>\n";
    for (const DrawLine& d : r.draws)
      h += "<tr><td>" + escape(d.note.who) + "</td>" +
           (solved ? "<td>" + escape(d.note.solved) + "</td>" : "") +
           (truncated ? "<td>" + escape(truncation_text(d.note, d.redraws, r.iterations)) + "</td>" : "") +
           "</tr>\n";
    h += "</table>\n";
  }

  if (const auto& c = r.correlation) {
    const std::size_t n = c->names.size();
    h += std::string("<h2 class=\"first\">Rank correlation of inputs") +
         (c->tasks ? " and tasks&#8217; drawn durations" : "") + "</h2>\n";
    const std::vector<PairLine> lines = correlation_lines(*c);
    const bool grouped = std::any_of(lines.begin(), lines.end(), [](const PairLine& l) {
      return l.pairs > 1 && l.target != 0;
    });
    if (n <= kMatrixVariables || !grouped) {
      h += "<div class=\"tables\">\n<div class=\"figure\"><h3>Target</h3>\n" +
           correlation_table(c->names, [&](std::size_t i, std::size_t j) { return c->target(i, j); }) +
           "</div>\n";
      h += "<div class=\"figure\"><h3>Achieved (Spearman, all iterations)</h3>\n" +
           correlation_table(c->names, [&](std::size_t i, std::size_t j) {
             return static_cast<double>(c->achieved[i * n + j]);
           }) +
           "</div>\n</div>\n";
    } else {
      // More variables than a page's width of matrix, most of them in
      // correlation groups: the pairs, a group's as one line; the matrices
      // are in the JSON report.
      h += "<table>\n<tr><th>pair</th><th class=\"n\">target</th><th class=\"n\">achieved (Spearman, all "
           "iterations)</th></tr>\n";
      for (const PairLine& line : lines)
        h += "<tr><td>" + escape(line.pair) + "</td><td class=\"n\">" + format("%.3f", line.target) +
             "</td><td class=\"n\">" + escape(line.achieved) + "</td></tr>\n";
      h += "</table>\n<p class=\"note\">The JSON report holds the target and achieved matrices.</p>\n";
    }
    h += format("<p class=\"note\">The target is induced by reordering each block of %d "
                "iterations (Iman&#8211;Conover): every input keeps the values drawn for it, in "
                "another order.%s</p>\n",
                r.block,
                c->repaired ? format(" The matrix in the file was not positive semi-definite: the "
                                     "nearest correlation matrix is used (largest change %.4g).",
                                     c->largest_change).c_str()
                            : "");
  }

  if (r.network) h += schedule_section(r);

  for (std::size_t k = 0; k < r.outputs.size(); ++k) {
    const OutputSummary& o = r.outputs[k];
    const std::string money = o.unit_shown().empty() ? "" : " " + escape(o.unit_shown());
    h += "<section class=\"output\">\n<h2" +
         std::string(k == 0 && !r.correlation && !r.network ? " class=\"first\"" : "") +
         ">Output " + escape(titled(o)) +
         (money.empty() ? "" : "<span class=\"unit\">," + money + "</span>") + "</h2>\n";
    h += "<p><code>" + escape(o.name) + " = " + escape(o.formula) + "</code></p>\n";
    if (o.constant) h += "<p class=\"note\">This output has the same value in every iteration.</p>\n";
    h += "<div class=\"cards\">";
    h += card(amount(o.stat[0]), "mean" + money);
    h += card(amount(o.p50), "P50" + money);
    h += card(amount(o.p80), "P80" + money);
    if (o.against_base)
      h += card(amount(o.against_base->p80_minus_base), "contingency P80 &#8722; base" + money);
    if (o.below_target)
      h += card(format("%.1f%%", 100.0 * *o.below_target), "chance of " + escape(o.name) + " &#8804; target");
    h += "</div>\n";

    // Each heading with its chart or table in one figure, which printing
    // keeps on one page.
    h += "<div class=\"figure\"><h3>S-curve: probability that " + escape(o.name) +
         " is at most a value</h3>\n" +
         s_curve(o, r.network && k == 0 ? &r.network->schedule : nullptr) + "</div>\n";
    if (!o.histogram.tally.empty())
      h += "<div class=\"figure\"><h3>Histogram</h3>\n" + histogram(o) +
           histogram_note(o.histogram) + "</div>\n";
    if (o.constant || !o.tornado.empty()) {  // a network without inputs has none
      const std::size_t bars = shown_rows(r.tornado, o.tornado.size());
      h += "<div class=\"figure\"><h3>Tornado: Spearman rank correlation of each input with " +
           escape(o.name) + "</h3>\n" + tornado(o, bars) +
           (bars < o.tornado.size()
                ? left_out_note(bars, o.tornado.size(), "inputs", "the strongest")
                : "") +
           "</div>\n";
    }
    h += "<div class=\"figure\"><h3>Convergence of the mean and P80</h3>\n" + convergence(r, k) +
         "</div>\n";

    h += "<div class=\"tables\">\n<div class=\"figure\"><h3>Statistics</h3>"
         "<table class=\"grid\">\n";
    for (std::size_t i = 0; i < std::size_t{kReportedStatistics}; ++i)
      h += "<tr><td>" + std::string(kStatLabels[i]) + "</td><td class=\"n\">" +
           (o.why[i] ? "n/a (" + std::string(o.why[i]) + ")" : amount(o.stat[i])) + "</td></tr>\n";
    h += "</table></div>\n<div class=\"figure\"><h3>Percentiles</h3><table class=\"grid\">\n"
         "<thead><tr><th></th><th class=\"n\">value</th><th class=\"n\" colspan=\"2\">95% "
         "interval</th></tr></thead>\n";
    for (std::size_t i = 0; i < o.percentiles.size(); ++i) {
      const auto [low, high] = o.intervals[i];
      h += "<tr><td>P" + exact_text(o.percentiles[i].first) + "</td><td class=\"n\">" +
           amount(o.percentiles[i].second) + "</td><td class=\"n\">" +
           (std::isinf(low) ? "below min" : amount(low)) + "</td><td class=\"n\">" +
           (std::isinf(high) ? "above max" : amount(high)) + "</td></tr>\n";
    }
    h += "</table>\n<p class=\"note\">Each interval holds the true percentile with 95% "
         "probability whatever the distribution: order statistics of the sample chosen by the "
         "binomial distribution of the ranks.</p>\n";
    if (o.against_base || o.below_target) {
      h += "<h3>Against base and target</h3><table class=\"grid\">\n";
      if (const auto& b = o.against_base) {
        for (const auto& [label, c, percent] :
             {std::tuple{"P50", b->p50_minus_base, b->p50_percent},
              std::tuple{"P80", b->p80_minus_base, b->p80_percent}})
          h += format("<tr><td>%s &#8722; base</td><td class=\"n\">%s%s</td><td class=\"n\">%s</td></tr>\n",
                      label, amount(c).c_str(), money.c_str(),
                      percent ? format("%+.1f%% of base", *percent).c_str() : "");
        h += format("<tr><td>P(%s &#8804; base)</td><td class=\"n\">%.1f%%</td><td></td></tr>\n",
                    escape(o.name).c_str(), 100.0 * b->below);
      }
      if (o.below_target)
        h += format("<tr><td>P(%s &#8804; target)</td><td class=\"n\">%.1f%%</td><td></td></tr>\n",
                    escape(o.name).c_str(), 100.0 * *o.below_target);
      h += "</table>\n";
    }
    h += "</div>\n</div>\n";
    if (!o.risks.empty()) {
      h += "<div class=\"figure\"><h3>Risk events</h3>\n<table class=\"grid\"><tr><th>event</th>"
           "<th class=\"n\">p</th><th class=\"n\">observed</th><th class=\"n\">mean impact</th>"
           "<th class=\"n\">p &#215; mean impact</th><th class=\"n\">&#961; with " +
           escape(o.name) + "</th></tr>\n";
      for (const RiskLine& k2 : o.risks)
        h += format("<tr><td>%s</td><td class=\"n\">%.4g</td><td class=\"n\">%.4f</td><td "
                    "class=\"n\">%s</td><td class=\"n\">%s</td><td class=\"n\">%s</td></tr>\n",
                    escape(titled(k2, true)).c_str(), static_cast<double>(k2.p), k2.rate,
                    amount(k2.mean_impact).c_str(), amount(k2.expected_impact).c_str(),
                    std::isnan(k2.rho) ? "n/a" : format("%+.3f", static_cast<double>(k2.rho)).c_str());
      h += "</table></div>\n";
    }
    h += "<div class=\"figure\">" +
         drivers_section(o, money, r.network.has_value(), shown_rows(r.tornado, o.drivers.size())) +
         "</div>\n";
    h += "</section>\n";
  }

  // The trace in tables of a few outputs each, so that a model with many
  // outputs keeps every column on screen and on paper.
  h += "<h2>Convergence trace</h2>\n";
  for (std::size_t first = 0; first < r.outputs.size(); first += kTraceColumns) {
    const std::size_t end = std::min(first + kTraceColumns, r.outputs.size());
    h += "<table class=\"grid trace\"><thead><tr><th class=\"n\">iterations</th>";
    for (std::size_t k = first; k < end; ++k) {
      // A narrow column's name wraps after an underscore rather than anywhere.
      std::string name = escape(r.outputs[k].name);
      for (std::size_t at = name.find('_'); at != std::string::npos; at = name.find('_', at + 7))
        name.insert(at + 1, "<wbr/>");
      h += "<th class=\"n\">" + name + "</th>";
    }
    h += "</tr></thead>\n";
    for (const Checkpoint& c : r.trace) {
      h += format("<tr><td class=\"n\">%d</td>", c.n);
      for (std::size_t k = first; k < end; ++k)
        h += "<td class=\"n\">" + escape(six_digits(c.error[k])) + "</td>";
      h += "</tr>\n";
    }
    h += "</table>\n";
  }
  h += "<p class=\"note\">Convergence error of each output: VELMCNVERR at each check, the "
       "largest change over the last block of the mean, the standard deviation and the 10, 25, 75 "
       "and 90% points, in standard deviations. Checks fall after the first block, then at the "
       "first block end at which the sample has doubled.</p>\n";
  return h + page_close();
}

}  // namespace velmsim
