"""Finding and loading the editions, and what an edition lacks."""

import os
import shutil
import tempfile
import unittest
from unittest import mock

from helpers import edition
import velmprob

STATS_ONLY = {"sort": ([1.0],), "quantiles": ([1.0], [0.5]),
              "histogram": ([1.0], 0.0, 1.0, 3), "stat": ([1.0, 2.0],),
              "spearman": ([1.0], [1.0]), "convergence": ([1.0, 2.0], 1)}
THREADED_ONLY = {"crnormal": (0.0, 1.0, 0.0, 1.0, 0.5), "yesno": (0.5,)}


class Loading(unittest.TestCase):
    def test_editions_and_their_methods(self):
        stats, threaded = edition("stats"), edition("threaded")
        self.assertEqual((stats.edition, threaded.edition), ("stats", "threaded"))
        self.assertEqual(len(stats.exports), 14)
        self.assertEqual(len(threaded.exports), 10)
        for lib, lacking in ((stats, THREADED_ONLY), (threaded, STATS_ONLY)):
            for method, args in lacking.items():
                with self.subTest(edition=lib.edition, method=method):
                    self.assertFalse(lib.has(method))
                    with self.assertRaises(velmprob.EditionError) as caught:
                        getattr(lib, method)(*args)
                    self.assertIn("VELM", str(caught.exception))
                    self.assertIsInstance(caught.exception, NotImplementedError)
        self.assertTrue(stats.has("stat") and threaded.has("crnormal"))

    def test_path_tells_the_edition(self):
        stats, threaded = edition("stats"), edition("threaded")
        self.assertEqual(velmprob.load(path=stats.path).edition, "stats")
        self.assertEqual(velmprob.load(path=threaded.path).edition, "threaded")
        with self.assertRaises(velmprob.LibraryNotFoundError):
            velmprob.load("stats", path=threaded.path)
        with self.assertRaises(ValueError):
            velmprob.load("both")

    def test_two_editions_keep_separate_streams(self):
        stats, threaded = edition("stats"), edition("threaded")
        stats.seed(100)
        threaded.seed(200)
        stats.uniform()
        self.assertEqual(threaded.get_seed(), 200)

    def test_environment_and_missing_files(self):
        stats = edition("stats")
        with mock.patch.dict(os.environ, {"VELMPROB_LIBRARY": stats.path}):
            self.assertEqual(velmprob.candidates("stats")[0], stats.path)
            self.assertEqual(velmprob.load().path, stats.path)
        missing = os.path.join(tempfile.gettempdir(), "no-such-velmprob.so")
        with self.assertRaises(velmprob.LibraryNotFoundError):
            velmprob.load(path=missing)
        # A variable that names no file is an error, not a reason to look on.
        with mock.patch.dict(os.environ, {"VELMPROB_THREADED_LIBRARY": missing}):
            with self.assertRaises(velmprob.LibraryNotFoundError):
                velmprob.load("threaded")
        with tempfile.TemporaryDirectory() as tmp:
            # A file that is a shared library but not velmprob.
            other = os.path.join(tmp, "other.so")
            with open(other, "wb") as f:
                f.write(b"not a library")
            with self.assertRaises(velmprob.LibraryNotFoundError):
                velmprob.load(path=other)

    def test_copy_next_to_the_package(self):
        # An installed package finds the editions in its lib/ folder first
        # (after the environment).
        stats = edition("stats")
        with tempfile.TemporaryDirectory() as tmp:
            pkg = os.path.join(tmp, "velmprob")
            shutil.copytree(os.path.dirname(velmprob.__file__), pkg,
                            ignore=shutil.ignore_patterns("__pycache__", "lib", "_origin.py"))
            target = os.path.join(pkg, "lib", "stats", velmprob.library_file_name())
            os.makedirs(os.path.dirname(target))
            shutil.copy(stats.path, target)
            code = ("import sys; sys.path.insert(0, %r); import velmprob; "
                    "print(velmprob.load().path)" % tmp)
            env = {k: v for k, v in os.environ.items()
                   if k not in velmprob.ENVIRONMENT.values()}
            import subprocess
            import sys
            done = subprocess.run([sys.executable, "-c", code], env=env,
                                  stdout=subprocess.PIPE, timeout=60)
            self.assertEqual(done.stdout.decode().strip(), target)


if __name__ == "__main__":
    unittest.main()
