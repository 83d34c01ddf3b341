#!/usr/bin/env python3
"""velmsim against numpy/scipy on wide models: wall time and peak memory.

For each width N this writes a model with N inputs x0 .. x{N-1} (cycling
triangular(1, 2, 4), normal(3, 0.5) and uniform(1, 5)) and one output
`total`, their sum, and runs one after another, each as a child process:

- velmsim on the model with --threads 1, then with --threads 2 (report to
  /dev/null; the tolerance is set so low that every run goes to the
  iteration limit);
- bench/wide_numpy.py, the same work written as an analyst would in numpy
  and scipy (see its header), interpreter start and imports included.

The table gives, per width, each run's wall time in seconds and peak
resident memory in MB, then the speed-up of velmsim from 1 to 2 threads,
velmsim's time with 2 threads over numpy's, and velmsim's peak memory (2
threads) over numpy's.

Each child is started by a small launcher (a bare `python3 -I -S`) that forks
and execs it and waits for it with os.wait4: the wall time is taken around
the fork and the wait, the peak memory is the ru_maxrss of that child alone.
Without the launcher every child would show at least this script's own 30 MB
or more, since Linux starts a child's ru_maxrss at what its parent had mapped
when it forked. The launcher's own floor (about 5 MB) is printed above the
table: a figure near it means "at most that". Runs during which other
processes took a tenth of a core or more (from /proc/stat), or across which
velmsim was rebuilt, are listed under the table.

Run from the checkout after building velmsim (needs numpy and scipy):

    python3 bench/wide_models.py build/velmsim
    python3 bench/wide_models.py build/velmsim --widths 10,100,1000 --iterations 10000

A formula is limited to 20,000 characters, so a sum that would be longer is
written as hidden partial sums of at most 1,000 inputs each
(`s0 = { formula = "x0 + ... + x999", report = false }`) and `total` adds
those up. Width 10000 takes minutes and about 5 GB for numpy.
"""

import argparse
import collections
import os
import platform
import sys
import tempfile

import numpy
import scipy

HERE = os.path.dirname(os.path.abspath(__file__))
PEER = os.path.join(HERE, "wide_numpy.py")

INPUTS = [
    '{ dist = "triangular", low = 1, mode = 2, high = 4 }',
    '{ dist = "normal", mean = 3, sd = 0.5 }',
    '{ dist = "uniform", min = 1, max = 5 }',
]
SEED = 12345
FORMULA_LIMIT = 20000    # characters in one muParser formula
CHUNK = 1000             # inputs per partial sum when the whole sum is too long
BUSY_SHARE = 0.1         # other processes' CPU time, as a share of a run's wall time,
                         # above which the run is flagged as disturbed

# wall seconds, peak resident MB, and CPU seconds the rest of the machine took
# meanwhile (None where /proc/stat cannot be read)
Run = collections.namedtuple("Run", "wall mb others")

# Run by a bare interpreter: launcher RESULT PROGRAM ARGS... runs the program
# and writes "exit-status wall-seconds maxrss-KiB" to RESULT.
LAUNCHER = r'''
import os, sys, time
result, argv = sys.argv[1], sys.argv[2:]
start = time.perf_counter()
pid = os.fork()
if pid == 0:
    try:
        os.execv(argv[0], argv)
    except OSError as e:
        os.write(2, f"cannot run {argv[0]}: {e}\n".encode())
    os._exit(127)
_, status, usage = os.wait4(pid, 0)
wall = time.perf_counter() - start
with open(result, "w") as f:
    f.write(f"{os.waitstatus_to_exitcode(status)} {wall!r} {usage.ru_maxrss}\n")
'''


def sum_formula(names):
    return " + ".join(names)


def outputs_section(width):
    """The [outputs] lines: `total` alone, or hidden partial sums and their total."""
    names = [f"x{j}" for j in range(width)]
    whole = sum_formula(names)
    if len(whole) <= FORMULA_LIMIT:
        return [f'total = "{whole}"']
    lines, partials = [], []
    for k, start in enumerate(range(0, width, CHUNK)):
        partials.append(f"s{k}")
        lines.append(f's{k} = {{ formula = "{sum_formula(names[start:start + CHUNK])}", '
                     f'report = false }}')
    lines.append(f'total = "{sum_formula(partials)}"')
    return lines


def model_text(width, iterations):
    lines = ["[model]", f'name = "Wide model, {width} inputs"', "", "[inputs]"]
    lines += [f"x{j} = {INPUTS[j % len(INPUTS)]}" for j in range(width)]
    lines += ["", "[outputs]"] + outputs_section(width)
    lines += ["", "[run]", f"iterations = {iterations}", f"seed = {SEED}",
              "tolerance = 1e-9", ""]
    return "\n".join(lines)


def machine_cpu_seconds():
    """CPU seconds every process has used since boot, or None off Linux."""
    try:
        with open("/proc/stat") as f:
            fields = f.readline().split()
    except OSError:
        return None
    user, nice, system, _idle, _iowait, irq, softirq = (int(v) for v in fields[1:8])
    return (user + nice + system + irq + softirq) / os.sysconf("SC_CLK_TCK")


def measure(argv, stdout_path, workdir):
    """Run argv through the launcher and return its Run, or exit on failure."""
    result = os.path.join(workdir, "result.txt")
    stderr_path = os.path.join(workdir, "stderr.txt")
    launcher = [sys.executable, "-I", "-S", "-c", LAUNCHER, result] + argv
    out = os.open(stdout_path, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o600)
    err = os.open(stderr_path, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o600)
    try:
        busy = machine_cpu_seconds()
        pid = os.posix_spawn(launcher[0], launcher, os.environ,
                             file_actions=[(os.POSIX_SPAWN_DUP2, out, 1),
                                           (os.POSIX_SPAWN_DUP2, err, 2)])
        _, status, usage = os.wait4(pid, 0)       # the launcher's CPU time and its child's
        if busy is not None:
            busy = machine_cpu_seconds() - busy
    finally:
        os.close(out)
        os.close(err)
    code, wall, maxrss = -1, 0.0, 0
    if os.waitstatus_to_exitcode(status) == 0:
        with open(result) as f:
            code, wall, maxrss = f.read().split()
        code, wall, maxrss = int(code), float(wall), int(maxrss)
    if code != 0:
        with open(stderr_path, errors="replace") as f:
            message = f.read()[-2000:]
        sys.exit(f"{' '.join(argv)}: exit status {code}\n{message}")
    others = None if busy is None else max(0.0, busy - usage.ru_utime - usage.ru_stime)
    return Run(wall, maxrss / 1024.0, others)     # ru_maxrss is in KiB on Linux


def run_width(velmsim, width, iterations, workdir):
    model = os.path.join(workdir, f"wide_{width}.toml")
    with open(model, "w") as f:
        f.write(model_text(width, iterations))
    runs = {}
    for threads in (1, 2):
        runs[threads] = measure([velmsim, model, "--threads", str(threads)], os.devnull, workdir)
    peer_out = os.path.join(workdir, f"numpy_{width}.txt")
    runs["numpy"] = measure([sys.executable, PEER, str(width), str(iterations), str(SEED)],
                            peer_out, workdir)
    return runs


def disturbed(width, runs):
    """Lines naming the runs during which other processes took much CPU time."""
    names = {1: "velmsim 1 thread", 2: "velmsim 2 threads", "numpy": "numpy/scipy"}
    # /proc/stat counts in ticks of 10 ms: a short run is not flagged for a few.
    return [f"width {width}, {names[key]}: other processes took {run.others:.2f} s of CPU "
            f"in {run.wall:.2f} s" for key, run in runs.items()
            if run.others is not None and run.others > max(BUSY_SHARE * run.wall, 0.05)]


def row(width, runs):
    (t1, m1, _), (t2, m2, _), (tn, mn, _) = runs[1], runs[2], runs["numpy"]
    return (f"| {width} | {t1:.2f} s, {m1:.0f} MB | {t2:.2f} s, {m2:.0f} MB "
            f"| {tn:.2f} s, {mn:.0f} MB | {t1 / t2:.2f} | {t2 / tn:.2f} | {m2 / mn:.2f} |")


def print_table(velmsim, widths, iterations, workdir, warnings):
    """Run every width and print its row as it is done; disturbed runs go to warnings."""
    print("| width | velmsim 1 thread | velmsim 2 threads | numpy/scipy "
          "| speed-up 1 → 2 threads | time velmsim 2 thr. / numpy "
          "| peak memory velmsim 2 thr. / numpy |")
    print("|---:|---:|---:|---:|---:|---:|---:|")
    for width in widths:
        runs = run_width(velmsim, width, iterations, workdir)
        print(row(width, runs), flush=True)
        warnings += disturbed(width, runs)


def main():
    parser = argparse.ArgumentParser(
        description="velmsim against numpy/scipy on wide models: wall time and peak memory.")
    parser.add_argument("velmsim", help="the velmsim program, e.g. build/velmsim")
    parser.add_argument("--widths", default="10,100,1000,10000",
                        help="comma-separated numbers of inputs (default 10,100,1000,10000)")
    parser.add_argument("--iterations", type=int, default=32767,
                        help="iterations of every run, 2 to 32767 (default 32767)")
    args = parser.parse_args()
    velmsim = os.path.abspath(args.velmsim)
    if not os.access(velmsim, os.X_OK):
        parser.error(f"{args.velmsim} is not a program that can be run")
    widths = [int(w) for w in args.widths.split(",") if w.strip()]

    print(f"cores: {os.cpu_count()}; python {platform.python_version()}, "
          f"numpy {numpy.__version__}, scipy {scipy.__version__}; "
          f"{args.iterations} iterations, seed {SEED}")
    built = os.stat(velmsim).st_mtime_ns
    warnings = []
    with tempfile.TemporaryDirectory(prefix="velm-wide-") as workdir:
        floor = measure(["/bin/true"], os.devnull, workdir).mb
        print(f"floor of the peak memory figures (the launcher's own): {floor:.0f} MB")
        print()
        print_table(velmsim, widths, args.iterations, workdir, warnings)
    if os.stat(velmsim).st_mtime_ns != built:
        warnings.append(f"{args.velmsim} was rebuilt during the run: its rows may mix builds")
    if warnings:
        print("\nwarning: these times are not to be trusted, run again on a quiet machine:")
        print("\n".join("  " + w for w in warnings))


if __name__ == "__main__":
    main()
