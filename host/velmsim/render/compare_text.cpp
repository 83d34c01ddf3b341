#include "host/velmsim/render/format.h"
#include "host/velmsim/render/render.h"

namespace velmsim {

std::string compare_text(const Comparison& c) {
  std::string t;
  t += format("velmsim %s compare: A = %s, B = %s\n", c.version.c_str(), c.a.name.c_str(),
              c.b.name.c_str());
  t += "model A:     " + c.a.path + "\n";
  t += "sha-256 A:   " + c.a.sha256 + "\n";
  t += "model B:     " + c.b.path + "\n";
  t += "sha-256 B:   " + c.b.sha256 + "\n";
  t += "sampling:    " + c.libraries.sampling + " (threaded sampling edition)\n";
  t += "statistics:  " + c.libraries.statistics + " (statistics edition)\n";
  t += format("seed:        %d%s\n", static_cast<int>(c.seed), c.clock_seed ? " (from the clock)" : "");
  t += "streams:     iteration i of both models draws from seed * 16807^(65536 i) mod (2^31 - 1)\n";
  t += format("threads:     %d\n", c.threads);
  t += format("iterations:  %d in each model (blocks of %d), no convergence stop\n", c.iterations,
              c.block);
  for (const std::string& u : c.unused) t += "note:        " + u + "\n";

  t += "\nCommon random numbers (inputs matched by their place in the files)\n";
  auto line = [&](const char* label, const std::vector<std::string>& names) {
    t += format("  %-40s %s\n", label, name_list(names).c_str());
  };
  line("same values in both models:", c.shared.same_values);
  if (!c.shared.same_start.empty()) line("same stream position, other parameters:", c.shared.same_start);
  if (!c.shared.reordered.empty()) line("same draws, reordered differently:", c.shared.reordered);
  if (!c.shared.unmatched_a.empty()) line("not paired, from A:", c.shared.unmatched_a);
  if (!c.shared.unmatched_b.empty()) line("not paired, from B:", c.shared.unmatched_b);

  for (const OutputComparison& o : c.outputs) {
    const DifferenceSummary& d = o.difference;
    const std::string money = o.currency.empty() ? "" : " (" + o.currency + ")";
    t += "\n== Output " + o.name + money + "\n";
    t += "  A: " + o.name + " = " + o.formula_a + "\n";
    t += "  B: " + o.name + " = " + o.formula_b + "\n";
    t += format("\n  %-12s %16s %16s %16s\n", "", "A", "B", "B's - A's");
    for (const SideBySide& row : o.rows)
      t += format("  %-12s %16s %16s %16s\n", row.label, six_digits(row.a).c_str(),
                  six_digits(row.b).c_str(), six_digits(row.difference).c_str());

    t += "\nDifference B - A, iteration by iteration\n";
    if (d.overflow > 0) {
      t += format("  B - A is beyond single precision in %d of the %d iterations: it has no "
                  "statistics\n", d.overflow, c.iterations);
      t += format("  %-12s %14.1f %%\n", "P(B > A)", 100.0 * d.b_greater);
      continue;
    }
    if (d.constant) t += "(B - A has the same value in every iteration)\n";
    for (const auto& [label, v] : {std::pair<const char*, float>{"Mean", d.mean},
                                   {"Std. Dev.", d.sd},
                                   {"Minimum", d.min},
                                   {"Maximum", d.max}})
      t += format("  %-12s %16s\n", label, six_digits(v).c_str());
    for (const auto& [p, v] : d.percentiles)
      t += format("  P%-11s %16s\n", exact_text(p).c_str(), six_digits(v).c_str());
    t += format("  %-12s %14.1f %%\n", "P(B > A)", 100.0 * d.b_greater);
  }
  if (!c.only_a.empty() || !c.only_b.empty()) {
    t += "\n== Outputs in one model only (not compared)\n";
    if (!c.only_a.empty()) t += "  only in A: " + name_list(c.only_a) + "\n";
    if (!c.only_b.empty()) t += "  only in B: " + name_list(c.only_b) + "\n";
  }
  return t;
}

}  // namespace velmsim
