"""ctypes binding of the kdx2xml library.

    import kdx2xml
    xml = kdx2xml.convert(data)          # bytes of windows-1251 XML
    text = xml.decode("cp1251")

A failed conversion raises ConversionError carrying the library's failure
class and message ("EReadError", "Stream read error").
"""

import ctypes
import ctypes.util
import os
import sys

__all__ = ["convert", "ConversionError", "load_library"]


class ConversionError(Exception):
    """A document that could not be converted: .failure_class and .message."""

    def __init__(self, failure_class, message):
        super().__init__(f"{failure_class}: {message}")
        self.failure_class = failure_class
        self.message = message


_lib = None


def load_library(path=None):
    """Loads the shared library: path, $KDX2XML_LIBRARY, or the system's search."""
    global _lib
    path = path or os.environ.get("KDX2XML_LIBRARY")
    if not path:
        path = ctypes.util.find_library("kdx2xml") or (
            "kdx2xml.dll" if sys.platform == "win32" else "libkdx2xml.so")
    loader = ctypes.WinDLL if sys.platform == "win32" and ctypes.sizeof(ctypes.c_void_p) == 4 \
        else ctypes.CDLL
    lib = loader(path)
    lib.InitKDX.argtypes = [ctypes.c_void_p, ctypes.c_int32]
    lib.InitKDX.restype = ctypes.c_size_t
    lib.GetDataSize.argtypes = [ctypes.c_size_t]
    lib.GetDataSize.restype = ctypes.c_int32
    lib.GetData.argtypes = [ctypes.c_size_t, ctypes.c_void_p, ctypes.c_uint32]
    lib.GetData.restype = ctypes.c_uint32
    lib.ReleaseKDXHandle.argtypes = [ctypes.c_size_t]
    lib.ReleaseKDXHandle.restype = ctypes.c_int32
    lib.GetLastExceptionText.argtypes = []
    lib.GetLastExceptionText.restype = ctypes.c_void_p
    _lib = lib
    return lib


def _failure(lib):
    ptr = lib.GetLastExceptionText()
    if not ptr:
        return ConversionError("Error", "the library reported no reason")
    text = ctypes.wstring_at(ptr) if ctypes.sizeof(ctypes.c_wchar) == 2 else _utf16_at(ptr)
    cls, _, msg = text.partition(": ")
    return ConversionError(cls, msg)


def _utf16_at(ptr):
    units = []
    array = ctypes.cast(ptr, ctypes.POINTER(ctypes.c_uint16))
    i = 0
    while array[i]:
        units.append(array[i])
        i += 1
    return b"".join(u.to_bytes(2, "little") for u in units).decode("utf-16-le")


def convert(data):
    """Converts the bytes of a packed document; returns the XML bytes (windows-1251)."""
    lib = _lib or load_library()
    data = bytes(data)
    if len(data) > 0x7FFFFFFF:
        raise ValueError("a document is at most 2 GiB")
    buf = ctypes.create_string_buffer(data, len(data))
    handle = lib.InitKDX(buf, len(data))
    if not handle:
        raise _failure(lib)
    try:
        size = lib.GetDataSize(handle)
        out = ctypes.create_string_buffer(size)
        copied = lib.GetData(handle, out, size)
        if copied != size:
            raise ConversionError("Error", "copying the XML failed")
        return out.raw[:size]
    finally:
        lib.ReleaseKDXHandle(handle)
