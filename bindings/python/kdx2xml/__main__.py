"""python3 -m kdx2xml: the command-line tool's conversions, in Python.

    python3 -m kdx2xml IN.kdx [-o OUT.xml] [options]
    python3 -m kdx2xml IN.kdx... -d OUTDIR [-j N] [options]
    python3 -m kdx2xml --info IN.kdx...
    python3 -m kdx2xml --version | --help

The XML of one input goes to standard output unless -o names a file; an IN of
- reads standard input. With -d every NAME.kdx is written to OUTDIR/NAME.xml by
N parallel threads (default: one per core), each failure is printed with its
file name and reason as it happens, progress is shown (a bar on a terminal, a
line every few seconds in a log) and a summary line ends the run. Exit status:
0 all converted, 1 a document could not be converted, 2 wrong command line, 3
a file could not be read or written, or the library could not be loaded (and
no document failed).
"""

import argparse
import sys
import time

from ._batch import ENCODINGS, convert_one, encoding_name, iter_convert
from ._info import describe_header
from ._library import MAX_XML_SIZE, library_version, settings
from ._terminal import Progress, printable

OK, CONVERSION_FAILED, USAGE, IO_ERROR = 0, 1, 2, 3
INTERRUPTED = 130
MAX_JOBS = 256


def exit_status(results):
    """The tool's exit status for a batch's results."""
    statuses = {r.status for r in results}
    if "failed" in statuses:
        return CONVERSION_FAILED
    return IO_ERROR if statuses - {"converted"} else OK


def _jobs(text):
    try:
        jobs = int(text)
    except ValueError:
        jobs = 0
    if not 1 <= jobs <= MAX_JOBS:
        raise argparse.ArgumentTypeError(
            f"the number of jobs must be 1 to {MAX_JOBS}, not '{text}'")
    return jobs


def _checked(name):
    """An argparse type: the setting checked as the API checks it."""
    def check(text):
        if name == "max_xml_size":
            if not text.isdigit() or int(text) < 1:
                raise argparse.ArgumentTypeError(
                    f"the XML size bound must be a number of bytes, not '{text}'")
            text = int(text)
        try:
            settings(**{name: text})
        except ValueError as e:
            raise argparse.ArgumentTypeError(str(e)) from None
        return text
    return check


def add_setting_options(parser):
    """The options of the settings a conversion takes; shared with kdx2xml.cluster."""
    parser.add_argument("--decimal-separator", type=_checked("decimal_separator"), metavar="C",
                        help="decimal separator of numbers in the XML (one character); "
                             "default: KDX2XML_DECIMAL_SEPARATOR, else the locale's")
    parser.add_argument("--today", type=_checked("today"), metavar="YYYY-MM-DD",
                        help="the date a document without its own takes; default: "
                             "SOURCE_DATE_EPOCH, else the clock")
    parser.add_argument("--max-xml-size", type=_checked("max_xml_size"), metavar="BYTES",
                        help="fail a document whose XML would be larger than BYTES "
                             f"(default: KDX2XML_MAX_XML_SIZE, else and at most {MAX_XML_SIZE})")


def parse_arguments(argv):
    parser = argparse.ArgumentParser(
        prog="python3 -m kdx2xml",
        description="Converts KDX documents into XML (windows-1251 unless --encoding says utf-8).")
    parser.add_argument("inputs", nargs="*", metavar="IN.kdx",
                        help="the documents; - reads standard input (one input, without -d)")
    parser.add_argument("-o", "--output", metavar="OUT.xml",
                        help="write the XML of the one input to this file, not standard output")
    parser.add_argument("-d", "--output-dir", metavar="OUTDIR",
                        help="write one NAME.xml per NAME.kdx into OUTDIR (made when missing)")
    parser.add_argument("-j", "--jobs", type=_jobs, metavar="N",
                        help="convert N files at a time with -d (default: the number of cores)")
    parser.add_argument("--encoding", default="windows-1251", type=str.lower,
                        choices=sorted(ENCODINGS), metavar="ENC",
                        help="windows-1251 (default) or utf-8, named in the XML declaration")
    add_setting_options(parser)
    parser.add_argument("--info", action="store_true",
                        help="print kind, signature, file version and size of each input "
                             "without converting it")
    parser.add_argument("--version", action="store_true",
                        help="print the version of the package and of its library")
    args = parser.parse_args(argv)
    if args.version:
        return args
    if not args.inputs:
        parser.error("no input file given")
    if args.inputs.count("-") > 1:
        parser.error("standard input (-) can be read only once")
    if args.info:
        return args
    if args.output and args.output_dir:
        parser.error("-o and -d cannot be given together")
    if len(args.inputs) > 1 and not args.output_dir:
        parser.error("several inputs need an output directory (-d OUTDIR)")
    if args.output_dir and "-" in args.inputs:
        parser.error("standard input (-) cannot be read with -d")
    return args


def _read(path):
    if path == "-":
        return sys.stdin.buffer.read()
    with open(path, "rb") as f:
        return f.read()


def _error(text):
    print(f"kdx2xml: {printable(text) if sys.stderr.isatty() else text}", file=sys.stderr)


def run_version():
    from . import __version__, _library
    version = library_version()
    print(f"kdx2xml {version} (Python package {__version__}, library {_library._lib._name})")
    return OK


def run_info(args):
    status = OK
    for path in args.inputs:
        try:
            data = _read(path)
        except OSError as e:
            _error(f"cannot read {'standard input' if path == '-' else path}: "
                   f"{e.strerror or e}")
            status = status or IO_ERROR
            continue
        text, ok = describe_header(data)
        print(f"{path}: {text}")
        if not ok:
            status = CONVERSION_FAILED
    return status


def run_single(args, encoding, checked):
    path, data = args.inputs[0], None
    if path == "-":
        try:
            data = sys.stdin.buffer.read()
        except OSError as e:
            _error(f"cannot read standard input: {e.strerror or e}")
            return IO_ERROR
    result = convert_one(path, args.output, encoding, data, checked)
    if not result.ok:
        _error(result.describe())
        return exit_status([result])
    if args.output is None:
        try:
            sys.stdout.buffer.write(result.xml)
            sys.stdout.buffer.flush()
        except OSError as e:
            _error(f"cannot write standard output: {e.strerror or e}")
            return IO_ERROR
    return OK


def run_batch(args, encoding, checked):
    start = time.monotonic()
    try:
        results = iter_convert(args.inputs, args.output_dir, args.jobs, encoding=encoding,
                               decimal_separator=args.decimal_separator, today=args.today,
                               max_xml_size=args.max_xml_size)
    except ValueError as e:
        _error(str(e))
        return USAGE
    except OSError as e:
        if e.filename is None:  # the library
            _error(str(e))
        else:
            _error(f"cannot create the directory {args.output_dir}: {e.strerror or e}")
        return IO_ERROR
    progress = Progress(len(args.inputs))
    done = []
    for r in results:
        done.append(r)
        if not r.ok:
            progress.failed += 1
            progress.line(f"kdx2xml: {r.describe()}")
        progress.update(len(done))
    progress.finish()
    converted = len(done) - progress.failed
    print(f"kdx2xml: {converted} converted, {progress.failed} failed in "
          f"{time.monotonic() - start:.2f} s", file=sys.stderr)
    return exit_status(done)


def main(argv=None):
    args = parse_arguments(argv)
    try:
        if args.version:
            return run_version()
        if args.info:
            return run_info(args)
        encoding = encoding_name(args.encoding)
        checked = settings(args.decimal_separator, args.today, args.max_xml_size)
        if args.output_dir:
            return run_batch(args, encoding, checked)
        return run_single(args, encoding, checked)
    except OSError as e:  # the library could not be loaded
        _error(str(e))
        return IO_ERROR
    except KeyboardInterrupt:
        _error("interrupted")
        return INTERRUPTED


if __name__ == "__main__":
    sys.exit(main())
