// A symmetric k x k matrix of doubles, row by row: correlation matrices as
// given, checked and repaired.
#pragma once

#include <cstddef>
#include <vector>

namespace velmsim {

struct SquareMatrix {
  std::size_t k = 0;
  std::vector<double> a;
  double operator()(std::size_t i, std::size_t j) const { return a[i * k + j]; }
  double& operator()(std::size_t i, std::size_t j) { return a[i * k + j]; }
  // The k x k identity.
  static SquareMatrix identity(std::size_t k) {
    SquareMatrix m{k, std::vector<double>(k * k, 0.0)};
    for (std::size_t i = 0; i < k; ++i) m(i, i) = 1.0;
    return m;
  }
};

}  // namespace velmsim
