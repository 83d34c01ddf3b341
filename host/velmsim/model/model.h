// A velmsim model as read from its TOML file and checked: uncertain inputs,
// output formulas, the [run] values the file gives and the rank correlations
// it asks for. Every parameter that reaches the library has been checked
// here, so that the library never refuses one.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "host/velmsim/model/diagnostics.h"
#include "host/velmsim/model/distributions.h"
#include "host/velmsim/model/matrix.h"

namespace velmsim {

struct Pair {
  std::array<float, 2> mean{}, sd{};
  float rho = 0.0f;
  std::array<std::string, 2> names;  // the two variables
};

struct Risk {
  float p = 0.0f;              // the chance that the event occurs
  std::optional<Draw> impact;  // drawn every iteration, or
  float impact_value = 0.0f;   // a constant
};

struct Input {
  std::string name;
  Position at;       // the key
  Position dist_at;  // the dist value
  InputKind kind = InputKind::plain;
  Draw draw;  // plain
  Pair pair;
  Risk risk;
  // The distributions the input draws from: its own, or a risk's drawn impact.
  std::vector<Dist> distributions() const;
};

// How the reports name a variable: its name, which the formulas and the CSV
// use, and the label ("Labour cost") and unit ("k$") the model may give it
// for people to read; empty when not given.
struct Naming {
  std::string name, label, unit;
};

// The longest label or unit (in characters) the model takes.
inline constexpr std::size_t kMaxCaptionLength = 200;

// A simulated variable: an input, or one variable of a pair.
struct Column : Naming {
  std::size_t input = 0;
  int part = 0;  // 0, or 1 for the second variable of a pair
};

struct Output : Naming {
  std::string formula;
  Position at;          // the key
  Position formula_at;  // the first character of the formula
  // The output's own base, target and currency label, else the model's. A
  // table output gives a unit or a currency, not both (the reports show
  // either in the same places).
  std::optional<double> base, target;
  std::string currency;
  // false: computed and written to the CSV, usable by later outputs, but
  // neither checked for convergence nor summarised in the reports.
  bool report = true;
  // Computed by the task network (finish, cost), not by a formula.
  bool network = false;
};

// A task network: [schedule], [tasks] and [risks].
enum class LinkType : std::uint8_t { FS, SS, FF, SF };

// A link from a predecessor: FS (ES >= EF(pred) + lag), SS (ES >= ES(pred) +
// lag), FF (EF >= EF(pred) + lag), SF (EF >= ES(pred) + lag); lags in
// working days, negative allowed.
struct Link {
  std::size_t task = 0;  // the predecessor
  LinkType type = LinkType::FS;
  double lag = 0.0;
};

// A number, or a distribution drawn every iteration.
struct Amount {
  std::optional<Draw> draw;
  float value = 0.0f;
};

struct Task {
  std::string name;
  Position at;
  Amount duration;              // working days; a draw below 0 is taken as 0
  double planned = 0.0;         // the plan's duration
  std::vector<Link> after;      // its predecessors
  std::vector<Position> after_at;  // where each is written
  std::optional<float> p;       // the chance that it exists in an iteration
  double fixed_cost = 0.0, cost_per_day = 0.0;
  double not_before = 0.0;      // its earliest start, in working days (a date constraint)
  // In a schedule read from a scheduling program's file: the task's UID (or
  // code), ID, own name and WBS, by which [tasks] and [risks] may choose it.
  std::string uid, id, title, wbs;
};

// A risk of the register: occurs once per iteration with probability p and
// then hits each of its tasks.
struct TaskRisk {
  std::string name;
  Position at;
  float p = 0.0f;
  std::vector<std::size_t> tasks;
  std::optional<Amount> delay;   // working days added to each task's duration
  std::optional<Amount> factor;  // then each duration multiplied by it
  std::optional<Amount> cost;    // money added
};

struct Schedule {
  std::optional<int> start;  // the first working day, in days since 1970-01-01
  std::array<bool, 7> workdays{true, true, true, true, true, false, false};  // Monday first
  std::vector<int> holidays;  // days since 1970-01-01, ascending
  std::optional<double> target;  // working days from the start
  std::optional<double> budget;
  double confidence = 0.7;  // the level of the joint-confidence frontier
};

struct TaskNetwork {
  Schedule schedule;
  std::string file;  // the scheduling program's file it was read from, if any
  std::vector<Task> tasks;  // in the order of the file
  std::vector<TaskRisk> risks;
  bool empty() const { return tasks.empty(); }
  // Whether any task or risk has a cost: then the network has a cost output.
  bool costed() const;
};

// Target Spearman rank correlations between variables, as the file gives
// them (pairs it leaves out are 0); the run checks or repairs the matrix. A
// variable is a column, or a task's drawn duration: variable v < the number
// of columns is column v, and columns + t is task t, so that ascending
// indices are in draw order.
struct RankCorrelation {
  std::vector<std::size_t> variables;  // the correlated variables, ascending
  SquareMatrix given;                  // over `variables`
  Position at;                         // the [correlation] table
  bool empty() const { return variables.size() < 2; }
};

// [run] as the file gives it: a value left out takes the command line's or
// the default.
struct RunSection {
  std::optional<int> iterations, block, classes;
  std::optional<int> tornado;        // bars of each tornado and drivers chart; 0: all
  std::optional<std::int32_t> seed;  // 0: a seed from the clock
  std::optional<double> tolerance;
  std::optional<double> precision;
  std::vector<double> percentiles;         // empty when not given
  std::vector<Position> percentiles_at;    // where each is written
};

// A draw that the reports list, so that a reader can check it: one whose
// parameters were solved for, or that is truncated (its redraws counted in
// the run's slot redraw_slot).
struct DrawNote {
  std::string who;     // "input 'labour'", "the duration of task 'a'"
  std::string solved;  // or ""
  std::optional<std::array<double, 2>> truncate;
  double kept = 1.0;   // the share of the distribution in the range
  int redraw_slot = -1;
};

// A named number of [constants]: written as a number, or as an expression
// (muParser, in double precision) of the constants above it. Formulas and
// every number of the model may use it by name.
struct Constant {
  std::string name;
  std::string expression;  // as written; empty for a number
  double value = 0.0;
  Position at;  // the key
};

struct Model {
  std::string path;
  std::string text;
  std::string name;
  std::optional<double> base, target;
  std::string currency;
  std::vector<Constant> constants;  // in the order of the file
  std::vector<Input> inputs;    // in the order of the file
  std::vector<Column> columns;  // in draw order
  std::vector<Output> outputs;  // finish and cost of a network first, then the file's
  TaskNetwork network;
  RankCorrelation correlation;
  RunSection run;
  // The columns named in [run] shares (in the order written), whose part in
  // each output's contingency the reports give besides the risks'.
  std::vector<std::size_t> shares;
  std::vector<std::string> unchecked_names;  // declared by inputs or constants that have errors
  std::vector<DrawNote> draw_notes;  // in the order of for_each_draw
  int redraw_slots = 0;              // truncated draws
  // The columns' names, which every formula may use (besides base, when the
  // output has one, and the outputs before it).
  std::vector<std::string> column_names() const;
  // The name of a correlated variable (see RankCorrelation), and the task it
  // is, if it is one.
  std::string variable_name(std::size_t v) const;
  std::optional<std::size_t> variable_task(std::size_t v) const;
  // The outputs the reports summarise, in file order.
  std::vector<std::size_t> reported_outputs() const;
};

// Calls f(draw, who, at) for every draw of the model `m` (a Model, or a
// const one): the inputs' (a risk's drawn impact among them) in file order,
// then the tasks' durations, then the network risks' delays, factors and
// costs; `who` names the draw in messages, `at` is where it is written.
template <typename M, typename F>
void for_each_draw(M& m, F&& f) {
  for (auto& in : m.inputs) {
    if (in.kind == InputKind::plain) f(in.draw, "input '" + in.name + "'", in.dist_at);
    if (in.kind == InputKind::risk && in.risk.impact)
      f(*in.risk.impact, "the impact of '" + in.name + "'", in.dist_at);
  }
  for (auto& t : m.network.tasks)
    if (t.duration.draw) f(*t.duration.draw, "the duration of task '" + t.name + "'", t.at);
  for (auto& r : m.network.risks)
    for (auto* a : {&r.delay, &r.factor, &r.cost})
      if (*a && (*a)->draw)
        f(*(*a)->draw,
          std::string("'") + (a == &r.delay ? "delay" : a == &r.factor ? "factor" : "cost") +
              "' of risk '" + r.name + "'",
          r.at);
}

// The names of muParser's built-in functions and constants, which the
// formulas own: no input or output may take one.
const std::vector<std::string>& builtin_names();

// The longest name a formula may use (muParser's limit).
inline constexpr std::size_t kMaxNameLength = 100;

// Letters, digits and _, starting with a letter or _, at most kMaxNameLength
// characters: a name a formula can use.
bool is_formula_name(const std::string& s);

// Reads a file that a model needs (a `kind` file: the model, a schedule)
// of at most `limit` bytes into `text`; the error, if any. Anything else
// given by mistake (a directory, a pipe, /dev/zero) is refused without being
// read, and no more than the limit and one byte is ever read.
inline constexpr std::size_t kMaxModelBytes = std::size_t{16} << 20;
inline constexpr std::size_t kMaxScheduleBytes = std::size_t{256} << 20;
std::optional<std::string> read_limited_file(const std::string& path, const std::string& kind,
                                           std::string& text, std::size_t limit);

// Reads and checks the model in `path`. Problems are added to `diagnostics`;
// the model may be run only when it has none.
Model read_model(const std::string& path, Diagnostics& diagnostics);

// The same from the text of a model file, reported as `path`.
Model read_model_text(const std::string& path, std::string text, Diagnostics& diagnostics);

}  // namespace velmsim
