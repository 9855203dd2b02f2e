"""Finding and calling the shared library."""

import ctypes
import ctypes.util
import os
import sys
import threading

_MAX_INPUT = 0x7FFFFFFF  # InitKDX takes a 32-bit size

if sys.platform == "win32":
    _NAMES = ["kdx2xml.dll"]
elif sys.platform == "darwin":
    _NAMES = ["libkdx2xml.1.dylib", "libkdx2xml.dylib"]
else:
    _NAMES = ["libkdx2xml.so.1", "libkdx2xml.so"]


class ConversionError(Exception):
    """A document that could not be converted: .failure_class and .message."""

    def __init__(self, failure_class, message):
        super().__init__(f"{failure_class}: {message}")
        self.failure_class = failure_class
        self.message = message


_lib = None
_lock = threading.Lock()


def _candidates():
    """Places to try, in order, as (description, path or name)."""
    env = os.environ.get("KDX2XML_LIBRARY")
    if env:
        # An explicit choice is the only one: a wrong path is reported, not
        # silently replaced by another library.
        return [("KDX2XML_LIBRARY", env)]
    here = os.path.dirname(os.path.abspath(__file__))
    places = [("beside the package", os.path.join(folder, n))
              for folder in (here, os.path.dirname(here)) for n in _NAMES
              if os.path.isfile(os.path.join(folder, n))]
    found = ctypes.util.find_library("kdx2xml")
    if found:
        places.append(("installed", found))
    places += [("installed", n) for n in _NAMES]
    if sys.platform != "win32":
        # `cmake --install` puts it here; the loader finds it only once
        # ldconfig has run.
        places += [("installed", os.path.join("/usr/local/lib", n)) for n in _NAMES]
    return places


def _bind(lib):
    lib.InitKDX.argtypes = [ctypes.c_char_p, ctypes.c_int32]
    lib.InitKDX.restype = ctypes.c_size_t
    lib.GetDataSize.argtypes = [ctypes.c_size_t]
    lib.GetDataSize.restype = ctypes.c_int32
    lib.GetData.argtypes = [ctypes.c_size_t, ctypes.c_void_p, ctypes.c_uint32]
    lib.GetData.restype = ctypes.c_uint32
    lib.ReleaseKDXHandle.argtypes = [ctypes.c_size_t]
    lib.ReleaseKDXHandle.restype = ctypes.c_int32
    lib.GetLastExceptionText.argtypes = []
    lib.GetLastExceptionText.restype = ctypes.c_void_p
    return lib


def load_library(path=None):
    """Loads and returns the shared library.

    path, when given, names the library file. Otherwise: $KDX2XML_LIBRARY,
    a library beside the package, then the installed one (the system's
    loader). Raises OSError naming every place tried when none loads.
    """
    global _lib
    # stdcall exports on 32-bit Windows.
    loader = ctypes.WinDLL if sys.platform == "win32" and ctypes.sizeof(ctypes.c_void_p) == 4 \
        else ctypes.CDLL
    places = [("load_library", os.fspath(path))] if path else _candidates()
    tried = []
    with _lock:
        for where, name in places:
            try:
                lib = _bind(loader(name))
            except OSError as e:
                tried.append(f"{name} ({where}): {e}")
                continue
            _lib = lib
            return lib
    raise OSError("the kdx2xml library could not be loaded; set KDX2XML_LIBRARY to its path. "
                  "Tried: " + "; ".join(tried))


def _library():
    return _lib or load_library()


def _failure_text(lib):
    ptr = lib.GetLastExceptionText()
    if not ptr:
        return None
    units = ctypes.cast(ptr, ctypes.POINTER(ctypes.c_uint16))
    n = 0
    while units[n]:
        n += 1
    return ctypes.string_at(ptr, 2 * n).decode("utf-16-le")


def convert(data):
    """Converts the bytes of a packed document; returns the XML bytes (windows-1251).

    data may be bytes, bytearray, memoryview or any object with the buffer
    protocol. Raises ConversionError when the document cannot be converted.
    """
    if not isinstance(data, bytes):
        data = bytes(data)
    if len(data) > _MAX_INPUT:
        raise ValueError("a document is at most 2 GiB")
    lib = _library()
    handle = lib.InitKDX(data, len(data))
    if not handle:
        text = _failure_text(lib)
        if text is None:
            raise ConversionError("Error", "the library gave no reason")
        failure_class, _, message = text.partition(": ")
        raise ConversionError(failure_class, message)
    try:
        size = lib.GetDataSize(handle)
        out = (ctypes.c_char * size)()
        if lib.GetData(handle, out, size) != size:
            raise ConversionError("Error", "copying the XML out of the library failed")
        return out.raw
    finally:
        lib.ReleaseKDXHandle(handle)
