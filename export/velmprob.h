/*
 * velmprob: random variates from one reproducible stream, and statistics of
 * simulated outputs.
 *
 * Two editions share this header, one file name and one naming scheme:
 *   statistics edition (S): 14 exports, one thread, all state static;
 *   threaded sampling edition (T): 10 exports, every calling thread with its
 *   own stream and error state.
 *
 * Every argument is passed by address; results are returned by value. Reals
 * are IEEE single precision, integers 32-bit, counts of the statistics
 * exports 16-bit. Logical results are 32-bit integers with true = -1.
 * Arrays are indexed from 1 in the descriptions below and stored column after
 * column. Names are exported undecorated: no leading underscore, no @n suffix.
 *
 * Calling convention: on 32-bit x86 Windows every export is __stdcall, the
 * convention of the Windows API: arguments are pushed right to left and the
 * function removes them, 4 bytes per argument, on return. Visual Basic and
 * VBA Declare, .NET DllImport and Pascal stdcall externals call it that way.
 * Elsewhere there is one C convention and VELM_CALL is empty.
 *
 * A host that finds an export at run time (GetProcAddress, dlsym) declares
 * the pointer with the convention between the result type and the '*':
 *   C:    typedef float (VELM_CALL *velm_normal_fn)(const float *, const float *);
 *   C++:  using velm_normal_fn = decltype(&VELMNORMAL);
 * Without this header write __stdcall in place of VELM_CALL on 32-bit
 * Windows: a pointer declared without it is a cdecl pointer there, and each
 * call through it removes the arguments a second time. A build configured
 * with VELM_WIN32_CDECL makes a C-convention (__cdecl) variant of the 32-bit
 * DLL instead; its hosts define VELM_CDECL before including this header.
 *
 * Invalid arguments are reported on standard output as a TERMINAL error, after
 * which the process ends with exit status 1: such calls do not return.
 */
#ifndef VELMPROB_H
#define VELMPROB_H

#include <stdint.h>

#if defined(_WIN32)
#  if defined(VELM_BUILDING)
#    define VELM_API __declspec(dllexport)
#  else
#    define VELM_API __declspec(dllimport)
#  endif
#  if !(defined(__i386__) || defined(_M_IX86))
#    define VELM_CALL
#  elif defined(VELM_CDECL)
#    define VELM_CALL __cdecl
#  else
#    define VELM_CALL __stdcall
#  endif
#else
#  define VELM_API __attribute__((visibility("default")))
#  define VELM_CALL
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Seed and uniform (S, T) ------------------------------------------ */

/* Installs a seed for the stream (the calling thread's stream in T).
   1..2147483646 restarts the sequence; 0 installs a seed from the clock;
   anything else is ignored. No function result is defined. */
VELM_API void VELM_CALL VELMSETSEED(const int32_t *seed);
/* The current seed; a stream never seeded is seeded from the clock first. */
VELM_API int32_t VELM_CALL VELMGETSEED(void);
/* a + (b - a) * u with u uniform in (0, 1). */
VELM_API float VELM_CALL VELMUNIFORM(const float *a, const float *b);

/* ---- Samplers (S, T) --------------------------------------------------- */

/* mean + sd * z with z standard normal. */
VELM_API float VELM_CALL VELMNORMAL(const float *mean, const float *sd);
/* Lognormal variate with the given mean and standard deviation of the
   variable itself. */
VELM_API float VELM_CALL VELMLOGNORMAL(const float *mean, const float *sd);
/* Geometric variate (number of trials to the first success), at least 1. */
VELM_API int32_t VELM_CALL VELMGEOMETRIC(const float *p);
/* Triangular variate on [low, high] with the given mode (the editions use
   different methods). */
VELM_API float VELM_CALL VELMTRIANG(const float *low, const float *mode, const float *high);
/* Beta variate in (0, 1) with shape parameters pin and qin. */
VELM_API float VELM_CALL VELMBETA(const float *pin, const float *qin);

/* ---- Samplers of the threaded sampling edition only (T) ----------------- */

/* A pair of correlated normal variates written to out1 and out2; returns -1. */
VELM_API int32_t VELM_CALL VELMCRNORMAL(const float *mean1, const float *sd1,
                                        const float *mean2, const float *sd2,
                                        const float *rho, float *out1, float *out2);
/* 1 with probability p, else 0. */
VELM_API int32_t VELM_CALL VELMYESNO(const float *p);

/* ---- Statistics (S) ----------------------------------------------------- */

/* Sorts RA(1..N) by absolute value into RB with the permutation IPERM. */
VELM_API void VELM_CALL VELMSORT(const int16_t *n, const float *ra, float *rb, int16_t *iperm);
/* Empirical quantiles Q(1..NQPROP) of X(1..NOBS) at the proportions QPROP. */
VELM_API void VELM_CALL VELMQTIL(const int16_t *nobs, const float *x, const int16_t *nqprop,
                                 const float *qprop, float *q);
/* Frequency table of X(1..NOBS) in K classes between XLO and XHI. */
VELM_API void VELM_CALL VELMHIST(const int16_t *nobs, const float *x, const float *xlo,
                                 const float *xhi, const int16_t *k, float *div, float *tally);
/* Fifteen statistics per variable of the NROW x NVAR matrix X. */
VELM_API void VELM_CALL VELMSTAT(const int16_t *nrow, const int16_t *nvar, const float *x,
                                 const int16_t *ldx, float *stat);
/* Spearman rank correlation of DATA1(1..N) and DATA2(1..N). */
VELM_API float VELM_CALL VELMSPEAR(const int16_t *n, const float *data1, const float *data2);
/* Convergence error of the simulated outputs X(1..N), leaving out the last M
   values for the earlier snapshot. */
VELM_API float VELM_CALL VELMCNVERR(const int16_t *m, const int16_t *n, const float *x);

#ifdef __cplusplus
}
#endif

#endif /* VELMPROB_H */
