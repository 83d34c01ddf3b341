#!/usr/bin/env python3
"""Reference values of the uniform stream, computed exactly with integers and
fractions (no floating point): states x(k+1) = 16807 x(k) mod (2^31 - 1) and
u = x * scale rounded once to single precision, scale = 2^-31 (1 - 2^-24).

Prints C++ initialisers used by tests/random/uniform_test.cpp.
"""
from fractions import Fraction
import struct

M = 2**31 - 1
A = 16807
SCALE = Fraction(2**24 - 1, 2**55)


def f32_bits(q):
    """Bits of the single-precision number nearest to the positive fraction q
    (round half to even); q is in the normal range here."""
    e = q.numerator.bit_length() - q.denominator.bit_length()
    while Fraction(2) ** e > q:
        e -= 1
    while Fraction(2) ** (e + 1) <= q:
        e += 1
    scaled = q / Fraction(2) ** (e - 23)  # in [2^23, 2^24)
    m = scaled.numerator // scaled.denominator
    rest = scaled - m
    if rest > Fraction(1, 2) or (rest == Fraction(1, 2) and m % 2 == 1):
        m += 1
    if m == 2**24:
        m //= 2
        e += 1
    return ((e + 127) << 23) | (m - 2**23)


def bits_to_float(b):
    return struct.unpack("<f", struct.pack("<I", b))[0]


def double_then_single(x):
    d = float(x) * float(SCALE)  # one rounding to double
    return struct.unpack("<I", struct.pack("<f", d))[0]


def show(name, pairs):
    print(f"// {name}: state, bits of the uniform")
    for x, b in pairs:
        print(f"    {{{x}u, 0x{b:08X}u}},  // {bits_to_float(b)!r}")


x = 1
seq = []
for _ in range(3):
    x = A * x % M
    seq.append((x, f32_bits(x * SCALE)))
show("after seed 1", seq)

x = 1
for _ in range(10000):
    x = A * x % M
print(f"// seed after seed 1 and 10000 draws: {x}")

x = 12345
states = []
for _ in range(3):
    x = A * x % M
    states.append(x)
print(f"// first states after seed 12345: {states}")

special = [553648129, 1090519041, 1107296258, 1, M - 1]
pairs = [(s, f32_bits(s * SCALE)) for s in special]
show("states where rounding matters", pairs)
for s, b in pairs:
    print(f"//   {s}: exact {b:08X}, double then single {double_then_single(s):08X}")

inv = pow(A, M - 2, M)
print(f"// seed whose next state is 1: {inv}; next state M - 1: {M - inv}")
print(f"// next state after 2147483646: {A * (M - 1) % M}")
