// [correlation]: pairs written `a.b = 0.5`, and/or a matrix over a list of
// names (`names = [...]`, `matrix = [[...], ...]`), and groups whose every
// pair takes one value (`groups = [{ inputs = [...], rho = 0.3 }, { match =
// "wbs_*", rho = 0.2 }]`), read into the given target over the columns they
// name. Each pair may be given once; a pair or the matrix overrides the
// groups, and two groups may give a pair only the same value. Whether the
// matrix can hold together is the run plan's to check.
#include <algorithm>
#include <set>

#include <fnmatch.h>

#include "host/velmsim/model/toml_reader.h"

namespace velmsim::reader {

namespace {

// The most variables a model may correlate, and the most pairs its groups
// may give (each pair is looked at once per group that holds it).
constexpr std::size_t kMaxCorrelated = 1000;
constexpr std::size_t kMaxGroupPairs = 2000000;

class CorrelationReader {
 public:
  CorrelationReader(Model& m, Reader& r) : m_(m), r_(r), diag_(r.diagnostics()) {}

  void read(const toml::table& t) {
    m_.correlation.at = pos(t.source());
    const toml::node* names = nullptr;
    const toml::node* matrix = nullptr;
    const toml::node* groups = nullptr;
    for (auto&& [key, node] : in_file_order(t)) {
      const std::string k(key->str());
      if (k == "names" && node->is_array()) {
        names = node;
      } else if (k == "groups" && !node->is_table()) {
        groups = node;
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
    // After the pairs and the matrix, which the groups give way to.
    if (groups != nullptr) read_groups(*groups);
    if (!failed_) build();
  }

 private:
  // The variable called `name`, which may be correlated: a column, or a
  // task's drawn duration.
  std::optional<std::size_t> column(const std::string& name, Position at) {
    const auto& tasks = m_.network.tasks;
    const auto task = std::find_if(tasks.begin(), tasks.end(),
                                   [&](const Task& t) { return t.name == name; });
    for (std::size_t c = 0; c < m_.columns.size(); ++c) {
      if (m_.columns[c].name != name) continue;
      if (task != tasks.end()) {
        diag_.error(at, "'" + name + "' names both an input and a task; rename one of them to "
                        "correlate it");
        failed_ = true;
        return std::nullopt;
      }
      const Input& in = m_.inputs[m_.columns[c].input];
      if (in.kind == InputKind::pair) {
        diag_.error(at, "'" + name + "' is a variable of the normal_pair '" + in.name +
                            "', which has its own correlation (rho); it cannot also be in "
                            "[correlation]");
        failed_ = true;
        return std::nullopt;
      }
      return c;
    }
    if (task != tasks.end()) {
      if (!task->duration.draw) {
        diag_.error(at, "task '" + shown_name(name) + "' has a fixed duration, which cannot be "
                        "correlated; give it a distribution");
        failed_ = true;
        return std::nullopt;
      }
      return m_.columns.size() + static_cast<std::size_t>(task - tasks.begin());
    }
    failed_ = true;
    // An input with errors has already been reported.
    if (std::find(m_.unchecked_names.begin(), m_.unchecked_names.end(), name) !=
        m_.unchecked_names.end())
      return std::nullopt;
    std::vector<std::string> known = m_.column_names();
    for (const Task& t : tasks) known.push_back(t.name);
    diag_.error(at, std::string(tasks.empty() ? "unknown input '" : "unknown input or task '") +
                        shown_name(name) + "' in [correlation]" + did_you_mean(name, known));
    return std::nullopt;
  }

  std::optional<double> coefficient(const toml::node& node, const std::string& what) {
    const auto x = r_.number(node, what);
    if (x && !(*x >= -1 && *x <= 1))
      diag_.error(pos(node.source()), what + " must lie between -1 and 1, not " + parameter_text(*x));
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
                        "not " + parameter_text(*x[i][i]));
        failed_ = true;
      }
      for (std::size_t j = 0; j < i; ++j) {
        const Position at_ij = pos(rows.get(i)->as_array()->get(j)->source());
        if (*x[i][j] != *x[j][i]) {
          diag_.error(at_ij, "the matrix must be symmetric: row " + std::to_string(i + 1) +
                                 ", column " + std::to_string(j + 1) + " is " +
                                 parameter_text(*x[i][j]) + " but row " + std::to_string(j + 1) +
                                 ", column " + std::to_string(i + 1) + " is " +
                                 parameter_text(*x[j][i]));
          failed_ = true;
        } else {
          pair(*cols[i], *cols[j], *x[i][j], at_ij, labels[i], labels[j]);
        }
      }
    }
  }

  void fail(Position at, const std::string& message) {
    diag_.error(at, message);
    failed_ = true;
  }

  // Each group's variables take rho pairwise, unless a pair or the matrix
  // gives their own.
  void read_groups(const toml::node& node) {
    const std::string shape = "'groups' must be a list of tables such as [{ inputs = [\"a\", \"b\"], "
                              "rho = 0.3 }, { match = \"wbs_*\", rho = 0.2 }]";
    const toml::array* list = node.as_array();
    if (list == nullptr) return fail(pos(node.source()), shape);
    std::map<std::pair<std::size_t, std::size_t>, std::pair<double, std::size_t>> grouped;
    std::set<std::size_t> in_groups;
    std::size_t pairs = 0;
    for (std::size_t g = 0; g < list->size(); ++g) {
      const toml::node& e = *list->get(g);
      const toml::table* t = e.as_table();
      if (t == nullptr) {
        fail(pos(e.source()), shape);
        continue;
      }
      const std::string who = "correlation group " + std::to_string(g + 1);
      r_.unknown_keys(*t, {"inputs", "match", "rho"}, "for a correlation group");
      const toml::node* inputs = t->get("inputs");
      const toml::node* match = t->get("match");
      const toml::node* rho_node = t->get("rho");
      std::optional<double> rho;
      if (rho_node == nullptr)
        fail(pos(e.source()), who + " needs 'rho', the correlation of each pair in it");
      else
        rho = coefficient(*rho_node, "'rho' of " + who);
      std::vector<std::size_t> members;
      if (inputs != nullptr && match != nullptr)
        fail(pos(match->source()), who + " takes either 'inputs' or 'match', not both");
      else if (inputs != nullptr)
        members = listed(*inputs, who);
      else if (match != nullptr)
        members = matched(*match, who);
      else
        fail(pos(e.source()), who + " needs 'inputs', a list of names, or 'match', a pattern "
                                    "such as \"wbs_*\"");
      if (!rho) continue;
      // What a group asks for grows with the square of its size: a model
      // may not ask for more than the matrix a run can take.
      in_groups.insert(members.begin(), members.end());
      pairs += members.size() * (members.size() - (members.empty() ? 0 : 1)) / 2;
      if (in_groups.size() > kMaxCorrelated || pairs > kMaxGroupPairs) {
        return fail(pos(e.source()),
                    who + " brings the correlation groups to " + std::to_string(in_groups.size()) +
                        " variables and " + std::to_string(pairs) + " pairs; at most " +
                        std::to_string(kMaxCorrelated) + " variables and " +
                        std::to_string(kMaxGroupPairs) + " pairs in all can be correlated");
      }
      bool clash = false;
      for (std::size_t i = 0; i < members.size(); ++i)
        for (std::size_t j = i + 1; j < members.size(); ++j) {
          const auto ab = std::minmax(members[i], members[j]);
          if (entries_.count(ab) != 0) continue;
          const auto [it, fresh] = grouped.emplace(ab, std::make_pair(*rho, g));
          if (fresh || it->second.first == *rho || clash) continue;
          clash = true;
          fail(pos(rho_node->source()),
               "'" + m_.variable_name(ab.first) + "' and '" + m_.variable_name(ab.second) +
                   "' are in correlation groups " + std::to_string(it->second.second + 1) +
                   " and " + std::to_string(g + 1) + " with different correlations (" +
                   parameter_text(it->second.first) + " and " + parameter_text(*rho) +
                   "); give the pair its own value, such as " + m_.variable_name(ab.first) + "." +
                   m_.variable_name(ab.second) + " = " + parameter_text(*rho));
        }
    }
    for (const auto& [ab, value] : grouped)
      entries_.emplace(ab, std::make_pair(value.first, m_.correlation.at));
  }

  // The variables a group's `inputs` names, each once, at least two.
  std::vector<std::size_t> listed(const toml::node& node, const std::string& who) {
    const toml::array* names = node.as_array();
    if (names == nullptr || names->size() < 2) {
      fail(pos(node.source()), "'inputs' of " + who + " must be a list of at least two names, "
                               "such as [\"labour\", \"steel\"]");
      return {};
    }
    std::vector<std::size_t> members;
    bool ok = true;
    for (const toml::node& e : *names) {
      const auto name = r_.string(e, "each of 'inputs' of " + who);
      const auto v = name ? column(*name, pos(e.source())) : std::nullopt;
      if (!v) {
        failed_ = true;
        ok = false;
      } else if (std::find(members.begin(), members.end(), *v) != members.end()) {
        fail(pos(e.source()), "'" + shown_name(*name) + "' is listed twice in " + who);
        ok = false;
      } else {
        members.push_back(*v);
      }
    }
    return ok ? members : std::vector<std::size_t>{};
  }

  // The variables whose names the group's `match` pattern matches (shell
  // wildcards: *, ? and [...]), in draw order: inputs and variables of a
  // normal_pair in file order, then tasks. Variables that cannot be
  // correlated (a pair's, a task of fixed duration or one named like an
  // input) are passed over. At least two.
  std::vector<std::size_t> matched(const toml::node& node, const std::string& who) {
    const auto pattern = r_.string(node, "'match' of " + who);
    if (!pattern) {
      failed_ = true;
      return {};
    }
    std::vector<std::size_t> members;
    std::vector<std::string> names;
    const std::vector<std::string> columns = m_.column_names();
    auto take = [&](std::size_t v, const std::string& name) {
      if (::fnmatch(pattern->c_str(), name.c_str(), 0) != 0) return;
      members.push_back(v);
      names.push_back("'" + name + "'");
    };
    for (std::size_t c = 0; c < columns.size(); ++c)
      if (m_.inputs[m_.columns[c].input].kind != InputKind::pair) take(c, columns[c]);
    const auto& tasks = m_.network.tasks;
    for (std::size_t t = 0; t < tasks.size(); ++t)
      if (tasks[t].duration.draw &&
          std::find(columns.begin(), columns.end(), tasks[t].name) == columns.end())
        take(columns.size() + t, tasks[t].name);
    if (members.size() < 2) {
      fail(pos(node.source()), "the pattern \"" + shown_name(*pattern) + "\" of " + who +
                                   " matches " + (names.empty() ? "no variable" : "only " + names[0]) +
                                   "; a group needs at least two");
      return {};
    }
    return members;
  }

  // The given matrix over the named variables in draw order.
  void build() {
    RankCorrelation& rc = m_.correlation;
    std::set<std::size_t> named;
    for (const auto& [ab, value] : entries_) named.insert({ab.first, ab.second});
    if (named.size() > kMaxCorrelated)
      return fail(rc.at, "[correlation] correlates " + std::to_string(named.size()) +
                             " variables; at most " + std::to_string(kMaxCorrelated) +
                             " (the matrix grows with the square of the count, its check with "
                             "the cube)");
    rc.variables.assign(named.begin(), named.end());
    rc.given = SquareMatrix::identity(rc.variables.size());
    auto index = [&](std::size_t c) {
      return static_cast<std::size_t>(std::lower_bound(rc.variables.begin(), rc.variables.end(), c) -
                                      rc.variables.begin());
    };
    for (const auto& [ab, value] : entries_) {
      const std::size_t i = index(ab.first), j = index(ab.second);
      rc.given(i, j) = rc.given(j, i) = value.first;
    }
  }

  Model& m_;
  Reader& r_;
  Diagnostics& diag_;
  bool failed_ = false;
  std::map<std::pair<std::size_t, std::size_t>, std::pair<double, Position>> entries_;
};

}  // namespace

void read_correlation(const toml::table& t, Reader& r, Model& m) { CorrelationReader(m, r).read(t); }

}  // namespace velmsim::reader
