"""The samplers: one variate per call of an export, or arrays of them.

A sampler's parameters are numbers or, with numpy, arrays that broadcast
against each other and against `size` as numpy's do. Every parameter is
checked against the sampler's domain (`_domains`) before anything is drawn.
Arrays of draws are filled in C order with one call of the export per value,
so that they hold the values of that many single calls, bit for bit, and the
stream ends where those calls leave it: with numbers for parameters, in a
compiled loop of the companion library (one crossing of the Python boundary
per array); with arrays of parameters, one call at a time from here.
"""

import ctypes

from . import _arrays as A
from . import _domains as D
from ._ffi import EXPORT_OF

_c_float = ctypes.c_float

# Method -> (loop of the companion library, integer variates, pairs).
_SHAPES = {
    "uniform": ("velmbulk_real2", False, False),
    "normal": ("velmbulk_real2", False, False),
    "lognormal": ("velmbulk_real2", False, False),
    "crnormal": ("velmbulk_pair", False, True),
    "geometric": ("velmbulk_int1", True, False),
    "yesno": ("velmbulk_int1", True, False),
    "triangular": ("velmbulk_real3", False, False),
    "beta": ("velmbulk_real2", False, False),
}


class Samplers:
    """The seed and the samplers of a Library (mixed into it)."""

    def seed(self, value):
        """Installs a seed (the calling thread's, in the threaded edition):
        1 .. 2147483646 restarts the sequence, 0 takes a seed from the clock,
        other 32-bit values are ignored by the library."""
        f = self._export("seed")
        f(ctypes.byref(ctypes.c_int32(A.int32(value, "seed"))))

    def get_seed(self):
        """The current seed; a stream never seeded is seeded from the clock."""
        return int(self._export("get_seed")())

    def uniform(self, a=0.0, b=1.0, size=None, out=None):
        """a + (b - a) * u with u uniform in (0, 1); b < a draws between them.

        Every sampler returns one variate, or with size=n (a count, or with
        numpy a shape) n successive variates, the same values as n calls:
        a float32 (int32 for integers) numpy array when numpy is installed,
        else a list. out= takes a C-contiguous numpy array of that dtype to
        fill instead. With numpy, parameters may be arrays, broadcast against
        each other and against size as numpy's are."""
        return self._sample("uniform", (a, b), ("a", "b"), size, out)

    def normal(self, mean=0.0, sd=1.0, size=None, out=None):
        """mean + sd * z with z standard normal; sd >= 0."""
        return self._sample("normal", (mean, sd), ("mean", "sd"), size, out)

    def lognormal(self, mean, sd, size=None, out=None):
        """Lognormal variate with the given mean > 0 and standard deviation
        sd > 0 of the variable itself (not of its logarithm)."""
        return self._sample("lognormal", (mean, sd), ("mean", "sd"), size, out)

    def crnormal(self, mean1, sd1, mean2, sd2, rho, size=None, out=None):
        """A pair (x1, x2) of normals with means mean1, mean2, standard
        deviations sd1, sd2 >= 0 and correlation rho in [-1, 1] (threaded
        edition). With size=n: a float32 array of shape (n, 2) (a list of n
        pairs without numpy)."""
        return self._sample("crnormal", (mean1, sd1, mean2, sd2, rho),
                            ("mean1", "sd1", "mean2", "sd2", "rho"), size, out)

    def geometric(self, p, size=None, out=None):
        """Number of trials up to and including the first success, with
        success probability p in (0, 1]; p = 1 gives 1 without a draw."""
        return self._sample("geometric", (p,), ("p",), size, out)

    def yesno(self, p, size=None, out=None):
        """1 with probability p in [0, 1], else 0 (threaded edition); p = 0
        and p = 1 are answered without a draw."""
        return self._sample("yesno", (p,), ("p",), size, out)

    def triangular(self, low, mode, high, size=None, out=None):
        """Variate on [low, high] with the given mode, low <= mode <= high and
        low < high. The threaded edition inverts the triangular distribution;
        the statistics edition puts half of the probability on each side of
        the mode."""
        return self._sample("triangular", (low, mode, high), ("low", "mode", "high"),
                            size, out)

    def beta(self, pin, qin, size=None, out=None):
        """Beta variate in (0, 1) with shape parameters pin > 0 and qin > 0."""
        return self._sample("beta", (pin, qin), ("pin", "qin"), size, out)

    # ---- drawing ------------------------------------------------------------------

    def _sample(self, method, params, names, size, out):
        """Checks the parameters (named as the caller names them) and draws.
        Streams call this with their own parameter names."""
        f = self._export(method)
        for value in params:
            kind = type(value)
            if kind is not float and kind is not int:
                break
        else:
            try:
                cells = [_c_float(v) for v in params]
            except OverflowError:  # an integer beyond the double range
                pass
            else:
                return self._sample_numbers(f, method, params, names, cells, size, out)
        if any(A.is_array_parameter(v) for v in params):
            return self._sample_arrays(method, params, names, size, out)
        given = [A.real(v, name) for v, name in zip(params, names)]
        cells = [_c_float(v) for v in given]
        return self._sample_numbers(f, method, given, names, cells, size, out)

    def _sample_numbers(self, f, method, given, names, cells, size, out):
        """Draws with parameters that are numbers: given, and in cells as
        the export receives them."""
        D.check_numbers(method, [c.value for c in cells], names, self.edition, given)
        loop, integer, pair = _SHAPES[method]
        if integer and method == "geometric" and cells[0].value == 1.0:
            # Success at the first trial, always; the export refuses p = 1.
            if size is None and out is None:
                return 1
            target = A.Draws(size, out, True, False)
            target.fill(1)
            return target.result()
        if size is None and out is None:
            if not pair:
                return f(*cells)  # ctypes passes each cell by reference
            one, two = ctypes.c_float(), ctypes.c_float()
            f(*cells, ctypes.byref(one), ctypes.byref(two))
            return (one.value, two.value)
        # An array of draws, each by one call of the export: in a compiled
        # loop of the companion library when there is one (one call from
        # Python for the whole array), else one call at a time from here.
        target = A.Draws(size, out, integer, pair)
        count = target.count
        if count:
            name = EXPORT_OF[method]
            bulk = self._bulk_dll
            if bulk is not None:
                fill = getattr(bulk, loop)
                if self._lock is None:
                    fill(self._address[name], *cells, target.address, count)
                else:
                    with self._lock:
                        fill(self._address[name], *cells, target.address, count)
            else:
                with self._held():
                    _fill_one_at_a_time(self._raw[name], cells, target, pair)
        return target.result()

    def _sample_arrays(self, method, params, names, size, out):
        """Draws with array parameters: broadcast as numpy's, checked as a
        whole, then one call of the export per value in C order."""
        arrays = [A.parameter_array(value, name) for value, name in zip(params, names)]
        shape = A.broadcast_shape([a.shape for a in arrays])
        if size is not None:
            shape = A.size_for(size, shape)
        np = A._np
        with np.errstate(all="ignore"):
            D.check(method, arrays, names, self.edition)
        _, integer, pair = _SHAPES[method]
        target = A.Draws(shape, out, integer, pair)
        if target.count:
            columns = [np.broadcast_to(a, shape).ravel().tolist() for a in arrays]
            with self._held():
                _fill_each(self._raw[EXPORT_OF[method]], columns, target, pair,
                           method == "geometric")
        return target.result()


def _fill_one_at_a_time(f, cells, target, pair):
    """target's draws by one call of f each, with the same parameters."""
    store = target.cells()
    if pair:
        one, two = ctypes.c_float(), ctypes.c_float()
        for i in range(target.count):
            f(*cells, ctypes.byref(one), ctypes.byref(two))
            store[2 * i], store[2 * i + 1] = one.value, two.value
    else:
        for i in range(target.count):
            store[i] = f(*cells)


def _fill_each(f, columns, target, pair, geometric):
    """target's draws by one call of f each, the i-th with the parameters
    columns[0][i], columns[1][i], ...; a geometric p of 1 gives 1 without a
    call."""
    cells = [ctypes.c_float() for _ in columns]
    refs = [ctypes.byref(c) for c in cells]
    store = target.cells()
    if pair:
        one, two = ctypes.c_float(), ctypes.c_float()
        refs += [ctypes.byref(one), ctypes.byref(two)]
    for i, row in enumerate(zip(*columns)):
        for cell, value in zip(cells, row):
            cell.value = value
        if pair:
            f(*refs)
            store[2 * i], store[2 * i + 1] = one.value, two.value
        elif geometric and row[0] == 1.0:
            store[i] = 1
        else:
            store[i] = f(*refs)
