// Statistics exports: sort with permutation, empirical quantiles, histogram.
// They widen the 16-bit counts, obtain their work arrays, call one routine
// and release the arrays before they return.
#include <cstdint>

#include "core/edition.h"
#include "export/velmprob.h"
#include "stats/frequency.h"
#include "stats/quantile.h"
#include "stats/sort.h"
#include "stats/workspace.h"

static_assert(!velm::kThreadedEdition, "these exports belong to the statistics edition");

extern "C" {

VELM_API void VELM_CALL VELMSORT(const int16_t* n, const float* ra, float* rb, int16_t* iperm) {
  const std::int32_t count = *n;
  if (count <= 0) {
    // SVRBP refuses the length with its message; no label array is needed.
    velm::SVRBP(count, ra, rb, nullptr);
    return;
  }
  auto labels = velm::obtain_work<std::int32_t>(count);
  if (!labels) {
    velm::stop_without_storage("VELMSORT", "N", count);
    return;
  }
  for (std::int32_t i = 0; i < count; ++i) labels[i] = i + 1;
  velm::SVRBP(count, ra, rb, labels.get());
  // The permutation goes back as the low 16 bits of each label.
  for (std::int32_t i = 0; i < count; ++i) {
    iperm[i] = static_cast<int16_t>(static_cast<std::uint16_t>(labels[i] & 0xFFFF));
  }
}

VELM_API void VELM_CALL VELMQTIL(const int16_t* nobs, const float* x, const int16_t* nqprop,
                                 const float* qprop, float* q) {
  const std::int32_t observations = *nobs;
  const std::int32_t proportions = *nqprop;
  auto xlo = velm::obtain_work<float>(proportions);
  decltype(xlo) xhi;
  if (xlo) xhi = velm::obtain_work<float>(proportions);
  if (!xhi) {
    velm::stop_without_storage("VELMQTIL", "NQPROP", proportions);
    return;
  }
  static std::int32_t missing = 0;
  velm::EQTIL(observations, x, proportions, qprop, q, xlo.get(), xhi.get(), missing);
}

VELM_API void VELM_CALL VELMHIST(const int16_t* nobs, const float* x, const float* xlo,
                                 const float* xhi, const int16_t* k, float* div, float* tally) {
  static float halfwidth = 0.0f;  // not used by the open-ended classes
  velm::OWFRQ(*nobs, x, *k, 1, *xlo, *xhi, halfwidth, div, tally);
}

}  // extern "C"
