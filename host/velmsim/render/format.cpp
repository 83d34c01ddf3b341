#include "host/velmsim/render/format.h"

#include <algorithm>
#include <cmath>
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
         format("%.3g", 100 * note.kept) + " % of the distribution): " +
         std::to_string(redraws) + " redraw" + (redraws == 1 ? "" : "s") + " in " +
         std::to_string(iterations) + " iterations";
}

std::string constant_text(const Constant& c) {
  return c.name + " = " + (c.expression.empty() ? "" : c.expression + " = ") + exact_text(c.value);
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
