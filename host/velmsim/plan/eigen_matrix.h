// SquareMatrix to and from Eigen's dense matrices, for the factorisations.
#pragma once

#include <Eigen/Core>

#include "host/velmsim/model/matrix.h"

namespace velmsim {

inline Eigen::MatrixXd to_eigen(const SquareMatrix& c) {
  Eigen::MatrixXd m(c.k, c.k);
  for (std::size_t i = 0; i < c.k; ++i)
    for (std::size_t j = 0; j < c.k; ++j)
      m(static_cast<Eigen::Index>(i), static_cast<Eigen::Index>(j)) = c(i, j);
  return m;
}

inline SquareMatrix from_eigen(const Eigen::MatrixXd& m) {
  SquareMatrix c;
  c.k = static_cast<std::size_t>(m.rows());
  c.a.resize(c.k * c.k);
  for (std::size_t i = 0; i < c.k; ++i)
    for (std::size_t j = 0; j < c.k; ++j)
      c(i, j) = m(static_cast<Eigen::Index>(i), static_cast<Eigen::Index>(j));
  return c;
}

}  // namespace velmsim
