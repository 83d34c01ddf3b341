"""The binding's own exceptions."""


class LibraryNotFoundError(OSError):
    """No library file was found, or the file is not a velmprob edition."""


class EditionError(NotImplementedError):
    """The loaded edition does not export the function that was called."""
