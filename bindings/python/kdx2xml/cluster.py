"""Archives of KDX documents converted on a Dask cluster.

    python3 -m kdx2xml.cluster 'archive/**/*.kdx' -d OUT --scheduler tcp://HOST:8786
    python3 -m kdx2xml.cluster 'archive/**/*.kdx' -d OUT --local 2

Inputs and OUT are fsspec URLs (local paths, a shared file system, an object
store whose fsspec backend is installed). A pattern's matches keep their path
below the pattern's fixed part: archive/2021/a.kdx becomes OUT/2021/a.xml.
The inputs go out to the workers in batches; each worker converts with the
library of its installed kdx2xml package, with the settings the client fixed
for the run, and writes each XML through a temporary name and a rename, so no
half-written XML stands under a final name. The client records the run (its
settings, the workers' library version) and every input's outcome in
OUT/_manifest.jsonl, one JSON object a line, as the batches come back; a
second run with the same arguments skips the inputs the manifest records as
done (converted, its output still there with the recorded size, or failed as
a document), as long as the input's size, modification time (and content hash,
where the file system lists one) and the settings are unchanged. A worker that
dies loses nothing: the scheduler runs its batches again elsewhere and the
client keeps one row per input. At the end the manifest holds exactly one row
per input.

Needs Dask distributed and fsspec on the client and the workers (Debian:
python3-distributed, python3-dask, python3-fsspec), and this package on the
workers.
"""

import argparse
import asyncio
import datetime
import json
import locale
import math
import os
import posixpath
import re
import sys
import threading
import time
import uuid
from typing import Callable, Dict, Iterable, List, NamedTuple, Optional

from ._batch import ENCODINGS, Result, encoding_name, xml_to_utf8
from ._library import (MAX_INPUT, MAX_XML_SIZE, ConversionError, Today, _convert, getenv,
                       library_version, settings)

MANIFEST = "_manifest.jsonl"
FIELDS = ("input", "size", "mtime", "hash", "status", "output", "output_size", "failure_class",
          "message", "seconds", "run")
# Statuses that a later run leaves alone: a converted document whose output is
# still there, and a document that cannot be converted. Unreadable inputs,
# unwritable outputs and lost tasks are tried again.
DONE = ("converted", "failed")
MISSING = ("kdx2xml.cluster needs Dask distributed and fsspec (Debian packages python3-dask, "
           "python3-distributed and python3-fsspec, for /usr/bin/python3)")
# A batch holds at most this many files and bytes; with fewer inputs, each
# worker gets about four batches, so a slow batch does not hold up the end.
BATCH_FILES = 64
BATCH_BYTES = 64 << 20
BATCHES_PER_WORKER = 4
# Keys of an fsspec listing that tell when a file last changed and what it
# holds, by file system (local, S3, GCS, Azure, memory).
_MTIME_KEYS = ("mtime", "LastModified", "updated", "last_modified", "created")
_HASH_KEYS = ("ETag", "etag", "md5Hash", "crc32c", "content_md5")


def _fsspec():
    try:
        import fsspec
    except ImportError as e:
        raise ImportError(MISSING) from e
    return fsspec


def _distributed():
    try:
        import distributed
    except ImportError as e:
        raise ImportError(MISSING) from e
    return distributed


class NothingToDo(ValueError):
    """No input matched."""


class Input(NamedTuple):
    url: str
    relative: str            # below its pattern's fixed folder
    size: Optional[int]      # None when the input was not found
    mtime: object            # as the listing gives it, in a JSON form; None when it gives none
    hash: Optional[str]      # a content hash the listing gives at no cost, else None


class Item(NamedTuple):
    input: str       # URL
    output: str      # URL
    size: object     # bytes from the listing, None when the input was not found
    mtime: object = None
    hash: object = None


class Summary(NamedTuple):
    converted: int
    failed: int      # every input this run did not convert: documents, files and lost tasks
    skipped: int     # done by an earlier run
    seconds: float
    manifest: str
    exit_status: int
    failures: list  # the manifest rows of the inputs this run did not convert
    failed_before: int = 0  # of the skipped, documents that failed in an earlier run

    def line(self) -> str:
        """The closing line, like the command-line tool's."""
        done = f", {self.skipped} done before" if self.skipped else ""
        if self.failed_before:
            done += f" ({self.failed_before} of them failed)"
        return (f"kdx2xml: {self.converted} converted, {self.failed} failed{done} "
                f"in {self.seconds:.2f} s")


# --- inputs and outputs ------------------------------------------------------

def _pattern_regex(pattern):
    """A regular expression for a glob pattern below its fixed folder: * and ? stay
    within a folder, ** crosses folders and **/ also matches no folder at all."""
    out, i = [], 0
    while i < len(pattern):
        if pattern.startswith("**/", i):
            out.append("(?:.*/)?")
            i += 3
        elif pattern.startswith("**", i):
            out.append(".*")
            i += 2
        elif pattern[i] == "*":
            out.append("[^/]*")
            i += 1
        elif pattern[i] == "?":
            out.append("[^/]")
            i += 1
        elif pattern[i] == "[" and "]" in pattern[i + 2:]:
            end = pattern.index("]", i + 2)
            members = pattern[i + 1:end]
            out.append("[" + ("^" + members[1:] if members[0] == "!" else members) + "]")
            i = end + 1
        else:
            out.append(re.escape(pattern[i]))
            i += 1
    return re.compile("".join(out) + r"\Z")


def _url(fs, path):
    """The URL of a path of fs: the path itself on the local file system."""
    return path if _is_local(fs) else fs.unstrip_protocol(path)


def _protocols(fs):
    return fs.protocol if isinstance(fs.protocol, (tuple, list)) else (fs.protocol,)


def _is_local(fs):
    return bool({"file", "local"} & set(_protocols(fs)))


def _stamp(info):
    """(size, modification time, content hash) of an fsspec listing entry, in JSON
    forms that compare equal between runs."""
    mtime = next((info[k] for k in _MTIME_KEYS if info.get(k) is not None), None)
    if isinstance(mtime, datetime.datetime):
        mtime = mtime.isoformat()
    elif mtime is not None and not isinstance(mtime, (int, float)):
        mtime = str(mtime)
    digest = next((info[k] for k in _HASH_KEYS if info.get(k)), None)
    return info.get("size"), mtime, None if digest is None else str(digest)


def _url_to_fs(url, storage_options):
    """fsspec's (file system, path) of a URL; ImportError naming the URL when the
    file system's backend is not installed."""
    fsspec = _fsspec()
    try:
        return fsspec.core.url_to_fs(url, **(storage_options or {}))
    except ImportError as e:
        raise ImportError(f"cannot use {url}: {e}") from e


def _files_below(fs, folder):
    """{path: listing entry} of the files below folder (none when it does not exist)."""
    try:
        found = fs.find(folder, detail=True)
    except (FileNotFoundError, NotADirectoryError):
        return {}
    return {p: info for p, info in found.items() if info.get("type") != "directory"}


def list_inputs(patterns, storage_options=None) -> List[Input]:
    """The Inputs of patterns, in order.

    A pattern with wildcards matches files below its fixed folder; a folder
    stands for every .kdx file below it; any other name is taken as it is,
    so a missing file becomes a row of its own. An input named twice counts once.
    """
    found, seen = [], set()
    for pattern in patterns:
        fs, path = _url_to_fs(pattern, storage_options)
        wild = re.search(r"[*?[]", path)
        if wild:
            root = path[:path.rfind("/", 0, wild.start())]
            regex = _pattern_regex(path[len(root) + 1:])
            files = sorted((p, i) for p, i in _files_below(fs, root).items()
                           if regex.match(p[len(root) + 1:]))
        elif fs.isdir(path):
            root = path.rstrip("/")
            files = sorted((p, i) for p, i in _files_below(fs, root).items()
                           if p.lower().endswith(".kdx"))
        else:
            root = posixpath.dirname(path)
            try:
                files = [(path, fs.info(path))]
            except FileNotFoundError:
                files = [(path, {})]
        for p, info in files:
            url = _url(fs, p)
            if url not in seen:
                seen.add(url)
                found.append(Input(url, p[len(root):].lstrip("/"), *_stamp(info)))
    return found


def plan(patterns, out, storage_options=None) -> List[Item]:
    """The Items of a run: OUT/<path below the pattern>.xml for every input (its
    extension replaced). ValueError when two inputs would write the same output or
    an output would overwrite its input; NothingToDo (a ValueError) when no input
    matches."""
    out_fs, out_root = _url_to_fs(out, storage_options)
    out_root = out_root.rstrip("/")
    items, outputs = [], {}
    for url, relative, size, mtime, digest in list_inputs(patterns, storage_options):
        output = _url(out_fs, f"{out_root}/{posixpath.splitext(relative)[0]}.xml")
        if output in outputs:
            raise ValueError(f"{outputs[output]} and {url} would both be written to {output}")
        if output == url:
            raise ValueError(f"the output {output} would overwrite its input")
        outputs[output] = url
        items.append(Item(url, output, size, mtime, digest))
    if not items:
        raise NothingToDo("nothing to do: no input matches " + ", ".join(map(str, patterns)))
    return items


# --- on a worker ---------------------------------------------------------------

def _write_atomically(fs, path, data):
    """Writes data through a temporary name in the same folder and a rename."""
    folder, name = posixpath.split(path)
    fs.makedirs(folder, exist_ok=True)
    temporary = f"{folder}/.{name}.{uuid.uuid4().hex}.tmp"
    try:
        with fs.open(temporary, "wb") as f:
            f.write(data)
        if _is_local(fs):
            os.replace(temporary, path)  # atomic, and refuses a folder in the way
        else:
            fs.mv(temporary, path)
    except BaseException:
        try:
            fs.rm(temporary)
        except Exception:
            pass
        raise


_TEMPORARY = re.compile(r"\.(?P<name>.+)\.[0-9a-f]{32}\.tmp\Z")


def _sweep_temporaries(fs, items):
    """Removes what workers that died while writing left under temporary names.

    Only names made for these items' outputs are touched, and only once every
    batch of the run has ended, so no writer of this run is still at work."""
    wanted = {}
    for item in items:
        folder, name = posixpath.split(fs._strip_protocol(item.output))
        wanted.setdefault(folder, set()).add(name)
    for folder, names in wanted.items():
        try:
            found = fs.ls(folder, detail=False)
        except (FileNotFoundError, NotADirectoryError):
            continue
        for path in found:
            match = _TEMPORARY.match(posixpath.basename(path))
            if match and match["name"] in names:
                try:
                    fs.rm(path)
                except FileNotFoundError:
                    pass


def _row(item, status, **values):
    """A manifest row; output is named where an output was made or could not be."""
    row = dict.fromkeys(FIELDS)
    row.update(input=item.input, size=item.size, mtime=item.mtime, hash=item.hash,
               status=status,
               output=item.output if status in ("converted", "unwritable") else None)
    row.update(values)
    return row


def convert_batch(items, encoding="windows-1251", storage_options=None, conversion=None):
    """Converts a batch on a worker; one manifest row per item. A bad document, an
    unreadable input or an unwritable output is a row, never an exception.
    conversion: the settings of convert() as a dict (decimal_separator, today
    as "YYYY-MM-DD", max_xml_size)."""
    fsspec = _fsspec()
    options = storage_options or {}
    checked = settings(**(conversion or {}))
    rows = []
    for item in map(Item._make, items):
        start = time.perf_counter()

        def row(status, error=None, **values):
            if error is not None:
                values.update(failure_class=type(error).__name__,
                              message=getattr(error, "strerror", None) or str(error))
            return _row(item, status, seconds=round(time.perf_counter() - start, 6),
                        **values)

        try:
            with fsspec.open(item.input, "rb", **options) as f:
                data = f.read()
        except Exception as e:  # any storage backend's failure to read
            rows.append(row("unreadable", e))
            continue
        size = len(data)
        if size > MAX_INPUT:
            rows.append(row("unreadable", size=size, failure_class="ValueError",
                            message="larger than 2 GiB"))
            continue
        try:
            xml = _convert(data, checked)
        except ConversionError as e:
            rows.append(row("failed", size=size, failure_class=e.failure_class,
                            message=e.message))
            continue
        del data
        if encoding == "utf-8":
            xml = xml_to_utf8(xml)
        try:
            fs, path = fsspec.core.url_to_fs(item.output, **options)
            _write_atomically(fs, path, xml)
        except Exception as e:
            rows.append(row("unwritable", e, size=size))
            continue
        rows.append(row("converted", size=size, output_size=len(xml)))
    return rows


# --- the manifest ----------------------------------------------------------------

class Manifest:
    """OUT/_manifest.jsonl: a line per run (its id, start, package and library
    version, settings), then a row per input; rows kept by input, the last one
    read or added winning.

    While a run goes on, rows are appended as they come (where the file system
    can append; elsewhere the whole file is rewritten every half minute), so a
    stopped run resumes from them; finish() rewrites it with one row per input
    and the runs those rows name.
    """

    REWRITE_EVERY = 30.0

    def __init__(self, fs, folder):
        self.fs, self.path = fs, f"{folder}/{MANIFEST}"
        self.rows, self.runs = {}, {}
        if fs.exists(self.path):
            with fs.open(self.path, "rb") as f:
                for line in f:
                    try:
                        row = json.loads(line)
                        if "input" in row:
                            self.rows[row["input"]] = row
                        else:
                            self.runs[row["run"]] = row
                    except (ValueError, KeyError, TypeError):
                        pass  # a line cut short by a stopped run
        self._journal = None
        self._rewritten = time.monotonic()

    def last_settings(self):
        """The settings of the last run recorded, {} when none is."""
        return dict(list(self.runs.values())[-1].get("settings") or {}) if self.runs else {}

    def start(self, run):
        self.runs[run["run"]] = run
        self.fs.makedirs(posixpath.dirname(self.path), exist_ok=True)
        try:
            self._journal = self.fs.open(self.path, "ab")
        except (NotImplementedError, ValueError, OSError):
            self._journal = None
        self._append(run)

    def add(self, row):
        self.rows[row["input"]] = row
        self._append(row)

    def _append(self, line):
        if self._journal is not None:
            self._journal.write(_line(line))
            self._journal.flush()
        elif time.monotonic() - self._rewritten > self.REWRITE_EVERY:
            self._rewrite(list(self.rows))

    def finish(self, order):
        """Rewrites the manifest: the inputs of order first, then those of earlier
        runs with other arguments."""
        if self._journal is not None:
            self._journal.close()
            self._journal = None
        ordered = set(order)
        rest = [key for key in self.rows if key not in ordered]
        self._rewrite([key for key in order if key in self.rows] + rest)

    def _rewrite(self, keys):
        named = {self.rows[k].get("run") for k in keys}
        runs = [run for key, run in self.runs.items() if key in named]
        _write_atomically(self.fs, self.path, b"".join(
            [_line(run) for run in runs] + [_line(self.rows[k]) for k in keys]))
        self._rewritten = time.monotonic()


def _line(row):
    if "input" in row:
        row = {k: row.get(k) for k in FIELDS}
    return (json.dumps(row, ensure_ascii=False) + "\n").encode()


def _is_done(row, item, outputs, retry_failed, runs, conversion):
    if row is None or row.get("status") not in DONE:
        return False
    # The input changed since (or is gone), or went unrecorded by an older run.
    if item.size is None or row.get("size") != item.size:
        return False
    if (row.get("mtime"), row.get("hash")) != (item.mtime, item.hash):
        return False
    run = runs.get(row.get("run"))
    if run is None or run.get("settings") != conversion:
        return False  # converted with other settings
    if row["status"] == "failed":
        return not retry_failed
    return row.get("output") == item.output and outputs.get(item.output) == row.get("output_size")


# --- settings ------------------------------------------------------------------

_locale_lock = threading.Lock()


def _locale_separator():
    """The decimal separator of the environment's numeric locale, as the library
    reads it (one character, else ".")."""
    with _locale_lock:
        saved = locale.setlocale(locale.LC_NUMERIC)
        try:
            locale.setlocale(locale.LC_NUMERIC, "")
            separator = locale.localeconv()["decimal_point"]
        except locale.Error:
            separator = "."
        finally:
            locale.setlocale(locale.LC_NUMERIC, saved)
    return separator if len(separator) == 1 and separator.isascii() else "."


def _environment():
    """The settings the client's environment says: {name: (value, where from)}."""
    said = {}
    separator = getenv("KDX2XML_DECIMAL_SEPARATOR") or b""
    if len(separator) == 1 and separator != b"\0":
        said["decimal_separator"] = (separator.decode("cp1251", "replace"),
                                     "KDX2XML_DECIMAL_SEPARATOR")
    epoch = os.environ.get("SOURCE_DATE_EPOCH", "")
    if re.fullmatch(r"-?\d+", epoch):
        day = datetime.date(1970, 1, 1) + datetime.timedelta(days=int(epoch) // 86400)
        said["today"] = (day.isoformat(), "SOURCE_DATE_EPOCH")
    bound = os.environ.get("KDX2XML_MAX_XML_SIZE")
    if bound is not None:
        if not bound.isdigit() or int(bound) < 1:
            raise ValueError(f"KDX2XML_MAX_XML_SIZE is not a number of bytes: {bound}")
        said["max_xml_size"] = (min(int(bound), MAX_XML_SIZE), "KDX2XML_MAX_XML_SIZE")
    return said


def run_settings(encoding, decimal_separator, today, max_xml_size, earlier):
    """The settings of a run, every one fixed at the client so that every worker
    converts alike: ({name: value}, {name: where it came from}).

    Each comes from the argument, else the client's environment variable, else
    the last run of the manifest (earlier: its settings, so that a resumed run
    converts as the one it continues), else the client's locale and clock.
    """
    given = settings(decimal_separator, today, max_xml_size)  # checks them
    said = _environment()
    values = {"encoding": encoding}
    origins = {}
    defaults = {"decimal_separator": (_locale_separator, "the locale"),
                "today": (lambda: datetime.date.today().isoformat(), "the clock"),
                "max_xml_size": (lambda: MAX_XML_SIZE, "the library's bound")}
    arguments = {"decimal_separator": decimal_separator,
                 "today": given.today.isoformat() if given.today else None,
                 "max_xml_size": given.max_xml_size or None}
    for name, argument in arguments.items():
        if argument is not None:
            values[name], origins[name] = argument, "the argument"
        elif name in said:
            values[name], origins[name] = said[name]
        elif earlier.get(name) is not None:
            values[name], origins[name] = earlier[name], "the manifest"
        else:
            make, origins[name] = defaults[name]
            values[name] = make()
    return values, origins


# --- the client ----------------------------------------------------------------------

def batches(items, workers, files=None, max_bytes=BATCH_BYTES):
    """Splits items into batches of at most files items and max_bytes input bytes
    (a larger input goes alone)."""
    if files is None:
        files = max(1, min(BATCH_FILES, math.ceil(len(items) / (BATCHES_PER_WORKER * workers))))
    out, batch, size = [], [], 0
    for item in items:
        item_size = item.size or 0
        if batch and (len(batch) >= files or size + item_size > max_bytes):
            out.append(batch)
            batch, size = [], 0
        batch.append(item)
        size += item_size
    if batch:
        out.append(batch)
    return out


class Plan(NamedTuple):
    """What a run does, worked out before any cluster is involved (prepare())."""
    items: list
    todo: list
    out_fs: object
    manifest: Manifest
    settings: dict     # encoding, decimal_separator, today, max_xml_size
    origins: dict      # where each setting came from
    storage_options: Optional[dict]


def prepare(inputs, out, *, encoding="windows-1251", decimal_separator=None, today=None,
            max_xml_size=None, storage_options=None, retry_failed=False) -> Plan:
    """Lists the inputs, reads the manifest, fixes the settings and makes the output
    folder. Raises ValueError for wrong arguments (NothingToDo when no input
    matches), ImportError when a URL's fsspec backend is missing, OSError when a
    listing fails or the output folder cannot be made."""
    encoding = encoding_name(encoding)
    items = plan(inputs, out, storage_options)
    out_fs, out_root = _url_to_fs(out, storage_options)
    out_root = out_root.rstrip("/")
    try:
        out_fs.makedirs(out_root, exist_ok=True)
    except OSError as e:
        raise OSError(f"cannot create the output folder {out}: {e.strerror or e}") from e
    manifest = Manifest(out_fs, out_root)
    conversion, origins = run_settings(encoding, decimal_separator, today, max_xml_size,
                                       manifest.last_settings())
    outputs = {_url(out_fs, p): info.get("size")
               for p, info in _files_below(out_fs, out_root).items()}
    todo = [item for item in items
            if not _is_done(manifest.rows.get(item.input), item, outputs, retry_failed,
                            manifest.runs, conversion)]
    return Plan(items, todo, out_fs, manifest, conversion, origins, storage_options)


def _in_this_process(client):
    """Whether every worker of client is a thread of this process."""
    pids = client.run(os.getpid)
    return bool(pids) and set(pids.values()) == {os.getpid()}


def _library_versions(client):
    try:
        versions = sorted(set(client.run(library_version).values()))
    except Exception:  # a worker without the library: its batches say why
        return None
    return versions[0] if len(versions) == 1 else versions or None


def execute(plan_: Plan, client, *, batch_files=None, retries=2,
            progress: Optional[Callable[[int, int], None]] = None) -> Summary:
    """Runs a prepared Plan on the cluster of client; returns a Summary."""
    distributed = _distributed()
    from . import __version__
    start = time.monotonic()
    items, todo, manifest = plan_.items, plan_.todo, plan_.manifest
    if ("memory" in _protocols(plan_.out_fs) or
            any(item.input.startswith("memory://") for item in items)) and \
            not _in_this_process(client):
        raise OSError("memory:// is the memory of each process: the workers are other "
                      "processes, so what they wrote would be lost; use a file system they "
                      "share")
    workers = max(1, len(client.scheduler_info().get("workers", {})))
    run_id = uuid.uuid4().hex[:12]
    counter = iter(range(1 << 62))
    conversion = {k: v for k, v in plan_.settings.items() if k != "encoding"}

    def submit(batch):
        return client.submit(convert_batch, [tuple(i) for i in batch],
                             plan_.settings["encoding"], plan_.storage_options, conversion,
                             key=f"kdx2xml-{run_id}-{next(counter)}", retries=retries,
                             pure=False)

    manifest.start({"run": run_id,
                    "started": datetime.datetime.now(datetime.timezone.utc).isoformat(
                        timespec="seconds"),
                    "package_version": __version__,
                    "library_version": _library_versions(client),
                    "settings": plan_.settings})
    recorded = set()
    try:
        pending = {}
        for batch in batches(todo, workers, batch_files):
            pending[submit(batch)] = batch
        completed = distributed.as_completed(list(pending))
        for future in completed:
            batch = pending.pop(future)
            try:
                rows = future.result()
            except (Exception, asyncio.CancelledError) as e:
                if len(batch) > 1 and isinstance(e, distributed.KilledWorker):
                    # One input that brings its worker down must not take the
                    # others of its batch with it.
                    for item in batch:
                        single = submit([item])
                        pending[single] = [item]
                        completed.add(single)
                    continue
                rows = [_row(item, "error", failure_class=type(e).__name__,
                             message=str(e) or repr(e)) for item in batch]
            finally:
                future.release()
            for row in rows:
                if row["input"] not in recorded:  # a batch run twice counts once
                    recorded.add(row["input"])
                    row["run"] = run_id
                    manifest.add(row)
            if progress is not None:
                progress(len(recorded), len(todo))
        _sweep_temporaries(plan_.out_fs, items)
    finally:
        manifest.finish([item.input for item in items])

    rows = [manifest.rows[item.input] for item in items if item.input in recorded]
    failures = [row for row in rows if row["status"] != "converted"]
    failed_before = sum(1 for item in items if item.input not in recorded
                        and manifest.rows[item.input]["status"] == "failed")
    if failed_before or any(row["status"] == "failed" for row in failures):
        exit_status = 1
    else:
        exit_status = 3 if failures else 0
    return Summary(len(rows) - len(failures), len(failures), len(items) - len(todo),
                   time.monotonic() - start, _url(plan_.out_fs, manifest.path), exit_status,
                   failures, failed_before)


def run(inputs: Iterable[str], out: str, client, *, encoding: str = "windows-1251",
        batch_files: Optional[int] = None, retries: int = 2,
        storage_options: Optional[Dict] = None, retry_failed: bool = False,
        progress: Optional[Callable[[int, int], None]] = None,
        decimal_separator: Optional[str] = None, today: Optional[Today] = None,
        max_xml_size: Optional[int] = None) -> Summary:
    """Converts every input on the cluster of client into out; returns a Summary.

    inputs: fsspec URLs, folders or patterns; out: an fsspec URL of a folder.
    The settings (decimal_separator, today, max_xml_size, as for
    kdx2xml.convert) are fixed here for every worker: each not given comes from
    this process's environment variable, else the manifest's last run, else
    this process's locale and clock; the manifest records them. progress, when
    given, is called with (inputs recorded, inputs to convert) after each
    batch. retries: how often a batch that raised is run again by the scheduler
    (a batch whose worker died is run again regardless, up to the scheduler's
    allowed failures). A batch that kept killing its workers is split into
    single inputs; the inputs of a batch that still fails are recorded with
    status "error" and the reason.

    Raises before any work: ValueError for wrong arguments (NothingToDo when no
    input matches), ImportError when Dask, fsspec or a URL's fsspec backend is
    missing, OSError when a listing fails, the output folder cannot be made or
    a memory:// URL meets workers in other processes.
    """
    prepared = prepare(inputs, out, encoding=encoding, decimal_separator=decimal_separator,
                       today=today, max_xml_size=max_xml_size,
                       storage_options=storage_options, retry_failed=retry_failed)
    return execute(prepared, client, batch_files=batch_files, retries=retries,
                   progress=progress)


def local_client(workers, threads_per_worker=1):
    """A client of a cluster of worker processes on this machine (127.0.0.1)."""
    distributed = _distributed()
    cluster = distributed.LocalCluster(n_workers=workers, threads_per_worker=threads_per_worker,
                                       processes=True, host="127.0.0.1", dashboard_address=None)
    return distributed.Client(cluster)


def _error(text):
    from ._terminal import printable
    print(f"kdx2xml: {printable(text) if sys.stderr.isatty() else text}", file=sys.stderr)


def main(argv=None):
    from .__main__ import add_setting_options
    from ._terminal import Progress
    parser = argparse.ArgumentParser(
        prog="python3 -m kdx2xml.cluster",
        description="Converts archives of KDX documents on a Dask cluster, with a manifest "
                    "of every input in OUT/_manifest.jsonl; a second run resumes. Exit "
                    "status: 0 all converted, 1 a document failed (in this run or before), "
                    "2 wrong command line or nothing to do, 3 a file, a batch or the "
                    "environment failed.")
    parser.add_argument("inputs", nargs="+", metavar="INPUT",
                        help="fsspec URL, folder or pattern ('archive/**/*.kdx'; quote it)")
    parser.add_argument("-d", "--output-dir", required=True, metavar="OUT",
                        help="fsspec URL of the output folder")
    where = parser.add_mutually_exclusive_group(required=True)
    where.add_argument("--scheduler", metavar="ADDRESS", help="the scheduler, tcp://HOST:8786")
    where.add_argument("--local", type=int, metavar="N",
                       help="start a cluster of N worker processes on this machine")
    parser.add_argument("--encoding", default="windows-1251", type=str.lower,
                        choices=sorted(ENCODINGS), metavar="ENC",
                        help="windows-1251 (default) or utf-8")
    add_setting_options(parser)
    parser.add_argument("--batch-files", type=int, metavar="N",
                        help=f"inputs per batch (default: about {BATCHES_PER_WORKER} batches "
                             f"per worker, at most {BATCH_FILES})")
    parser.add_argument("--retry-failed", action="store_true",
                        help="convert again the documents that an earlier run could not")
    args = parser.parse_args(argv)
    if args.local is not None and args.local < 1:
        parser.error("--local needs at least one worker")
    if args.batch_files is not None and args.batch_files < 1:
        parser.error("--batch-files needs at least one file")

    try:
        prepared = prepare(args.inputs, args.output_dir, encoding=args.encoding,
                           decimal_separator=args.decimal_separator, today=args.today,
                           max_xml_size=args.max_xml_size, retry_failed=args.retry_failed)
    except ValueError as e:
        _error(str(e))
        return 2
    except (ImportError, OSError) as e:
        _error(str(e))
        return 3
    unsaid = [f"{name.replace('_', ' ')} '{prepared.settings[name]}' from {origin}"
              for name, origin in prepared.origins.items() if origin in ("the locale", "the clock")]
    if unsaid:
        _error("settings " + ", ".join(unsaid) +
               " (--decimal-separator and --today set them)")

    try:
        client = local_client(args.local) if args.local else _distributed().Client(args.scheduler)
    except ImportError as e:
        _error(str(e))
        return 3
    except OSError as e:
        _error(f"cannot reach the scheduler {args.scheduler}: {e}")
        return 3
    local = client.cluster if args.local else None
    shown = Progress(len(prepared.todo))
    try:
        summary = execute(prepared, client, batch_files=args.batch_files,
                          progress=lambda done, total: shown.update(done))
    except OSError as e:
        _error(str(e))
        return 3
    except KeyboardInterrupt:
        _error("interrupted: run the same command again to resume")
        return 130
    finally:
        shown.finish()
        client.close()
        if local is not None:
            local.close()
    for row in summary.failures:
        failure = Result(row["input"], row["status"], row["output"], None, row["failure_class"],
                         row["message"])
        _error(failure.describe())
    _error(f"manifest {summary.manifest}")
    print(summary.line(), file=sys.stderr)
    return summary.exit_status


if __name__ == "__main__":
    # Run from the package's module, so that the functions the workers run are
    # sent by name (kdx2xml.cluster.convert_batch), not as code of __main__.
    from kdx2xml.cluster import main as _main
    sys.exit(_main())
