#!/bin/bash
# Cross-builds kdx2xml.dll with mingw-w64 and checks it on Windows (wine):
#  - the 64-bit DLL and a C host (tests/windows/host.c) that loads it with
#    LoadLibraryW/GetProcAddress: the host's own checks of the exports' error
#    paths, and each document's XML (or failure text) byte for byte against
#    the Linux command-line tool;
#  - the same host linked through the DLL's import library;
#  - the Windows command-line tool (kdx2xml-cli.exe) against the Linux one,
#    one document at a time and all at once with two workers;
#  - the decimal separator taken from the user's locale;
#  - the 32-bit DLL: its export table holds exactly the five plain names, a
#    host links against its import library (stdcall), and the 32-bit host
#    converts the documents as well; that run is required where wine32 is
#    installed and in CI (CI=true), which skips it only when the package index
#    offers no wine32:i386, saying so;
#  - a DLL built with the resource version 1.2.3.4 writes ProgramVersion
#    "1.2.3.4";
#  - the Python wheels of both DLLs (win_amd64, win32) carry them;
#  - the zip made by cpack holds both DLLs with their import libraries, the
#    header and the tools, and its 64-bit tool converts on its own.
#
# Usage: scripts/windows-check.sh [LINUX_CLI [FILE.kdx...]]
#   LINUX_CLI  the Linux build of the tool (default: $KDX2XML_CLI or build/kdx2xml)
#   FILE.kdx   documents to compare (default: examples/*.kdx and a few
#              tests/conformance/k3_*.kdx)
# Build directories: $KDX2XML_WIN64_BUILD (build-win64), $KDX2XML_WIN32_BUILD
# (build-win32); the wine prefix lives in the 64-bit build directory.
# Skips (exit 0) when x86_64-w64-mingw32-gcc or wine is not installed.
set -u

root=$(cd "$(dirname "$0")/.." && pwd)
here=$PWD
absolute() {  # PATH [BASE]: PATH made absolute against BASE (default: the caller's directory)
  case $1 in
    /*) echo "$1" ;;
    *) echo "${2:-$here}/$1" ;;
  esac
}

if [ $# -gt 0 ]; then
  linux_cli=$(absolute "$1")
  shift
else
  linux_cli=$(absolute "${KDX2XML_CLI:-build/kdx2xml}" "$root")
fi
win64=$(absolute "${KDX2XML_WIN64_BUILD:-build-win64}" "$root")
win32=$(absolute "${KDX2XML_WIN32_BUILD:-build-win32}" "$root")

# --- tools -----------------------------------------------------------------
wine=
for candidate in wine wine64 /usr/lib/wine/wine64; do
  if command -v "$candidate" >/dev/null 2>&1; then
    wine=$(command -v "$candidate")
    break
  fi
done
if ! command -v x86_64-w64-mingw32-gcc >/dev/null 2>&1 || [ -z "$wine" ]; then
  echo "windows-check: SKIPPED (x86_64-w64-mingw32-gcc or wine64 not installed)"
  exit 0
fi
wineserver=
for candidate in wineserver /usr/lib/wine/wineserver64 /usr/lib/wine/wineserver; do
  if command -v "$candidate" >/dev/null 2>&1; then
    wineserver=$(command -v "$candidate")
    break
  fi
done
wine32_offered() {  # the package index has a wine32:i386 to install
  command -v apt-cache >/dev/null 2>&1 &&
    apt-cache policy wine32:i386 2>/dev/null | grep -q 'Candidate: [0-9]'
}
objdump_for() {  # objdump that reads PE files of the given triple
  if command -v "$1-objdump" >/dev/null 2>&1; then echo "$1-objdump"; else echo objdump; fi
}

# --- bookkeeping -----------------------------------------------------------
passed=0
failed=0
pass() { passed=$((passed + 1)); echo "PASS: $*"; }
fail() { failed=$((failed + 1)); echo "FAIL: $*"; }
now() { date +%s.%N; }
since() { awk -v a="$1" -v b="$(now)" 'BEGIN { printf "%.1f s", b - a }'; }
finish() {
  echo "$passed passed, $failed failed"
  [ "$failed" -eq 0 ]
  exit
}

work=$(mktemp -d "${TMPDIR:-/tmp}/kdx2xml-windows-check.XXXXXX")
cleanup() {
  if [ -n "$wineserver" ] && [ -d "${WINEPREFIX:-}" ]; then
    "$wineserver" -k >/dev/null 2>&1
  fi
  rm -rf "$work"
}
trap cleanup EXIT

# Same conditions for both builds: decimal comma, fixed date.
export KDX2XML_DECIMAL_SEPARATOR=, SOURCE_DATE_EPOCH=1678838400
# A quiet wine: no debug output, no display, no Mono/Gecko installers.
export WINEDEBUG=-all WINEARCH=win64 WINEDLLOVERRIDES="mscoree,mshtml=" DISPLAY=
unset WAYLAND_DISPLAY

if [ ! -x "$linux_cli" ]; then
  fail "the Linux tool $linux_cli is not built (build it first or name it as the first argument)"
  finish
fi

abs_files=()
if [ $# -gt 0 ]; then
  for f in "$@"; do abs_files+=("$(absolute "$f")"); done
else
  shopt -s nullglob
  for f in "$root"/examples/*.kdx "$root"/tests/conformance/k3_0000{0,1,2,3}.kdx \
           "$root"/tests/conformance/k3_00000_byte.kdx "$root"/tests/conformance/k3_00000_cut.kdx; do
    [ -f "$f" ] && abs_files+=("$f")
  done
  shopt -u nullglob
fi
cd "$root" || exit 1
echo "windows-check: ${#abs_files[@]} documents, Linux tool $linux_cli, wine $wine"

# --- builds ------------------------------------------------------------------
cross_build() {  # DIR TOOLCHAIN [CMAKE ARGS...]
  local dir=$1 toolchain=$2
  shift 2
  cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchains/$toolchain.cmake" "$@" \
      >"$work/cmake.log" 2>&1 &&
    cmake --build "$dir" >"$work/build.log" 2>&1
}
show_log() { tail -n 30 "$work/cmake.log" "$work/build.log" 2>/dev/null | sed 's/^/    /'; }

exports_exactly_five() {  # OBJDUMP DLL
  local names
  names=$("$1" -p "$2" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
          sed -n 's/^[[:space:]]*\[[[:space:]]*[0-9]*\][[:space:]]*//p' | sort | tr '\n' ' ')
  echo "$names"
  [ "$names" = "GetData GetDataSize GetLastExceptionText InitKDX ReleaseKDXHandle " ]
}

build_host() {  # TRIPLE BUILD_DIR
  local cc=$1-gcc dir=$2
  "$cc" -std=c11 -municode -O2 -Wall -Wextra -Werror -I"$root/include" \
      "$root/tests/windows/host.c" -o "$dir/kdx2xml-host.exe" >"$work/host.log" 2>&1 &&
    "$cc" -std=c11 -municode -O2 -Wall -Wextra -Werror -DKDX2XML_HOST_LINKED -I"$root/include" \
      "$root/tests/windows/host.c" "$dir/libkdx2xml.dll.a" -o "$dir/kdx2xml-host-linked.exe" \
      >>"$work/host.log" 2>&1
}

# The expected result of every document from the Linux tool: NAME.xml or
# NAME.err (the failure text).
expect=$work/linux
mkdir -p "$expect"
for f in "${abs_files[@]}"; do
  name=$(basename "${f%.kdx}")
  if ! "$linux_cli" "$f" -o "$expect/$name.xml" 2>"$work/stderr.txt"; then
    rm -f "$expect/$name.xml"
    sed -e 's/^kdx2xml: cannot convert .*\.kdx: //' "$work/stderr.txt" | tr -d '\n' >"$expect/$name.err"
  fi
done

compare_outputs() {  # LABEL OUTDIR: one check per document
  local label=$1 out=$2 f name
  for f in "${abs_files[@]}"; do
    name=$(basename "${f%.kdx}")
    if [ -f "$expect/$name.xml" ]; then
      if [ -f "$out/$name.xml" ] && cmp -s "$expect/$name.xml" "$out/$name.xml"; then
        pass "$label: $name.xml identical to the Linux build ($(stat -c %s "$out/$name.xml") bytes)"
      elif [ -f "$out/$name.xml" ]; then
        fail "$label: $name.xml differs from the Linux build: $(cmp "$expect/$name.xml" "$out/$name.xml" 2>&1 | head -1)"
      else
        fail "$label: $name does not convert on Windows: $(cat "$out/$name.err" 2>/dev/null)"
      fi
    else
      if [ -f "$out/$name.err" ] && cmp -s "$expect/$name.err" "$out/$name.err"; then
        pass "$label: $name fails as on Linux: $(cat "$out/$name.err")"
      else
        fail "$label: $name: Linux fails with [$(cat "$expect/$name.err")], Windows gives [$(cat "$out/$name.err" 2>/dev/null || echo "XML")]"
      fi
    fi
  done
}

run_host() {  # EXE DLL OUTDIR LOG: runs the host over all documents
  mkdir -p "$3"
  "$wine" "$1" --errors-ok "$2" "$3" "${abs_files[@]}" >"$4" 2>&1
}

# 64-bit DLL
t=$(now)
if cross_build "$win64" x86_64-w64-mingw32 -DKDX2XML_RESOURCE_VERSION=; then
  pass "x86_64 DLL built in $win64 ($(since "$t"))"
else
  fail "x86_64 DLL build in $win64"
  show_log
  finish
fi
if names=$(exports_exactly_five "$(objdump_for x86_64-w64-mingw32)" "$win64/kdx2xml.dll"); then
  pass "x86_64 kdx2xml.dll exports exactly: $names"
else
  fail "x86_64 kdx2xml.dll exports: $names"
fi
t=$(now)
if build_host x86_64-w64-mingw32 "$win64"; then
  pass "x86_64 host built, LoadLibraryW and import-library variants ($(since "$t"))"
else
  fail "x86_64 host build"
  sed 's/^/    /' "$work/host.log"
  finish
fi

# Wine prefix, created once; its 32-bit part is made (or added to a prefix
# made before) when wine32 can run.
export WINEPREFIX=$win64/wineprefix
if [ ! -f "$WINEPREFIX/system.reg" ] ||
   { /usr/lib/wine/wine --version >/dev/null 2>&1 &&
     [ ! -f "$WINEPREFIX/drive_c/windows/syswow64/kernel32.dll" ]; }; then
  t=$(now)
  "$wine" wineboot -u >"$work/wineboot.log" 2>&1
  echo "windows-check: made the wine prefix $WINEPREFIX in $(since "$t")"
fi

t=$(now)
if run_host "$win64/kdx2xml-host.exe" "$win64/kdx2xml.dll" "$work/out64" "$work/host64.log"; then
  pass "x86_64 host under wine: $(tail -n 1 "$work/host64.log") ($(since "$t"))"
else
  fail "x86_64 host under wine:"
  grep -v '^PASS' "$work/host64.log" | sed 's/^/    /'
fi
compare_outputs "x86_64 DLL" "$work/out64"

# The same host bound through the import library; the loader finds the DLL
# next to the program.
if run_host "$win64/kdx2xml-host-linked.exe" - "$work/out64-linked" "$work/host64-linked.log"; then
  pass "x86_64 host linked with the import library: $(tail -n 1 "$work/host64-linked.log")"
  same=1
  for f in "$work"/out64/*; do
    cmp -s "$f" "$work/out64-linked/$(basename "$f")" || same=0
  done
  if [ $same = 1 ]; then
    pass "x86_64 host linked with the import library writes the same files"
  else
    fail "x86_64 host linked with the import library writes different files"
  fi
else
  fail "x86_64 host linked with the import library:"
  grep -v '^PASS' "$work/host64-linked.log" | sed 's/^/    /'
fi

# The Windows tool: XML to a file and to standard output (binary, no CR LF
# translation); the decimal separator given on its command line.
first_xml=
for f in "${abs_files[@]}"; do
  if [ -f "$expect/$(basename "${f%.kdx}").xml" ]; then first_xml=$f; break; fi
done
if [ -n "$first_xml" ]; then
  name=$(basename "${first_xml%.kdx}")
  "$wine" "$win64/kdx2xml-cli.exe" "$first_xml" -o "$work/cli-file.xml" >/dev/null 2>&1
  "$wine" "$win64/kdx2xml-cli.exe" "$first_xml" >"$work/cli-stdout.xml" 2>/dev/null
  if cmp -s "$expect/$name.xml" "$work/cli-file.xml" && cmp -s "$expect/$name.xml" "$work/cli-stdout.xml"; then
    pass "kdx2xml-cli.exe: $name.xml identical to the Linux tool, to a file and to standard output"
  else
    fail "kdx2xml-cli.exe: $name.xml differs from the Linux tool"
  fi
  KDX2XML_DECIMAL_SEPARATOR= "$linux_cli" --decimal-separator . "$first_xml" >"$work/linux-dot.xml" 2>/dev/null
  KDX2XML_DECIMAL_SEPARATOR= "$wine" "$win64/kdx2xml-cli.exe" --decimal-separator . "$first_xml" \
      >"$work/cli-dot.xml" 2>/dev/null
  if cmp -s "$work/linux-dot.xml" "$work/cli-dot.xml"; then
    pass "kdx2xml-cli.exe --decimal-separator . gives the Linux tool's XML"
  else
    fail "kdx2xml-cli.exe --decimal-separator . differs from the Linux tool"
  fi

  # All documents at once with two workers, one .xml each.
  "$wine" "$win64/kdx2xml-cli.exe" -j 2 -d "$work/cli-batch" "${abs_files[@]}" >/dev/null \
      2>"$work/cli-batch.err"
  same=1
  for f in "${abs_files[@]}"; do
    stem=$(basename "${f%.kdx}")
    if [ -f "$expect/$stem.xml" ]; then
      cmp -s "$expect/$stem.xml" "$work/cli-batch/$stem.xml" || same=0
    elif [ -e "$work/cli-batch/$stem.xml" ]; then
      same=0
    fi
  done
  if [ $same = 1 ] && grep -q ' converted, [0-9]* failed in ' "$work/cli-batch.err"; then
    pass "kdx2xml-cli.exe -j 2 -d: every XML identical to the Linux tool; $(tr -d '\r' <"$work/cli-batch.err" | tail -n 1)"
  else
    fail "kdx2xml-cli.exe -j 2 -d differs from the Linux tool: $(tr -d '\r' <"$work/cli-batch.err" | tail -n 3)"
  fi

  # Without KDX2XML_DECIMAL_SEPARATOR the DLL takes the separator of the
  # user's locale (wine derives it from LC_ALL).
  if grep -q '"[0-9]*,[0-9][0-9]*"' "$expect/$name.xml"; then
    for locale in ru_RU.UTF-8:, en_US.UTF-8:.; do
      sep=${locale#*:}
      KDX2XML_DECIMAL_SEPARATOR= "$linux_cli" --decimal-separator "$sep" "$first_xml" \
          >"$work/linux-sep.xml" 2>/dev/null
      rm -rf "$work/out-locale"
      mkdir -p "$work/out-locale"
      env -u KDX2XML_DECIMAL_SEPARATOR LC_ALL=${locale%:*} \
          "$wine" "$win64/kdx2xml-host.exe" "$win64/kdx2xml.dll" "$work/out-locale" \
          "$first_xml" >/dev/null 2>&1
      if cmp -s "$work/linux-sep.xml" "$work/out-locale/$name.xml"; then
        pass "user locale ${locale%:*}: the DLL writes decimal separator '$sep'"
      else
        fail "user locale ${locale%:*}: the DLL does not write decimal separator '$sep'"
      fi
    done
  fi
fi

# 32-bit DLL: stdcall exports under their plain names.
if command -v i686-w64-mingw32-gcc >/dev/null 2>&1; then
  t=$(now)
  if cross_build "$win32" i686-w64-mingw32; then
    pass "i686 DLL built in $win32 ($(since "$t"))"
    if names=$(exports_exactly_five "$(objdump_for i686-w64-mingw32)" "$win32/kdx2xml.dll"); then
      pass "i686 kdx2xml.dll exports exactly: $names"
    else
      fail "i686 kdx2xml.dll exports: $names"
    fi
    # The linked variant needs the import library to map the decorated
    # stdcall names (_InitKDX@8) onto the plain exports.
    if build_host i686-w64-mingw32 "$win32"; then
      pass "i686 host built, LoadLibraryW and import-library (stdcall) variants"
      # Runs where wine can start 32-bit programs (the wine32 package); must
      # run where wine32 is installed, and in CI (CI=true) unless the package
      # index has no wine32 to install.
      "$wine" "$win32/kdx2xml-host.exe" >/dev/null 2>"$work/probe32.txt"
      if grep -q '^usage: kdx2xml-host' "$work/probe32.txt"; then
        if run_host "$win32/kdx2xml-host.exe" "$win32/kdx2xml.dll" "$work/out32" "$work/host32.log"; then
          pass "i686 host under wine: $(tail -n 1 "$work/host32.log")"
        else
          fail "i686 host under wine:"
          grep -v '^PASS' "$work/host32.log" | sed 's/^/    /'
        fi
        compare_outputs "i686 DLL" "$work/out32"
        if run_host "$win32/kdx2xml-host-linked.exe" - "$work/out32-linked" "$work/host32-linked.log"; then
          pass "i686 host linked with the import library: $(tail -n 1 "$work/host32-linked.log")"
        else
          fail "i686 host linked with the import library:"
          grep -v '^PASS' "$work/host32-linked.log" | sed 's/^/    /'
        fi
      elif [ -x /usr/lib/wine/wine ]; then
        fail "i686 host: wine32 is installed but cannot run it: $(head -n 3 "$work/probe32.txt" | tr '\n' ' ')"
      elif [ "${CI:-}" = true ] && wine32_offered; then
        fail "i686 host: wine32:i386 is offered by the package index but not installed (scripts/deps.sh --windows installs it)"
      else
        echo "windows-check: note: wine cannot run 32-bit programs here (wine32 not installed$(
             [ "${CI:-}" = true ] && echo ": the package index offers no wine32:i386");" \
             "the i686 DLL is built and its exports checked, not run"
      fi
    else
      fail "i686 host build"
      sed 's/^/    /' "$work/host.log"
    fi
  else
    fail "i686 DLL build in $win32"
    show_log
  fi
else
  echo "windows-check: note: i686-w64-mingw32-gcc not installed, the 32-bit DLL is not built"
fi

# A DLL whose version resource says 1.2.3.4 writes that as ProgramVersion.
# Only the resource and the link are redone; the build directory is set back
# to the project version afterwards.
if [ -n "$first_xml" ]; then
  t=$(now)
  if cross_build "$win64" x86_64-w64-mingw32 -DKDX2XML_RESOURCE_VERSION=1.2.3.4; then
    mkdir -p "$work/v1234"
    cp "$win64/kdx2xml.dll" "$work/v1234/kdx2xml.dll"
    "$wine" "$win64/kdx2xml-host.exe" "$work/v1234/kdx2xml.dll" "$work/v1234" "$first_xml" \
        >"$work/host-v1234.log" 2>&1
    version=$(grep -o -m 1 'ProgramVersion="[^"]*"' "$work/v1234/$(basename "${first_xml%.kdx}").xml" 2>/dev/null)
    if [ "$version" = 'ProgramVersion="1.2.3.4"' ]; then
      pass "DLL built with KDX2XML_RESOURCE_VERSION=1.2.3.4 writes $version ($(since "$t"))"
    else
      fail "DLL built with KDX2XML_RESOURCE_VERSION=1.2.3.4 writes [${version:-no ProgramVersion}]"
    fi
  else
    fail "build with KDX2XML_RESOURCE_VERSION=1.2.3.4"
    show_log
  fi
  cross_build "$win64" x86_64-w64-mingw32 -DKDX2XML_RESOURCE_VERSION= || fail "rebuild of $win64 with the project version"
fi

# The Python wheels that carry each DLL (scripts/build-wheel.sh): the DLL
# byte for byte as kdx2xml/kdx2xml.dll, under the platform's tag.
for pair in "$win64:win_amd64" "$win32:win32"; do
  dll=${pair%:*}/kdx2xml.dll tag=${pair##*:}
  [ -f "$dll" ] || continue
  if wheel=$("$root/scripts/build-wheel.sh" --library "$dll" --platform "$tag" -o "$work/wheels" 2>&1) &&
     [[ $wheel == *-py3-none-$tag.whl ]] &&
     python3 - "$wheel" "$dll" "$tag" <<'PY'
import sys, zipfile
wheel, dll, tag = sys.argv[1:]
with zipfile.ZipFile(wheel) as w:
    info = w.read(next(n for n in w.namelist() if n.endswith(".dist-info/WHEEL"))).decode()
    same = w.read("kdx2xml/kdx2xml.dll") == open(dll, "rb").read()
sys.exit(0 if same and f"Tag: py3-none-{tag}\n" in info else 1)
PY
  then
    pass "Python wheel $(basename "$wheel") carries the $tag DLL"
  else
    fail "Python wheel for $tag: $wheel"
  fi
done

# The zip: the 64-bit build packs the 32-bit one beside it (x64/, x86/).
if [ -f "$win32/kdx2xml.dll" ] && [ -f "$win64/kdx2xml.dll" ]; then
  t=$(now)
  if cmake "$win64" -DKDX2XML_PACKAGE_X86_BUILD="$win32" >"$work/cmake.log" 2>&1 &&
     (cd "$win64" && cpack -G ZIP -B "$work/package") >"$work/cpack.log" 2>&1; then
    zip=$(ls "$work"/package/*.zip)
    pass "cpack made $(basename "$zip") ($(stat -c %s "$zip") bytes, $(since "$t"))"
    mkdir -p "$work/unzipped"
    (cd "$work/unzipped" && cmake -E tar xf "$zip")
    top=$work/unzipped/$(basename "${zip%.zip}")
    missing=
    for arch in x64 x86; do
      for f in bin/kdx2xml.dll bin/kdx2xml-cli.exe lib/libkdx2xml.dll.a include/kdx2xml/kdx2xml.h; do
        [ -f "$top/$arch/$f" ] || missing="$missing $arch/$f"
      done
    done
    if [ -z "$missing" ]; then
      pass "the zip holds both DLLs, their import libraries, the header and the tools"
    else
      fail "the zip lacks:$missing"
    fi
    if [ -n "$first_xml" ]; then
      name=$(basename "${first_xml%.kdx}")
      "$wine" "$top/x64/bin/kdx2xml-cli.exe" "$first_xml" -o "$work/zip-cli.xml" >/dev/null 2>&1
      if cmp -s "$expect/$name.xml" "$work/zip-cli.xml"; then
        pass "the zip's x64/bin/kdx2xml-cli.exe converts $name like the Linux tool"
      else
        fail "the zip's x64/bin/kdx2xml-cli.exe does not convert $name like the Linux tool"
      fi
    fi
  else
    fail "cpack -G ZIP in $win64"
    tail -n 30 "$work/cmake.log" "$work/cpack.log" 2>/dev/null | sed 's/^/    /'
  fi
else
  echo "windows-check: note: the zip needs both DLLs; not made"
fi

finish
