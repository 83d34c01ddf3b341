#include "host/velmsim/render/format.h"

#include <algorithm>
#include <algorithm>
#include <cmath>
#include <map>
#include <set>
#include <cstdarg>
#include <cstdio>

#include "host/velmsim/model/calendar.h"

namespace velmsim {

const char* const kStatLabels[15] = {"Mean",       "Variance",  "Std. Dev.", "Skewness",
                                     "Kurtosis",   "Minimum",   "Maximum",   "Range",
                                     "Coef. Var.", "Count",     "Lower CLM", "Upper CLM",
                                     "Lower CLV",  "Upper CLV", "Sum Wts"};

const char* const kStatKeys[15] = {"mean",     "variance",  "std_dev",   "skewness",  "kurtosis",
                                   "minimum",  "maximum",   "range",     "coef_var",  "count",
                                   "lower_clm", "upper_clm", "lower_clv", "upper_clv", "sum_wts"};

std::string format(const char* f, ...) {
  va_list args;
  va_start(args, f);
  va_list again;
  va_copy(again, args);
  const int length = std::vsnprintf(nullptr, 0, f, args);
  va_end(args);
  std::string text(length > 0 ? static_cast<std::size_t>(length) : 0, '\0');
  if (length > 0) std::vsnprintf(text.data(), text.size() + 1, f, again);
  va_end(again);
  return text;
}

std::string six_digits(double x) { return std::isnan(x) ? "n/a" : format("%.6g", x); }

std::pair<std::string, std::string> interval_text(std::pair<float, float> interval) {
  return {std::isinf(interval.first) ? "below min" : six_digits(interval.first),
          std::isinf(interval.second) ? "above max" : six_digits(interval.second)};
}

std::string working_days_text(const Schedule& schedule, double days) {
  std::string t = six_digits(days) + " working days";
  if (schedule.start) t += " (" + date_text(date_after(schedule, days)) + ")";
  return t;
}

std::string truncation_text(const DrawNote& note, std::uint64_t redraws, int iterations) {
  if (!note.truncate) return "";
  auto end = [](double x) { return std::isinf(x) ? std::string(x < 0 ? "-inf" : "inf") : six_digits(x); };
  return "truncated to [" + end((*note.truncate)[0]) + ", " + end((*note.truncate)[1]) + "] (" +
         (note.kept < 1 && format("%.3g", 100 * note.kept) == "100" ? std::string("over 99.9")
                                                                     : format("%.3g", 100 * note.kept)) +
         " % of the distribution): " +
         std::to_string(redraws) + " redraw" + (redraws == 1 ? "" : "s") + " in " +
         std::to_string(iterations) + " iterations";
}

std::string constant_text(const Constant& c) {
  return c.name + " = " + (c.expression.empty() ? "" : c.expression + " = ") + exact_text(c.value);
}

std::vector<PairLine> correlation_lines(const CorrelationSummary& c) {
  constexpr std::size_t kListedPairs = 20, kSharedTarget = 5;
  const std::size_t k = c.names.size();
  auto achieved = [](float a) {
    return std::isnan(a) ? std::string("n/a") : format("%.3f", std::fabs(a) < 5e-4f ? 0.0 : static_cast<double>(a));
  };
  // Each target's pairs, and the variables they join.
  struct Shared {
    std::vector<float> achieved;
    std::set<std::size_t> variables;
  };
  std::map<double, Shared> by_target;
  for (std::size_t i = 0; i < k; ++i)
    for (std::size_t j = i + 1; j < k; ++j) {
      Shared& s = by_target[c.target(i, j)];
      s.achieved.push_back(c.achieved[i * k + j]);
      s.variables.insert({i, j});
    }
  // A target is one line when many pairs share it and they are most pairs
  // of a set of variables (a correlation group, some of its pairs given
  // values of their own), or are uncorrelated; not when they are a chain.
  const bool many = k * (k - 1) / 2 > kListedPairs;
  auto summarised = [&](double target) {
    const Shared& s = by_target[target];
    const std::size_t m = s.variables.size();
    return many && s.achieved.size() > kSharedTarget && (target == 0 || 2 * s.achieved.size() >= m * (m - 1) / 2);
  };
  std::vector<PairLine> lines;
  for (std::size_t i = 0; i < k; ++i)
    for (std::size_t j = i + 1; j < k; ++j)
      if (!summarised(c.target(i, j)))
        lines.push_back({c.names[i] + " ~ " + c.names[j], c.target(i, j), achieved(c.achieved[i * k + j])});
  for (const auto& [target, s] : by_target) {
    if (!summarised(target)) continue;
    const auto [lo, hi] = std::minmax_element(s.achieved.begin(), s.achieved.end());
    lines.push_back({format("%zu pairs, each", s.achieved.size()), target,
                     achieved(*lo) + " to " + achieved(*hi), s.achieved.size()});
  }
  return lines;
}

std::string name_list(const std::vector<std::string>& names) {
  std::string s;
  for (const std::string& n : names) s += (s.empty() ? "" : ", ") + n;
  return s.empty() ? "(none)" : s;
}

std::string titled(const Naming& v, bool with_unit) {
  std::string t = v.label.empty() ? v.name : v.label + " (" + v.name + ")";
  if (with_unit && !v.unit.empty()) t += ", " + v.unit;
  return t;
}

const std::string& short_name(const Naming& v) { return v.label.empty() ? v.name : v.label; }

std::size_t characters(const std::string& s) {
  return static_cast<std::size_t>(std::count_if(
      s.begin(), s.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

std::string padded(const std::string& s, std::size_t width) {
  const std::size_t n = characters(s);
  return n >= width ? s : s + std::string(width - n, ' ');
}

std::size_t shown_rows(int cap, std::size_t total) {
  return cap > 0 ? std::min(static_cast<std::size_t>(cap), total) : total;
}

std::string rows_left_out(std::size_t shown, std::size_t total, const char* what,
                          const char* first) {
  return format("%zu of %zu %s shown, %s", shown, total, what, first);
}

}  // namespace velmsim
