// Number and text formatting for the reports.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "host/velmsim/analysis/report.h"
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

// A truncated draw's range, its share of the distribution and the redraws
// it took: "truncated to [0, inf] (74.8 % of the distribution): 2704
// redraws in 8000 iterations"; "" for a draw that is not truncated.
std::string truncation_text(const DrawNote& note, std::uint64_t redraws, int iterations);

// A constant as the report headers show it: "rate = 0.08", or with its
// expression "after_tax = 1 - tax = 0.75"; the value in the shortest form
// that reads back as the same double.
std::string constant_text(const Constant& c);

// The lines of a correlation's pairs as the reports list them: each pair
// with its target and achieved correlation ("n/a" for a variable that never
// varied); or, when there are more than 20 pairs, each target that over five
// pairs share as one line, "54 pairs, each", with the range achieved over
// them ("0.291 to 0.307"), when those pairs are most pairs of a set of
// variables (a correlation group's) or uncorrelated.
struct PairLine {
  std::string pair;
  double target = 0;
  std::string achieved;
  std::size_t pairs = 1;  // the pairs the line stands for
};
std::vector<PairLine> correlation_lines(const CorrelationSummary& c);

// The names joined by ", ", or "(none)".
std::string name_list(const std::vector<std::string>& names);

// A variable as the reports title it: "Labour cost (labour)" when it has a
// label, else its name; `with_unit` adds ", k$" when it has a unit.
std::string titled(const Naming& v, bool with_unit = false);
// The short form a chart's bar or axis shows: its label, else its name.
const std::string& short_name(const Naming& v);

// The characters of a UTF-8 text; and the text followed by spaces up to
// `width` characters, for a column of a text table (printf pads bytes).
std::size_t characters(const std::string& s);
std::string padded(const std::string& s, std::size_t width);

// How many of `total` rows (a tornado's, the drivers') a report shows when
// it shows at most `cap`, 0 meaning all.
std::size_t shown_rows(int cap, std::size_t total);
// What a report says when it leaves rows out: "20 of 500 inputs shown, the
// strongest" (`what` "inputs", `first` "the strongest").
std::string rows_left_out(std::size_t shown, std::size_t total, const char* what,
                          const char* first);

// The labels of VELMSTAT's fifteen rows as the text and HTML reports show
// them, and the keys of the JSON report.
extern const char* const kStatLabels[15];
extern const char* const kStatKeys[15];

}  // namespace velmsim
