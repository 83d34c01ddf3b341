// Sections of the run's HTML page: a schedule's, and an output's
// contingency drivers.
#pragma once

#include <string>

#include "host/velmsim/analysis/report.h"

namespace velmsim {

// The schedule's figures, the most critical tasks (chart and table), the
// joint confidence of cost and finish and the cash flow, for a report whose
// model has tasks.
std::string schedule_section(const Report& r);

// The P80 allocation chart of an output's drivers and their table; `network`
// when the model's schedule ranks its own risks.
std::string drivers_section(const OutputSummary& o, const std::string& money, bool network);

}  // namespace velmsim
