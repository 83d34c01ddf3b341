#include "host/velmsim/plan/formula.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <limits>

#include <muParser.h>

#include "host/velmsim/model/functions.h"

namespace velmsim {

namespace {

// Every task figure that a formula may name: those of each task whose name
// is an identifier, within muParser's length of a name.
std::vector<FormulaProgram::TaskValue> task_values_of(const Model& m) {
  std::vector<FormulaProgram::TaskValue> values;
  for (std::size_t t = 0; t < m.network.tasks.size(); ++t) {
    const std::string& task = m.network.tasks[t].name;
    if (!is_formula_name(task)) continue;
    for (auto [field, suffix] : {std::pair{TaskField::duration, ".duration"},
                                 std::pair{TaskField::start, ".start"},
                                 std::pair{TaskField::finish, ".finish"}}) {
      std::string name = task + suffix;
      if (name.size() <= kMaxNameLength) values.push_back({t, field, std::move(name)});
    }
  }
  return values;
}

// muParser's characters of a name, and the dot of a task's figures.
constexpr const char* kNameCharsWithDot =
    "0123456789_abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ.";

// A parser with the model's functions and constants, and the dot of a
// task's figures in its names when the model has tasks.
std::unique_ptr<mu::Parser> new_parser(const std::vector<Constant>& constants, bool tasks) {
  auto p = std::make_unique<mu::Parser>();
  if (tasks) p->DefineNameChars(kNameCharsWithDot);
  define_functions(*p);
  for (const Constant& c : constants) p->DefineConst(c.name, c.value);
  return p;
}

// The message for muParser's error `e` in the formula of `out`.
std::string formula_message(const mu::Parser::exception_type& e, const Model& model,
                            const Output& out, std::size_t earlier,
                            const std::vector<std::string>& names, int where) {
  if (e.GetCode() != mu::ecUNASSIGNABLE_TOKEN && e.GetCode() != mu::ecUNEXPECTED_VAR) {
    return "in the formula of '" + out.name + "': " + parser_message(e.GetMsg());
  }
  // muParser reads an unknown name as far as the next operator.
  std::string name;
  const bool tasks = !model.network.empty();
  for (char c : out.formula.substr(static_cast<std::size_t>(where))) {
    if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '_' || (tasks && c == '.'))) break;
    name += c;
  }
  if (name.empty()) name = e.GetToken();
  const auto pair = std::find_if(model.inputs.begin(), model.inputs.end(), [&](const Input& in) {
    return in.kind == InputKind::pair && in.name == name;
  });
  if (pair != model.inputs.end())
    return "'" + name + "' in the formula of '" + out.name + "' is a normal_pair, not a "
           "variable: use its variables '" + pair->pair.names[0] + "' and '" +
           pair->pair.names[1] + "'";
  // A name that is declared but cannot be one (reported where it is declared).
  if (std::find(names.begin(), names.end(), name) != names.end()) return "";
  for (std::size_t k = earlier; k < model.outputs.size(); ++k) {
    if (model.outputs[k].name != name) continue;
    if (k == earlier) return "the formula of '" + out.name + "' uses the output itself";
    return "'" + name + "' in the formula of '" + out.name + "' is an output written below it "
           "(line " + std::to_string(model.outputs[k].at.line) +
           "): a formula may use only the outputs written above it";
  }
  std::vector<std::string> known = names;
  for (const Constant& c : model.constants) known.push_back(c.name);
  for (std::size_t k = 0; k < earlier; ++k) known.push_back(model.outputs[k].name);
  if (out.base) known.push_back("base");
  for (const std::string& b : builtin_names()) known.push_back(b);
  for (const FormulaProgram::TaskValue& v : task_values_of(model)) known.push_back(v.name);
  const std::string text = "unknown name '" + name + "' in the formula of '" + out.name + "'";
  const std::string guess = did_you_mean(name, known);
  if (!guess.empty()) return text + guess;
  const auto dot = name.rfind('.');
  if (tasks && dot != std::string::npos) {
    const std::string task = name.substr(0, dot);
    const auto& all = model.network.tasks;
    if (std::any_of(all.begin(), all.end(), [&](const Task& t) { return t.name == task; }))
      return text + (is_formula_name(task) ? "; a task's figures are .duration, .start and .finish"
                                           : "; a task's figures can be used only when its name "
                                             "is an identifier (letters, digits and _)");
  }
  return text;
}

}  // namespace

FormulaProgram compile_formulas(const Model& model, Diagnostics& diag) {
  FormulaProgram program;
  program.variables = model.column_names();
  program.constants = model.constants;
  // Names of inputs with errors are known to the check, which would
  // otherwise report them again as unknown.
  std::vector<std::string> names = program.variables;
  names.insert(names.end(), model.unchecked_names.begin(), model.unchecked_names.end());
  std::vector<double> values(names.size() + model.outputs.size(), 1.0);
  const std::vector<FormulaProgram::TaskValue> task_values = task_values_of(model);
  std::vector<double> task_slots(task_values.size(), 1.0);
  std::vector<bool> used(task_values.size(), false);
  for (std::size_t earlier = 0; earlier < model.outputs.size(); ++earlier) {
    const Output& out = model.outputs[earlier];
    program.outputs.push_back({out.name, out.formula, out.base, out.network});
    if (out.network) continue;  // the task network computes it
    // Names that muParser would refuse are not defined: each has been
    // reported where it is declared.
    const auto parser = new_parser(model.constants, !model.network.empty());
    mu::Parser& p = *parser;
    // Nor those of muParser's constants and the model's (a clash reported
    // where the name is declared).
    const auto definable = [&](const std::string& name) {
      return is_formula_name(name) && p.GetConst().count(name) == 0;
    };
    for (std::size_t i = 0; i < names.size(); ++i)
      if (definable(names[i])) p.DefineVar(names[i], &values[i]);
    for (std::size_t i = 0; i < task_values.size(); ++i)
      p.DefineVar(task_values[i].name, &task_slots[i]);
    double base = 1.0;
    if (out.base) p.DefineVar("base", &base);
    for (std::size_t k = 0; k < earlier; ++k)
      if (definable(model.outputs[k].name))
        p.DefineVar(model.outputs[k].name, &values[names.size() + k]);
    try {
      p.SetExpr(out.formula);
      function_failure() = FunctionFailure::none;
      p.Eval();
      // A function given too few arguments (when the check reaches it).
      if (is_written_wrong(function_failure()))
        throw mu::Parser::exception_type(failure_text(function_failure()));
      const auto& in_use = p.GetUsedVar();
      for (std::size_t i = 0; i < task_values.size(); ++i)
        if (in_use.count(task_values[i].name)) used[i] = true;
    } catch (const mu::Parser::exception_type& e) {
      // muParser's position may point one past the end of the formula.
      const int where = std::clamp(e.GetPos(), 0, static_cast<int>(out.formula.size()));
      Position at = out.formula_at;
      at.column += where;
      const std::string message = formula_message(e, model, out, earlier, names, where);
      if (!message.empty()) diag.error(at, message);
    }
  }
  for (std::size_t i = 0; i < task_values.size(); ++i)
    if (used[i]) program.task_values.push_back(task_values[i]);
  return program;
}

Evaluator::Evaluator(const FormulaProgram& program) {
  variables_.assign(program.variables.size(), 0.0);
  tasks_.assign(program.task_values.size(), 0.0);
  outputs_.assign(program.outputs.size(), 0.0);
  bases_.assign(program.outputs.size(), 0.0);
  for (const FormulaProgram::Formula& f : program.outputs) {
    given_.push_back(f.given);
    const std::size_t k = parsers_.size();
    auto p = new_parser(program.constants, !program.task_values.empty());
    for (std::size_t i = 0; i < variables_.size(); ++i)
      p->DefineVar(program.variables[i], &variables_[i]);
    for (std::size_t i = 0; i < tasks_.size(); ++i)
      p->DefineVar(program.task_values[i].name, &tasks_[i]);
    if (f.base) {
      bases_[k] = *f.base;
      p->DefineVar("base", &bases_[k]);
    }
    for (std::size_t j = 0; j < k; ++j) p->DefineVar(program.outputs[j].name, &outputs_[j]);
    if (!f.given) p->SetExpr(f.expression);
    parsers_.push_back(std::move(p));
  }
}

Evaluator::~Evaluator() = default;

int Evaluator::evaluate(const float* row, const float* tasks, float* out) {
  for (std::size_t i = 0; i < variables_.size(); ++i) variables_[i] = row[i];
  for (std::size_t i = 0; i < tasks_.size(); ++i) tasks_[i] = tasks[i];
  int bad = -1;
  for (std::size_t k = 0; k < parsers_.size(); ++k) {
    function_failure() = FunctionFailure::none;
    const double y = given_[k] ? out[k] : parsers_[k]->Eval();
    if (std::isfinite(y) && std::fabs(y) <= std::numeric_limits<float>::max()) {
      out[k] = static_cast<float>(y);
    } else {
      out[k] = std::isnan(y) ? std::numeric_limits<float>::quiet_NaN()
                             : std::copysign(std::numeric_limits<float>::infinity(), y);
      if (bad < 0) {
        bad = static_cast<int>(k);
        why_ = std::isnan(y) ? failure_text(function_failure()) : "";
      }
    }
    outputs_[k] = out[k];  // later outputs see this output's single-precision value
  }
  return bad;
}

}  // namespace velmsim
