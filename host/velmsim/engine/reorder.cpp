#include "host/velmsim/engine/reorder.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <numbers>
#include <utility>

#include <Eigen/Cholesky>
#include <boost/math/distributions/normal.hpp>

#include "host/velmsim/plan/correlation.h"
#include "host/velmsim/plan/eigen_matrix.h"

namespace velmsim {

namespace {

using Eigen::MatrixXd;

// One stable pass of a least-significant-digit radix sort: the n elements of
// `from` scattered to `to` by their 8-bit digit at `shift`, whose counts
// `count` holds (turned into the buckets' starts here).
template <typename T>
void radix_pass(const T* from, T* to, std::size_t n, std::uint32_t* count, int shift) {
  for (std::uint32_t sum = 0, v = 0; v < 256; ++v) sum += std::exchange(count[v], sum);
  for (std::size_t i = 0; i < n; ++i) to[count[from[i] >> shift & 0xff]++] = from[i];
}

// The indices 0..n-1 in ascending order of x, ties in index order, and the
// values in that order: each value made an unsigned integer key of the same
// order (sign bit flipped, or every bit for a negative number) above its
// index, then a least-significant-digit radix sort of the keys in stable
// passes of 8 bits, and the keys turned back into the values. Only the
// digits in which some keys differ are counted and passed over: a digit every
// key shares (the exponent byte, often) would cost a pass for nothing, and
// its count a chain of increments of one counter. Blocks are a few hundred
// long, where this is several times faster than a comparison sort.
void argsort(const float* x, std::size_t n, std::vector<std::uint64_t>& work,
             std::vector<std::uint32_t>& order, std::vector<float>& sorted) {
  work.resize(2 * n);
  std::uint64_t* from = work.data();
  std::uint64_t* to = work.data() + n;
  auto key = [](float v) {
    const auto bits = std::bit_cast<std::uint32_t>(v);
    return bits & 0x80000000u ? ~bits : bits | 0x80000000u;
  };
  const std::uint32_t first = key(x[0]);
  std::uint32_t differ = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const std::uint32_t k = key(x[i]);
    differ |= k ^ first;
    from[i] = static_cast<std::uint64_t>(k) << 32 | i;
  }
  int digits[4], passes = 0;
  for (int d = 0; d < 4; ++d)
    if (differ >> (8 * d) & 0xff) digits[passes++] = 32 + 8 * d;
  std::uint32_t count[4][256] = {};
  for (std::size_t i = 0; i < n; ++i)
    for (int p = 0; p < passes; ++p) ++count[p][from[i] >> digits[p] & 0xff];
  for (int p = 0; p < passes; ++p) {
    radix_pass(from, to, n, count[p], digits[p]);
    std::swap(from, to);
  }
  order.resize(n);
  sorted.resize(n);
  for (std::size_t i = 0; i < n; ++i) {
    order[i] = static_cast<std::uint32_t>(from[i]);
    const auto k = static_cast<std::uint32_t>(from[i] >> 32);
    sorted[i] = std::bit_cast<float>(k & 0x80000000u ? k & 0x7fffffffu : ~k);
  }
}

// The indices 0..n-1 (n below 2^16) in ascending order of the scores x,
// rounded to 16-bit fixed point over [-max |x|, max |x|]: a radix sort of two
// 8-bit passes. The rounding step is about 1/10000 of the scores' spread,
// far below the gaps between neighbouring scores but for a few pairs per
// block, which tie and keep their index order; either order serves.
void rank_scores(const double* x, std::size_t n, std::vector<std::uint32_t>& work,
                 std::vector<std::uint32_t>& order) {
  double most[4] = {};  // four running maxima, not one chain of comparisons
  std::size_t i = 0;
  for (; i + 4 <= n; i += 4)
    for (std::size_t l = 0; l < 4; ++l) most[l] = std::max(most[l], std::abs(x[i + l]));
  for (; i < n; ++i) most[0] = std::max(most[0], std::abs(x[i]));
  const double largest = std::max(std::max(most[0], most[1]), std::max(most[2], most[3]));
  const double scale = largest > 0 ? 32767.0 / largest : 0.0, offset = 32768.5;
  work.resize(2 * n);
  std::uint32_t* from = work.data();
  std::uint32_t* to = work.data() + n;
  std::uint32_t count[2][256] = {};
  for (std::size_t i = 0; i < n; ++i) {
    const auto key = static_cast<std::uint32_t>(x[i] * scale + offset);  // rounded to nearest
    from[i] = key << 16 | static_cast<std::uint32_t>(i);
    ++count[0][key & 0xff];
    ++count[1][key >> 8];
  }
  for (int d = 0; d < 2; ++d) {
    radix_pass(from, to, n, count[d], 16 + 8 * d);
    std::swap(from, to);
  }
  order.resize(n);
  for (std::size_t i = 0; i < n; ++i) order[i] = from[i] & 0xffff;
}

// The dot product of x and y, summed in four interleaved partial sums: one
// running sum would wait for each addition in turn.
double dot(const double* x, const double* y, std::size_t n) {
  double s[4] = {};
  std::size_t i = 0;
  for (; i + 4 <= n; i += 4)
    for (std::size_t l = 0; l < 4; ++l) s[l] += x[i + l] * y[i + l];
  for (; i < n; ++i) s[0] += x[i] * y[i];
  return (s[0] + s[1]) + (s[2] + s[3]);
}

}  // namespace

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
  if (n < 2) return;
  // A run has two block lengths at most: the block and the last one.
  Scores& scores = scores_[n];
  if (scores.values.empty()) {
    const boost::math::normal standard;
    for (std::size_t r = 1; r <= n; ++r) {
      scores.values.push_back(boost::math::quantile(standard, static_cast<double>(r) / static_cast<double>(n + 1)));
      scores.sum_squares += scores.values.back() * scores.values.back();
    }
  }
  const std::vector<double>& score = scores.values;

  // The scores R, each column shuffled by its keys (Fisher-Yates, inside
  // out: going up from the first, iteration i's key k picks the place
  // floor(k (i + 1) / 2^31) among the first i + 1, whose score moves to i
  // while score i takes its place). Column 0's scores keep their order through
  // the transformation (its factor is a positive multiple), so its shuffle
  // of the ranks gives the ranks of its transformed scores at once.
  shuffled_.resize(n * k_);
  first_ranks_.resize(n);
  ranks_.resize(n);
  auto pick = [&](std::size_t j, std::size_t i) {
    return static_cast<std::size_t>(static_cast<std::uint64_t>(keys[j][i]) * (i + 1) >> 31);
  };
  for (std::size_t i = 0; i < n; ++i) {
    const std::size_t at = pick(0, i);
    ranks_[i] = ranks_[at];
    ranks_[at] = static_cast<std::uint32_t>(i);
  }
  for (std::size_t i = 0; i < n; ++i) {
    shuffled_[i] = score[ranks_[i]];
    first_ranks_[ranks_[i]] = static_cast<std::uint32_t>(i);
  }
  for (std::size_t j = 1; j < k_; ++j) {
    double* column = shuffled_.data() + j * n;
    for (std::size_t i = 0; i < n; ++i) {
      const std::size_t at = pick(j, i);
      column[i] = column[at];
      column[at] = score[i];
    }
  }

  // T, the scores' correlation: every column holds the same scores, whose
  // mean is 0 by their symmetry and whose sum of squares is known. Then the
  // transformed scores R (P Q^-1)' = R X with Q' X = P', both triangular, so
  // that column j is a combination of columns 0..j of R; column 0's are not
  // needed. Should T be singular (a block barely longer than the number of
  // columns), the scores are taken as uncorrelated: X = P'.
  const auto cols = static_cast<Eigen::Index>(k_);
  MatrixXd t = MatrixXd::Identity(cols, cols), p(cols, cols);
  for (std::size_t a = 0; a < k_; ++a)
    for (std::size_t b = 0; b < a; ++b) {
      const double sum = dot(shuffled_.data() + a * n, shuffled_.data() + b * n, n);
      t(static_cast<Eigen::Index>(a), static_cast<Eigen::Index>(b)) = sum / scores.sum_squares;
      t(static_cast<Eigen::Index>(b), static_cast<Eigen::Index>(a)) = sum / scores.sum_squares;
    }
  for (Eigen::Index i = 0; i < cols; ++i)
    for (Eigen::Index j = 0; j < cols; ++j)
      p(i, j) = factor_[static_cast<std::size_t>(i * cols + j)];
  const Eigen::LLT<MatrixXd> q(t);
  const MatrixXd x = q.info() == Eigen::Success ? MatrixXd(q.matrixU().solve(p.transpose()))
                                                : MatrixXd(p.transpose());
  transformed_.assign(n * k_, 0.0);
  for (std::size_t j = 1; j < k_; ++j) {
    double* out = transformed_.data() + j * n;
    for (std::size_t m = 0; m <= j; ++m) {
      const double w = x(static_cast<Eigen::Index>(m), static_cast<Eigen::Index>(j));
      const double* column = shuffled_.data() + m * n;
      for (std::size_t i = 0; i < n; ++i) out[i] += w * column[i];
    }
  }
}

void RankReorder::order(std::size_t j, const float* values, Order& out) const {
  if (n_ < 2) {
    out.source.assign(n_, 0);
    out.target.assign(n_, 0);
    out.sorted.assign(values, values + n_);
    return;
  }
  argsort(values, n_, out.work, out.source, out.sorted);
  if (j == 0) {
    out.target = first_ranks_;
    return;
  }
  rank_scores(transformed_.data() + j * n_, n_, out.score_work, out.target);
}

}  // namespace velmsim
