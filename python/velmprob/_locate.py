"""Where the editions of velmprob are found: the file names of the library
and of its companion, the environment variables that name an edition, and
the places looked at in turn."""

import os
import sys

from ._errors import LibraryNotFoundError

EDITIONS = ("stats", "threaded")

ENVIRONMENT = {
    "stats": "VELMPROB_LIBRARY",
    "threaded": "VELMPROB_THREADED_LIBRARY",
}


def _windows():
    return sys.platform.startswith("win") or sys.platform == "cygwin"


def library_file_name():
    if _windows():
        return "velmprob.dll"
    if sys.platform == "darwin":
        return "libvelmprob.dylib"
    return "libvelmprob.so"


def bulk_file_name():
    """The companion library of array loops, found beside each edition."""
    if _windows():
        return "velmprob_bulk.dll"
    if sys.platform == "darwin":
        return "libvelmprob_bulk.dylib"
    return "libvelmprob_bulk.so"


def _package_dir():
    return os.path.dirname(os.path.abspath(__file__))


def candidates(edition):
    """Where an edition is looked for, in order: the environment variable,
    the copy installed next to the package, then the build tree of the
    checkout (the one the package sits in, then the one it was installed
    from)."""
    name = library_file_name()
    found = []
    env = os.environ.get(ENVIRONMENT[edition])
    if env:
        found.append(env)
    pkg = _package_dir()
    found.append(os.path.join(pkg, "lib", edition, name))
    roots = []
    here = os.path.dirname(os.path.dirname(pkg))
    if os.path.isfile(os.path.join(here, "export", "velmprob.h")):
        roots.append(here)  # the package sits in a checkout (python/velmprob)
    try:
        from ._origin import CHECKOUT
    except ImportError:
        CHECKOUT = None
    if CHECKOUT and CHECKOUT not in roots:
        roots.append(CHECKOUT)
    for root in roots:
        found.append(os.path.join(root, "build", edition, name))
    return found


def find(edition):
    """The file of an edition: the first of `candidates` that exists. A
    variable that names no file is an error, not a reason to look on."""
    named = os.environ.get(ENVIRONMENT[edition])
    if named and not os.path.isfile(named):
        raise LibraryNotFoundError("%s names %s, which is not a file"
                                   % (ENVIRONMENT[edition], named))
    tried = candidates(edition)
    for candidate in tried:
        if os.path.isfile(candidate):
            return candidate
    raise LibraryNotFoundError(
        "no %s edition of velmprob found; looked at:\n  %s\n"
        "build the library (cmake) or name the file with %s or load(path=...)"
        % (edition, "\n  ".join(tried), ENVIRONMENT[edition]))
