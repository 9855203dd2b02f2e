#!/usr/bin/env bash
# Builds and runs every test: a release build, then an AddressSanitizer +
# UndefinedBehaviorSanitizer build, a ThreadSanitizer build of the multi-threaded
# API test, static analysis (cppcheck), the unit and conformance tests of a
# 32-bit build under qemu-i386, 20 seconds of each fuzz target (when clang is
# installed), the JavaScript package in Node.js (when Emscripten and npm are
# installed), the browser viewer in headless Chromium (when Emscripten, Chromium
# and npm are installed), then the Windows build under wine when the cross tools
# are present.
# Usage: scripts/test.sh [--quick]   (--quick: the release build only)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh ${KDX2XML_WINDOWS:+--windows} ${KDX2XML_WEB:+--web}
jobs=$(nproc 2>/dev/null || echo 2)
status=0

run_suite() {  # name, build dir, cmake args...
  local name=$1 dir=$2
  shift 2
  echo "=== $name ==="
  # The tests on, whatever the folder's cache says (scripts/build-wheel.sh
  # turns them off in the folder it builds in).
  cmake -S . -B "$dir" -G Ninja -DKDX2XML_TESTS=ON "$@" >/dev/null
  ninja -C "$dir" >/dev/null
  (cd "$dir" && ctest --output-on-failure -j "$jobs") || status=1
}

run_suite "release build" build -DCMAKE_BUILD_TYPE=Release
if [ "${1:-}" != "--quick" ]; then
  export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
  run_suite "AddressSanitizer + UndefinedBehaviorSanitizer build" build-asan \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKDX2XML_SANITIZE=ON
  echo "=== ThreadSanitizer build: the multi-threaded API tests ==="
  cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKDX2XML_TSAN=ON >/dev/null
  ninja -C build-tsan api_test >/dev/null
  # A filter that matched no test would pass silently: the count is checked.
  if ! tsan=$(TSAN_OPTIONS=halt_on_error=1 build-tsan/tests/api_test \
      --gtest_filter='ApiTest.Concurrent*:ApiTest.HandleReleasedDuringGetData*' 2>&1) || ! grep -q '^\[  PASSED  \] [1-9]' <<<"$tsan"; then
    echo "$tsan"
    status=1
  fi
  grep -E '^\[ +(OK|FAILED) +\]' <<<"$tsan" || true
  echo "=== static analysis: cppcheck over the whole tree ==="
  scripts/static-analysis.sh || status=1
  echo "=== 32-bit build under qemu-i386: unit and conformance tests ==="
  cmake -S . -B build-i686 -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/i686-linux-gnu.cmake \
    -DKDX2XML_TESTS=ON -DKDX2XML_GTEST_SOURCE=/usr/src/googletest >/dev/null
  ninja -C build-i686 unit_tests conformance_test >/dev/null
  # The sweeps that cut or change every byte of a document (their cost grows
  # with the square of its size) stay with the 64-bit suites: emulated they
  # would take minutes. Damaged input whose handling depends on the word size
  # (lengths and counts near the limits) is in the tables of the unit tests
  # and in the corpus, which run here.
  (cd build-i686 && GTEST_FILTER='-*WhenCut*:*EveryPrefix*:*EveryTruncation*:*EveryChangedByte*:*EveryCut*' \
    ctest --output-on-failure --no-tests=error -j "$jobs" -R '^(unit_tests|conformance)$') || status=1
  if command -v clang++ >/dev/null; then
    echo "=== fuzzing: each target 20 s under AddressSanitizer + UndefinedBehaviorSanitizer ==="
    scripts/fuzz.sh 20 || status=1
  else
    echo "=== fuzzing skipped: clang is not installed (the regression inputs ran above) ==="
  fi
  if command -v emcmake >/dev/null && command -v npm >/dev/null; then
    echo "=== JavaScript package: the WebAssembly converter in Node.js ==="
    tests/js/run.sh build/kdx2xml build/tests/make_samples || status=1
  else
    echo "=== JavaScript package skipped: Emscripten or npm is missing (scripts/deps.sh --web) ==="
  fi
  if command -v emcmake >/dev/null && command -v chromium >/dev/null && command -v npm >/dev/null; then
    echo "=== browser viewer: the WebAssembly module and the page in headless Chromium ==="
    tests/web/run.sh build/kdx2xml build/tests/make_samples || status=1
  else
    echo "=== browser viewer skipped: Emscripten, Chromium or npm is missing (scripts/deps.sh --web) ==="
  fi
  if [ -x scripts/windows-check.sh ]; then
    echo "=== Windows build ==="
    scripts/windows-check.sh build/kdx2xml || status=1
  fi
fi
exit $status
