// The JSON reports, with single-precision numbers written in the shortest
// form that reads back as the same float, and keys in the order written.
#include <cmath>

#include <nlohmann/json.hpp>

#include "host/velmsim/model/calendar.h"
#include "host/velmsim/render/format.h"
#include "host/velmsim/render/render.h"

namespace velmsim {

namespace {

using Json = nlohmann::basic_json<nlohmann::ordered_map, std::vector, std::string, bool,
                                  std::int64_t, std::uint64_t, float>;
Json number(double x) { return std::isnan(x) ? Json(nullptr) : Json(static_cast<float>(x)); }

Json histogram(const Histogram& h) {
  return {{"low", h.low}, {"high", h.high}, {"marks", h.marks}, {"tally", h.tally}};
}

Json s_curve(const Spread& s) {
  Json curve = Json::array();
  for (const auto& [v, p] : s.curve) curve.push_back({v, p});
  return curve;
}

Json percentiles(const std::vector<std::pair<double, float>>& list) {
  Json pct = Json::array();
  for (const auto& [p, v] : list) pct.push_back({{"percent", static_cast<float>(p)}, {"value", v}});
  return pct;
}

// A variable's name, and its label and unit when the model gives them.
Json naming(const Naming& v) {
  Json j = {{"name", v.name}};
  if (!v.label.empty()) j["label"] = v.label;
  if (!v.unit.empty()) j["unit"] = v.unit;
  return j;
}

Json side_json(const CompareSide& s) {
  return {{"file", s.path}, {"sha256", s.sha256}, {"name", s.name}};
}

Json output_side(const std::string& formula, const Spread& o) {
  return {{"formula", formula}, {"mean", o.stat[0]}, {"p50", o.p50}, {"p80", o.p80},
          {"minimum", o.stat[5]}, {"maximum", o.stat[6]}, {"s_curve", s_curve(o)}};
}

}  // namespace

std::string json_report(const Report& r) {
  Json j;
  j["format"] = "velmsim-report";
  j["version"] = 2;
  j["velmsim"] = r.version;
  j["model"] = {{"file", r.model_path}, {"sha256", r.model_sha256}, {"name", r.model_name},
                {"currency", r.currency},
                {"base", r.base ? number(*r.base) : Json(nullptr)},
                {"target", r.target ? number(*r.target) : Json(nullptr)},
                {"constants", Json::array()}};
  for (const Constant& c : r.constants)
    j["model"]["constants"].push_back(
        {{"name", c.name},
         {"expression", c.expression.empty() ? Json(nullptr) : Json(c.expression)},
         {"value", c.value}});
  j["libraries"] = {{"sampling", r.libraries.sampling},
                    {"sampling_edition", r.libraries.sampling_edition},
                    {"statistics", r.libraries.statistics}};
  j["run"] = {{"seed", r.seed}, {"clock_seed", r.clock_seed}, {"one_stream", r.one_stream},
              {"threads", r.threads}, {"iterations", r.iterations}, {"limit", r.limit},
              {"block", r.block}, {"tolerance", static_cast<float>(r.tolerance)},
              {"precision", r.precision ? Json(*r.precision) : Json(nullptr)},
              {"converged", r.converged}};
  Json columns = Json::array(), inputs = Json::array();
  for (const Naming& c : r.columns) {
    columns.push_back(c.name);
    inputs.push_back(naming(c));
  }
  j["columns"] = columns;
  j["inputs"] = inputs;
  if (const auto& n = r.network) {
    Json tasks = Json::array();
    for (const TaskLine& k : n->tasks)
      tasks.push_back({{"task", k.name}, {"criticality", number(k.criticality)},
                       {"cruciality", number(k.cruciality)}, {"ssi", number(k.sensitivity)},
                       {"mean_finish", number(k.mean_finish)}, {"p80_finish", number(k.p80_finish)},
                       {"existed", number(k.existed)}, {"clamped", k.clamped}});
    Json risks = Json::array();
    for (const RiskElimination& e : n->risks)
      risks.push_back({{"risk", e.name}, {"p", e.p}, {"observed_rate", number(e.rate)},
                       {"p80_finish_without", number(e.p80_finish)},
                       {"p80_finish_fall", number(e.finish_fall)},
                       {"p80_cost_without", number(e.p80_cost)},
                       {"p80_cost_fall", number(e.cost_fall)},
                       {"probability_below_target_without",
                        e.below_target ? number(*e.below_target) : Json(nullptr)}});
    Json joint = nullptr;
    if (const auto& jc = n->joint) {
      Json frontier = Json::array();
      for (const auto& [finish, budget] : jc->frontier)
        frontier.push_back({{"finish", finish}, {"budget", number(budget)}});
      joint = {{"jcl", jc->jcl ? number(*jc->jcl) : Json(nullptr)},
               {"confidence", number(jc->confidence)}, {"frontier", frontier}};
    }
    Json cash = nullptr;
    if (const auto& c = n->cash) {
      cash = Json::array();
      for (std::size_t b = 0; b < c->ends.size(); ++b)
        cash.push_back({{"end", number(c->ends[b])},
                        {"date", c->end_dates.empty() ? Json(nullptr) : Json(date_text(c->end_dates[b]))},
                        {"p10", c->p10[b]}, {"p50", c->p50[b]}, {"p90", c->p90[b]}});
    }
    j["schedule"] = {{"start", n->start ? Json(date_text(*n->start)) : Json(nullptr)},
                     {"file", n->file.empty() ? Json(nullptr) : Json(n->file)},
                     {"cash_flow", cash},
                     {"plan_finish", number(n->plan_finish)},
                     {"plan_confidence", number(n->plan_confidence)},
                     {"p80_finish", number(n->p80_finish)},
                     {"tasks", tasks},
                     {"risks", risks},
                     {"joint_confidence", joint}};
  }
  Json draws = Json::array();
  for (const DrawLine& d : r.draws) {
    Json line = {{"draw", d.note.who}, {"solved", d.note.solved}};
    if (d.note.truncate) {
      line["truncate"] = {number((*d.note.truncate)[0]), number((*d.note.truncate)[1])};
      line["kept"] = d.note.kept;
      line["redraws"] = d.redraws;
    }
    draws.push_back(line);
  }
  j["draws"] = draws;
  if (const auto& c = r.correlation) {
    const std::size_t k = c->names.size();
    auto rows = [k](auto at) {
      Json m = Json::array();
      for (std::size_t i = 0; i < k; ++i) {
        Json row = Json::array();
        for (std::size_t j = 0; j < k; ++j) row.push_back(at(i, j));
        m.push_back(row);
      }
      return m;
    };
    j["correlation"] = {
        {"inputs", c->names},
        {"target", rows([&](std::size_t i, std::size_t jj) { return Json(c->target(i, jj)); })},
        {"achieved",
         rows([&](std::size_t i, std::size_t jj) { return number(c->achieved[i * k + jj]); })},
        {"repaired", c->repaired},
        {"given", rows([&](std::size_t i, std::size_t jj) { return Json(c->given(i, jj)); })},
        {"largest_change", c->largest_change}};
  } else {
    j["correlation"] = nullptr;
  }
  Json outputs = Json::array();
  for (const OutputSummary& o : r.outputs) {
    Json out = naming(o);
    out["formula"] = o.formula;
    out["constant"] = o.constant;
    out["currency"] = o.currency;
    out["base"] = o.base ? number(*o.base) : Json(nullptr);
    out["target"] = o.target ? number(*o.target) : Json(nullptr);
    Json stats = Json::object();
    Json missing = Json::object();
    for (std::size_t i = 0; i < std::size_t{kReportedStatistics}; ++i) {
      stats[kStatKeys[i]] = number(o.stat[i]);
      if (o.why[i]) missing[kStatKeys[i]] = o.why[i];
    }
    out["statistics"] = stats;
    out["missing"] = missing;
    Json listed = percentiles(o.percentiles);
    for (std::size_t i = 0; i < listed.size(); ++i) {
      // null where the interval reaches beyond the sample
      auto end = [](float x) { return std::isinf(x) ? Json(nullptr) : Json(x); };
      listed[i]["interval_95"] = {end(o.intervals[i].first), end(o.intervals[i].second)};
    }
    out["percentiles"] = listed;
    out["p50"] = o.p50;
    out["p80"] = o.p80;
    if (const auto& b = o.against_base) {
      auto optional = [](const std::optional<double>& x) { return x ? number(*x) : Json(nullptr); };
      out["contingency"] = {{"p50_minus_base", number(b->p50_minus_base)},
                            {"p80_minus_base", number(b->p80_minus_base)},
                            {"p50_percent_of_base", optional(b->p50_percent)},
                            {"p80_percent_of_base", optional(b->p80_percent)}};
      out["probability_below_base"] = number(b->below);
    }
    if (o.below_target) out["probability_below_target"] = number(*o.below_target);
    out["histogram"] = histogram(o.histogram);
    out["s_curve"] = s_curve(o);
    Json tornado = Json::array();
    for (const Correlation& c : o.tornado) tornado.push_back({{"input", c.name}, {"rho", number(c.rho)}});
    out["tornado"] = tornado;
    Json risks = Json::array();
    for (const RiskLine& k : o.risks)
      risks.push_back({{"event", k.name}, {"p", k.p}, {"observed_rate", number(k.rate)},
                       {"mean_impact", k.mean_impact},
                       {"expected_impact", number(k.expected_impact)},
                       {"rho", number(k.rho)}});
    out["risks"] = risks;
    Json drivers = Json::array();
    for (const Driver& d : o.drivers)
      drivers.push_back({{"name", d.name}, {"kind", d.risk ? "risk" : "input"},
                         {"excess", number(d.excess)}, {"share", number(d.share)},
                         {"p80_allocation", number(d.allocation)},
                         {"variance_share", number(d.variance_share)}});
    out["contingency_drivers"] = drivers;
    outputs.push_back(out);
  }
  j["outputs"] = outputs;
  Json trace = Json::array();
  for (const Checkpoint& c : r.trace) {
    Json e = {{"iterations", c.n}};
    Json err = Json::array(), mean = Json::array(), p80 = Json::array();
    for (std::size_t k = 0; k < c.error.size(); ++k) {
      err.push_back(number(c.error[k]));
      mean.push_back(c.mean[k]);
      p80.push_back(c.p80[k]);
    }
    e["error"] = err;
    e["mean"] = mean;
    e["p80"] = p80;
    if (r.precision) {
      Json widest = Json::array();
      for (double w : c.precision) widest.push_back(std::isfinite(w) ? number(w) : Json(nullptr));
      e["widest_interval_sd"] = widest;
    }
    trace.push_back(e);
  }
  j["convergence"] = trace;
  return j.dump(2) + "\n";
}

std::string compare_json(const Comparison& c) {
  Json j;
  j["format"] = "velmsim-comparison";
  j["version"] = 2;
  j["velmsim"] = c.version;
  j["a"] = side_json(c.a);
  j["b"] = side_json(c.b);
  j["libraries"] = {{"sampling", c.libraries.sampling}, {"statistics", c.libraries.statistics}};
  j["run"] = {{"seed", c.seed}, {"clock_seed", c.clock_seed}, {"threads", c.threads},
              {"iterations", c.iterations}, {"block", c.block}};
  j["not_used"] = c.unused;
  j["common_random_numbers"] = {{"same_values", c.shared.same_values},
                                {"reordered", c.shared.reordered},
                                {"same_start", c.shared.same_start},
                                {"unpaired_a", c.shared.unmatched_a},
                                {"unpaired_b", c.shared.unmatched_b}};
  Json outputs = Json::array();
  for (const OutputComparison& o : c.outputs) {
    const DifferenceSummary& d = o.difference;
    Json out;
    out["name"] = o.name;
    out["currency"] = o.currency;
    out["a"] = output_side(o.formula_a, o.a);
    out["b"] = output_side(o.formula_b, o.b);
    out["difference"] = {{"overflow", d.overflow},
                         {"constant", d.constant},
                         {"mean", d.mean},
                         {"sd", d.sd},
                         {"minimum", d.min},
                         {"maximum", d.max},
                         {"percentiles", percentiles(d.percentiles)},
                         {"probability_b_greater", static_cast<float>(d.b_greater)},
                         {"histogram", histogram(d.histogram)}};
    outputs.push_back(out);
  }
  j["outputs"] = outputs;
  j["only_in_a"] = c.only_a;
  j["only_in_b"] = c.only_b;
  return j.dump(2) + "\n";
}

}  // namespace velmsim
