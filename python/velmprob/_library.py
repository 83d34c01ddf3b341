"""Loading an edition of the velmprob library and calling its exports.

The library reports every argument error as a TERMINAL error on standard
output and then ends the process, Python interpreter included. Each method
below therefore checks, before the call, exactly the conditions under which
the export would stop the process, and raises ValueError instead. The checks
are made on the values the library will receive: reals rounded to single
precision, counts as 16-bit integers.
"""

import contextlib
import ctypes
import math
import os
import sys
import threading

from . import _arrays as A

EDITIONS = ("stats", "threaded")

ENVIRONMENT = {
    "stats": "VELMPROB_LIBRARY",
    "threaded": "VELMPROB_THREADED_LIBRARY",
}

# Rows of the statistics export's result column, in order.
STAT_NAMES = (
    "mean", "variance", "std_dev", "skewness", "kurtosis",
    "minimum", "maximum", "range", "coef_var", "count",
    "lower_clm", "upper_clm", "lower_clv", "upper_clv", "sum_wts",
)

_c_float_p = A.c_float_p
_c_int16_p = A.c_int16_p
_c_int32_p = ctypes.POINTER(ctypes.c_int32)

# Export name -> (argument types, result type).
_PROTOTYPES = {
    "VELMSETSEED": ([_c_int32_p], None),
    "VELMGETSEED": ([], ctypes.c_int32),
    "VELMUNIFORM": ([_c_float_p] * 2, ctypes.c_float),
    "VELMNORMAL": ([_c_float_p] * 2, ctypes.c_float),
    "VELMLOGNORMAL": ([_c_float_p] * 2, ctypes.c_float),
    "VELMCRNORMAL": ([_c_float_p] * 7, ctypes.c_int32),
    "VELMGEOMETRIC": ([_c_float_p], ctypes.c_int32),
    "VELMYESNO": ([_c_float_p], ctypes.c_int32),
    "VELMTRIANG": ([_c_float_p] * 3, ctypes.c_float),
    "VELMBETA": ([_c_float_p] * 2, ctypes.c_float),
    "VELMSORT": ([_c_int16_p, _c_float_p, _c_float_p, _c_int16_p], None),
    "VELMQTIL": ([_c_int16_p, _c_float_p, _c_int16_p, _c_float_p, _c_float_p], None),
    "VELMHIST": ([_c_int16_p, _c_float_p, _c_float_p, _c_float_p, _c_int16_p,
                  _c_float_p, _c_float_p], None),
    "VELMSTAT": ([_c_int16_p, _c_int16_p, _c_float_p, _c_int16_p, _c_float_p], None),
    "VELMSPEAR": ([_c_int16_p, _c_float_p, _c_float_p], ctypes.c_float),
    "VELMCNVERR": ([_c_int16_p, _c_int16_p, _c_float_p], ctypes.c_float),
}

# Method -> export, for the messages about what an edition lacks.
_EXPORT_OF = {
    "seed": "VELMSETSEED", "get_seed": "VELMGETSEED", "uniform": "VELMUNIFORM",
    "normal": "VELMNORMAL", "lognormal": "VELMLOGNORMAL", "crnormal": "VELMCRNORMAL",
    "geometric": "VELMGEOMETRIC", "yesno": "VELMYESNO", "triangular": "VELMTRIANG",
    "beta": "VELMBETA", "sort": "VELMSORT", "quantiles": "VELMQTIL",
    "histogram": "VELMHIST", "stat": "VELMSTAT", "spearman": "VELMSPEAR",
    "convergence": "VELMCNVERR",
}


class LibraryNotFoundError(OSError):
    """No library file was found, or the file is not a velmprob edition."""


class EditionError(NotImplementedError):
    """The loaded edition does not export the function that was called."""


def library_file_name():
    if sys.platform.startswith("win") or sys.platform == "cygwin":
        return "velmprob.dll"
    if sys.platform == "darwin":
        return "libvelmprob.dylib"
    return "libvelmprob.so"


def _loader():
    """The ctypes loader for the exports' calling convention: the 32-bit
    Windows DLL is __stdcall (the function removes its arguments), which
    ctypes calls through WinDLL; everywhere else there is one C convention."""
    if sys.platform == "win32" and ctypes.sizeof(ctypes.c_void_p) == 4:
        return ctypes.WinDLL
    return ctypes.CDLL


def bulk_file_name():
    """The companion library of array loops, found beside each edition."""
    if sys.platform.startswith("win") or sys.platform == "cygwin":
        return "velmprob_bulk.dll"
    if sys.platform == "darwin":
        return "libvelmprob_bulk.dylib"
    return "libvelmprob_bulk.so"


# Loop of the companion library -> argument types after the export's address
# (the storage's address and the count are last).
_c_void_p = ctypes.c_void_p
_c_int64 = ctypes.c_int64
_BULK_PROTOTYPES = {
    "velmbulk_real2": [_c_void_p, _c_float_p, _c_float_p, _c_void_p, _c_int64],
    "velmbulk_real3": [_c_void_p, _c_float_p, _c_float_p, _c_float_p, _c_void_p, _c_int64],
    "velmbulk_int1": [_c_void_p, _c_float_p, _c_void_p, _c_int64],
    "velmbulk_pair": [_c_void_p] + [_c_float_p] * 5 + [_c_void_p, _c_int64],
}


def _load_bulk(path):
    """The companion library beside the edition file, or None when there is
    none (or VELMPROB_BULK=0): then `size=` draws are made one call at a
    time from Python, with the same values."""
    if os.environ.get("VELMPROB_BULK", "1") == "0":
        return None
    candidate = os.path.join(os.path.dirname(os.path.abspath(path)), bulk_file_name())
    if not os.path.isfile(candidate):
        return None
    try:
        dll = ctypes.CDLL(candidate)
        for name, argtypes in _BULK_PROTOTYPES.items():
            function = getattr(dll, name)
            function.argtypes = argtypes
            function.restype = None
    except (OSError, AttributeError) as err:
        raise LibraryNotFoundError("%s beside %s is not a usable velmprob companion library: %s"
                                   % (candidate, path, err)) from None
    return dll


def _package_dir():
    return os.path.dirname(os.path.abspath(__file__))


def candidates(edition):
    """Where an edition is looked for, in order: the environment variable,
    the copy installed next to the package, then the build tree of the
    checkout (the one the package sits in, then the one it was installed
    from)."""
    name = library_file_name()
    found = []
    env = os.environ.get(ENVIRONMENT[edition])
    if env:
        found.append(env)
    pkg = _package_dir()
    found.append(os.path.join(pkg, "lib", edition, name))
    roots = []
    here = os.path.dirname(os.path.dirname(pkg))
    if os.path.isfile(os.path.join(here, "export", "velmprob.h")):
        roots.append(here)  # the package sits in a checkout (python/velmprob)
    try:
        from ._origin import CHECKOUT
    except ImportError:
        CHECKOUT = None
    if CHECKOUT and CHECKOUT not in roots:
        roots.append(CHECKOUT)
    for root in roots:
        found.append(os.path.join(root, "build", edition, name))
    return found


def load(edition=None, path=None):
    """Loads an edition of velmprob and returns a Library.

    edition: "stats" (the statistics edition, the default) or "threaded" (the
    threaded sampling edition). path: the library file to load; when it is
    given, the edition is told by the file's exports (and must match edition
    if both are given). Without a path the file is looked for as described
    in `candidates`.
    """
    if edition is not None and edition not in EDITIONS:
        raise ValueError("edition must be one of %s, not %r" % (", ".join(EDITIONS), edition))
    if path is None:
        edition = edition or "stats"
        named = os.environ.get(ENVIRONMENT[edition])
        if named and not os.path.isfile(named):
            raise LibraryNotFoundError("%s names %s, which is not a file"
                                       % (ENVIRONMENT[edition], named))
        tried = candidates(edition)
        for candidate in tried:
            if os.path.isfile(candidate):
                path = candidate
                break
        else:
            raise LibraryNotFoundError(
                "no %s edition of velmprob found; looked at:\n  %s\n"
                "build the library (cmake) or name the file with %s or load(path=...)"
                % (edition, "\n  ".join(tried), ENVIRONMENT[edition]))
    library = Library(path)
    if edition is not None and library.edition != edition:
        raise LibraryNotFoundError("%s is the %s edition, not the %s edition"
                                   % (path, library.edition, edition))
    return library


def _real(value, name):
    try:
        return ctypes.c_float(float(value))
    except OverflowError:  # an integer beyond the double range
        return ctypes.c_float(math.inf if value > 0 else -math.inf)
    except (TypeError, ValueError):
        raise TypeError("%s must be a real number, not %r" % (name, value)) from None


# The statistics edition keeps its state in static storage and must not be
# entered by two threads at once; its calls are serialised by one lock per
# library file (two Library objects over one file share its state).
# The lock is re-entrant so that a Stream can hold it across seeding, drawing
# and reading the seed back.
_LOCKS = {}
_LOCKS_GUARD = threading.Lock()


def _lock_for(path):
    key = os.path.realpath(path)
    with _LOCKS_GUARD:
        return _LOCKS.setdefault(key, threading.RLock())


def _serialised(function, lock):
    def call(*args):
        with lock:
            return function(*args)
    return call


def _div(a, b):
    """a / b in IEEE arithmetic (a zero divisor gives an infinity or NaN)."""
    if b == 0.0:
        if a == 0.0 or math.isnan(a):
            return math.nan
        return math.copysign(math.inf, a) * math.copysign(1.0, b)
    return a / b


def _stops(export, message):
    return ValueError("%s: %s (the library would end the process)" % (export, message))


class Library:
    """One loaded edition of velmprob.

    Attributes: `path` (the file), `edition` ("stats" or "threaded"),
    `exports` (the names of the exports found), `bulk` (the companion
    library that draws `size=` arrays in compiled loops, or None). Loading
    the same file twice gives two objects over the same library state.
    """

    def __init__(self, path):
        path = os.fspath(path)
        try:
            self._dll = _loader()(os.path.abspath(path))
        except OSError as err:
            raise LibraryNotFoundError("cannot load %s: %s" % (path, err)) from None
        self.path = path
        self._f = {}
        for name, (argtypes, restype) in _PROTOTYPES.items():
            try:
                function = getattr(self._dll, name)
            except AttributeError:
                continue
            function.argtypes = argtypes
            function.restype = restype
            self._f[name] = function
        if "VELMSETSEED" not in self._f or "VELMUNIFORM" not in self._f:
            raise LibraryNotFoundError("%s is not a velmprob library" % path)
        self.exports = frozenset(self._f)
        self.edition = "stats" if "VELMSTAT" in self._f else "threaded"
        # The exports' addresses, for the companion library's loops.
        self._address = {name: ctypes.cast(f, ctypes.c_void_p).value
                         for name, f in self._f.items()}
        self._raw = dict(self._f)
        self._lock = None
        if self.edition == "stats":
            self._lock = _lock_for(path)
            self._f = {name: _serialised(f, self._lock) for name, f in self._f.items()}
        self._bulk_dll = _load_bulk(path)
        self.bulk = self._bulk_dll._name if self._bulk_dll is not None else None

    def _held(self):
        """The statistics edition's lock (a no-op for the threaded edition)."""
        return self._lock if self._lock is not None else contextlib.nullcontext()

    def __repr__(self):
        return "<velmprob %s edition from %r>" % (self.edition, self.path)

    def has(self, method):
        """True when this edition offers the method (for example "crnormal")."""
        return _EXPORT_OF[method] in self._f

    def _export(self, method):
        name = _EXPORT_OF[method]
        try:
            return self._f[name]
        except KeyError:
            other = "threaded sampling" if self.edition == "stats" else "statistics"
            raise EditionError(
                "%s() needs the export %s, which the %s edition (%s) does not have; "
                "load the %s edition" % (method, name,
                                         "statistics" if self.edition == "stats"
                                         else "threaded sampling",
                                         self.path, other)) from None

    # ---- seed and uniform -------------------------------------------------

    def seed(self, value):
        """Installs a seed (the calling thread's, in the threaded edition):
        1 .. 2147483646 restarts the sequence, 0 takes a seed from the clock,
        other 32-bit values are ignored by the library."""
        f = self._export("seed")
        f(ctypes.byref(ctypes.c_int32(A.int32(value, "seed"))))

    def get_seed(self):
        """The current seed; a stream never seeded is seeded from the clock."""
        return int(self._export("get_seed")())

    def _draws(self, method, loop, cells, size, out, draw, integer=False, pair=False):
        """One draw (draw()) when neither size nor out is given; else an array
        of draws, each by one call of the export: in a compiled loop of the
        companion library when there is one (one call from Python for the
        whole array), else one call at a time from here."""
        if size is None and out is None:
            return draw()
        target = A.Draws(size, out, integer, pair)
        count = target.count
        if count:
            name = _EXPORT_OF[method]
            if self._bulk_dll is not None:
                fill = getattr(self._bulk_dll, loop)
                address = self._address[name]
                if self._lock is None:
                    fill(address, *cells, target.address, count)
                else:
                    with self._lock:
                        fill(address, *cells, target.address, count)
            else:
                with self._held():
                    self._fill_one_at_a_time(self._raw[name], cells, target, pair)
        return target.result()

    @staticmethod
    def _fill_one_at_a_time(f, cells, target, pair):
        store = target.cells()
        if pair:
            one, two = ctypes.c_float(), ctypes.c_float()
            for i in range(target.count):
                f(*cells, ctypes.byref(one), ctypes.byref(two))
                store[2 * i], store[2 * i + 1] = one.value, two.value
        else:
            for i in range(target.count):
                store[i] = f(*cells)

    def uniform(self, a=0.0, b=1.0, size=None, out=None):
        """a + (b - a) * u with u uniform in (0, 1).

        Every sampler returns one variate, or with size=n (a count, or with
        numpy a shape) n successive variates, the same values as n calls:
        a float32 (int32 for integers) numpy array when numpy is installed,
        else a list. out= takes a C-contiguous numpy array of that dtype to
        fill instead."""
        f = self._export("uniform")
        ca, cb = _real(a, "a"), _real(b, "b")
        ra, rb = ctypes.byref(ca), ctypes.byref(cb)
        return self._draws("uniform", "velmbulk_real2", (ca, cb), size, out,
                           lambda: f(ra, rb))

    # ---- samplers -----------------------------------------------------------

    def normal(self, mean=0.0, sd=1.0, size=None, out=None):
        """mean + sd * z with z standard normal."""
        f = self._export("normal")
        cm, cs = _real(mean, "mean"), _real(sd, "sd")
        rm, rs = ctypes.byref(cm), ctypes.byref(cs)
        return self._draws("normal", "velmbulk_real2", (cm, cs), size, out,
                           lambda: f(rm, rs))

    def lognormal(self, mean, sd, size=None, out=None):
        """Lognormal variate with the given mean and standard deviation of the
        variable itself."""
        f = self._export("lognormal")
        cm, cs = _real(mean, "mean"), _real(sd, "sd")
        m, s = cm.value, cs.value
        # The scale of the logarithm is sqrt(ln(1 + (sd / mean)^2)); it is zero,
        # and refused, when 1 + (sd / mean)^2 rounds to 1: in single precision
        # in the threaded edition, in double precision in the statistics one.
        if self.edition == "threaded":
            ratio = A.f32(_div(s, m))
            one_plus = A.f32(1.0 + A.f32(ratio * ratio))
        else:
            ratio = _div(s, m)
            one_plus = 1.0 + ratio * ratio
        if one_plus == 1.0:
            raise _stops("VELMLOGNORMAL",
                         "sd = %r with mean = %r gives the scale parameter S = 0, "
                         "but S must be positive" % (s, m))
        rm, rs = ctypes.byref(cm), ctypes.byref(cs)
        return self._draws("lognormal", "velmbulk_real2", (cm, cs), size, out,
                           lambda: f(rm, rs))

    def crnormal(self, mean1, sd1, mean2, sd2, rho, size=None, out=None):
        """A pair (x1, x2) of normals with means mean1, mean2, standard
        deviations sd1, sd2 and correlation rho (threaded edition). With
        size=n: a float32 array of shape (n, 2) (a list of n pairs without
        numpy)."""
        f = self._export("crnormal")
        args = [_real(v, n) for v, n in ((mean1, "mean1"), (sd1, "sd1"), (mean2, "mean2"),
                                         (sd2, "sd2"), (rho, "rho"))]
        # The covariance factor has sd1 on its diagonal and rho * sd2 beside
        # it; a zero diagonal with a non-zero (or NaN) neighbour is refused.
        sd1_value = args[1].value
        off_diagonal = A.f32(args[4].value * args[3].value)
        if sd1_value == 0.0 and not off_diagonal == 0.0:
            raise _stops("VELMCRNORMAL",
                         "sd1 = 0 needs rho * sd2 = 0, but rho * sd2 = %r" % off_diagonal)
        refs = [ctypes.byref(a) for a in args]
        out1, out2 = ctypes.c_float(), ctypes.c_float()

        def draw():
            f(*refs, ctypes.byref(out1), ctypes.byref(out2))
            return (out1.value, out2.value)
        return self._draws("crnormal", "velmbulk_pair", args, size, out, draw, pair=True)

    def geometric(self, p, size=None, out=None):
        """Number of trials up to and including the first success, with
        success probability p; 0 < p < 1."""
        f = self._export("geometric")
        cp = _real(p, "p")
        if cp.value <= 0.0 or cp.value >= 1.0:
            raise _stops("VELMGEOMETRIC",
                         "the probability P = %r must be greater than 0.0 and less than 1.0"
                         % cp.value)
        rp = ctypes.byref(cp)
        return self._draws("geometric", "velmbulk_int1", (cp,), size, out,
                           lambda: int(f(rp)), integer=True)

    def yesno(self, p, size=None, out=None):
        """1 with probability p, else 0 (threaded edition)."""
        f = self._export("yesno")
        cp = _real(p, "p")
        rp = ctypes.byref(cp)
        return self._draws("yesno", "velmbulk_int1", (cp,), size, out,
                           lambda: int(f(rp)), integer=True)

    def triangular(self, low, mode, high, size=None, out=None):
        """Variate on [low, high] with the given mode. The threaded edition
        inverts the triangular distribution; the statistics edition puts half
        of the probability on each side of the mode."""
        f = self._export("triangular")
        cl, cm, ch = _real(low, "low"), _real(mode, "mode"), _real(high, "high")
        rl, rm, rh = ctypes.byref(cl), ctypes.byref(cm), ctypes.byref(ch)
        return self._draws("triangular", "velmbulk_real3", (cl, cm, ch), size, out,
                           lambda: f(rl, rm, rh))

    def beta(self, pin, qin, size=None, out=None):
        """Beta variate in (0, 1) with shape parameters pin > 0 and qin > 0."""
        f = self._export("beta")
        cp, cq = _real(pin, "pin"), _real(qin, "qin")
        bad = []
        if not cp.value > 0.0:
            bad.append("PIN = %r" % cp.value)
        if not cq.value > 0.0:
            bad.append("QIN = %r" % cq.value)
        if bad:
            raise _stops("VELMBETA", "%s: the shape parameters must be positive"
                         % " and ".join(bad))
        rp, rq = ctypes.byref(cp), ctypes.byref(cq)
        return self._draws("beta", "velmbulk_real2", (cp, cq), size, out,
                           lambda: f(rp, rq))

    # ---- statistics (statistics edition) --------------------------------------

    def sort(self, values):
        """Sorts by nondecreasing absolute value. Returns (sorted, order) with
        sorted[i] == values[order[i]]: order holds 0-based positions (the export
        counts from 1). Ties come out in no particular order."""
        f = self._export("sort")
        ra = A.vector(values, "values")
        n = ra.size
        if n < 1:
            raise _stops("VELMSORT", "there must be at least one value")
        A.count16(n, "len(values)")
        rb = A.output(n, ra.numpy_out)
        iperm = (ctypes.c_int16 * n)()
        f(ctypes.byref(ctypes.c_int16(n)), ra.pointer, rb.pointer,
          ctypes.cast(iperm, _c_int16_p))
        order = [i - 1 for i in iperm]
        if ra.numpy_out and A.have_numpy():
            import numpy
            order = numpy.array(order, dtype=numpy.intp)
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
        if x.size < 1:
            raise _stops("VELMQTIL", "NOBS = 0: there must be at least one observation")
        A.count16(x.size, "len(values)")
        A.count16(qprop.size, "len(proportions)")
        # When every value is missing the library answers NaN throughout
        # without looking at the proportions; otherwise it checks them.
        if not x.all_nan():
            if qprop.size < 1:
                raise _stops("VELMQTIL", "NQPROP = 0: there must be at least one quantile")
            for i, p in enumerate(qprop.values()):
                if not (0.0 < p < 1.0):
                    raise _stops("VELMQTIL", "proportions[%d] = %r must be greater than 0.0 "
                                             "and less than 1.0" % (i, p))
        q = A.output(qprop.size, x.numpy_out)
        f(ctypes.byref(ctypes.c_int16(x.size)), x.pointer,
          ctypes.byref(ctypes.c_int16(qprop.size)), qprop.pointer, q.pointer)
        return q.result()

    def histogram(self, values, xlo, xhi, k):
        """Counts values in k classes: values <= xlo, k - 2 classes of equal
        width between xlo and xhi, values > xhi. Returns (marks, tally): the
        class marks and the count of each class (as reals, as the export
        gives them)."""
        f = self._export("histogram")
        x = A.vector(values, "values")
        k = A.integer(k, "k")
        clo, chi = _real(xlo, "xlo"), _real(xhi, "xhi")
        problems = []
        if x.size < 1:
            problems.append("there must be at least one observation")
        if not chi.value > clo.value:
            problems.append("xlo = %r and xhi = %r: the lower bound must be less than the "
                            "upper bound" % (clo.value, chi.value))
        if k < 3:
            problems.append("k = %d: there must be at least three classes" % k)
        if x.size > 0 and x.has_nan():
            problems.append("values contain NaN: missing values are not allowed")
        if problems:
            raise _stops("VELMHIST", "; ".join(problems))
        A.count16(x.size, "len(values)")
        A.count16(k, "k")
        div = A.output(k, x.numpy_out)
        tally = A.output(k, x.numpy_out)
        f(ctypes.byref(ctypes.c_int16(x.size)), x.pointer, ctypes.byref(clo),
          ctypes.byref(chi), ctypes.byref(ctypes.c_int16(k)), div.pointer, tally.pointer)
        return div.result(), tally.result()

    def stat(self, data):
        """The fifteen statistics of each variable, by name (STAT_NAMES): for a
        1-D input one dict, for a 2-D input (rows are observations, columns
        variables) a list of dicts, one per column. A row holding a NaN is
        left out for every variable. Limits are 95 % confidence limits. The
        export computes no weights: sum_wts is NaN."""
        f = self._export("stat")
        x, nrow, nvar, single = A.matrix(data, "data")
        if nrow < 1:
            raise _stops("VELMSTAT", "NROW = 0: there must be at least one row")
        if nvar < 1:
            raise _stops("VELMSTAT", "NVAR = 0: the number of variables must be positive")
        A.count16(nrow, "number of rows")
        A.count16(nvar, "number of variables")
        out = (ctypes.c_float * (15 * nvar))(*([math.nan] * (15 * nvar)))
        f(ctypes.byref(ctypes.c_int16(nrow)), ctypes.byref(ctypes.c_int16(nvar)), x.pointer,
          ctypes.byref(ctypes.c_int16(nrow)), ctypes.cast(out, _c_float_p))
        columns = [dict(zip(STAT_NAMES, out[15 * j:15 * j + 15])) for j in range(nvar)]
        return columns[0] if single else columns

    def spearman(self, data1, data2):
        """Spearman rank correlation of two samples of equal length, corrected
        for ties; NaN when it is undefined (fewer than two pairs, or a
        constant sample)."""
        f = self._export("spearman")
        a = A.vector(data1, "data1")
        b = A.vector(data2, "data2")
        if a.size != b.size:
            raise ValueError("data1 and data2 must have the same length, not %d and %d"
                             % (a.size, b.size))
        A.count16(a.size, "len(data1)")
        return f(ctypes.byref(ctypes.c_int16(a.size)), a.pointer, b.pointer)

    def convergence(self, values, m):
        """Largest change of the standard deviation, the mean and the 10, 25,
        75 and 90 % quantiles between the first len(values) - m values and all
        of them, in standard deviations of the first len(values) - m."""
        f = self._export("convergence")
        x = A.vector(values, "values")
        m = A.integer(m, "m")
        n = x.size
        if m < 0:
            raise _stops("VELMCNVERR", "M = %d: M must be greater than or equal to 0" % m)
        if n - m < 1:
            raise _stops("VELMCNVERR", "M = %d with %d values leaves no values for the earlier "
                                       "snapshot; M must be less than the number of values"
                         % (m, n))
        A.count16(n, "len(values)")
        return f(ctypes.byref(ctypes.c_int16(m)), ctypes.byref(ctypes.c_int16(n)), x.pointer)
