"""Parameters outside a distribution's domain, and statistics inputs whose
result would be garbage, are refused before the library is called, with
numpy's wording where numpy has one; array parameters broadcast as numpy's
and give the values of single calls in C order."""

import math
import unittest

from helpers import as_list, edition, have_numpy
import velmprob

NAN = math.nan
INF = math.inf
LOGNORMAL = "mean and sd of the variable itself (mean > 0, sd > 0)"


def streams():
    stats, threaded = edition("stats"), edition("threaded")
    return (stats, threaded, velmprob.Stream(99, library=stats),
            velmprob.Stream(99, library=threaded))


# (call, exception, fragment of the message); L statistics edition, T
# threaded edition, S and R Streams over them.
REFUSED = [
    # lognormal takes the variable's own mean and sd, both positive
    ("S.lognormal(0, 1, size=5)", ValueError, "mean <= 0: " + "velmprob's lognormal takes the "
     + LOGNORMAL),
    ("S.lognormal(-5, 2)", ValueError, LOGNORMAL),
    ("R.lognormal(10, -2)", ValueError, "sd <= 0"),
    ("L.lognormal(0.0, 0.0)", ValueError, "mean <= 0"),
    ("T.lognormal(1.0, 1e-5)", ValueError, "S = 0"),
    ("S.normal(0, -1)", ValueError, "scale < 0"),
    ("L.normal(0, -1)", ValueError, "sd < 0"),
    ("S.normal(NAN, 1)", ValueError, "loc is NaN"),
    ("S.normal(0, INF)", ValueError, "scale = inf is not finite"),
    ("S.normal(1e39, 1)", ValueError, "beyond the single-precision range"),
    ("S.uniform(0, INF)", ValueError, "high = inf is not finite"),
    # triangular: left <= mode <= right, left < right
    ("S.triangular(3, 2, 1)", ValueError, "left > mode"),
    ("S.triangular(1, 5, 3)", ValueError, "mode > right"),
    ("R.triangular(0, 5, 1)", ValueError, "mode > right"),
    ("T.triangular(0, 5, 1)", ValueError, "mode > high"),
    ("R.triangular(2, 2, 2)", ValueError, "left == right"),
    ("S.triangular(1, 1 + 1e-10, 1 + 2e-10)", ValueError, "left == right (in single precision"),
    ("S.triangular(NAN, 1, 2)", ValueError, "left is NaN"),
    # probabilities
    ("R.geometric(NAN)", ValueError, "p <= 0, p > 1 or p contains NaNs"),
    ("S.geometric(1.5)", ValueError, "p <= 0, p > 1 or p contains NaNs"),
    ("S.geometric(1e-50)", ValueError, "p = 0)"),
    ("T.yesno(NAN)", ValueError, "p < 0, p > 1 or p is NaN"),
    ("R.yesno(-0.5)", ValueError, "p < 0, p > 1 or p is NaN"),
    ("R.yesno(7)", ValueError, "p < 0, p > 1 or p is NaN"),
    ("T.crnormal(0, 1, 0, 1, 2)", ValueError, "rho < -1 or rho > 1"),
    ("R.normal_pair(0, 1, 0, -1, 0.5)", ValueError, "sd2 < 0"),
    ("R.normal_pair(0, 0, 0, 1, 0.5)", ValueError, "sd1 = 0 needs rho * sd2 = 0"),
    ("S.beta(0, 1)", ValueError, "a <= 0"),
    ("L.beta(1, -1)", ValueError, "qin <= 0"),
    ("S.beta(INF, 1)", ValueError, "a = inf is not finite"),
    # arrays of parameters
    ("S.normal(0, [1, -1])", ValueError, "scale < 0"),
    ("S.normal([0, NAN], 1)", ValueError, "loc contains NaN"),
    ("S.geometric([0.5, 0.0])", ValueError, "p <= 0"),
    ("S.triangular([0, 0], [1, 3], 2)", ValueError, "mode > right"),
    ("R.lognormal([1.0, 1.0], [0.5, 1e-5])", ValueError, "S = 0"),
    ("S.normal([0, 10], 1, size=(4, 3))", ValueError, "shape mismatch"),
    ("S.normal([[0], [10]], 1, size=(2,))", ValueError,
     "Output size (2,) is not compatible with broadcast dimensions of inputs (2, 1)"),
    # text is not a number
    ("S.uniform('1', '2')", TypeError, "low must be a real number, not str"),
    ("L.normal(b'1', 2)", TypeError, "mean must be a real number, not bytes"),
    ("S.normal(['1'], 1)", TypeError, "loc must hold real numbers"),
    ("L.stat(['1', '2'])", TypeError, "must hold numbers, not str"),
    ("L.stat('12')", TypeError, "data must be a sequence of numbers, not str"),
    ("L.quantiles([1, 2], ['0.5'])", TypeError, "proportions must hold numbers"),
    ("L.histogram([1.0], '0', 1.0, 3)", TypeError, "xlo must be a real number"),
    # statistics whose result would depend on a NaN or an overflow
    ("L.spearman([1, NAN, 3], [1, 2, 3])", ValueError, "data1 contains NaN"),
    ("L.spearman([1, 2, 3], [1, 2, NAN])", ValueError, "data2 contains NaN"),
    ("L.sort([3.0, NAN, -1.0])", ValueError, "values contain NaN"),
    ("L.histogram([1, 2, 3], 0, INF, 5)", ValueError, "must be finite"),
    ("L.histogram([1, 2, 3], -3e38, 3e38, 5)", ValueError, "too far apart"),
    ("L.histogram([1, 2, 3], 0, 3e38, 5)", ValueError, "too far apart"),
    ("L.convergence([1, 2, INF, 4, 5], 2)", ValueError, "values contain an infinity"),
]

NEEDS_NUMPY = ("S.normal(0, [", "S.normal([", "S.geometric([", "S.triangular([",
               "R.lognormal([", "S.normal(['")


class Refused(unittest.TestCase):
    def test_each_refusal_names_the_fault_and_draws_nothing(self):
        L, T, S, R = streams()
        for call, error, fragment in REFUSED:
            if call.startswith(NEEDS_NUMPY) and not have_numpy():
                continue
            with self.subTest(call=call):
                seeds = (S.get_seed(), R.get_seed())
                with self.assertRaises(error) as caught:
                    eval(call)
                self.assertIn(fragment, str(caught.exception))
                self.assertEqual((S.get_seed(), R.get_seed()), seeds)

    @unittest.skipIf(have_numpy(), "numpy is installed")
    def test_array_parameters_need_numpy(self):
        with self.assertRaisesRegex(TypeError, "need numpy"):
            edition("threaded").normal([0.0, 1.0], 1.0)


class DomainEdges(unittest.TestCase):
    """The edges of the domains that numpy accepts are accepted."""

    def test_geometric_certain_success_gives_one_without_a_draw(self):
        for name in ("stats", "threaded"):
            lib = edition(name)
            with self.subTest(edition=name):
                lib.seed(321)
                self.assertEqual(lib.geometric(1.0), 1)
                self.assertEqual(as_list(lib.geometric(0.99999999, size=4)), [1] * 4)
                self.assertEqual(lib.get_seed(), 321)

    def test_edges(self):
        lib = edition("threaded")
        lib.seed(5)
        self.assertEqual([lib.yesno(0.0), lib.yesno(1.0)], [0, 1])
        self.assertEqual(lib.normal(3.0, 0.0), 3.0)
        self.assertTrue(all(1.0 < u < 2.0 for u in as_list(lib.uniform(2.0, 1.0, size=50))))
        for low, mode, high in ((0.0, 0.0, 1.0), (0.0, 1.0, 1.0)):
            self.assertTrue(all(0.0 <= x <= 1.0
                                for x in as_list(lib.triangular(low, mode, high, size=50))))
        for x1, x2 in as_list(lib.crnormal(0.0, 1.0, 0.0, 2.0, -1.0, size=20)):
            self.assertAlmostEqual(x2, -2.0 * x1, delta=1e-5)


@unittest.skipUnless(have_numpy(), "numpy is not installed")
class Broadcasting(unittest.TestCase):
    CASES = [
        ("normal", ([0.0, 10.0, 20.0], 1.0), None, (3,)),
        ("normal", ([0.0, 10.0], 1.0), (4, 2), (4, 2)),
        ("triangular", ([[0.0], [1.0]], [1.0, 1.5, 2.0], 2.0), None, (2, 3)),
        ("geometric", ([0.5, 1.0, 0.2],), (2, 3), (2, 3)),
        ("beta", (2.0, [0.5, 3.0]), (3, 2), (3, 2)),
        ("uniform", ([[1.0]], [2.0, 3.0]), None, (1, 2)),
    ]

    def test_same_values_as_scalar_calls_in_c_order(self):
        import numpy as np
        for name in ("stats", "threaded"):
            lib = edition(name)
            cases = self.CASES + ([("crnormal", (0.0, 1.0, [1.0, 2.0], 1.0, [0.5, -0.5]),
                                    (3, 2), (3, 2, 2))] if name == "threaded" else [])
            for method, args, size, shape in cases:
                with self.subTest(edition=name, method=method, size=size):
                    lib.seed(2718)
                    got = getattr(lib, method)(*args, size=size)
                    end = lib.get_seed()
                    self.assertEqual(got.shape, shape)
                    cells = np.broadcast_arrays(*[np.asarray(a, dtype=np.float64) for a in args]
                                                + [np.empty(size or ())])[:-1]
                    lib.seed(2718)
                    single = [getattr(lib, method)(*[float(c.flat[i]) for c in cells])
                              for i in range(cells[0].size)]
                    self.assertEqual(as_list(got.reshape(-1, 2) if method == "crnormal"
                                             else got.ravel()), single)
                    self.assertEqual(lib.get_seed(), end)

    def test_streams_and_out(self):
        import numpy as np
        lib = edition("threaded")
        s = velmprob.Stream(44, library=lib)
        out = np.empty((2, 3), dtype=np.float32)
        self.assertIs(s.normal([[0.0], [100.0]], [1.0, 2.0, 3.0], out=out), out)
        lib.seed(44)
        expected = [lib.normal(m, sd) for m in (0.0, 100.0) for sd in (1.0, 2.0, 3.0)]
        self.assertEqual(out.ravel().tolist(), expected)
        self.assertEqual(s.get_seed(), lib.get_seed())
        with self.assertRaises(ValueError):
            s.normal([0.0, 1.0], 1.0, out=np.empty(3, dtype=np.float32))
        # numpy numbers and 0-d arrays are numbers; an empty array gives no draws.
        self.assertIsInstance(s.normal(np.array(1.0), np.float32(1.0)), float)
        self.assertIsInstance(s.geometric(np.float64(0.5)), int)
        self.assertEqual(s.normal([], 1.0).shape, (0,))


class MissingExports(unittest.TestCase):
    def test_the_message_names_the_edition_that_has_the_export(self):
        for name, method, other in (("stats", "yesno", "threaded sampling"),
                                    ("threaded", "stat", "statistics")):
            lib = velmprob.load(path=edition(name).path)
            with self.assertRaisesRegex(velmprob.EditionError, "load the %s edition" % other):
                getattr(lib, "_export")(method)
        # normal is in both editions: a file without it is incomplete, and no
        # other edition is recommended.
        lib = velmprob.load(path=edition("stats").path)
        del lib._f["VELMNORMAL"]
        with self.assertRaises(velmprob.EditionError) as caught:
            lib.normal(0.0, 1.0)
        self.assertIn("both editions have", str(caught.exception))
        self.assertNotIn("load the", str(caught.exception))


if __name__ == "__main__":
    unittest.main()
