// Distribution-free confidence intervals of percentiles from order
// statistics. Of n independent draws, the number B below the true p-quantile
// is Binomial(n, p), so the order statistics x_(l) <= x_(u) bracket the
// quantile with probability P(l <= B <= u - 1), whatever the distribution.
#pragma once

#include <utility>
#include <vector>

namespace velmsim {

// The ranks (1-based) of the equal-tailed 95 % interval of the p-quantile of
// n draws: l the largest rank with P(B <= l - 1) <= 0.025 and u the smallest
// with P(B <= u - 1) >= 0.975. l = 0 or u = n + 1 when the sample is too
// small for that tail: the interval then reaches beyond the sample.
std::pair<int, int> percentile_ranks(int n, double p);

// The interval itself from the sorted sample: x_(l) and x_(u), or -inf and
// +inf beyond the sample.
std::pair<float, float> percentile_interval(const std::vector<float>& sorted, double p);

}  // namespace velmsim
