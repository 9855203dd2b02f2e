#!/usr/bin/env python3
"""Hostile documents at their real size, converted through the shared library
as a host would: each in a process of its own, InitKDX with a 100 MB bound
(KDX2XML_MAX_XML_SIZE) and without one. Prints, per document and bound, the
outcome (the failure text, or the size GetDataSize states), the wall and CPU
time of InitKDX (and GetData) and the memory it added to the process's peak;
then the estimate that excludes one coefficient many times against a normal
estimate, in CPU time per XML byte. Fails when an outcome breaks the
acceptance: a bounded conversion that does not fail with EOutOfMemory within
2 s having added under 600 MB, an unbounded one that states a size above
2^31 - 1 or below 1 instead of failing, or the excluded coefficients beyond 5
times the normal time per byte.

Usage: scripts/hostile-acceptance.py LIBRARY MAKE_SAMPLES
(a release build's build/libkdx2xml.so and build/tests/make_samples; the
unbounded conversions take up to 6 GB of memory)
"""
import json
import os
import pathlib
import subprocess
import sys
import tempfile

# One conversion in a fresh process: InitKDX (and GetData when it converts).
CHILD = r"""
import ctypes, json, sys, time
lib = ctypes.CDLL(sys.argv[1])
lib.InitKDX.restype = ctypes.c_size_t
lib.InitKDX.argtypes = [ctypes.c_char_p, ctypes.c_int32]
lib.GetDataSize.argtypes = [ctypes.c_size_t]
lib.GetData.restype = ctypes.c_uint32
lib.GetData.argtypes = [ctypes.c_size_t, ctypes.c_void_p, ctypes.c_uint32]
lib.GetLastExceptionText.restype = ctypes.c_void_p
lib.ReleaseKDXHandle.argtypes = [ctypes.c_size_t]
data = open(sys.argv[2], "rb").read()

def status(field):
    for line in open("/proc/self/status"):
        if line.startswith(field + ":"):
            return int(line.split()[1]) * 1024

before = status("VmRSS")
with open("/proc/self/clear_refs", "w") as f:
    f.write("5")  # the peak starts again from here
start, cpu = time.perf_counter(), time.process_time()
handle = lib.InitKDX(data, len(data))
size = lib.GetDataSize(handle) if handle else None
if handle and 0 < size:
    buffer = ctypes.create_string_buffer(size)
    lib.GetData(handle, buffer, size)
seconds, cpu = time.perf_counter() - start, time.process_time() - cpu
added = status("VmHWM") - before
text = None
if not handle:
    raw = lib.GetLastExceptionText()
    units = ctypes.cast(raw, ctypes.POINTER(ctypes.c_uint16))
    n = 0
    while raw and units[n]:
        n += 1
    text = ctypes.string_at(raw, 2 * n).decode("utf-16-le") if raw else ""
print(json.dumps({"size": size, "failure": text, "seconds": seconds, "cpu": cpu, "added": added}))
"""

LIMIT = 2**31 - 1
BOUND = 100_000_000


def convert(library, path, bound):
    env = dict(os.environ)
    env.pop("KDX2XML_MAX_XML_SIZE", None)
    if bound:
        env["KDX2XML_MAX_XML_SIZE"] = str(bound)
    out = subprocess.run([sys.executable, "-c", CHILD, library, str(path)], env=env,
                         capture_output=True, text=True)
    if out.returncode != 0:
        sys.exit("%s: the host process failed: %s" % (path.name, out.stderr[-2000:]))
    return json.loads(out.stdout)


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    library, make_samples = sys.argv[1:]
    ok = True
    with tempfile.TemporaryDirectory() as tmp:
        folder = pathlib.Path(tmp)
        subprocess.run([make_samples, "--hostile", tmp], check=True, capture_output=True)
        subprocess.run([make_samples, "--positions", "3000", str(folder / "normal.kdx")],
                       check=True, capture_output=True)
        print("%-28s %9s %-11s %8s %8s %9s  %s" % ("document", "bytes", "bound", "seconds", "cpu",
                                                   "added MB", "outcome"))
        for path in sorted(folder.glob("*.kdx")):
            for bound in (BOUND, None):
                r = convert(library, path, bound)
                outcome = r["failure"] if r["failure"] is not None else "size %d" % r["size"]
                print("%-28s %9d %-11s %8.2f %8.2f %9.0f  %s" % (
                    path.name, path.stat().st_size, bound or "2^31-1", r["seconds"], r["cpu"],
                    r["added"] / 1e6, outcome))
                if path.name.startswith(("summary-", "estimate-catalogue")):
                    limit = bound or LIMIT
                    failed = (r["failure"] or "").startswith(
                        "EOutOfMemory: Out of memory: the XML would be larger than %d bytes" % limit)
                    if not failed or (bound and (r["seconds"] >= 2 or r["added"] >= 600e6)):
                        ok = False
                elif r["size"] is None or not 0 < r["size"] <= LIMIT:
                    ok = False
        excluded = convert(library, folder / "estimate-excluded.kdx", None)
        normal = convert(library, folder / "normal.kdx", None)
        ratio = (excluded["cpu"] / excluded["size"]) / (normal["cpu"] / normal["size"])
        print("excluded coefficients: %.1f ns of CPU per XML byte, a normal estimate %.1f: "
              "ratio %.2f" % (excluded["cpu"] / excluded["size"] * 1e9,
                              normal["cpu"] / normal["size"] * 1e9, ratio))
        ok = ok and ratio <= 5
    print("acceptance: " + ("met" if ok else "NOT MET"))
    sys.exit(0 if ok else 1)


if __name__ == "__main__":
    main()
