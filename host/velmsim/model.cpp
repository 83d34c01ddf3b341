#include "host/velmsim/model.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include <toml++/toml.h>

#include "host/velmsim/formula.h"

namespace velmsim {

const char* dist_name(Dist d) {
  switch (d) {
    case Dist::uniform: return "uniform";
    case Dist::normal: return "normal";
    case Dist::lognormal: return "lognormal";
    case Dist::triangular: return "triangular";
    case Dist::beta: return "beta";
    case Dist::geometric: return "geometric";
    case Dist::normal_pair: return "normal_pair";
    case Dist::risk: return "risk";
    case Dist::yesno: return "yesno";
  }
  return "?";
}

namespace {

const std::vector<std::string> kDistNames = {"uniform", "normal",      "lognormal", "triangular",
                                             "beta",    "geometric",   "normal_pair", "risk",
                                             "yesno"};

Position pos(const toml::source_region& s) {
  return {static_cast<int>(s.begin.line), static_cast<int>(s.begin.column)};
}

std::string fmt(double x) {
  std::ostringstream out;
  out.precision(7);  // parameters are single precision: 1.2, not 1.20000005
  out << x;
  return out.str();
}

bool is_identifier(const std::string& s) {
  if (s.empty() || !(std::isalpha(static_cast<unsigned char>(s[0])) || s[0] == '_')) return false;
  return std::all_of(s.begin(), s.end(),
                     [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; });
}

// The entries of a table in the order they are written in the file: toml++
// keeps keys sorted by name, the model's meaning depends on file order.
std::vector<std::pair<const toml::key*, const toml::node*>> in_file_order(const toml::table& t) {
  std::vector<std::pair<const toml::key*, const toml::node*>> entries;
  for (auto&& [key, node] : t) entries.emplace_back(&key, &node);
  std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) {
    const auto& x = a.first->source().begin;
    const auto& y = b.first->source().begin;
    return x.line != y.line ? x.line < y.line : x.column < y.column;
  });
  return entries;
}

class Reader {
 public:
  explicit Reader(Diagnostics& d) : diag_(d) {}

  // A finite number (integer or float) in `node`, or nothing after an error.
  std::optional<double> number(const toml::node& node, const std::string& what) {
    if (!node.is_number()) {
      diag_.error(pos(node.source()), what + " must be a number");
      return std::nullopt;
    }
    const double x = *node.value<double>();
    if (!std::isfinite(x)) {
      diag_.error(pos(node.source()), what + " must be a finite number, not " + fmt(x));
      return std::nullopt;
    }
    return x;
  }

  // A number that the library receives in single precision.
  std::optional<float> single(const toml::node& node, const std::string& what) {
    const auto x = number(node, what);
    if (!x) return std::nullopt;
    if (std::fabs(*x) > FLT_MAX) {
      diag_.error(pos(node.source()), what + " = " + fmt(*x) +
                                          " is beyond single precision (at most about 3.4e38)");
      return std::nullopt;
    }
    return static_cast<float>(*x);
  }

  std::optional<std::int64_t> integer(const toml::node& node, const std::string& what,
                                      std::int64_t lo, std::int64_t hi, const std::string& why) {
    if (!node.is_integer()) {
      diag_.error(pos(node.source()), what + " must be a whole number");
      return std::nullopt;
    }
    const std::int64_t n = node.as_integer()->get();
    if (n < lo || n > hi) {
      diag_.error(pos(node.source()), what + " = " + std::to_string(n) + " " + why);
      return std::nullopt;
    }
    return n;
  }

  std::optional<std::string> string(const toml::node& node, const std::string& what) {
    if (!node.is_string()) {
      diag_.error(pos(node.source()), what + " must be a text in quotes");
      return std::nullopt;
    }
    return node.as_string()->get();
  }

  // Reports the keys of `t` outside `allowed`, with a likely intended key.
  void unknown_keys(const toml::table& t, const std::vector<std::string>& allowed,
                    const std::string& where) {
    for (auto&& [key, node] : in_file_order(t)) {
      const std::string k(key->str());
      if (std::find(allowed.begin(), allowed.end(), k) == allowed.end())
        diag_.error(pos(key->source()), "unknown key '" + k + "' " + where + did_you_mean(k, allowed));
    }
  }

  // Reads a univariate draw (every distribution but normal_pair and risk;
  // yesno only when `allow_yesno`) from the inline table `t`.
  std::optional<Draw> draw(const toml::table& t, Dist dist, const std::string& who, Position at) {
    Draw d;
    d.dist = dist;
    std::vector<std::string> keys;
    switch (dist) {
      case Dist::uniform: keys = {"min", "max"}; break;
      case Dist::normal:
      case Dist::lognormal: keys = {"mean", "sd"}; break;
      case Dist::triangular: keys = {"low", "mode", "high"}; break;
      case Dist::beta: keys = {"p", "q"}; break;
      case Dist::geometric:
      case Dist::yesno: keys = {"p"}; break;
      default: break;
    }
    std::vector<std::string> allowed = keys;
    allowed.insert(allowed.begin(), "dist");
    if (dist == Dist::beta) {
      allowed.push_back("min");
      allowed.push_back("max");
    }
    unknown_keys(t, allowed, "for a " + std::string(dist_name(dist)) + " distribution");

    bool ok = true;
    std::map<std::string, float> value;
    std::map<std::string, Position> where;
    for (const std::string& k : allowed) {
      if (k == "dist") continue;
      const toml::node* n = t.get(k);
      if (n == nullptr) {
        const bool optional = dist == Dist::beta && (k == "min" || k == "max");
        if (!optional) {
          diag_.error(at, who + " needs '" + k + "' for a " + dist_name(dist) + " distribution");
          ok = false;
        }
        continue;
      }
      const auto x = single(*n, "'" + k + "' of " + who);
      if (!x) {
        ok = false;
        continue;
      }
      value[k] = *x;
      where[k] = pos(n->source());
    }
    if (!ok) return std::nullopt;

    auto refuse = [&](const std::string& key, const std::string& message) {
      diag_.error(where[key], message);
      ok = false;
    };
    switch (dist) {
      case Dist::uniform:
        if (!(value["min"] < value["max"]))
          refuse("max", "'max' of " + who + " must be greater than 'min' (" + fmt(value["min"]) +
                            "), not " + fmt(value["max"]));
        d.arg = {value["min"], value["max"]};
        break;
      case Dist::normal:
      case Dist::lognormal:
        if (dist == Dist::lognormal && !(value["mean"] > 0))
          refuse("mean", "'mean' of " + who +
                             " must be greater than 0 for a lognormal distribution (it is the mean "
                             "of the variable itself), not " + fmt(value["mean"]));
        if (!(value["sd"] > 0))
          refuse("sd", "'sd' of " + who + " (the standard deviation) must be greater than 0, not " +
                           fmt(value["sd"]));
        d.arg = {value["mean"], value["sd"]};
        break;
      case Dist::triangular: {
        const float lo = value["low"], mo = value["mode"], hi = value["high"];
        if (!(lo < hi))
          refuse("high", "'high' of " + who + " must be greater than 'low' (" + fmt(lo) + "), not " +
                             fmt(hi));
        else if (!(lo <= mo && mo <= hi))
          refuse("mode", "'mode' of " + who + " must lie between 'low' (" + fmt(lo) +
                             ") and 'high' (" + fmt(hi) + "), not " + fmt(mo));
        d.arg = {lo, mo, hi};
        break;
      }
      case Dist::beta:
        if (!(value["p"] > 0))
          refuse("p", "'p' of " + who + " (a shape parameter) must be greater than 0, not " +
                          fmt(value["p"]));
        if (!(value["q"] > 0))
          refuse("q", "'q' of " + who + " (a shape parameter) must be greater than 0, not " +
                          fmt(value["q"]));
        d.arg = {value["p"], value["q"]};
        d.scaled = value.count("min") + value.count("max") > 0;
        d.lo = value.count("min") ? value["min"] : 0.0;
        d.hi = value.count("max") ? value["max"] : 1.0;
        if (!(d.lo < d.hi)) {
          const std::string key = value.count("max") ? "max" : "min";
          refuse(key, "'max' of " + who + " must be greater than 'min' (" + fmt(d.lo) + "), not " +
                          fmt(d.hi));
        }
        break;
      case Dist::geometric:
        if (!(value["p"] > 0 && value["p"] < 1))
          refuse("p", "'p' of " + who +
                          " (the chance of success in each trial) must lie strictly between 0 and "
                          "1, not " + fmt(value["p"]));
        d.arg = {value["p"]};
        break;
      case Dist::yesno:
        if (!(value["p"] >= 0 && value["p"] <= 1))
          refuse("p", "'p' of " + who + " (a probability) must lie between 0 and 1, not " +
                          fmt(value["p"]));
        d.arg = {value["p"]};
        break;
      default: break;
    }
    if (!ok) return std::nullopt;
    return d;
  }

  // The "dist" key of an input or impact table, as a distribution.
  std::optional<Dist> dist_of(const toml::table& t, const std::string& who, Position at,
                              Position& dist_at) {
    const toml::node* n = t.get("dist");
    if (n == nullptr) {
      diag_.error(at, who + " needs 'dist', one of uniform, normal, lognormal, triangular, beta, "
                        "geometric, normal_pair, risk, yesno");
      return std::nullopt;
    }
    dist_at = pos(n->source());
    const auto name = string(*n, "'dist' of " + who);
    if (!name) return std::nullopt;
    for (std::size_t i = 0; i < kDistNames.size(); ++i)
      if (*name == kDistNames[i]) return static_cast<Dist>(i);
    const std::string hint = did_you_mean(*name, kDistNames);
    diag_.error(dist_at, "unknown distribution '" + *name + "'" +
                             (hint.empty() ? "; known: uniform, normal, lognormal, triangular, "
                                             "beta, geometric, normal_pair, risk, yesno"
                                           : hint));
    return std::nullopt;
  }

  void pair(const toml::table& t, Input& in, const std::string& who) {
    unknown_keys(t, {"dist", "mean", "sd", "rho", "names"}, "for a normal_pair");
    bool ok = true;
    auto two = [&](const char* key, auto read) {
      const toml::node* n = t.get(key);
      if (n == nullptr) {
        diag_.error(in.at, who + " needs '" + key + "' for a normal_pair");
        ok = false;
        return;
      }
      const toml::array* a = n->as_array();
      if (a == nullptr || a->size() != 2) {
        diag_.error(pos(n->source()), std::string("'") + key + "' of " + who +
                                          " must be a list of two values, one per variable");
        ok = false;
        return;
      }
      for (int k = 0; k < 2; ++k)
        if (!read(*a->get(static_cast<std::size_t>(k)), k)) ok = false;
    };
    std::array<float, 2> mean{}, sd{};
    two("mean", [&](const toml::node& n, int k) {
      const auto x = single(n, "'mean' of " + who);
      if (x) mean[static_cast<std::size_t>(k)] = *x;
      return x.has_value();
    });
    two("sd", [&](const toml::node& n, int k) {
      const auto x = single(n, "'sd' of " + who);
      if (!x) return false;
      if (!(*x > 0)) {
        diag_.error(pos(n.source()), "'sd' of " + who +
                                         " (a standard deviation) must be greater than 0, not " +
                                         fmt(*x));
        return false;
      }
      sd[static_cast<std::size_t>(k)] = *x;
      return true;
    });
    two("names", [&](const toml::node& n, int k) {
      const auto s = string(n, "each of 'names' of " + who);
      if (!s) return false;
      if (!is_identifier(*s)) {
        diag_.error(pos(n.source()), "'" + *s + "' cannot be a variable name: use letters, digits "
                                     "and _, starting with a letter");
        return false;
      }
      in.names[static_cast<std::size_t>(k)] = *s;
      names_at_[static_cast<std::size_t>(k)] = pos(n.source());
      return true;
    });
    float rho = 0;
    if (const toml::node* n = t.get("rho")) {
      const auto x = single(*n, "'rho' of " + who);
      if (!x) {
        ok = false;
      } else if (!(*x >= -1 && *x <= 1)) {
        diag_.error(pos(n->source()), "'rho' of " + who +
                                          " (a correlation) must lie between -1 and 1, not " +
                                          fmt(*x));
        ok = false;
      }
      if (x) rho = *x;
    } else {
      diag_.error(in.at, who + " needs 'rho' for a normal_pair");
      ok = false;
    }
    if (ok && in.names[0] == in.names[1]) {
      diag_.error(names_at_[1], "the two names of " + who + " must differ");
      ok = false;
    }
    in.draw.arg = {mean[0], sd[0], mean[1], sd[1], rho};
    if (!ok) failed_ = true;
  }

  void risk(const toml::table& t, Input& in, const std::string& who) {
    unknown_keys(t, {"dist", "p", "impact"}, "for a risk");
    if (const toml::node* n = t.get("p")) {
      const auto x = single(*n, "'p' of " + who);
      if (x && !(*x >= 0 && *x <= 1)) {
        diag_.error(pos(n->source()), "'p' of " + who +
                                          " (the chance that the event occurs) must lie between 0 "
                                          "and 1, not " + fmt(*x));
        failed_ = true;
      }
      if (!x) failed_ = true;
      in.draw.arg = {x.value_or(0.0f)};
    } else {
      diag_.error(in.at, who + " needs 'p', the chance that the event occurs");
      failed_ = true;
    }
    const toml::node* impact = t.get("impact");
    if (impact == nullptr) {
      diag_.error(in.at, who + " needs 'impact', a number or a distribution such as { dist = "
                               "\"triangular\", low = 1, mode = 2, high = 4 }");
      failed_ = true;
      return;
    }
    if (const toml::table* it = impact->as_table()) {
      const std::string what = "the impact of '" + in.name + "'";
      Position dist_at;
      const auto dist = dist_of(*it, what, pos(impact->source()), dist_at);
      if (!dist) {
        failed_ = true;
        return;
      }
      if (*dist == Dist::normal_pair || *dist == Dist::risk || *dist == Dist::yesno) {
        diag_.error(dist_at, "the impact of a risk must be a number or one of uniform, normal, "
                             "lognormal, triangular, beta, geometric, not " +
                                 std::string(dist_name(*dist)));
        failed_ = true;
        return;
      }
      const auto d = draw(*it, *dist, what, pos(impact->source()));
      if (!d) {
        failed_ = true;
        return;
      }
      in.impact_drawn = true;
      in.impact = *d;
    } else {
      const auto x = single(*impact, "'impact' of " + who);
      if (!x) failed_ = true;
      in.impact_value = x.value_or(0.0f);
    }
  }

  bool failed_ = false;
  std::array<Position, 2> names_at_;

 private:
  Diagnostics& diag_;
};

// `shares`: "all", or a list of column names (an input, a variable of a
// pair, a risk), each at most once.
void read_shares(const toml::node& node, Model& m, Reader& r, Diagnostics& diag) {
  const std::vector<std::string> columns = formula_names(m);
  if (const toml::value<std::string>* all = node.as_string(); all != nullptr && all->get() == "all") {
    for (std::size_t c = 0; c < columns.size(); ++c) m.run.shares.push_back(c);
    return;
  }
  const toml::array* a = node.as_array();
  if (a == nullptr) {
    diag.error(pos(node.source()), "shares must be \"all\" or a list of input names such as "
                                   "[\"labour\", \"steel\"]");
    return;
  }
  std::set<std::string> listed;
  for (const toml::node& e : *a) {
    const auto name = r.string(e, "each name in shares");
    if (!name) continue;
    const Position at = pos(e.source());
    const auto column = std::find(columns.begin(), columns.end(), *name);
    if (column == columns.end()) {
      const auto pair = std::find_if(m.inputs.begin(), m.inputs.end(), [&](const Input& in) {
        return in.draw.dist == Dist::normal_pair && in.name == *name;
      });
      if (pair != m.inputs.end())
        diag.error(at, "'" + *name + "' is a normal_pair, not a variable: list its variables '" +
                           pair->names[0] + "' and '" + pair->names[1] + "'");
      // An input with errors of its own has been reported already.
      else if (std::count(m.unchecked_names.begin(), m.unchecked_names.end(), *name) == 0)
        diag.error(at, "unknown name '" + *name + "' in shares" + did_you_mean(*name, columns));
      continue;
    }
    if (!listed.insert(*name).second) {
      diag.error(at, "'" + *name + "' is listed twice in shares");
      continue;
    }
    m.run.shares.push_back(static_cast<std::size_t>(column - columns.begin()));
  }
}

// Reads [correlation]: pairs written `a.b = 0.5`, and/or a matrix over a
// list of names (`names = [...]`, `matrix = [[...], ...]`), into the model's
// target. Each pair may be given once.
class CorrelationReader {
 public:
  CorrelationReader(Model& m, Reader& r, Diagnostics& d) : m_(m), r_(r), diag_(d) {}

  void read(const toml::table& t, bool repair) {
    m_.correlation.at = pos(t.source());
    const toml::node* names = nullptr;
    const toml::node* matrix = nullptr;
    for (auto&& [key, node] : in_file_order(t)) {
      const std::string k(key->str());
      if (k == "names" && node->is_array()) {
        names = node;
      } else if (k == "matrix" && node->is_array()) {
        matrix = node;
      } else if (const toml::table* partners = node->as_table()) {
        const auto a = column(k, pos(key->source()));
        for (auto&& [key2, value] : in_file_order(*partners)) {
          const std::string k2(key2->str());
          const auto b = column(k2, pos(key2->source()));
          if (!a || !b) continue;
          if (const auto rho = coefficient(*value, "the correlation of '" + k + "' and '" + k2 + "'"))
            pair(*a, *b, *rho, pos(value->source()), k, k2);
        }
      } else {
        diag_.error(pos(key->source()),
                    "write each correlation as two input names joined by a dot, such as "
                    "labour.steel = 0.5, or give names = [...] and matrix = [[...], ...]");
      }
    }
    if ((names == nullptr) != (matrix == nullptr)) {
      const toml::node* given = names != nullptr ? names : matrix;
      diag_.error(pos(given->source()), names != nullptr ? "'names' needs a 'matrix' beside it"
                                                         : "'matrix' needs 'names' beside it");
    } else if (names != nullptr) {
      read_matrix(*names->as_array(), *matrix->as_array());
    }
    if (failed_) return;
    build(repair);
  }

 private:
  // The column called `name`, which may be correlated.
  std::optional<std::size_t> column(const std::string& name, Position at) {
    for (std::size_t c = 0; c < m_.columns.size(); ++c) {
      if (m_.columns[c].name != name) continue;
      const Input& in = m_.inputs[m_.columns[c].input];
      if (in.draw.dist == Dist::normal_pair) {
        diag_.error(at, "'" + name + "' is a variable of the normal_pair '" + in.name +
                            "', which has its own correlation (rho); it cannot also be in "
                            "[correlation]");
        failed_ = true;
        return std::nullopt;
      }
      return c;
    }
    failed_ = true;
    // An input with errors has already been reported.
    if (std::find(m_.unchecked_names.begin(), m_.unchecked_names.end(), name) ==
        m_.unchecked_names.end())
      diag_.error(at, "unknown input '" + name + "' in [correlation]" +
                          did_you_mean(name, formula_names(m_)));
    return std::nullopt;
  }

  std::optional<double> coefficient(const toml::node& node, const std::string& what) {
    const auto x = r_.number(node, what);
    if (x && !(*x >= -1 && *x <= 1))
      diag_.error(pos(node.source()), what + " must lie between -1 and 1, not " + fmt(*x));
    if (!x || !(*x >= -1 && *x <= 1)) {
      failed_ = true;
      return std::nullopt;
    }
    return x;
  }

  void pair(std::size_t a, std::size_t b, double rho, Position at, const std::string& name_a,
            const std::string& name_b) {
    if (a == b) {
      diag_.error(at, "a variable's correlation with itself is 1; give pairs of two "
                      "different inputs");
      failed_ = true;
      return;
    }
    const auto [it, fresh] = entries_.emplace(std::minmax(a, b), std::make_pair(rho, at));
    if (!fresh) {
      diag_.error(at, "the correlation of '" + name_a + "' and '" + name_b +
                          "' is given twice; it is first given on line " +
                          std::to_string(it->second.second.line));
      failed_ = true;
    }
  }

  void read_matrix(const toml::array& names, const toml::array& rows) {
    std::vector<std::optional<std::size_t>> cols;
    std::vector<std::string> labels;
    for (const toml::node& e : names) {
      const auto name = r_.string(e, "each of 'names'");
      labels.push_back(name.value_or(""));
      cols.push_back(name ? column(*name, pos(e.source())) : std::nullopt);
      if (!name) failed_ = true;
    }
    const std::size_t k = names.size();
    if (rows.size() != k) {
      diag_.error(pos(rows.source()), "the matrix must have " + std::to_string(k) +
                                          " rows, one per name, not " + std::to_string(rows.size()));
      failed_ = true;
      return;
    }
    std::vector<std::vector<std::optional<double>>> x(k);
    for (std::size_t i = 0; i < k; ++i) {
      const toml::array* row = rows.get(i)->as_array();
      if (row == nullptr || row->size() != k) {
        diag_.error(pos(rows.get(i)->source()), "row " + std::to_string(i + 1) +
                                                    " of the matrix must be a list of " +
                                                    std::to_string(k) + " numbers");
        failed_ = true;
        continue;
      }
      for (std::size_t j = 0; j < k; ++j)
        x[i].push_back(coefficient(*row->get(j), "the matrix entry in row " + std::to_string(i + 1) +
                                                     ", column " + std::to_string(j + 1)));
    }
    if (failed_) return;
    for (std::size_t i = 0; i < k; ++i) {
      const Position at = pos(rows.get(i)->as_array()->get(i)->source());
      if (*x[i][i] != 1) {
        diag_.error(at, "the matrix diagonal must be 1 (a variable's correlation with itself), "
                        "not " + fmt(*x[i][i]));
        failed_ = true;
      }
      for (std::size_t j = 0; j < i; ++j) {
        const Position at_ij = pos(rows.get(i)->as_array()->get(j)->source());
        if (*x[i][j] != *x[j][i]) {
          diag_.error(at_ij, "the matrix must be symmetric: row " + std::to_string(i + 1) +
                                 ", column " + std::to_string(j + 1) + " is " + fmt(*x[i][j]) +
                                 " but row " + std::to_string(j + 1) + ", column " +
                                 std::to_string(i + 1) + " is " + fmt(*x[j][i]));
          failed_ = true;
        } else {
          pair(*cols[i], *cols[j], *x[i][j], at_ij, labels[i], labels[j]);
        }
      }
    }
  }

  // The target over the named columns in draw order, checked to be positive
  // semi-definite or repaired.
  void build(bool repair) {
    RankCorrelation& rc = m_.correlation;
    std::set<std::size_t> named;
    for (const auto& [ab, value] : entries_) named.insert({ab.first, ab.second});
    rc.columns.assign(named.begin(), named.end());
    const std::size_t k = rc.columns.size();
    rc.given.k = k;
    rc.given.a.assign(k * k, 0.0);
    for (std::size_t i = 0; i < k; ++i) rc.given(i, i) = 1;
    auto index = [&](std::size_t c) {
      return static_cast<std::size_t>(std::find(rc.columns.begin(), rc.columns.end(), c) -
                                      rc.columns.begin());
    };
    for (const auto& [ab, value] : entries_) {
      const std::size_t i = index(ab.first), j = index(ab.second);
      rc.given(i, j) = rc.given(j, i) = value.first;
    }
    rc.target = rc.given;
    const double lowest = smallest_eigenvalue(rc.given);
    if (lowest >= kSemidefiniteTolerance) return;
    const std::string what = "the correlations in [correlation] cannot hold together: their "
                             "matrix is not positive semi-definite (smallest eigenvalue " +
                             fmt(lowest) + ")";
    if (!repair) {
      diag_.error(rc.at, what + "; run with --repair to use the nearest correlation matrix");
      return;
    }
    rc.target = nearest_correlation(rc.given);
    rc.repaired = true;
    for (std::size_t i = 0; i < k * k; ++i)
      rc.largest_change = std::max(rc.largest_change, std::fabs(rc.target.a[i] - rc.given.a[i]));
    std::string text = what + "; --repair uses the nearest correlation matrix (largest change " +
                       fmt(rc.largest_change) + "):\n  names = [";
    for (std::size_t i = 0; i < k; ++i)
      text += (i ? ", \"" : "\"") + m_.columns[rc.columns[i]].name + "\"";
    text += "]\n  matrix = [";
    for (std::size_t i = 0; i < k; ++i) {
      text += i ? ",\n            [" : "[";
      for (std::size_t j = 0; j < k; ++j) text += (j ? ", " : "") + fmt_repaired(rc.target(i, j));
      text += "]";
    }
    diag_.warning(rc.at, text + "]");
  }

  static std::string fmt_repaired(double x) {
    std::ostringstream out;
    out.precision(6);
    out << x;
    return out.str();
  }

  Model& m_;
  Reader& r_;
  Diagnostics& diag_;
  bool failed_ = false;
  std::map<std::pair<std::size_t, std::size_t>, std::pair<double, Position>> entries_;
};

}  // namespace

std::vector<std::string> formula_names(const Model& model) {
  std::vector<std::string> names;
  for (const Column& c : model.columns) names.push_back(c.name);
  return names;
}

Model read_model(const std::string& path, Diagnostics& diag, bool repair) {
  Model m;
  m.path = path;
  {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
      diag.error({}, "cannot read the model file");
      return m;
    }
    std::ostringstream text;
    text << in.rdbuf();
    m.text = text.str();
  }
  toml::table root;
  try {
    root = toml::parse(m.text, path);
  } catch (const toml::parse_error& e) {
    diag.error(pos(e.source()), std::string(e.description()));
    return m;
  }
  Reader r(diag);
  r.unknown_keys(root, {"model", "inputs", "outputs", "correlation", "run"},
                 "at the top of the model");
  auto section = [&](const char* name) -> const toml::table* {
    const toml::node* n = root.get(name);
    if (n == nullptr) return nullptr;
    if (!n->is_table()) {
      diag.error(pos(n->source()), std::string("'") + name + "' must be a table: [" + name + "]");
      return nullptr;
    }
    return n->as_table();
  };

  // [model]
  m.name = std::filesystem::path(path).stem().string();
  if (const toml::table* t = section("model")) {
    r.unknown_keys(*t, {"name", "base", "target", "currency"}, "in [model]");
    if (const toml::node* n = t->get("name"))
      if (auto s = r.string(*n, "'name'")) m.name = *s;
    if (const toml::node* n = t->get("currency"))
      if (auto s = r.string(*n, "'currency'")) m.currency = *s;
    if (const toml::node* n = t->get("base")) m.base = r.number(*n, "'base'");
    if (const toml::node* n = t->get("target")) m.target = r.number(*n, "'target'");
  }

  // [inputs], in the order written; every name used by a formula is unique.
  std::map<std::string, Position> taken;
  std::vector<std::string> reserved = {"base"};
  for (const std::string& f : builtin_names()) reserved.push_back(f);
  auto claim = [&](const std::string& name, Position at) {
    if (std::find(reserved.begin(), reserved.end(), name) != reserved.end()) {
      diag.error(at, "the name '" + name + "' is taken by the formulas (a built-in function, "
                     "constant or 'base'); choose another");
      return;
    }
    if (!is_identifier(name)) {
      diag.error(at, "'" + name + "' cannot be a variable name: use letters, digits and _, "
                     "starting with a letter");
      return;
    }
    const auto [it, fresh] = taken.emplace(name, at);
    if (!fresh)
      diag.error(at, "the name '" + name + "' is used twice; it is first used on line " +
                         std::to_string(it->second.line));
  };
  const toml::table* inputs = section("inputs");
  if (inputs == nullptr || inputs->empty()) {
    diag.error({1, 1}, "the model has no inputs: add an [inputs] table with at least one input");
  } else {
    for (auto&& [key, node] : in_file_order(*inputs)) {
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
      const auto dist = r.dist_of(*t, who, in.at, in.dist_at);
      if (!dist) {
        m.unchecked_names.push_back(in.name);
        continue;
      }
      in.draw.dist = *dist;
      r.failed_ = false;
      // Names of an input with errors stay known to the formula check, which
      // would otherwise report them as unknown.
      const std::size_t unchecked = m.unchecked_names.size();
      m.unchecked_names.push_back(in.name);
      for (const toml::node* pn = t->get("names"); pn != nullptr && pn->is_array();) {
        for (const toml::node& e : *pn->as_array())
          if (e.is_string()) m.unchecked_names.push_back(e.as_string()->get());
        break;
      }
      if (*dist == Dist::normal_pair) {
        r.pair(*t, in, who);
        if (r.failed_) continue;
        claim(in.name, in.at);
        for (int k = 0; k < 2; ++k) {
          claim(in.names[static_cast<std::size_t>(k)], r.names_at_[static_cast<std::size_t>(k)]);
          m.columns.push_back({in.names[static_cast<std::size_t>(k)], m.inputs.size(), k});
        }
      } else if (*dist == Dist::risk) {
        r.risk(*t, in, who);
        if (r.failed_) continue;
        claim(in.name, in.at);
        m.columns.push_back({in.name, m.inputs.size(), 0});
      } else {
        const auto d = r.draw(*t, *dist, who, in.at);
        if (!d) continue;
        in.draw = *d;
        claim(in.name, in.at);
        m.columns.push_back({in.name, m.inputs.size(), 0});
      }
      // Checked: its variables are columns. A pair's own name is none, and a
      // formula that used it would pass the check but fail to run.
      m.unchecked_names.resize(unchecked);
      m.inputs.push_back(std::move(in));
    }
  }

  // [outputs]
  const toml::table* outputs = section("outputs");
  if (outputs == nullptr || outputs->empty()) {
    diag.error({1, 1}, "the model has no outputs: add an [outputs] table with at least one "
                       "formula, such as total = \"a + b\"");
  } else {
    for (auto&& [key, node] : in_file_order(*outputs)) {
      Output out;
      out.name = std::string(key->str());
      out.at = pos(key->source());
      out.base = m.base;
      out.target = m.target;
      out.currency = m.currency;
      // An output is its formula, which takes the model's base, target and
      // currency, or a table with the formula and the output's own (none
      // that it leaves out).
      const toml::node* formula_node = node;
      if (const toml::table* t = node->as_table()) {
        out.base = out.target = std::nullopt;
        out.currency.clear();
        r.unknown_keys(*t, {"formula", "base", "target", "currency"}, "for an output");
        formula_node = t->get("formula");
        if (formula_node == nullptr) {
          diag.error(out.at, "output '" + out.name + "' needs 'formula'");
          continue;
        }
        if (const toml::node* n = t->get("base")) out.base = r.number(*n, "'base'");
        if (const toml::node* n = t->get("target")) out.target = r.number(*n, "'target'");
        if (const toml::node* n = t->get("currency"))
          if (auto s = r.string(*n, "'currency'")) out.currency = *s;
      }
      const auto formula = r.string(*formula_node, "output '" + out.name + "'");
      if (!formula) continue;
      out.formula = *formula;
      // The formula's first character follows the opening quote (or the
      // three quotes and line break of a multi-line string).
      out.formula_at = pos(formula_node->source());
      out.formula_at.column += 1;
      claim(out.name, out.at);
      m.outputs.push_back(std::move(out));
    }
  }

  // [run]
  if (const toml::table* t = section("run")) {
    r.unknown_keys(*t, {"iterations", "seed", "tolerance", "percentiles", "block", "classes",
                        "shares"},
                   "in [run]");
    if (const toml::node* n = t->get("iterations"))
      if (auto x = r.integer(*n, "iterations", 2, 32767,
                             "is out of range: at least 2 and at most 32767, the largest count "
                             "the statistics take"))
        m.run.iterations = static_cast<int>(*x);
    if (const toml::node* n = t->get("seed"))
      if (auto x = r.integer(*n, "seed", 0, 2147483646,
                             "is out of range: 1 to 2147483646, or 0 for a seed from the clock"))
        m.run.seed = static_cast<std::int32_t>(*x);
    if (const toml::node* n = t->get("block"))
      if (auto x = r.integer(*n, "block", 2, 32767,
                             "is out of range: 2 to 32767 (the convergence error of a block "
                             "needs two iterations)"))
        m.run.block = static_cast<int>(*x);
    if (const toml::node* n = t->get("classes"))
      if (auto x = r.integer(*n, "classes", 1, 200, "is out of range: 1 to 200"))
        m.run.classes = static_cast<int>(*x);
    if (const toml::node* n = t->get("tolerance")) {
      if (auto x = r.number(*n, "tolerance")) {
        if (*x > 0)
          m.run.tolerance = *x;
        else
          diag.error(pos(n->source()), "tolerance must be greater than 0, not " + fmt(*x));
      }
    }
    if (const toml::node* n = t->get("percentiles")) {
      const toml::array* a = n->as_array();
      if (a == nullptr || a->empty()) {
        diag.error(pos(n->source()), "percentiles must be a list of numbers such as [10, 50, 90]");
      } else {
        m.run.percentiles.clear();
        for (const toml::node& e : *a) {
          const auto x = r.number(e, "each percentile");
          if (!x) continue;
          if (!(*x > 0 && *x < 100))
            diag.error(pos(e.source()), "a percentile must lie strictly between 0 and 100, not " +
                                            fmt(*x));
          else
            m.run.percentiles.push_back(*x);
        }
      }
    }
    if (const toml::node* n = t->get("shares")) read_shares(*n, m, r, diag);
  }

  // [correlation], once every input's column is known.
  if (const toml::table* t = section("correlation"))
    CorrelationReader(m, r, diag).read(*t, repair);

  check_formulas(m, diag);
  return m;
}

}  // namespace velmsim
