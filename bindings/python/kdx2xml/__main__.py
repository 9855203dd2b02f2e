"""python3 -m kdx2xml IN.kdx [-o OUT.xml]: converts one document.

The XML goes to standard output unless -o names a file; an IN of - reads
standard input. Exit status: 0 converted, 1 the document could not be
converted, 2 wrong command line, 3 a file could not be read or written.
"""

import argparse
import sys

from . import ConversionError, convert


def main(argv=None):
    parser = argparse.ArgumentParser(
        prog="python3 -m kdx2xml",
        description="Converts a KDX document into XML (windows-1251).")
    parser.add_argument("input", metavar="IN.kdx", help="the document; - reads standard input")
    parser.add_argument("-o", "--output", metavar="OUT.xml",
                        help="write the XML to this file instead of standard output")
    args = parser.parse_args(argv)

    try:
        if args.input == "-":
            data = sys.stdin.buffer.read()
        else:
            with open(args.input, "rb") as f:
                data = f.read()
    except OSError as e:
        print(f"kdx2xml: cannot read {args.input}: {e.strerror or e}", file=sys.stderr)
        return 3
    try:
        xml = convert(data)
    except ConversionError as e:
        print(f"kdx2xml: cannot convert {args.input}: {e}", file=sys.stderr)
        return 1
    try:
        if args.output:
            with open(args.output, "wb") as f:
                f.write(xml)
        else:
            sys.stdout.buffer.write(xml)
            sys.stdout.buffer.flush()
    except OSError as e:
        print(f"kdx2xml: cannot write {args.output or 'standard output'}: {e.strerror or e}",
              file=sys.stderr)
        return 3
    return 0


if __name__ == "__main__":
    sys.exit(main())
