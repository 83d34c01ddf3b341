#include <algorithm>
#include <cmath>
#include <tuple>

#include "host/velmsim/model/calendar.h"
#include "host/velmsim/render/format.h"
#include "host/velmsim/render/render.h"

namespace velmsim {

namespace {

std::string bar(double fraction, int width, char c) {
  const int n = static_cast<int>(std::lround(std::clamp(fraction, 0.0, 1.0) * width));
  return std::string(static_cast<std::size_t>(n), c);
}

// The width of the name column of a table whose first `rows` rows are
// shown: at least 18 characters, more when a label needs it.
template <typename Row>
std::size_t name_width(const std::vector<Row>& list, std::size_t rows, bool with_unit) {
  std::size_t width = 18;
  for (std::size_t i = 0; i < rows; ++i)
    width = std::max(width, characters(titled(list[i], with_unit)));
  return width;
}

std::string left_out(std::size_t shown, std::size_t total, const char* what, const char* first) {
  return "  (" + rows_left_out(shown, total, what, first) +
         "; [run] tornado or --tornado\n  sets how many, and the JSON report lists all)\n";
}

std::string schedule_section(const Report& r, std::size_t shown_tasks) {
  const NetworkSummary& n = *r.network;
  const OutputSummary& finish = r.outputs.front();
  std::string t = format("\n== Schedule: %zu tasks", n.tasks.size());
  if (n.start) t += ", from " + date_text(*n.start);
  t += "\n";
  if (!n.file.empty()) t += "  read from         " + n.file + "\n";
  t += "  plan finish       " + working_days_text(n.schedule, n.plan_finish) +
       "\n                    (planned durations, every task present, no risk)\n";
  t += format("  P(finish <= plan) %.1f %%\n", 100.0 * n.plan_confidence);
  for (const auto& [p, v] : finish.percentiles)
    t += format("  P%-4s finish      ", exact_text(p).c_str()) + working_days_text(n.schedule, v) + "\n";
  t += "  merge bias        " + six_digits(static_cast<double>(finish.p50) - n.plan_finish) +
       " working days (P50 less the plan's finish)\n";
  if (finish.target)
    t += "  target            " + working_days_text(n.schedule, *finish.target) +
         format("; P(finish <= target) %.1f %%\n", 100.0 * finish.below_target.value_or(0));

  const std::size_t shown = std::min(shown_tasks, n.tasks.size());
  t += "\nTasks: criticality (share of iterations on the critical path), cruciality\n"
       "(Spearman rank correlation of the duration with the finish), SSI (criticality x\n"
       "sd of the duration / sd of the finish), mean and P80 of the task's finish";
  t += shown < n.tasks.size()
           ? format(";\nthe %zu most critical of %zu (--tasks all lists every one)\n", shown,
                    n.tasks.size())
           : "\n";
  t += format("  %-18s %11s %10s %8s %12s %12s\n", "task", "criticality", "cruciality", "SSI",
              "mean finish", "P80 finish");
  for (std::size_t i = 0; i < shown; ++i) {
    const TaskLine& k = n.tasks[i];
    t += format("  %-18s %9.1f %% %10s %8s %12s %12s", k.name.c_str(), 100.0 * k.criticality,
                std::isnan(k.cruciality) ? "n/a" : format("%+.3f", static_cast<double>(k.cruciality)).c_str(),
                std::isnan(k.sensitivity) ? "n/a" : format("%.3f", k.sensitivity).c_str(),
                six_digits(k.mean_finish).c_str(), six_digits(k.p80_finish).c_str());
    if (k.maybe) t += format("  (exists in %.1f %%)", 100.0 * k.existed);
    if (k.clamped > 0) t += format("  (drawn below 0 in %d, taken as 0)", k.clamped);
    t += "\n";
  }

  if (!n.risks.empty()) {
    t += "\nRisks, ranked by elimination: the run again on the same draws with the risk not\n"
         "applied, and the fall it makes in P80 finish and in P80 cost";
    t += n.below_target ? ";\nP(finish <= target) with every risk and without this one\n" : "\n";
    t += format("  %-18s %6s %9s %14s %12s %14s", "risk", "p", "observed", "P80 fin. fall",
                "P80 finish", "P80 cost fall");
    t += n.below_target ? format(" %16s\n", "P(<= target)") : "\n";
    for (const RiskElimination& e : n.risks) {
      t += format("  %-18s %6.3g %9.4f %14s %12s %14s", e.name.c_str(), static_cast<double>(e.p),
                  e.rate, six_digits(e.finish_fall).c_str(), six_digits(e.p80_finish).c_str(),
                  six_digits(e.cost_fall).c_str());
      if (e.below_target)
        t += format(" %6.1f -> %5.1f %%", 100.0 * n.below_target.value_or(0), 100.0 * *e.below_target);
      t += "\n";
    }
  }

  if (const auto& j = n.joint) {
    t += "\nJoint confidence of cost and finish\n";
    if (j->jcl)
      t += format("  P(cost <= %s and finish <= %s) = %.1f %%\n",
                  six_digits(*n.schedule.budget).c_str(), working_days_text(n.schedule, *n.schedule.target).c_str(),
                  100.0 * *j->jcl);
    t += format("  frontier at %.0f %%: for each finish, the smallest budget that meets both with\n"
                "  that chance (none where the finish alone is less likely)\n",
                100.0 * j->confidence);
    for (const auto& [finish, budget] : j->frontier)
      t += "    " + working_days_text(n.schedule, finish) + "  " +
           (std::isnan(budget) ? std::string("none") : six_digits(budget)) + "\n";
  }
  if (const auto& c = n.cash) {
    t += format("\nCash flow: the cost spent by the end of each %s, at P10, P50 and P90\n",
                c->period);
    t += format("  %-12s %10s %14s %14s %14s\n", "to", "work days", "P10", "P50", "P90");
    for (std::size_t b = 0; b < c->ends.size(); ++b)
      t += format("  %-12s %10s %14s %14s %14s\n",
                  c->end_dates.empty() ? "" : date_text(c->end_dates[b]).c_str(),
                  six_digits(c->ends[b]).c_str(), six_digits(c->p10[b]).c_str(),
                  six_digits(c->p50[b]).c_str(), six_digits(c->p90[b]).c_str());
  }
  return t;
}

}  // namespace

std::string text_report(const Report& r) {
  std::string t;
  t += format("velmsim %s: %s\n", r.version.c_str(), r.model_name.c_str());
  t += "model file:  " + r.model_path + "\n";
  t += "sha-256:     " + r.model_sha256 + "\n";
  for (std::size_t k = 0; k < r.constants.size(); ++k)
    t += (k == 0 ? "constants:   " : "             ") + constant_text(r.constants[k]) + "\n";
  t += "sampling:    " + r.libraries.sampling + " (" + r.libraries.sampling_edition + " edition)\n";
  t += "statistics:  " + r.libraries.statistics + " (statistics edition)\n";
  t += format("seed:        %d%s\n", static_cast<int>(r.seed), r.clock_seed ? " (from the clock)" : "");
  t += r.one_stream ? "streams:     one stream seeded once, in one thread\n"
                    : "streams:     iteration i draws from seed * 16807^(65536 i) mod (2^31 - 1)\n";
  t += format("threads:     %d\n", r.threads);
  t += format("iterations:  %d (limit %d, blocks of %d)\n", r.iterations, r.limit, r.block);
  const std::string precise =
      r.precision ? format(" and every percentile's interval narrower than %g sd", *r.precision)
                  : "";
  if (r.converged) {
    t += format("converged:   yes, every output's convergence error is below %g%s\n", r.tolerance,
                precise.c_str());
  } else {
    t += format("converged:   no, the limit was reached before every output's convergence "
                "error fell below %g%s\n", r.tolerance, precise.c_str());
  }

  if (!r.draws.empty()) {
    t += "\nDraws with solved parameters or truncation\n";
    for (const DrawLine& d : r.draws) {
      t += "  " + d.note.who + ":";
      if (!d.note.solved.empty()) t += " " + d.note.solved + (d.note.truncate ? ";" : "");
      t += (d.note.truncate ? " " : "") + truncation_text(d.note, d.redraws, r.iterations) + "\n";
    }
  }

  if (const auto& c = r.correlation) {
    t += format(c->tasks ? "\nRank correlation of inputs and tasks' drawn durations: the target, induced\n"
                           "by reordering each block of %d iterations, and the Spearman correlation\n"
                           "achieved over all iterations\n"
                         : "\nRank correlation of inputs: the target, induced by reordering each block of %d\n"
                           "iterations, and the Spearman correlation achieved over all iterations\n",
                r.block);
    std::size_t width = 4;
    for (const std::string& name : c->names) width = std::max(width, name.size());
    const int w = static_cast<int>(2 * width + 3);
    t += format("  %-*s %8s %9s\n", w, "pair", "target", "achieved");
    for (const PairLine& line : correlation_lines(*c))
      t += format("  %-*s %8.3f %9s\n", w, line.pair.c_str(), line.target, line.achieved.c_str());
    if (c->repaired)
      t += format("  (repaired: the file's matrix was not positive semi-definite; the nearest\n"
                  "  correlation matrix is used, largest change %.4g)\n", c->largest_change);
  }

  if (r.network)
    t += schedule_section(r, r.listed_tasks > 0 ? static_cast<std::size_t>(r.listed_tasks)
                                                : r.network->tasks.size());

  for (const OutputSummary& o : r.outputs) {
    const std::string& unit = o.unit_shown();
    const std::string money = unit.empty() ? "" : " " + unit;
    // A labelled output is titled by its label, the formula below.
    const std::string title = titled(o) + (unit.empty() ? "" : ", " + unit);
    t += "\n== Output " + (title == o.name ? o.name + " = " + o.formula
                                           : title + "\n  " + o.name + " = " + o.formula) + "\n";
    if (o.constant) t += "(this output has the same value in every iteration)\n";
    t += "\nStatistics\n";
    for (std::size_t i = 0; i < std::size_t{kReportedStatistics}; ++i)
      t += o.why[i] ? format("  %-12s %16s  (%s)\n", kStatLabels[i], "n/a", o.why[i])
                    : format("  %-12s %16s\n", kStatLabels[i], six_digits(o.stat[i]).c_str());

    t += format("\nPercentiles%-12s   95 %% interval (from order statistics)\n",
                unit.empty() ? "" : (" (" + unit + ")").c_str());
    for (std::size_t i = 0; i < o.percentiles.size(); ++i) {
      const auto [low, high] = interval_text(o.intervals[i]);
      t += format("  P%-4s %16s   %14s to %s\n", exact_text(o.percentiles[i].first).c_str(),
                  six_digits(o.percentiles[i].second).c_str(), low.c_str(), high.c_str());
    }

    if (o.against_base || o.target) {
      t += "\nAgainst base and target\n";
      if (const auto& b = o.against_base) {
        t += format("  base            %16s%s\n", six_digits(b->base).c_str(), money.c_str());
        for (const auto& [label, c, percent] :
             {std::tuple{"P50", b->p50_minus_base, b->p50_percent},
              std::tuple{"P80", b->p80_minus_base, b->p80_percent}}) {
          t += format("  %s - base      %16s%s", label, six_digits(c).c_str(), money.c_str());
          t += percent ? format("  (%+.1f %% of base)\n", *percent) : "\n";
        }
        t += format("  %-24s %8.1f %%\n", ("P(" + o.name + " <= base)").c_str(), 100.0 * b->below);
      }
      if (o.target) {
        t += format("  target          %16s%s\n", six_digits(*o.target).c_str(), money.c_str());
        t += format("  %-24s %8.1f %%\n", ("P(" + o.name + " <= target)").c_str(), 100.0 * *o.below_target);
      }
    }

    if (const Histogram& h = o.histogram; !h.tally.empty()) {
      const std::size_t k = h.tally.size();
      t += format("\nHistogram (%zu classes between %s and %s)\n", k - 2, six_digits(h.low).c_str(), six_digits(h.high).c_str());
      const float largest = *std::max_element(h.tally.begin(), h.tally.end());
      const double width = (static_cast<double>(h.high) - h.low) / static_cast<double>(k - 2);
      for (std::size_t i = 0; i < k; ++i) {
        std::string range;
        if (i == 0) range = format("%11s %-14s", "up to", six_digits(h.low).c_str());
        else if (i == k - 1) range = format("%11s %-14s", "above", six_digits(h.high).c_str());
        else {
          const double from = h.low + static_cast<double>(i - 1) * width;
          range = format("%11s to %-11s", six_digits(from).c_str(), six_digits(from + width).c_str());
        }
        t += format("  %s %6.0f %s\n", range.c_str(), static_cast<double>(h.tally[i]),
                    bar(largest > 0 ? h.tally[i] / largest : 0.0, 40, '#').c_str());
      }
    }

    t += "\nTornado: Spearman rank correlation of each input with " + o.name + "\n";
    if (o.constant)
      t += "  (none: " + o.name + " never varied)\n";
    else if (o.tornado.empty())
      t += "  (none: the model has no inputs; the task table gives each task's cruciality)\n";
    const std::size_t bars = o.constant ? 0 : shown_rows(r.tornado, o.tornado.size());
    const std::size_t tornado_width = name_width(o.tornado, bars, false);
    for (std::size_t i = 0; i < bars; ++i) {
      const Correlation& c = o.tornado[i];
      const std::string name = padded(titled(c), tornado_width);
      if (std::isnan(c.rho)) {
        t += format("  %s %7s (never varied)\n", name.c_str(), "n/a");
        continue;
      }
      const double v = c.rho;
      t += format("  %s %+7.3f %20s|%-20s\n", name.c_str(), v,
                  v < 0 ? bar(-v, 20, '=').c_str() : "", v > 0 ? bar(v, 20, '=').c_str() : "");
    }
    if (bars < o.tornado.size() && !o.constant)
      t += left_out(bars, o.tornado.size(), "inputs", "the strongest");

    if (!o.risks.empty()) {
      const std::size_t w = name_width(o.risks, o.risks.size(), true);
      t += "\nRisk events\n";
      t += format("  %s %8s %9s %14s %14s %7s\n", padded("event", w).c_str(), "p", "observed",
                  "mean impact", "p x impact", "rho");
      for (const RiskLine& k : o.risks)
        t += format("  %s %8.4g %9.4f %14s %14s %7s\n", padded(titled(k, true), w).c_str(),
                    static_cast<double>(k.p),
                    k.rate, six_digits(k.mean_impact).c_str(), six_digits(k.expected_impact).c_str(),
                    std::isnan(k.rho) ? "n/a" : format("%+.3f", static_cast<double>(k.rho)).c_str());
    }

    t += "\nContingency drivers: each one's part in the iterations at or above P80\n";
    if (o.constant) {
      t += "  (none: " + o.name + " never varied)\n";
    } else if (o.drivers.empty()) {
      t += r.network ? "  (none: no input is a risk event or in [run] shares; the schedule's risks\n"
                       "  are ranked by elimination above)\n"
                     : "  (none: the model has no risk events and names no inputs in [run] shares)\n";
    } else {
      t += format("  tail: the %d iterations with %s >= P80%s\n", o.tail, o.name.c_str(),
                  o.tail_excess == 0.0 ? ", which is every one: nothing to share" : "");
      t += format("  tail mean - mean  %16s%s   (what the shares divide)\n",
                  six_digits(o.tail_excess).c_str(), money.c_str());
      t += format("  P80 - mean        %16s%s   (allocated by share)\n",
                  six_digits(o.p80_minus_mean).c_str(), money.c_str());
      const std::size_t rows = shown_rows(r.tornado, o.drivers.size());
      const std::size_t w = name_width(o.drivers, rows, true);
      t += format("  %s %-5s %14s %8s %16s %10s\n", padded("driver", w).c_str(), "kind",
                  "tail excess", "share", "P80 allocation", "var. share");
      auto percent = [](double x) {
        return std::isnan(x) ? std::string("n/a") : format("%.1f %%", 100.0 * x);
      };
      for (std::size_t i = 0; i < rows; ++i) {
        const Driver& d = o.drivers[i];
        t += format("  %s %-5s %14s %8s %16s %10s\n", padded(titled(d, true), w).c_str(),
                    d.risk ? "risk" : "input",
                    six_digits(d.excess).c_str(), percent(d.share).c_str(), six_digits(d.allocation).c_str(),
                    percent(d.variance_share).c_str());
      }
      if (rows < o.drivers.size()) t += left_out(rows, o.drivers.size(), "drivers", "the largest");
    }
  }

  t += format("\nConvergence: at each check (after the first block, then at the first block end\n"
              "at which the sample has doubled), each output's convergence error over the\n"
              "last block (VELMCNVERR; n/a before two blocks), against the tolerance %g\n",
              r.tolerance);
  // One row per check, one column per output.
  auto trace_table = [&](auto value) {
    t += format("  %10s", "iterations");
    for (const OutputSummary& o : r.outputs) t += format(" %14s", o.name.c_str());
    t += "\n";
    for (const Checkpoint& c : r.trace) {
      t += format("  %10d", c.n);
      for (std::size_t k = 0; k < r.outputs.size(); ++k)
        t += format(" %14s", six_digits(value(c, k)).c_str());
      t += "\n";
    }
  };
  trace_table([](const Checkpoint& c, std::size_t k) { return c.error[k]; });
  if (!r.precision) return t;
  t += format("\nPrecision: at each check, each output's widest percentile interval in its\n"
              "standard deviations, against %g\n", *r.precision);
  trace_table([](const Checkpoint& c, std::size_t k) { return c.precision[k]; });
  return t;
}

}  // namespace velmsim
