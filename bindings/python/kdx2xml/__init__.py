"""Converts KDX documents into XML through the kdx2xml shared library (ctypes).

    import kdx2xml
    xml = kdx2xml.convert_file("estimate.kdx")   # bytes of windows-1251 XML
    text = xml.decode("cp1251")

    for r in kdx2xml.convert_files(paths, out_dir="xml", jobs=4):
        if not r.ok:
            print(r.describe())   # cannot convert a.kdx: EReadError: Stream read error

A document that cannot be converted raises ConversionError with the library's
failure class and message ("EReadError", "Stream read error"); convert_files
reports it in the input's Result instead. kdx2xml.cluster converts archives on
a Dask cluster.

The library is looked for in this order: the path given to load_library(), the
KDX2XML_LIBRARY environment variable, beside this package (where a platform
wheel puts it), and where the system's loader finds installed libraries.
"""

import os

from ._batch import Result, convert_files, xml_to_utf8
from ._library import ConversionError, convert, load_library
from ._version import __version__

__all__ = ["ConversionError", "Result", "convert", "convert_file", "convert_files",
           "load_library", "xml_to_utf8"]


def convert_file(path):
    """Converts the packed document in the file at path; returns the XML bytes."""
    with open(os.fspath(path), "rb") as f:
        return convert(f.read())
