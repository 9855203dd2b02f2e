"""Archives of KDX documents converted on a Dask cluster.

    python3 -m kdx2xml.cluster 'archive/**/*.kdx' -d OUT --scheduler tcp://HOST:8786
    python3 -m kdx2xml.cluster 'archive/**/*.kdx' -d OUT --local 2

Inputs and OUT are fsspec URLs (local paths, a shared file system, an object
store whose fsspec backend is installed). A pattern's matches keep their path
below the pattern's fixed part: archive/2021/a.kdx becomes OUT/2021/a.xml.
The inputs go out to the workers in batches; each worker converts with the
library of its installed kdx2xml package and writes each XML through a
temporary name and a rename, so no half-written XML stands under a final
name. The client records every input's outcome in OUT/_manifest.jsonl, one
JSON object a line (input, size, status, output, output_size, failure_class,
message, seconds), as the batches come back; a second run with the same
arguments skips the inputs the manifest records as done (converted, its
output still there with the recorded size, or failed as a document). A worker
that dies loses nothing: the scheduler runs its batches again elsewhere and
the client keeps one row per input. At the end the manifest holds exactly one
row per input.

Needs Dask distributed and fsspec on the client and the workers (Debian:
python3-distributed, python3-dask, python3-fsspec), and this package on the
workers.
"""

import argparse
import asyncio
import json
import math
import os
import posixpath
import re
import sys
import time
import uuid
from typing import NamedTuple

from ._batch import ENCODINGS, Result, encoding_name, xml_to_utf8
from ._library import ConversionError, convert

MANIFEST = "_manifest.jsonl"
FIELDS = ("input", "size", "status", "output", "output_size", "failure_class", "message",
          "seconds")
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


class Item(NamedTuple):
    input: str       # URL
    output: str      # URL
    size: object     # bytes from the listing, None when the input was not found there


class Summary(NamedTuple):
    converted: int
    failed: int      # every input not converted: documents, files and lost tasks
    skipped: int     # done by an earlier run
    seconds: float
    manifest: str
    exit_status: int
    failures: list  # the manifest rows of the inputs this run did not convert

    def line(self):
        """The closing line, like the command-line tool's."""
        done = f", {self.skipped} done before" if self.skipped else ""
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


def _is_local(fs):
    protocols = fs.protocol if isinstance(fs.protocol, (tuple, list)) else (fs.protocol,)
    return "file" in protocols or "local" in protocols


def _files_below(fs, folder):
    """{path: size} of the files below folder (none when it does not exist)."""
    try:
        found = fs.find(folder, detail=True)
    except (FileNotFoundError, NotADirectoryError):
        return {}
    return {p: info.get("size") for p, info in found.items() if info.get("type") != "directory"}


def list_inputs(patterns, storage_options=None):
    """(URL, path below its pattern's fixed folder, size) of every input.

    A pattern with wildcards matches files below its fixed folder; a folder
    stands for every .kdx file below it; any other name is taken as it is,
    so a missing file becomes a row of its own. An input named twice counts once.
    """
    fsspec = _fsspec()
    found, seen = [], set()
    for pattern in patterns:
        fs, path = fsspec.core.url_to_fs(pattern, **(storage_options or {}))
        wild = re.search(r"[*?[]", path)
        if wild:
            root = path[:path.rfind("/", 0, wild.start())]
            regex = _pattern_regex(path[len(root) + 1:])
            files = sorted((p, s) for p, s in _files_below(fs, root).items()
                           if regex.match(p[len(root) + 1:]))
        elif fs.isdir(path):
            root = path.rstrip("/")
            files = sorted((p, s) for p, s in _files_below(fs, root).items()
                           if p.lower().endswith(".kdx"))
        else:
            root = posixpath.dirname(path)
            files = [(path, None)]
        for p, size in files:
            url = _url(fs, p)
            if url not in seen:
                seen.add(url)
                found.append((url, p[len(root):].lstrip("/"), size))
    return found


def plan(patterns, out, storage_options=None):
    """The Items of a run: OUT/<path below the pattern>.xml for every input (its
    extension replaced). ValueError when two inputs would write the same output or
    an output would overwrite its input."""
    fsspec = _fsspec()
    out_fs, out_root = fsspec.core.url_to_fs(out, **(storage_options or {}))
    out_root = out_root.rstrip("/")
    items, outputs = [], {}
    for url, relative, size in list_inputs(patterns, storage_options):
        output = _url(out_fs, f"{out_root}/{posixpath.splitext(relative)[0]}.xml")
        if output in outputs:
            raise ValueError(f"{outputs[output]} and {url} would both be written to {output}")
        if output == url:
            raise ValueError(f"the output {output} would overwrite its input")
        outputs[output] = url
        items.append(Item(url, output, size))
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
    row.update(input=item.input, size=item.size, status=status,
               output=item.output if status in ("converted", "unwritable") else None)
    row.update(values)
    return row


def convert_batch(items, encoding="windows-1251", storage_options=None):
    """Converts a batch on a worker; one manifest row per item. A bad document, an
    unreadable input or an unwritable output is a row, never an exception."""
    fsspec = _fsspec()
    options = storage_options or {}
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
        try:
            xml = convert(data)
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
    """OUT/_manifest.jsonl: rows kept by input, the last one read or added winning.

    While a run goes on, rows are appended as they come (where the file system
    can append; elsewhere the whole file is rewritten every half minute), so a
    stopped run resumes from them; finish() rewrites it with one row per input.
    """

    REWRITE_EVERY = 30.0

    def __init__(self, fs, folder):
        self.fs, self.path = fs, f"{folder}/{MANIFEST}"
        self.rows = {}
        if fs.exists(self.path):
            with fs.open(self.path, "rb") as f:
                for line in f:
                    try:
                        row = json.loads(line)
                        self.rows[row["input"]] = row
                    except (ValueError, KeyError, TypeError):
                        pass  # a line cut short by a stopped run
        self._journal = None
        self._rewritten = time.monotonic()

    def start(self):
        self.fs.makedirs(posixpath.dirname(self.path), exist_ok=True)
        try:
            self._journal = self.fs.open(self.path, "ab")
        except (NotImplementedError, ValueError, OSError):
            self._journal = None

    def add(self, row):
        self.rows[row["input"]] = row
        if self._journal is not None:
            self._journal.write(_line(row))
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
        _write_atomically(self.fs, self.path, b"".join(_line(self.rows[k]) for k in keys))
        self._rewritten = time.monotonic()


def _line(row):
    return (json.dumps({k: row.get(k) for k in FIELDS}, ensure_ascii=False) + "\n").encode()


def _is_done(row, item, outputs, retry_failed):
    if row is None or row.get("status") not in DONE:
        return False
    if item.size is not None and row.get("size") != item.size:
        return False  # the input changed since
    if row["status"] == "failed":
        return not retry_failed
    return row.get("output") == item.output and outputs.get(item.output) == row.get("output_size")


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


def run(inputs, out, client, *, encoding="windows-1251", batch_files=None, retries=2,
        storage_options=None, retry_failed=False, progress=None):
    """Converts every input on the cluster of client into out; returns a Summary.

    inputs: fsspec URLs or patterns; out: an fsspec URL of a folder. progress,
    when given, is called with (inputs recorded, inputs to convert) after each
    batch. retries: how often a batch that raised is run again by the scheduler
    (a batch whose worker died is run again regardless, up to the scheduler's
    allowed failures). A batch that kept killing its workers is split into
    single inputs; the inputs of a batch that still fails are recorded with
    status "error" and the reason.
    """
    distributed = _distributed()
    fsspec = _fsspec()
    encoding = encoding_name(encoding)
    start = time.monotonic()
    items = plan(inputs, out, storage_options)
    out_fs, out_root = fsspec.core.url_to_fs(out, **(storage_options or {}))
    out_root = out_root.rstrip("/")
    manifest = Manifest(out_fs, out_root)
    outputs = {_url(out_fs, p): s for p, s in _files_below(out_fs, out_root).items()}
    todo = [item for item in items
            if not _is_done(manifest.rows.get(item.input), item, outputs, retry_failed)]
    workers = max(1, len(client.scheduler_info().get("workers", {})))
    run_id = uuid.uuid4().hex[:12]
    counter = iter(range(1 << 62))

    def submit(batch):
        return client.submit(convert_batch, [tuple(i) for i in batch], encoding,
                             storage_options, key=f"kdx2xml-{run_id}-{next(counter)}",
                             retries=retries, pure=False)

    manifest.start()
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
                    manifest.add(row)
            if progress is not None:
                progress(len(recorded), len(todo))
        _sweep_temporaries(out_fs, items)
    finally:
        manifest.finish([item.input for item in items])

    rows = [manifest.rows[item.input] for item in items if item.input in recorded]
    failures = [row for row in rows if row["status"] != "converted"]
    if any(row["status"] == "failed" for row in failures):
        exit_status = 1
    else:
        exit_status = 3 if failures else 0
    return Summary(len(rows) - len(failures), len(failures), len(items) - len(todo),
                   time.monotonic() - start, _url(out_fs, manifest.path), exit_status, failures)


def local_client(workers, threads_per_worker=1):
    """A client of a cluster of worker processes on this machine (127.0.0.1)."""
    distributed = _distributed()
    cluster = distributed.LocalCluster(n_workers=workers, threads_per_worker=threads_per_worker,
                                       processes=True, host="127.0.0.1", dashboard_address=None)
    return distributed.Client(cluster)


def main(argv=None):
    parser = argparse.ArgumentParser(
        prog="python3 -m kdx2xml.cluster",
        description="Converts archives of KDX documents on a Dask cluster, with a manifest "
                    "of every input in OUT/_manifest.jsonl; a second run resumes.")
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
        client = local_client(args.local) if args.local else _distributed().Client(args.scheduler)
    except ImportError as e:
        print(f"kdx2xml: {e}", file=sys.stderr)
        return 2
    except OSError as e:
        print(f"kdx2xml: cannot reach the scheduler {args.scheduler}: {e}", file=sys.stderr)
        return 3
    def progress(recorded, total):  # on a terminal, like the tool's bar
        print(f"\r{recorded}/{total}", end="" if recorded < total else "\r\x1b[K",
              file=sys.stderr, flush=True)

    local = client.cluster if args.local else None
    try:
        summary = run(args.inputs, args.output_dir, client, encoding=args.encoding,
                      batch_files=args.batch_files, retry_failed=args.retry_failed,
                      progress=progress if sys.stderr.isatty() else None)
    except ValueError as e:
        print(f"kdx2xml: {e}", file=sys.stderr)
        return 2
    finally:
        client.close()
        if local is not None:
            local.close()
    for row in summary.failures:
        failure = Result(row["input"], row["status"], row["output"], None, row["failure_class"],
                         row["message"])
        print(f"kdx2xml: {failure.describe()}", file=sys.stderr)
    print(f"kdx2xml: manifest {summary.manifest}", file=sys.stderr)
    print(summary.line(), file=sys.stderr)
    return summary.exit_status


if __name__ == "__main__":
    # Run from the package's module, so that the functions the workers run are
    # sent by name (kdx2xml.cluster.convert_batch), not as code of __main__.
    from kdx2xml.cluster import main as _main
    sys.exit(_main())
