"""The foreign-function layer: the exports' prototypes, loading an edition
and its companion library of array loops, and the lock that serialises the
statistics edition.

The statistics edition keeps its state (its one uniform stream, its working
values) in static storage and must not be entered by two threads at once.
That state belongs to the library as the dynamic loader mapped it, not to a
path: the loader maps a file once however it is named (a second path, a
symbolic or a hard link) and returns the same handle. The lock is therefore
keyed by that handle, so that every Library over one mapped library shares
one lock.
"""

import contextlib
import ctypes
import os
import sys
import threading

from . import _arrays as A
from ._errors import EditionError, LibraryNotFoundError
from ._locate import bulk_file_name

_c_float_p = A.c_float_p
_c_int16_p = A.c_int16_p
_c_int32_p = A.c_int32_p

# Export name -> (argument types, result type).
PROTOTYPES = {
    "VELMSETSEED": ([_c_int32_p], None),
    "VELMGETSEED": ([], ctypes.c_int32),
    "VELMUNIFORM": ([_c_float_p] * 2, ctypes.c_float),
    "VELMNORMAL": ([_c_float_p] * 2, ctypes.c_float),
    "VELMLOGNORMAL": ([_c_float_p] * 2, ctypes.c_float),
    "VELMCRNORMAL": ([_c_float_p] * 7, ctypes.c_int32),
    "VELMGEOMETRIC": ([_c_float_p], ctypes.c_int32),
    "VELMYESNO": ([_c_float_p], ctypes.c_int32),
    "VELMTRIANG": ([_c_float_p] * 3, ctypes.c_float),
    "VELMBETA": ([_c_float_p] * 2, ctypes.c_float),
    "VELMSORT": ([_c_int16_p, _c_float_p, _c_float_p, _c_int16_p], None),
    "VELMQTIL": ([_c_int16_p, _c_float_p, _c_int16_p, _c_float_p, _c_float_p], None),
    "VELMHIST": ([_c_int16_p, _c_float_p, _c_float_p, _c_float_p, _c_int16_p,
                  _c_float_p, _c_float_p], None),
    "VELMSTAT": ([_c_int16_p, _c_int16_p, _c_float_p, _c_int16_p, _c_float_p], None),
    "VELMSPEAR": ([_c_int16_p, _c_float_p, _c_float_p], ctypes.c_float),
    "VELMCNVERR": ([_c_int16_p, _c_int16_p, _c_float_p], ctypes.c_float),
}

# Method -> export.
EXPORT_OF = {
    "seed": "VELMSETSEED", "get_seed": "VELMGETSEED", "uniform": "VELMUNIFORM",
    "normal": "VELMNORMAL", "lognormal": "VELMLOGNORMAL", "crnormal": "VELMCRNORMAL",
    "geometric": "VELMGEOMETRIC", "yesno": "VELMYESNO", "triangular": "VELMTRIANG",
    "beta": "VELMBETA", "sort": "VELMSORT", "quantiles": "VELMQTIL",
    "histogram": "VELMHIST", "stat": "VELMSTAT", "spearman": "VELMSPEAR",
    "convergence": "VELMCNVERR",
}

# The editions built with each export; the rest are in both.
_ONLY_IN = {
    "VELMCRNORMAL": "threaded", "VELMYESNO": "threaded",
    "VELMSORT": "stats", "VELMQTIL": "stats", "VELMHIST": "stats", "VELMSTAT": "stats",
    "VELMSPEAR": "stats", "VELMCNVERR": "stats",
}

_EDITION_NAMES = {"stats": "statistics", "threaded": "threaded sampling"}

# Loop of the companion library -> argument types after the export's address
# (the storage's address and the count are last).
_c_void_p = ctypes.c_void_p
_BULK_PROTOTYPES = {
    "velmbulk_real2": [_c_void_p, _c_float_p, _c_float_p, _c_void_p, ctypes.c_int64],
    "velmbulk_real3": [_c_void_p, _c_float_p, _c_float_p, _c_float_p, _c_void_p,
                       ctypes.c_int64],
    "velmbulk_int1": [_c_void_p, _c_float_p, _c_void_p, ctypes.c_int64],
    "velmbulk_pair": [_c_void_p] + [_c_float_p] * 5 + [_c_void_p, ctypes.c_int64],
}


def _loader():
    """The ctypes loader for the exports' calling convention: the 32-bit
    Windows DLL is __stdcall (the function removes its arguments), which
    ctypes calls through WinDLL; everywhere else there is one C convention."""
    if sys.platform == "win32" and ctypes.sizeof(ctypes.c_void_p) == 4:
        return ctypes.WinDLL
    return ctypes.CDLL


def _load_bulk(path):
    """The companion library beside the edition file, or None when there is
    none (or VELMPROB_BULK=0): then `size=` draws are made one call at a
    time from Python, with the same values."""
    if os.environ.get("VELMPROB_BULK", "1") == "0":
        return None
    candidate = os.path.join(os.path.dirname(os.path.abspath(path)), bulk_file_name())
    if not os.path.isfile(candidate):
        return None
    try:
        dll = ctypes.CDLL(candidate)
        for name, argtypes in _BULK_PROTOTYPES.items():
            function = getattr(dll, name)
            function.argtypes = argtypes
            function.restype = None
    except (OSError, AttributeError) as err:
        raise LibraryNotFoundError("%s beside %s is not a usable velmprob companion library: %s"
                                   % (candidate, path, err)) from None
    return dll


# Loaded library (its handle) -> its lock. Re-entrant, so that a Stream can
# hold it across seeding, drawing and reading the seed back. ctypes never
# unloads a library, so a handle is never reused for another one.
_LOCKS = {}
_LOCKS_GUARD = threading.Lock()


def lock_for(handle):
    with _LOCKS_GUARD:
        return _LOCKS.setdefault(handle, threading.RLock())


def _serialised(function, lock):
    def call(*args):
        with lock:
            return function(*args)
    return call


class Binding:
    """The exports of one loaded edition, with their prototypes set.

    `_f` holds the callable exports (through the lock in the statistics
    edition), `_raw` the same without the lock, `_address` their addresses
    for the companion library's loops.
    """

    def __init__(self, path):
        path = os.fspath(path)
        try:
            self._dll = _loader()(os.path.abspath(path))
        except OSError as err:
            raise LibraryNotFoundError("cannot load %s: %s" % (path, err)) from None
        self.path = path
        self._f = {}
        for name, (argtypes, restype) in PROTOTYPES.items():
            try:
                function = getattr(self._dll, name)
            except AttributeError:
                continue
            function.argtypes = argtypes
            function.restype = restype
            self._f[name] = function
        if "VELMSETSEED" not in self._f or "VELMUNIFORM" not in self._f:
            raise LibraryNotFoundError("%s is not a velmprob library" % path)
        self.exports = frozenset(self._f)
        self.edition = "stats" if "VELMSTAT" in self._f else "threaded"
        self._address = {name: ctypes.cast(f, ctypes.c_void_p).value
                         for name, f in self._f.items()}
        self._raw = dict(self._f)
        self._lock = None
        if self.edition == "stats":
            self._lock = lock_for(self._dll._handle)
            self._f = {name: _serialised(f, self._lock) for name, f in self._f.items()}
        self._bulk_dll = _load_bulk(path)
        self.bulk = self._bulk_dll._name if self._bulk_dll is not None else None

    def _held(self):
        """The statistics edition's lock (a no-op for the threaded edition)."""
        return self._lock if self._lock is not None else contextlib.nullcontext()

    def __repr__(self):
        return "<velmprob %s edition from %r>" % (self.edition, self.path)

    def has(self, method):
        """True when this edition offers the method (for example "crnormal")."""
        return EXPORT_OF[method] in self._f

    def _export(self, method):
        """The export behind a method; EditionError names the edition to load
        when this file lacks it."""
        name = EXPORT_OF[method]
        try:
            return self._f[name]
        except KeyError:
            pass
        this = _EDITION_NAMES[self.edition]
        home = _ONLY_IN.get(name)
        if home is not None and home != self.edition:
            raise EditionError(
                "%s() needs the export %s, which only the %s edition has; %s is the %s "
                "edition: load the %s edition (velmprob.load(%r))"
                % (method, name, _EDITION_NAMES[home], self.path, this,
                   _EDITION_NAMES[home], home))
        where = "both editions have" if home is None else "the %s edition has" % this
        raise EditionError(
            "%s() needs the export %s, which %s, but %s (taken for the %s edition) lacks it: "
            "the file is incomplete or of another version of velmprob; rebuild it or load "
            "another copy" % (method, name, where, self.path, this))
