#!/usr/bin/env python3
"""Writes fuzz/kdx.dict, the libFuzzer dictionary of the format: the header
magic, the body signatures, the row marker, string tags, boolean bytes, count
widths and limits, and every file version the readers compare against (each
threshold and the version just below it), gathered from the sources.

Usage: fuzz/make_dict.py [--check]   (--check: fail when kdx.dict is stale)
"""
import pathlib
import re
import sys

ROOT = pathlib.Path(__file__).resolve().parent.parent
DICT = ROOT / "fuzz" / "kdx.dict"

FIXED = [
    ("header", [
        ("magic", b"KR00"),
        ("packed header of each kind", None),
    ]),
    ("body signatures", [
        ("estimate", b"KD_Smeta"), ("object estimate", b"KD_ObjSm"),
        ("consolidated calculation", b"KD_ConsC"), ("price list", b"KD_Cennk"),
        ("price-index document", b"KD_Index"), ("resource summary", b"KD_RSumm"),
    ]),
    ("row marker and string tags", [
        ("row marker", b"\xef"), ("empty string", b"\x06\x00"),
        ("tag 6", b"\x06"), ("tag 7", b"\x07"), ("tag 8", b"\x08"),
        ("tag 7 length 256", b"\x07\x00\x01"), ("tag 8 length minus one", b"\x08\xff\xff\xff\xff"),
        ("marker and empty caption", b"\xef\x06\x00"),
    ]),
    ("booleans", [("true", b"\x0a"), ("false", b"\x09")]),
    ("counts and limits", [
        ("max 16-bit", b"\xff\xff"), ("max 32-bit list count", b"\xff\xff\xff\x07"),
        ("32-bit list max plus one", b"\x00\x00\x00\x08"), ("int32 max", b"\xff\xff\xff\x7f"),
        ("int32 min", b"\x00\x00\x00\x80"), ("minus one", b"\xff\xff\xff\xff"),
        ("currency one", b"\x10\x27\x00\x00\x00\x00\x00\x00"),
        ("int64 min", b"\x00\x00\x00\x00\x00\x00\x00\x80"),
        ("double NaN", b"\x00\x00\x00\x00\x00\x00\xf8\x7f"),
        ("double infinity", b"\x00\x00\x00\x00\x00\x00\xf0\x7f"),
    ]),
]

VERSION = re.compile(r"\b(0x0*1[0-9A-Fa-f]{4}|6[5-9][0-9]{3})\b")


def versions():
    found = set()
    for path in sorted((ROOT / "src").rglob("*.[ch]*")):
        for token in VERSION.findall(path.read_text(encoding="utf-8", errors="replace")):
            value = int(token, 0)
            if 0x10000 <= value <= 0x1FFFF:
                found.update((value, value - 1))
    return sorted(found)


def escape(data):
    return "".join(chr(b) if 32 <= b < 127 and chr(b) not in '"\\' else "\\x%02X" % b
                   for b in data)


def render():
    lines = ["# libFuzzer dictionary of the KDX format; written by fuzz/make_dict.py."]
    for section, entries in FIXED:
        lines.append("")
        lines.append("# " + section)
        for name, data in entries:
            if data is None:
                for kind in (0, 1, 2, 3, 4, 6):
                    lines.append('kind_%d="%s"' % (kind, escape(b"KR00" + bytes([kind]))))
                continue
            key = re.sub(r"[^a-z0-9]+", "_", name.lower()).strip("_")
            lines.append('%s="%s"' % (key, escape(data)))
    lines.append("")
    lines.append("# file versions: every threshold the readers compare against, and the one below")
    for v in versions():
        lines.append('v%d="%s"' % (v, escape(v.to_bytes(4, "little"))))
    return "\n".join(lines) + "\n"


def main():
    text = render()
    if sys.argv[1:] == ["--check"]:
        if DICT.read_text() != text:
            sys.exit("fuzz/kdx.dict is stale (a version threshold changed): run fuzz/make_dict.py")
        return
    DICT.write_text(text)


if __name__ == "__main__":
    main()
