"""Finding and loading the editions, and what an edition lacks."""

import os
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

    def test_32_bit_windows_calls_as_stdcall(self):
        # The 32-bit DLL removes its own arguments: ctypes must call it
        # through WinDLL there, through CDLL everywhere else.
        from velmprob import _library
        for platform, pointer, loader in (("win32", 4, "WinDLL"), ("win32", 8, "CDLL"),
                                          ("linux", 4, "CDLL")):
            with self.subTest(platform=platform, pointer=pointer), \
                    mock.patch.object(_library.sys, "platform", platform), \
                    mock.patch.object(_library.ctypes, "sizeof", lambda _: pointer), \
                    mock.patch.object(_library.ctypes, "WinDLL", "WinDLL", create=True), \
                    mock.patch.object(_library.ctypes, "CDLL", "CDLL"):
                self.assertEqual(_library._loader(), loader)


class OneLibraryByTwoPaths(unittest.TestCase):
    def test_streams_over_a_hard_link_and_the_file_do_not_race(self):
        # The loader maps one file once however it is named, so both
        # Libraries share the statistics edition's one stream; their draws
        # must be serialised by one lock, or each thread reseeds the stream
        # under the other's array loop.
        import threading
        path = edition("stats").path
        with tempfile.TemporaryDirectory() as tmp:
            directory = os.path.dirname(os.path.abspath(path))
            for name in (velmprob.library_file_name(), velmprob.bulk_file_name()):
                if os.path.isfile(os.path.join(directory, name)):
                    try:
                        os.link(os.path.join(directory, name), os.path.join(tmp, name))
                    except OSError as err:
                        self.skipTest("no hard link to %s: %s" % (name, err))
            libraries = [velmprob.load(path=os.path.join(tmp, velmprob.library_file_name())),
                         velmprob.load(path=path)]
            seeds = (1111, 2222)

            def draw(lib, seed, into):
                stream = velmprob.Stream(seed, library=lib)
                for _ in range(5):
                    into.extend(stream.normal(0.0, 1.0, size=40000))

            expected = []
            for lib, seed in zip(libraries, seeds):
                expected.append([])
                draw(lib, seed, expected[-1])
            got = [[], []]
            threads = [threading.Thread(target=draw, args=(lib, seed, into))
                       for lib, seed, into in zip(libraries, seeds, got)]
            for t in threads:
                t.start()
            for t in threads:
                t.join()
            self.assertEqual(len(got[0]), 200000)
            # One comparison, not a report of 200000 values.
            self.assertTrue(got == expected, "a thread's draws differ from its reference run")


class Wheel(unittest.TestCase):
    def test_wheel_bundles_both_editions(self):
        # What `pip install ./python` installs: the backend's wheel, unpacked
        # into a site directory, loads the editions it carries.
        import base64
        import hashlib
        import importlib
        import subprocess
        import sys
        import zipfile
        stats, threaded = edition("stats"), edition("threaded")
        build = os.path.dirname(os.path.dirname(os.path.abspath(stats.path)))
        if os.path.dirname(os.path.abspath(threaded.path)) != os.path.join(build, "threaded"):
            self.skipTest("the editions are not in one build tree")
        sys.path.insert(0, os.path.join(os.path.dirname(velmprob.__file__), "..", "backend"))
        try:
            backend = importlib.import_module("velmprob_build")
        finally:
            sys.path.pop(0)
        with tempfile.TemporaryDirectory() as tmp, \
                mock.patch.dict(os.environ, {"VELMPROB_BUILD_DIR": build}):
            name = backend.build_wheel(tmp)
            with zipfile.ZipFile(os.path.join(tmp, name)) as wheel:
                names = wheel.namelist()
                for line in wheel.read("velmprob-%s.dist-info/RECORD" % velmprob.__version__).decode().split():
                    path, digest, size = line.split(",")
                    if digest:
                        data = wheel.read(path)
                        expected = base64.urlsafe_b64encode(
                            hashlib.sha256(data).digest()).rstrip(b"=").decode()
                        self.assertEqual(digest, "sha256=" + expected, path)
                        self.assertEqual(int(size), len(data))
                site = os.path.join(tmp, "site")
                wheel.extractall(site)
            file_name = velmprob.library_file_name()
            for ed in ("stats", "threaded"):
                self.assertIn("velmprob/lib/%s/%s" % (ed, file_name), names)
            code = ("import sys; sys.path.insert(0, %r); import velmprob; "
                    "print(velmprob.load().path); print(velmprob.load('threaded').path)" % site)
            env = {k: v for k, v in os.environ.items()
                   if k not in velmprob.ENVIRONMENT.values()}
            done = subprocess.run([sys.executable, "-c", code], env=env,
                                  stdout=subprocess.PIPE, timeout=60)
            paths = done.stdout.decode().split()
            self.assertEqual(paths, [os.path.join(site, "velmprob", "lib", ed, file_name)
                                     for ed in ("stats", "threaded")])


if __name__ == "__main__":
    unittest.main()
