#include "host/velmsim/report.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <limits>
#include <set>

#include <nlohmann/json.hpp>
#include <openssl/evp.h>

namespace velmsim {

const char* const kStatLabels[15] = {"Mean",       "Variance",  "Std. Dev.", "Skewness",
                                     "Kurtosis",   "Minimum",   "Maximum",   "Range",
                                     "Coef. Var.", "Count",     "Lower CLM", "Upper CLM",
                                     "Lower CLV",  "Upper CLV", "Sum Wts"};

std::string format(const char* f, ...) {
  char buffer[512];
  va_list args;
  va_start(args, f);
  std::vsnprintf(buffer, sizeof buffer, f, args);
  va_end(args);
  return buffer;
}

std::string six_digits(double x) { return std::isnan(x) ? "n/a" : format("%.6g", x); }

std::vector<double> listed_percentiles(const std::vector<double>& asked) {
  std::set<double> wanted(asked.begin(), asked.end());
  wanted.insert({5.0, 95.0});
  return {wanted.begin(), wanted.end()};
}

namespace {

std::string bar(double fraction, int width, char c) {
  const int n = static_cast<int>(std::lround(std::clamp(fraction, 0.0, 1.0) * width));
  return std::string(static_cast<std::size_t>(n), c);
}

// The fifteen statistics of data that never varied, as the library gives
// them for such data (it also prints a warning, which a report must not
// carry).
std::array<float, 15> constant_statistics(float c, int n) {
  return {c, 0, 0, 0, 0, c, c, 0, 0, static_cast<float>(n), c, c, 0, 0, 0};
}

// Each risk's and each listed column's part in the contingency of output o,
// by conditional tail expectation: the tail is the iterations whose output is
// at or above P80, and a column's excess is its mean over the tail less its
// mean over all iterations. The excesses of an output that is the sum of its
// columns add up to E[y | tail] - E[y], so shares are of that, and the P80
// contingency (P80 - mean) is allocated in the same proportions. The share of
// variance is a column's squared rank correlation over the sum of all
// columns' (a column that never varied counts 0).
void contingency_drivers(const Model& model, const Samples& s, const std::vector<float>& y,
                         const std::vector<float>& rho, OutputSummary& o) {
  const auto n = static_cast<std::size_t>(s.n);
  std::vector<bool> tail(n);
  double sum = 0.0, tail_sum = 0.0;
  for (std::size_t i = 0; i < n; ++i) {
    sum += y[i];
    tail[i] = y[i] >= o.p80;
    if (tail[i]) {
      tail_sum += y[i];
      ++o.tail;
    }
  }
  o.mean = sum / static_cast<double>(n);
  if (o.tail == 0) return;
  o.tail_excess = tail_sum / o.tail - o.mean;

  double rho2 = 0.0;
  for (float r : rho)
    if (!std::isnan(r)) rho2 += static_cast<double>(r) * r;
  const double nan = std::numeric_limits<double>::quiet_NaN();
  for (std::size_t c = 0; c < model.columns.size(); ++c) {
    const bool risk = model.inputs[model.columns[c].input].draw.dist == Dist::risk;
    const auto& listed = model.run.shares;
    if (!risk && std::find(listed.begin(), listed.end(), c) == listed.end()) continue;
    double all = 0.0, in_tail = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
      all += s.columns[c][i];
      if (tail[i]) in_tail += s.columns[c][i];
    }
    Driver d;
    d.name = model.columns[c].name;
    d.risk = risk;
    d.excess = in_tail / o.tail - all / static_cast<double>(n);
    d.share = o.tail_excess != 0.0 ? d.excess / o.tail_excess : nan;
    d.allocation = d.share * (static_cast<double>(o.p80) - o.mean);
    const double r = std::isnan(rho[c]) ? 0.0 : rho[c];
    d.variance_share = rho2 > 0.0 ? r * r / rho2 : nan;
    o.drivers.push_back(d);
  }
  std::stable_sort(o.drivers.begin(), o.drivers.end(),
                   [](const Driver& a, const Driver& b) { return a.excess > b.excess; });
}

}  // namespace

std::string sha256_hex(const std::string& data) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  EVP_Digest(data.data(), data.size(), digest, &length, EVP_sha256(), nullptr);
  std::string hex;
  for (unsigned int i = 0; i < length; ++i) hex += format("%02x", digest[i]);
  return hex;
}

Report summarise(const Model& model, const RunResult& run, const StatisticsExports& st,
                 int classes) {
  Report r;
  const Samples& s = run.samples;
  const int n = s.n;
  const auto n16 = static_cast<std::int16_t>(n);
  r.iterations = n;
  r.converged = run.converged;
  r.trace = run.trace;
  for (const Column& c : model.columns) r.columns.push_back(c.name);

  if (!model.correlation.empty()) {
    const RankCorrelation& rc = model.correlation;
    CorrelationSummary c;
    c.target = rc.target;
    c.given = rc.given;
    c.repaired = rc.repaired;
    c.largest_change = rc.largest_change;
    const std::size_t k = rc.columns.size();
    c.achieved.assign(k * k, 1.0f);
    for (std::size_t i = 0; i < k; ++i) {
      const std::vector<float>& x = s.columns[rc.columns[i]];
      c.names.push_back(model.columns[rc.columns[i]].name);
      for (std::size_t j = 0; j < i; ++j) {
        const std::vector<float>& y = s.columns[rc.columns[j]];
        const float rho = constant(x, n) || constant(y, n) ? std::numeric_limits<float>::quiet_NaN()
                                                           : st.spear(&n16, x.data(), y.data());
        c.achieved[i * k + j] = c.achieved[j * k + i] = rho;
      }
    }
    r.correlation = std::move(c);
  }

  for (std::size_t k = 0; k < model.outputs.size(); ++k) {
    OutputSummary o;
    o.name = model.outputs[k].name;
    o.formula = model.outputs[k].formula;
    o.base = model.outputs[k].base;
    o.target = model.outputs[k].target;
    o.currency = model.outputs[k].currency;
    const std::vector<float>& y = s.outputs[k];
    o.constant = constant(y, n);
    if (o.constant) {
      o.stat = constant_statistics(y[0], n);
    } else {
      const std::int16_t one = 1;
      st.stat(&n16, &one, y.data(), &n16, o.stat.data());
    }

    // Percentiles: the model's, 5 and 95, and those the report needs.
    std::vector<double> percent = listed_percentiles(model.run.percentiles);
    const std::size_t shown = percent.size();
    for (double extra : {1.0, 50.0, 80.0, 99.0}) percent.push_back(extra);
    for (int i = 0; i < 99; ++i) percent.push_back(0.5 + i);  // the S-curve
    std::vector<float> prop, q(percent.size());
    for (double p : percent) prop.push_back(static_cast<float>(p / 100.0));
    const auto count = static_cast<std::int16_t>(prop.size());
    st.qtil(&n16, y.data(), &count, prop.data(), q.data());
    for (std::size_t i = 0; i < shown; ++i) o.percentiles.emplace_back(percent[i], q[i]);
    o.p01 = q[shown];
    o.p50 = q[shown + 1];
    o.p80 = q[shown + 2];
    o.p99 = q[shown + 3];
    for (std::size_t i = shown + 4; i < q.size(); ++i) o.curve.emplace_back(q[i], prop[i]);

    auto share_below = [&](double limit) {
      const auto below = std::count_if(y.begin(), y.begin() + n,
                                       [limit](float v) { return static_cast<double>(v) <= limit; });
      return static_cast<double>(below) / n;
    };
    if (o.base) o.below_base = share_below(*o.base);
    if (o.target) o.below_target = share_below(*o.target);

    // Histogram between the 1st and 99th percentiles (the extremes when those
    // coincide); none for an output that never varied.
    o.low = o.p01;
    o.high = o.p99;
    if (!(o.low < o.high)) {
      o.low = o.stat[5];
      o.high = o.stat[6];
    }
    if (o.low < o.high) {
      const auto k16 = static_cast<std::int16_t>(classes + 2);
      o.marks.resize(static_cast<std::size_t>(k16));
      o.tally.resize(static_cast<std::size_t>(k16));
      st.hist(&n16, y.data(), &o.low, &o.high, &k16, o.marks.data(), o.tally.data());
    }

    // Tornado: Spearman correlation of every column with the output, ordered
    // by absolute value with VELMSORT (which sorts ascending).
    std::vector<float> rho(model.columns.size());
    for (std::size_t c = 0; c < model.columns.size(); ++c) {
      const bool flat = o.constant || constant(s.columns[c], n);
      rho[c] = flat ? std::numeric_limits<float>::quiet_NaN()
                    : st.spear(&n16, s.columns[c].data(), y.data());
    }
    std::vector<float> key(rho.size()), sorted(rho.size());
    for (std::size_t c = 0; c < rho.size(); ++c) key[c] = std::isnan(rho[c]) ? 0.0f : rho[c];
    std::vector<std::int16_t> perm(rho.size());
    const auto nc16 = static_cast<std::int16_t>(rho.size());
    st.sort(&nc16, key.data(), sorted.data(), perm.data());
    for (std::size_t i = rho.size(); i-- > 0;) {
      const auto c = static_cast<std::size_t>(perm[i] - 1);
      o.tornado.push_back({model.columns[c].name, rho[c]});
    }

    // Risk events.
    for (std::size_t j = 0; j < s.risks.size(); ++j) {
      const Input& in = model.inputs[s.risks[j]];
      RiskLine line;
      line.name = in.name;
      line.p = in.draw.arg[0];
      const auto occurred = std::count(s.occurred[j].begin(), s.occurred[j].begin() + n, 1);
      line.rate = static_cast<double>(occurred) / n;
      if (constant(s.impacts[j], n)) {
        line.mean_impact = s.impacts[j][0];
      } else {
        float stat[15] = {};
        const std::int16_t one = 1;
        st.stat(&n16, &one, s.impacts[j].data(), &n16, stat);
        line.mean_impact = stat[0];
      }
      for (std::size_t c = 0; c < model.columns.size(); ++c)
        if (model.columns[c].name == in.name) line.rho = rho[c];
      o.risks.push_back(line);
    }

    o.mean = y[0];
    if (!o.constant) contingency_drivers(model, s, y, rho, o);
    r.outputs.push_back(std::move(o));
  }
  return r;
}

std::string text_report(const Report& r) {
  std::string t;
  t += format("velmsim %s: %s\n", r.version.c_str(), r.model_name.c_str());
  t += "model file:  " + r.model_path + "\n";
  t += "sha-256:     " + r.model_sha256 + "\n";
  t += "sampling:    " + r.sampling_library + " (" + r.sampling_edition + " edition)\n";
  t += "statistics:  " + r.statistics_library + " (statistics edition)\n";
  t += format("seed:        %d%s\n", static_cast<int>(r.seed), r.clock_seed ? " (from the clock)" : "");
  t += r.one_stream ? "streams:     one stream seeded once, in one thread\n"
                    : "streams:     iteration i draws from seed * 16807^(65536 i) mod (2^31 - 1)\n";
  t += format("threads:     %d\n", r.threads);
  t += format("iterations:  %d (limit %d, blocks of %d)\n", r.iterations, r.limit, r.block);
  if (r.converged) {
    t += format("converged:   yes, every output's convergence error is below %g\n", r.tolerance);
  } else {
    t += format("converged:   no, the limit was reached before every output's convergence "
                "error fell below %g\n", r.tolerance);
  }

  if (const auto& c = r.correlation) {
    t += format("\nRank correlation of inputs: the target, induced by reordering each block of %d\n"
                "iterations, and the Spearman correlation achieved over all iterations\n",
                r.block);
    const std::size_t k = c->names.size();
    std::size_t width = 4;
    for (const std::string& name : c->names) width = std::max(width, name.size());
    const int w = static_cast<int>(2 * width + 3);
    t += format("  %-*s %8s %9s\n", w, "pair", "target", "achieved");
    for (std::size_t i = 0; i < k; ++i)
      for (std::size_t j = i + 1; j < k; ++j)
        t += format("  %-*s %8.3f %9s\n", w, (c->names[i] + " ~ " + c->names[j]).c_str(),
                    c->target(i, j),
                    std::isnan(c->achieved[i * k + j])
                        ? "n/a"
                        : format("%.3f", std::fabs(c->achieved[i * k + j]) < 5e-4f
                                             ? 0.0
                                             : static_cast<double>(c->achieved[i * k + j]))
                              .c_str());
    if (c->repaired)
      t += format("  (repaired: the file's matrix was not positive semi-definite; the nearest\n"
                  "  correlation matrix is used, largest change %.4g)\n", c->largest_change);
  }

  for (const OutputSummary& o : r.outputs) {
    const std::string money = o.currency.empty() ? "" : " " + o.currency;
    t += "\n== Output " + o.name + " = " + o.formula + "\n";
    if (o.constant) t += "(this output has the same value in every iteration)\n";
    t += "\nStatistics\n";
    for (int i = 0; i < kReportedStatistics; ++i) t += format("  %-12s %16s\n", kStatLabels[i], six_digits(o.stat[static_cast<std::size_t>(i)]).c_str());

    t += "\nPercentiles\n";
    for (const auto& [p, v] : o.percentiles) t += format("  P%-4g %16s\n", p, six_digits(v).c_str());

    if (o.base || o.target) {
      t += "\nAgainst base and target\n";
      if (o.base) {
        const double b = *o.base;
        t += format("  base            %16s%s\n", six_digits(b).c_str(), money.c_str());
        for (const auto& [label, v] : {std::pair<const char*, float>{"P50", o.p50}, {"P80", o.p80}}) {
          const double c = static_cast<double>(v) - b;
          t += format("  %s - base      %16s%s", label, six_digits(c).c_str(), money.c_str());
          t += b != 0 ? format("  (%+.1f %% of base)\n", 100.0 * c / b) : "\n";
        }
        t += format("  %-24s %8.1f %%\n", ("P(" + o.name + " <= base)").c_str(), 100.0 * *o.below_base);
      }
      if (o.target) {
        t += format("  target          %16s%s\n", six_digits(*o.target).c_str(), money.c_str());
        t += format("  %-24s %8.1f %%\n", ("P(" + o.name + " <= target)").c_str(), 100.0 * *o.below_target);
      }
    }

    if (!o.tally.empty()) {
      const std::size_t k = o.tally.size();
      t += format("\nHistogram (%zu classes between %s and %s)\n", k - 2, six_digits(o.low).c_str(), six_digits(o.high).c_str());
      const float largest = *std::max_element(o.tally.begin(), o.tally.end());
      const double width = (static_cast<double>(o.high) - o.low) / static_cast<double>(k - 2);
      for (std::size_t i = 0; i < k; ++i) {
        std::string range;
        if (i == 0) range = format("%11s %-14s", "up to", six_digits(o.low).c_str());
        else if (i == k - 1) range = format("%11s %-14s", "above", six_digits(o.high).c_str());
        else {
          const double from = o.low + static_cast<double>(i - 1) * width;
          range = format("%11s to %-11s", six_digits(from).c_str(), six_digits(from + width).c_str());
        }
        t += format("  %s %6.0f %s\n", range.c_str(), static_cast<double>(o.tally[i]),
                    bar(largest > 0 ? o.tally[i] / largest : 0.0, 40, '#').c_str());
      }
    }

    t += "\nTornado: Spearman rank correlation of each input with " + o.name + "\n";
    if (o.constant) t += "  (none: " + o.name + " never varied)\n";
    for (const Correlation& c : o.constant ? std::vector<Correlation>{} : o.tornado) {
      if (std::isnan(c.rho)) {
        t += format("  %-18s %7s (never varied)\n", c.name.c_str(), "n/a");
        continue;
      }
      const double v = c.rho;
      t += format("  %-18s %+7.3f %20s|%-20s\n", c.name.c_str(), v,
                  v < 0 ? bar(-v, 20, '=').c_str() : "", v > 0 ? bar(v, 20, '=').c_str() : "");
    }

    if (!o.risks.empty()) {
      t += "\nRisk events\n";
      t += format("  %-18s %8s %9s %14s %14s %7s\n", "event", "p", "observed", "mean impact",
                  "p x impact", "rho");
      for (const RiskLine& k : o.risks)
        t += format("  %-18s %8.4g %9.4f %14s %14s %7s\n", k.name.c_str(), static_cast<double>(k.p),
                    k.rate, six_digits(k.mean_impact).c_str(),
                    six_digits(static_cast<double>(k.p) * k.mean_impact).c_str(),
                    std::isnan(k.rho) ? "n/a" : format("%+.3f", static_cast<double>(k.rho)).c_str());
    }

    t += "\nContingency drivers: each one's part in the iterations at or above P80\n";
    if (o.constant) {
      t += "  (none: " + o.name + " never varied)\n";
    } else if (o.drivers.empty()) {
      t += "  (none: the model has no risk events and names no inputs in [run] shares)\n";
    } else {
      t += format("  tail: the %d iterations with %s >= P80%s\n", o.tail, o.name.c_str(),
                  o.tail_excess == 0.0 ? ", which is every one: nothing to share" : "");
      t += format("  tail mean - mean  %16s%s   (what the shares divide)\n",
                  six_digits(o.tail_excess).c_str(), money.c_str());
      t += format("  P80 - mean        %16s%s   (allocated by share)\n",
                  six_digits(static_cast<double>(o.p80) - o.mean).c_str(), money.c_str());
      t += format("  %-18s %-5s %14s %8s %16s %10s\n", "driver", "kind", "tail excess", "share",
                  "P80 allocation", "var. share");
      auto percent = [](double x) {
        return std::isnan(x) ? std::string("n/a") : format("%.1f %%", 100.0 * x);
      };
      for (const Driver& d : o.drivers)
        t += format("  %-18s %-5s %14s %8s %16s %10s\n", d.name.c_str(), d.risk ? "risk" : "input",
                    six_digits(d.excess).c_str(), percent(d.share).c_str(), six_digits(d.allocation).c_str(),
                    percent(d.variance_share).c_str());
    }
  }

  t += format("\nConvergence: after each block, each output's convergence error (VELMCNVERR;\n"
              "n/a until there are two blocks), against the tolerance %g\n", r.tolerance);
  t += format("  %10s", "iterations");
  for (const OutputSummary& o : r.outputs) t += format(" %14s", o.name.c_str());
  t += "\n";
  for (const Checkpoint& c : r.trace) {
    t += format("  %10d", c.n);
    for (float e : c.error) t += format(" %14s", six_digits(e).c_str());
    t += "\n";
  }
  return t;
}

namespace {
// JSON with single-precision numbers, written in the shortest form that reads
// back as the same float; keys in the order written.
using Json = nlohmann::basic_json<nlohmann::ordered_map, std::vector, std::string, bool,
                                  std::int64_t, std::uint64_t, float>;
Json number(double x) { return std::isnan(x) ? Json(nullptr) : Json(static_cast<float>(x)); }
}  // namespace

std::string json_report(const Report& r) {
  Json j;
  j["velmsim"] = r.version;
  j["model"] = {{"file", r.model_path}, {"sha256", r.model_sha256}, {"name", r.model_name},
                {"currency", r.currency},
                {"base", r.base ? number(*r.base) : Json(nullptr)},
                {"target", r.target ? number(*r.target) : Json(nullptr)}};
  j["libraries"] = {{"sampling", r.sampling_library}, {"sampling_edition", r.sampling_edition},
                    {"statistics", r.statistics_library}};
  j["run"] = {{"seed", r.seed}, {"clock_seed", r.clock_seed}, {"one_stream", r.one_stream},
              {"threads", r.threads}, {"iterations", r.iterations}, {"limit", r.limit},
              {"block", r.block}, {"tolerance", static_cast<float>(r.tolerance)},
              {"converged", r.converged}};
  j["columns"] = r.columns;
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
    Json out;
    out["name"] = o.name;
    out["formula"] = o.formula;
    out["constant"] = o.constant;
    out["currency"] = o.currency;
    out["base"] = o.base ? number(*o.base) : Json(nullptr);
    out["target"] = o.target ? number(*o.target) : Json(nullptr);
    Json stats = Json::object();
    for (int i = 0; i < kReportedStatistics; ++i) stats[kStatLabels[i]] = number(o.stat[static_cast<std::size_t>(i)]);
    out["statistics"] = stats;
    Json pct = Json::array();
    for (const auto& [p, v] : o.percentiles) pct.push_back({{"percent", static_cast<float>(p)}, {"value", v}});
    out["percentiles"] = pct;
    out["p50"] = o.p50;
    out["p80"] = o.p80;
    if (o.base) {
      out["contingency"] = {{"p50_minus_base", number(o.p50 - *o.base)},
                            {"p80_minus_base", number(o.p80 - *o.base)},
                            {"p50_percent_of_base", *o.base != 0 ? number(100.0 * (o.p50 - *o.base) / *o.base) : Json(nullptr)},
                            {"p80_percent_of_base", *o.base != 0 ? number(100.0 * (o.p80 - *o.base) / *o.base) : Json(nullptr)}};
      out["probability_below_base"] = number(*o.below_base);
    }
    if (o.target) out["probability_below_target"] = number(*o.below_target);
    out["histogram"] = {{"low", o.low}, {"high", o.high}, {"marks", o.marks}, {"tally", o.tally}};
    Json curve = Json::array();
    for (const auto& [v, p] : o.curve) curve.push_back({v, p});
    out["s_curve"] = curve;
    Json tornado = Json::array();
    for (const Correlation& c : o.tornado) tornado.push_back({{"input", c.name}, {"rho", number(c.rho)}});
    out["tornado"] = tornado;
    Json risks = Json::array();
    for (const RiskLine& k : o.risks)
      risks.push_back({{"event", k.name}, {"p", k.p}, {"observed_rate", number(k.rate)},
                       {"mean_impact", k.mean_impact},
                       {"expected_impact", number(static_cast<double>(k.p) * k.mean_impact)},
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
    trace.push_back(e);
  }
  j["convergence"] = trace;
  return j.dump(2) + "\n";
}

std::string csv_rows(const Model& model, const Samples& s) {
  std::string t = "iteration";
  for (const Column& c : model.columns) t += "," + c.name;
  for (const Output& o : model.outputs) t += "," + o.name;
  t += "\n";
  for (int i = 0; i < s.n; ++i) {
    const auto u = static_cast<std::size_t>(i);
    t += std::to_string(i + 1);
    for (const auto& c : s.columns) t += format(",%.9g", static_cast<double>(c[u]));
    for (const auto& o : s.outputs) t += format(",%.9g", static_cast<double>(o[u]));
    t += "\n";
  }
  return t;
}

}  // namespace velmsim
