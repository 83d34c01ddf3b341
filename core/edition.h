// The edition switch. VELM_THREADED is set by the build: 0 for the statistics
// edition, 1 for the threaded sampling edition. This is the one place that
// decides how state that lives across calls is stored, and the one place that
// names how the editions' results differ by design. Which exports an edition
// carries is decided by file: export/both_*.cpp, export/stats_*.cpp and
// export/threaded_*.cpp.
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

// The differences between the editions' variates, by design.

// Precision in which VELMLOGNORMAL turns the mean and standard deviation of
// the variable into those of its logarithm. Single precision refuses an
// sd / mean below about 2.4e-4 as a zero scale; double precision, stored to
// single, keeps a positive scale there.
enum class Precision { single, twice_single };
inline constexpr Precision kLognormalConversion =
    kThreadedEdition ? Precision::single : Precision::twice_single;

// Method of VELMTRIANG. Inversion of the triangular distribution function
// with one uniform; or a symmetric triangular variate on (0, 1) whose halves
// are stretched onto either side of the mode, which puts probability 1/2 on
// each side whatever the mode's position.
enum class TriangularMethod { inversion, symmetric_stretch };
inline constexpr TriangularMethod kTriangularMethod =
    kThreadedEdition ? TriangularMethod::inversion : TriangularMethod::symmetric_stretch;

}  // namespace velm
