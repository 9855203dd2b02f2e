"""Many documents at once: iter_convert and convert_files, threads over the library."""

import concurrent.futures
import os
import secrets
import stat
from typing import Callable, Iterable, Iterator, List, NamedTuple, Optional, Union

from ._library import MAX_INPUT, ConversionError, Settings, Today, _convert, _library, settings

ENCODINGS = {"windows-1251": "windows-1251", "cp1251": "windows-1251",
             "utf-8": "utf-8", "utf8": "utf-8"}

_DECLARATION_FROM = b'encoding="windows-1251"'
_DECLARATION_TO = b'encoding="utf-8"'

PathLike = Union[str, "os.PathLike[str]"]


class Result(NamedTuple):
    """What became of one input of iter_convert or convert_files.

    status is "converted", "failed" (the document could not be converted:
    failure_class and message are the library's, as in ConversionError),
    "unreadable" (the input could not be read) or "unwritable" (the output
    could not be written); for the last two failure_class is the OSError's
    class and message its reason. output is the output file's path when an
    output folder was given and the XML was written there, or could not be
    (unwritable); xml holds the XML bytes of a conversion without an output
    folder.
    """
    path: str
    status: str
    output: Optional[str] = None
    xml: Optional[bytes] = None
    failure_class: Optional[str] = None
    message: Optional[str] = None

    @property
    def ok(self) -> bool:
        return self.status == "converted"

    def describe(self) -> Optional[str]:
        """The failure as the command-line tool prints it ("cannot convert X: EReadError:
        Stream read error"); None for a converted input."""
        if self.status == "converted":
            return None
        if self.status == "unreadable":
            return f"cannot read {self.path}: {self.message}"
        if self.status == "unwritable":
            return f"cannot write {self.output}: {self.message}"
        return f"cannot convert {self.path}: {self.failure_class}: {self.message}"


def xml_to_utf8(xml: bytes) -> bytes:
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
    so no half-written file ever stands under the final name. A new file gets the
    permissions open() would give it (the umask's), a replaced one keeps its own."""
    folder, name = os.path.split(os.path.abspath(path))
    try:
        existing = os.stat(path)
        keep = stat.S_IMODE(existing.st_mode) if stat.S_ISREG(existing.st_mode) else None
    except OSError:
        keep = None
    flags = os.O_WRONLY | os.O_CREAT | os.O_EXCL | getattr(os, "O_BINARY", 0)
    while True:
        temporary = os.path.join(folder, f".{name}.{secrets.token_hex(8)}.tmp")
        try:
            fd = os.open(temporary, flags, 0o666)  # the umask applies
            break
        except FileExistsError:
            continue
    try:
        with os.fdopen(fd, "wb") as f:
            if keep is not None and os.name != "nt":
                os.chmod(temporary, keep)
            f.write(data)
        os.replace(temporary, path)
    except BaseException:
        try:
            os.unlink(temporary)
        except OSError:
            pass
        raise


def _paths(paths):
    if isinstance(paths, (str, bytes, os.PathLike)):
        raise TypeError(f"paths must be an iterable of paths, not one {type(paths).__name__}: "
                        f"pass [path]")
    return [os.fspath(p) for p in paths]


def output_paths(paths, out_dir, root=None):
    """OUT_DIR/NAME.xml for every NAME.kdx, as the command-line tool names them, or,
    with root, OUT_DIR/<path below root>.xml. ValueError when two inputs would write
    the same file, an output is an input, or an input is not below root."""
    outputs, seen = [], {}
    for path in paths:
        if root is None:
            relative = os.path.basename(path)
        else:
            relative = os.path.relpath(os.path.abspath(path), os.path.abspath(root))
            if relative == os.pardir or relative.startswith(os.pardir + os.sep):
                raise ValueError(f"{path} is not below the root {root}")
        output = os.path.join(out_dir, os.path.splitext(relative)[0] + ".xml")
        key = os.path.normcase(os.path.normpath(output))
        if key in seen:
            hint = " (root= keeps their folders apart)" if root is None else ""
            raise ValueError(f"{seen[key]} and {path} would both be written to {output}{hint}")
        if os.path.exists(output) and os.path.exists(path) and os.path.samefile(path, output):
            raise ValueError(f"the output {output} would overwrite its input")
        seen[key] = path
        outputs.append(output)
    return outputs


def _reason(e):
    return type(e).__name__, e.strerror or str(e)


def convert_one(path, output=None, encoding="windows-1251", data=None,
                checked: Settings = Settings()) -> Result:
    """Converts the file at path (or data, when given, read from there); writes the XML
    to output when given, making its folder. Never raises for a bad document or a file
    error: the Result tells."""
    try:
        if data is None:
            with open(path, "rb") as f:
                data = f.read()
    except OSError as e:
        return Result(path, "unreadable", None, None, *_reason(e))
    if len(data) > MAX_INPUT:
        return Result(path, "unreadable", None, None, "ValueError", "larger than 2 GiB")
    try:
        xml = _convert(data, checked)
    except ConversionError as e:
        return Result(path, "failed", None, None, e.failure_class, e.message)
    del data
    if encoding == "utf-8":
        xml = xml_to_utf8(xml)
    if output is None:
        return Result(path, "converted", None, xml)
    try:
        os.makedirs(os.path.dirname(output) or ".", exist_ok=True)
        write_atomically(output, xml)
    except OSError as e:
        return Result(path, "unwritable", output, None, *_reason(e))
    return Result(path, "converted", output)


def _indexed(paths, outputs, jobs, encoding, checked):
    """(index, Result) of every input as it is done; at most 2 x jobs results wait
    for the consumer, so the XML of an archive is never held all at once."""
    if jobs == 1:
        for i, (path, output) in enumerate(zip(paths, outputs)):
            yield i, convert_one(path, output, encoding, None, checked)
        return
    work = iter(enumerate(zip(paths, outputs)))
    with concurrent.futures.ThreadPoolExecutor(jobs, thread_name_prefix="kdx2xml") as pool:
        running = {}

        def submit(count):
            for i, (path, output) in work:
                running[pool.submit(convert_one, path, output, encoding, None, checked)] = i
                count -= 1
                if not count:
                    break

        submit(2 * jobs)
        try:
            while running:
                done, _ = concurrent.futures.wait(running, return_when="FIRST_COMPLETED")
                for future in done:
                    yield running.pop(future), future.result()
                submit(len(done))
        finally:
            for future in running:  # the consumer stopped early
                future.cancel()


def _start(paths, out_dir, jobs, root, encoding, decimal_separator, today, max_xml_size):
    """Everything checked before any work: (paths, outputs, jobs, encoding, settings)."""
    paths = _paths(paths)
    encoding = encoding_name(encoding)
    checked = settings(decimal_separator, today, max_xml_size)
    if jobs is None:
        jobs = os.cpu_count() or 1
    if jobs < 1:
        raise ValueError("jobs must be at least 1")
    outputs = [None] * len(paths)
    if out_dir is not None:
        out_dir = os.fspath(out_dir)
        outputs = output_paths(paths, out_dir, None if root is None else os.fspath(root))
    if paths:
        _library()  # a missing library is one OSError here, not one per input
    if out_dir is not None:
        os.makedirs(out_dir, exist_ok=True)
    return paths, outputs, max(1, min(jobs, len(paths))), encoding, checked


def iter_convert(paths: Iterable[PathLike], out_dir: Optional[PathLike] = None,
                 jobs: Optional[int] = None, *, root: Optional[PathLike] = None,
                 encoding: str = "windows-1251", decimal_separator: Optional[str] = None,
                 today: Optional[Today] = None,
                 max_xml_size: Optional[int] = None) -> Iterator[Result]:
    """Converts many files, jobs at a time (default: one per core), in threads, and
    yields one Result per input as each is done (not in input order).

    paths is an iterable of paths (a single str is a TypeError). With out_dir,
    each NAME.kdx is written to out_dir/NAME.xml, or, with root, to
    out_dir/<its path below root>.xml, keeping subfolders; the folders are made
    when missing and the Result holds the output's path. Without out_dir the
    Result holds the XML bytes: a few results at most wait for the consumer, so
    memory stays bounded however many files there are. encoding is
    "windows-1251" (the library's own) or "utf-8"; decimal_separator, today
    and max_xml_size as for convert().

    Raises before any work: ValueError when two inputs would write the same
    file, an output would overwrite its input, an input is not below root, a
    setting is wrong or jobs is below 1; OSError when the library cannot be
    loaded or out_dir cannot be made. A document or file that fails is a
    Result, never an exception.
    """
    started = _start(paths, out_dir, jobs, root, encoding, decimal_separator, today,
                     max_xml_size)
    return (result for _, result in _indexed(*started))


def convert_files(paths: Iterable[PathLike], out_dir: Optional[PathLike] = None,
                  jobs: Optional[int] = None, encoding: str = "windows-1251", *,
                  root: Optional[PathLike] = None,
                  progress: Optional[Callable[[int, int], None]] = None,
                  decimal_separator: Optional[str] = None, today: Optional[Today] = None,
                  max_xml_size: Optional[int] = None) -> List[Result]:
    """Converts many files as iter_convert does and returns one Result per input, in
    the order of paths. progress, when given, is called with (inputs done, inputs)
    after each input. Without out_dir every XML is held until the end: iterate
    iter_convert to handle each as it comes. The library's calls release the
    interpreter lock, so the threads convert in parallel.
    """
    paths, outputs, jobs, encoding, checked = _start(paths, out_dir, jobs, root, encoding,
                                                     decimal_separator, today, max_xml_size)
    results = [None] * len(paths)
    for done, (i, result) in enumerate(_indexed(paths, outputs, jobs, encoding, checked), 1):
        results[i] = result
        if progress is not None:
            progress(done, len(paths))
    return results
