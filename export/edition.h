// The edition switch. VELM_THREADED is set by the build: 0 for the statistics
// edition, 1 for the threaded sampling edition. This is the one place that
// decides how state that lives across calls is stored.
#pragma once

#ifndef VELM_THREADED
#error "VELM_THREADED must be defined by the build (0 or 1)"
#endif

// Blocks of state that each calling thread owns in the threaded edition (the
// stream, the error context, the unit table). A thread_local with a constant
// initialiser starts in every thread from its load-time contents.
#if VELM_THREADED
#define VELM_PER_THREAD thread_local
#else
#define VELM_PER_THREAD
#endif

// Result cells of the sampler exports: static in the statistics edition (they
// keep the last result, as hosts of that edition may observe), local to the
// call in the threaded edition.
#if VELM_THREADED
#define VELM_RESULT_CELL
#else
#define VELM_RESULT_CELL static
#endif

namespace velm {
inline constexpr bool kThreadedEdition = VELM_THREADED != 0;
}  // namespace velm
