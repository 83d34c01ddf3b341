// [model], [outputs] and [run], with the names listed in [run] shares.
#include <algorithm>
#include <limits>
#include <set>

#include "host/velmsim/model/toml_reader.h"

namespace velmsim::reader {

void read_model_section(const toml::table& t, Reader& r, Model& m) {
  r.unknown_keys(t, {"name", "base", "target", "currency"}, "in [model]");
  if (const toml::node* n = t.get("name"))
    if (auto s = r.string(*n, "'name'")) m.name = *s;
  if (const toml::node* n = t.get("currency"))
    if (auto s = r.string(*n, "'currency'")) m.currency = *s;
  if (const toml::node* n = t.get("base")) m.base = r.amount(*n, "'base'");
  if (const toml::node* n = t.get("target")) m.target = r.amount(*n, "'target'");
}

// An output is its formula, which takes the model's base, target and
// currency, or a table with the formula and the output's own (none that it
// leaves out).
void read_outputs(const toml::table& outputs, Reader& r, NameClaims& names, Model& m) {
  Diagnostics& diag = r.diagnostics();
  for (auto&& [key, node] : in_file_order(outputs)) {
    Output out;
    out.name = std::string(key->str());
    out.at = pos(key->source());
    out.base = m.base;
    out.target = m.target;
    out.currency = m.currency;
    const toml::node* formula_node = node;
    if (const toml::table* t = node->as_table()) {
      out.base = out.target = std::nullopt;
      out.currency.clear();
      r.unknown_keys(*t, {"formula", "base", "target", "currency", "report", "label", "unit"},
                     "for an output");
      formula_node = t->get("formula");
      if (formula_node == nullptr) {
        diag.error(out.at, "output '" + out.name + "' needs 'formula'");
        continue;
      }
      if (const toml::node* n = t->get("base")) out.base = r.amount(*n, "'base'");
      if (const toml::node* n = t->get("target")) out.target = r.amount(*n, "'target'");
      if (const toml::node* n = t->get("currency"))
        if (auto s = r.string(*n, "'currency'")) out.currency = *s;
      const std::string who = " of output '" + out.name + "'";
      if (const toml::node* n = t->get("label"))
        out.label = r.caption(*n, "'label'" + who).value_or("");
      if (const toml::node* n = t->get("unit")) {
        out.unit = r.caption(*n, "'unit'" + who).value_or("");
        if (t->get("currency") != nullptr)
          diag.error(pos(n->source()), "output '" + out.name + "' gives both 'unit' and "
                                       "'currency', which the reports show in the same places: "
                                       "keep one");
      }
      if (const toml::node* n = t->get("report")) {
        if (const auto* b = n->as_boolean())
          out.report = b->get();
        else
          diag.error(pos(n->source()), "'report' must be true or false");
      }
    }
    const auto formula = r.string(*formula_node, "output '" + out.name + "'");
    if (!formula) continue;
    out.formula = *formula;
    // The formula's first character follows the opening quote (or the
    // three quotes and line break of a multi-line string).
    out.formula_at = pos(formula_node->source());
    out.formula_at.column += 1;
    names.claim(out.name, out.at, diag);
    m.outputs.push_back(std::move(out));
  }
}

namespace {

// `shares`: "all", or a list of column names (an input, a variable of a
// pair, a risk), each at most once.
void read_shares(const toml::node& node, Reader& r, Model& m) {
  Diagnostics& diag = r.diagnostics();
  const std::vector<std::string> columns = m.column_names();
  if (const auto* all = node.as_string(); all != nullptr && all->get() == "all") {
    for (std::size_t c = 0; c < columns.size(); ++c) m.shares.push_back(c);
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
        return in.kind == InputKind::pair && in.name == *name;
      });
      const auto output = std::find_if(m.outputs.begin(), m.outputs.end(),
                                       [&](const Output& o) { return o.name == *name; });
      if (pair != m.inputs.end())
        diag.error(at, "'" + *name + "' is a normal_pair, not a variable: list its variables '" +
                           pair->pair.names[0] + "' and '" + pair->pair.names[1] + "'");
      else if (output != m.outputs.end())
        diag.error(at, "'" + *name + "' is an output; shares lists inputs (an input, a variable "
                           "of a normal_pair or a risk)");
      // An input with errors of its own has been reported already.
      else if (std::count(m.unchecked_names.begin(), m.unchecked_names.end(), *name) == 0)
        diag.error(at, "unknown name '" + *name + "' in shares" + did_you_mean(*name, columns));
      continue;
    }
    if (!listed.insert(*name).second) {
      diag.error(at, "'" + *name + "' is listed twice in shares");
      continue;
    }
    m.shares.push_back(static_cast<std::size_t>(column - columns.begin()));
  }
}

}  // namespace

void read_run(const toml::table& t, Reader& r, Model& m) {
  Diagnostics& diag = r.diagnostics();
  RunSection& run = m.run;
  r.unknown_keys(t,
                 {"iterations", "seed", "tolerance", "precision", "percentiles", "block", "classes",
                  "shares", "tornado"},
                 "in [run]");
  const struct {
    const char* key;
    std::int64_t lo, hi;
    const char* why;
    std::optional<int>* into;
  } counts[] = {
      {"iterations", 2, 32767,
       "is out of range: at least 2 and at most 32767, the largest count the statistics take",
       &run.iterations},
      {"block", 2, 32767,
       "is out of range: 2 to 32767 (the convergence error of a block needs two iterations)",
       &run.block},
      {"classes", 1, 200, "is out of range: 1 to 200", &run.classes},
  };
  for (const auto& c : counts)
    if (const toml::node* n = t.get(c.key))
      if (auto x = r.integer(*n, c.key, c.lo, c.hi, c.why)) *c.into = static_cast<int>(*x);
  if (const toml::node* n = t.get("seed"))
    if (auto x = r.integer(*n, "seed", 0, 2147483646,
                           "is out of range: 1 to 2147483646, or 0 for a seed from the clock"))
      run.seed = static_cast<std::int32_t>(*x);
  for (auto [key, into] : {std::pair{"tolerance", &run.tolerance}, {"precision", &run.precision}})
    if (const toml::node* n = t.get(key)) {
      if (auto x = r.number(*n, key)) {
        if (*x > 0)
          *into = *x;
        else
          diag.error(pos(n->source()),
                     std::string(key) + " must be greater than 0, not " + parameter_text(*x));
      }
    }
  if (const toml::node* n = t.get("percentiles")) {
    const toml::array* a = n->as_array();
    if (a == nullptr || a->empty()) {
      diag.error(pos(n->source()), "percentiles must be a list of numbers such as [10, 50, 90]");
    } else {
      for (const toml::node& e : *a) {
        const auto x = r.number(e, "each percentile");
        if (!x) continue;
        if (!(*x > 0 && *x < 100)) {
          diag.error(pos(e.source()), "a percentile must lie strictly between 0 and 100, not " +
                                          parameter_text(*x));
        } else {
          run.percentiles.push_back(*x);
          run.percentiles_at.push_back(pos(e.source()));
        }
      }
    }
  }
  if (const toml::node* n = t.get("tornado")) {
    if (const auto* all = n->as_string()) {
      if (all->get() == "all")
        run.tornado = 0;
      else
        diag.error(pos(n->source()), "tornado must be a number of bars such as 20, or \"all\", "
                                     "not \"" + shown_name(all->get()) + "\"");
    } else if (auto x = r.integer(*n, "tornado", 1, std::numeric_limits<int>::max(),
                                  "is out of range: at least 1 bar (or \"all\" for every input)")) {
      run.tornado = static_cast<int>(*x);
    }
  }
  if (const toml::node* n = t.get("shares")) read_shares(*n, r, m);
}

}  // namespace velmsim::reader
