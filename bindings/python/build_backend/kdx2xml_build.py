"""Build backend of the kdx2xml Python package (PEP 517 and PEP 660).

The package is Python over the shared library (ctypes), so a wheel is a zip
of the kdx2xml/ folder with its metadata; this backend makes it with the
standard library alone. Name, description and Python requirement come from
pyproject.toml's [project] table, the version from kdx2xml/__init__.py.

By default the wheel is pure (py3-none-any) and finds an installed library.
The config setting "library" (pip's --config-settings library=FILE, or the
dictionary given to build_wheel) packs that library file into the package,
under the name the loader looks for beside it, and makes a platform wheel:
its tag is the setting "platform" (linux_x86_64, win_amd64, win32, ...),
by default this machine's. The library is called through ctypes, not built
against the interpreter, so one wheel serves every Python 3 of the platform.
"""

import base64
import hashlib
import io
import os
import re
import sysconfig
import tarfile
import zipfile

_ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
_PACKAGE = "kdx2xml"
_PURE_TAG = "py3-none-any"


def _project():
    """The string values of [project] in pyproject.toml."""
    with open(os.path.join(_ROOT, "pyproject.toml"), encoding="utf-8") as f:
        text = f.read()
    section = re.search(r"^\[project\]\s*$(.*?)(?=^\[|\Z)", text, re.M | re.S)
    values = dict(re.findall(r'^([A-Za-z-]+)\s*=\s*"([^"]*)"\s*$', section.group(1), re.M))
    with open(os.path.join(_ROOT, _PACKAGE, "__init__.py"), encoding="utf-8") as f:
        values["version"] = re.search(r'^__version__ = "([^"]+)"', f.read(), re.M).group(1)
    return values


def _metadata(project):
    lines = ["Metadata-Version: 2.1", f"Name: {project['name']}", f"Version: {project['version']}"]
    if "description" in project:
        lines.append(f"Summary: {project['description']}")
    if "requires-python" in project:
        lines.append(f"Requires-Python: {project['requires-python']}")
    return "\n".join(lines) + "\n"


def _package_files():
    """(path in the archive, path on disk) of every Python file of the package and
    its py.typed marker; a library a developer put beside it is not one of them."""
    files = []
    for folder, dirs, names in os.walk(os.path.join(_ROOT, _PACKAGE)):
        dirs[:] = sorted(d for d in dirs if d != "__pycache__")
        for name in sorted(names):
            if not name.endswith(".py") and name != "py.typed":
                continue
            full = os.path.join(folder, name)
            files.append((os.path.relpath(full, _ROOT).replace(os.sep, "/"), full))
    return files


def _dist_info(project):
    return f"{project['name'].replace('-', '_')}-{project['version']}.dist-info"


def _library_name(platform):
    """The file name under which the package's loader finds a library beside it."""
    if platform.startswith("win"):
        return "kdx2xml.dll"
    if platform.startswith("macosx"):
        return "libkdx2xml.1.dylib"
    return "libkdx2xml.so.1"


def _bundled_library(config_settings):
    """(path in the wheel, file on disk, wheel tag): the library the settings name, or None."""
    settings = config_settings or {}
    library = settings.get("library")
    if not library:
        return None
    if not os.path.isfile(library):
        raise FileNotFoundError(f"the library to pack is not a file: {library}")
    platform = settings.get("platform") or re.sub(r"[-.]", "_", sysconfig.get_platform())
    return (f"{_PACKAGE}/{_library_name(platform)}", os.path.realpath(library),
            f"py3-none-{platform}")


def _write_wheel(wheel_directory, project, contents, tag=_PURE_TAG, executable=()):
    """contents: (path in the wheel, bytes); executable: paths given mode 755.
    Adds the dist-info and RECORD."""
    dist_info = _dist_info(project)
    pure = "true" if tag == _PURE_TAG else "false"
    contents = list(contents) + [
        (f"{dist_info}/METADATA", _metadata(project).encode()),
        (f"{dist_info}/WHEEL", (f"Wheel-Version: 1.0\nGenerator: kdx2xml_build\n"
                                f"Root-Is-Purelib: {pure}\nTag: {tag}\n").encode()),
    ]
    record = []
    for name, data in contents:
        digest = base64.urlsafe_b64encode(hashlib.sha256(data).digest()).rstrip(b"=").decode()
        record.append(f"{name},sha256={digest},{len(data)}")
    record.append(f"{dist_info}/RECORD,,")
    contents.append((f"{dist_info}/RECORD", ("\n".join(record) + "\n").encode()))

    wheel_name = f"{project['name'].replace('-', '_')}-{project['version']}-{tag}.whl"
    with zipfile.ZipFile(os.path.join(wheel_directory, wheel_name), "w",
                         zipfile.ZIP_DEFLATED) as wheel:
        for name, data in contents:
            info = zipfile.ZipInfo(name, date_time=(1980, 1, 1, 0, 0, 0))
            info.external_attr = (0o755 if name in executable else 0o644) << 16
            info.compress_type = zipfile.ZIP_DEFLATED
            wheel.writestr(info, data)
    return wheel_name


def _read(path):
    with open(path, "rb") as f:
        return f.read()


def get_requires_for_build_wheel(config_settings=None):
    return []


def get_requires_for_build_sdist(config_settings=None):
    return []


def get_requires_for_build_editable(config_settings=None):
    return []


def prepare_metadata_for_build_wheel(metadata_directory, config_settings=None):
    project = _project()
    dist_info = os.path.join(metadata_directory, _dist_info(project))
    os.makedirs(dist_info, exist_ok=True)
    with open(os.path.join(dist_info, "METADATA"), "w", encoding="utf-8") as f:
        f.write(_metadata(project))
    return _dist_info(project)


prepare_metadata_for_build_editable = prepare_metadata_for_build_wheel


def build_wheel(wheel_directory, config_settings=None, metadata_directory=None):
    contents = [(name, _read(path)) for name, path in _package_files()]
    bundled = _bundled_library(config_settings)
    if bundled is None:
        return _write_wheel(wheel_directory, _project(), contents)
    name, library, tag = bundled
    contents.append((name, _read(library)))
    return _write_wheel(wheel_directory, _project(), contents, tag, executable=(name,))


def build_editable(wheel_directory, config_settings=None, metadata_directory=None):
    # A .pth file puts this folder on sys.path, so edits take effect at once.
    return _write_wheel(wheel_directory, _project(),
                        [(f"{_PACKAGE}_editable.pth", (_ROOT + "\n").encode())])


def build_sdist(sdist_directory, config_settings=None):
    project = _project()
    base = f"{project['name']}-{project['version']}"
    files = [("pyproject.toml", os.path.join(_ROOT, "pyproject.toml")),
             ("build_backend/kdx2xml_build.py", os.path.abspath(__file__))] + _package_files()
    name = f"{base}.tar.gz"
    with tarfile.open(os.path.join(sdist_directory, name), "w:gz", format=tarfile.PAX_FORMAT) as tar:
        entries = [(f"{base}/{arc}", _read(path)) for arc, path in files]
        entries.append((f"{base}/PKG-INFO", _metadata(project).encode()))
        for arc, data in entries:
            info = tarfile.TarInfo(arc)
            info.size = len(data)
            info.mode = 0o644
            tar.addfile(info, io.BytesIO(data))
    return name
