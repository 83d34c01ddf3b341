// The statistics edition's summaries, typed: the 16-bit counts of its
// exports checked in one place, and data that never varies handled here,
// since the library warns about such data on standard output and a report
// must not carry the warning.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "host/velmsim/engine/exports.h"

namespace velmsim {

// True when the n values of x are all the same.
bool constant(const float* x, std::size_t n);

// Why a statistic is missing.
inline constexpr const char* kOverflows = "overflows single precision";
inline constexpr const char* kUnderflows = "underflows single precision";
inline constexpr const char* kNeverVaries = "undefined: the values never vary";
inline constexpr const char* kMeanZero = "undefined: the mean is 0";

// Classes of equal width between low and high, with the open classes "up to
// low" first and "above high" last.
struct Histogram {
  float low = 0, high = 0;
  std::vector<float> marks, tally;  // empty when low = high
};

class Statistics {
 public:
  explicit Statistics(const StatisticsExports& x) : x_(x) {}

  // The most values (or columns) one call of an export takes.
  static constexpr std::size_t kMaxCount = kMaxStatisticsCount;

  // VELMSTAT's fifteen rows of n values (the sum of weights, the last, is
  // left 0): mean, variance, standard deviation, skewness, excess kurtosis,
  // minimum, maximum, range, coefficient of variation, count, 95 % limits of
  // the mean and of the variance; with, for each that is not a number, why.
  struct Description {
    std::array<float, 15> stat{};
    std::array<const char*, 15> why{};  // null for a statistic that is a number
  };
  Description describe(const float* x, std::size_t n) const;

  // The quantiles of n values at each proportion (VELMQTIL).
  std::vector<float> quantiles(const float* x, std::size_t n,
                               const std::vector<float>& proportions) const;

  // A histogram of n values with `classes` classes between low and high
  // (VELMHIST); none when low = high.
  Histogram histogram(const float* x, std::size_t n, float low, float high, int classes) const;

  // Spearman's rank correlation of n pairs (VELMSPEAR); NaN when either
  // never varies.
  float spearman(const float* x, const float* y, std::size_t n) const;

  // The convergence error of the last m of n values (VELMCNVERR); 0 when
  // they never vary, NaN (not yet measurable) when only the last m vary.
  float convergence_error(const float* x, std::size_t n, std::size_t m) const;

  // The indices of `key` in ascending order of absolute value (VELMSORT).
  std::vector<std::size_t> by_magnitude(const std::vector<float>& key) const;

 private:
  const StatisticsExports& x_;
};

}  // namespace velmsim
