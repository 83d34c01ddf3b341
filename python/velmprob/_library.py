"""Loading an edition of the velmprob library: `load` finds the file
(`_locate`), and a `Library` is its exports (`_ffi`) with the samplers
(`_samplers`) and the statistics functions (`_statistics`) over them.

The library reports every argument error as a TERMINAL error on standard
output and then ends the process, Python interpreter included; the binding
refuses such arguments, and those outside a distribution's domain, with
ValueError before the call (`_domains`).
"""

import ctypes  # noqa: F401  (the loader's tests patch it here)
import sys  # noqa: F401

from ._errors import EditionError, LibraryNotFoundError
from ._ffi import Binding, _loader  # noqa: F401
from ._locate import (EDITIONS, ENVIRONMENT, bulk_file_name, candidates, find,  # noqa: F401
                      library_file_name)
from ._samplers import Samplers
from ._statistics import STAT_NAMES, Statistics  # noqa: F401


class Library(Samplers, Statistics, Binding):
    """One loaded edition of velmprob.

    Attributes: `path` (the file), `edition` ("stats" or "threaded"),
    `exports` (the names of the exports found), `bulk` (the companion
    library that draws `size=` arrays in compiled loops, or None). Loading
    the same file twice, by any path, gives two objects over the same
    library state, serialised by one lock in the statistics edition.
    """


def load(edition=None, path=None):
    """Loads an edition of velmprob and returns a Library.

    edition: "stats" (the statistics edition, the default) or "threaded" (the
    threaded sampling edition). path: the library file to load; when it is
    given, the edition is told by the file's exports (and must match edition
    if both are given). Without a path the file is looked for as described
    in `candidates`.
    """
    if edition is not None and edition not in EDITIONS:
        raise ValueError("edition must be one of %s, not %r" % (", ".join(EDITIONS), edition))
    if path is None:
        edition = edition or "stats"
        path = find(edition)
    library = Library(path)
    if edition is not None and library.edition != edition:
        raise LibraryNotFoundError("%s is the %s edition, not the %s edition"
                                   % (path, library.edition, edition))
    return library


__all__ = ["EDITIONS", "ENVIRONMENT", "STAT_NAMES", "EditionError", "Library",
           "LibraryNotFoundError", "bulk_file_name", "candidates", "library_file_name", "load"]
