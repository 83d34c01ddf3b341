"""Arguments that make the library end the process are refused with
ValueError before the call: for every refused case a child process makes the
same call through the bare export and is ended by the library with a
TERMINAL message; neighbouring arguments that the library accepts, and that
lie in the distributions' domains, go through the binding. (Arguments the
library accepts but answers with garbage are in test_domains.)"""

import math
import unittest

from helpers import LibraryOutput, edition, f32, next_f32, raw_call_in_child

NAN = math.nan
INF = math.inf

# (method, arguments, export, raw arguments of the export)
STATS_REFUSED = [
    ("lognormal", (1.0, 0.0), "VELMLOGNORMAL", [("f", 1.0), ("f", 0.0)]),
    ("lognormal", (-2.0, 0.0), "VELMLOGNORMAL", [("f", -2.0), ("f", 0.0)]),
    # 1 + (sd / mean)^2 rounds to 1 in double precision.
    ("lognormal", (1.0, 1e-8), "VELMLOGNORMAL", [("f", 1.0), ("f", 1e-8)]),
    ("lognormal", (1e30, 1e22), "VELMLOGNORMAL", [("f", 1e30), ("f", 1e22)]),
    ("geometric", (0.0,), "VELMGEOMETRIC", [("f", 0.0)]),
    ("geometric", (-0.5,), "VELMGEOMETRIC", [("f", -0.5)]),
    ("geometric", (INF,), "VELMGEOMETRIC", [("f", INF)]),
    # Rounded to single precision this is 0.
    ("geometric", (1e-50,), "VELMGEOMETRIC", [("f", 1e-50)]),
    ("beta", (0.0, 1.0), "VELMBETA", [("f", 0.0), ("f", 1.0)]),
    ("beta", (2.0, -1.0), "VELMBETA", [("f", 2.0), ("f", -1.0)]),
    ("beta", (NAN, 2.0), "VELMBETA", [("f", NAN), ("f", 2.0)]),
    ("beta", (1e-50, 2.0), "VELMBETA", [("f", 1e-50), ("f", 2.0)]),
    ("sort", ([],), "VELMSORT", [("h", 0), ("F", []), ("F_out", 1), ("H_out", 1)]),
    ("quantiles", ([], [0.5]), "VELMQTIL",
     [("h", 0), ("F", []), ("h", 1), ("F", [0.5]), ("F_out", 1)]),
    ("quantiles", ([1.0, 2.0], []), "VELMQTIL",
     [("h", 2), ("F", [1.0, 2.0]), ("h", 0), ("F", []), ("F_out", 1)]),
    ("quantiles", ([1.0, 2.0], [0.5, 0.0]), "VELMQTIL",
     [("h", 2), ("F", [1.0, 2.0]), ("h", 2), ("F", [0.5, 0.0]), ("F_out", 2)]),
    ("quantiles", ([3.0, 1.0], [1.0]), "VELMQTIL",
     [("h", 2), ("F", [3.0, 1.0]), ("h", 1), ("F", [1.0]), ("F_out", 1)]),
    ("quantiles", ([1.0, 2.0], [NAN]), "VELMQTIL",
     [("h", 2), ("F", [1.0, 2.0]), ("h", 1), ("F", [NAN]), ("F_out", 1)]),
    ("quantiles", ([1.0, 2.0], [0.99999999]), "VELMQTIL",
     [("h", 2), ("F", [1.0, 2.0]), ("h", 1), ("F", [0.99999999]), ("F_out", 1)]),
    # A NaN before a value: the data are copied and the proportions checked.
    ("quantiles", ([NAN, 1.0], [2.0]), "VELMQTIL",
     [("h", 2), ("F", [NAN, 1.0]), ("h", 1), ("F", [2.0]), ("F_out", 1)]),
    ("histogram", ([], 0.0, 1.0, 3), "VELMHIST",
     [("h", 0), ("F", []), ("f", 0.0), ("f", 1.0), ("h", 3), ("F_out", 3), ("F_out", 3)]),
    ("histogram", ([0.5], 1.0, 1.0, 3), "VELMHIST",
     [("h", 1), ("F", [0.5]), ("f", 1.0), ("f", 1.0), ("h", 3), ("F_out", 3), ("F_out", 3)]),
    ("histogram", ([0.5], 1.0, 1.00000001, 3), "VELMHIST",
     [("h", 1), ("F", [0.5]), ("f", 1.0), ("f", 1.00000001), ("h", 3), ("F_out", 3),
      ("F_out", 3)]),
    ("histogram", ([0.5], 0.0, NAN, 3), "VELMHIST",
     [("h", 1), ("F", [0.5]), ("f", 0.0), ("f", NAN), ("h", 3), ("F_out", 3), ("F_out", 3)]),
    ("histogram", ([0.5], 0.0, 1.0, 2), "VELMHIST",
     [("h", 1), ("F", [0.5]), ("f", 0.0), ("f", 1.0), ("h", 2), ("F_out", 3), ("F_out", 3)]),
    ("histogram", ([0.5, NAN], 0.0, 1.0, 3), "VELMHIST",
     [("h", 2), ("F", [0.5, NAN]), ("f", 0.0), ("f", 1.0), ("h", 3), ("F_out", 3),
      ("F_out", 3)]),
    ("stat", ([],), "VELMSTAT",
     [("h", 0), ("h", 1), ("F", []), ("h", 0), ("F_out", 15)]),
    ("stat", ([[], []],), "VELMSTAT",
     [("h", 2), ("h", 0), ("F", []), ("h", 2), ("F_out", 15)]),
    ("convergence", ([1.0, 2.0, 3.0], -1), "VELMCNVERR",
     [("h", -1), ("h", 3), ("F", [1.0, 2.0, 3.0])]),
    ("convergence", ([1.0, 2.0, 3.0], 3), "VELMCNVERR",
     [("h", 3), ("h", 3), ("F", [1.0, 2.0, 3.0])]),
    ("convergence", ([1.0, 2.0, 3.0], 5), "VELMCNVERR",
     [("h", 5), ("h", 3), ("F", [1.0, 2.0, 3.0])]),
    ("convergence", ([], 0), "VELMCNVERR", [("h", 0), ("h", 0), ("F", [])]),
]

THREADED_REFUSED = [
    ("lognormal", (1.0, 0.0), "VELMLOGNORMAL", [("f", 1.0), ("f", 0.0)]),
    # 1 + (sd / mean)^2 rounds to 1 in single precision.
    ("lognormal", (1.0, 2.4e-4), "VELMLOGNORMAL", [("f", 1.0), ("f", 2.4e-4)]),
    ("lognormal", (-1e3, 1e-2), "VELMLOGNORMAL", [("f", -1e3), ("f", 1e-2)]),
    ("crnormal", (0.0, 0.0, 0.0, 1.0, 0.5), "VELMCRNORMAL",
     [("f", 0.0), ("f", 0.0), ("f", 0.0), ("f", 1.0), ("f", 0.5), ("F_out", 1), ("F_out", 1)]),
    ("crnormal", (0.0, -0.0, 0.0, 1.0, 0.5), "VELMCRNORMAL",
     [("f", 0.0), ("f", -0.0), ("f", 0.0), ("f", 1.0), ("f", 0.5), ("F_out", 1),
      ("F_out", 1)]),
    ("crnormal", (0.0, 0.0, 0.0, NAN, 0.5), "VELMCRNORMAL",
     [("f", 0.0), ("f", 0.0), ("f", 0.0), ("f", NAN), ("f", 0.5), ("F_out", 1), ("F_out", 1)]),
    ("crnormal", (0.0, 0.0, 0.0, INF, 0.0), "VELMCRNORMAL",
     [("f", 0.0), ("f", 0.0), ("f", 0.0), ("f", INF), ("f", 0.0), ("F_out", 1), ("F_out", 1)]),
    ("beta", (1.0, 0.0), "VELMBETA", [("f", 1.0), ("f", 0.0)]),
]

# Neighbours of the refused cases that the library accepts.
STATS_ACCEPTED = [
    ("lognormal", (1.0, 1.1e-8)),
    ("geometric", (next_f32(1.0, -1),)),
    ("geometric", (next_f32(0.0, 1) * 2 ** 30,)),
    ("beta", (next_f32(0.0, 1), 1.0)),
    ("quantiles", ([NAN, NAN], [2.0])),  # all missing: answered without a check
    ("quantiles", ([NAN], [])),
    ("quantiles", ([1.0, 2.0], [next_f32(1.0, -1), next_f32(0.0, 1)])),
    ("histogram", ([0.5], 1.0, next_f32(1.0, 1), 3)),
    ("histogram", ([INF, -INF], 0.0, 1.0, 3)),
    ("stat", ([NAN],)),
    ("convergence", ([1.0, 2.0, 3.0], 2)),
    ("convergence", ([1.0], 0)),
    ("spearman", ([], [])),
]

THREADED_ACCEPTED = [
    ("lognormal", (1.0, 2.5e-4)),
    ("crnormal", (0.0, 0.0, 0.0, 1.0, 0.0)),
    ("crnormal", (0.0, 0.0, 0.0, 1e-30, 1e-30)),  # rho * sd2 underflows to 0
    ("yesno", (0.0,)),
    ("yesno", (1.0,)),
]


class Refusals(unittest.TestCase):
    def check(self, lib, refused, accepted):
        for method, args, export, raw in refused:
            with self.subTest(method=method, args=args):
                with self.assertRaises(ValueError):
                    getattr(lib, method)(*args)
                status, out = raw_call_in_child(lib.path, export, raw)
                self.assertEqual(status, 1, out)
                self.assertIn("*** TERMINAL ERROR", out)
                self.assertNotIn("RETURNED", out)
        for method, args in accepted:
            with self.subTest(method=method, args=args), LibraryOutput():
                getattr(lib, method)(*args)

    def test_statistics_edition(self):
        self.check(edition("stats"), STATS_REFUSED, STATS_ACCEPTED)

    def test_threaded_edition(self):
        self.check(edition("threaded"), THREADED_REFUSED, THREADED_ACCEPTED)

    def test_counts_beyond_sixteen_bits(self):
        # 32768 would wrap round to -32768 (and 65537 to 1) at the export.
        lib = edition("stats")
        big = [1.0] * 32768
        for call in (lambda: lib.sort(big), lambda: lib.quantiles(big, [0.5]),
                     lambda: lib.quantiles([1.0], [0.5] * 32768),
                     lambda: lib.histogram(big, 0.0, 2.0, 3),
                     lambda: lib.histogram([1.0], 0.0, 2.0, 32768),
                     lambda: lib.stat(big), lambda: lib.spearman(big, big),
                     lambda: lib.convergence(big, 1)):
            with self.assertRaises(ValueError):
                call()
        self.assertEqual(len(lib.sort(big[:-1])[0]), 32767)

    def test_shapes_and_types(self):
        lib = edition("stats")
        with self.assertRaises(ValueError):
            lib.spearman([1.0, 2.0], [1.0])
        with self.assertRaises(ValueError):
            lib.stat([[1.0, 2.0], [3.0]])
        with self.assertRaises(ValueError):
            lib.seed(2 ** 31)
        with self.assertRaises(TypeError):
            lib.seed(1.5)
        with self.assertRaises(TypeError):
            lib.histogram([1.0], 0.0, 2.0, 3.0)
        with self.assertRaises(TypeError):
            lib.uniform("a", 1.0)
        with self.assertRaises(ValueError):
            lib.uniform(size=-1)
        # An integer beyond the double range arrives as an infinity, which
        # is refused.
        with self.assertRaisesRegex(ValueError, "not finite"):
            lib.normal(-10 ** 400, 0.0)

    def test_single_precision_boundaries(self):
        # The checks are made on what the library receives.
        self.assertEqual(f32(0.99999999), 1.0)
        self.assertEqual(f32(1e-50), 0.0)
        self.assertEqual(f32(1.00000001), 1.0)


if __name__ == "__main__":
    unittest.main()
