"""velmprob for Python: the exports of the velmprob library through ctypes.

    import velmprob
    lib = velmprob.load()             # statistics edition
    lib.seed(12345)
    lib.uniform()                     # 0.09661652...
    lib.stat([1, 2, 3, 4, 5])["mean"] # 3.0

    threaded = velmprob.load("threaded")
    threaded.crnormal(0, 1, 0, 1, 0.5)
    threaded.normal(0, 1, size=10**6)   # float32 numpy array (a list without numpy)

    rng = velmprob.Stream(12345)      # numpy-Generator-style, own position
    rng.beta(5, 30, size=1000)

Arguments outside a distribution's domain, and those that would make the
library end the process, raise ValueError before the library is called;
text where a number belongs raises TypeError. With numpy, sampler
parameters may be arrays, broadcast as numpy's.
"""

from ._library import (
    EDITIONS,
    ENVIRONMENT,
    STAT_NAMES,
    EditionError,
    Library,
    LibraryNotFoundError,
    bulk_file_name,
    candidates,
    library_file_name,
    load,
)
from ._stream import Stream

try:
    from ._version import __version__  # written into the wheel when it is built
except ImportError:  # used straight from the checkout: the project's version
    def _checkout_version():
        import os
        import re
        cmake = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..",
                             "CMakeLists.txt")
        with open(cmake, encoding="utf-8") as f:
            return re.search(r"project\(velmprob\s+VERSION\s+([0-9][0-9.]*)", f.read()).group(1)
    __version__ = _checkout_version()

__all__ = [
    "EDITIONS", "ENVIRONMENT", "STAT_NAMES", "EditionError", "Library",
    "LibraryNotFoundError", "Stream", "bulk_file_name", "candidates", "library_file_name",
    "load", "__version__",
]
