#!/usr/bin/env bash
# Makes a release: every artifact into dist/ with SHA256SUMS, then installs
# each one as a user would and converts the samples (examples/*.kdx) with it,
# the XML compared byte for byte with the Linux tool's:
#
#   kdx2xml-V.tar.gz            the sources (git archive of HEAD): unpacked in
#                               a scratch folder they build and pass their
#                               tests with the network cut off (where unshare
#                               can), and the tool they build converts
#   kdx2xml_V_amd64.deb         installed with dpkg -i (purged again at the
#                               end): its kdx2xml converts, pkg-config names
#                               it, a program built with pkg-config converts
#   kdx2xml-V-windows.zip       unpacked: the 64-bit and 32-bit tools convert
#                               under wine
#   kdx2xml-V-py3-none-manylinux_2_N_x86_64.whl
#                               its library needs glibc alone (2.N in the tag
#                               is the newest GLIBC_2.* version it names) and
#                               exports only the header's functions; pip
#                               installs it offline into a fresh virtual
#                               environment, where kdx2xml.convert_file converts
#   kdx2xml-V-py3-none-win_amd64.whl, kdx2xml-V-py3-none-win32.whl
#                               pip installs each for its platform into a
#                               folder; the DLL there converts under wine,
#                               loaded by a test host
#   kdx2xml-V.tgz               the npm package: npm installs it offline into
#                               an empty project, where node converts
#
# Each artifact must say the project's version, V, from CMakeLists.txt (its
# name, its metadata, and ProgramVersion in the XML it writes) and carry the
# licence. One line per artifact, PASS or FAIL with the reason, then
# "N passed, N failed"; the exit code is 1 when any failed.
#
# Usage: scripts/release.sh
# Installs what is missing first (scripts/deps.sh --windows --web, as root).
# Builds in build-release/ (or $KDX2XML_RELEASE_BUILD), logs in its logs/;
# dist/ is emptied first.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root" || exit 1
if [ "${1:-}" = -h ] || [ "${1:-}" = --help ]; then
  sed -n '2,/^set -uo/{/^set -uo/d;s/^# \{0,1\}//;p}' "$0"
  exit 0
fi

scripts/deps.sh --windows --web || exit 1

builds=${KDX2XML_RELEASE_BUILD:-$root/build-release}
mkdir -p "$builds"
builds=$(cd "$builds" && pwd)
logs=$builds/logs
dist=$root/dist
jobs=$(nproc 2>/dev/null || echo 2)
rm -rf "$logs" "$dist"
mkdir -p "$logs" "$dist"
work=$(mktemp -d "${TMPDIR:-/tmp}/kdx2xml-release.XXXXXX")

# The version, written once: project(kdx2xml VERSION A.B.C.D).
version4=$(sed -n 's/^project(kdx2xml VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
version=$(cut -d. -f1-3 <<<"$version4")
if ! [[ $version =~ ^[0-9]+\.[0-9]+\.[0-9]+$ ]]; then
  echo "release: no project(kdx2xml VERSION A.B.C...) in CMakeLists.txt" >&2
  exit 1
fi
echo "release: kdx2xml $version ($version4), building in $builds" >&2

# Every conversion runs with the same settings, and finds its library only
# where the artifact put it.
export KDX2XML_DECIMAL_SEPARATOR=, SOURCE_DATE_EPOCH=1678838400
unset KDX2XML_LIBRARY LD_LIBRARY_PATH PYTHONPATH
export WINEPREFIX=$builds/wineprefix WINEDEBUG=-all WINEARCH=win64 \
       WINEDLLOVERRIDES="mscoree,mshtml=" DISPLAY=
unset WAYLAND_DISPLAY
wineserver=
for candidate in wineserver /usr/lib/wine/wineserver64 /usr/lib/wine/wineserver; do
  if command -v "$candidate" >/dev/null 2>&1; then wineserver=$(command -v "$candidate"); break; fi
done
deb_installed=
cleanup() {
  if [ -n "$deb_installed" ]; then dpkg -P kdx2xml >/dev/null 2>&1; fi
  if [ -n "$wineserver" ] && [ -d "$WINEPREFIX" ]; then "$wineserver" -k >/dev/null 2>&1; fi
  rm -rf "$work"
}
trap cleanup EXIT

# --- bookkeeping ---------------------------------------------------------------
passed=0 failed=0
why= what=
steps=0
last_log=
must() {  # LABEL COMMAND...: runs the command into a log (last_log); on failure sets why
  local label=$1
  shift
  steps=$((steps + 1))
  last_log=$logs/$(printf '%02d' $steps)-${label//[^A-Za-z0-9_.-]/_}.log
  if "$@" >"$last_log" 2>&1; then return 0; fi
  why="$label failed (${last_log#"$root"/}): $(grep -v '^[[:space:]]*$' "$last_log" | tail -n 3 | tr '\n' ' ')"
  return 1
}
# CHECK ARTIFACT FUNCTION: the artifact's line; the function sets what or why.
check() {
  local artifact=$1
  why= what=
  if [ ! -f "$artifact" ]; then
    failed=$((failed + 1))
    echo "FAIL ${artifact#"$root"/}: not made: ${made_why[$artifact]:-no such file}"
    return
  fi
  if "$2" "$artifact"; then
    passed=$((passed + 1))
    echo "PASS ${artifact#"$root"/}: $what"
  else
    failed=$((failed + 1))
    echo "FAIL ${artifact#"$root"/}: $why"
  fi
}
declare -A made_why

samples=("$root"/examples/*.kdx)
# SAME_AS_NATIVE DIR: every sample's XML in DIR (NAME.xml) is the Linux tool's.
same_as_native() {
  local f name differ=
  for f in "${samples[@]}"; do
    name=$(basename "${f%.kdx}")
    cmp -s "$expect/$name.xml" "$1/$name.xml" || differ="$differ $name"
  done
  if [ -n "$differ" ]; then
    why="the XML differs from the Linux tool's for:$differ (${1#"$work"/})"
    return 1
  fi
}
# VERSION_IS LABEL FOUND: the artifact says the project's version.
version_is() {
  if [ "$2" = "$version" ] || [ "$2" = "$version4" ]; then return 0; fi
  why="$1 says version [$2], the project $version"
  return 1
}

# --- making --------------------------------------------------------------------
tarball=$dist/kdx2xml-$version.tar.gz
deb=$dist/kdx2xml_${version}_$(dpkg --print-architecture).deb
zip=$dist/kdx2xml-$version-windows.zip
wheel_linux=$dist/kdx2xml-$version-py3-none-manylinux.whl  # renamed once the tag is known
wheel_win64=$dist/kdx2xml-$version-py3-none-win_amd64.whl
wheel_win32=$dist/kdx2xml-$version-py3-none-win32.whl
npm_tarball=$dist/kdx2xml-$version.tgz

echo "release: the source tarball" >&2
if ! git rev-parse --verify -q HEAD >/dev/null; then
  made_why[$tarball]="not a git checkout"
else
  if [ -n "$(git status --porcelain --untracked-files=no)" ]; then
    echo "release: note: the working tree has uncommitted changes; the source tarball holds HEAD" >&2
  fi
  must "git archive" sh -c 'git archive --format=tar --prefix="kdx2xml-$1/" HEAD | gzip -n -9 >"$2"' \
      - "$version" "$tarball" || made_why[$tarball]=$why
fi

echo "release: the Linux build, the Debian package and the manylinux wheel" >&2
linux=$builds/linux
if must "cmake linux" cmake -S "$root" -B "$linux" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKDX2XML_TESTS=OFF &&
   must "build linux" cmake --build "$linux" -j "$jobs"; then
  if must "cpack deb" cpack --config "$linux/CPackConfig.cmake" -G DEB -B "$work/deb"; then
    cp "$work"/deb/*.deb "$dist/" 2>/dev/null
    [ -f "$deb" ] || made_why[$deb]="cpack made $(cd "$work/deb" && ls ./*.deb 2>/dev/null | tr '\n' ' ')"
  else
    made_why[$deb]=$why
  fi
  if must "manylinux wheel" env KDX2XML_WHEEL_BUILD="$linux" scripts/build-wheel.sh -o "$dist"; then
    wheel_linux=$(tail -n 1 "$last_log")
  else
    made_why[$wheel_linux]=$why
  fi
else
  made_why[$deb]=$why made_why[$wheel_linux]=$why
fi

echo "release: the Windows DLLs, the zip and the Windows wheels" >&2
win32=$builds/win32 win64=$builds/win64
cross_build() {  # DIR TRIPLE
  must "cmake $2" cmake -S "$root" -B "$1" -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchains/$2.cmake" &&
    must "build $2" cmake --build "$1" -j "$jobs" &&
    # The test host (tests/windows/host.c), which loads a DLL by its path.
    must "host $2" "$2-gcc" -std=c11 -municode -O2 -Wall -Wextra -Werror -I"$root/include" \
        "$root/tests/windows/host.c" -o "$1/kdx2xml-host.exe"
}
cross_build "$win32" i686-w64-mingw32 || made_why[$zip]=$why
cross_build "$win64" x86_64-w64-mingw32 || made_why[$zip]=$why
if [ -z "${made_why[$zip]:-}" ]; then
  if must "cmake zip" cmake "$win64" -DKDX2XML_PACKAGE_X86_BUILD="$win32" &&
     must "cpack zip" cpack --config "$win64/CPackConfig.cmake" -G ZIP -B "$work/zip"; then
    cp "$work"/zip/*.zip "$dist/" 2>/dev/null
    [ -f "$zip" ] || made_why[$zip]="cpack made $(cd "$work/zip" && ls ./*.zip 2>/dev/null | tr '\n' ' ')"
  else
    made_why[$zip]=$why
  fi
fi
# The wheels carry the zip's DLLs (stripped by cpack, as the zip's files are).
if [ -f "$zip" ] && must "unzip for the wheels" python3 -m zipfile -e "$zip" "$work/zip-files"; then
  zipped=$work/zip-files/kdx2xml-$version-windows
  must "win32 wheel" scripts/build-wheel.sh --library "$zipped/x86/bin/kdx2xml.dll" --platform win32 -o "$dist" ||
    made_why[$wheel_win32]=$why
  must "win_amd64 wheel" scripts/build-wheel.sh --library "$zipped/x64/bin/kdx2xml.dll" --platform win_amd64 \
      -o "$dist" || made_why[$wheel_win64]=$why
else
  made_why[$wheel_win32]="no zip to take the DLL from: ${made_why[$zip]:-$why}"
  made_why[$wheel_win64]=${made_why[$wheel_win32]}
fi

echo "release: the npm package" >&2
if must "npm package" env KDX2XML_WASM_BUILD="$builds/wasm" scripts/build-js.sh "$builds/js"; then
  made=$(tail -n 1 "$last_log")
  cp "$made" "$dist/" 2>/dev/null
  [ -f "$npm_tarball" ] || made_why[$npm_tarball]="npm pack made $(basename "$made")"
else
  made_why[$npm_tarball]=$why
fi

(cd "$dist" && find . -maxdepth 1 -type f ! -name SHA256SUMS -printf '%f\n' | sort |
   xargs -r sha256sum -- >SHA256SUMS)

# --- checking ------------------------------------------------------------------
echo "release: checking each artifact as a user would use it" >&2
echo "release: ${#samples[@]} samples: $(cd examples && ls ./*.kdx | sed 's|^\./||' | tr '\n' ' ')" >&2
expect=$work/expected
mkdir -p "$expect"
if [ -x "$linux/kdx2xml" ]; then
  "$linux/kdx2xml" -d "$expect" "${samples[@]}" >"$logs/expected.log" 2>&1 ||
    echo "release: the Linux tool does not convert every sample: $(tail -n 1 "$logs/expected.log")" >&2
fi

wine_ready=
wine_ready() {  # the prefix made once, with its 32-bit part once wine32 runs
  if [ -z "$wine_ready" ]; then
    if [ ! -f "$WINEPREFIX/system.reg" ] ||
       { /usr/lib/wine/wine --version >/dev/null 2>&1 &&
         [ ! -f "$WINEPREFIX/drive_c/windows/syswow64/kernel32.dll" ]; }; then
      must "wineboot" wine wineboot -u || return 1
    fi
    wine_ready=1
  fi
}

sums() {
  if (cd "$dist" && sha256sum -c --quiet SHA256SUMS) >"$logs/sha256sums.log" 2>&1; then
    what="$(wc -l <"$dist/SHA256SUMS") files, sha256sum -c verifies every one"
  else
    why="sha256sum -c: $(tail -n 3 "$logs/sha256sums.log" | tr '\n' ' ')"
    return 1
  fi
}

source_tarball() {
  local src=$work/src top=kdx2xml-$version offline="with the network cut off"
  mkdir -p "$src"
  must "unpack sources" tar -xzf "$1" -C "$src" || return 1
  [ -d "$src/$top" ] || { why="no $top/ folder in the tarball"; return 1; }
  version_is "its CMakeLists.txt" \
    "$(sed -n 's/^project(kdx2xml VERSION \([0-9.]*\).*/\1/p' "$src/$top/CMakeLists.txt")" || return 1
  [ -f "$src/$top/LICENSE" ] || { why="no LICENSE"; return 1; }
  version_is "its CHANGELOG.md's newest section" \
    "$(sed -n 's/^## \([0-9][0-9.]*\).*/\1/p' "$src/$top/CHANGELOG.md" 2>/dev/null | head -n 1)" || return 1
  # Build and test it offline: in a network namespace of its own with only the
  # loopback device, where this user may make one.
  local run=()
  if command -v unshare >/dev/null && command -v ip >/dev/null && unshare -rn true 2>/dev/null; then
    run=(unshare -rn sh -c 'ip link set lo up && exec "$@"' -)
  else
    offline="(no network namespace here, so the network was not cut off)"
  fi
  must "build the sources" "${run[@]}" sh -c 'cmake -S "$1" -B "$1/build" -G Ninja -DCMAKE_BUILD_TYPE=Release &&
      cmake --build "$1/build" -j "$2"' - "$src/$top" "$jobs" || return 1
  must "test the sources" "${run[@]}" sh -c 'cd "$1/build" && ctest -j "$2" --output-on-failure --no-tests=error' \
      - "$src/$top" "$jobs" || return 1
  local tests
  tests=$(grep -o '[0-9]*% tests passed, [0-9]* tests failed out of [0-9]*' "$last_log")
  must "convert with the built tool" "$src/$top/build/kdx2xml" -d "$work/out-src" "${samples[@]}" || return 1
  same_as_native "$work/out-src" || return 1
  what="unpacked, built and tested $offline: $tests; its tool converts the samples like the release's"
}

debian_package() {
  local name ver root_dir=/ how="installed with dpkg -i"
  name=$(dpkg-deb -f "$1" Package) ver=$(dpkg-deb -f "$1" Version)
  [ "$name" = kdx2xml ] || { why="package name [$name]"; return 1; }
  version_is "its control file" "$ver" || return 1
  local contents
  contents=$(dpkg-deb -c "$1")
  grep -q ' ./usr/share/doc/kdx2xml/copyright$' <<<"$contents" ||
    { why="no /usr/share/doc/kdx2xml/copyright"; return 1; }
  local env_run=(env)
  if [ "$(id -u)" = 0 ]; then
    if [ "$(dpkg-query -W -f='${db:Status-Status}' kdx2xml 2>/dev/null)" != not-installed ] &&
       dpkg-query -W kdx2xml >/dev/null 2>&1; then
      why="a kdx2xml package is on this machine already; remove it (dpkg -P kdx2xml) to check this one"
      return 1
    fi
    deb_installed=1
    must "dpkg -i" dpkg -i "$1" || return 1
  else
    # Not root: unpacked, and its files found through the environment.
    root_dir=$work/deb-root how="unpacked (not root, so not installed)"
    must "dpkg-deb -x" dpkg-deb -x "$1" "$root_dir" || return 1
    env_run=(env PATH="$root_dir/usr/bin:$PATH" LD_LIBRARY_PATH="$root_dir/usr/lib"
             PKG_CONFIG_PATH="$root_dir/usr/lib/pkgconfig")
  fi
  grep -q '^License: MIT$' "$root_dir/usr/share/doc/kdx2xml/copyright" || { why="its copyright file names no licence"; return 1; }
  grep -q "^\.TH .*\"kdx2xml $version\"" "$root_dir/usr/share/man/man1/kdx2xml.1" ||
    { why="the title of its manual page does not name $version"; return 1; }
  local tool modversion
  tool=$("${env_run[@]}" sh -c 'command -v kdx2xml')
  [ "$tool" = "$root_dir/usr/bin/kdx2xml" ] || [ "$tool" = "/usr/bin/kdx2xml" ] ||
    { why="kdx2xml on the PATH is [$tool], not the package's"; return 1; }
  version_is "kdx2xml --version" "$("${env_run[@]}" kdx2xml --version | awk '{ print $2 }')" || return 1
  must "the installed tool converts" "${env_run[@]}" kdx2xml -d "$work/out-deb" "${samples[@]}" || return 1
  same_as_native "$work/out-deb" || return 1
  modversion=$("${env_run[@]}" pkg-config --modversion kdx2xml 2>&1)
  version_is "pkg-config --modversion kdx2xml" "$modversion" || return 1
  # A program built against it with pkg-config, as a user's would be.
  must "build a program with pkg-config" "${env_run[@]}" sh -c \
    'cc "$1" $(pkg-config --cflags --libs kdx2xml) -o "$2"' - "$root/tests/consumer/consumer.c" "$work/consumer" ||
    return 1
  mkdir -p "$work/out-consumer"
  local f
  for f in "${samples[@]}"; do
    "${env_run[@]}" "$work/consumer" "$f" >"$work/out-consumer/$(basename "${f%.kdx}").xml" 2>>"$logs/consumer.log"
  done
  same_as_native "$work/out-consumer" || return 1
  if [ -n "$deb_installed" ]; then
    must "dpkg -P" dpkg -P kdx2xml || return 1
    deb_installed=
    how="$how (and purged again)"
  fi
  what="$how: kdx2xml $version converts the samples, pkg-config --modversion says $modversion, a program built with pkg-config converts them too"
}

# WHEEL_FILE WHEEL NAME: the file's bytes from the wheel on stdout.
wheel_file() { python3 -c 'import sys, zipfile; sys.stdout.buffer.write(zipfile.ZipFile(sys.argv[1]).read(sys.argv[2]))' "$1" "$2"; }
# WHEEL_METADATA WHEEL TAG: the wheel's version, licence and tag are right.
wheel_metadata() {
  local metadata info
  metadata=$(wheel_file "$1" "kdx2xml-$version.dist-info/METADATA" 2>&1) || { why="no METADATA for $version"; return 1; }
  version_is "its METADATA" "$(sed -n 's/^Version: //p' <<<"$metadata")" || return 1
  grep -qx 'License: MIT' <<<"$metadata" && grep -qx 'Classifier: License :: OSI Approved :: MIT License' <<<"$metadata" ||
    { why="its METADATA names no MIT licence"; return 1; }
  wheel_file "$1" "kdx2xml-$version.dist-info/LICENSE" >/dev/null 2>&1 || { why="no LICENSE in its dist-info"; return 1; }
  info=$(wheel_file "$1" "kdx2xml-$version.dist-info/WHEEL")
  grep -qx "Tag: py3-none-$2" <<<"$info" || { why="its WHEEL file says [$(grep Tag: <<<"$info")], not py3-none-$2"; return 1; }
}

manylinux_wheel() {
  local tag library needed newest exports declared venv
  tag=$(basename "$1" .whl)
  tag=${tag#"kdx2xml-$version-py3-none-"}
  wheel_metadata "$1" "$tag" || return 1
  library=$work/wheel-library.so
  wheel_file "$1" kdx2xml/libkdx2xml.so.1 >"$library" || { why="no kdx2xml/libkdx2xml.so.1 in it"; return 1; }
  needed=$(objdump -p "$library" | awk '$1 == "NEEDED" { print $2 }' | sort | tr '\n' ' ')
  if grep -qvE '^(libc\.so\.6|libm\.so\.6|ld-linux-x86-64\.so\.2)$' <<<"$(tr ' ' '\n' <<<"$needed" | grep .)"; then
    why="its library needs more than libc, libm and the loader: $needed"
    return 1
  fi
  newest=$(objdump -T "$library" | grep -o '(GLIBC_2\.[0-9]*)' | tr -d '()' | sort -uV | tail -n 1)
  [ "$tag" = "manylinux_2_${newest#GLIBC_2.}_x86_64" ] ||
    { why="tagged $tag, but the newest glibc version its library names is $newest"; return 1; }
  # Exactly the functions the header declares.
  exports=$(nm -D --defined-only "$library" | awk '{ print $3 }' | sort | tr '\n' ' ')
  declared=$(sed -n 's/^KDX_API .*KDX_CALL *\([A-Za-z_0-9]*\)(.*/\1/p' "$root/include/kdx2xml/kdx2xml.h" |
             sort | tr '\n' ' ')
  [ "$exports" = "$declared" ] || { why="its library exports [$exports], the header declares [$declared]"; return 1; }
  venv=$work/venv
  must "python3 -m venv" python3 -m venv "$venv" || return 1
  must "pip install" env PIP_DISABLE_PIP_VERSION_CHECK=1 "$venv/bin/python" -m pip install --no-index --no-cache-dir "$1" ||
    return 1
  must "convert in the virtual environment" "$venv/bin/python" - "$work/out-wheel" "$version" "$venv" "${samples[@]}" <<'PY' || return 1
import importlib.metadata, os, sys
import kdx2xml
out, version, venv, samples = sys.argv[1], sys.argv[2], sys.argv[3], sys.argv[4:]
assert kdx2xml.__version__ == version, kdx2xml.__version__
assert importlib.metadata.version("kdx2xml") == version
library = kdx2xml.load_library()._name
assert library.startswith(venv), f"the library came from {library}"
os.makedirs(out)
for sample in samples:
    name = os.path.splitext(os.path.basename(sample))[0]
    with open(os.path.join(out, name + ".xml"), "wb") as f:
        f.write(kdx2xml.convert_file(sample))
PY
  same_as_native "$work/out-wheel" || return 1
  what="its library needs only $needed(newest $newest) and exports only the header's $(wc -w <<<"$declared") functions; pip installed it offline into a fresh virtual environment, where kdx2xml.convert_file converts the samples"
}

# A virtual environment whose pip installs the Windows wheels into folders
# (the system's pip may refuse to install anything).
tools_venv() {
  [ -x "$work/tools/bin/python" ] || must "python3 -m venv" python3 -m venv "$work/tools"
}

# WINE_RUNS HOST: wine can start the test host of that build.
wine_runs() {
  wine "$1" >/dev/null 2>"$work/probe.txt"
  grep -q '^usage: kdx2xml-host' "$work/probe.txt" && return 0
  if [ ! -x /usr/lib/wine/wine ] && [[ $1 == "$win32"/* ]]; then
    why="wine cannot run 32-bit programs (wine32 is not installed: scripts/deps.sh --windows installs it)"
  elif [[ $1 == "$win32"/* ]] && ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
    why="wine32 cannot start: this kernel runs no 32-bit programs (scripts/deps.sh --windows, as root, runs them under qemu-i386)"
  else
    why="wine cannot run $1: $(head -n 2 "$work/probe.txt" | tr '\n' ' ')"
  fi
  return 1
}

windows_wheel() {  # WHEEL TAG BUILD ARCH
  local tag=$2 build=$3 target=$work/wheel-$2 pyversion
  wheel_metadata "$1" "$tag" || return 1
  pyversion=$(python3 -c 'import sys; print(f"{sys.version_info[0]}.{sys.version_info[1]}")')
  tools_venv || return 1
  must "pip install for $tag" env PIP_DISABLE_PIP_VERSION_CHECK=1 "$work/tools/bin/python" -m pip install --no-index --no-cache-dir \
      --no-deps --only-binary=:all: --platform "$tag" --python-version "$pyversion" --target "$target" "$1" ||
    return 1
  [ -f "$target/kdx2xml/kdx2xml.dll" ] || { why="pip installed no kdx2xml/kdx2xml.dll"; return 1; }
  cmp -s "$target/kdx2xml/kdx2xml.dll" "$work/zip-files/kdx2xml-$version-windows/$4/bin/kdx2xml.dll" ||
    { why="its DLL is not the zip's $4/bin/kdx2xml.dll"; return 1; }
  grep -q "__version__ = \"$version\"" "$target/kdx2xml/_version.py" || { why="its kdx2xml/_version.py is not $version"; return 1; }
  python3 - "$target/kdx2xml/kdx2xml.dll" <<'PY' || { why="the DLL's version resource has no MIT LegalCopyright"; return 1; }
import sys
dll = open(sys.argv[1], "rb").read()
sys.exit(0 if "LegalCopyright".encode("utf-16-le") in dll and "MIT License".encode("utf-16-le") in dll else 1)
PY
  wine_ready || return 1
  wine_runs "$build/kdx2xml-host.exe" || return 1
  mkdir -p "$work/out-$tag"
  must "the $tag DLL under wine" wine "$build/kdx2xml-host.exe" "$target/kdx2xml/kdx2xml.dll" "$work/out-$tag" \
      "${samples[@]}" || return 1
  same_as_native "$work/out-$tag" || return 1
  local checks
  checks=$(tail -n 1 "$last_log" | tr -d '\r')
  what="pip installed it for $tag into a folder; its DLL (LegalCopyright: MIT) converts the samples under wine, ProgramVersion $version4 from its resource (${checks#kdx2xml-host: })"
}
win64_wheel() { windows_wheel "$1" win_amd64 "$win64" x64; }
win32_wheel() { windows_wheel "$1" win32 "$win32" x86; }

windows_zip() {
  local top=$work/unzipped/kdx2xml-$version-windows arch f missing=
  must "unzip" python3 -m zipfile -e "$1" "$work/unzipped" || return 1
  [ -d "$top" ] || { why="no kdx2xml-$version-windows/ folder in it"; return 1; }
  for arch in x64 x86; do
    for f in LICENSE bin/kdx2xml.dll bin/kdx2xml-cli.exe lib/libkdx2xml.dll.a include/kdx2xml/kdx2xml.h; do
      [ -f "$top/$arch/$f" ] || missing="$missing $arch/$f"
    done
  done
  [ -z "$missing" ] || { why="it lacks$missing"; return 1; }
  wine_ready || return 1
  wine_runs "$win32/kdx2xml-host.exe" || return 1
  for arch in x64 x86; do
    version_is "$arch/bin/kdx2xml-cli.exe --version" \
      "$(wine "$top/$arch/bin/kdx2xml-cli.exe" --version 2>/dev/null | tr -d '\r' | awk '{ print $2 }')" || return 1
    # The 32-bit tool converts with one worker: where the kernel runs no
    # 32-bit programs, 32-bit wine runs under qemu's user emulation, whose
    # threads crash or hang wine itself; the 64-bit tool checks the workers.
    local workers=2
    [ $arch = x86 ] && workers=1
    must "$arch tool under wine" wine "$top/$arch/bin/kdx2xml-cli.exe" -j $workers -d "$work/out-zip-$arch" "${samples[@]}" ||
      return 1
    same_as_native "$work/out-zip-$arch" || return 1
  done
  what="unpacked: both DLLs with their import libraries, the header, the tools and the licence; x64/bin/kdx2xml-cli.exe and x86/bin/kdx2xml-cli.exe (kdx2xml $version4) convert the samples under wine"
}

npm_package() {
  local project=$work/npm-project manifest
  manifest=$(tar -xzOf "$1" package/package.json 2>/dev/null) || { why="no package/package.json in it"; return 1; }
  version_is "its package.json" "$(node -e 'console.log(JSON.parse(process.argv[1]).version)' "$manifest")" || return 1
  [ "$(node -e 'console.log(JSON.parse(process.argv[1]).license)' "$manifest")" = MIT ] ||
    { why="its package.json names no MIT licence"; return 1; }
  local files
  files=$(tar -tzf "$1")
  grep -qx package/LICENSE <<<"$files" || { why="no LICENSE in it"; return 1; }
  mkdir -p "$project"
  echo '{ "name": "app", "private": true, "type": "module" }' >"$project/package.json"
  must "npm install" sh -c 'cd "$1" && npm install --offline --no-audit --no-fund --loglevel=error "$2"' - "$project" "$1" ||
    return 1
  cat >"$project/app.js" <<'JS'
import fs from 'node:fs';
import path from 'node:path';
import { createRequire } from 'node:module';
import { convert } from 'kdx2xml';

const [out, ...samples] = process.argv.slice(2);
console.log(createRequire(import.meta.url)('kdx2xml/package.json').version);
fs.mkdirSync(out);
for (const sample of samples) {
  fs.writeFileSync(path.join(out, path.basename(sample, '.kdx') + '.xml'), convert(fs.readFileSync(sample)));
}
JS
  must "convert with node" sh -c 'cd "$1" && shift && node app.js "$@"' - "$project" "$work/out-npm" "${samples[@]}" || return 1
  version_is "the installed package.json" "$(head -n 1 "$last_log")" || return 1
  same_as_native "$work/out-npm" || return 1
  what="npm installed it offline into an empty project, where node converts the samples (the settings from the environment)"
}

check "$dist/SHA256SUMS" sums
check "$tarball" source_tarball
check "$deb" debian_package
check "$zip" windows_zip
check "$wheel_linux" manylinux_wheel
check "$wheel_win64" win64_wheel
check "$wheel_win32" win32_wheel
check "$npm_tarball" npm_package

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
