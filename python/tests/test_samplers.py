"""Seed, uniform and the samplers through the binding: values against a model
of the stream built from its definition, and the binding's results against
bare calls of the exports after the same seed."""

import math
import threading
import unittest

from helpers import Stream, as_list, edition, f32, raw_call

EDITIONS = ("stats", "threaded")


class Stream12345(unittest.TestCase):
    def test_states_and_uniforms(self):
        for name in EDITIONS:
            lib = edition(name)
            with self.subTest(edition=name):
                lib.seed(12345)
                states = []
                for _ in range(3):
                    lib.uniform()
                    states.append(lib.get_seed())
                self.assertEqual(states, [207482415, 1790989824, 2035175616])
                model = Stream(12345)
                lib.seed(12345)
                got = as_list(lib.uniform(size=1000))
                self.assertEqual(got, [model.uniform() for _ in range(1000)])
                self.assertEqual(lib.get_seed(), model.x)

    def test_seed_one_after_ten_thousand_draws(self):
        lib = edition("stats")
        lib.seed(1)
        first = lib.uniform(size=3)
        self.assertAlmostEqual(first[0], 7.826368e-6, delta=1e-12)
        self.assertAlmostEqual(first[1], 0.13153778, delta=1e-8)
        self.assertAlmostEqual(first[2], 0.75560528, delta=1e-8)
        lib.uniform(size=9997)
        self.assertEqual(lib.get_seed(), 1043618065)

    def test_uniform_bounds_and_ignored_seeds(self):
        lib = edition("stats")
        lib.seed(777)
        model = Stream(777)
        u = model.uniform()
        self.assertEqual(lib.uniform(-2.5, 7.25), f32(-2.5 + f32(f32(7.25 + 2.5) * u)))
        # Out-of-range seeds are ignored: the sequence carries on.
        lib.seed(2147483647)
        lib.seed(-5)
        self.assertEqual(lib.uniform(), model.uniform())
        self.assertEqual(lib.uniform(5.0, 5.0), 5.0)
        lib.seed(2147483646)
        self.assertEqual(lib.get_seed(), 2147483646)


class SamplerValues(unittest.TestCase):
    """Results that follow from the stream and the sampler's definition."""

    def test_geometric_and_yesno_follow_the_next_uniform(self):
        for name in EDITIONS:
            lib = edition(name)
            with self.subTest(edition=name):
                lib.seed(4242)
                model = Stream(4242)
                for _ in range(300):
                    u = model.uniform()
                    k = lib.geometric(0.3)
                    exact = math.log(u) / math.log(0.7) + 1
                    if abs(exact - round(exact)) > 1e-4:
                        self.assertEqual(k, int(exact))
        lib = edition("threaded")
        for p in (0.3, 0.7):
            lib.seed(99)
            model = Stream(99)
            for _ in range(300):
                u = model.uniform()
                yes = u > f32(1 - f32(p)) if p <= 0.5 else u <= f32(p)
                self.assertEqual(lib.yesno(p), int(yes))
        # No draw at all for p = 0 and p = 1.
        lib.seed(99)
        self.assertEqual([lib.yesno(0.0), lib.yesno(1.0)], [0, 1])
        self.assertEqual(lib.get_seed(), 99)

    def test_triangular_and_beta_by_inversion(self):
        threaded = edition("threaded")
        threaded.seed(31)
        model = Stream(31)
        for _ in range(200):
            self.assertEqual(threaded.triangular(0.0, 1.0, 1.0), f32(math.sqrt(model.uniform())))
        for name in EDITIONS:
            lib = edition(name)
            lib.seed(31)
            model = Stream(31)
            for _ in range(200):
                u = model.uniform()
                self.assertEqual(lib.beta(1.0, 1.0), max(u, 2.0 ** -24))
            lib.seed(31)
            model = Stream(31)
            for _ in range(200):
                self.assertAlmostEqual(lib.beta(1.0, 2.0), 1 - math.sqrt(model.uniform()),
                                       delta=2e-7)

    def test_normal_lognormal_and_pairs(self):
        for name in EDITIONS:
            lib = edition(name)
            with self.subTest(edition=name):
                lib.seed(5)
                z = as_list(lib.normal(size=50))
                lib.seed(5)
                self.assertEqual(as_list(lib.normal(2.0, 0.0, size=50)), [2.0] * 50)
                lib.seed(5)
                # Lognormal with mean m and sd s: exp(xm + S z) with
                # S^2 = ln(1 + (s/m)^2), xm = ln m - S^2 / 2.
                v = math.log(1 + (0.5 / 2.0) ** 2)
                for zi, x in zip(z, as_list(lib.lognormal(2.0, 0.5, size=50))):
                    self.assertAlmostEqual(x, math.exp(math.log(2.0) - v / 2 + math.sqrt(v) * zi),
                                           delta=2e-6 * x)
        lib = edition("threaded")
        lib.seed(6)
        z = as_list(lib.normal(size=40))
        lib.seed(6)
        pairs = as_list(lib.crnormal(1.0, 2.0, -1.0, 3.0, 0.6, size=20))
        for (x1, x2), z1, z2 in zip(pairs, z[0::2], z[1::2]):
            self.assertAlmostEqual(x1, 1.0 + 2.0 * z1, delta=1e-5)
            self.assertAlmostEqual(x2, -1.0 + 0.6 * 3.0 * z1 + 3.0 * math.sqrt(1 - 0.36) * z2,
                                   delta=1e-5)

    def test_threads_have_their_own_streams(self):
        lib = edition("threaded")
        results = {}

        def draw(tag, seed):
            lib.seed(seed)
            results[tag] = as_list(lib.uniform(size=500))
        threads = [threading.Thread(target=draw, args=(i, 12345 if i < 2 else 777))
                   for i in range(3)]
        for t in threads:
            t.start()
        for t in threads:
            t.join()
        model = Stream(12345)
        expected = [model.uniform() for _ in range(500)]
        self.assertEqual(results[0], expected)
        self.assertEqual(results[1], expected)
        self.assertNotEqual(results[2], expected)


class SameAsExports(unittest.TestCase):
    """The binding passes the arguments, in order and rounded as the exports
    read them, and returns what the exports return."""

    CASES = [
        ("uniform", (-1.5, 2.1), "VELMUNIFORM", [("f", -1.5), ("f", 2.1)]),
        ("normal", (0.1, 3.3), "VELMNORMAL", [("f", 0.1), ("f", 3.3)]),
        ("lognormal", (2.2, 0.7), "VELMLOGNORMAL", [("f", 2.2), ("f", 0.7)]),
        ("geometric", (0.05,), "VELMGEOMETRIC", [("f", 0.05)]),
        ("triangular", (1.0, 1.7, 4.0), "VELMTRIANG", [("f", 1.0), ("f", 1.7), ("f", 4.0)]),
        ("beta", (0.4, 2.5), "VELMBETA", [("f", 0.4), ("f", 2.5)]),
        ("beta", (2.5, 3.5), "VELMBETA", [("f", 2.5), ("f", 3.5)]),
        ("beta", (0.3, 0.2), "VELMBETA", [("f", 0.3), ("f", 0.2)]),
    ]
    THREADED_ONLY = [
        ("yesno", (0.37,), "VELMYESNO", [("f", 0.37)]),
    ]

    def test_samplers(self):
        for name in EDITIONS:
            lib = edition(name)
            cases = self.CASES + (self.THREADED_ONLY if name == "threaded" else [])
            for method, args, export, raw in cases:
                with self.subTest(edition=name, method=method, args=args):
                    lib.seed(2024)
                    ours = [getattr(lib, method)(*args) for _ in range(100)]
                    lib.seed(2024)
                    bare = [raw_call(lib.path, export, raw)[0] for _ in range(100)]
                    self.assertEqual(ours, bare)

    def test_crnormal(self):
        lib = edition("threaded")
        lib.seed(8)
        ours = as_list(lib.crnormal(1.0, 2.0, 3.0, 4.0, -0.3, size=50))
        lib.seed(8)
        raw = [("f", 1.0), ("f", 2.0), ("f", 3.0), ("f", 4.0), ("f", -0.3),
               ("F_out", 1), ("F_out", 1)]
        bare = []
        for _ in range(50):
            result, (out1, out2) = raw_call(lib.path, "VELMCRNORMAL", raw)
            self.assertEqual(result, -1)
            bare.append((out1[0], out2[0]))
        self.assertEqual(ours, bare)


if __name__ == "__main__":
    unittest.main()
