// The target rank correlation of a run: the file's matrix checked to be
// positive semi-definite, or replaced by the nearest correlation matrix.
#pragma once

#include <cstddef>
#include <vector>

#include "host/velmsim/model/diagnostics.h"
#include "host/velmsim/model/matrix.h"
#include "host/velmsim/model/model.h"

namespace velmsim {

// The smallest eigenvalue of a symmetric matrix.
double smallest_eigenvalue(const SquareMatrix& c);

// A correlation matrix is accepted as positive semi-definite when its
// smallest eigenvalue is at least this: entries written with six or seven
// digits move the eigenvalues of an exactly singular matrix by about as much.
inline constexpr double kSemidefiniteTolerance = -1e-6;

// The nearest correlation matrix to the symmetric matrix `c` in the
// Frobenius norm: Higham's alternating projections onto the positive
// semi-definite cone and onto the matrices with a unit diagonal, with
// Dykstra's correction. Eigenvalues are held at or above `floor` and the
// result rescaled to a unit diagonal, so that it stays acceptable after its
// entries are printed to six significant digits.
SquareMatrix nearest_correlation(const SquareMatrix& c, double floor = 1e-5);

// Target Spearman rank correlations between variables (columns and tasks'
// durations, as the model numbers them), induced by reordering each block's
// draws.
struct CorrelationPlan {
  std::vector<std::size_t> variables;  // the correlated variables, in draw order
  SquareMatrix target;                 // over `variables`: the matrix the run uses
  SquareMatrix given;                  // as written, before a repair
  bool repaired = false;
  double largest_change = 0;  // largest |target - given| entry after a repair
  bool empty() const { return variables.size() < 2; }
};

// The model's correlations as the run uses them. A matrix that is not
// positive semi-definite is an error, or with `repair` replaced by the
// nearest correlation matrix with a warning that prints it.
CorrelationPlan plan_correlation(const Model& model, bool repair, Diagnostics& diagnostics);

}  // namespace velmsim
