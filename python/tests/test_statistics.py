"""Statistics exports through the binding: values worked out by hand or from
closed forms, the binding's results against bare calls of the exports, and
lists against numpy arrays."""

import math
import random
import threading
import unittest
from unittest import mock

from helpers import LibraryOutput, edition, f32, raw_call, same
import velmprob
from velmprob import _arrays

try:
    import numpy
except ImportError:
    numpy = None

NAN = math.nan


def plain(result):
    """Statistics dicts as lists with NaN replaced by a marker, so that they
    compare equal when they hold the same numbers."""
    if isinstance(result, list):
        return [plain(r) for r in result]
    return [("nan" if math.isnan(v) else v) for v in result.values()]


def lists(result):
    """A result with numpy arrays turned into lists of Python numbers."""
    if isinstance(result, tuple):
        return tuple(lists(r) for r in result)
    if numpy is not None and isinstance(result, numpy.ndarray):
        return result.tolist()
    return result


class Values(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.lib = edition("stats")

    def test_stat_of_one_to_five(self):
        s = self.lib.stat([1, 2, 3, 4, 5])
        self.assertEqual(list(s), list(velmprob.STAT_NAMES))
        sd = math.sqrt(2.5)
        half = 2.7764451 * sd / math.sqrt(5)  # t(0.975, 4)
        expected = {
            "mean": 3.0, "variance": 2.5, "std_dev": sd, "skewness": 0.0, "kurtosis": -1.3,
            "minimum": 1.0, "maximum": 5.0, "range": 4.0, "coef_var": sd / 3, "count": 5.0,
            "lower_clm": 3 - half, "upper_clm": 3 + half,
            # chi-squared quantiles with 4 degrees of freedom at 0.975 and 0.025
            "lower_clv": 10 / 11.143286782, "upper_clv": 10 / 0.48441855709,
        }
        for name, value in expected.items():
            # The chi-squared quantiles behind the variance limits are
            # accurate to a few parts in a million.
            tolerance = 1e-5 if name.endswith("clv") else 2e-6
            self.assertAlmostEqual(s[name], value, delta=tolerance * max(1.0, abs(value)),
                                   msg=name)
        self.assertTrue(math.isnan(s["sum_wts"]))

    def test_stat_columns_and_missing_rows(self):
        rows = [[1.0, 10.0], [2.0, NAN], [4.0, 30.0], [8.0, 20.0]]
        both = self.lib.stat(rows)
        self.assertEqual(len(both), 2)
        # The row with a NaN is left out for both variables.
        with_nan_dropped = [r for r in rows if not any(math.isnan(v) for v in r)]
        for k in range(2):
            alone = self.lib.stat([r[k] for r in with_nan_dropped])
            for name in velmprob.STAT_NAMES:
                self.assertTrue(same(both[k][name], alone[name]), name)
        self.assertEqual(both[0]["count"], 3.0)

    def test_sort(self):
        self.assertEqual(self.lib.sort([-3.0, 1.0, 2.0]), ([1.0, 2.0, -3.0], [1, 2, 0]))
        rng = random.Random(3)
        values = [f32(rng.uniform(-100, 100)) for _ in range(2000)]
        ordered, order = self.lib.sort(values)
        self.assertEqual(sorted(order), list(range(2000)))
        self.assertEqual(ordered, [values[i] for i in order])
        self.assertEqual([abs(v) for v in ordered], sorted(abs(v) for v in values))

    def test_quantiles(self):
        x = [1.0, 2.0, 3.0, 4.0, 5.0]
        self.assertEqual(self.lib.quantiles(x, [0.5, 0.25, 0.1, 0.9]), [3.0, 1.5, 1.0, 5.0])
        self.assertEqual(self.lib.quantiles([1.0, NAN, 3.0], [0.5]), [2.0])
        with LibraryOutput() as out:
            q = self.lib.quantiles([NAN, NAN], [0.5, 7.0])
        self.assertTrue(all(math.isnan(v) for v in q))
        self.assertIn("All of the observations are missing", out.text)

    def test_histogram(self):
        x = [0.0, 0.5, 2.0, 2.1, 10.0, 10.1]
        marks, tally = self.lib.histogram(x, 0.0, 10.0, 7)
        self.assertEqual(marks, [-1.0, 1.0, 3.0, 5.0, 7.0, 9.0, 11.0])
        self.assertEqual(tally, [1.0, 2.0, 1.0, 0.0, 0.0, 1.0, 1.0])

    def test_spearman(self):
        a = [1.0, 2.0, 3.0, 4.0, 5.0]
        self.assertEqual(self.lib.spearman(a, [2.0, 4.0, 6.0, 8.0, 10.0]), 1.0)
        self.assertEqual(self.lib.spearman(a, [10.0, 8.0, 6.0, 4.0, 2.0]), -1.0)
        # Ranks 1, 2, 3.5, 5, 3.5: one tie of two, DSQ = 3.5.
        rho = (1 - (6 / 120) * (3.5 + 0.5)) / math.sqrt(1 - 6 / 120)
        self.assertAlmostEqual(self.lib.spearman(a, [5.0, 6.0, 7.0, 8.0, 7.0]), rho, delta=1e-6)
        self.assertTrue(math.isnan(self.lib.spearman(a, [3.0] * 5)))
        self.assertTrue(math.isnan(self.lib.spearman([], [])))

    def test_convergence(self):
        x = [float(i) for i in range(1, 9)]
        self.assertEqual(self.lib.convergence(x, 0), 0.0)
        # The 0.9 quantile moves from 4 to 8, in sds of 1..4.
        self.assertAlmostEqual(self.lib.convergence(x, 4), 4 / math.sqrt(5 / 3), delta=1e-5)
        with LibraryOutput():
            self.assertTrue(math.isnan(self.lib.convergence(x, 7)))


class Threads(unittest.TestCase):
    def test_calls_from_several_threads_are_serialised(self):
        # The statistics edition keeps its working values in static storage;
        # the binding lets one thread in at a time, so concurrent callers get
        # the results of sequential calls.
        lib = edition("stats")
        rng = random.Random(17)
        data = [[f32(rng.uniform(0, 100)) for _ in range(20000)] for _ in range(4)]
        expected = [(lib.quantiles(d, [0.1, 0.5, 0.9]), plain(lib.stat(d)),
                     lib.spearman(d, d[::-1])) for d in data]
        failures = []

        def work(i):
            for _ in range(10):
                got = (lib.quantiles(data[i], [0.1, 0.5, 0.9]), plain(lib.stat(data[i])),
                       lib.spearman(data[i], data[i][::-1]))
                if got != expected[i]:
                    failures.append(i)
        threads = [threading.Thread(target=work, args=(i,)) for i in range(4)]
        for t in threads:
            t.start()
        for t in threads:
            t.join()
        self.assertEqual(failures, [])


class SameAsExports(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.lib = edition("stats")
        rng = random.Random(11)
        cls.x = [f32(rng.gauss(10, 3)) for _ in range(257)]
        cls.y = [f32(v * 0.5 + rng.gauss(0, 1)) for v in cls.x]

    def assertSame(self, a, b):
        self.assertEqual(len(a), len(b))
        for u, v in zip(a, b):
            self.assertTrue(same(u, v), (u, v))

    def test_each_export(self):
        lib, x, y, n = self.lib, self.x, self.y, len(self.x)
        rb, iperm = lib.sort(x)
        _, (raw_rb, raw_iperm) = raw_call(lib.path, "VELMSORT",
                                          [("h", n), ("F", x), ("F_out", n), ("H_out", n)])
        self.assertSame(rb, raw_rb)
        self.assertEqual([i + 1 for i in iperm], raw_iperm)

        props = [0.01, 0.1, 0.5, 0.77, 0.999]
        _, (raw_q,) = raw_call(lib.path, "VELMQTIL",
                               [("h", n), ("F", x), ("h", 5), ("F", props), ("F_out", 5)])
        self.assertSame(lib.quantiles(x, props), raw_q)

        _, (raw_div, raw_tally) = raw_call(
            lib.path, "VELMHIST",
            [("h", n), ("F", x), ("f", 4.0), ("f", 16.5), ("h", 9), ("F_out", 9), ("F_out", 9)])
        div, tally = lib.histogram(x, 4.0, 16.5, 9)
        self.assertSame(div, raw_div)
        self.assertSame(tally, raw_tally)

        columns = [x, y]
        flat = x + y
        _, (raw_stat,) = raw_call(lib.path, "VELMSTAT",
                                  [("h", n), ("h", 2), ("F", flat), ("h", n), ("F_out", 30)])
        stats = lib.stat([[x[i], y[i]] for i in range(n)])
        for k in range(2):
            self.assertSame([stats[k][name] for name in velmprob.STAT_NAMES[:14]],
                            raw_stat[15 * k:15 * k + 14])

        rho, _ = raw_call(lib.path, "VELMSPEAR", [("h", n), ("F", x), ("F", y)])
        self.assertTrue(same(lib.spearman(x, y), rho))

        err, _ = raw_call(lib.path, "VELMCNVERR", [("h", 40), ("h", n), ("F", x)])
        self.assertTrue(same(lib.convergence(x, 40), err))
        self.assertEqual(len(columns), 2)


@unittest.skipIf(numpy is None, "numpy is not installed")
class NumpyArrays(unittest.TestCase):
    """numpy arrays in, numpy arrays out, and the same numbers as lists."""

    @classmethod
    def setUpClass(cls):
        cls.lib = edition("stats")
        rng = numpy.random.default_rng(5)
        cls.x = rng.normal(3.0, 2.0, 300)  # float64: rounded to single on the way in
        cls.y = cls.x ** 3 + rng.normal(0, 1, 300)

    def test_same_as_lists(self):
        lib, x, y = self.lib, self.x, self.y
        xl, yl = x.tolist(), y.tolist()
        rb, order = lib.sort(x)
        self.assertIsInstance(rb, numpy.ndarray)
        self.assertEqual(rb.dtype, numpy.float32)
        self.assertEqual(lists((rb, order)), lib.sort(xl))
        q = lib.quantiles(x, numpy.array([0.2, 0.5, 0.8]))
        self.assertEqual(q.tolist(), lib.quantiles(xl, [0.2, 0.5, 0.8]))
        self.assertEqual(lists(lib.histogram(x, -1.0, 7.0, 6)), lib.histogram(xl, -1.0, 7.0, 6))
        self.assertEqual(lib.spearman(x, y), lib.spearman(xl, yl))
        self.assertEqual(lib.convergence(x, 30), lib.convergence(xl, 30))
        matrix = numpy.column_stack([x, y])
        self.assertEqual(plain(lib.stat(matrix)), plain(lib.stat(matrix.tolist())))
        self.assertEqual(plain(lib.stat(x)), plain(lib.stat(xl)))
        # A non-contiguous column and a float32 array are read correctly.
        self.assertEqual(plain(lib.stat(matrix[:, 1])), plain(lib.stat(yl)))
        self.assertEqual(lib.quantiles(x.astype(numpy.float32), [0.5]).tolist(),
                         lib.quantiles(xl, [0.5]))

    def test_refusals_read_arrays(self):
        with self.assertRaises(ValueError):
            self.lib.histogram(numpy.array([1.0, numpy.nan]), 0.0, 2.0, 3)
        with self.assertRaises(ValueError):
            self.lib.quantiles(numpy.array([1.0, 2.0]), numpy.array([0.5, 1.0]))
        with self.assertRaises(ValueError):
            self.lib.sort(numpy.zeros((2, 2)))

    def test_without_numpy(self):
        # The pure ctypes path gives the same numbers when numpy is absent.
        with_numpy = self.lib.stat(self.x.tolist())
        quantiles = self.lib.quantiles(self.x.tolist(), [0.3])
        with mock.patch.object(_arrays, "_np", None):
            self.assertEqual(plain(self.lib.stat(self.x.tolist())), plain(with_numpy))
            self.assertEqual(self.lib.quantiles(self.x.tolist(), [0.3]), quantiles)
            self.assertIsInstance(self.lib.sort([2.0, 1.0])[0], list)


if __name__ == "__main__":
    unittest.main()
