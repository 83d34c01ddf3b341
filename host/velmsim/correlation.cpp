#include "host/velmsim/correlation.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <numeric>

#include <Eigen/Cholesky>
#include <Eigen/Eigenvalues>
#include <boost/math/distributions/normal.hpp>

namespace velmsim {

namespace {

using Eigen::MatrixXd;

MatrixXd to_eigen(const SquareMatrix& c) {
  MatrixXd m(c.k, c.k);
  for (std::size_t i = 0; i < c.k; ++i)
    for (std::size_t j = 0; j < c.k; ++j)
      m(static_cast<Eigen::Index>(i), static_cast<Eigen::Index>(j)) = c(i, j);
  return m;
}

SquareMatrix from_eigen(const MatrixXd& m) {
  SquareMatrix c;
  c.k = static_cast<std::size_t>(m.rows());
  c.a.resize(c.k * c.k);
  for (std::size_t i = 0; i < c.k; ++i)
    for (std::size_t j = 0; j < c.k; ++j)
      c(i, j) = m(static_cast<Eigen::Index>(i), static_cast<Eigen::Index>(j));
  return c;
}

// The projection of a symmetric matrix onto the matrices whose eigenvalues
// are at least `floor`: V max(L, floor) V'.
MatrixXd clip_eigenvalues(const MatrixXd& m, double floor) {
  const Eigen::SelfAdjointEigenSolver<MatrixXd> e(m);
  const Eigen::VectorXd l = e.eigenvalues().cwiseMax(floor);
  return e.eigenvectors() * l.asDiagonal() * e.eigenvectors().transpose();
}

// The indices 0..n-1 in ascending order of x, ties in index order.
template <typename T>
void argsort(const T* x, std::size_t n, std::vector<std::uint32_t>& order) {
  order.resize(n);
  std::iota(order.begin(), order.end(), 0u);
  std::stable_sort(order.begin(), order.end(),
                   [x](std::uint32_t a, std::uint32_t b) { return x[a] < x[b]; });
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
  y = (y + y.transpose()) / 2;
  y.diagonal().setOnes();
  return from_eigen(y);
}

RankReorder::RankReorder(const SquareMatrix& target) : k_(target.k) {
  // Normal scores with Pearson correlation r have Spearman correlation
  // (6 / pi) asin(r / 2); the scores are given the r whose Spearman
  // correlation is the target, 2 sin(pi rho / 6).
  MatrixXd c = to_eigen(target);
  c = c.unaryExpr([](double rho) { return 2 * std::sin(std::numbers::pi * rho / 6); });
  // A semi-definite target (a correlation of +-1, or a singular set), or one
  // that the transformation took just outside the cone, is factored as its
  // nearest positive definite correlation matrix.
  Eigen::LLT<MatrixXd> cholesky(c);
  if (cholesky.info() != Eigen::Success) cholesky.compute(to_eigen(nearest_correlation(from_eigen(c))));
  const MatrixXd p = cholesky.matrixL();
  factor_.resize(k_ * k_);
  for (std::size_t i = 0; i < k_; ++i)
    for (std::size_t j = 0; j < k_; ++j)
      factor_[i * k_ + j] = p(static_cast<Eigen::Index>(i), static_cast<Eigen::Index>(j));
}

void RankReorder::plan(std::size_t n, const std::vector<const float*>& values,
                       const std::vector<const float*>& keys, Plan& out) {
  out.source.resize(k_);
  out.target.resize(k_);
  if (n < 2 || k_ < 2) {
    for (std::size_t j = 0; j < k_; ++j) {
      out.source[j].resize(n);
      std::iota(out.source[j].begin(), out.source[j].end(), 0u);
      out.target[j] = out.source[j];
    }
    return;
  }
  if (scores_.size() != n) {
    const boost::math::normal standard;
    scores_.resize(n);
    for (std::size_t r = 0; r < n; ++r)
      scores_[r] = boost::math::quantile(standard, static_cast<double>(r + 1) / static_cast<double>(n + 1));
  }
  const auto rows = static_cast<Eigen::Index>(n), cols = static_cast<Eigen::Index>(k_);

  // The scores, each column permuted by its keys.
  MatrixXd r(rows, cols);
  std::vector<std::uint32_t> order;
  for (std::size_t j = 0; j < k_; ++j) {
    argsort(keys[j], n, order);
    for (std::size_t i = 0; i < n; ++i)
      r(static_cast<Eigen::Index>(order[i]), static_cast<Eigen::Index>(j)) = scores_[i];
  }

  // T, the scores' correlation, and the transformed scores R (P Q^-1)' = R X
  // with Q' X = P'. Should T be singular (a block barely longer than the
  // number of columns), the scores are taken as uncorrelated: X = P'.
  const MatrixXd centred = r.rowwise() - r.colwise().mean();
  MatrixXd t = centred.transpose() * centred;
  const Eigen::VectorXd scale = t.diagonal().cwiseSqrt().cwiseInverse();
  t = scale.asDiagonal() * t * scale.asDiagonal();
  MatrixXd p(cols, cols);
  for (Eigen::Index i = 0; i < cols; ++i)
    for (Eigen::Index j = 0; j < cols; ++j)
      p(i, j) = factor_[static_cast<std::size_t>(i * cols + j)];
  const Eigen::LLT<MatrixXd> q(t);
  const MatrixXd x = q.info() == Eigen::Success ? MatrixXd(q.matrixU().solve(p.transpose()))
                                                : MatrixXd(p.transpose());
  const MatrixXd transformed = r * x;

  for (std::size_t j = 0; j < k_; ++j) {
    argsort(values[j], n, out.source[j]);
    argsort(transformed.col(static_cast<Eigen::Index>(j)).data(), n, out.target[j]);
  }
}

}  // namespace velmsim
