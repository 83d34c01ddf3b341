// [inputs]: each input's distribution or kind, read through the distribution
// table, in the order of the file.
#include <algorithm>
#include <cmath>

#include "host/velmsim/model/toml_reader.h"

namespace velmsim::reader {

namespace {

std::string joined(const std::vector<std::string>& names) {
  std::string s;
  for (const std::string& n : names) s += (s.empty() ? "" : ", ") + n;
  return s;
}

// An end of a truncation's range: a number, inf or -inf for an open end, or
// an expression of constants in quotes.
std::optional<double> range_end(Reader& r, const toml::node& n, const std::string& what) {
  if (n.is_string()) return r.number(n, what);
  const auto x = n.value<double>();
  if (!x || std::isnan(*x)) return std::nullopt;
  return x;
}

// Reads the truncation [lo, hi] of a continuous draw (an end may be inf),
// refused when the range holds under 1 % of the distribution.
bool read_truncation(Reader& r, const toml::node& n, const Distribution& dist,
                     const std::string& who, Draw& d) {
  Diagnostics& diag = r.diagnostics();
  const Position at = pos(n.source());
  if (dist.cdf == nullptr) {
    diag.error(at, "'truncate' of " + who + " applies to continuous distributions, not to a " +
                       dist.name + " one");
    return false;
  }
  const toml::array* a = n.as_array();
  std::array<double, 2> range{};
  bool ok = a != nullptr && a->size() == 2;
  for (std::size_t k = 0; ok && k < 2; ++k) {
    const auto x = range_end(r, *a->get(k), "'truncate' of " + who);
    ok = x.has_value();
    if (ok) range[k] = *x;
  }
  if (!ok) {
    diag.error(at, "'truncate' of " + who + " must be a range of two numbers [lo, hi] such as "
                   "[0, 100] (-inf or inf for an open end)");
    return false;
  }
  if (!(range[0] < range[1])) {
    diag.error(at, "'truncate' of " + who + " must be a range [lo, hi] with lo below hi, not [" +
                       parameter_text(range[0]) + ", " + parameter_text(range[1]) + "]");
    return false;
  }
  d.kept = dist.cdf(d, range[1]) - dist.cdf(d, range[0]);
  if (!(d.kept >= 0.01)) {
    diag.error(at, "the range [" + parameter_text(range[0]) + ", " + parameter_text(range[1]) +
                       "] of 'truncate' holds " + parameter_text(100 * std::max(d.kept, 0.0)) +
                       " % of the distribution of " + who + "; values are redrawn until one falls "
                       "inside, so the range must hold at least 1 %");
    return false;
  }
  d.truncate = range;
  return true;
}

bool takes_lists(Dist d) { return d == Dist::discrete || d == Dist::cumulative; }

// Reads the list of numbers `key` into p, each element's position into
// where["key[i]"].
bool read_list(Reader& r, const toml::array& a, const std::string& key, const std::string& who,
               Parameters& p, std::map<std::string, Position>& where) {
  std::vector<double>& list = p.list[key];
  bool ok = true;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const auto x = r.number(*a.get(i), "each of '" + key + "' of " + who);
    ok = ok && x.has_value();
    list.push_back(x.value_or(0.0));
    where[key + "[" + std::to_string(i) + "]"] = pos(a.get(i)->source());
  }
  return ok;
}

// Reads one variate of `dist` from the inline table `t`: its keys by the
// table's row (or by the row's percentile form, when one of that form's own
// keys is given), its truncation, then the conditions. `more` are keys that
// the caller reads itself (an input's label and unit).
std::optional<Draw> read_draw(Reader& r, const toml::table& t, const Distribution& dist,
                              const std::string& who, Position at,
                              const std::vector<std::string>& more = {}) {
  Diagnostics& diag = r.diagnostics();
  Form form{dist.keys, dist.optional, dist.make};
  if (const Form* f = dist.percentiles)
    for (const std::string& k : f->keys)
      if (t.get(k) != nullptr &&
          std::find(dist.keys.begin(), dist.keys.end(), k) == dist.keys.end())
        form = *f;
  std::vector<std::string> allowed = {"dist"};
  allowed.insert(allowed.end(), form.keys.begin(), form.keys.end());
  allowed.insert(allowed.end(), form.optional.begin(), form.optional.end());
  // 'truncate' is read last, and refused with its reason where it does not
  // apply.
  std::vector<std::string> known = allowed;
  known.push_back("truncate");
  known.insert(known.end(), more.begin(), more.end());
  r.unknown_keys(t, known, "for a " + std::string(dist.name) + " distribution" +
                               (form.make != dist.make ? " given by percentiles" : ""));

  bool ok = true;
  Parameters p;
  std::map<std::string, Position> where;
  for (std::size_t i = 1; i < allowed.size(); ++i) {
    const std::string& k = allowed[i];
    const toml::node* n = t.get(k);
    if (n == nullptr) {
      if (i <= form.keys.size()) {
        diag.error(at, who + " needs '" + k + "' for a " + dist.name + " distribution");
        ok = false;
      }
      continue;
    }
    where[k] = pos(n->source());
    if (dist.id == Dist::data) {
      // A file's name, and a column's name or position.
      if (n->is_string() || (k == "column" && n->is_integer())) {
        p.text[k] = n->is_string() ? n->as_string()->get() : std::to_string(n->as_integer()->get());
        continue;
      }
      diag.error(where[k], "'" + k + "' of " + who + " must be " +
                               (k == "file" ? "the name of a CSV file" : "a column's name or position"));
      ok = false;
    } else if (const toml::array* a = n->as_array(); a != nullptr && takes_lists(dist.id)) {
      ok = read_list(r, *a, k, who, p, where) && ok;
    } else if (takes_lists(dist.id)) {
      diag.error(where[k], "'" + k + "' of " + who + " must be a list of numbers such as [1, 2, 3]");
      ok = false;
    } else if (const auto x = r.single(*n, "'" + k + "' of " + who)) {
      p.value[k] = *x;
    } else {
      ok = false;
    }
  }
  if (ok && dist.id == Dist::data) {
    const auto values = read_data_column(r, p.text["file"], p.text["column"], who, where);
    if (values) p.list["data"] = *values;
    ok = values.has_value();
  }
  if (!ok) return std::nullopt;
  Draw d;
  d.dist = dist.id;
  form.make(p, who, [&](const std::string& key, const std::string& message) {
    diag.error(where.count(key) ? where[key] : at, message);
    ok = false;
  }, d);
  d.at = std::move(where);
  if (const toml::node* n = t.get("truncate"); ok && n != nullptr)
    ok = read_truncation(r, *n, dist, who, d);
  if (!ok) return std::nullopt;
  return d;
}

// The "dist" key of an input or impact table: a distribution or a kind.
struct DistOrKind {
  const Distribution* dist = nullptr;
  InputKind kind = InputKind::plain;
};

std::optional<DistOrKind> dist_of(Reader& r, const toml::table& t, const std::string& who,
                                  Position at, Position& dist_at) {
  Diagnostics& diag = r.diagnostics();
  const std::vector<std::string> names = dist_names();
  const toml::node* n = t.get("dist");
  if (n == nullptr) {
    diag.error(at, who + " needs 'dist', one of " + joined(names));
    return std::nullopt;
  }
  dist_at = pos(n->source());
  const auto name = r.string(*n, "'dist' of " + who);
  if (!name) return std::nullopt;
  if (const Distribution* d = find_distribution(*name)) return DistOrKind{d, InputKind::plain};
  for (const Kind& k : kinds())
    if (*name == k.name) return DistOrKind{nullptr, k.kind};
  const std::string hint = did_you_mean(*name, names);
  diag.error(dist_at, "unknown distribution '" + *name + "'" +
                          (hint.empty() ? "; known: " + joined(names) : hint));
  return std::nullopt;
}

// A normal_pair: two means, two standard deviations, rho and two names.
bool read_pair(Reader& r, const toml::table& t, Input& in, const std::string& who,
               std::array<Position, 2>& names_at) {
  Diagnostics& diag = r.diagnostics();
  r.unknown_keys(t, {"dist", "mean", "sd", "rho", "names", "label", "unit"}, "for a normal_pair");
  bool ok = true;
  auto two = [&](const char* key, auto read) {
    const toml::node* n = t.get(key);
    if (n == nullptr) {
      diag.error(in.at, who + " needs '" + key + "' for a normal_pair");
      ok = false;
      return;
    }
    const toml::array* a = n->as_array();
    if (a == nullptr || a->size() != 2) {
      diag.error(pos(n->source()), std::string("'") + key + "' of " + who +
                                       " must be a list of two values, one per variable");
      ok = false;
      return;
    }
    for (std::size_t k = 0; k < 2; ++k)
      if (!read(*a->get(k), k)) ok = false;
  };
  Pair& pair = in.pair;
  two("mean", [&](const toml::node& n, std::size_t k) {
    const auto x = r.single(n, "'mean' of " + who);
    if (x) pair.mean[k] = *x;
    return x.has_value();
  });
  two("sd", [&](const toml::node& n, std::size_t k) {
    const auto x = r.single(n, "'sd' of " + who);
    if (!x) return false;
    if (!(*x > 0)) {
      diag.error(pos(n.source()), "'sd' of " + who +
                                      " (a standard deviation) must be greater than 0, not " +
                                      parameter_text(*x));
      return false;
    }
    pair.sd[k] = *x;
    return true;
  });
  two("names", [&](const toml::node& n, std::size_t k) {
    const auto s = r.string(n, "each of 'names' of " + who);
    if (!s) return false;
    if (!is_identifier(*s)) {
      diag.error(pos(n.source()), "'" + *s + "' cannot be a variable name: use letters, digits "
                                  "and _, starting with a letter");
      return false;
    }
    pair.names[k] = *s;
    names_at[k] = pos(n.source());
    return true;
  });
  if (const toml::node* n = t.get("rho")) {
    const auto x = r.single(*n, "'rho' of " + who);
    if (!x) {
      ok = false;
    } else if (!(*x >= -1 && *x <= 1)) {
      diag.error(pos(n->source()), "'rho' of " + who +
                                       " (a correlation) must lie between -1 and 1, not " +
                                       parameter_text(*x));
      ok = false;
    }
    if (x) pair.rho = *x;
  } else {
    diag.error(in.at, who + " needs 'rho' for a normal_pair");
    ok = false;
  }
  if (ok && pair.names[0] == pair.names[1]) {
    diag.error(names_at[1], "the two names of " + who + " must differ");
    ok = false;
  }
  return ok;
}

// A risk: its probability and its impact, a number or a distribution.
bool read_risk(Reader& r, const toml::table& t, Input& in, const std::string& who) {
  Diagnostics& diag = r.diagnostics();
  r.unknown_keys(t, {"dist", "p", "impact", "label", "unit"}, "for a risk");
  bool ok = true;
  if (const toml::node* n = t.get("p")) {
    const auto x = r.single(*n, "'p' of " + who);
    if (x && !(*x >= 0 && *x <= 1)) {
      diag.error(pos(n->source()), "'p' of " + who +
                                       " (the chance that the event occurs) must lie between 0 "
                                       "and 1, not " + parameter_text(*x));
      ok = false;
    }
    if (!x) ok = false;
    in.risk.p = x.value_or(0.0f);
  } else {
    diag.error(in.at, who + " needs 'p', the chance that the event occurs");
    ok = false;
  }
  const toml::node* impact = t.get("impact");
  if (impact == nullptr) {
    diag.error(in.at, who + " needs 'impact', a number or a distribution such as { dist = "
                            "\"triangular\", low = 1, mode = 2, high = 4 }");
    return false;
  }
  const toml::table* it = impact->as_table();
  if (it == nullptr) {
    const auto x = r.single(*impact, "'impact' of " + who);
    in.risk.impact_value = x.value_or(0.0f);
    return ok && x.has_value();
  }
  const std::string what = "the impact of '" + in.name + "'";
  Position dist_at;
  const auto dist = dist_of(r, *it, what, pos(impact->source()), dist_at);
  if (!dist) return false;
  if (dist->dist == nullptr || !dist->dist->impact) {
    std::vector<std::string> impacts;
    for (const Distribution& d : distributions())
      if (d.impact) impacts.push_back(d.name);
    diag.error(dist_at, "the impact of a risk must be a number or one of " + joined(impacts) +
                            ", not " + (dist->dist ? dist->dist->name : kind(dist->kind).name));
    return false;
  }
  in.risk.impact = read_draw(r, *it, *dist->dist, what, pos(impact->source()));
  return ok && in.risk.impact.has_value();
}

// An input's label and unit, for each of its variables: text, or for a
// normal_pair either one text for both variables or a list of two, one per
// variable as in `names`.
std::array<Naming, 2> read_captions(Reader& r, const toml::table& t, const Input& in,
                                    const std::string& who) {
  std::array<Naming, 2> captions;
  for (const std::string& key : kCaptionKeys) {
    const toml::node* n = t.get(key);
    if (n == nullptr) continue;
    auto into = [&](std::size_t k) -> std::string& {
      return key == "label" ? captions[k].label : captions[k].unit;
    };
    const std::string what = "'" + key + "' of " + who;
    const toml::array* a = n->as_array();
    if (in.kind == InputKind::pair && a != nullptr) {
      if (a->size() != 2) {
        r.diagnostics().error(pos(n->source()), what + " must be one text for both variables or "
                                                       "a list of two, one per variable");
        continue;
      }
      for (std::size_t k = 0; k < 2; ++k)
        into(k) = r.caption(*a->get(k), "each of " + what).value_or("");
      continue;
    }
    into(0) = into(1) = r.caption(*n, what).value_or("");
  }
  return captions;
}

}  // namespace

std::optional<Draw> read_relative_draw(Reader& r, const toml::table& t, const std::string& who,
                                       Position at, double planned, bool report) {
  Diagnostics quiet;
  Reader silent = r.with(quiet);
  Position dist_at;
  const auto dist = dist_of(report ? r : silent, t, who, at, dist_at);
  if (!dist) return std::nullopt;
  const Dist d = dist->dist ? dist->dist->id : Dist::yesno;
  if (d != Dist::uniform && d != Dist::triangular && d != Dist::pert && d != Dist::normal) {
    if (report)
      r.diagnostics().error(dist_at, who + " must be a uniform, triangular, PERT or normal "
                                           "distribution of fractions of the planned duration");
    return std::nullopt;
  }
  // Checked as fractions (a positive scale keeps every condition), then read
  // as the duration they make: a location x (a truncation's ends too)
  // becomes planned (1 + x), a spread sd becomes planned sd; PERT's weight
  // of the mode and the percentiles that low and high are stay.
  if (report) return read_draw(r, t, *dist->dist, who, at);
  toml::table scaled = t;
  const auto duration = [&](double x) { return planned * (1 + x); };
  for (auto&& [key, node] : t) {
    if (key.str() == "truncate" && node.is_array() && node.as_array()->size() == 2) {
      const toml::array& a = *node.as_array();
      const auto lo = range_end(silent, *a.get(0), ""), hi = range_end(silent, *a.get(1), "");
      if (lo && hi) scaled.insert_or_assign(key, toml::array{duration(*lo), duration(*hi)});
    }
    if (key.str() == "dist" || key.str() == "lambda" || key.str().ends_with("_pct")) continue;
    const auto value = silent.number(node, std::string(key.str()));
    if (!value) continue;
    scaled.insert_or_assign(key, key.str() == "sd" ? planned * *value : duration(*value));
  }
  return read_draw(silent, scaled, *dist->dist, who, at);
}

std::optional<Amount> read_amount(Reader& r, const toml::node& node, const std::string& who) {
  Amount a;
  const toml::table* t = node.as_table();
  if (t == nullptr) {
    const auto x = r.single(node, who);
    if (!x) return std::nullopt;
    a.value = *x;
    return a;
  }
  Position dist_at;
  const auto dist = dist_of(r, *t, who, pos(node.source()), dist_at);
  if (!dist) return std::nullopt;
  if (dist->dist == nullptr || !dist->dist->impact) {
    std::vector<std::string> allowed;
    for (const Distribution& d : distributions())
      if (d.impact) allowed.push_back(d.name);
    r.diagnostics().error(dist_at, who + " must be a number or one of " + joined(allowed) +
                                       ", not " + (dist->dist ? dist->dist->name : kind(dist->kind).name));
    return std::nullopt;
  }
  a.draw = read_draw(r, *t, *dist->dist, who, pos(node.source()));
  if (!a.draw) return std::nullopt;
  return a;
}

// Inputs in the order written; every name a formula uses is unique. The
// names of an input with errors stay known to the formula check, which would
// otherwise report them as unknown.
void read_inputs(const toml::table& inputs, Reader& r, NameClaims& names, Model& m) {
  Diagnostics& diag = r.diagnostics();
  for (auto&& [key, node] : in_file_order(inputs)) {
    Input in;
    in.name = std::string(key->str());
    in.at = pos(key->source());
    const std::string who = "input '" + in.name + "'";
    const toml::table* t = node->as_table();
    if (t == nullptr) {
      diag.error(pos(node->source()),
                 who + " must be a table such as { dist = \"normal\", mean = 1, sd = 0.1 }");
      continue;
    }
    const auto dist = dist_of(r, *t, who, in.at, in.dist_at);
    if (!dist) {
      m.unchecked_names.push_back(in.name);
      continue;
    }
    in.kind = dist->kind;
    const std::size_t unchecked = m.unchecked_names.size();
    m.unchecked_names.push_back(in.name);
    if (const toml::node* pn = t->get("names"); pn != nullptr && pn->is_array())
      for (const toml::node& e : *pn->as_array())
        if (e.is_string()) m.unchecked_names.push_back(e.as_string()->get());

    std::array<Position, 2> names_at;
    bool ok = false;
    switch (in.kind) {
      case InputKind::pair: ok = read_pair(r, *t, in, who, names_at); break;
      case InputKind::risk: ok = read_risk(r, *t, in, who); break;
      case InputKind::plain: {
        const auto d = read_draw(r, *t, *dist->dist, who, in.at, kCaptionKeys);
        if (d) in.draw = *d;
        ok = d.has_value();
        break;
      }
    }
    const std::array<Naming, 2> captions = read_captions(r, *t, in, who);
    if (!ok) continue;
    names.claim(in.name, in.at, diag);
    const std::size_t variables = in.kind == InputKind::pair ? 2 : 1;
    for (std::size_t k = 0; k < variables; ++k) {
      Column c;
      c.name = in.kind == InputKind::pair ? in.pair.names[k] : in.name;
      if (in.kind == InputKind::pair) names.claim(c.name, names_at[k], diag);
      c.label = captions[k].label;
      c.unit = captions[k].unit;
      c.input = m.inputs.size();
      c.part = static_cast<int>(k);
      m.columns.push_back(std::move(c));
    }
    // Checked: its variables are columns. A pair's own name is none, and a
    // formula that used it would pass the check but fail to run.
    m.unchecked_names.resize(unchecked);
    m.inputs.push_back(std::move(in));
  }
}

}  // namespace velmsim::reader
