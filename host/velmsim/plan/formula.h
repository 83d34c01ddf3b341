// Output formulas, evaluated with muParser in double precision from the
// inputs' single-precision values and rounded once to single precision. A
// formula may use the inputs, base, the outputs written before it and, in a
// model with tasks, each task's duration as used, start and finish in that
// iteration, as T.duration, T.start and T.finish (T a task whose name is an
// identifier).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "host/velmsim/model/diagnostics.h"
#include "host/velmsim/model/model.h"
#include "host/velmsim/plan/cache_line.h"

namespace mu {
class Parser;
}

namespace velmsim {

// A figure of a task's schedule in an iteration.
enum class TaskField : std::uint8_t { duration, start, finish };

// The checked formulas of a model: what each thread's evaluator is built
// from.
struct FormulaProgram {
  std::vector<std::string> variables;  // the columns' names, in draw order
  std::vector<Constant> constants;     // muParser constants of every formula
  // The task figures the formulas use, in the order the evaluator takes them.
  struct TaskValue {
    std::size_t task = 0;
    TaskField field = TaskField::duration;
    std::string name;  // as the formulas write it: T.duration, T.start, T.finish
  };
  std::vector<TaskValue> task_values;
  struct Formula {
    std::string name, expression;
    std::optional<double> base;
    bool given = false;  // computed by the task network: its value is passed in
  };
  std::vector<Formula> outputs;  // in the order of the file
};

// The formulas of `model`, each checked: a syntax error or an unknown name
// is reported at its column inside the formula.
FormulaProgram compile_formulas(const Model& model, Diagnostics& diagnostics);

// The outputs for one thread: each thread evaluates with its own parsers,
// bound to its own variables.
class Evaluator {
 public:
  explicit Evaluator(const FormulaProgram& program);
  ~Evaluator();
  Evaluator(const Evaluator&) = delete;
  Evaluator& operator=(const Evaluator&) = delete;

  // Evaluates every output from the column values `row` and the task
  // figures `tasks` (one per program.task_values) into `out`, whose given
  // outputs (the task network's) hold their values already. Returns the
  // index of the first output that is not a finite single-precision number,
  // or -1; then `why` says why when a function (irr) knows.
  int evaluate(const float* row, const float* tasks, float* out);
  const std::string& why() const { return why_; }

 private:
  // Written on every evaluation, while other threads evaluate with theirs.
  LineVector<double> variables_;
  LineVector<double> tasks_;
  LineVector<double> outputs_;  // the outputs so far, for the formulas after them
  std::vector<double> bases_;   // each output's base
  std::vector<bool> given_;     // each output's: passed in, not evaluated
  std::vector<std::unique_ptr<mu::Parser>> parsers_;
  std::string why_;
};

}  // namespace velmsim
