#!/usr/bin/env bash
# Regenerates every bundled sample in examples/ with the project's own builder;
# with arguments, passes them to the tool instead, e.g.
#   scripts/make-samples.sh --positions 100000 /tmp/large.kdx
# writes a local estimate of 100000 positions for benchmarks.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
ninja -C build make_samples >/dev/null
if [ $# -eq 0 ]; then
  set -- examples
fi
build/tests/make_samples "$@"
