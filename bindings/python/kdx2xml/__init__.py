"""Converts KDX documents into XML through the kdx2xml shared library (ctypes).

    import kdx2xml
    xml = kdx2xml.convert_file("estimate.kdx")   # bytes of windows-1251 XML
    text = xml.decode("cp1251")

A document that cannot be converted raises ConversionError with the library's
failure class and message ("EReadError", "Stream read error").

The library is looked for in this order: the path given to load_library(), the
KDX2XML_LIBRARY environment variable, beside this package, and where the
system's loader finds installed libraries.
"""

import os

from ._library import ConversionError, convert, load_library

__all__ = ["ConversionError", "convert", "convert_file", "load_library"]
__version__ = "1.0.0"


def convert_file(path):
    """Converts the packed document in the file at path; returns the XML bytes."""
    with open(os.fspath(path), "rb") as f:
        return convert(f.read())
