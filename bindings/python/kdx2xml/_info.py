"""--info: what the header of a packed document says, read without converting, in
the command-line tool's words.

Packed document: "KR00", the kind byte, four bytes the converter skips, then
the body: an eight-byte signature of the kind and the 32-bit file version."""

import struct

_KIND_AT, _SIGNATURE_AT, _VERSION_AT, _HEADER_END = 4, 9, 17, 21

# kind: (name, body signature, highest file version read); None where the
# kind is not converted.
KINDS = {
    0: ("local estimate", b"KD_Smeta", 0x1015F),
    1: ("object estimate", b"KD_ObjSm", 0x10017),
    2: ("consolidated calculation", b"KD_ConsC", 0x10017),
    3: ("price list", b"KD_Cennk", 0x10005),
    4: ("price-index document", b"KD_Index", 0x1015F),
    5: ("not converted", None, None),
    6: ("resource summary", b"KD_RSumm", 0x10004),
    7: ("not converted", None, None),
    8: ("not converted", None, None),
}


def _signature(raw):
    """Eight bytes as text when printable, else in hexadecimal in stored order."""
    if all(0x20 <= b <= 0x7E for b in raw):
        return raw.decode("ascii")
    return " ".join(f"{b:02X}" for b in raw)


def _version(version):
    return f"{version} (0x{version & 0xFFFFFFFF:X})"


def describe_header(data: bytes):
    """(the tool's --info text for data, whether a converter of this version reads
    its kind, signature and file version)."""
    size = f"{len(data)} bytes"
    if len(data) < 4 or data[:4] != b"KR00":
        return f"not a KDX document (no KR00 header), {size}", False
    if len(data) <= _KIND_AT:
        return f"not a KDX document (no kind byte), {size}", False
    kind = data[_KIND_AT]
    if kind not in KINDS:
        return f"kind {kind} (unknown), {size}", False
    name, signature, newest = KINDS[kind]
    text = f"kind {kind} ({name})"
    if len(data) < _VERSION_AT:
        return f"{text}, no signature, {size}", False
    found = data[_SIGNATURE_AT:_VERSION_AT]
    text += f", signature {_signature(found)}"
    if signature is not None and found != signature:
        text += f" (not the kind's {_signature(signature)})"
    if len(data) < _HEADER_END:
        return f"{text}, no file version, {size}", False
    version = struct.unpack_from("<i", data, _VERSION_AT)[0]
    text += f", file version {_version(version)}"
    if newest is not None and version > newest:
        text += f" (newer than this converter reads: at most {_version(newest)})"
    ok = signature is not None and found == signature and version <= newest
    return f"{text}, {size}", ok
