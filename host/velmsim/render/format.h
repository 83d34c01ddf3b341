// Number and text formatting for the reports.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace velmsim {

// printf-style formatting into a string of any length.
std::string format(const char* f, ...) __attribute__((format(printf, 1, 2)));

// A number with six significant digits, or "n/a" for NaN.
std::string six_digits(double x);

// The ends of a percentile's interval, six digits each, or "below min" and
// "above max" where the interval reaches beyond the sample.
std::pair<std::string, std::string> interval_text(std::pair<float, float> interval);

// The names joined by ", ", or "(none)".
std::string name_list(const std::vector<std::string>& names);

// The labels of VELMSTAT's fifteen rows as the text and HTML reports show
// them, and the keys of the JSON report.
extern const char* const kStatLabels[15];
extern const char* const kStatKeys[15];

}  // namespace velmsim
