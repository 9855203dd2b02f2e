#!/usr/bin/env bash
# Builds and runs every test: a release build, then an AddressSanitizer +
# UndefinedBehaviorSanitizer build, then the Windows build under wine when the
# cross tools are present.
# Usage: scripts/test.sh [--quick]   (--quick: the release build only)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh ${KDX2XML_WINDOWS:+--windows}
jobs=$(nproc 2>/dev/null || echo 2)
status=0

run_suite() {  # name, build dir, cmake args...
  local name=$1 dir=$2
  shift 2
  echo "=== $name ==="
  cmake -S . -B "$dir" -G Ninja "$@" >/dev/null
  ninja -C "$dir" >/dev/null
  (cd "$dir" && ctest --output-on-failure -j "$jobs") || status=1
}

run_suite "release build" build -DCMAKE_BUILD_TYPE=Release
if [ "${1:-}" != "--quick" ]; then
  export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
  run_suite "AddressSanitizer + UndefinedBehaviorSanitizer build" build-asan \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKDX2XML_SANITIZE=ON
  if [ -x scripts/windows-check.sh ]; then
    echo "=== Windows build ==="
    scripts/windows-check.sh build/kdx2xml || status=1
  fi
fi
exit $status
