// Rank correlation between inputs of any distribution, induced by reordering
// the draws of each block of iterations (Iman and Conover's method).
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <vector>

#include "host/velmsim/model/matrix.h"

namespace velmsim {

// Reorders the rows of a block of n iterations so that the ranks of k columns
// follow a score matrix with the target rank correlation:
//  1. column j's scores are the van der Waerden scores Phi^-1(r / (n + 1)),
//     r = 1..n, shuffled by keys[j]: one random integer below 2^31 per
//     iteration;
//  2. with T = Q Q' the scores' own correlation (Cholesky) and C = P P' the
//     Pearson correlation that gives normal scores the target Spearman
//     correlation, 2 sin(pi rho / 6) (Cholesky; of the nearest positive
//     definite correlation matrix when C is not positive definite), the
//     scores R become R (P Q^-1)', whose correlation is C exactly: the
//     correction by Q removes the chance correlation of the permutations;
//  3. each column's values are sorted and handed out in the ranks of its
//     transformed scores, compared in 16-bit fixed point.
// The result is a permutation of the iterations per column: for column j,
// iteration source[j][r] hands its value (and anything drawn with it) to
// iteration target[j][r]. Each column keeps exactly the values it had.
// An object holds one prepared block: threads reordering blocks at once
// each have their own copy.
class RankReorder {
 public:
  explicit RankReorder(const SquareMatrix& target);

  // Steps 1 and 2 for a block of n iterations; keys[j] points at column j's
  // n keys.
  void prepare(std::size_t n, const std::vector<const std::uint32_t*>& keys);

  // Step 3 for column j of the prepared block, whose n values are at
  // `values`.
  struct Order {
    std::vector<std::uint32_t> source, target;  // by rank
    std::vector<float> sorted;                  // the values by rank
    std::vector<std::uint64_t> work;            // for the sort of the values
    std::vector<std::uint32_t> score_work;      // for the ranks of the scores
  };
  void order(std::size_t j, const float* values, Order& out) const;

 private:
  std::size_t k_, n_ = 0;
  std::vector<double> factor_;  // P, row by row
  struct Scores {
    std::vector<double> values;  // van der Waerden scores, ascending
    double sum_squares = 0;
  };
  std::map<std::size_t, Scores> scores_;    // by n
  std::vector<double> shuffled_;            // n x k, column by column
  std::vector<double> transformed_;         // n x k, column by column (from column 1)
  std::vector<std::uint32_t> ranks_;        // column 0's rank in each iteration
  std::vector<std::uint32_t> first_ranks_;  // column 0's iterations by rank
};

}  // namespace velmsim
