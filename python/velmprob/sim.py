"""velmsim models run from Python: velmsim's engine in libvelmsim, called
through its C API with ctypes, with no subprocess and no parsing of text.

    import velmprob.sim as sim
    r = sim.run("examples/warehouse.toml", seed=7, iterations=10000, threads=2)
    r.samples                # pandas.DataFrame (else a dict of numpy arrays, else of lists)
    r.summary["cost"]        # the JSON report's figures for one output
    r.percentile("cost", 80)
    r.html()                 # the report page; a notebook shows a Result inline
    d = sim.compare("a.toml", "b.toml")   # B - A on common random numbers

A model is a file's path, a model's TOML text, or a dict (written as TOML
with the tomli_w package). Errors in a model raise ModelError, which
carries every located error and prints as velmsim prints them.
"""

import array
import ctypes
import json
import os
import sys
import threading

from . import _ffi, _library

__all__ = ["run", "compare", "Result", "Comparison", "ModelError", "OptionError",
           "Diagnostic", "library_file_name", "velmsim_candidates"]

# The statuses of velmsim_api.h.
_OK, _MODEL_ERROR, _RUN_ERROR, _OPTION_ERROR, _LOAD_ERROR, _INTERRUPTED = 0, 2, 3, 4, 5, 6


class Diagnostic:
    """One located message: file, line and column (0 for the whole file),
    message, and whether it is a warning."""

    __slots__ = ("file", "line", "column", "message", "warning")

    def __init__(self, file, line, column, message, warning):
        self.file, self.line, self.column = file, line, column
        self.message, self.warning = message, warning

    def __repr__(self):
        where = self.file + ("" if self.line == 0 else ":%d:%d" % (self.line, self.column))
        return "%s: %s: %s" % (where, "warning" if self.warning else "error", self.message)


class ModelError(Exception):
    """A model that cannot run, or a run that failed: `errors` lists every
    located message; str() is the text velmsim prints (source line, caret)."""

    def __init__(self, text, errors):
        super().__init__(text.rstrip("\n"))
        self.errors = errors


class OptionError(ValueError):
    """An option of run() or compare() that velmsim cannot take."""


def library_file_name():
    if sys.platform.startswith("win") or sys.platform == "cygwin":
        return "velmsim.dll"
    return "libvelmsim.dylib" if sys.platform == "darwin" else "libvelmsim.so"


def velmsim_candidates():
    """Where libvelmsim is looked for, in order: VELMSIM_LIBRARY, the copy
    installed with the package, then the build tree of the checkout beside
    the editions'."""
    found = []
    if os.environ.get("VELMSIM_LIBRARY"):
        found.append(os.environ["VELMSIM_LIBRARY"])
    found.append(os.path.join(os.path.dirname(os.path.abspath(__file__)), "lib",
                              library_file_name()))
    for edition_path in _library.candidates("stats")[1:]:
        # .../build/stats/libvelmprob.so -> .../build/libvelmsim.so
        found.append(os.path.join(os.path.dirname(os.path.dirname(edition_path)),
                                  library_file_name()))
    return found


_api = None
_api_lock = threading.Lock()


def _first_file(paths, what):
    for path in paths:
        if os.path.isfile(path):
            return path
    raise _library.LibraryNotFoundError(
        "no %s found; looked at:\n  %s" % (what, "\n  ".join(paths)))


def _load_api():
    """libvelmsim with its prototypes, loaded once."""
    global _api
    with _api_lock:
        if _api is not None:
            return _api
        path = _first_file(velmsim_candidates(), "libvelmsim (build velmsim, or name it with "
                                                 "VELMSIM_LIBRARY)")
        dll = ctypes.CDLL(path)
        p, s, i, f = ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int, ctypes.c_void_p
        for name, restype, argtypes in [
                ("velmsim_open", p, [s, s, s]),
                ("velmsim_compare", p, [s, s, s, s, s, s, s]),
                ("velmsim_status", i, [p]),
                ("velmsim_messages", s, [p]),
                ("velmsim_diagnostics", s, [p]),
                ("velmsim_run", i, [p, s, s]),
                ("velmsim_interrupt", None, [p]),
                ("velmsim_iterations", i, [p]),
                ("velmsim_column_count", i, [p]),
                ("velmsim_column_name", s, [p, i]),
                ("velmsim_column_values", i, [p, i, f]),
                ("velmsim_report", s, [p, s]),
                ("velmsim_close", None, [p]),
                ("velmsim_api_version", s, [])]:
            function = getattr(dll, name)
            function.restype, function.argtypes = restype, argtypes
        _api = dll
        return _api


def _editions():
    """The paths of the statistics and the threaded sampling editions, found
    as velmprob.load() finds them (without loading them here)."""
    return tuple(_first_file(_library.candidates(e), "%s edition of velmprob" % e).encode()
                 for e in ("stats", "threaded"))


def _statistics_lock(stats_path):
    """The lock of the statistics edition at stats_path, which libvelmsim
    loads as the same library as velmprob.load() does (its static state
    shared): held while a run uses it, so that no Library call of another
    thread runs beside it."""
    return _ffi.lock_for(ctypes.CDLL(stats_path.decode())._handle)


def _model_source(model):
    """(path, text) for velmsim_open: a file's path, a TOML text, or a dict
    written as TOML."""
    if isinstance(model, dict):
        try:
            import tomli_w
        except ImportError:
            raise ImportError("a model given as a dict is written as TOML with the tomli_w "
                              "package (Debian: python3-tomli-w; pip install tomli-w)") from None
        return "model.toml", tomli_w.dumps(model)
    if isinstance(model, os.PathLike):
        return os.fspath(model), None
    if not isinstance(model, str):
        raise TypeError("a model is a path, a TOML text or a dict, not %s" % type(model).__name__)
    if "\n" in model or "=" in model:
        return "model.toml", model
    if not os.path.isfile(model):
        raise FileNotFoundError("no model file %r (a model's text holds '=' and line breaks)"
                                % model)
    return model, None


def _options(options):
    for key, value in options.items():
        if value is None:
            continue
        if isinstance(value, (str, bytes)) and key not in ("sampler", "tornado"):
            raise TypeError("%s must not be a string: %r" % (key, value))
    return json.dumps({k: v for k, v in options.items() if v is not None}).encode()


def _enc(text):
    return None if text is None else text.encode()


class _Session:
    """A velmsim_session, closed when collected."""

    def __init__(self, api, handle):
        if not handle:
            raise MemoryError("velmsim could not allocate a session")
        self._api, self.handle = api, handle

    def __del__(self):
        if getattr(self, "handle", None):
            self._api.velmsim_close(self.handle)
            self.handle = None

    def check(self, status):
        """Raises what a status other than OK means."""
        if status == _OK:
            return
        api, h = self._api, self.handle
        text = api.velmsim_messages(h).decode()
        if status == _OPTION_ERROR:
            raise OptionError(text.rstrip("\n").replace("velmsim: error: ", "", 1))
        if status == _LOAD_ERROR:
            raise _library.LibraryNotFoundError(text.rstrip("\n"))
        if status == _INTERRUPTED:
            raise KeyboardInterrupt
        errors = [Diagnostic(d["file"], d["line"], d["column"], d["message"], d["warning"])
                  for d in json.loads(api.velmsim_diagnostics(h).decode())]
        raise ModelError(text, [e for e in errors if not e.warning] or errors)

    def report(self, form):
        text = self._api.velmsim_report(self.handle, form.encode())
        return None if text is None else text.decode()


def _interruptible(api, handle, call):
    """Runs call() (a velmsim function that runs the model) in a thread, so
    that Ctrl-C in this one asks the run to stop at its block's end. The run
    has always ended when this returns or raises: a run left going would use
    the statistics edition beside this thread's next calls."""
    result = []
    done = threading.Event()

    def work():
        try:
            result.append(call())
        finally:
            done.set()

    worker = threading.Thread(target=work, daemon=True)
    try:
        # Ctrl-C may come while the thread starts: it has then been created.
        worker.start()
        while not done.wait(0.05):
            pass
    except KeyboardInterrupt:
        api.velmsim_interrupt(handle)
        while True:
            try:
                done.wait()
                break
            except KeyboardInterrupt:  # pressed again: the run is stopping
                continue
        raise
    return result[0]


def _inline(page):
    """A report page shown in a notebook: in an iframe, so that the page's
    styles stay its own."""
    import html
    return ('<iframe srcdoc="%s" style="width: 100%%; height: 640px; border: 0"></iframe>'
            % html.escape(page, quote=True))


class _Reported:
    """A session that has run: `report` (the JSON report's figures), html()
    and text(), and its page shown inline in a notebook."""

    def __init__(self, session):
        self._session = session
        self.report = json.loads(session.report("json"))

    def html(self):
        """The report as one self-contained HTML page."""
        return self._session.report("html")

    def text(self):
        """The text report, as velmsim prints it."""
        return self._session.report("text")

    def _repr_html_(self):
        return _inline(self.html())


class Result(_Reported):
    """A model's run: its samples, its report's figures and its report pages."""

    def __init__(self, session):
        super().__init__(session)
        self.summary = {o["name"]: o for o in self.report["outputs"]}
        self._samples = None

    @property
    def samples(self):
        """Every iteration's inputs, tasks, risks and outputs, the columns of
        the CSV report: a pandas.DataFrame when pandas is installed, else a
        dict of float32 numpy arrays, else of array.array('f')."""
        if self._samples is None:
            self._samples = self._columns()
        return self._samples

    def _columns(self):
        api, h = self._session._api, self._session.handle
        n = api.velmsim_iterations(h)
        names = [api.velmsim_column_name(h, k).decode() for k in range(api.velmsim_column_count(h))]
        try:
            import numpy
        except ImportError:
            columns = {}
            for k, name in enumerate(names):
                values = array.array("f", bytes(4 * n))
                api.velmsim_column_values(h, k, values.buffer_info()[0])
                columns[name] = values
            return columns
        # One block, a column after another, written in place: the frame
        # wraps it without copying it again.
        block = numpy.empty((n, len(names)), dtype=numpy.float32, order="F")
        for k in range(len(names)):
            api.velmsim_column_values(h, k, block[:, k].ctypes.data)
        try:
            import pandas
        except ImportError:
            return {name: block[:, k] for k, name in enumerate(names)}
        frame = pandas.DataFrame(block, columns=names, copy=False)
        frame.index = pandas.RangeIndex(1, n + 1, name="iteration")
        return frame

    def percentile(self, output, percent):
        """The output's percentile as the report computes it (the library's
        quantiles), from the report when it lists that percentile."""
        for p in self.summary[output]["percentiles"]:
            if p["percent"] == percent:
                return p["value"]
        values = self.samples[output]
        return _library.load().quantiles(list(values), [percent / 100.0])[0]

    def __repr__(self):
        return "<velmsim run of %s: %d iterations, outputs %s>" % (
            self.report["model"]["file"], self.report["run"]["iterations"],
            ", ".join(self.summary))


def run(model, *, seed=None, iterations=None, threads=None, block=None, tolerance=None,
        precision=None, percentiles=None, tornado=None, classes=None, sampler=None,
        one_stream=None, repair=None):
    """Runs a model (a path, a TOML text or a dict) and returns its Result.
    The options are the command line's (None: the model's [run] or the
    default). Raises ModelError for a model that cannot run or an output
    that is not a finite number, OptionError for an option velmsim cannot
    take; Ctrl-C stops the run at the end of its block (KeyboardInterrupt)."""
    api = _load_api()
    path, text = _model_source(model)
    options = _options(dict(seed=seed, iterations=iterations, threads=threads, block=block,
                            tolerance=tolerance, precision=precision, percentiles=percentiles,
                            tornado=tornado, classes=classes, sampler=sampler,
                            one_stream=one_stream, repair=repair))
    session = _Session(api, api.velmsim_open(path.encode(), _enc(text), options))
    session.check(api.velmsim_status(session.handle))
    stats, threaded = _editions()
    with _statistics_lock(stats):
        session.check(_interruptible(api, session.handle,
                                     lambda: api.velmsim_run(session.handle, stats, threaded)))
    return Result(session)


class Comparison(_Reported):
    """Two models run on common random numbers: `report` (the JSON
    report's figures), html() and text()."""


def compare(a, b, *, seed=None, iterations=None, threads=None, block=None, tolerance=None,
            percentiles=None, classes=None):
    """Runs models a and b on the same substreams (as `velmsim compare A B`)
    and returns their Comparison."""
    api = _load_api()
    (path_a, text_a), (path_b, text_b) = _model_source(a), _model_source(b)
    options = _options(dict(seed=seed, iterations=iterations, threads=threads, block=block,
                            tolerance=tolerance, percentiles=percentiles, classes=classes))
    stats, threaded = _editions()
    # Both models run inside velmsim_compare, in this thread.
    with _statistics_lock(stats):
        session = _Session(api, api.velmsim_compare(path_a.encode(), _enc(text_a), path_b.encode(),
                                                    _enc(text_b), options, stats, threaded))
    session.check(api.velmsim_status(session.handle))
    return Comparison(session)
