"""Finding and calling the shared library, and the settings of one conversion."""

import ctypes
import ctypes.util
import datetime
import os
import re
import sys
import threading
from typing import NamedTuple, Optional, Union

MAX_INPUT = 0x7FFFFFFF  # InitKDX takes a 32-bit size
# The most XML a conversion through the exports can make (GetDataSize's range).
MAX_XML_SIZE = 0x7FFFFFFF
_ERROR_INVALID_PARAMETER = 87

if sys.platform == "win32":
    _NAMES = ["kdx2xml.dll"]
elif sys.platform == "darwin":
    _NAMES = ["libkdx2xml.1.dylib", "libkdx2xml.dylib"]
else:
    _NAMES = ["libkdx2xml.so.1", "libkdx2xml.so"]

Today = Union[datetime.date, str]


class ConversionError(Exception):
    """A document that could not be converted.

    failure_class and message are the library's ("EReadError", "Stream read
    error"; the README lists the classes); path is the file's path when the
    document came from one (convert_file), else None. str() gives
    "failure_class: message". Pickles whole, so it crosses process pools and
    Dask workers as itself.
    """

    def __init__(self, failure_class: str, message: str, path: Optional[str] = None):
        super().__init__(f"{failure_class}: {message}")
        self.failure_class = failure_class
        self.message = message
        self.path = path

    def __reduce__(self):
        return type(self), (self.failure_class, self.message, self.path)


class Settings(NamedTuple):
    """The checked settings of a conversion; 0 or None leaves one to the environment."""
    decimal_separator: int = 0           # the byte, 1 to 255
    today: Optional[datetime.date] = None
    max_xml_size: int = 0

    def environment(self):
        """The same settings as the environment variables the library reads (bytes)."""
        env = {}
        if self.decimal_separator:
            env["KDX2XML_DECIMAL_SEPARATOR"] = bytes([self.decimal_separator])
        if self.today is not None:
            midnight = datetime.datetime.combine(self.today, datetime.time(),
                                                 datetime.timezone.utc)
            env["SOURCE_DATE_EPOCH"] = b"%d" % midnight.timestamp()
        if self.max_xml_size:
            env["KDX2XML_MAX_XML_SIZE"] = b"%d" % self.max_xml_size
        return env


def settings(decimal_separator: Optional[str] = None, today: Optional[Today] = None,
             max_xml_size: Optional[int] = None) -> Settings:
    """Checks the settings of a conversion: TypeError or ValueError for a wrong one.

    decimal_separator: one character of the XML's encoding (windows-1251);
    today: a datetime.date or "YYYY-MM-DD"; max_xml_size: bytes, at least 1.
    None leaves a setting to the environment (KDX2XML_DECIMAL_SEPARATOR or the
    locale, SOURCE_DATE_EPOCH or the clock, KDX2XML_MAX_XML_SIZE).
    """
    separator = 0
    if decimal_separator is not None:
        if not isinstance(decimal_separator, str):
            raise TypeError(f"decimal_separator must be a str, not "
                            f"{type(decimal_separator).__name__}")
        try:
            encoded = decimal_separator.encode("cp1251")
        except UnicodeEncodeError:
            encoded = b""
        if len(decimal_separator) != 1 or len(encoded) != 1 or encoded == b"\0":
            raise ValueError(f"the decimal separator must be one character of windows-1251, "
                             f"not {decimal_separator!r}")
        separator = encoded[0]
    if isinstance(today, datetime.datetime):
        today = today.date()
    elif isinstance(today, str):
        if not re.fullmatch(r"\d{4}-\d{2}-\d{2}", today):
            raise ValueError(f"today must be a date YYYY-MM-DD, not {today!r}")
        try:
            today = datetime.date.fromisoformat(today)
        except ValueError as e:
            raise ValueError(f"today must be a date YYYY-MM-DD, not {today!r}: {e}") from None
    elif today is not None and not isinstance(today, datetime.date):
        raise TypeError(f"today must be a datetime.date or a str, not {type(today).__name__}")
    bound = 0
    if max_xml_size is not None:
        if isinstance(max_xml_size, bool) or not isinstance(max_xml_size, int):
            raise TypeError(f"max_xml_size must be an int, not {type(max_xml_size).__name__}")
        if max_xml_size < 1:
            raise ValueError(f"max_xml_size must be at least 1 byte, not {max_xml_size}")
        bound = min(max_xml_size, MAX_XML_SIZE)
    return Settings(separator, today, bound)


class _KDXSettings(ctypes.Structure):
    _fields_ = [("StructSize", ctypes.c_uint32), ("DecimalSeparator", ctypes.c_uint32),
                ("TodayYear", ctypes.c_int32), ("TodayMonth", ctypes.c_int32),
                ("TodayDay", ctypes.c_int32), ("Reserved", ctypes.c_uint32),
                ("MaxXmlSize", ctypes.c_uint64)]


_lib = None
_lock = threading.Lock()


class _EnvironmentLock:
    """For a library without InitKDXWithSettings, which takes settings from the
    environment only: a conversion with settings of its own holds the
    environment alone, conversions without share it."""

    def __init__(self):
        self._condition = threading.Condition()
        self._sharing = 0
        self._alone = False

    def shared(self):
        with self._condition:
            self._condition.wait_for(lambda: not self._alone)
            self._sharing += 1

    def release_shared(self):
        with self._condition:
            self._sharing -= 1
            self._condition.notify_all()

    def alone(self):
        with self._condition:
            self._condition.wait_for(lambda: not self._alone and not self._sharing)
            self._alone = True

    def release_alone(self):
        with self._condition:
            self._alone = False
            self._condition.notify_all()


_environment_lock = _EnvironmentLock()


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
    # The Windows DLLs have the five exports only; elsewhere settings go with
    # each call.
    lib.with_settings = hasattr(lib, "InitKDXWithSettings") and hasattr(lib, "KDXGetLastError")
    if lib.with_settings:
        lib.InitKDXWithSettings.argtypes = [ctypes.c_char_p, ctypes.c_int32,
                                            ctypes.POINTER(_KDXSettings)]
        lib.InitKDXWithSettings.restype = ctypes.c_size_t
        lib.KDXGetLastError.argtypes = []
        lib.KDXGetLastError.restype = ctypes.c_uint32
    lib.version = None
    return lib


def load_library(path=None) -> ctypes.CDLL:
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


def getenv(name):
    """The bytes of an environment variable as the library reads it, None when unset."""
    if sys.platform == "win32":
        # The DLLs read the environment of msvcrt.dll, which keeps its own copy
        # apart from the interpreter's C runtime.
        read = ctypes.cdll.msvcrt.getenv
        read.argtypes, read.restype = [ctypes.c_char_p], ctypes.c_char_p
        return read(name.encode())
    return os.environb.get(name.encode())


def _set_environment(env):
    """Sets (bytes) or removes (None) variables where the library reads them;
    returns the values they had."""
    before = {name: getenv(name) for name in env}
    for name, value in env.items():
        if sys.platform == "win32":
            ctypes.cdll.msvcrt._putenv_s(name.encode(), value or b"")
        elif value is None:
            os.environb.pop(name.encode(), None)
        else:
            os.environb[name.encode()] = value
    return before


def _init(lib, data, settings):
    """InitKDX with the settings; the handle, 0 when the conversion failed."""
    if not any(settings):
        if lib.with_settings:
            return lib.InitKDX(data, len(data))
        _environment_lock.shared()
        try:
            return lib.InitKDX(data, len(data))
        finally:
            _environment_lock.release_shared()
    if lib.with_settings:
        c = _KDXSettings(ctypes.sizeof(_KDXSettings), settings.decimal_separator)
        if settings.today is not None:
            c.TodayYear, c.TodayMonth, c.TodayDay = settings.today.timetuple()[:3]
        c.MaxXmlSize = settings.max_xml_size
        handle = lib.InitKDXWithSettings(data, len(data), ctypes.byref(c))
        if not handle and lib.KDXGetLastError() == _ERROR_INVALID_PARAMETER:
            raise ValueError(f"the library refused the settings {settings}")
        return handle
    _environment_lock.alone()
    try:
        before = _set_environment(settings.environment())
        try:
            return lib.InitKDX(data, len(data))
        finally:
            _set_environment(before)
    finally:
        _environment_lock.release_alone()


def convert(data, *, decimal_separator: Optional[str] = None, today: Optional[Today] = None,
            max_xml_size: Optional[int] = None) -> bytes:
    """Converts the bytes of a packed document; returns the XML bytes (windows-1251).

    data: bytes, bytearray, memoryview or any object with the buffer protocol
    (anything else is a TypeError). The settings, read for this call alone:
    decimal_separator, one character (default: KDX2XML_DECIMAL_SEPARATOR,
    else the locale's); today, a datetime.date or "YYYY-MM-DD", the date a
    document without its own takes (default: SOURCE_DATE_EPOCH, else the
    clock); max_xml_size, the most bytes of XML (default:
    KDX2XML_MAX_XML_SIZE, else and at most 2147483647). Raises
    ConversionError when the document cannot be converted, an XML over the
    bound included (failure_class "EOutOfMemory").

    A Windows DLL takes settings from the environment only: there a call with
    settings of its own sets the variables for its conversion, and such calls
    run one at a time.
    """
    if not isinstance(data, bytes):
        data = bytes(memoryview(data))
    return _convert(data, settings(decimal_separator, today, max_xml_size))


def _convert(data: bytes, checked: Settings) -> bytes:
    if len(data) > MAX_INPUT:
        raise ValueError("a document is at most 2 GiB")
    lib = _library()
    handle = _init(lib, data, checked)
    if not handle:
        text = _failure_text(lib)
        if text is None:
            raise ConversionError("Error", "the library gave no reason")
        failure_class, _, message = text.partition(": ")
        raise ConversionError(failure_class, message)
    try:
        size = lib.GetDataSize(handle)
        if size < 0:  # never from a library that bounds the XML; an older one wrapped
            raise ConversionError("EOutOfMemory", f"Out of memory: the XML would be larger than "
                                                  f"{MAX_XML_SIZE} bytes")
        out, address = _new_bytes(size)
        if lib.GetData(handle, address, size) != size:
            raise ConversionError("Error", "copying the XML out of the library failed")
        return out if isinstance(out, bytes) else out.raw
    finally:
        lib.ReleaseKDXHandle(handle)


def _new_bytes(size: int) -> "tuple[Union[bytes, ctypes.Array], int]":
    """Room for the XML and its address. In CPython a bytes object left
    uninitialised, which GetData fills with the interpreter lock released:
    its pages are first touched there, and the XML is not copied again. Else
    a ctypes buffer, copied into bytes after."""
    if _BYTES_NEW is not None and size > 0:
        out = _BYTES_NEW(None, size)
        return out, id(out) + _BYTES_DATA_OFFSET
    buffer = (ctypes.c_char * size)()
    return buffer, ctypes.addressof(buffer)


# CPython's bytes object keeps its bytes at a fixed offset: the size of its
# head less the byte of the closing NUL.
if sys.implementation.name == "cpython":
    _BYTES_NEW = ctypes.pythonapi.PyBytes_FromStringAndSize
    _BYTES_NEW.restype = ctypes.py_object
    _BYTES_NEW.argtypes = [ctypes.c_void_p, ctypes.c_ssize_t]
    _BYTES_DATA_OFFSET = bytes.__basicsize__ - 1
else:
    _BYTES_NEW = None


# The smallest document that converts: a price list without resources. Its
# XML's root carries the version of the library that made it.
_PROBE = bytes.fromhex("4b5230300300000000" "4b445f43656e6e6b" "01000100" "00000000")


def library_version() -> str:
    """The version of the loaded library, as it writes it on every XML's root
    (ProgramVersion), e.g. "1.0.0.0". Raises OSError when no library loads."""
    lib = _library()
    if lib.version is None:
        xml = _convert(_PROBE, Settings(max_xml_size=MAX_XML_SIZE))
        found = re.search(rb'ProgramVersion="([^"]*)"', xml[:512])
        lib.version = found.group(1).decode("cp1251") if found else ""
    return lib.version
