#!/usr/bin/env bash
# Builds the libFuzzer target with clang and runs it for a while, seeded with
# the conformance corpus and the samples.
# Usage: scripts/fuzz.sh [SECONDS]   (default 60)
set -euo pipefail
cd "$(dirname "$0")/.."
secs=${1:-60}
cmake -S . -B build-fuzz -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKDX2XML_SANITIZE=ON -DKDX2XML_FUZZ=ON -DKDX2XML_TESTS=OFF >/dev/null
ninja -C build-fuzz fuzz_convert >/dev/null
mkdir -p build-fuzz/corpus
cp tests/conformance/*.kdx examples/*.kdx build-fuzz/corpus/ 2>/dev/null || true
build-fuzz/fuzz/fuzz_convert -max_total_time="$secs" -max_len=65536 -timeout=10 build-fuzz/corpus
