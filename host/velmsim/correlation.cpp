#include "host/velmsim/correlation.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <numbers>
#include <numeric>
#include <utility>

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

// The indices 0..n-1 in ascending order of x, ties in index order: each key
// made an unsigned integer of the same order (sign bit flipped, or every
// bit for a negative number) above its index, then a least-significant-digit
// radix sort of the keys in stable passes of 8 bits, the four digits counted
// in one read and a pass skipped where every key has the same digit (the
// exponent byte, often). Blocks are a few hundred long, where this is several
// times faster than a comparison sort.
template <typename T>
void argsort(const T* x, std::size_t n, std::vector<std::uint64_t>& work,
             std::vector<std::uint32_t>& order) {
  work.resize(2 * n);
  std::uint64_t* from = work.data();
  std::uint64_t* to = work.data() + n;
  std::uint32_t count[4][256] = {};
  for (std::size_t i = 0; i < n; ++i) {
    const auto bits = std::bit_cast<std::uint32_t>(static_cast<float>(x[i]));
    const std::uint32_t key = bits & 0x80000000u ? ~bits : bits | 0x80000000u;
    from[i] = static_cast<std::uint64_t>(key) << 32 | i;
    for (int d = 0; d < 4; ++d) ++count[d][key >> (8 * d) & 0xff];
  }
  for (int d = 0; d < 4; ++d) {
    std::uint32_t* c = count[d];
    const int shift = 32 + 8 * d;
    if (c[from[0] >> shift & 0xff] == n) continue;
    for (std::uint32_t sum = 0, v = 0; v < 256; ++v) sum += std::exchange(c[v], sum);
    for (std::size_t i = 0; i < n; ++i) to[c[from[i] >> shift & 0xff]++] = from[i];
    std::swap(from, to);
  }
  order.resize(n);
  for (std::size_t i = 0; i < n; ++i) order[i] = static_cast<std::uint32_t>(from[i]);
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

void RankReorder::prepare(std::size_t n, const std::vector<const std::uint32_t*>& keys) {
  n_ = n;
  transformed_.assign(n * k_, 0.0);
  if (n < 2) return;
  // A run has two block lengths at most: the block and the last one.
  std::vector<double>& scores = scores_[n];
  if (scores.empty()) {
    const boost::math::normal standard;
    for (std::size_t r = 1; r <= n; ++r)
      scores.push_back(boost::math::quantile(standard, static_cast<double>(r) / static_cast<double>(n + 1)));
  }
  const auto rows = static_cast<Eigen::Index>(n), cols = static_cast<Eigen::Index>(k_);

  // The scores, each column shuffled by its keys (Fisher-Yates: going down
  // from the last, iteration i's key k picks the score floor(k (i + 1) / 2^31)
  // of the first i + 1). Column 0's scores keep their order through the
  // transformation (its factor is a positive multiple), so its shuffle gives
  // the ranks of its transformed scores at once.
  MatrixXd r(rows, cols);
  std::vector<std::uint32_t> shuffle(n);
  first_ranks_.resize(n);
  for (std::size_t j = 0; j < k_; ++j) {
    std::iota(shuffle.begin(), shuffle.end(), 0u);
    for (std::size_t i = n - 1; i > 0; --i) {
      const std::uint64_t pick = static_cast<std::uint64_t>(keys[j][i]) * (i + 1) >> 31;
      std::swap(shuffle[i], shuffle[pick]);
    }
    double* column = r.col(static_cast<Eigen::Index>(j)).data();
    for (std::size_t i = 0; i < n; ++i) column[i] = scores[shuffle[i]];
    if (j == 0)
      for (std::size_t i = 0; i < n; ++i) first_ranks_[shuffle[i]] = static_cast<std::uint32_t>(i);
  }

  // T, the scores' correlation, and the transformed scores R (P Q^-1)' = R X
  // with Q' X = P'. Should T be singular (a block barely longer than the
  // number of columns), the scores are taken as uncorrelated: X = P'.
  // Every column holds the same scores, whose mean is 0 by their symmetry.
  MatrixXd t = r.transpose() * r;
  const Eigen::VectorXd scale = t.diagonal().cwiseSqrt().cwiseInverse();
  t = scale.asDiagonal() * t * scale.asDiagonal();
  MatrixXd p(cols, cols);
  for (Eigen::Index i = 0; i < cols; ++i)
    for (Eigen::Index j = 0; j < cols; ++j)
      p(i, j) = factor_[static_cast<std::size_t>(i * cols + j)];
  const Eigen::LLT<MatrixXd> q(t);
  const MatrixXd x = q.info() == Eigen::Success ? MatrixXd(q.matrixU().solve(p.transpose()))
                                                : MatrixXd(p.transpose());
  Eigen::Map<MatrixXd>(transformed_.data(), rows, cols) = r * x;
}

void RankReorder::order(std::size_t j, const float* values, Order& out) const {
  if (n_ < 2) {
    out.source.assign(n_, 0);
    out.target.assign(n_, 0);
    return;
  }
  argsort(values, n_, out.work, out.source);
  if (j == 0) {
    out.target = first_ranks_;
    return;
  }
  // Scores rounded to single precision rank the same but for rare ties,
  // which any order serves.
  argsort(transformed_.data() + j * n_, n_, out.work, out.target);
}

}  // namespace velmsim
