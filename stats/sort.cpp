// The partition-exchange sort behind SVRGN and SVRBP, written once: the
// template parameter says whether a label travels with each key.
#include "stats/sort.h"

#include "error/error.h"

namespace velm {
namespace {

// Segments are kept on two explicit stacks of lower and upper bounds. The
// larger part of every partition is stacked and the smaller one processed
// first, so a stack level is only used by a segment of at most half the size
// of the one below it: 21 levels cover every length below 2^21, including all
// that a 16-bit count can express. Lengths up to 2^31 (which only internal
// callers could pass) need at most 31 levels, so the stacks are sized for
// those and can never overflow.
constexpr int kStackLevels = 32;

// One sort for both routines. rb[0..n-1] holds the keys, labels[0..n-1] the
// labels when kWithLabels is true (unused otherwise). Positions below are
// counted from 1 as the algorithm is usually written; at(p) is rb[p - 1].
template <bool kWithLabels>
void partition_exchange_sort(std::int32_t n, float* rb, std::int32_t* labels) {
  auto at = [rb](std::int32_t p) -> float& { return rb[p - 1]; };
  // Exchanges two keys together with their labels.
  auto exchange = [rb, labels](std::int32_t p, std::int32_t q) {
    float t = rb[p - 1];
    rb[p - 1] = rb[q - 1];
    rb[q - 1] = t;
    if constexpr (kWithLabels) {
      std::int32_t u = labels[p - 1];
      labels[p - 1] = labels[q - 1];
      labels[q - 1] = u;
    } else {
      static_cast<void>(labels);
    }
  };

  std::int32_t low[kStackLevels];
  std::int32_t high[kStackLevels];
  int m = 1;
  std::int32_t i = 1;
  std::int32_t j = n;
  // Pivot fraction: moves by 5/128 up to 0.625 and then falls back by 28/128,
  // so it cycles through multiples of 1/128 in [0.3828125, 0.625].
  float r = 0.375f;

  enum class Step { kNewSegment, kPartition, kFinish, kPop };
  Step step = Step::kNewSegment;
  for (;;) {
    switch (step) {
      case Step::kNewSegment:
        if (i == j) {
          step = Step::kPop;
          break;
        }
        if (r > 0.5898437f) {
          r = r - 0.21875f;
        } else {
          r = r + 0.0390625f;
        }
        step = Step::kPartition;
        break;

      case Step::kPartition: {
        std::int32_t k = i;
        // I + (J - I) * R in single precision, truncated. With R a multiple
        // of 1/128 and lengths below 2^17 this is exact; the bound keeps the
        // partitioning element inside the segment for any length.
        std::int32_t piv = static_cast<std::int32_t>(static_cast<float>(i) +
                                                     static_cast<float>(j - i) * r);
        if (piv >= j) piv = j - 1;
        if (piv < i) piv = i;
        float t = at(piv);
        // Median of three: afterwards at(i) is not above t and at(j) is not
        // below it (NaNs included, as a comparison with NaN is false), which
        // bounds both scans below.
        if (at(i) > t) {
          exchange(piv, i);
          t = at(piv);
        }
        std::int32_t l = j;
        if (at(j) < t) {
          exchange(piv, j);
          t = at(piv);
          if (at(i) > t) {
            exchange(piv, i);
            t = at(piv);
          }
        }
        for (;;) {
          do {
            --l;
          } while (at(l) > t);
          do {
            ++k;
          } while (at(k) < t);
          if (k > l) break;
          // Equal keys stay where they are.
          if (at(l) != at(k)) exchange(l, k);
        }
        // Stack the larger part, keep the smaller.
        if ((j - k) < (l - i)) {
          low[m - 1] = i;
          high[m - 1] = l;
          i = k;
        } else {
          low[m - 1] = k;
          high[m - 1] = j;
          j = l;
        }
        ++m;
        step = Step::kFinish;
        break;
      }

      case Step::kFinish:
        if (j - i >= 11) {
          step = Step::kPartition;
          break;
        }
        if (i == 1) {
          // The leftmost segment is partitioned all the way down.
          step = Step::kNewSegment;
          break;
        }
        // Straight insertion on at(i..j). After the partitions at(i - 1) is
        // not greater than any key of the segment and stops the shift; the
        // bound on i only matters when NaNs have voided that guarantee.
        for (std::int32_t q = i + 1; q <= j; ++q) {
          float t = at(q);
          if (at(q - 1) > t) {
            std::int32_t label = 0;
            if constexpr (kWithLabels) label = labels[q - 1];
            std::int32_t p = q;
            do {
              at(p) = at(p - 1);
              if constexpr (kWithLabels) labels[p - 1] = labels[p - 2];
              --p;
            } while (p > i && at(p - 1) > t);
            at(p) = t;
            if constexpr (kWithLabels) labels[p - 1] = label;
          }
        }
        step = Step::kPop;
        break;

      case Step::kPop:
        --m;
        if (m == 0) return;
        i = low[m - 1];
        j = high[m - 1];
        step = Step::kFinish;
        break;
    }
  }
}

void copy_keys(std::int32_t n, const float* ra, float* rb) {
  if (ra == rb) return;
  for (std::int32_t p = 0; p < n; ++p) rb[p] = ra[p];
}

}  // namespace

void SVRGN(std::int32_t n, const float* ra, float* rb) {
  E1PSH("SVRGN ");
  copy_keys(n, ra, rb);
  if (n <= 0) {
    E1STI(1, n);
    E1MES(kTerminal, 1, "N = %(I1).  The length of RA and RB, N, must be greater than or equal to one.");
  }
  if (n > 0 && N1RCD(0) == 0) partition_exchange_sort<false>(n, rb, nullptr);
  E1POP("SVRGN ");
}

void SVRBP(std::int32_t n, const float* ra, float* rb, std::int32_t* iperm) {
  E1PSH("SVRBP ");
  copy_keys(n, ra, rb);
  if (n <= 0) {
    E1STI(1, n);
    E1MES(kTerminal, 1,
          "The length of vectors RA, RB, and IPERM must be greater than or equal to one.  On "
          "input the length, N, is given as %(I1).");
  }
  if (n > 0 && N1RCD(0) == 0) {
    // Sort by magnitude: fold the sign of every negative key into its label
    // (labels are positive), sort, and restore. -0.0 and NaNs are not folded.
    for (std::int32_t p = 0; p < n; ++p) {
      if (rb[p] < 0.0f) {
        iperm[p] = -iperm[p];
        rb[p] = -rb[p];
      }
    }
    partition_exchange_sort<true>(n, rb, iperm);
    for (std::int32_t p = 0; p < n; ++p) {
      if (iperm[p] < 0) {
        iperm[p] = -iperm[p];
        rb[p] = -rb[p];
      }
    }
  }
  E1POP("SVRBP ");
}

}  // namespace velm
