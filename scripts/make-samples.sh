#!/usr/bin/env bash
# Regenerates every bundled sample in examples/ with the project's own builder.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
ninja -C build make_samples >/dev/null
build/tests/make_samples examples
