#!/usr/bin/python3
"""Reference values of the probability functions, in high precision.

Every argument is a single-precision number (rounded here first), and each
reference value is the exact function value at that number, computed with
mpmath at 40 digits and written with 17 significant digits. The points cover
each routine's whole range, denser near the boundaries between the
routines' branches.

Writes tests/special/special_data.inc. Run from the project root:
    /usr/bin/python3 tools/gen/gen_special.py
"""
import struct
import sys

import mpmath as mp

mp.mp.dps = 40


def f32(x):
    return struct.unpack('<f', struct.pack('<f', float(x)))[0]


def lit_f(x):
    return '%.9ef' % f32(x)


def lit_d(x):
    x = float(x)
    if x == 0.0:
        return '0.0'
    return '%.17e' % x


def uniq(xs):
    out = sorted(set(f32(x) for x in xs))
    return out


def linspace(a, b, n):
    return [a + (b - a) * i / (n - 1) for i in range(n)]


def logspace(a, b, n):
    return [10 ** (a + (b - a) * i / (n - 1)) for i in range(n)]


def around(c, widths):
    out = []
    for w in widths:
        out += [c - w, c + w]
    return out


# ---------------------------------------------------------------- gamma
def gamma_points():
    xs = linspace(-33.9, 35.0, 500)
    xs += linspace(0.01, 3, 60) + linspace(-0.99, -0.01, 30)
    xs += around(10, [1e-5, 1e-3, 0.1]) + around(-10.5, [0.1, 0.3])
    xs += [1, 2, 3, 4, 5, 6, 0.5, 1.5, 1e-3, 1e-6, 1e-20, 20, 30, 34.5, 35.0]
    out = []
    for x in uniq(xs):
        # Stay away from the poles: within 1e-3 of a negative integer the
        # routine warns and its accuracy is out of scope here.
        if x <= 0 and abs(x - round(x)) < 1e-3:
            continue
        out.append((x, mp.gamma(mp.mpf(x))))
    return out


def erfc_points():
    xs = linspace(-4.0, 9.18, 600)
    for c in (-2, -1, 1, 2):
        xs += around(c, [1e-6, 1e-4, 1e-2])
    xs += [0, 1e-10, 1e-5, 3e-4, 4e-4, -3e-4, 0.5, 1.5, 3, 5, 9.1]
    return [(x, mp.erfc(mp.mpf(x))) for x in uniq(xs)]


def erfce_points():
    xs = linspace(-9.3, 12.0, 600) + logspace(1, 30, 60)
    for c in (-2, -1, 1, 2):
        xs += around(c, [1e-6, 1e-4, 1e-2])
    xs += [0, 1e-10, 20]
    out = []
    for x in uniq(xs):
        m = mp.mpf(x)
        out.append((x, mp.exp(m * m) * mp.erfc(m)))
    return out


def anordf_points():
    xs = linspace(-13.0, 8.0, 500) + around(0, [1e-4, 1e-2])
    xs += around(1.4142135, [1e-3]) + around(-1.4142135, [1e-3]) + around(2.828427, [1e-3])
    out = []
    for x in uniq(xs):
        out.append((x, mp.ncdf(mp.mpf(x))))
    return out


def erfci_points():
    xs = linspace(1e-3, 1.999, 400) + logspace(-37, -3, 120)
    xs += [2 - v for v in logspace(-6, -3, 20)]
    xs += around(0.25, [1e-6, 1e-4, 1e-2]) + around(1.75, [1e-6, 1e-4, 1e-2])
    xs += [1.0, 0.5, 1.5, 0.1, 1.9]
    out = []
    for x in uniq(xs):
        if not (0 < x < 2):
            continue
        out.append((x, mp.erfinv(1 - mp.mpf(x))))
    return out


def anorin_points():
    ps = linspace(1e-3, 0.999, 300) + logspace(-37, -3, 100)
    ps += [1 - v for v in logspace(-7, -3, 30)] + [0.5, 0.975, 0.025, 0.875, 0.125]
    out = []
    for p in uniq(ps):
        if not (0 < p < 1):
            continue
        out.append((p, mp.sqrt(2) * mp.erfinv(2 * mp.mpf(p) - 1)))
    return out


# ------------------------------------------------------ chi-squared
def chi2_cdf(x, k):
    # P(a, h) = h^a e^-h / Gamma(a + 1) * 1F1(1; a + 1; h), a series of
    # positive terms (no cancellation at any a).
    a, h = mp.mpf(k) / 2, mp.mpf(x) / 2
    if h == 0:
        return mp.mpf(0)
    log_pref = a * mp.log(h) - h - mp.loggamma(a + 1)
    return mp.exp(log_pref) * mp.hyp1f1(1, a + 1, h, maxterms=10**7)


def solve_increasing(f, lo, hi):
    # f increasing with f(lo) <= 0 <= f(hi): bisection (geometric while the
    # lower end is far below the upper) to a relative width of 1e-22.
    lo, hi = mp.mpf(lo), mp.mpf(hi)
    while hi - lo > mp.mpf('1e-22') * hi:
        if lo > 0 and hi / lo > 4:
            mid = mp.sqrt(lo * hi)
        elif lo == 0 and hi > mp.mpf('1e-300'):
            mid = hi / 1024
        else:
            mid = (lo + hi) / 2
        if f(mid) < 0:
            lo = mid
        else:
            hi = mid
    return (lo + hi) / 2


def chi2_quantile(p, k):
    p = mp.mpf(p)
    lo, hi = mp.mpf(0), mp.mpf(max(1.0, 2.0 * k))
    while chi2_cdf(hi, k) < p:
        hi *= 2
    lo = hi / 2
    while chi2_cdf(lo, k) > p and lo > mp.mpf('1e-300'):
        lo /= 2
    return solve_increasing(lambda x: chi2_cdf(x, k) - p, lo, hi)


CHI_DFS = [0.5, 1, 1.5, 2, 2.5, 3, 4, 5, 7, 10, 15, 20, 25, 26, 30, 40, 50, 60, 65, 66,
           80, 100, 300, 1000, 3000, 10000, 32766]
CHI_PS = [1e-4, 1e-3, 0.01, 0.025, 0.05, 0.1, 0.2, 0.3, 0.4, 0.5, 0.6, 0.7, 0.8, 0.9, 0.95,
          0.975, 0.99, 0.999, 0.9999]


def chiin_points():
    out = []
    for k in CHI_DFS:
        k = f32(k)
        for p in CHI_PS:
            p = f32(p)
            q = chi2_quantile(p, k)
            # Wilson-Hilferty quantile: the exact inverse of the normal
            # approximation that serves DF > 65.
            h = mp.mpf(2) / (9 * mp.mpf(k))
            z = mp.sqrt(2) * mp.erfinv(2 * mp.mpf(p) - 1)
            wh = k * (1 - h + z * mp.sqrt(h)) ** 3
            out.append((p, k, q, wh))
    return out


def chidf_points():
    out = []
    for k in [0.5, 1, 2, 3, 5, 10, 25, 26, 40, 65]:
        k = f32(k)
        for x in uniq(logspace(-3, 2.3, 40) + [1.0, 2.0, 26.0, 2 * k]):
            if x > 200:
                continue
            out.append((x, k, chi2_cdf(x, k)))
    return out


# ------------------------------------------------------------- beta
def beta_cdf(x, a, b):
    return mp.betainc(a, b, 0, x, regularized=True)


def beta_quantile(p, a, b):
    p = mp.mpf(p)
    a = mp.mpf(a)
    b = mp.mpf(b)
    return solve_increasing(lambda x: beta_cdf(x, a, b) - p, 0, 1)


BETA_SHAPES = [(0.5, 0.5), (0.75, 0.5), (2, 2), (1, 1), (2, 5), (5, 2), (0.6, 0.5), (0.95, 0.5),
               (10, 10), (30, 3), (0.3, 4)]
BETA_PS = [1e-3, 0.01, 0.05, 0.1, 0.2, 0.3, 0.5, 0.7, 0.8, 0.9, 0.95, 0.99, 0.999]


def betin_points():
    out = []
    for a, b in BETA_SHAPES:
        a, b = f32(a), f32(b)
        for p in BETA_PS:
            p = f32(p)
            out.append((p, a, b, beta_quantile(p, a, b)))
    return out


# ---------------------------------------------------------------- t
def t_quantile(p, df):
    p = mp.mpf(p)
    df = mp.mpf(df)
    if p == mp.mpf(1) / 2:
        return mp.mpf(0)
    upper = p > 0.5
    tail = 1 - p if upper else p          # one-sided tail probability
    # P(|T| > t) = I_{df/(df+t^2)}(df/2, 1/2) = 2 tail
    x = beta_quantile(2 * tail, df / 2, mp.mpf(1) / 2)
    t = mp.sqrt(df * (1 / x - 1))
    return t if upper else -t


T_DFS = [1, 1.1, 1.3, 1.5, 1.7, 1.9, 2, 2.2, 2.5, 3, 4, 4.5, 5, 6, 8, 10, 15, 20, 30, 50, 100,
         300, 1000, 10000, 32766]
T_PS = [1e-4, 1e-3, 0.01, 0.025, 0.05, 0.1, 0.2, 0.3, 0.4, 0.45, 0.55, 0.6, 0.7, 0.8, 0.9, 0.95,
        0.975, 0.99, 0.999, 0.9999]


def tin_points():
    out = []
    for df in T_DFS:
        df = f32(df)
        for p in T_PS:
            p = f32(p)
            out.append((p, df, t_quantile(p, df)))
    return out


def emit1(out, name, rows):
    out.write('inline constexpr Ref1 %s[] = {\n' % name)
    for x, v in rows:
        out.write('    {%s, %s},\n' % (lit_f(x), lit_d(v)))
    out.write('};\n\n')


def main():
    out = open('tests/special/special_data.inc', 'w')
    out.write('// Generated by tools/gen/gen_special.py (mpmath, 40 digits); do not edit.\n')
    out.write('// Arguments are single-precision numbers; each reference value is the\n')
    out.write('// exact function value at that argument, to 17 significant digits.\n')
    out.write('#pragma once\n\nnamespace velm_test::reference {\n\n')
    out.write('struct Ref1 { float x; double value; };\n')
    out.write('struct RefChi { float p; float df; double quantile; double wilson_hilferty; };\n')
    out.write('struct RefChiDf { float chsq; float df; double value; };\n')
    out.write('struct RefBeta { float p; float pin; float qin; double quantile; };\n')
    out.write('struct RefT { float p; float df; double quantile; };\n\n')
    emit1(out, 'kGamma', gamma_points())
    emit1(out, 'kErfc', erfc_points())
    emit1(out, 'kErfce', erfce_points())
    emit1(out, 'kAnordf', anordf_points())
    emit1(out, 'kErfci', erfci_points())
    emit1(out, 'kAnorin', anorin_points())
    out.write('inline constexpr RefChiDf kChidf[] = {\n')
    for x, k, v in chidf_points():
        out.write('    {%s, %s, %s},\n' % (lit_f(x), lit_f(k), lit_d(v)))
    out.write('};\n\n')
    out.write('inline constexpr RefChi kChiin[] = {\n')
    for p, k, q, wh in chiin_points():
        out.write('    {%s, %s, %s, %s},\n' % (lit_f(p), lit_f(k), lit_d(q), lit_d(wh)))
    out.write('};\n\n')
    out.write('inline constexpr RefBeta kBetin[] = {\n')
    for p, a, b, q in betin_points():
        out.write('    {%s, %s, %s, %s},\n' % (lit_f(p), lit_f(a), lit_f(b), lit_d(q)))
    out.write('};\n\n')
    out.write('inline constexpr RefT kTin[] = {\n')
    for p, df, q in tin_points():
        out.write('    {%s, %s, %s},\n' % (lit_f(p), lit_f(df), lit_d(q)))
    out.write('};\n\n')
    out.write('}  // namespace velm_test::reference\n')


if __name__ == '__main__':
    main()
