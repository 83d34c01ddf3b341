// Number and text formatting for the reports.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "host/velmsim/model/model.h"

namespace velmsim {

// printf-style formatting into a string of any length.
std::string format(const char* f, ...) __attribute__((format(printf, 1, 2)));

// A number with six significant digits, or "n/a" for NaN.
std::string six_digits(double x);

// The ends of a percentile's interval, six digits each, or "below min" and
// "above max" where the interval reaches beyond the sample.
std::pair<std::string, std::string> interval_text(std::pair<float, float> interval);

// A span of working days from a schedule's start, six digits, and with the
// date it ends on when the schedule has a start: "151.2 working days
// (2027-10-05)".
std::string working_days_text(const Schedule& schedule, double days);

// A constant as the report headers show it: "rate = 0.08", or with its
// expression "after_tax = 1 - tax = 0.75"; the value in the shortest form
// that reads back as the same double.
std::string constant_text(const Constant& c);

// The names joined by ", ", or "(none)".
std::string name_list(const std::vector<std::string>& names);

// The labels of VELMSTAT's fifteen rows as the text and HTML reports show
// them, and the keys of the JSON report.
extern const char* const kStatLabels[15];
extern const char* const kStatKeys[15];

}  // namespace velmsim
