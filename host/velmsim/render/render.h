// The reports: a run's as text, JSON, CSV and one HTML page, a comparison's
// as text, JSON and one HTML page. Each reads the analysis and computes no
// figure of its own.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "host/velmsim/analysis/compare.h"
#include "host/velmsim/analysis/report.h"
#include "host/velmsim/engine/samples.h"
#include "host/velmsim/model/import_network.h"
#include "host/velmsim/model/model.h"
#include "host/velmsim/plan/imported_plan.h"

namespace velmsim {

std::string text_report(const Report& r);
// The JSON report: "format": "velmsim-report", "version": 2, identifier keys.
std::string json_report(const Report& r);
std::string html_report(const Report& r);
// One row per iteration: the iteration (from 1), every column, every output,
// with 9 significant digits so that each single-precision value reads back
// exactly. Passed to `out` in pieces of about 64 KiB, the header first, so
// that a run of any size is written without holding the whole file; the
// second form returns it as one string.
void csv_rows(const Model& model, const Samples& samples,
              const std::function<void(std::string_view)>& out);
std::string csv_rows(const Model& model, const Samples& samples);
// A CSV field: quoted, its quotes doubled, when it holds a comma, a quote or
// a line break.
std::string csv_field(const std::string& s);

// A schedule read from a scheduling program's file, converted: its plan as
// velmsim dates it, one row per task (id, name, start, finish as local
// date-times); and its network as a velmsim model, to which uncertainty can
// be added by hand.
std::string schedule_plan_csv(const ScheduleFile& f, const std::vector<PlannedTask>& plan);
std::string schedule_model_toml(const ScheduleFile& f, const ImportedNetwork& n,
                                const std::string& name);

std::string compare_text(const Comparison& c);
std::string compare_json(const Comparison& c);
std::string compare_html(const Comparison& c);

}  // namespace velmsim
