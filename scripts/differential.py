#!/usr/bin/env python3
"""Converts the same documents with three builds and reports every difference:
the x86_64 command-line tool, the i686 one under qemu-i386 and the
WebAssembly package in Node.js. Each input must give the same XML bytes in
all three, or the same failure text ("Class: message"); a difference is a
finding (a width assumption, undefined behaviour, a platform's library).

Usage: scripts/differential.py [FOLDER...]
  FOLDER  documents to convert, searched recursively (default: the corpora the
          fuzzers grew, build-fuzz{,-fast}/corpus/{fuzz_convert,fuzz_api,fuzz_structure},
          the packed fuzz regressions and tests/conformance)
Builds what is missing: build/ (release), build-i686/ (the tool, static) and
the package (scripts/build-js.sh). The settings are fixed (decimal comma,
15.03.2023, the XML bounded at 16 MiB as in the fuzz runs). Inputs that differ
are copied into build-differential/findings/. Exit status 1 when any differs.
"""
import hashlib
import json
import os
import pathlib
import shutil
import subprocess
import sys

ROOT = pathlib.Path(__file__).resolve().parent.parent
WORK = ROOT / "build-differential"
BOUND = 16 << 20
ENV = {"KDX2XML_DECIMAL_SEPARATOR": ",", "SOURCE_DATE_EPOCH": "1678838400",
       "KDX2XML_MAX_XML_SIZE": str(BOUND), "LC_ALL": "C"}
CHUNK = 2000

# The package over a list of files: each XML into OUT/NAME.xml, the failures
# as one JSON object of name to "Class: message".
NODE = r"""
import fs from 'node:fs';
import path from 'node:path';
import { pathToFileURL } from 'node:url';
const [pkg, list, out] = process.argv.slice(1);
const { convert, ConversionError } = await import(pathToFileURL(path.join(pkg, 'index.js')));
const failures = {};
for (const file of fs.readFileSync(list, 'utf8').split('\n').filter(Boolean)) {
  const name = path.basename(file, '.kdx');
  try {
    const xml = convert(fs.readFileSync(file), { decimalSeparator: ',', today: '2023-03-15',
                                                 maxXmlSize: %d });
    fs.writeFileSync(path.join(out, name + '.xml'), xml);
  } catch (e) {
    if (!(e instanceof ConversionError)) throw e;
    failures[name] = `${e.failureClass}: ${e.message}`;
  }
}
fs.writeFileSync(path.join(out, 'failures.json'), JSON.stringify(failures));
""" % BOUND


def run(args, **kw):
    return subprocess.run(args, check=True, cwd=ROOT, **kw)


def build():
    run(["cmake", "-S", ".", "-B", "build", "-G", "Ninja", "-DCMAKE_BUILD_TYPE=Release"],
        stdout=subprocess.DEVNULL)
    run(["ninja", "-C", "build", "kdx2xml_cli"], stdout=subprocess.DEVNULL)
    run(["cmake", "-S", ".", "-B", "build-i686", "-G", "Ninja", "-DCMAKE_BUILD_TYPE=Release",
         "-DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/i686-linux-gnu.cmake",
         "-DKDX2XML_GTEST_SOURCE=/usr/src/googletest"], stdout=subprocess.DEVNULL)
    run(["ninja", "-C", "build-i686", "kdx2xml_cli"], stdout=subprocess.DEVNULL)
    tarball = run(["scripts/build-js.sh"], capture_output=True, text=True).stdout.split("\n")
    return pathlib.Path([line for line in tarball if line.strip()][-1]).parent / "package"


def inputs(folders):
    """Distinct non-empty inputs (the package refuses an empty one before
    converting), copied as NNNNNN.kdx."""
    folder = WORK / "in"
    shutil.rmtree(folder, ignore_errors=True)
    folder.mkdir(parents=True)
    seen, names = set(), {}
    for root in folders:
        for path in sorted(p for p in pathlib.Path(root).rglob("*") if p.is_file()):
            if path.suffix in (".xml", ".err", ".md"):
                continue
            data = path.read_bytes()
            digest = hashlib.sha1(data).hexdigest()
            if not data or digest in seen:
                continue
            seen.add(digest)
            name = "%06d" % len(names)
            (folder / (name + ".kdx")).write_bytes(data)
            names[name] = path
    return folder, names


def tool_outcomes(command, folder, out):
    """The tool's batch over the folder, in chunks: name to XML bytes or failure text."""
    shutil.rmtree(out, ignore_errors=True)
    out.mkdir(parents=True)
    files = sorted(folder.glob("*.kdx"))
    failures = {}
    for i in range(0, len(files), CHUNK):
        chunk = [str(f) for f in files[i:i + CHUNK]]
        done = subprocess.run(command + chunk + ["-d", str(out), "-j", "2"],
                              env={**os.environ, **ENV}, capture_output=True)
        if done.returncode not in (0, 1):
            sys.exit("%s failed: %s" % (command[-1], done.stderr.decode(errors="replace")[-2000:]))
        for line in done.stderr.decode("utf-8", errors="replace").split("\n"):
            prefix = "kdx2xml: cannot convert "
            if line.startswith(prefix) and ".kdx: " in line:
                name, text = line[len(prefix):].split(".kdx: ", 1)
                failures[pathlib.Path(name).name] = text
    return {f.stem: failures.get(f.stem) or (out / (f.stem + ".xml")).read_bytes() for f in files}


def package_outcomes(package, folder, out):
    shutil.rmtree(out, ignore_errors=True)
    out.mkdir(parents=True)
    listing = WORK / "list.txt"
    listing.write_text("\n".join(str(f) for f in sorted(folder.glob("*.kdx"))))
    run(["node", "--input-type=module", "-e", NODE, str(package), str(listing), str(out)])
    failures = json.loads((out / "failures.json").read_text())
    return {f.stem: failures.get(f.stem) or (out / (f.stem + ".xml")).read_bytes()
            for f in sorted(folder.glob("*.kdx"))}


def describe(outcome):
    if isinstance(outcome, str):
        return "fails: " + outcome
    return "%d bytes of XML" % len(outcome)


def main():
    folders = sys.argv[1:] or [p for p in [
        *(ROOT / build / "corpus" / target for build in ("build-fuzz", "build-fuzz-fast")
          for target in ("fuzz_convert", "fuzz_api", "fuzz_structure")),
        ROOT / "fuzz/regressions/packed", ROOT / "tests/conformance"] if p.is_dir()]
    package = build()
    folder, names = inputs(folders)
    print("differential: %d distinct inputs from %s" % (
        len(names), ", ".join(str(pathlib.Path(f).resolve().relative_to(ROOT)) for f in folders)))
    builds = {
        "x86_64": tool_outcomes([str(ROOT / "build/kdx2xml")], folder, WORK / "x86_64"),
        "i686": tool_outcomes(["qemu-i386", str(ROOT / "build-i686/kdx2xml")], folder,
                              WORK / "i686"),
        "wasm": package_outcomes(package, folder, WORK / "wasm"),
    }
    findings = WORK / "findings"
    shutil.rmtree(findings, ignore_errors=True)
    differences = 0
    for name, source in names.items():
        seen = {b: outcomes[name] for b, outcomes in builds.items()}
        if len({repr(o) for o in seen.values()}) == 1:
            continue
        differences += 1
        findings.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(folder / (name + ".kdx"), findings / (name + ".kdx"))
        print("DIFFERENT %s (%s): %s" % (name, source, "; ".join(
            "%s %s" % (b, describe(o)) for b, o in seen.items())))
    failed = sum(isinstance(o, str) for o in builds["x86_64"].values())
    print("differential: compared %d inputs (%d convert, %d fail) in 3 builds: %d differ" % (
        len(names), len(names) - failed, failed, differences))
    sys.exit(1 if differences else 0)


if __name__ == "__main__":
    main()
