"""The package's version, which is the project's: its CMakeLists.txt names it.

A wheel or an sdist carries this file as the build backend wrote it, holding
the version alone; run from the source tree, the package reads it from there.
"""

import os
import re


def _from_source_tree():
    cmakelists = os.path.join(os.path.dirname(__file__), os.pardir, os.pardir, os.pardir,
                              "CMakeLists.txt")
    try:
        with open(cmakelists, encoding="utf-8") as f:
            found = re.search(r"^project\(kdx2xml\s+VERSION\s+(\d+)\.(\d+)\.(\d+)", f.read(), re.M)
    except OSError:
        found = None
    return ".".join(found.groups()) if found else "0+unknown"


__version__ = _from_source_tree()
