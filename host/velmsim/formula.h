// Output formulas, evaluated with muParser in double precision from the
// inputs' single-precision values and rounded once to single precision. A
// formula may use the inputs, base, and the outputs written before it.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "host/velmsim/diagnostics.h"
#include "host/velmsim/model.h"

namespace mu {
class Parser;
}

namespace velmsim {

// The names of muParser's built-in functions and constants, which no input
// may take.
std::vector<std::string> builtin_names();

// Reports every formula with a syntax error or an unknown name, at its
// column inside the formula.
void check_formulas(const Model& model, Diagnostics& diagnostics);

// The outputs of one model for one thread: each thread evaluates with its own
// parsers, bound to its own variables.
class Formulas {
 public:
  explicit Formulas(const Model& model);
  ~Formulas();
  Formulas(const Formulas&) = delete;
  Formulas& operator=(const Formulas&) = delete;

  // Evaluates every output from the column values `row` into `out`. Returns
  // the index of the first output that is not a finite single-precision
  // number, or -1.
  int evaluate(const float* row, float* out);

 private:
  std::vector<double> variables_;
  std::vector<double> bases_;    // each output's base
  std::vector<double> outputs_;  // the outputs so far, for the formulas after them
  std::vector<std::unique_ptr<mu::Parser>> parsers_;
};

}  // namespace velmsim
