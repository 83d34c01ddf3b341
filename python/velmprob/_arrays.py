"""Conversions between Python values and the single-precision arrays and
16-bit counts of the exports, and the storage that sampler draws go to.

numpy is used when it is importable: a numpy array is converted once with
numpy and handed to the library by address. Without numpy every input goes
through a ctypes array. Either way the library sees IEEE single-precision
values, and every test made here on behalf of the library (NaN, order,
comparisons with 0 and 1) is made on the rounded single-precision values, as
the library would make it.
"""

import ctypes
import math
import operator

try:  # numpy is optional
    import numpy as _np
except ImportError:  # pragma: no cover - depends on the interpreter
    _np = None

INT16_MAX = 32767
INT32_MIN = -2147483648
INT32_MAX = 2147483647

c_float_p = ctypes.POINTER(ctypes.c_float)
c_int16_p = ctypes.POINTER(ctypes.c_int16)
c_int32_p = ctypes.POINTER(ctypes.c_int32)


def have_numpy():
    return _np is not None


def is_ndarray(value):
    return _np is not None and isinstance(value, _np.ndarray)


def f32(value):
    """value rounded to single precision (overflow gives an infinity), as a
    Python float."""
    return ctypes.c_float(float(value)).value


def integer(value, name):
    """value as a Python int; refuses floats and other non-integers."""
    try:
        return operator.index(value)
    except TypeError:
        raise TypeError("%s must be an integer, not %s" % (name, type(value).__name__)) from None


def int32(value, name):
    v = integer(value, name)
    if not INT32_MIN <= v <= INT32_MAX:
        raise ValueError("%s = %d does not fit a 32-bit integer" % (name, v))
    return v


_TEXT = (str, bytes, bytearray)


def text_error(name, value):
    return TypeError("%s must be a real number, not %s" % (name, type(value).__name__))


def real(value, name):
    """A real parameter as a Python float, before its rounding to single
    precision (an integer beyond the double range gives an infinity). Text,
    numeric strings included, raises TypeError, as numpy's samplers do."""
    if isinstance(value, _TEXT):
        raise text_error(name, value)
    if is_ndarray(value) and value.dtype.kind in "USVO":
        return real(value.item(), name)
    try:
        return float(value)
    except OverflowError:  # an integer beyond the double range
        return math.inf if value > 0 else -math.inf
    except (TypeError, ValueError):
        raise TypeError("%s must be a real number, not %r" % (name, value)) from None


def is_array_parameter(value):
    """True for a parameter that holds several values (a sequence or a numpy
    array of at least one dimension): parameters broadcast as numpy's do."""
    if isinstance(value, (list, tuple)):
        return True
    if is_ndarray(value):
        return value.ndim > 0
    if _np is not None and isinstance(value, _np.generic):
        return False  # a numpy number
    return (not isinstance(value, _TEXT)
            and (hasattr(value, "__array__") or hasattr(value, "__array_interface__")))


def parameter_array(value, name):
    """An array parameter as a float32 numpy array (of the values the library
    receives). Arrays of text raise TypeError."""
    if _np is None:
        raise TypeError("%s: array parameters need numpy; without it give numbers" % name)
    array = _np.asarray(value)
    _refuse_text_array(array, name)
    with _np.errstate(over="ignore"):
        try:
            return array.astype(_np.float32)
        except (TypeError, ValueError):
            raise TypeError("%s must hold real numbers" % name) from None


def _refuse_text_array(array, name):
    if array.dtype.kind in "USV":
        raise TypeError("%s must hold real numbers, not %s" % (name, array.dtype))
    if array.dtype.kind == "O":
        for item in array.flat:
            if isinstance(item, _TEXT):
                raise TypeError("%s must hold real numbers, not %s" % (name, type(item).__name__))


def broadcast_shape(shapes):
    """The shape that numpy broadcasts the shapes to; ValueError as numpy's
    when they do not broadcast."""
    ndim = max((len(s) for s in shapes), default=0)
    result = []
    for axis in range(-ndim, 0):
        extent = 1
        for shape in shapes:
            d = shape[axis] if -axis <= len(shape) else 1
            if d != 1:
                if extent not in (1, d):
                    raise ValueError("shape mismatch: objects cannot be broadcast to a single "
                                     "shape (the parameters have shapes %s)"
                                     % ", ".join(str(tuple(s)) for s in shapes))
                extent = d
        result.append(extent)
    return tuple(result)


def size_for(size, shape):
    """The shape of the draws when the parameters broadcast to `shape` and
    `size` is given: `size` itself, which the parameters must broadcast to."""
    wanted, _ = draw_shape(size)
    if broadcast_shape([wanted, shape]) != wanted:
        raise ValueError("Output size %s is not compatible with broadcast dimensions of "
                         "inputs %s." % (wanted, shape))
    return wanted


def count16(n, name):
    """A count that the statistics exports receive as a 16-bit integer: more
    would wrap round and the library would read the wrong number of values."""
    if n > INT16_MAX:
        raise ValueError(
            "%s = %d: the statistics exports take at most %d values (16-bit counts)"
            % (name, n, INT16_MAX))
    return n


class FloatArray:
    """A single-precision vector the library can read or write.

    `pointer` is what the export receives; `values()` returns the contents as
    a list of Python floats; `result()` returns them in the caller's kind (a
    numpy array when the caller passed one, else a list).
    """

    def __init__(self, data, size, numpy_out):
        self._data = data          # keeps the storage alive
        self.size = size
        self.numpy_out = numpy_out
        if is_ndarray(data):
            self.pointer = data.ctypes.data_as(c_float_p)
        else:
            self.pointer = ctypes.cast(data, c_float_p)

    def address_of(self):
        """The address the library receives."""
        return ctypes.cast(self.pointer, ctypes.c_void_p).value

    def values(self):
        if is_ndarray(self._data):
            return [float(v) for v in self._data]
        return list(self._data)

    def has_nan(self):
        if is_ndarray(self._data):
            return bool(_np.isnan(self._data).any())
        return any(math.isnan(v) for v in self._data)

    def has_inf(self):
        if is_ndarray(self._data):
            return bool(_np.isinf(self._data).any())
        return any(math.isinf(v) for v in self._data)

    def all_nan(self):
        if is_ndarray(self._data):
            return bool(_np.isnan(self._data).all())
        return all(math.isnan(v) for v in self._data)

    def result(self):
        if self.numpy_out and _np is not None:
            if is_ndarray(self._data):
                return self._data.copy()
            return _np.array(self._data, dtype=_np.float32)
        return self.values()


def _as_ndarray(values):
    """values as a numpy array when it is one or when numpy can read it as
    one without going through Python numbers (buffer protocol, __array__):
    such an input that already holds contiguous float32 is then used where it
    lies. Lists, tuples and other sequences are left alone (None)."""
    if _np is None:
        return None
    if isinstance(values, _np.ndarray):
        return values
    if isinstance(values, (list, tuple, str, bytes, bytearray)):
        return None
    if hasattr(values, "__array__") or hasattr(values, "__array_interface__"):
        return _np.asarray(values)
    try:
        memoryview(values)
    except TypeError:
        return None
    return _np.asarray(values)


def vector(values, name):
    """A 1-D input (sequence or array-like) as a single-precision vector.
    Contiguous float32 input is passed by address, not copied."""
    if isinstance(values, _TEXT):
        raise TypeError("%s must be a sequence of numbers, not %s" % (name, type(values).__name__))
    values = _as_ndarray(values) if not isinstance(values, (list, tuple)) else values
    if is_ndarray(values):
        if values.ndim != 1:
            raise ValueError("%s must be one-dimensional, not of shape %s" % (name, values.shape))
        _refuse_text_array(values, name)
        data = _np.ascontiguousarray(values, dtype=_np.float32)
        return FloatArray(data, int(data.shape[0]), True)
    try:
        items = list(values)
    except TypeError:
        raise TypeError("%s must be a sequence of numbers" % name) from None
    for item in items:
        if isinstance(item, _TEXT):
            raise TypeError("%s must hold numbers, not %s (%r)" % (name, type(item).__name__, item))
    try:
        data = (ctypes.c_float * len(items))(*[float(v) for v in items])
    except (TypeError, ValueError):
        raise TypeError("%s must be a sequence of numbers" % name) from None
    return FloatArray(data, len(items), False)


def output(size, numpy_out):
    """A single-precision vector of `size` elements for the library to fill,
    initialised to NaN."""
    if numpy_out and _np is not None:
        return FloatArray(_np.full(size, _np.nan, dtype=_np.float32), size, True)
    data = (ctypes.c_float * size)(*([math.nan] * size))
    return FloatArray(data, size, False)


def matrix(values, name):
    """A 2-D input of rows (observations) and columns (variables), or a 1-D
    input taken as one variable, stored column after column as the library
    expects. Returns (array, nrow, nvar, one_variable). A column-major
    (Fortran-ordered) float32 array is passed by address, not copied."""
    if isinstance(values, _TEXT):
        raise TypeError("%s must be a sequence of numbers, not %s" % (name, type(values).__name__))
    values = _as_ndarray(values) if not isinstance(values, (list, tuple)) else values
    if is_ndarray(values):
        if values.ndim == 1:
            return vector(values, name), int(values.shape[0]), 1, True
        if values.ndim != 2:
            raise ValueError("%s must be one- or two-dimensional, not of shape %s"
                             % (name, values.shape))
        nrow, nvar = (int(d) for d in values.shape)
        _refuse_text_array(values, name)
        data = _np.asfortranarray(values, dtype=_np.float32).ravel(order="F")
        return FloatArray(data, nrow * nvar, True), nrow, nvar, False
    try:
        rows = list(values)
    except TypeError:
        raise TypeError("%s must be a sequence of numbers or of rows" % name) from None
    if not rows or not _is_row(rows[0]):
        return vector(rows, name), len(rows), 1, True
    table = []
    for i, row in enumerate(rows):
        if not _is_row(row):
            raise ValueError("%s: row %d is not a sequence" % (name, i))
        table.append(list(row))
    nvar = len(table[0])
    for i, row in enumerate(table):
        if len(row) != nvar:
            raise ValueError("%s: row %d has %d values, row 0 has %d" % (name, i, len(row), nvar))
    flat = [row[k] for k in range(nvar) for row in table]
    return vector(flat, name), len(table), nvar, False


def _is_row(value):
    if isinstance(value, (str, bytes)):
        return False
    try:
        iter(value)
    except TypeError:
        return False
    return True


# ---- where sampler draws go ---------------------------------------------------

def draw_shape(size):
    """size (a count, or with numpy a tuple of counts) as (shape, count)."""
    if isinstance(size, tuple):
        if _np is None:
            raise TypeError("size as a tuple needs numpy; give a count")
        shape = tuple(integer(d, "size") for d in size)
    else:
        shape = (integer(size, "size"),)
    count = 1
    for d in shape:
        if d < 0:
            raise ValueError("size = %r must not be negative" % (size,))
        count *= d
    return shape, count


class Draws:
    """Storage for `count` draws of a sampler, laid out as the loops write
    them: one value per draw, or two (a pair) per draw.

    With numpy the storage is a C-ordered numpy array (float32 for reals,
    int32 for integers; pairs add a last axis of length 2), new or the
    caller's `out`; without numpy a ctypes array, returned as a list (of
    tuples for pairs). Every check on `out` is made here, before anything is
    drawn or written.
    """

    __slots__ = ("array", "count", "pair", "_ctype")

    def __init__(self, size, out, integer_values, pair):
        self.pair = pair
        self._ctype = ctypes.c_int32 if integer_values else ctypes.c_float
        if out is not None:
            self.array = self._check_out(out, size, integer_values, pair)
            self.count = self.array.size // 2 if pair else self.array.size
            return
        if type(size) is int and size >= 0:  # the common case, without draw_shape
            shape, self.count = (size,), size
        else:
            shape, self.count = draw_shape(size)
        if _np is not None:
            if pair:
                shape += (2,)
            self.array = _np.empty(shape, _np.int32 if integer_values else _np.float32)
        else:
            self.array = (self._ctype * (self.count * 2 if pair else self.count))()

    @property
    def address(self):
        """The storage's address (only when it holds at least one value): by
        way of the buffer protocol, cheaper than numpy's ctypes attribute."""
        return ctypes.addressof(ctypes.c_char.from_buffer(self.array))

    @staticmethod
    def _check_out(out, size, integer_values, pair):
        if not is_ndarray(out):
            raise TypeError("out must be a numpy.ndarray, not %s" % type(out).__name__)
        dtype = _np.dtype(_np.int32 if integer_values else _np.float32)
        if out.dtype != dtype:
            raise TypeError("out must have dtype %s (native byte order), not %s"
                            % (dtype.name, out.dtype.str))
        if size is not None:
            shape, _ = draw_shape(size)
            if pair:
                shape += (2,)
            if tuple(out.shape) != shape:
                raise ValueError("out has shape %s, but size asks for %s"
                                 % (tuple(out.shape), shape))
        elif pair and (out.ndim < 1 or out.shape[-1] != 2):
            raise ValueError("out for pairs must have a last axis of length 2, not shape %s"
                             % (tuple(out.shape),))
        if not out.flags.c_contiguous:
            raise ValueError("out must be C-contiguous")
        if not out.flags.writeable:
            raise ValueError("out is read-only")
        return out

    def fill(self, value):
        """Every draw set to value (for a parameter answered without a draw)."""
        if is_ndarray(self.array):
            self.array.fill(value)
        else:
            for i in range(len(self.array)):
                self.array[i] = value

    def cells(self):
        """The storage as a flat ctypes array (for filling one call at a
        time)."""
        width = 2 if self.pair else 1
        return (self._ctype * (self.count * width)).from_address(self.address)

    def result(self):
        if is_ndarray(self.array):
            return self.array
        values = list(self.array)
        if self.pair:
            return list(zip(values[0::2], values[1::2]))
        return values
