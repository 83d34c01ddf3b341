"""velmprob.sim against the velmsim command: the same samples and the same
report for every example, every located error of a broken model, options
refused, a dict model, and Ctrl-C within a run."""

import _thread
import csv
import glob
import json
import os
import subprocess
import tempfile
import threading
import time
import unittest

import helpers  # noqa: F401  (puts python/ on the path)
import velmprob
import velmprob.sim as sim

ROOT = os.path.dirname(os.path.dirname(helpers.HERE))
EXAMPLES = sorted(glob.glob(os.path.join(ROOT, "examples", "*.toml")))
COMMAND = os.environ.get("VELMSIM_COMMAND")


def api_or_skip():
    try:
        sim._load_api()
    except velmprob.LibraryNotFoundError as err:
        raise unittest.SkipTest(str(err))


def column(samples, name):
    return [float(x) for x in samples[name]]


class SimAgreesWithTheCommand(unittest.TestCase):
    def setUp(self):
        api_or_skip()
        if not COMMAND:
            self.skipTest("VELMSIM_COMMAND names no velmsim command")

    def test_every_example(self):
        options = dict(seed=4242, iterations=1000, block=250, tolerance=1e-9)
        for model in EXAMPLES:
            with self.subTest(model=os.path.basename(model)), tempfile.TemporaryDirectory() as tmp:
                subprocess.run([COMMAND, model, "--seed", "4242", "--iterations", "1000",
                                "--block", "250", "--tolerance", "1e-9",
                                "--csv", os.path.join(tmp, "r.csv"),
                                "--json", os.path.join(tmp, "r.json")],
                               check=True, stdout=subprocess.DEVNULL)
                r = sim.run(model, **options)
                with open(os.path.join(tmp, "r.csv"), newline="") as f:
                    rows = list(csv.reader(f))
                # 9 significant digits: the same single-precision numbers.
                header = rows[0][1:]
                values = [[helpers.f32(float(x)) for x in row[1:]] for row in rows[1:]]
                self.assertEqual(header, list(r.samples.keys()))
                for k, name in enumerate(header):
                    self.assertEqual(column(r.samples, name), [row[k] for row in values], name)
                with open(os.path.join(tmp, "r.json")) as f:
                    self.assertEqual(r.report, json.load(f))
                self.assertEqual(r.text().splitlines()[0].split(":")[0], "velmsim %s"
                                 % r.report["velmsim"])


class SimRefuses(unittest.TestCase):
    def setUp(self):
        api_or_skip()

    def test_every_located_error_of_a_model(self):
        text = ('[inputs]\na = { dist = "normal", mean = 1 }\n'
                'b = { dist = "uniform", min = 3, max = 2 }\n[outputs]\ny = "a + c"\n')
        with self.assertRaises(sim.ModelError) as caught:
            sim.run(text)
        e = caught.exception
        self.assertEqual([(d.line, d.column) for d in e.errors], [(2, 1), (3, 40), (5, 10)])
        self.assertIn("input 'a' needs 'sd' for a normal distribution", e.errors[0].message)
        self.assertTrue(str(e).startswith("model.toml:2:1: error: input 'a' needs 'sd'"))
        self.assertIn("\n^\n", str(e) + "\n")

    def test_a_run_that_fails_is_located(self):
        with self.assertRaises(sim.ModelError) as caught:
            sim.run('[inputs]\na = { dist = "uniform", min = -1, max = 1 }\n'
                    '[outputs]\ny = "sqrt(a)"\n')
        self.assertIn("is not a finite single-precision number in iteration",
                      caught.exception.errors[0].message)

    def test_options(self):
        model = EXAMPLES[0]
        for options, message in [
                (dict(iterations=40000), "iterations must be a whole number from 2 to 32767"),
                (dict(tornado=0), "tornado must be a whole number from 1"),
                (dict(sampler="fast"), 'sampler must be "threaded" or "stats"'),
                (dict(threads=2, one_stream=True), "one_stream draws in one thread")]:
            with self.subTest(options=options), self.assertRaises(sim.OptionError) as caught:
                sim.run(model, **options)
            self.assertIn(message, str(caught.exception))
        with self.assertRaises(TypeError):
            sim.run(model, iterations="100")
        with self.assertRaises(FileNotFoundError):
            sim.run("no-such-model.toml")


class SimModels(unittest.TestCase):
    def setUp(self):
        api_or_skip()

    def test_a_dict_is_the_model_it_writes(self):
        try:
            import tomli_w  # noqa: F401
        except ImportError:
            self.skipTest("tomli_w is not installed")
        model = {"inputs": {"a": {"dist": "triangular", "low": 1, "mode": 2, "high": 4}},
                 "outputs": {"y": "2 * a"}}
        text = '[inputs]\na = { dist = "triangular", low = 1, mode = 2, high = 4 }\n' \
               '[outputs]\ny = "2 * a"\n'
        a, b = sim.run(model, iterations=500), sim.run(text, iterations=500)
        self.assertEqual(column(a.samples, "y"), column(b.samples, "y"))
        self.assertEqual(a.percentile("y", 50), a.summary["y"]["p50"])

    def test_ctrl_c_stops_a_run_within_a_block(self):
        inputs = "".join('x%d = { dist = "normal", mean = 1, sd = 1 }\n' % i for i in range(2000))
        text = "[inputs]\n" + inputs + '[outputs]\ny = "x0 + x1"\n[run]\niterations = 32767\n' \
               "tolerance = 1e-9\nblock = 100\n"
        threads = threading.active_count()
        timer = threading.Timer(0.2, _thread.interrupt_main)
        start = time.monotonic()
        timer.start()
        with self.assertRaises(KeyboardInterrupt):
            sim.run(text)
        timer.join()
        self.assertLess(time.monotonic() - start, 10)
        # The run has ended: it would otherwise go on using the library.
        self.assertEqual(threading.active_count(), threads)


if __name__ == "__main__":
    unittest.main()
