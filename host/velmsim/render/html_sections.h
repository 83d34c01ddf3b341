// Sections of the run's HTML page: a schedule's, and an output's
// contingency drivers.
#pragma once

#include <string>

#include "host/velmsim/analysis/report.h"
#include "host/velmsim/render/format.h"
#include "host/velmsim/render/html_page.h"

namespace velmsim {

// The schedule's figures, the most critical tasks (chart and table), the
// joint confidence of cost and finish and the cash flow, for a report whose
// model has tasks.
std::string schedule_section(const Report& r);

// The P80 allocation chart of an output's first `rows` drivers and their
// table; `network` when the model's schedule ranks its own risks.
std::string drivers_section(const OutputSummary& o, const std::string& money, bool network,
                            std::size_t rows);

// The note under a chart or table that leaves rows out.
std::string left_out_note(std::size_t shown, std::size_t total, const char* what,
                          const char* first);

// The frame of a chart of one bar per row (the tornado, the drivers), as
// tall as its rows, its left margin holding their names (labels).
template <typename Row>
page::Frame bar_frame(const std::vector<Row>& rows, double right) {
  std::vector<std::string> names;
  for (const Row& row : rows) names.push_back(short_name(row));
  page::Frame f;
  f.left = page::name_margin(names);
  f.right = right;
  f.height = f.top + f.bottom + 8 + 26.0 * static_cast<double>(rows.size());
  return f;
}

}  // namespace velmsim
