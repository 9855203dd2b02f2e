#!/usr/bin/env bash
# Builds the Python package's wheels into dist/ (or -o DIR), offline, with the
# package's own build backend:
#  - kdx2xml-VERSION-py3-none-manylinux_2_N_x86_64.whl, which carries the
#    release library with the C++ runtime linked in (portable/libkdx2xml.so.1
#    of the build in build-wheel/, or $KDX2XML_WHEEL_BUILD), so `pip install`
#    of it is all a user needs on any Linux with glibc 2.N or later; 2.N is
#    read from the library, and the build fails if it needs more than glibc;
#  - with --library FILE, the wheel of that library, tagged from it the same
#    way, or linux_x86_64 (this machine alone) when it needs more than glibc;
#  - with --pure, kdx2xml-VERSION-py3-none-any.whl instead, for systems that
#    install the library as a package;
#  - with --library kdx2xml.dll --platform win_amd64 (or win32), the Windows
#    wheel of a DLL cross-built as docs/WINDOWS.md describes.
# Prints the path of the wheel it made.
#
# Usage: scripts/build-wheel.sh [--pure | --library FILE [--platform TAG]] [-o DIR]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
library= platform= pure= out=$root/dist
while [ $# -gt 0 ]; do
  case $1 in
    --library) library=$(realpath "$2"); shift 2 ;;
    --platform) platform=$2; shift 2 ;;
    --pure) pure=1; shift ;;
    -o) mkdir -p "$2"; out=$(realpath "$2"); shift 2 ;;
    -h|--help) sed -n '2,19s/^# \{0,1\}//p' "$0"; exit 0 ;;
    *) echo "build-wheel: unknown argument $1 (try --help)" >&2; exit 2 ;;
  esac
done
if [ -n "$pure" ] && [ -n "$library$platform" ]; then
  echo "build-wheel: --pure takes no library or platform" >&2
  exit 2
fi
if [ -n "$platform" ] && [ -z "$library" ]; then
  echo "build-wheel: --platform needs the --library of that platform" >&2
  exit 2
fi

if [ -z "$pure" ] && [ -z "$library" ]; then
  build=${KDX2XML_WHEEL_BUILD:-$root/build-wheel}
  launcher=()
  if command -v ccache >/dev/null; then
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
  fi
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKDX2XML_TESTS=OFF \
    "${launcher[@]}" >/dev/null
  # The library by its file: the one with the C++ runtime linked in.
  ninja -C "$build" portable/libkdx2xml.so.1 >/dev/null
  library=$(realpath "$build/portable/libkdx2xml.so.1")
  platform=manylinux
fi

mkdir -p "$out"
# Any Python 3 runs the backend: it needs the standard library alone.
python=$(command -v python3 || echo /usr/bin/python3)
wheel=$(cd "$root/bindings/python" && "$python" -c '
import sys
sys.path.insert(0, "build_backend")
import kdx2xml_build
settings = {"library": sys.argv[2], "platform": sys.argv[3]} if sys.argv[2] else None
print(kdx2xml_build.build_wheel(sys.argv[1], settings))' "$out" "$library" "$platform")
echo "$out/$wheel"
