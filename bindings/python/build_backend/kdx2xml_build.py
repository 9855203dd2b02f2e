"""Build backend of the kdx2xml Python package (PEP 517 and PEP 660).

The package is Python over the shared library (ctypes), so a wheel is a zip
of the kdx2xml/ folder with its metadata; this backend makes it with the
standard library alone. Name, description, Python requirement, licence and
classifiers come from pyproject.toml's [project] table; the version is the
project's, from the CMakeLists.txt two folders up (the "version" setting
overrides it, an sdist's PKG-INFO holds it), and the wheel carries it in
kdx2xml/_version.py. The licence file, LICENSE at the project's root, goes
into the dist-info folder.

By default the wheel is pure (py3-none-any) and finds an installed library.
The config setting "library" (pip's --config-settings library=FILE, or the
dictionary given to build_wheel) packs that library file into the package,
under the name the loader looks for beside it, and makes a platform wheel.
Its tag is the setting "platform" (win_amd64, win32, ...). For a Linux
library without one the tag is read from the library itself, as the usual
wheel-repair tool does: manylinux_2_N_ARCH when it needs no shared library
but glibc's (libc, libm, the loader), 2.N being the newest GLIBC_2.* symbol
version it names; otherwise this machine's platform tag (linux_x86_64), a
wheel for this system alone. The platform "manylinux" asks for the former
and fails when the library needs anything else. The library is called
through ctypes, not built against the interpreter, so one wheel serves every
Python 3 of the platform.
"""

import base64
import hashlib
import io
import os
import re
import struct
import sysconfig
import tarfile
import zipfile

_ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
_PACKAGE = "kdx2xml"
_PURE_TAG = "py3-none-any"
_VERSION_FILE = f"{_PACKAGE}/_version.py"
# The licence: at the project's root in the source tree, beside pyproject.toml
# in an sdist.
_LICENSE_PLACES = (os.path.join(_ROOT, "LICENSE"), os.path.join(_ROOT, os.pardir, os.pardir, "LICENSE"))


def _project_version():
    """MAJOR.MINOR.PATCH of the sdist's PKG-INFO, or of the project's CMakeLists.txt."""
    pkg_info = os.path.join(_ROOT, "PKG-INFO")
    if os.path.isfile(pkg_info):
        with open(pkg_info, encoding="utf-8") as f:
            return re.search(r"^Version: (\S+)$", f.read(), re.M).group(1)
    cmakelists = os.path.join(_ROOT, os.pardir, os.pardir, "CMakeLists.txt")
    with open(cmakelists, encoding="utf-8") as f:
        found = re.search(r"^project\(kdx2xml\s+VERSION\s+(\d+)\.(\d+)\.(\d+)", f.read(), re.M)
    if not found:
        raise ValueError(f"no project(kdx2xml VERSION ...) in {os.path.realpath(cmakelists)}")
    return ".".join(found.groups())


def _project(config_settings=None):
    """The string values of [project] in pyproject.toml, its licence text and
    classifiers, and the version."""
    with open(os.path.join(_ROOT, "pyproject.toml"), encoding="utf-8") as f:
        text = f.read()
    section = re.search(r"^\[project\]\s*$(.*?)(?=^\[|\Z)", text, re.M | re.S).group(1)
    values = dict(re.findall(r'^([A-Za-z-]+)\s*=\s*"([^"]*)"\s*$', section, re.M))
    license_text = re.search(r'^license\s*=\s*\{\s*text\s*=\s*"([^"]*)"\s*\}', section, re.M)
    if license_text:
        values["license"] = license_text.group(1)
    classifiers = re.search(r"^classifiers\s*=\s*\[(.*?)\]", section, re.M | re.S)
    values["classifiers"] = re.findall(r'"([^"]+)"', classifiers.group(1)) if classifiers else []
    values["version"] = (config_settings or {}).get("version") or _project_version()
    return values


def _metadata(project):
    lines = ["Metadata-Version: 2.1", f"Name: {project['name']}", f"Version: {project['version']}"]
    if "description" in project:
        lines.append(f"Summary: {project['description']}")
    if "license" in project:
        lines.append(f"License: {project['license']}")
    lines += [f"Classifier: {c}" for c in project["classifiers"]]
    if "requires-python" in project:
        lines.append(f"Requires-Python: {project['requires-python']}")
    return "\n".join(lines) + "\n"


def _license_file():
    """The licence file on disk, or None."""
    return next((p for p in _LICENSE_PLACES if os.path.isfile(p)), None)


def _version_module(project):
    return (f'"""The package\'s version, written by its build backend."""\n\n'
            f'__version__ = "{project["version"]}"\n').encode()


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


# ELF: the section types and the dynamic entry read, and the architecture
# names of the manylinux tags by machine number.
_SHT_DYNAMIC = 6
_SHT_GNU_VERNEED = 0x6FFFFFFE
_DT_NEEDED = 1
_ELF_ARCHES = {3: "i686", 62: "x86_64", 183: "aarch64", 21: "ppc64le", 22: "s390x"}
# glibc's own libraries: all a manylinux library may need here. libpthread,
# libdl and librt are separate only before glibc 2.34.
_GLIBC_LIBRARY = re.compile(r"^(libc\.so\.6|libm\.so\.6|libpthread\.so\.0|libdl\.so\.2|"
                            r"librt\.so\.1|ld-linux[-\w.]*\.so\.\d+|ld64\.so\.\d+)$")


def _elf_dependencies(path):
    """(architecture, the NEEDED libraries, {library: the symbol versions named
    from it}) of an ELF shared library, read from its section headers; None when
    the file is not ELF."""
    with open(path, "rb") as f:
        data = f.read()
    if data[:4] != b"\x7fELF":
        return None
    wide, order = data[4] == 2, "<" if data[5] == 1 else ">"
    machine = struct.unpack_from(order + "H", data, 18)[0]
    if wide:
        shoff, = struct.unpack_from(order + "Q", data, 0x28)
        shentsize, shnum = struct.unpack_from(order + "HH", data, 0x3A)
        section_format, dyn_format = order + "IIQQQQIIQQ", order + "qQ"
    else:
        shoff, = struct.unpack_from(order + "I", data, 0x20)
        shentsize, shnum = struct.unpack_from(order + "HH", data, 0x2E)
        section_format, dyn_format = order + "IIIIIIIIII", order + "iI"
    # (type, offset, size, link, info) of each section
    sections = [struct.unpack_from(section_format, data, shoff + i * shentsize)
                for i in range(shnum)]
    sections = [(s[1], s[4], s[5], s[6], s[7]) for s in sections]

    def text(table, offset):
        start = sections[table][1] + offset
        return data[start:data.index(b"\0", start)].decode()

    needed, versions = [], {}
    for kind, offset, size, link, info in sections:
        if kind == _SHT_DYNAMIC:
            step = struct.calcsize(dyn_format)
            for at in range(offset, offset + size, step):
                tag, value = struct.unpack_from(dyn_format, data, at)
                if tag == _DT_NEEDED:
                    needed.append(text(link, value))
        elif kind == _SHT_GNU_VERNEED:
            at = offset
            for _ in range(info):  # Verneed entries, each with its Vernaux entries
                _, count, file_name, aux, following = struct.unpack_from(order + "HHIII", data, at)
                names = versions.setdefault(text(link, file_name), [])
                entry = at + aux
                for _ in range(count):
                    _, _, _, name, aux_following = struct.unpack_from(order + "IHHII", data, entry)
                    names.append(text(link, name))
                    entry += aux_following
                at += following
    return _ELF_ARCHES.get(machine, f"machine{machine}"), needed, versions


def manylinux_tag(path):
    """(tag, None) of the manylinux platform a Linux library runs on, or
    (None, why not)."""
    read = _elf_dependencies(path)
    if read is None:
        return None, f"{path} is not an ELF file"
    arch, needed, versions = read
    others = [n for n in needed if not _GLIBC_LIBRARY.match(n)]
    if others:
        return None, f"{path} needs {', '.join(others)} besides glibc"
    if arch not in _ELF_ARCHES.values():
        return None, f"{path} is for an architecture manylinux does not name ({arch})"
    newest = (2, 5)  # the oldest glibc of any manylinux tag
    for library, names in versions.items():
        for name in names:
            found = re.match(r"^GLIBC_(\d+)\.(\d+)", name)
            if found:
                newest = max(newest, (int(found.group(1)), int(found.group(2))))
            elif not name.startswith("GLIBC_"):
                return None, f"{path} needs the symbol version {name} of {library}"
    return f"manylinux_{newest[0]}_{newest[1]}_{arch}", None


def _platform_tag(library, platform):
    """The platform tag of a wheel that carries library (see the module's text)."""
    if platform and platform != "manylinux":
        return platform
    tag, why_not = manylinux_tag(library)
    if tag:
        return tag
    if platform == "manylinux":
        raise ValueError(f"no manylinux wheel: {why_not}")
    return re.sub(r"[-.]", "_", sysconfig.get_platform())


def _bundled_library(config_settings):
    """(path in the wheel, file on disk, wheel tag): the library the settings name, or None."""
    settings = config_settings or {}
    library = settings.get("library")
    if not library:
        return None
    if not os.path.isfile(library):
        raise FileNotFoundError(f"the library to pack is not a file: {library}")
    platform = _platform_tag(library, settings.get("platform"))
    return (f"{_PACKAGE}/{_library_name(platform)}", os.path.realpath(library),
            f"py3-none-{platform}")


def _write_wheel(wheel_directory, project, contents, tag=_PURE_TAG, executable=()):
    """contents: (path in the wheel, bytes); executable: paths given mode 755.
    Adds the licence, the dist-info and RECORD."""
    dist_info = _dist_info(project)
    pure = "true" if tag == _PURE_TAG else "false"
    license_file = _license_file()
    if license_file:
        contents = list(contents) + [(f"{dist_info}/LICENSE", _read(license_file))]
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


def _package_contents(project):
    """(path in the wheel, bytes) of the package's Python files, the version
    module holding the project's version."""
    return [(name, _version_module(project) if name == _VERSION_FILE else _read(path))
            for name, path in _package_files()]


def prepare_metadata_for_build_wheel(metadata_directory, config_settings=None):
    project = _project(config_settings)
    dist_info = os.path.join(metadata_directory, _dist_info(project))
    os.makedirs(dist_info, exist_ok=True)
    with open(os.path.join(dist_info, "METADATA"), "w", encoding="utf-8") as f:
        f.write(_metadata(project))
    return _dist_info(project)


prepare_metadata_for_build_editable = prepare_metadata_for_build_wheel


def build_wheel(wheel_directory, config_settings=None, metadata_directory=None):
    project = _project(config_settings)
    contents = _package_contents(project)
    bundled = _bundled_library(config_settings)
    if bundled is None:
        return _write_wheel(wheel_directory, project, contents)
    name, library, tag = bundled
    contents.append((name, _read(library)))
    return _write_wheel(wheel_directory, project, contents, tag, executable=(name,))


def build_editable(wheel_directory, config_settings=None, metadata_directory=None):
    # A .pth file puts this folder on sys.path, so edits take effect at once.
    return _write_wheel(wheel_directory, _project(config_settings),
                        [(f"{_PACKAGE}_editable.pth", (_ROOT + "\n").encode())])


def build_sdist(sdist_directory, config_settings=None):
    project = _project(config_settings)
    base = f"{project['name']}-{project['version']}"
    files = [("pyproject.toml", os.path.join(_ROOT, "pyproject.toml")),
             ("build_backend/kdx2xml_build.py", os.path.abspath(__file__))]
    if _license_file():
        files.append(("LICENSE", _license_file()))
    name = f"{base}.tar.gz"
    with tarfile.open(os.path.join(sdist_directory, name), "w:gz", format=tarfile.PAX_FORMAT) as tar:
        entries = [(f"{base}/{arc}", _read(path)) for arc, path in files]
        entries += [(f"{base}/{arc}", data) for arc, data in _package_contents(project)]
        entries.append((f"{base}/PKG-INFO", _metadata(project).encode()))
        for arc, data in entries:
            info = tarfile.TarInfo(arc)
            info.size = len(data)
            info.mode = 0o644
            tar.addfile(info, io.BytesIO(data))
    return name
