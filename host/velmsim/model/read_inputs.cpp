// [inputs]: each input's distribution or kind, read through the distribution
// table, in the order of the file.
#include <algorithm>

#include "host/velmsim/model/toml_reader.h"

namespace velmsim::reader {

namespace {

std::string joined(const std::vector<std::string>& names) {
  std::string s;
  for (const std::string& n : names) s += (s.empty() ? "" : ", ") + n;
  return s;
}

// Reads one variate of `dist` from the inline table `t`: its keys by the
// table's row, then the row's conditions.
std::optional<Draw> read_draw(Reader& r, const toml::table& t, const Distribution& dist,
                              const std::string& who, Position at) {
  Diagnostics& diag = r.diagnostics();
  std::vector<std::string> allowed = {"dist"};
  allowed.insert(allowed.end(), dist.keys.begin(), dist.keys.end());
  allowed.insert(allowed.end(), dist.optional.begin(), dist.optional.end());
  r.unknown_keys(t, allowed, "for a " + std::string(dist.name) + " distribution");

  bool ok = true;
  Parameters p;
  std::map<std::string, Position> where;
  for (std::size_t i = 1; i < allowed.size(); ++i) {
    const std::string& k = allowed[i];
    const toml::node* n = t.get(k);
    if (n == nullptr) {
      if (i <= dist.keys.size()) {
        diag.error(at, who + " needs '" + k + "' for a " + dist.name + " distribution");
        ok = false;
      }
      continue;
    }
    const auto x = r.single(*n, "'" + k + "' of " + who);
    if (!x) {
      ok = false;
      continue;
    }
    p.value[k] = *x;
    where[k] = pos(n->source());
  }
  if (!ok) return std::nullopt;
  Draw d;
  d.dist = dist.id;
  d.at = where;
  dist.make(p, who, [&](const std::string& key, const std::string& message) {
    diag.error(where[key], message);
    ok = false;
  }, d);
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
  r.unknown_keys(t, {"dist", "mean", "sd", "rho", "names"}, "for a normal_pair");
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
  r.unknown_keys(t, {"dist", "p", "impact"}, "for a risk");
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
  // as the duration they make: a location x becomes planned (1 + x), a
  // spread sd becomes planned sd; PERT's weight of the mode stays.
  if (report) return read_draw(r, t, *dist->dist, who, at);
  toml::table scaled = t;
  for (auto&& [key, node] : t) {
    if (key.str() == "dist" || key.str() == "lambda") continue;
    const auto value = silent.number(node, std::string(key.str()));
    if (!value) continue;
    const double x = *value;
    scaled.insert_or_assign(key, key.str() == "sd" ? planned * x : planned * (1 + x));
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
        const auto d = read_draw(r, *t, *dist->dist, who, in.at);
        if (d) in.draw = *d;
        ok = d.has_value();
        break;
      }
    }
    if (!ok) continue;
    names.claim(in.name, in.at, diag);
    if (in.kind == InputKind::pair) {
      for (std::size_t k = 0; k < 2; ++k) {
        names.claim(in.pair.names[k], names_at[k], diag);
        m.columns.push_back({in.pair.names[k], m.inputs.size(), static_cast<int>(k)});
      }
    } else {
      m.columns.push_back({in.name, m.inputs.size(), 0});
    }
    // Checked: its variables are columns. A pair's own name is none, and a
    // formula that used it would pass the check but fail to run.
    m.unchecked_names.resize(unchecked);
    m.inputs.push_back(std::move(in));
  }
}

}  // namespace velmsim::reader
