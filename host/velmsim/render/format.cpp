#include "host/velmsim/render/format.h"

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

std::string constant_text(const Constant& c) {
  return c.name + " = " + (c.expression.empty() ? "" : c.expression + " = ") + exact_text(c.value);
}

std::string name_list(const std::vector<std::string>& names) {
  std::string s;
  for (const std::string& n : names) s += (s.empty() ? "" : ", ") + n;
  return s.empty() ? "(none)" : s;
}

}  // namespace velmsim
