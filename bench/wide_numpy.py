#!/usr/bin/env python3
"""The numpy/scipy peer of velmsim on a wide model, for bench/wide_models.py.

The model is the one bench/wide_models.py writes for velmsim: N inputs x0 ..
x{N-1} cycling triangular(1, 2, 4), normal(3, 0.5) and uniform(1, 5), and one
output `total`, their sum. This script does the work velmsim's report does
for it, written as an analyst would in numpy and scipy:

- every input drawn with a numpy Generator into one (iterations x N) float64
  array, the output summed across the inputs;
- scipy.stats.describe of the output, with the 95 % confidence limits of the
  mean (Student's t) and of the variance (chi-square);
- the percentiles 5, 10, 50, 80, 90, 95 and the S-curve (0.5 .. 98.5 in
  steps of 1);
- a histogram of 12 classes between P1 and P99, with the counts below and
  above;
- the Spearman rank correlation of every input with the output (the inputs
  ranked over axis 0 at once, then the Pearson correlation of each rank
  column with the output's ranks as one matrix-vector product), and the
  inputs sorted by |rho|.

It prints a short summary so that none of the work can be skipped. The
driver times it as a child process, interpreter start and imports included:

    python3 bench/wide_numpy.py 1000 32767 12345     # N, iterations, seed
"""

import argparse

import numpy as np
from scipy import stats

# (sampler, parameters) of input j is DISTRIBUTIONS[j % 3], as in the model.
DISTRIBUTIONS = [
    ("triangular", (1.0, 2.0, 4.0)),   # left, mode, right
    ("normal", (3.0, 0.5)),            # mean, sd
    ("uniform", (1.0, 5.0)),           # low, high
]
PERCENTILES = [5, 10, 50, 80, 90, 95]
S_CURVE = np.arange(0.5, 99.0, 1.0)    # 0.5, 1.5, ..., 98.5
CLASSES = 12
CONFIDENCE = 0.95


def draw_inputs(rng, iterations, width):
    """Every input's draws as the columns of one (iterations x width) array."""
    x = np.empty((iterations, width))
    for k, (name, params) in enumerate(DISTRIBUTIONS):
        columns = range(k, width, len(DISTRIBUTIONS))
        if len(columns):
            sampler = getattr(rng, name)
            x[:, k::len(DISTRIBUTIONS)] = sampler(*params, size=(iterations, len(columns)))
    return x


def describe(y):
    """scipy's description of y with the confidence limits of its mean and variance."""
    d = stats.describe(y)
    n = d.nobs
    alpha = 1.0 - CONFIDENCE
    half = stats.t.ppf(1.0 - alpha / 2, n - 1) * np.sqrt(d.variance / n)
    clv = ((n - 1) * d.variance / stats.chi2.ppf(1.0 - alpha / 2, n - 1),
           (n - 1) * d.variance / stats.chi2.ppf(alpha / 2, n - 1))
    return d, (d.mean - half, d.mean + half), clv


def histogram(y):
    """Counts of CLASSES classes between P1 and P99, and those below and above."""
    low, high = np.percentile(y, [1, 99])
    counts, edges = np.histogram(y, bins=CLASSES, range=(low, high))
    below = int(np.count_nonzero(y < low))
    above = int(np.count_nonzero(y > high))
    return counts, edges, below, above


def spearman_with_output(x, y):
    """Spearman's rho of every column of x with y: Pearson of the ranks, vectorised."""
    ranks = stats.rankdata(x, axis=0)
    ranks -= ranks.mean(axis=0)                      # in place: no second copy
    ry = stats.rankdata(y)
    ry -= ry.mean()
    numerator = ranks.T @ ry
    norms = np.sqrt(np.einsum("ij,ij->j", ranks, ranks)) * np.sqrt(ry @ ry)
    with np.errstate(invalid="ignore", divide="ignore"):
        return numerator / norms


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("width", type=int, help="number of inputs N")
    parser.add_argument("iterations", type=int)
    parser.add_argument("seed", type=int)
    args = parser.parse_args()

    rng = np.random.default_rng(args.seed)
    x = draw_inputs(rng, args.iterations, args.width)
    total = x.sum(axis=1)

    d, clm, clv = describe(total)
    pct = np.percentile(total, PERCENTILES)
    s_curve = np.percentile(total, S_CURVE)
    counts, edges, below, above = histogram(total)
    rho = spearman_with_output(x, total)
    order = np.argsort(-np.abs(rho))

    print(f"total: n {d.nobs}  mean {d.mean:.6g}  variance {d.variance:.6g}  "
          f"skewness {d.skewness:.4g}  kurtosis {d.kurtosis:.4g}  "
          f"min {d.minmax[0]:.6g}  max {d.minmax[1]:.6g}")
    print(f"  CLM {clm[0]:.6g} .. {clm[1]:.6g}   CLV {clv[0]:.6g} .. {clv[1]:.6g}")
    print("  " + "  ".join(f"P{p} {v:.6g}" for p, v in zip(PERCENTILES, pct)))
    print(f"  S-curve {s_curve[0]:.6g} .. {s_curve[-1]:.6g} ({len(s_curve)} points)")
    print(f"  histogram {edges[0]:.6g} .. {edges[-1]:.6g}: below {below}, "
          f"{' '.join(str(c) for c in counts)}, above {above}")
    top = order[:5]
    print("  largest |rho|: " + "  ".join(f"x{j} {rho[j]:+.3f}" for j in top))


if __name__ == "__main__":
    main()
