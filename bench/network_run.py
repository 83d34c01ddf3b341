#!/usr/bin/env python3
"""A whole velmsim run of a generated schedule: 1,000 tasks, 2,500 links of
all four types with lags, 50 risks, costs, a calendar; 32,767 iterations and
the full report, with one and with two threads. Prints each wall time and
whether the two reports agree (they must, but for the thread count).

    python3 bench/network_run.py build/velmsim
"""
import os
import random
import subprocess
import sys
import tempfile
import time

TASKS, LINKS, RISKS = 1000, 2500, 50
TYPES = ["FS", "SS", "FF", "SF"]


def model_text(seed=5):
    """The generated model: links only to up to 40 tasks before, so no cycle."""
    rng = random.Random(seed)
    links = [[] for _ in range(TASKS)]
    for k in range(LINKS):
        t = rng.randrange(1, TASKS)
        links[t].append((rng.randrange(max(0, t - 40), t), TYPES[k % 4], rng.randint(-2, 4)))
    lines = ['[model]', f'name = "Generated network: {TASKS} tasks, {LINKS} links, {RISKS} risks"',
             'currency = "USD"', '', '[schedule]', 'start = 2027-01-04', 'target = 560',
             'budget = 9e7', '', '[tasks]']
    for t in range(TASKS):
        after = ", ".join(f'{{ task = "t{p}", type = "{ty}", lag = {lag} }}' for p, ty, lag in links[t])
        low = rng.randint(2, 10)
        mode = low + rng.randint(0, 5)
        high = mode + rng.randint(1, 10)
        maybe = ", p = 0.9" if t % 50 == 7 else ""
        lines.append(f't{t} = {{ duration = {{ dist = "triangular", low = {low}, mode = {mode}, '
                     f'high = {high} }}, after = [{after}], cost = {{ per_day = 1000 }}{maybe} }}')
    lines += ["", "[risks]"]
    for r in range(RISKS):
        hit = ", ".join(f'"t{rng.randrange(TASKS)}"' for _ in range(3))
        lines.append(f'r{r} = {{ p = {rng.choice([0.05, 0.1, 0.2, 0.3])}, tasks = [{hit}], '
                     f'delay = {{ dist = "uniform", min = 1, max = 8 }}, cost = 5e4 }}')
    lines += ["", "[run]", "iterations = 32767", "tolerance = 1e-9", ""]
    return "\n".join(lines)


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    velmsim = os.path.abspath(sys.argv[1])
    with tempfile.TemporaryDirectory(prefix="velm-network-") as work:
        model = os.path.join(work, "network.toml")
        with open(model, "w") as f:
            f.write(model_text())
        reports = {}
        for threads in (1, 2):
            start = time.perf_counter()
            done = subprocess.run([velmsim, model, "--threads", str(threads)], check=True,
                                  capture_output=True, text=True)
            print(f"{threads} thread{'s' if threads > 1 else ''}: {time.perf_counter() - start:.2f} s")
            reports[threads] = [l for l in done.stdout.splitlines() if not l.startswith("threads:")]
        print("reports agree" if reports[1] == reports[2] else "REPORTS DIFFER")


if __name__ == "__main__":
    main()
