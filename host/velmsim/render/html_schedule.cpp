// A schedule's part of the run's HTML page: its figures and task table, the
// criticality chart, the joint confidence of cost and finish with its
// frontier, and the cash flow.
#include <algorithm>
#include <cmath>

#include "host/velmsim/model/calendar.h"
#include "host/velmsim/render/format.h"
#include "host/velmsim/render/html_page.h"
#include "host/velmsim/render/html_sections.h"

namespace velmsim {

using namespace page;

namespace {

// Cost against finish, one dot per iteration (those meeting both target
// and budget in green), the target and budget as a cross-hair, and the
// joint-confidence frontier.
std::string joint_chart(const NetworkSummary& n, const JointConfidence& j) {
  Frame f;
  f.height = 360;
  double x_lo = INFINITY, x_hi = -INFINITY, y_lo = INFINITY, y_hi = -INFINITY;
  for (const auto& [x, y] : j.points) {
    x_lo = std::min(x_lo, static_cast<double>(x));
    x_hi = std::max(x_hi, static_cast<double>(x));
    y_lo = std::min(y_lo, static_cast<double>(y));
    y_hi = std::max(y_hi, static_cast<double>(y));
  }
  const std::optional<double> target = n.schedule.target, budget = n.schedule.budget;
  if (x_lo >= x_hi) x_hi = x_lo + 1;
  if (y_lo >= y_hi) y_hi = y_lo + 1;
  f.x0 = x_lo - 0.03 * (x_hi - x_lo);
  f.x1 = x_hi + 0.03 * (x_hi - x_lo);
  f.y0 = y_lo - 0.05 * (y_hi - y_lo);
  f.y1 = y_hi + 0.05 * (y_hi - y_lo);
  std::string s = svg_open(f, "joint", "Cost against finish");
  s += axes(f, ticks(f.x0, f.x1), ticks(f.y0, f.y1, 5), "finish (working days)", "cost");
  for (const auto& [x, y] : j.points) {
    const bool meets = target && budget && x <= *target && y <= *budget;
    s += format("<circle class=\"%s\" cx=\"%.1f\" cy=\"%.1f\" r=\"1.8\"/>", meets ? "meets" : "dot",
                f.x(x), f.y(y));
  }
  s += "\n";
  if (target && *target > f.x0 && *target < f.x1)
    s += format("<line class=\"mark target\" x1=\"%.1f\" y1=\"%.1f\" x2=\"%.1f\" y2=\"%.1f\"/>",
                f.x(*target), f.top, f.x(*target), f.height - f.bottom);
  if (budget && *budget > f.y0 && *budget < f.y1)
    s += format("<line class=\"mark target\" x1=\"%.1f\" y1=\"%.1f\" x2=\"%.1f\" y2=\"%.1f\"/>",
                f.left, f.y(*budget), f.width - f.right, f.y(*budget));
  std::string frontier;
  for (const auto& [x, y] : j.frontier)
    if (!std::isnan(y) && y > f.y0 && y < f.y1) frontier += format("%.1f,%.1f ", f.x(x), f.y(y));
  if (!frontier.empty()) s += "<polyline class=\"frontier\" points=\"" + frontier + "\"/>";
  s += format("<text class=\"legend\" x=\"%.1f\" y=\"%.1f\" fill=\"#c53030\">frontier at %.0f%%</text>",
              f.width - f.right - 130, f.top + 12, 100.0 * j.confidence);
  s += "</svg>\n";
  std::string note = format("%zu iterations drawn", j.points.size());
  if (j.jcl)
    note += format("; green: finish &#8804; target and cost &#8804; budget, P = %.1f%% (the joint "
                   "confidence)", 100.0 * *j.jcl);
  return "<div class=\"figure\"><h3>Joint confidence: cost against finish</h3>\n" + s +
         "<p class=\"note\">" + note + ". Red lines: the target and the budget. The frontier: for "
         "each finish from P50 to P95, the smallest budget that meets both with the chance " +
         format("%.0f%%", 100.0 * j.confidence) + ".</p></div>\n";
}

// The cost spent by the end of each period, at P10, P50 and P90.
std::string cash_chart(const CashFlow& c, const std::string& currency) {
  Frame f;
  f.x0 = 0;
  f.x1 = c.ends.empty() ? 1 : c.ends.back();
  f.y0 = 0;
  f.y1 = c.p90.empty() ? 1 : std::max(1.0, 1.05 * *std::max_element(c.p90.begin(), c.p90.end()));
  std::string s = svg_open(f, "cash", "Cumulative cost");
  s += axes(f, ticks(f.x0, f.x1), ticks(f.y0, f.y1, 5), "working days from the start",
            "cost spent" + (currency.empty() ? "" : " (" + currency + ")"));
  for (const auto& [values, css] : {std::pair{&c.p10, "p10"}, std::pair{&c.p50, "p50line"},
                                    std::pair{&c.p90, "p90"}}) {
    std::string line = format("%.1f,%.1f ", f.x(0), f.y(0));
    for (std::size_t b = 0; b < c.ends.size(); ++b)
      line += format("%.1f,%.1f ", f.x(c.ends[b]), f.y((*values)[b]));
    s += std::string("<polyline class=\"") + css + "\" points=\"" + line + "\"/>";
  }
  s += "</svg>\n";
  std::string table = "<table class=\"grid\"><thead><tr><th>to</th><th class=\"n\">working days</th>"
                      "<th class=\"n\">P10</th><th class=\"n\">P50</th><th class=\"n\">P90</th>"
                      "</tr></thead>\n";
  for (std::size_t b = 0; b < c.ends.size(); ++b)
    table += "<tr><td>" + (c.end_dates.empty() ? std::string() : date_text(c.end_dates[b])) +
             "</td><td class=\"n\">" + escape(six_digits(c.ends[b])) + "</td><td class=\"n\">" +
             amount(c.p10[b]) + "</td><td class=\"n\">" + amount(c.p50[b]) + "</td><td class=\"n\">" +
             amount(c.p90[b]) + "</td></tr>\n";
  return std::string("<div class=\"figure\"><h3>Cash flow: cost spent by the end of each ") +
         c.period + "</h3>\n" + s +
         "<p class=\"note\">Solid: P50; dashed: P10 and P90 (each period's own percentiles). A "
         "task's cost is spent evenly over its span, a risk's at the start of its first task.</p>\n" +
         table + "</table></div>\n";
}

// The criticality of the most critical tasks (as many as the table lists),
// one bar each, most critical at the top.
std::string criticality_chart(const std::vector<TaskLine>& tasks, std::size_t shown) {
  std::vector<std::string> names;
  for (std::size_t i = 0; i < shown; ++i) names.push_back(tasks[i].name);
  Frame f;
  f.left = name_margin(names);
  f.right = 60;
  f.height = f.top + f.bottom + 8 + 26.0 * static_cast<double>(shown);
  f.x0 = 0;
  f.x1 = 1;
  std::string s = svg_open(f, "criticality", "Criticality of the most critical tasks");
  s += axes(f, {0, 0.25, 0.5, 0.75, 1}, {}, "criticality index (share of iterations critical)", "");
  for (std::size_t i = 0; i < shown; ++i) {
    const double y = f.top + 26.0 * static_cast<double>(i);
    s += row_name(f, y, tasks[i].name);
    s += row_bar(f, y, tasks[i].criticality, "pos", format("%.1f%%", 100.0 * tasks[i].criticality));
  }
  return s + "</svg>\n";
}

}  // namespace

// The schedule's figures and the most critical tasks.
std::string schedule_section(const Report& r) {
  const NetworkSummary& n = *r.network;
  const OutputSummary& finish = r.outputs.front();
  auto days = [&](double d) { return escape(working_days_text(n.schedule, d)); };
  std::string h = "<h2 class=\"first\">Schedule</h2>\n<div class=\"tables\">\n"
                  "<div class=\"figure\"><table class=\"grid\">\n";
  auto row = [&](const std::string& k, const std::string& v) {
    h += "<tr><td>" + k + "</td><td class=\"n\">" + v + "</td></tr>\n";
  };
  if (!n.file.empty()) row("Read from", "<code>" + escape(n.file) + "</code>");
  if (n.start) row("Start", date_text(*n.start));
  row("Plan finish (planned durations, every task, no risk)", days(n.plan_finish));
  row("P(finish &#8804; plan)", format("%.1f%%", 100.0 * n.plan_confidence));
  for (const auto& [p, v] : finish.percentiles) row("P" + exact_text(p) + " finish", days(v));
  row("Merge bias (P50 &#8722; plan)", escape(six_digits(static_cast<double>(finish.p50) - n.plan_finish)) +
                                            " working days");
  if (finish.target) {
    row("Target", days(*finish.target));
    row("P(finish &#8804; target)", format("%.1f%%", 100.0 * finish.below_target.value_or(0)));
  }
  const std::size_t shown = std::min<std::size_t>(25, n.tasks.size());
  h += "</table></div>\n</div>\n<div class=\"figure\"><h3>Criticality of the most critical tasks</h3>\n" +
       criticality_chart(n.tasks, shown) + "</div>\n";
  h += "<div class=\"figure\"><h3>Tasks, most critical first</h3>"
       "<table class=\"grid\">\n<thead><tr><th>task</th><th class=\"n\">criticality</th>"
       "<th class=\"n\">cruciality</th><th class=\"n\">SSI</th><th class=\"n\">mean finish</th>"
       "<th class=\"n\">P80 finish</th></tr></thead>\n";
  for (std::size_t i = 0; i < shown; ++i) {
    const TaskLine& k = n.tasks[i];
    h += "<tr><td>" + escape(k.name) + "</td><td class=\"n\">" +
         format("%.1f%%", 100.0 * k.criticality) + "</td><td class=\"n\">" +
         (std::isnan(k.cruciality) ? "n/a" : format("%+.3f", static_cast<double>(k.cruciality))) +
         "</td><td class=\"n\">" + (std::isnan(k.sensitivity) ? "n/a" : format("%.3f", k.sensitivity)) +
         "</td><td class=\"n\">" + escape(six_digits(k.mean_finish)) + "</td><td class=\"n\">" +
         escape(six_digits(k.p80_finish)) + "</td></tr>\n";
  }
  h += "</table>\n<p class=\"note\">Criticality: the share of iterations in which the task is on "
       "the critical path (total float at most 1e-6 days). Cruciality: Spearman rank correlation "
       "of its duration with the finish. SSI: criticality &#215; sd of the duration / sd of the "
       "finish.</p></div>\n";
  if (const auto& j = n.joint) h += joint_chart(n, *j);
  if (const auto& c = n.cash) h += cash_chart(*c, r.currency);
  return h;
}

}  // namespace velmsim
