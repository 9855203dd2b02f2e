"""Many documents at once: convert_files, threads over the library."""

import concurrent.futures
import os
import tempfile
from typing import NamedTuple, Optional

from ._library import ConversionError, convert

ENCODINGS = {"windows-1251": "windows-1251", "cp1251": "windows-1251",
             "utf-8": "utf-8", "utf8": "utf-8"}

_DECLARATION_FROM = b'encoding="windows-1251"'
_DECLARATION_TO = b'encoding="utf-8"'


class Result(NamedTuple):
    """What became of one input of convert_files.

    status is "converted", "failed" (the document could not be converted:
    failure_class and message are the library's, as in ConversionError),
    "unreadable" (the input could not be read) or "unwritable" (the output
    could not be written); for the last two failure_class is the OSError's
    class and message its reason. output is the output file's path when an
    output folder was given (also when it could not be written), xml the XML
    bytes when none was.
    """
    path: str
    status: str
    output: Optional[str] = None
    xml: Optional[bytes] = None
    failure_class: Optional[str] = None
    message: Optional[str] = None

    @property
    def ok(self):
        return self.status == "converted"

    def describe(self):
        """The failure as the command-line tool prints it ("cannot convert X: EReadError:
        Stream read error"); None for a converted input."""
        if self.status == "converted":
            return None
        if self.status == "unreadable":
            return f"cannot read {self.path}: {self.message}"
        if self.status == "unwritable":
            return f"cannot write {self.output}: {self.message}"
        return f"cannot convert {self.path}: {self.failure_class}: {self.message}"


def xml_to_utf8(xml):
    """The windows-1251 XML of a conversion recoded into UTF-8, its declaration naming
    the new encoding. Byte 0x98, which windows-1251 leaves unassigned, becomes U+0098
    as in the command-line tool's --encoding utf-8."""
    text = xml.decode("cp1251", errors="surrogateescape").replace("\udc98", "\x98")
    out = text.encode("utf-8")
    if out.startswith(b"<?xml "):
        end = out.find(b"?>")
        at = out.find(_DECLARATION_FROM)
        if 0 <= at < end:
            out = out[:at] + _DECLARATION_TO + out[at + len(_DECLARATION_FROM):]
    return out


def encoding_name(encoding):
    """The canonical name of an output encoding; ValueError for an unknown one."""
    name = ENCODINGS.get(str(encoding).lower())
    if name is None:
        raise ValueError(f"unknown encoding '{encoding}' (windows-1251 or utf-8)")
    return name


def write_atomically(path, data):
    """Writes data to path through a temporary file in the same folder and a rename,
    so no half-written file ever stands under the final name."""
    folder = os.path.dirname(os.path.abspath(path))
    fd, temporary = tempfile.mkstemp(prefix="." + os.path.basename(path) + ".", suffix=".tmp",
                                     dir=folder)
    try:
        with os.fdopen(fd, "wb") as f:
            f.write(data)
        os.replace(temporary, path)
    except BaseException:
        try:
            os.unlink(temporary)
        except OSError:
            pass
        raise


def output_paths(paths, out_dir):
    """OUT_DIR/NAME.xml for every NAME.kdx, as the command-line tool names them.
    ValueError when two inputs would write the same file or an output is an input."""
    outputs, seen = [], {}
    for path in paths:
        stem = os.path.splitext(os.path.basename(path))[0]
        output = os.path.join(out_dir, stem + ".xml")
        key = os.path.normcase(os.path.normpath(output))
        if key in seen:
            raise ValueError(f"{seen[key]} and {path} would both be written to {output}")
        if os.path.exists(output) and os.path.exists(path) and os.path.samefile(path, output):
            raise ValueError(f"the output {output} would overwrite its input")
        seen[key] = path
        outputs.append(output)
    return outputs


def _reason(e):
    return type(e).__name__, e.strerror or str(e)


def convert_one(path, output=None, encoding="windows-1251", data=None):
    """Converts the file at path (or data, when given, read from there); writes the XML
    to output when given. Never raises for a bad document or a file error: the Result
    tells."""
    try:
        if data is None:
            with open(path, "rb") as f:
                data = f.read()
    except OSError as e:
        return Result(path, "unreadable", output, None, *_reason(e))
    try:
        xml = convert(data)
    except ConversionError as e:
        return Result(path, "failed", output, None, e.failure_class, e.message)
    del data
    if encoding == "utf-8":
        xml = xml_to_utf8(xml)
    if output is None:
        return Result(path, "converted", None, xml)
    try:
        write_atomically(output, xml)
    except OSError as e:
        return Result(path, "unwritable", output, None, *_reason(e))
    return Result(path, "converted", output)


def convert_files(paths, out_dir=None, jobs=None, encoding="windows-1251"):
    """Converts many files, jobs at a time (default: one per core), in threads: the
    library's calls release the interpreter lock, so the conversions run in parallel.

    Returns one Result per input, in the order of paths. With out_dir, each
    NAME.kdx is written to out_dir/NAME.xml (the folder is made when missing)
    and the Result holds the output's path; without it, the Result holds the
    XML bytes. encoding is "windows-1251" (the library's own) or "utf-8".
    ValueError before any work when two inputs would write the same file, an
    output would overwrite its input, or jobs is below 1; OSError when out_dir
    cannot be made.
    """
    paths = [os.fspath(p) for p in paths]
    encoding = encoding_name(encoding)
    if jobs is None:
        jobs = os.cpu_count() or 1
    if jobs < 1:
        raise ValueError("jobs must be at least 1")
    outputs = [None] * len(paths)
    if out_dir is not None:
        out_dir = os.fspath(out_dir)
        outputs = output_paths(paths, out_dir)
        os.makedirs(out_dir, exist_ok=True)
    if not paths:
        return []
    jobs = min(jobs, len(paths))
    if jobs == 1:
        return [convert_one(p, o, encoding) for p, o in zip(paths, outputs)]
    with concurrent.futures.ThreadPoolExecutor(jobs, thread_name_prefix="kdx2xml") as pool:
        return list(pool.map(convert_one, paths, outputs, [encoding] * len(paths)))
