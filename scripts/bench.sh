#!/usr/bin/env bash
# Builds the benchmark in a release build and runs it over generated estimates,
# price lists, price-index documents and resource summaries of growing size
# and the bundled samples. Prints one table per document (see README.md, "The
# benchmark"), then the stages and the memory.
# Usage: scripts/bench.sh [--quick] [BENCHMARK OPTIONS...]
#   --quick   one run of each measurement instead of three
#   e.g.      scripts/bench.sh --benchmark_filter='smeta|pricelist'
set -euo pipefail
cd "$(dirname "$0")/.."
repetitions=3
if [ "${1:-}" = "--quick" ]; then
  repetitions=1
  shift
fi
scripts/deps.sh --bench
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DKDX2XML_BENCH=ON >/dev/null
ninja -C build-bench bench_convert kdx2xml_cli >/dev/null
exec build-bench/bench/bench_convert --quiet --benchmark_repetitions="$repetitions" "$@"
