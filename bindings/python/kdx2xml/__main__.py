"""python3 -m kdx2xml: the command-line tool's conversions, in Python.

    python3 -m kdx2xml IN.kdx [-o OUT.xml] [--encoding ENC]
    python3 -m kdx2xml IN.kdx... -d OUTDIR [-j N] [--encoding ENC]

The XML of one input goes to standard output unless -o names a file; an IN of
- reads standard input. With -d every NAME.kdx is written to OUTDIR/NAME.xml by
N parallel threads (default: one per core), each failure is printed with its
file name and reason, and a summary line ends the run. Exit status: 0 all
converted, 1 a document could not be converted, 2 wrong command line, 3 a file
could not be read or written (and no document failed).
"""

import argparse
import os
import sys
import time

from ._batch import ENCODINGS, convert_files, convert_one, encoding_name

OK, CONVERSION_FAILED, USAGE, IO_ERROR = 0, 1, 2, 3
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


def _separator(text):
    if len(text) != 1:
        raise argparse.ArgumentTypeError("the decimal separator must be one character")
    return text


def parse_arguments(argv):
    parser = argparse.ArgumentParser(
        prog="python3 -m kdx2xml",
        description="Converts KDX documents into XML (windows-1251 unless --encoding says utf-8).")
    parser.add_argument("inputs", nargs="+", metavar="IN.kdx",
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
    parser.add_argument("--decimal-separator", type=_separator, metavar="C",
                        help="decimal separator of numbers in the XML (one character)")
    args = parser.parse_args(argv)
    if args.output and args.output_dir:
        parser.error("-o and -d cannot be given together")
    if len(args.inputs) > 1 and not args.output_dir:
        parser.error("several inputs need an output directory (-d OUTDIR)")
    if args.output_dir and "-" in args.inputs:
        parser.error("standard input (-) cannot be read with -d")
    return args


def run_single(args, encoding):
    path, data = args.inputs[0], None
    if path == "-":
        try:
            data = sys.stdin.buffer.read()
        except OSError as e:
            print(f"kdx2xml: cannot read standard input: {e.strerror or e}", file=sys.stderr)
            return IO_ERROR
    result = convert_one(path, args.output, encoding, data)
    if not result.ok:
        print(f"kdx2xml: {result.describe()}", file=sys.stderr)
        return exit_status([result])
    if args.output is None:
        try:
            sys.stdout.buffer.write(result.xml)
            sys.stdout.buffer.flush()
        except OSError as e:
            print(f"kdx2xml: cannot write standard output: {e.strerror or e}", file=sys.stderr)
            return IO_ERROR
    return OK


def run_batch(args, encoding):
    start = time.monotonic()
    try:
        results = convert_files(args.inputs, args.output_dir, args.jobs, encoding)
    except ValueError as e:
        print(f"kdx2xml: {e}", file=sys.stderr)
        return USAGE
    except OSError as e:
        print(f"kdx2xml: cannot create the directory {args.output_dir}: {e.strerror or e}",
              file=sys.stderr)
        return IO_ERROR
    for r in results:
        if not r.ok:
            print(f"kdx2xml: {r.describe()}", file=sys.stderr)
    converted = sum(r.ok for r in results)
    print(f"kdx2xml: {converted} converted, {len(results) - converted} failed in "
          f"{time.monotonic() - start:.2f} s", file=sys.stderr)
    return exit_status(results)


def main(argv=None):
    args = parse_arguments(argv)
    if args.decimal_separator:
        # The library reads it at its first conversion.
        os.environ["KDX2XML_DECIMAL_SEPARATOR"] = args.decimal_separator
    encoding = encoding_name(args.encoding)
    return run_batch(args, encoding) if args.output_dir else run_single(args, encoding)


if __name__ == "__main__":
    sys.exit(main())
