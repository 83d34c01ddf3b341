"""The statistics exports (statistics edition): sort, quantiles, histogram,
univariate statistics, rank correlation and the convergence error. Their
inputs are checked by `_domains` before the call."""

import ctypes
import math

from . import _arrays as A
from . import _domains as D

# Rows of the statistics export's result column, in order.
STAT_NAMES = (
    "mean", "variance", "std_dev", "skewness", "kurtosis",
    "minimum", "maximum", "range", "coef_var", "count",
    "lower_clm", "upper_clm", "lower_clv", "upper_clv", "sum_wts",
)


def _count(n):
    return ctypes.byref(ctypes.c_int16(n))


class Statistics:
    """The statistics functions of a Library (mixed into it)."""

    def sort(self, values):
        """Sorts by nondecreasing absolute value. Returns (sorted, order) with
        sorted[i] == values[order[i]]: order holds 0-based positions (the export
        counts from 1). Ties come out in no particular order; NaN is refused."""
        f = self._export("sort")
        ra = A.vector(values, "values")
        D.sort_values(ra)
        n = ra.size
        rb = A.output(n, ra.numpy_out)
        iperm = (ctypes.c_int16 * n)()
        f(_count(n), ra.pointer, rb.pointer, ctypes.cast(iperm, A.c_int16_p))
        order = [i - 1 for i in iperm]
        if ra.numpy_out and A.have_numpy():
            order = A._np.array(order, dtype=A._np.intp)
        return rb.result(), order

    def quantiles(self, values, proportions):
        """Empirical quantiles of values at the proportions (each strictly
        between 0 and 1): the (n + 1) * p-th order statistic, interpolated;
        NaN values are left out."""
        f = self._export("quantiles")
        x = A.vector(values, "values")
        if isinstance(proportions, (int, float)):
            raise TypeError("proportions must be a sequence")
        qprop = A.vector(proportions, "proportions")
        D.quantile_inputs(x, qprop)
        q = A.output(qprop.size, x.numpy_out)
        f(_count(x.size), x.pointer, _count(qprop.size), qprop.pointer, q.pointer)
        return q.result()

    def histogram(self, values, xlo, xhi, k):
        """Counts values in k classes: values <= xlo, k - 2 classes of equal
        width between xlo and xhi, values > xhi. Returns (marks, tally): the
        class marks and the count of each class (as reals, as the export
        gives them). xlo < xhi must be finite, k >= 3, no value NaN."""
        f = self._export("histogram")
        x = A.vector(values, "values")
        k = A.integer(k, "k")
        clo = ctypes.c_float(A.real(xlo, "xlo"))
        chi = ctypes.c_float(A.real(xhi, "xhi"))
        D.histogram_inputs(x, clo.value, chi.value, k)
        div = A.output(k, x.numpy_out)
        tally = A.output(k, x.numpy_out)
        f(_count(x.size), x.pointer, ctypes.byref(clo), ctypes.byref(chi), _count(k),
          div.pointer, tally.pointer)
        return div.result(), tally.result()

    def stat(self, data):
        """The fifteen statistics of each variable, by name (STAT_NAMES): for a
        1-D input one dict, for a 2-D input (rows are observations, columns
        variables) a list of dicts, one per column. A row holding a NaN is
        left out for every variable. Limits are 95 % confidence limits. The
        export computes no weights: sum_wts is NaN."""
        f = self._export("stat")
        x, nrow, nvar, single = A.matrix(data, "data")
        D.stat_shape(nrow, nvar)
        out = (ctypes.c_float * (15 * nvar))(*([math.nan] * (15 * nvar)))
        f(_count(nrow), _count(nvar), x.pointer, _count(nrow), ctypes.cast(out, A.c_float_p))
        columns = [dict(zip(STAT_NAMES, out[15 * j:15 * j + 15])) for j in range(nvar)]
        return columns[0] if single else columns

    def spearman(self, data1, data2):
        """Spearman rank correlation of two samples of equal length, corrected
        for ties; NaN when it is undefined (fewer than two pairs, or a
        constant sample). A NaN in either sample is refused."""
        f = self._export("spearman")
        a = A.vector(data1, "data1")
        b = A.vector(data2, "data2")
        D.spearman_samples(a, b)
        return f(_count(a.size), a.pointer, b.pointer)

    def convergence(self, values, m):
        """Largest change of the standard deviation, the mean and the 10, 25,
        75 and 90 % quantiles between the first len(values) - m values and all
        of them, in standard deviations of the first len(values) - m. NaN
        values are left out; infinite ones are refused."""
        f = self._export("convergence")
        x = A.vector(values, "values")
        m = A.integer(m, "m")
        D.convergence_inputs(x, m)
        return f(_count(m), _count(x.size), x.pointer)
