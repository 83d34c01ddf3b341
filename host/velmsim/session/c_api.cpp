// The C API of libvelmsim (velmsim_api.h) over Session and CompareSession.
// Nothing escapes it as an exception: a failure is a status and a message.
#include <atomic>
#include <memory>
#include <new>

#include <nlohmann/json.hpp>

#include "host/loader/library.h"
#include "host/velmsim/render/render.h"
#include "host/velmsim/render/sample_table.h"
#include "host/velmsim/session/session.h"
#include "host/velmsim/session/velmsim_api.h"

using namespace velmsim;
using Json = nlohmann::json;

struct velmsim_session {
  int status = VELMSIM_OK;
  std::unique_ptr<Session> run;
  std::unique_ptr<CompareSession> compare;
  std::string messages;  // of an option or a library that cannot serve
  std::vector<SampleColumn> columns;
  std::atomic<bool> interrupt{false};
  std::string text;  // the last text returned
};

namespace {

// The options of `options_json` as the command line's overrides; a message
// for the first that cannot be taken.
std::optional<std::string> read_options(const char* options_json, Overrides& o) {
  if (options_json == nullptr) return std::nullopt;
  const Json j = Json::parse(options_json, nullptr, false);
  if (!j.is_object()) return "the options must be a JSON object";
  auto whole = [&](const std::string& key, std::int64_t lo, std::int64_t hi) -> std::optional<std::string> {
    const Json& v = j.at(key);
    if (!v.is_number_integer() || v.get<std::int64_t>() < lo || v.get<std::int64_t>() > hi)
      return key + " must be a whole number from " + std::to_string(lo) + " to " + std::to_string(hi) +
             ", not " + v.dump();
    return std::nullopt;
  };
  auto positive = [&](const std::string& key) -> std::optional<std::string> {
    const Json& v = j.at(key);
    if (!v.is_number() || !(v.get<double>() > 0) || !std::isfinite(v.get<double>()))
      return key + " must be a number greater than 0, not " + v.dump();
    return std::nullopt;
  };
  for (const auto& [key, v] : j.items()) {
    std::optional<std::string> bad;
    if (key == "iterations" || key == "block") {
      if (!(bad = whole(key, 2, 32767))) (key == "block" ? o.block : o.iterations) = v.get<int>();
    } else if (key == "seed") {
      if (!(bad = whole(key, 0, 2147483646))) o.seed = v.get<std::int32_t>();
    } else if (key == "classes") {
      if (!(bad = whole(key, 1, 200))) o.classes = v.get<int>();
    } else if (key == "threads") {
      if (!(bad = whole(key, 1, 64))) o.threads = v.get<int>();
    } else if (key == "tolerance" || key == "precision") {
      if (!(bad = positive(key))) (key == "tolerance" ? o.tolerance : o.precision) = v.get<double>();
    } else if (key == "percentiles") {
      if (!v.is_array()) bad = "percentiles must be a list of numbers between 0 and 100";
      for (const Json& p : v)
        if (!bad && !(p.is_number() && p.get<double>() > 0 && p.get<double>() < 100))
          bad = "each percentile must be a number between 0 and 100, not " + p.dump();
      if (!bad) o.percentiles = v.get<std::vector<double>>();
    } else if (key == "tornado") {
      if (v == "all") o.tornado = 0;
      else if (!(bad = whole(key, 1, 1 << 30))) o.tornado = v.get<int>();
    } else if (key == "sampler") {
      if (v != "threaded" && v != "stats") bad = "sampler must be \"threaded\" or \"stats\", not " + v.dump();
      else o.sampler = v == "stats" ? Sampler::stats : Sampler::threaded;
    } else if (key == "one_stream" || key == "repair") {
      if (!v.is_boolean()) bad = key + " must be true or false, not " + v.dump();
      else (key == "repair" ? o.repair : o.one_stream) = v.get<bool>();
    } else {
      bad = "unknown option '" + key + "'";
    }
    if (bad) return bad;
  }
  if (o.sampler == Sampler::stats && o.threads > 1)
    return std::string("the statistics edition samples in one thread: leave out threads");
  if (o.one_stream && o.threads > 1) return std::string("one_stream draws in one thread; leave out threads");
  return std::nullopt;
}

std::optional<std::string> text_of(const char* text) {
  return text ? std::optional<std::string>(text) : std::nullopt;
}

void add_entries(Json& list, const Diagnostics& d, const std::string& model) {
  for (const Diagnostic& e : d.entries())
    list.push_back({{"file", d.path_of(e, model)},
                    {"line", e.at.line},
                    {"column", e.at.column},
                    {"message", e.message + (e.where.empty() ? "" : " (" + e.where + ")")},
                    {"warning", e.warning}});
}

// Runs `f`, turning what it throws into the session's status and message.
template <typename F>
int guarded(velmsim_session* s, F f) {
  try {
    s->status = f();
  } catch (const velm_host::LoadError& e) {
    s->status = VELMSIM_LOAD_ERROR;
    s->messages = std::string("velmsim: error: ") + e.what() + "\n";
  } catch (const std::exception& e) {  // beyond a limit of the statistics, out of memory
    s->status = VELMSIM_RUN_ERROR;
    s->messages = std::string("velmsim: error: ") + e.what() + "\n";
  }
  return s->status;
}

int outcome_status(Session::Outcome o) {
  return o == Session::Outcome::done     ? VELMSIM_OK
         : o == Session::Outcome::failed ? VELMSIM_RUN_ERROR
                                         : VELMSIM_INTERRUPTED;
}

// A new session with the options of `options_json`, then `open(session,
// overrides)` for its status; null only when memory runs out.
template <typename F>
velmsim_session* opened(const char* options_json, F open) {
  auto* s = new (std::nothrow) velmsim_session;
  if (s == nullptr) return nullptr;
  guarded(s, [&]() -> int {
    Overrides o;
    if (const auto bad = read_options(options_json, o)) {
      s->messages = "velmsim: error: " + *bad + "\n";
      return VELMSIM_OPTION_ERROR;
    }
    return open(s, o);
  });
  return s;
}

}  // namespace

extern "C" {

velmsim_session* velmsim_open(const char* path, const char* text, const char* options_json) {
  return opened(options_json, [&](velmsim_session* s, const Overrides& o) -> int {
    s->run = std::make_unique<Session>(path ? path : "model.toml", text_of(text), o);
    return s->run->ok() ? VELMSIM_OK : VELMSIM_MODEL_ERROR;
  });
}

velmsim_session* velmsim_compare(const char* path_a, const char* text_a, const char* path_b,
                                 const char* text_b, const char* options_json,
                                 const char* stats_library, const char* threaded_library) {
  return opened(options_json, [&](velmsim_session* s, const Overrides& o) -> int {
    s->compare = std::make_unique<CompareSession>(path_a ? path_a : "a.toml", text_of(text_a),
                                                  path_b ? path_b : "b.toml", text_of(text_b), o);
    if (!s->compare->ok()) return VELMSIM_MODEL_ERROR;
    return outcome_status(s->compare->run(stats_library, threaded_library, {}, &s->interrupt));
  });
}

int velmsim_status(const velmsim_session* s) { return s->status; }

const char* velmsim_messages(const velmsim_session* s) {
  auto& text = const_cast<velmsim_session*>(s)->text;
  text = s->messages;
  if (s->run) text += s->run->messages() + s->run->run_messages();
  if (s->compare) text += s->compare->messages() + s->compare->run_messages();
  return text.c_str();
}

const char* velmsim_diagnostics(const velmsim_session* s) {
  Json list = Json::array();
  if (s->run) {
    add_entries(list, s->run->diagnostics(), s->run->model().path);
    add_entries(list, s->run->run_diagnostics(), s->run->model().path);
  }
  if (s->compare)
    for (int m = 0; m < 2; ++m) {
      add_entries(list, s->compare->diagnostics(m), s->compare->model(m).path);
      add_entries(list, s->compare->run_diagnostics(m), s->compare->model(m).path);
    }
  auto& text = const_cast<velmsim_session*>(s)->text;
  text = list.dump();
  return text.c_str();
}

int velmsim_run(velmsim_session* s, const char* stats_library, const char* threaded_library) {
  // An interruption asked for before the run starts stops it at its first
  // block's end.
  if (!s->run || s->status != VELMSIM_OK) return s->status;
  s->columns.clear();
  return guarded(s, [&]() -> int {
    const int status = outcome_status(
        s->run->run(stats_library, threaded_library, {}, &s->interrupt));
    if (status == VELMSIM_OK) s->columns = sample_table(s->run->model(), s->run->samples());
    return status;
  });
}

void velmsim_interrupt(velmsim_session* s) { s->interrupt = true; }

int velmsim_iterations(const velmsim_session* s) { return s->columns.empty() ? 0 : s->run->samples().n; }

int velmsim_column_count(const velmsim_session* s) { return static_cast<int>(s->columns.size()); }

const char* velmsim_column_name(const velmsim_session* s, int k) {
  if (k < 0 || k >= velmsim_column_count(s)) return nullptr;
  return s->columns[static_cast<std::size_t>(k)].name.c_str();
}

int velmsim_column_values(const velmsim_session* s, int k, float* out) {
  if (k < 0 || k >= velmsim_column_count(s)) return -1;
  const SampleColumn& c = s->columns[static_cast<std::size_t>(k)];
  const int n = s->run->samples().n;
  for (int i = 0; i < n; ++i) out[i] = c.at(static_cast<std::size_t>(i));
  return n;
}

const char* velmsim_report(velmsim_session* s, const char* format) {
  const std::string f = format ? format : "";
  if (s->status != VELMSIM_OK) return nullptr;
  try {
    if (s->compare) {
      const Comparison& c = s->compare->comparison();
      if (f == "json") s->text = compare_json(c);
      else if (f == "text") s->text = compare_text(c);
      else if (f == "html") s->text = compare_html(c);
      else return nullptr;
      return s->text.c_str();
    }
    if (!s->run || s->columns.empty()) return nullptr;
    const Report& r = s->run->report();
    if (f == "json") s->text = json_report(r);
    else if (f == "text") s->text = text_report(r);
    else if (f == "html") s->text = html_report(r);
    else if (f == "csv") s->text = csv_rows(s->run->model(), s->run->samples());
    else return nullptr;
    return s->text.c_str();
  } catch (const std::exception&) {
    return nullptr;
  }
}

void velmsim_close(velmsim_session* s) { delete s; }

const char* velmsim_api_version(void) { return velmsim_version(); }

}  // extern "C"
