// Univariate statistics: one-pass updating of the mean and of the second,
// third and fourth central moments (observations may be added or removed,
// with frequencies and weights), then the derived statistics, degenerate-case
// warnings and the confidence limits.
#include "stats/univariate.h"

#include <cmath>
#include <cstddef>
#include <cstdio>
#include <memory>

#include "error/checks.h"
#include "error/error.h"
#include "fp/elementary.h"
#include "special/special.h"
#include "stats/workspace.h"

namespace velm {
namespace {

// Thresholds derived from the machine constants on first use.
struct Thresholds {
  float eps;           // 2^-23
  float small;         // smallest normalised number
  float nan;           // the missing value
  float ten_eps;       // sums of weights below this count as zero
  float root_small;    // variance underflows for ranges below this
  float cube_small;    // third moments underflow for ranges below this
  float fourth_small;  // fourth moments underflow for ranges below this
  float ln_small;
};

const Thresholds& thresholds() {
  static const Thresholds t = [] {
    Thresholds r{};
    r.eps = AMACH(4);
    r.small = AMACH(1);
    r.nan = AMACH(6);
    r.ten_eps = 10.0f * r.eps;
    r.root_small = std::sqrt(r.small);
    r.cube_small = velm::fp::pow(r.small, 0.33333334f);
    r.fourth_small = velm::fp::pow(r.small, 0.25f);
    r.ln_small = velm::fp::log(r.small);
    return r;
  }();
  return t;
}

// STAT(r, j): statistic r (1-based) of variable j (0-based).
struct StatView {
  float* base;
  std::int32_t ld;
  float& operator()(int r, std::int32_t j) const {
    return base[(r - 1) + static_cast<std::ptrdiff_t>(j) * ld];
  }
  float* row(int r) const { return base + (r - 1); }
};

// X(i, c): row i (0-based) of column c (1-based).
inline float xat(const float* x, std::int32_t ldx, std::int32_t i, std::int32_t c) {
  return x[static_cast<std::ptrdiff_t>(i) + static_cast<std::ptrdiff_t>(c - 1) * ldx];
}

// The column after c that holds a variable (skips the frequency and weight
// columns).
inline std::int32_t next_column(std::int32_t c, std::int32_t ifrq, std::int32_t iwt) {
  do {
    ++c;
  } while (c == ifrq || c == iwt);
  return c;
}

// One observation x of weight w into the running mean and moment sums of
// variable j, given r = w / (sum of weights after it) and uw = (1 - r) w.
// Each quantity is formed in double precision and stored in single.
inline void update_moments(const StatView& s, std::int32_t j, float x, float r, float u,
                           float uw) {
  const double d = static_cast<double>(static_cast<float>(static_cast<double>(x) - s(1, j)));
  const double dr = static_cast<double>(static_cast<float>(d * r));
  const double m2 = s(2, j);
  const double m4 = s(4, j);
  const double d2 = d * d;
  s(5, j) = static_cast<float>(s(5, j) + (1.0 - 3.0 * u * r) * (d2 * d2) * uw +
                               (6.0 * m2 * dr - 4.0 * m4) * dr);
  s(4, j) = static_cast<float>(m4 + (1.0 - 2.0 * r) * (d2 * d) * uw - 3.0 * m2 * dr);
  s(2, j) = static_cast<float>(m2 + d2 * uw);
  s(1, j) = static_cast<float>(s(1, j) + dr);
}

inline void update_extremes(const StatView& s, float* work, std::int32_t nvar, std::int32_t j,
                            float x) {
  if (NANBIT(work[j])) {
    s(6, j) = x;
    s(7, j) = x;
    work[j] = x;
    return;
  }
  if (x < s(6, j)) s(6, j) = x;
  if (x > s(7, j)) s(7, j) = x;
  if (x != work[j]) work[nvar + j] = 1.0f;
}

// Plain table on standard output: one row per statistic, one column per
// variable. Values are read as base[row_offset[k] + j * ld].
void print_table(const char* title, std::int32_t nvar, const char* const* labels,
                 const int* offsets, int nrows, const float* base, std::int32_t ld) {
  std::printf("\n %s\n %-12s", title, "");
  for (std::int32_t j = 0; j < nvar; ++j) std::printf("   Variable %3d", static_cast<int>(j + 1));
  std::printf("\n");
  for (int k = 0; k < nrows; ++k) {
    std::printf(" %-12s", labels[k]);
    for (std::int32_t j = 0; j < nvar; ++j) {
      std::printf(" %14.6E",
                  static_cast<double>(base[offsets[k] + static_cast<std::ptrdiff_t>(j) * ld]));
    }
    std::printf("\n");
  }
  std::fflush(stdout);
}

void print_final(const StatView& s, std::int32_t nvar, std::int32_t iwt) {
  static const char* const labels[15] = {
      "Mean",      "Variance",   "Std. Dev.", "Skewness",  "Kurtosis",
      "Minimum",   "Maximum",    "Range",     "Coef. Var.", "Count",
      "Lower CLM", "Upper CLM",  "Lower CLV", "Upper CLV", "Sum Wts"};
  static const int offsets[15] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14};
  print_table("Univariate Statistics", nvar, labels, offsets, iwt > 0 ? 15 : 14, s.base, s.ld);
}

// Rows 1, 2, 6, 7 and 10 are copied to work[2 nvar ...] (five per variable)
// and printed from there.
void print_intermediate(const StatView& s, std::int32_t nvar, float* work) {
  static const char* const labels[5] = {"Mean", "Sum Sq. Dev.", "Minimum", "Maximum", "Count"};
  static const int rows[5] = {1, 2, 6, 7, 10};
  static const int offsets[5] = {0, 1, 2, 3, 4};
  float* copy = work + 2 * static_cast<std::ptrdiff_t>(nvar);
  for (std::int32_t j = 0; j < nvar; ++j) {
    for (int k = 0; k < 5; ++k) copy[5 * static_cast<std::ptrdiff_t>(j) + k] = s(rows[k], j);
  }
  print_table("Intermediate Statistics", nvar, labels, offsets, 5, copy, 5);
}

// Final statistics from the accumulated sums (IDO 0 and 3).
void finish(const StatView& s, std::int32_t nvar, std::int32_t iwt, float conprm, float conprv,
            const float* work) {
  const Thresholds& k = thresholds();
  const float nan = k.nan;
  auto void_limits = [&](std::int32_t j) {
    if (conprm > 0.0f) s(11, j) = s(12, j) = nan;
    if (conprv > 0.0f) s(13, j) = s(14, j) = nan;
  };
  auto void_rows = [&](std::int32_t j, int from, int to) {
    for (int r = from; r <= to; ++r) s(r, j) = nan;
    s(9, j) = nan;
    void_limits(j);
  };

  // The range comes first so that every variable has one, also when the
  // checks below end the computation early (its extremes are valid then).
  for (std::int32_t j = 0; j < nvar; ++j) {
    s(8, j) = (NANBIT(s(7, j)) || NANBIT(s(6, j))) ? 0.0f : s(7, j) - s(6, j);
  }

  const int most = IDXMAX(nvar, s.row(10), s.ld);
  if (!(s(10, most - 1) > 1.0f)) {
    for (std::int32_t j = 0; j < nvar; ++j) void_rows(j, 2, 5);
    E1MES(kWarningNow, 1,
          "Fewer than two valid observations are present.  The corresponding statistics are set "
          "to NaN (not a number), (except for the mean, which is not correct if no valid "
          "observations are present, or is correct if one observation is present).");
    return;
  }

  if (iwt > 0) {
    const int heaviest = IDXMAX(nvar, s.row(15), s.ld);
    if (s(15, heaviest - 1) < k.ten_eps) {
      for (std::int32_t j = 0; j < nvar; ++j) void_rows(j, 1, 5);
      E1MES(kWarningNow, 15,
            "The sum of the weights is zero. The statistics, except for the minima, maxima, "
            "ranges and counts, are set to NaN (not a number).");
      return;
    }
    for (std::int32_t j = 0; j < nvar; ++j) {
      if (s(10, j) > 1.0f && s(15, j) < k.ten_eps) {
        void_rows(j, 1, 5);
        E1STI(1, j + 1);
        E1MES(kWarningNow, 15,
              "The sum of the weights for variable %(i1) is zero. The statistics, except for the "
              "minima, maxima, ranges and counts, are set to NaN (not a number).");
      }
    }
  }

  const int widest = IDXMAX(nvar, s.row(8), s.ld);
  if (s(8, widest - 1) < 0.0f) {
    for (std::int32_t j = 0; j < nvar; ++j) {
      void_rows(j, 2, 5);
      s(8, j) = nan;
    }
    E1MES(kWarningNow, 4,
          "The maximum value is less than the minimum value.  The corresponding statistics are  "
          "set to NaN (not a number).");
    return;
  }
  for (std::int32_t j = 0; j < nvar; ++j) {
    if (s(8, j) < 0.0f) {
      void_rows(j, 2, 5);
      s(8, j) = nan;
      E1STI(1, j + 1);
      E1MES(kWarningNow, 4,
            "The maximum value is less than the minimum value for variable %(I1).  The "
            "corresponding statistics are  set to NaN (not a number).");
    }
  }

  for (std::int32_t j = 0; j < nvar; ++j) {
    const float range = s(8, j);
    if (NANBIT(range)) {
      // Infinite extremes of one sign: the moment sums are not numbers, and
      // rows that were never written must not keep the caller's contents.
      void_rows(j, 2, 5);
      continue;
    }
    const float n = s(10, j);
    if (n <= 1.0f) {
      void_rows(j, 2, 5);
      E1STI(1, j + 1);
      E1MES(kWarningNow, 1,
            "Fewer than two valid observations are present for variable %(I1).  The corresponding "
            "statistics are set to NaN (not a number), (except for the mean, which is not correct "
            "if no valid observations are present, or is correct if one observation is "
            "present).");
      continue;
    }
    const float m2 = s(2, j);
    const float m3 = s(4, j);
    const float m4 = s(5, j);
    if (work[nvar + j] == 0.0f) {
      E1STI(1, j + 1);
      E1MES(kWarningNow, 2, "The observations on variable %(I1) are constant.");
      for (int r = 2; r <= 5; ++r) s(r, j) = 0.0f;
    } else if (!(m2 <= 0.0f) || (m2 == 0.0f && k.root_small > range)) {
      // A zero sum of squares of a variable that is not constant means the
      // squared deviations underflowed (a range below the root of the
      // smallest normalised number): that is the underflow reported below,
      // not a negative variance.
      const float v = m2 / n;
      const float sn = std::sqrt(v);
      if (k.root_small > range) {
        s(2, j) = 0.0f;
        s(3, j) = 0.0f;
        s(4, j) = nan;
        s(5, j) = nan;
        E1STI(1, j + 1);
        E1MES(kWarningNow, 12,
              "Since the range of variable %(I1) is very small, the variance for this variable "
              "underflows.  Therefore, the variance and standard deviation are set to 0, and the "
              "skewness and kurtosis are set to NaN (not a number).");
      } else {
        s(2, j) = m2 / (n - 1.0f);
        s(3, j) = std::sqrt(s(2, j));
        if (k.cube_small > range) {
          s(4, j) = nan;
          s(5, j) = nan;
          E1STI(1, j + 1);
          E1MES(kWarningNow, 13,
                "Since the range of variable %(I1) is very small, the higher order moments for "
                "this variable underflow.  Therefore, the skewness and kurtosis are set to NaN "
                "(not a number).");
        } else if (3.0f * velm::fp::log(sn) >= k.ln_small) {
          s(4, j) = m3 / (sn * sn * n * sn);
        } else {
          s(4, j) = ((m3 / (n * sn)) / sn) / sn;
        }
        if (k.fourth_small > range) {
          s(5, j) = nan;
          E1STI(1, j + 1);
          E1MES(kWarningNow, 14,
                "Since the range of variable %(I1) is very small, the fourth order moment for "
                "this variable underflows.  Therefore, the kurtosis is set to NaN (not a number).");
        } else if (2.0f * velm::fp::log(v) >= k.ln_small) {
          s(5, j) = m4 / (n * v * v) - 3.0f;
        } else {
          s(5, j) = (m4 / (n * v)) / v - 3.0f;
        }
      }
    } else {
      s(3, j) = s(2, j);
      E1STI(1, j + 1);
      E1MES(kWarningNow, 3, "The variance and standard deviation are negative for variable %(I1).");
    }

    if (!NANBIT(s(9, j))) {
      const float mean = s(1, j);
      const float cv = (NANBIT(mean) || std::fabs(mean) < k.eps) ? nan : SAFDIV(s(3, j), mean);
      s(9, j) = cv;
      if (NANBIT(cv)) {
        E1STI(1, j + 1);
        E1MES(kWarningNow, 5,
              "The coefficient of variation is set to NaN (not a number) for variable %(I1).  "
              "This is due to the value of the mean, standard deviation, or both.");
      }
    }

    const float df = n - 1.0f;
    if (conprm > 0.0f) {
      const float p = 0.005f * conprm + 0.5f;
      if (s(3, j) < 0.0f) {
        E1STI(1, j + 1);
        E1MES(kWarningNow, 7,
              "The standard deviation is negative for variable %(I1).  The corresponding "
              "confidence limits for the mean are set to NaN (not a number).");
        s(11, j) = s(12, j) = nan;
      } else {
        const float t = TIN(p, df);
        if (N1RTY(1) >= kTerminal) {
          E1MES(kWarningNow, 8,
                "An error occured in determining the t statistic.  The confidence limits are set "
                "to NaN (not a number).");
          s(11, j) = s(12, j) = nan;
        } else if (NANBIT(s(3, j))) {
          s(11, j) = s(12, j) = nan;
        } else {
          const float h = s(3, j) / std::sqrt(n) * t;
          s(11, j) = s(1, j) - h;
          s(12, j) = s(1, j) + h;
        }
      }
    }
    if (conprv > 0.0f) {
      const float a = (1.0f - 0.01f * conprv) * 0.5f;
      if (s(2, j) < 0.0f) {
        E1STI(1, j + 1);
        E1MES(kWarningNow, 9,
              "The variance is negative for variable %(I1).  The corresponding confidence limits "
              "for the variance are set to NaN (not a number).");
        s(13, j) = s(14, j) = nan;
      } else if (NANBIT(s(2, j))) {
        s(13, j) = s(14, j) = nan;
      } else {
        float c = CHIIN(1.0f - a, df);
        if (N1RTY(1) >= kFatal) {
          E1MES(kWarningNow, 10,
                "An error occured in determining the chi-sqaured statistic.  The lower confidence "
                "limit for the variance is set to NaN (not a number).");
          s(13, j) = nan;
        } else {
          s(13, j) = s(2, j) / c * df;
        }
        c = CHIIN(a, df);
        if (N1RTY(1) >= kFatal) {
          E1MES(kWarningNow, 11,
                "An error occured in determining the chi-squared statistic.  The upper confidence "
                "limit for the variance is set to NaN (not a number).");
          s(14, j) = nan;
        } else {
          s(14, j) = s(2, j) / c * df;
        }
      }
    }
  }
}

// Workspace kept from the first to the last call of a sequence.
struct Workspace {
  std::unique_ptr<float[]> data;
  std::int32_t nvar = 0;
  std::int64_t size = 0;
};
Workspace g_work;

// The factors of one weighted update of the moments: the new weight's share
// r of the new total, its complement u, and u times the weight.
struct MomentStep {
  MomentStep(float w, double total)
      : r(static_cast<float>(static_cast<double>(w) / total)),
        u(1.0f - r),
        uw(static_cast<float>(static_cast<double>(u) * w)) {}
  float r, u, uw;
};

void report_negative_count() {
  E1MES(kTerminal, 10, "The number of nonmissing observations is less than zero.");
}

}  // namespace

int C1WFR(std::int32_t ido, std::int32_t invocation, const float* x, std::int32_t ldx,
          std::int32_t row, int direction, std::int32_t ifrq, std::int32_t iwt,
          std::int32_t& nrowmiss, float& freq, float& wt) {
  E1PSH("C1WFR ");
  int status = 0;
  if (ifrq > 0) {
    freq = xat(x, ldx, row, ifrq);
    if (NANBIT(freq)) {
      nrowmiss += direction;
      status = 2;
    } else if (freq == 0.0f) {
      E1POP("C1WFR ");
      return 1;
    }
  }
  if (iwt > 0) {
    wt = xat(x, ldx, row, iwt);
    if (NANBIT(wt) && status != 2) {
      nrowmiss += direction;
      status = 2;
    }
  }
  if (ifrq == 0) {
    freq = 1.0f;
  } else if (!NANBIT(freq) && freq < 0.0f) {
    E1STI(1, row + 1);
    E1STI(2, invocation);
    E1STR(1, freq);
    E1MES(kFatal, 2,
          ido == 0 ? "The frequency for row %(I1) of X is %(R1).  Frequencies must be nonnegative."
                   : "The frequency for row %(I1) of X on invocation number %(I2) of this routine "
                     "is %(R1).  Frequencies must be nonnegative.");
    E1POP("C1WFR ");
    return 3;
  }
  if (direction == -1) freq = -freq;
  if (iwt == 0) {
    wt = 1.0f;
  } else if (!NANBIT(wt) && wt < 0.0f) {
    E1STI(1, row + 1);
    E1STI(2, invocation);
    E1STR(1, wt);
    E1MES(kFatal, 1,
          ido == 0 ? "The weight for row %(I1) of X was %(R1).  Weights must be nonnegative."
                   : "The weight for row %(I1) of X on invocation number %(I2) of this routine "
                     "was %(R1).  Weights must be nonnegative.");
    status = 3;
  }
  E1POP("C1WFR ");
  return status;
}

void U2STA(std::int32_t ido, std::int32_t nrow, std::int32_t nvar, const float* x, std::int32_t ldx,
           std::int32_t ifrq, std::int32_t iwt, std::int32_t missopt, float conprm, float conprv,
           std::int32_t iprint, float* stat, std::int32_t ldstat, std::int32_t& nrowmiss,
           float* work) {
  static std::int32_t invocation = 0;
  const Thresholds& k = thresholds();
  E1PSH("U2STA ");
  int nerr = 1;
  ARGRNG(ido, "IDO", 0, 3, nerr);
  ARGRNG(nvar, "NVAR", 1, -1, nerr);
  ARGRNG(ifrq, "IFRQ", 0, -1, nerr);
  ARGRNG(iwt, "IWT", 0, -1, nerr);
  ARGRNG(iprint, "IPRINT", 0, 2, nerr);
  if (ldstat < 15) {
    E1STI(1, ldstat);
    E1MES(kTerminal, 6, "LDSTAT = %(I1).  The leading dimension of STAT must be at least 15.");
  }
  if (N1RTY(0) >= kFatal) {
    E1POP("U2STA ");
    return;
  }
  const StatView s{stat, ldstat};

  if (!(ido == 3 && nrow == 0)) {
    const std::int32_t rows = nrow >= 0 ? nrow : (nrow == INT32_MIN ? INT32_MAX : -nrow);
    ARGDIM(0, rows, "ABS(NROW)", ldx, "LDX", nerr);
    if (N1RTY(0) >= kFatal) {
      E1POP("U2STA ");
      return;
    }
    if (ido >= 2) {
      ++invocation;
    } else {
      if (nrow < 1) {
        E1STI(1, nrow);
        E1STI(2, ido);
        E1MES(kTerminal, 7,
              "NROW = %(I1) and IDO = %(I2).  If NROW is nonpositive, IDO must be equal to 2 or 3.");
      }
      invocation = 1;
      // A refused NROW ends the process when this routine leaves; the
      // caller's STAT and NROWMISS are left as they were, as for every
      // refused call.
      if (nrow >= 1) nrowmiss = 0;
      for (std::int32_t j = 0; j < nvar && nrow >= 1; ++j) {
        work[j] = k.nan;
        work[nvar + j] = 0.0f;
        for (int r = 1; r <= 5; ++r) s(r, j) = 0.0f;
        s(6, j) = k.nan;
        s(7, j) = k.nan;
        s(9, j) = 0.0f;
        s(10, j) = 0.0f;
        if (iwt > 0) s(15, j) = 0.0f;
      }
    }
    if (ido != 2) {
      if (!(conprm < 100.0f)) {
        E1STR(1, conprm);
        E1MES(kTerminal, 8,
              "CONPRM = %(R1).  The confidence level for the mean, CONPRM, must be less than "
              "100.0.");
      }
      if (!(conprv < 100.0f)) {
        E1STR(1, conprv);
        E1MES(kTerminal, 9,
              "CONPRV = %(R1).  The confidence level for the variance, CONPRV, must be less than "
              "100.0.");
      }
      if (N1RTY(0) >= 1) {
        E1POP("U2STA ");
        return;
      }
    }

    // Accumulation of the rows of this call.
    const int direction = nrow >= 0 ? 1 : -1;
    // Without frequency and weight columns every row has frequency 1 (-1
    // when removing) and weight 1, and C1WFR has nothing to read or report.
    const bool plain = ifrq == 0 && iwt == 0;
    // Frequency and weight of row i, and C1WFR's status for it (0: use the row).
    auto row_weights = [&](std::int32_t i, float& freq, float& wt) {
      if (!plain) {
        return C1WFR(ido, invocation, x, ldx, i, direction, ifrq, iwt, nrowmiss, freq, wt);
      }
      freq = static_cast<float>(direction);
      wt = 1.0f;
      return 0;
    };
    bool stopped = false;
    if (missopt <= 0) {
      float count = s(10, 0);
      float sumwt = iwt > 0 ? s(15, 0) : count;
      for (std::int32_t i = 0; i < rows && !stopped; ++i) {
        float freq = 0.0f;
        float wt = 0.0f;
        const int status = row_weights(i, freq, wt);
        if (status == 3) {
          stopped = true;
          break;
        }
        if (status != 0) continue;
        bool missing = false;
        for (std::int32_t j = 0, c = 0; j < nvar; ++j) {
          c = next_column(c, ifrq, iwt);
          if (NANBIT(xat(x, ldx, i, c))) {
            missing = true;
            break;
          }
        }
        if (missing) {
          nrowmiss += direction;
          continue;
        }
        const float w = static_cast<float>(static_cast<double>(wt) * freq);
        const float sw_old = sumwt;
        sumwt = sumwt + w;
        count = count + freq;
        if (count < 0.0f) {
          report_negative_count();
          stopped = true;
          break;
        }
        if (count == 0.0f) {
          sumwt = 0.0f;
          for (std::int32_t j = 0; j < nvar; ++j) {
            s(1, j) = s(2, j) = s(4, j) = s(5, j) = 0.0f;
          }
        } else if (wt > 0.0f) {
          const MomentStep step(w, static_cast<double>(sw_old) + w);
          for (std::int32_t j = 0, c = 0; j < nvar; ++j) {
            c = next_column(c, ifrq, iwt);
            update_moments(s, j, xat(x, ldx, i, c), step.r, step.u, step.uw);
          }
        }
        if (direction > 0) {
          for (std::int32_t j = 0, c = 0; j < nvar; ++j) {
            c = next_column(c, ifrq, iwt);
            update_extremes(s, work, nvar, j, xat(x, ldx, i, c));
          }
        }
      }
      // The rows handled so far stay in STAT, with their count.
      for (std::int32_t j = 0; j < nvar; ++j) {
        s(10, j) = count;
        if (iwt > 0) s(15, j) = sumwt;
      }
    } else {
      for (std::int32_t i = 0; i < rows && !stopped; ++i) {
        float freq = 0.0f;
        float wt = 0.0f;
        const int status = row_weights(i, freq, wt);
        if (status == 3) {
          stopped = true;
          break;
        }
        if (status != 0) continue;
        const float w = static_cast<float>(static_cast<double>(wt) * freq);
        bool missing = false;
        for (std::int32_t j = 0, c = 0; j < nvar; ++j) {
          c = next_column(c, ifrq, iwt);
          const float v = xat(x, ldx, i, c);
          if (NANBIT(v)) {
            missing = true;
            continue;
          }
          s(10, j) = s(10, j) + freq;
          if (s(10, j) < 0.0f) {
            report_negative_count();
            stopped = true;
            break;
          }
          if (s(10, j) == 0.0f) {
            s(1, j) = s(2, j) = s(4, j) = s(5, j) = 0.0f;
            if (iwt > 0) s(15, j) = 0.0f;
            continue;
          }
          if (wt > 0.0f) {
            const float sw_old = iwt > 0 ? s(15, j) : s(10, j) - freq;
            const float sw_new = sw_old + w;
            const MomentStep step(w, sw_new);
            update_moments(s, j, v, step.r, step.u, step.uw);
            if (iwt > 0) s(15, j) = sw_new;
          }
          if (direction > 0) update_extremes(s, work, nvar, j, v);
        }
        if (missing && !stopped) nrowmiss += direction;
      }
    }
    if (stopped) {
      E1POP("U2STA ");
      return;
    }
    if (ido == 1 || ido == 2) {
      if (iprint == 2) print_intermediate(s, nvar, work);
      E1POP("U2STA ");
      return;
    }
  }

  finish(s, nvar, iwt, conprm, conprv, work);
  if (iprint >= 1) print_final(s, nvar, iwt);
  E1POP("U2STA ");
}

void UVSTA(std::int32_t ido, std::int32_t nrow, std::int32_t nvar, const float* x, std::int32_t ldx,
           std::int32_t ifrq, std::int32_t iwt, std::int32_t missopt, float conprm, float conprv,
           std::int32_t iprint, float* stat, std::int32_t ldstat, std::int32_t& nrowmiss) {
  E1PSH("UVSTA ");
  if (nvar <= 0) {
    E1STI(1, nvar);
    E1MES(kTerminal, 1, "NVAR = %(I1).  The number of variables must be positive.");
  }
  if (ido < 0 || ido > 3) {
    E1STI(1, ido);
    E1MES(kTerminal, 2, "IDO = %(I1).  IDO must be either 0, 1, 2, or 3.");
  }
  if (iprint < 0 || iprint > 2) {
    E1STI(1, iprint);
    E1MES(kTerminal, 3, " IPRINT = %(I1).  IPRINT must be either 0, 1, or 2.");
  }
  if (N1RCD(0) != 0) {
    E1POP("UVSTA ");
    return;
  }

  const std::int64_t needed = (ido == 1 || ido == 2) && iprint == 2
                                  ? 7 * static_cast<std::int64_t>(nvar)
                                  : 2 * static_cast<std::int64_t>(nvar);
  if (ido <= 1) {
    g_work = Workspace{};
    g_work.data = obtain_work<float>(needed);
    if (g_work.data) {
      g_work.nvar = nvar;
      g_work.size = needed;
    }
  } else if (!g_work.data || g_work.nvar != nvar || g_work.size < needed) {
    // A later call of a sequence whose workspace is missing (no first call)
    // or too small (NVAR or IPRINT changed): rebuild it rather than read past
    // it. The first value of a variable is recovered from the running
    // extremes: any value seen serves, and the values differ exactly when
    // the extremes do.
    Workspace rebuilt;
    rebuilt.data = obtain_work<float>(needed);
    if (rebuilt.data) {
      rebuilt.nvar = nvar;
      rebuilt.size = needed;
      const bool stat_readable = ldstat >= 15;
      for (std::int32_t j = 0; j < nvar; ++j) {
        if (g_work.data && j < g_work.nvar) {
          rebuilt.data[j] = g_work.data[j];
          rebuilt.data[nvar + j] = g_work.data[g_work.nvar + j];
        } else if (stat_readable) {
          const float lo = stat[5 + static_cast<std::ptrdiff_t>(j) * ldstat];
          const float hi = stat[6 + static_cast<std::ptrdiff_t>(j) * ldstat];
          rebuilt.data[j] = lo;
          rebuilt.data[nvar + j] = (!NANBIT(lo) && !NANBIT(hi) && lo != hi) ? 1.0f : 0.0f;
        } else {
          rebuilt.data[j] = AMACH(6);
          rebuilt.data[nvar + j] = 0.0f;
        }
      }
    }
    g_work = std::move(rebuilt);
  }
  if (!g_work.data) {
    E1MES(kTerminal, 12, " ");
    E1STI(1, nvar);
    E1MES(kTerminal, 12,
          "The required storage cannot be allocated.  The workspace allocation is based on NVAR = "
          "%(I1).");
    E1POP("UVSTA ");
    return;
  }

  U2STA(ido, nrow, nvar, x, ldx, ifrq, iwt, missopt, conprm, conprv, iprint, stat, ldstat, nrowmiss,
        g_work.data.get());
  if (ido == 0 || ido == 3) g_work = Workspace{};
  E1POP("UVSTA ");
}

}  // namespace velm
