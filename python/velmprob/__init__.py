"""velmprob for Python: the exports of the velmprob library through ctypes.

    import velmprob
    lib = velmprob.load()             # statistics edition
    lib.seed(12345)
    lib.uniform()                     # 0.09661652...
    lib.stat([1, 2, 3, 4, 5])["mean"] # 3.0

    threaded = velmprob.load("threaded")
    threaded.crnormal(0, 1, 0, 1, 0.5)

Arguments that would make the library end the process raise ValueError
before the library is called.
"""

from ._library import (
    EDITIONS,
    ENVIRONMENT,
    STAT_NAMES,
    EditionError,
    Library,
    LibraryNotFoundError,
    candidates,
    library_file_name,
    load,
)

__version__ = "0.1.0"

__all__ = [
    "EDITIONS", "ENVIRONMENT", "STAT_NAMES", "EditionError", "Library",
    "LibraryNotFoundError", "candidates", "library_file_name", "load", "__version__",
]
