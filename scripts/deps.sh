#!/usr/bin/env bash
# Installs what the build and the tests need on a Debian machine, when missing.
# Usage: scripts/deps.sh [--windows] [--web] [--bench]   (--windows adds the mingw-w64
# cross compilers and wine, 64-bit and 32-bit, the latter under qemu-i386 where
# the kernel runs no 32-bit programs; --web Emscripten, node, npm and Chromium;
# --bench libxml2 for the benchmark's reference)
set -euo pipefail
windows=
[[ " $* " == *" --windows "* ]] && windows=1

need=()
command -v cmake >/dev/null || need+=(cmake)
command -v ninja >/dev/null || need+=(ninja-build)
command -v g++ >/dev/null || need+=(g++)
command -v nm >/dev/null || need+=(binutils)
command -v iconv >/dev/null || need+=(libc-bin)
command -v python3 >/dev/null || need+=(python3)
command -v xmllint >/dev/null || need+=(libxml2-utils)
# The Python package's offline install test, the installed-tree test (pkg-config)
# and the Debian package (dpkg-shlibdeps, file).
python3 -m pip --version >/dev/null 2>&1 || need+=(python3-pip)
command -v pkg-config >/dev/null || need+=(pkgconf)
command -v dpkg-shlibdeps >/dev/null || need+=(dpkg-dev)
command -v file >/dev/null || need+=(file)
[ -f /usr/include/gtest/gtest.h ] || need+=(libgtest-dev)
# Static analysis, and the 32-bit build run under user-mode emulation (its
# GoogleTest is built from the sources that libgtest-dev installs).
command -v cppcheck >/dev/null || need+=(cppcheck)
command -v i686-linux-gnu-g++ >/dev/null || need+=(g++-i686-linux-gnu)
command -v qemu-i386 >/dev/null || need+=(qemu-user)
[ -f /usr/include/benchmark/benchmark.h ] || need+=(libbenchmark-dev)
# The Python package's wheel test (a fresh virtual environment) and its cluster
# test: Dask distributed and fsspec for Debian's own interpreter. Without root
# they are only reported: the cluster test then says it is skipped.
optional=()
/usr/bin/python3 -c 'import ensurepip' >/dev/null 2>&1 || need+=(python3-venv)
/usr/bin/python3 -c 'import dask, distributed, fsspec' >/dev/null 2>&1 ||
  optional+=(python3-dask python3-distributed python3-fsspec)
# The fuzz targets: clang with its libFuzzer and sanitizer runtimes.
command -v clang++ >/dev/null || need+=(clang)
compgen -G '/usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-*.a' >/dev/null ||
  need+=(libclang-rt-dev)
if [ -n "$windows" ]; then
  command -v x86_64-w64-mingw32-g++ >/dev/null || need+=(g++-mingw-w64)
  command -v wine64 >/dev/null || [ -x /usr/lib/wine/wine64 ] || need+=(wine wine64)
fi
# The JavaScript package and the browser viewer with their tests (--web):
# Emscripten, node with npm (the package is packed and installed with npm, the
# viewer's test driver too) and Chromium.
if [[ " $* " == *" --web "* ]]; then
  command -v emcc >/dev/null || need+=(emscripten)
  command -v chromium >/dev/null || need+=(chromium)
  command -v node >/dev/null || need+=(nodejs)
  command -v npm >/dev/null || need+=(npm)
fi
if [[ " $* " == *" --bench "* ]]; then
  [ -f /usr/include/libxml2/libxml/tree.h ] || need+=(libxml2-dev)
fi

if [ "$(id -u)" != 0 ] && [ ${#optional[@]} -gt 0 ]; then
  echo "deps: optional packages missing: ${optional[*]} (their tests are skipped)" >&2
  optional=()
fi
need+=("${optional[@]}")
export DEBIAN_FRONTEND=noninteractive
if [ ${#need[@]} -gt 0 ]; then
  if [ "$(id -u)" != 0 ]; then
    echo "deps: missing packages: ${need[*]} (run as root or install them: apt-get install -y ${need[*]})" >&2
    exit 1
  fi
  echo "deps: installing ${need[*]}" >&2
  apt-get update -qq >/dev/null
  apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
fi

# wine32 (the i386 architecture's wine), which runs the 32-bit DLL: tried twice;
# when the package index refuses it, the Windows check builds the 32-bit DLL
# and reads its exports without running it, and this line says why.
wine32_installed() { [ -x /usr/lib/wine/wine ]; }
if [ -n "$windows" ] && [ "$(dpkg --print-architecture 2>/dev/null)" = amd64 ] && ! wine32_installed; then
  if [ "$(id -u)" != 0 ]; then
    echo "deps: wine32:i386 is not installed, so the 32-bit DLL is not run (as root:" \
         "dpkg --add-architecture i386 && apt-get update && apt-get install wine32:i386)" >&2
    exit 0
  fi
  log=$(mktemp)
  for attempt in 1 2; do
    echo "deps: installing wine32:i386 (attempt $attempt)" >&2
    if { dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386; } &&
       apt-get update -qq && apt-get install -y -qq --no-install-recommends wine32:i386; then
      break
    fi >"$log" 2>&1
  done
  if ! wine32_installed; then
    echo "deps: the package index refused wine32:i386, so the 32-bit DLL is built but not run:" \
         "$(grep -E '^(E|W):' "$log" | tail -n 3 | tr '\n' ' ')" >&2
  fi
  rm -f "$log"
fi
# A kernel built or booted without 32-bit support (ia32 emulation off) starts
# no i386 program, wine32's loader included ("Exec format error"). There the
# i386 programs run under qemu-i386 (qemu-user, above), which binfmt_misc
# starts for them: registered once, until the machine restarts.
runs_i386() { /usr/lib/wine/wine --version >/dev/null 2>&1; }
if [ -n "$windows" ] && wine32_installed && ! runs_i386; then
  binfmt=/proc/sys/fs/binfmt_misc
  if [ "$(id -u)" = 0 ] && command -v qemu-i386 >/dev/null; then
    [ -e $binfmt/register ] || mount -t binfmt_misc binfmt_misc $binfmt 2>/dev/null || true
    if [ -e $binfmt/register ] && [ ! -e $binfmt/qemu-i386 ]; then
      # ELF, 32-bit, little-endian, an executable or a shared object, i386.
      printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:'"$(command -v qemu-i386)"':F' \
        >$binfmt/register 2>/dev/null || true
    fi
  fi
  if runs_i386; then
    echo "deps: this kernel runs no 32-bit programs; they run under qemu-i386 (binfmt_misc), wine32 too" >&2
  else
    echo "deps: this kernel runs no 32-bit programs and qemu-i386 could not be registered for them" \
         "with binfmt_misc (as root: scripts/deps.sh --windows): wine32 cannot run" >&2
  fi
fi
