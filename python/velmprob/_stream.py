"""Stream: a seeded source of variates with the methods of a numpy Generator.

Each Stream keeps its own position in the library's uniform stream. Before
every draw it installs that position as the seed of the calling thread's
stream (the one stream of the statistics edition), draws, and reads the seed
back, so several Streams in one thread, or one Stream used from several
threads, each give the same variates as a program that seeded the library
once and drew the same calls in order.
"""

import threading

from . import _arrays as A
from ._library import load

SEED_MAX = 2147483646


class Stream:
    """Stream(seed, edition="threaded", library=None)

    seed: 1 .. 2147483646, or 0 / None for a seed from the clock (as the
    library takes it: the local time of day). edition: "threaded" (the
    default; draws release the interpreter lock) or "stats". library: an
    already loaded velmprob.Library to draw from instead.

    `seed` is the seed the Stream started from; `get_seed()` the seed that
    continues it (give it to a new Stream to carry on from here).
    """

    def __init__(self, seed, edition="threaded", library=None):
        self._lib = library if library is not None else load(edition)
        value = 0 if seed is None else A.int32(seed, "seed")
        if not 0 <= value <= SEED_MAX:
            # The library would ignore such a seed and draw from wherever the
            # thread's stream happens to be.
            raise ValueError("seed = %d must be 0 (from the clock) or 1 .. %d" % (value, SEED_MAX))
        self._guard = threading.Lock()
        if value == 0:
            with self._lib._held():
                self._lib.seed(0)
                value = self._lib.get_seed()
        self.seed = value
        self._state = value

    @property
    def library(self):
        return self._lib

    def __repr__(self):
        return "<velmprob.Stream seed=%d at %d, %s edition>" % (
            self.seed, self._state, self._lib.edition)

    def get_seed(self):
        """The seed that continues this Stream (its position)."""
        return self._state

    def _draw(self, method, params, names, size, out):
        lib = self._lib
        with self._guard, lib._held():
            lib.seed(self._state)
            try:
                return lib._sample(method, params, names, size, out)
            finally:
                self._state = lib.get_seed()

    # Parameters are numbers or, with numpy, arrays broadcast against each
    # other and against size as numpy's; those outside the distribution's
    # domain raise ValueError (with numpy's wording) before anything is drawn.

    def uniform(self, low=0.0, high=1.0, size=None, out=None):
        """low + (high - low) * u, u uniform in (0, 1); high < low draws
        between them."""
        return self._draw("uniform", (low, high), ("low", "high"), size, out)

    def normal(self, loc=0.0, scale=1.0, size=None, out=None):
        """Normal variates with mean loc and standard deviation scale >= 0."""
        return self._draw("normal", (loc, scale), ("loc", "scale"), size, out)

    def lognormal(self, mean, sd, size=None, out=None):
        """Lognormal variates whose own mean > 0 and standard deviation sd > 0
        are given (not those of the logarithm, as in numpy)."""
        return self._draw("lognormal", (mean, sd), ("mean", "sd"), size, out)

    def triangular(self, left, mode, right, size=None, out=None):
        """Triangular variates on [left, right] with the given mode (by the
        edition's method); left <= mode <= right, left < right."""
        return self._draw("triangular", (left, mode, right), ("left", "mode", "right"),
                          size, out)

    def beta(self, a, b, size=None, out=None):
        """Beta(a, b) variates, a > 0, b > 0."""
        return self._draw("beta", (a, b), ("a", "b"), size, out)

    def geometric(self, p, size=None, out=None):
        """Number of trials up to and including the first success (int32),
        0 < p <= 1."""
        return self._draw("geometric", (p,), ("p",), size, out)

    def yesno(self, p, size=None, out=None):
        """1 with probability p, else 0 (int32; threaded edition), 0 <= p <= 1."""
        return self._draw("yesno", (p,), ("p",), size, out)

    def normal_pair(self, mean1=0.0, sd1=1.0, mean2=0.0, sd2=1.0, rho=0.0, size=None, out=None):
        """Pairs of normals with correlation rho in [-1, 1] (threaded edition):
        one (x1, x2), or an array of shape size + (2,)."""
        return self._draw("crnormal", (mean1, sd1, mean2, sd2, rho),
                          ("mean1", "sd1", "mean2", "sd2", "rho"), size, out)
