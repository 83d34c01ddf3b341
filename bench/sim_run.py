#!/usr/bin/env python3
"""velmprob.sim beside the velmsim command: examples/warehouse.toml at 32,767
iterations (the tolerance set so that every iteration runs), run by the
`velmsim MODEL` command (its text report) and by `sim.run(MODEL)`, with its
samples built as a DataFrame (the CSV's columns) and its JSON report read. The best of five
runs of each, alternated. The aim: sim.run within 1.2 x the command.

    PYTHONPATH=python python3 bench/sim_run.py build/velmsim
"""
import os
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "python"))
import velmprob.sim as sim  # noqa: E402

MODEL = os.path.join(ROOT, "examples", "warehouse.toml")
OPTIONS = ["--iterations", "32767", "--tolerance", "1e-9"]


def main():
    command = sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "build", "velmsim")
    best = {"command": float("inf"), "sim.run": float("inf")}
    for _ in range(5):
        start = time.perf_counter()
        subprocess.run([command, MODEL, *OPTIONS], check=True, stdout=subprocess.DEVNULL)
        best["command"] = min(best["command"], time.perf_counter() - start)
        start = time.perf_counter()
        r = sim.run(MODEL, iterations=32767, tolerance=1e-9)
        assert len(r.samples) == 32767 and r.summary["cost"]["p80"] > 0
        best["sim.run"] = min(best["sim.run"], time.perf_counter() - start)
    for name, seconds in best.items():
        print("%-10s %.3f s" % (name, seconds))
    print("sim.run / command: %.2f (aim: at most 1.2)" % (best["sim.run"] / best["command"]))


if __name__ == "__main__":
    main()
