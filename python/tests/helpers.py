"""Shared pieces of the binding's tests: the two editions, an independent model
of the uniform stream, raw calls of the exports (in this process and in a
child process that may be ended by the library)."""

import ctypes
import json
import math
import os
import subprocess
import sys
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.dirname(HERE))  # python/, for running from a checkout

import velmprob  # noqa: E402


def edition(name):
    """The loaded edition, or a skip when it cannot be found."""
    try:
        return velmprob.load(name)
    except velmprob.LibraryNotFoundError as err:
        raise unittest.SkipTest(str(err))


def f32(x):
    return ctypes.c_float(x).value


def next_f32(x, direction):
    """The single-precision neighbour of x towards direction (+1 or -1)."""
    bits = ctypes.c_uint32.from_buffer(ctypes.c_float(x)).value
    if x == 0.0:
        bits = 1 if direction > 0 else 0x80000001
    elif (x > 0) == (direction > 0):
        bits += 1
    else:
        bits -= 1
    return ctypes.c_float.from_buffer(ctypes.c_uint32(bits)).value


class Stream:
    """The uniform stream modelled from its definition: x <- 16807 x mod
    (2^31 - 1), u = x * (2^24 - 1) * 2^-55 rounded to single precision."""

    def __init__(self, seed):
        self.x = seed

    def state(self):
        self.x = 16807 * self.x % 2147483647
        return self.x

    def uniform(self):
        return f32(self.state() * (2 ** 24 - 1) * 2.0 ** -55)


def as_list(values):
    """Drawn values as a list (of tuples for pairs), whether the binding
    returned a numpy array or a list."""
    if hasattr(values, "tolist"):
        values = values.tolist()
        if values and isinstance(values[0], list):
            return [tuple(v) for v in values]
    return values


def have_numpy():
    try:
        import numpy  # noqa: F401
    except ImportError:
        return False
    return True


def same(a, b):
    """Equality that counts two NaNs as equal."""
    if isinstance(a, float) and isinstance(b, float) and math.isnan(a) and math.isnan(b):
        return True
    return a == b


# ---- raw calls of the exports, bypassing the binding ---------------------------

_P_FLOAT = ctypes.POINTER(ctypes.c_float)
_P_I16 = ctypes.POINTER(ctypes.c_int16)
_P_I32 = ctypes.POINTER(ctypes.c_int32)

RESULT_TYPES = {
    "VELMGETSEED": ctypes.c_int32, "VELMUNIFORM": ctypes.c_float,
    "VELMNORMAL": ctypes.c_float, "VELMLOGNORMAL": ctypes.c_float,
    "VELMCRNORMAL": ctypes.c_int32, "VELMGEOMETRIC": ctypes.c_int32,
    "VELMYESNO": ctypes.c_int32, "VELMTRIANG": ctypes.c_float, "VELMBETA": ctypes.c_float,
    "VELMSPEAR": ctypes.c_float, "VELMCNVERR": ctypes.c_float,
}


def raw_call(path, export, args):
    """Calls an export with arguments described as (kind, value) pairs and
    returns (result, outputs). Kinds: "f" real, "i" 32-bit integer, "h" 16-bit
    count, "F" real array, "F_out" / "H_out" output arrays of the given
    length."""
    lib = ctypes.CDLL(path)
    function = getattr(lib, export)
    function.restype = RESULT_TYPES.get(export)
    keep, pointers, outputs = [], [], []
    for kind, value in args:
        if kind == "f":
            cell = ctypes.c_float(value)
            keep.append(cell)
            pointers.append(ctypes.cast(ctypes.pointer(cell), ctypes.c_void_p))
        elif kind == "i":
            cell = ctypes.c_int32(value)
            keep.append(cell)
            pointers.append(ctypes.cast(ctypes.pointer(cell), ctypes.c_void_p))
        elif kind == "h":
            cell = ctypes.c_int16(value)
            keep.append(cell)
            pointers.append(ctypes.cast(ctypes.pointer(cell), ctypes.c_void_p))
        elif kind == "F":
            array = (ctypes.c_float * max(len(value), 1))(*value)
            keep.append(array)
            pointers.append(ctypes.cast(array, ctypes.c_void_p))
        elif kind in ("F_out", "H_out"):
            cell_type = ctypes.c_float if kind == "F_out" else ctypes.c_int16
            array = (cell_type * max(value, 1))()
            keep.append(array)
            outputs.append((array, value))
            pointers.append(ctypes.cast(array, ctypes.c_void_p))
        else:
            raise ValueError(kind)
    function.argtypes = [ctypes.c_void_p] * len(pointers)
    result = function(*pointers)
    return result, [list(array)[:n] for array, n in outputs]


_CHILD = """
import json, sys
sys.path.insert(0, %r)
from helpers import raw_call
path, export, args = json.loads(sys.argv[1])
raw_call(path, export, [tuple(a) for a in args])
sys.stdout.flush()
print("RETURNED")
"""


def raw_call_in_child(path, export, args):
    """The same call in a child process; returns (exit status, stdout)."""
    request = json.dumps([path, export, [[k, v] for k, v in args]])
    done = subprocess.run([sys.executable, "-c", _CHILD % HERE, request],
                          stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=60)
    return done.returncode, done.stdout.decode("utf-8", "replace")


class LibraryOutput:
    """Captures what the library writes to the process's standard output
    (its warnings) during a with-block; the text is in .text afterwards."""

    _libc = ctypes.CDLL(None)

    def __enter__(self):
        import tempfile
        sys.stdout.flush()
        self._libc.fflush(None)
        self._file = tempfile.TemporaryFile()
        self._saved = os.dup(1)
        os.dup2(self._file.fileno(), 1)
        return self

    def __exit__(self, *exc):
        self._libc.fflush(None)
        os.dup2(self._saved, 1)
        os.close(self._saved)
        self._file.seek(0)
        self.text = self._file.read().decode("utf-8", "replace")
        self._file.close()
        return False
