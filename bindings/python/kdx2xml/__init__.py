"""Converts KDX documents into XML through the kdx2xml shared library (ctypes).

    import kdx2xml
    xml = kdx2xml.convert_file("estimate.kdx")   # bytes of windows-1251 XML
    text = xml.decode("cp1251")
    xml = kdx2xml.convert(data, decimal_separator=",", today="2023-03-15")

    for r in kdx2xml.iter_convert(paths, out_dir="xml", jobs=4):
        if not r.ok:
            print(r.describe())   # cannot convert a.kdx: EReadError: Stream read error

A document that cannot be converted raises ConversionError with the library's
failure class and message ("EReadError", "Stream read error"; the README lists
the classes); iter_convert and convert_files report it in the input's Result
instead. Settings (decimal_separator, today, max_xml_size) go with each call;
left out, the library takes them from the environment. kdx2xml.cluster
converts archives on a Dask cluster.

The library is looked for in this order: the path given to load_library(), the
KDX2XML_LIBRARY environment variable, beside this package (where a platform
wheel puts it), and where the system's loader finds installed libraries.
"""

import os
from typing import Optional

from ._batch import PathLike, Result, convert_files, iter_convert, xml_to_utf8
from ._library import ConversionError, Today, convert, library_version, load_library

__all__ = ["ConversionError", "Result", "convert", "convert_file", "convert_files",
           "iter_convert", "library_version", "load_library", "xml_to_utf8"]
__version__ = "1.0.0"


def convert_file(path: PathLike, *, decimal_separator: Optional[str] = None,
                 today: Optional[Today] = None, max_xml_size: Optional[int] = None) -> bytes:
    """Converts the packed document in the file at path; returns the XML bytes.

    The settings as for convert(). Raises OSError when the file cannot be
    read, ConversionError (its path the file's) when the document cannot be
    converted.
    """
    path = os.fspath(path)
    with open(path, "rb") as f:
        data = f.read()
    try:
        return convert(data, decimal_separator=decimal_separator, today=today,
                       max_xml_size=max_xml_size)
    except ConversionError as e:
        e.path = path
        raise
