#include "host/velmsim/plan/correlation.h"

#include <algorithm>
#include <cmath>
#include <sstream>

#include <Eigen/Eigenvalues>

#include "host/velmsim/model/distributions.h"
#include "host/velmsim/plan/eigen_matrix.h"

namespace velmsim {

namespace {

using Eigen::MatrixXd;

// The projection of a symmetric matrix onto the matrices whose eigenvalues
// are at least `floor`: V max(L, floor) V'.
MatrixXd clip_eigenvalues(const MatrixXd& m, double floor) {
  const Eigen::SelfAdjointEigenSolver<MatrixXd> e(m);
  const Eigen::VectorXd l = e.eigenvalues().cwiseMax(floor);
  return e.eigenvectors() * l.asDiagonal() * e.eigenvectors().transpose();
}

// An entry of a repaired matrix as the warning prints it.
std::string repaired_text(double x) {
  std::ostringstream out;
  out.precision(6);
  out << x;
  return out.str();
}

}  // namespace

double smallest_eigenvalue(const SquareMatrix& c) {
  if (c.k == 0) return 1.0;
  return Eigen::SelfAdjointEigenSolver<MatrixXd>(to_eigen(c), Eigen::EigenvaluesOnly)
      .eigenvalues()
      .minCoeff();
}

SquareMatrix nearest_correlation(const SquareMatrix& c, double floor) {
  const MatrixXd a = to_eigen(c);
  MatrixXd y = a, x = a, correction = MatrixXd::Zero(a.rows(), a.cols());
  for (int iteration = 0; iteration < 1000; ++iteration) {
    const MatrixXd r = y - correction;  // Dykstra's correction of the cone step
    x = clip_eigenvalues(r, floor);
    correction = x - r;
    const MatrixXd previous = y;
    y = x;
    y.diagonal().setOnes();
    if ((y - previous).norm() <= 1e-12 * y.norm() && (y - x).norm() <= 1e-12 * y.norm()) break;
  }
  // The last iterate has a unit diagonal but may sit a rounding error outside
  // the cone: project once more and rescale to a unit diagonal, which keeps
  // it positive definite.
  x = clip_eigenvalues(y, floor);
  const Eigen::VectorXd d = x.diagonal().cwiseSqrt().cwiseInverse();
  y = d.asDiagonal() * x * d.asDiagonal();
  y = ((y + y.transpose()) / 2).eval();  // evaluated first: y is read and written
  y.diagonal().setOnes();
  return from_eigen(y);
}

CorrelationPlan plan_correlation(const Model& model, bool repair, Diagnostics& diag) {
  const RankCorrelation& rc = model.correlation;
  CorrelationPlan plan;
  plan.variables = rc.variables;
  plan.given = plan.target = rc.given;
  if (rc.variables.empty()) return plan;
  const double lowest = smallest_eigenvalue(rc.given);
  if (lowest >= kSemidefiniteTolerance) return plan;
  const std::string what = "the correlations in [correlation] cannot hold together: their "
                           "matrix is not positive semi-definite (smallest eigenvalue " +
                           parameter_text(lowest) + ")";
  if (!repair) {
    diag.error(rc.at, what + "; run with --repair to use the nearest correlation matrix");
    return plan;
  }
  plan.target = nearest_correlation(rc.given);
  plan.repaired = true;
  const std::size_t k = plan.variables.size();
  for (std::size_t i = 0; i < k * k; ++i)
    plan.largest_change = std::max(plan.largest_change, std::fabs(plan.target.a[i] - plan.given.a[i]));
  std::string text = what + "; --repair uses the nearest correlation matrix (largest change " +
                     parameter_text(plan.largest_change) + "):\n  names = [";
  for (std::size_t i = 0; i < k; ++i)
    text += (i ? ", \"" : "\"") + model.variable_name(plan.variables[i]) + "\"";
  text += "]\n  matrix = [";
  for (std::size_t i = 0; i < k; ++i) {
    text += i ? ",\n            [" : "[";
    for (std::size_t j = 0; j < k; ++j) text += (j ? ", " : "") + repaired_text(plan.target(i, j));
    text += "]";
  }
  diag.warning(rc.at, text + "]");
  return plan;
}

}  // namespace velmsim
