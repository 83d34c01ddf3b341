#!/usr/bin/env python3
"""Sampling from Python: ns per value of `size=` arrays from both editions,
beside numpy's Generator (PCG64) in the same run, and the cost of one array
call across the ctypes boundary.

Run by hand from the checkout after building (the library, the companion
library beside each edition, and for the per-call column build/bench/velm_bench):

    python3 bench/python_samplers.py            # size = 10**6, best of 5
    python3 bench/python_samplers.py --size 100000 --repeat 9

The per-call column is the library's own figure for one call through the
exported symbol, from velm_bench (skipped when it is not built); "ratio" is
ns per value from Python over that figure. Times are CPU time of this process
(as velm_bench reports CPU time), best of --repeat runs, so that a busy
machine inflates them less.
"""

import argparse
import json
import os
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "python"))

import velmprob  # noqa: E402

try:
    import numpy as np
except ImportError:
    np = None

# name, binding method and arguments, velm_bench entry (per edition), numpy peer
SAMPLERS = [
    ("normal(0, 1)", "normal", (0.0, 1.0), "VELMNORMAL/%s",
     lambda g, n: g.normal(0.0, 1.0, n)),
    ("lognormal(2, 0.5)", "lognormal", (2.0, 0.5), "VELMLOGNORMAL/%s",
     # numpy's parameters are those of the logarithm.
     lambda g, n: g.lognormal(0.6628349, 0.2462207, n)),
    ("beta(5, 30)", "beta", (5.0, 30.0), "VELMBETA/%s/50/300",
     lambda g, n: g.beta(5.0, 30.0, n)),
    ("triangular(0, 0.3, 2)", "triangular", (0.0, 0.3, 2.0), "VELMTRIANG/%s",
     lambda g, n: g.triangular(0.0, 0.3, 2.0, n)),
    ("geometric(0.3)", "geometric", (0.3,), "VELMGEOMETRIC/%s",
     lambda g, n: g.geometric(0.3, n)),
]


def best(fn, repeat):
    times = []
    for _ in range(repeat):
        t0 = time.process_time()
        fn()
        times.append(time.process_time() - t0)
    return min(times)


def per_call_figures():
    """ns per call of each sampler export from velm_bench, by benchmark name."""
    exe = os.path.join(ROOT, "build", "bench", "velm_bench")
    if not os.access(exe, os.X_OK):
        return {}
    done = subprocess.run(
        [exe, "--benchmark_filter=^VELM(NORMAL|LOGNORMAL|BETA|TRIANG|GEOMETRIC)/",
         "--benchmark_format=json", "--benchmark_min_time=0.2"],
        stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, check=False)
    try:
        report = json.loads(done.stdout.decode("utf-8"))
    except ValueError:
        return {}
    return {b["name"]: b["cpu_time"] for b in report.get("benchmarks", [])
            if b.get("time_unit") == "ns"}


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--size", type=int, default=10 ** 6)
    parser.add_argument("--repeat", type=int, default=5)
    parser.add_argument("--no-per-call", action="store_true",
                        help="do not run velm_bench for the per-call column")
    args = parser.parse_args()
    n = args.size

    editions = [velmprob.load(e) for e in velmprob.EDITIONS]
    for lib in editions:
        if lib.bulk is None:
            print("warning: no companion library beside %s: draws are one Python call each"
                  % lib.path)
    per_call = {} if args.no_per_call else per_call_figures()
    generator = np.random.default_rng(1234) if np is not None else None

    print("size = %d, best of %d; ns per value" % (n, args.repeat))
    print("| sampler | edition | Python size=n | library per call | ratio | numpy Generator |")
    print("|---|---|---|---|---|---|")
    for label, method, margs, bench_name, peer in SAMPLERS:
        peer_ns = None
        if generator is not None:
            peer_ns = best(lambda: peer(generator, n), args.repeat) / n * 1e9
        for lib in editions:
            lib.seed(1234)
            draw = getattr(lib, method)
            ns = best(lambda: draw(*margs, size=n), args.repeat) / n * 1e9
            call = per_call.get(bench_name % lib.edition)
            print("| %s | %s | %.1f | %s | %s | %s |" % (
                label, lib.edition, ns,
                "%.1f" % call if call else "-",
                "%.2f" % (ns / call) if call else "-",
                "%.1f" % peer_ns if peer_ns is not None else "-"))

    # One array call of one value, less the library's own call: what the
    # boundary (argument conversion, checks, the ctypes call, the result
    # array) adds per array.
    print()
    print("| overhead per array call (size=1) | edition | µs |")
    print("|---|---|---|")
    calls = 20000
    for lib in editions:
        lib.seed(1234)
        t = best(lambda: [lib.normal(0.0, 1.0, size=1) for _ in range(calls)], args.repeat)
        print("| normal(0, 1, size=1) | %s | %.2f |" % (lib.edition, t / calls * 1e6))
        if np is not None:
            out = np.empty(1, dtype=np.float32)
            t = best(lambda: [lib.normal(0.0, 1.0, out=out) for _ in range(calls)], args.repeat)
            print("| normal(0, 1, out=preallocated) | %s | %.2f |" % (lib.edition, t / calls * 1e6))


if __name__ == "__main__":
    main()
