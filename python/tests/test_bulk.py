"""Arrays of draws (size=, out=) and Stream objects: the same variates, and
the same end of the stream, as one call at a time."""

import os
import threading
import unittest
from unittest import mock

from helpers import as_list, edition, have_numpy
import velmprob

EDITIONS = ("stats", "threaded")

# Every sampler, and beta in each region its export reaches: both shapes below
# 1 (and below 1/2), one of them 1, one below and one above 1 (either way
# round), both above 1.
CASES = [
    ("uniform", (-1.5, 2.1)),
    ("normal", (0.1, 3.3)),
    ("lognormal", (2.2, 0.7)),
    ("geometric", (0.05,)),
    ("geometric", (0.9,)),
    ("triangular", (1.0, 1.7, 4.0)),
    ("beta", (0.5, 0.5)),
    ("beta", (0.2, 0.3)),
    ("beta", (1.0, 2.5)),
    ("beta", (0.5, 3.0)),
    ("beta", (3.0, 0.5)),
    ("beta", (3.0, 3.0)),
    ("beta", (5.0, 30.0)),
]
THREADED_ONLY = [("yesno", (0.37,)), ("crnormal", (1.0, 2.0, 3.0, 4.0, -0.3))]
N = 1500


def cases(name):
    return CASES + (THREADED_ONLY if name == "threaded" else [])


class SameAsSingleCalls(unittest.TestCase):
    def test_every_sampler_both_editions(self):
        for name in EDITIONS:
            lib = edition(name)
            self.assertIsNotNone(lib.bulk, "no companion library beside %s" % lib.path)
            for method, args in cases(name):
                with self.subTest(edition=name, method=method, args=args):
                    draw = getattr(lib, method)
                    lib.seed(777)
                    single = [draw(*args) for _ in range(N)]
                    end = lib.get_seed()
                    lib.seed(777)
                    got = draw(*args, size=N)
                    self.assertEqual(lib.get_seed(), end)
                    self.assertEqual(as_list(got), single)
                    if have_numpy():
                        integer = method in ("geometric", "yesno")
                        self.assertEqual(got.dtype.name, "int32" if integer else "float32")

    def test_calls_from_python_when_there_is_no_companion(self):
        with mock.patch.dict(os.environ, {"VELMPROB_BULK": "0"}):
            lib = edition("threaded")
        self.assertIsNone(lib.bulk)
        for method, args in (("beta", (0.5, 3.0)), ("geometric", (0.3,)),
                             ("crnormal", (0.0, 1.0, 0.0, 1.0, 0.5))):
            draw = getattr(lib, method)
            lib.seed(31)
            single = [draw(*args) for _ in range(50)]
            lib.seed(31)
            self.assertEqual(as_list(draw(*args, size=50)), single)

    def test_sizes(self):
        lib = edition("threaded")
        self.assertEqual(len(lib.normal(size=0)), 0)
        with self.assertRaises(ValueError):
            lib.normal(size=-1)
        with self.assertRaises(TypeError):
            lib.normal(size=2.0)
        if have_numpy():
            lib.seed(5)
            flat = lib.beta(0.5, 3.0, size=12)
            lib.seed(5)
            grid = lib.beta(0.5, 3.0, size=(3, 4))
            self.assertEqual(grid.shape, (3, 4))
            self.assertEqual(grid.ravel().tolist(), flat.tolist())
            self.assertEqual(lib.crnormal(0, 1, 0, 1, 0.5, size=(2, 3)).shape, (2, 3, 2))
        else:
            with self.assertRaises(TypeError):
                lib.normal(size=(3, 4))


@unittest.skipUnless(have_numpy(), "numpy is not installed")
class OutArrays(unittest.TestCase):
    def test_out_is_filled_in_place(self):
        import numpy as np
        lib = edition("stats")
        out = np.zeros(100, dtype=np.float32)
        lib.seed(9)
        self.assertIs(lib.normal(1.0, 2.0, out=out), out)
        lib.seed(9)
        self.assertEqual(out.tolist(), lib.normal(1.0, 2.0, size=100).tolist())
        pairs = np.zeros((10, 2), dtype=np.float32)
        self.assertIs(edition("threaded").crnormal(0, 1, 0, 1, 0.1, size=10, out=pairs), pairs)

    def test_refused_out_writes_nothing_and_draws_nothing(self):
        import numpy as np
        lib = edition("threaded")
        bad = [
            (TypeError, "normal", np.zeros(8, dtype=np.float64), None),
            (TypeError, "normal", np.zeros(8, dtype=">f4"), None),
            (TypeError, "geometric", np.zeros(8, dtype=np.float32), None),
            (TypeError, "normal", [0.0] * 8, None),
            (ValueError, "normal", np.zeros(8, dtype=np.float32), 9),
            (ValueError, "normal", np.zeros((4, 2), dtype=np.float32), 8),
            (ValueError, "normal", np.zeros(16, dtype=np.float32)[::2], None),
            (ValueError, "normal", np.zeros((8, 2), dtype=np.float32, order="F"), None),
            (ValueError, "crnormal", np.zeros(8, dtype=np.float32), None),
            (ValueError, "crnormal", np.zeros((8, 2), dtype=np.float32), 4),
        ]
        readonly = np.zeros(8, dtype=np.float32)
        readonly.flags.writeable = False
        bad.append((ValueError, "normal", readonly, None))
        args = {"normal": (0.0, 1.0), "geometric": (0.5,), "crnormal": (0, 1, 0, 1, 0.5)}
        for error, method, out, size in bad:
            with self.subTest(method=method, out=getattr(out, "dtype", type(out)), size=size):
                before = out.copy()
                lib.seed(123)
                with self.assertRaises(error):
                    getattr(lib, method)(*args[method], size=size, out=out)
                self.assertEqual(lib.get_seed(), 123)
                self.assertEqual(np.asarray(out).tobytes(), np.asarray(before).tobytes())


class Threads(unittest.TestCase):
    def test_four_threads_each_with_its_own_seed(self):
        lib = edition("threaded")
        seeds = [11, 222, 3333, 44444]
        results = {}
        start = threading.Barrier(len(seeds))

        def work(seed):
            start.wait()
            lib.seed(seed)
            chunks = [as_list(lib.normal(0.0, 1.0, size=20000)) for _ in range(5)]
            chunks.append(as_list(lib.beta(5.0, 30.0, size=20000)))
            results[seed] = (chunks, lib.get_seed())

        threads = [threading.Thread(target=work, args=(s,)) for s in seeds]
        for t in threads:
            t.start()
        for t in threads:
            t.join()
        for seed in seeds:
            lib.seed(seed)
            normals = as_list(lib.normal(0.0, 1.0, size=100000))
            expected = [normals[i:i + 20000] for i in range(0, 100000, 20000)]
            expected.append(as_list(lib.beta(5.0, 30.0, size=20000)))
            # One comparison, not assertEqual's element-wise report of a
            # difference in 120000 values.
            self.assertTrue(results[seed] == (expected, lib.get_seed()), "seed %d" % seed)


class Streams(unittest.TestCase):
    def test_interleaved_streams_keep_their_own_positions(self):
        for name in EDITIONS:
            with self.subTest(edition=name):
                lib = edition(name)
                a = velmprob.Stream(1234, library=lib)
                b = velmprob.Stream(98765, library=lib)
                got_a = as_list(a.normal(1.0, 2.0, size=100)) + as_list(a.beta(2.0, 3.0, size=7))
                got_b = as_list(b.normal(1.0, 2.0, size=100))
                got_a.append(a.uniform(3.0, 4.0))
                got_b += as_list(b.geometric(0.25, size=30))
                lib.seed(1234)
                self.assertEqual(got_a, as_list(lib.normal(1.0, 2.0, size=100))
                                 + as_list(lib.beta(2.0, 3.0, size=7)) + [lib.uniform(3.0, 4.0)])
                self.assertEqual(a.get_seed(), lib.get_seed())
                lib.seed(98765)
                self.assertEqual(got_b, as_list(lib.normal(1.0, 2.0, size=100))
                                 + as_list(lib.geometric(0.25, size=30)))
                self.assertEqual((a.seed, b.get_seed()), (1234, lib.get_seed()))

    def test_seeds_and_editions(self):
        with self.assertRaises(ValueError):
            velmprob.Stream(2147483647, library=edition("threaded"))
        with self.assertRaises(ValueError):
            velmprob.Stream(-1, library=edition("threaded"))
        clock = velmprob.Stream(None, library=edition("threaded"))
        self.assertTrue(1 <= clock.seed <= 2147483646)
        s = velmprob.Stream(5, library=edition("stats"))
        with self.assertRaises(velmprob.EditionError):
            s.yesno(0.5)
        # A refused argument draws nothing.
        with self.assertRaises(ValueError):
            s.beta(0.0, 1.0, size=10)
        self.assertEqual(s.get_seed(), 5)


@unittest.skipUnless(have_numpy(), "numpy is not installed")
class StatisticsInputs(unittest.TestCase):
    def test_contiguous_float32_is_passed_where_it_lies(self):
        import array
        import numpy as np
        from velmprob import _arrays
        x = np.arange(1, 101, dtype=np.float32)
        self.assertEqual(_arrays.vector(x, "x").address_of(), x.ctypes.data)
        m = np.asfortranarray(np.arange(12, dtype=np.float32).reshape(4, 3))
        self.assertEqual(_arrays.matrix(m, "m")[0].address_of(), m.ctypes.data)
        lib = edition("stats")
        self.assertEqual(lib.stat(array.array("f", [1, 2, 3, 4, 5]))["mean"], 3.0)
        self.assertEqual(lib.stat(memoryview(array.array("d", [1, 2, 3])))["mean"], 2.0)


if __name__ == "__main__":
    unittest.main()
