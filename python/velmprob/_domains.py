"""The domains of the parameters: every rule under which the binding refuses
an argument, in one place.

Each rule is tested before the library is called, on the values the library
will receive (reals rounded to single precision, counts as 16-bit integers),
so that a refused call draws nothing and writes nothing. Two kinds of rule
live here:

- the samplers' domains (`DOMAINS`): a parameter outside the range where the
  distribution is defined. numpy refuses the same arguments, and its wording
  is kept; the library itself would return garbage for them (NaN columns,
  variates outside the support, a saturated integer) or end the process;
- the conditions under which an export would report a TERMINAL error and end
  the process, interpreter included, and the inputs for which a statistic
  would silently depend on a NaN or overflow.

A sampler's rule is a test over its parameters that is true where they are
refused; it is written with operators that work alike on Python floats and
on numpy arrays (`|` for "or", `x != x` for NaN), so that one table serves
scalar parameters and broadcast arrays of them. Messages name the caller's
parameters: "{0}", "{1}", ... are replaced by them.
"""

import ctypes
import math

from . import _arrays as A

INF = math.inf

_LOGNORMAL = (": velmprob's lognormal takes the mean and sd of the variable itself "
              "(mean > 0, sd > 0), not those of the underlying normal as numpy's does")


class Domain:
    __slots__ = ("rules", "stops")

    def __init__(self, rules, stops=None):
        self.rules = rules    # [(test, message)], in the order they are reported
        self.stops = stops    # the export's own terminal conditions, or None


def _lognormal_stops(values, names, edition):
    # The scale of the logarithm is sqrt(ln(1 + (sd / mean)^2)); the export
    # refuses it as zero when 1 + (sd / mean)^2 rounds to 1: in single
    # precision in the threaded edition (sd / mean below about 2.4e-4), in
    # double precision in the statistics one (below about 1.1e-8).
    mean, sd = values
    if edition == "threaded":
        ratio = _single(sd / mean)
        one_plus = _single(1.0 + _single(ratio * ratio))
    else:
        ratio = _double(sd) / mean
        one_plus = 1.0 + ratio * ratio
    if _any(one_plus == 1.0):
        below = "about 2.4e-4" if edition == "threaded" else "about 1.1e-8"
        ratio = "%s / %s below %s" % (names[1], names[0], below)
        if isinstance(sd, float):
            where = "%s with %s (%s)" % (_shown(names[1], sd), _shown(names[0], mean), ratio)
        else:
            where = "an element of %s" % ratio
        raise stops("VELMLOGNORMAL", "%s gives the scale parameter S = 0, but S must be "
                    "positive" % where)


def _crnormal_stops(values, names, edition):
    # The covariance factor has sd1 on its diagonal and rho * sd2 beside it;
    # the export refuses a zero diagonal with a non-zero neighbour.
    sd1, sd2, rho = values[1], values[3], values[4]
    if _any((sd1 == 0.0) & (_single(rho * sd2) != 0.0)):
        raise stops("VELMCRNORMAL", "%s needs %s * %s = 0: x1 is then constant and has no "
                    "correlation" % (_shown(names[1], sd1), names[4], names[3]))


DOMAINS = {
    # low > high is drawn uniformly between them, as the export computes
    # low + (high - low) * u.
    "uniform": Domain([]),
    "normal": Domain([(lambda loc, scale: scale < 0.0, "{1} < 0")]),
    "lognormal": Domain([(lambda mean, sd: mean <= 0.0, "{0} <= 0" + _LOGNORMAL),
                         (lambda mean, sd: sd <= 0.0, "{1} <= 0" + _LOGNORMAL)],
                        _lognormal_stops),
    "crnormal": Domain([(lambda m1, s1, m2, s2, rho: s1 < 0.0, "{1} < 0"),
                        (lambda m1, s1, m2, s2, rho: s2 < 0.0, "{3} < 0"),
                        (lambda m1, s1, m2, s2, rho: (rho < -1.0) | (rho > 1.0),
                         "{4} < -1 or {4} > 1: a correlation lies in [-1, 1]")],
                       _crnormal_stops),
    # p = 1 is answered without the export, which refuses it: see the samplers.
    "geometric": Domain([(lambda p: (p <= 0.0) | (p > 1.0) | (p != p),
                          "{0} <= 0, {0} > 1 or {0} contains NaNs")]),
    "yesno": Domain([(lambda p: (p < 0.0) | (p > 1.0) | (p != p),
                      "{0} < 0, {0} > 1 or {0} is NaN")]),
    "triangular": Domain([(lambda left, mode, right: left > mode, "{0} > {1}"),
                          (lambda left, mode, right: mode > right, "{1} > {2}"),
                          (lambda left, mode, right: left == right, "{0} == {2}")]),
    "beta": Domain([(lambda a, b: a <= 0.0, "{0} <= 0"),
                    (lambda a, b: b <= 0.0, "{1} <= 0")]),
}


def check_numbers(method, values, names, edition, given):
    """`check` for parameters that are Python floats, without the work of
    the general case when they lie in the domain."""
    domain = DOMAINS[method]
    for test, _ in domain.rules:
        if test(*values):
            break
    else:
        for value in values:
            if not -INF < value < INF:
                break
        else:
            if domain.stops is not None:
                domain.stops(values, names, edition)
            return
    check(method, values, names, edition, given)


def check(method, values, names, edition, given=None):
    """Refuses a sampler's parameters outside its domain (ValueError).

    values: the parameters as the export receives them, Python floats
    rounded to single precision or float32 numpy arrays; given: for Python
    floats, the values before rounding, to say so when the rounding made the
    difference. The domain's rules come first (numpy's messages), then NaN
    and infinite parameters, then the export's terminal conditions."""
    domain = DOMAINS[method]
    for test, message in domain.rules:
        if _any(test(*values)):
            text = message.format(*names)
            if given is not None and not _any(test(*given)):
                text += " (in single precision, as the library receives %s: %s)" % (
                    "it" if len(values) == 1 else "them",
                    ", ".join("%s = %.8g" % nv for nv in zip(names, values)))
            raise ValueError(text)
    for i, (value, name) in enumerate(zip(values, names)):
        if _any(value != value):
            raise ValueError("%s %s NaN" % (name, "is" if given is not None else "contains"))
        if _any(abs(value) == INF):
            if given is None:
                raise ValueError("%s contains an infinite value" % name)
            if abs(given[i]) == INF:
                raise ValueError("%s = %r is not finite" % (name, given[i]))
            raise ValueError("%s = %r is beyond the single-precision range that the "
                             "library receives" % (name, given[i]))
    if domain.stops is not None:
        domain.stops(values, names, edition)


def stops(export, message):
    """The refusal of an argument with which the export would end the process."""
    return ValueError("%s: %s (the library would end the process)" % (export, message))


def _any(refused):
    return bool(refused.any()) if hasattr(refused, "any") else bool(refused)


def _single(value):
    if isinstance(value, float):
        return ctypes.c_float(value).value
    return value.astype("float32")


def _double(value):
    return value if isinstance(value, float) else value.astype("float64")


def _shown(name, value):
    return "%s = %.8g" % (name, value) if isinstance(value, float) else name


# ---- statistics -----------------------------------------------------------------

def sort_values(x):
    if x.size < 1:
        raise stops("VELMSORT", "there must be at least one value")
    if x.has_nan():
        raise ValueError("sort: values contain NaN, which has no place in an order by "
                         "absolute value (the values after it would be left unsorted)")
    A.count16(x.size, "len(values)")


def quantile_inputs(x, qprop):
    if x.size < 1:
        raise stops("VELMQTIL", "NOBS = 0: there must be at least one observation")
    A.count16(x.size, "len(values)")
    A.count16(qprop.size, "len(proportions)")
    # When every value is missing the library answers NaN throughout (with a
    # warning) without looking at the proportions; otherwise it checks them.
    if not x.all_nan():
        if qprop.size < 1:
            raise stops("VELMQTIL", "NQPROP = 0: there must be at least one quantile")
        for i, p in enumerate(qprop.values()):
            if not (0.0 < p < 1.0):
                raise stops("VELMQTIL", "proportions[%d] = %r must be greater than 0.0 "
                                        "and less than 1.0" % (i, p))


def histogram_inputs(x, xlo, xhi, k):
    """x: the values; xlo, xhi: the bounds in single precision; k: classes."""
    problems = []
    if x.size < 1:
        problems.append("there must be at least one observation")
    if not xhi > xlo:
        problems.append("xlo = %r and xhi = %r: the lower bound must be less than the "
                        "upper bound" % (xlo, xhi))
    if k < 3:
        problems.append("k = %d: there must be at least three classes" % k)
    if x.size > 0 and x.has_nan():
        problems.append("values contain NaN: missing values are not allowed")
    if problems:
        raise stops("VELMHIST", "; ".join(problems))
    if abs(xlo) == INF or abs(xhi) == INF:
        raise ValueError("histogram: xlo = %.8g and xhi = %.8g must be finite: the classes "
                         "between them would have an infinite width" % (xlo, xhi))
    A.count16(x.size, "len(values)")
    A.count16(k, "k")
    # The export's width and end marks, in its single precision: beyond the
    # range they are infinite and the classes cannot be told apart.
    width = _single(_single(xhi - xlo) / (k - 2))
    half = _single(0.5 * width)
    if abs(width) == INF or abs(_single(xlo - half)) == INF or abs(_single(xhi + half)) == INF:
        raise ValueError("histogram: xlo = %.8g and xhi = %.8g are too far apart: the class "
                         "width or an end class's mark exceeds the single-precision range"
                         % (xlo, xhi))


def stat_shape(nrow, nvar):
    if nrow < 1:
        raise stops("VELMSTAT", "NROW = 0: there must be at least one row")
    if nvar < 1:
        raise stops("VELMSTAT", "NVAR = 0: the number of variables must be positive")
    A.count16(nrow, "number of rows")
    A.count16(nvar, "number of variables")


def spearman_samples(a, b):
    if a.size != b.size:
        raise ValueError("data1 and data2 must have the same length, not %d and %d"
                         % (a.size, b.size))
    A.count16(a.size, "len(data1)")
    for sample, name in ((a, "data1"), (b, "data2")):
        if sample.has_nan():
            raise ValueError("spearman: %s contains NaN: a NaN has no rank, and the "
                             "correlation would depend on where it lies" % name)


def convergence_inputs(x, m):
    n = x.size
    if m < 0:
        raise stops("VELMCNVERR", "M = %d: M must be greater than or equal to 0" % m)
    if n - m < 1:
        raise stops("VELMCNVERR", "M = %d with %d values leaves no values for the earlier "
                                  "snapshot; M must be less than the number of values" % (m, n))
    A.count16(n, "len(values)")
    if x.has_inf():
        raise ValueError("convergence: values contain an infinity: the standard deviations "
                         "are then infinite and no change can be measured (the library "
                         "would answer 0)")
