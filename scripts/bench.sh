#!/usr/bin/env bash
# Builds the benchmark in a release build and runs it over generated estimates,
# price lists, price-index documents and resource summaries of growing size
# and the bundled samples. Prints first what users run (each document in new
# processes through the shared library and by the command-line tool, and
# repeated in one process: wall and CPU time, MB/s of XML, peak memory as
# input + k x XML, and per family the time per byte of the largest document
# against the smallest), then the stages and the memory (see README.md, "The
# benchmark").
# Usage: scripts/bench.sh [--quick] [--users] [--against DIR|REVISION] [OPTIONS...]
#   --quick     one run of each stage and three of what users run instead of
#               three and five
#   --users     only what users run, not the stages
#   --against   also measures another build in turn with this one and prints
#               this one's time and memory as ratios of the other's: a build
#               folder holding libkdx2xml.so and kdx2xml (a release build), or
#               a git revision, which is built in build-bench-REVISION
#   e.g.        scripts/bench.sh --users --against main --documents 'rows|pricelist-200k'
# Other options go to build-bench/bench/bench_convert: --documents REGEX,
# --fresh N, --warm N, --benchmark_filter=REGEX, ...
set -euo pipefail
cd "$(dirname "$0")/.."
repetitions=3
args=()
while [ $# -gt 0 ]; do
  case "$1" in
    --quick)
      repetitions=1
      args+=(--fresh 3 --warm 3)
      ;;
    --users) args+=(--users-only) ;;
    --against)
      against=${2:?--against needs a build folder or a git revision}
      shift
      ;;
    *) args+=("$1") ;;
  esac
  shift
done
scripts/deps.sh --bench
cache=()
if command -v ccache >/dev/null; then
  cache=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DKDX2XML_BENCH=ON "${cache[@]}" >/dev/null
ninja -C build-bench -j "$(nproc)" bench_convert >/dev/null
if [ -n "${against:-}" ]; then
  if [ ! -d "$against" ]; then
    # A revision: its sources exported and built for the library and the tool.
    revision=$against
    against=build-bench-$(printf '%s' "$revision" | tr -c 'A-Za-z0-9._-' '_')
    rm -rf "$against/src"
    mkdir -p "$against/src"
    git archive "$revision" | tar -x -C "$against/src"
    cmake -S "$against/src" -B "$against" -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DKDX2XML_TESTS=OFF "${cache[@]}" >/dev/null
    ninja -C "$against" -j "$(nproc)" libkdx2xml.so kdx2xml >/dev/null
  fi
  args+=(--against "$(cd "$against" && pwd)")
fi
exec build-bench/bench/bench_convert --quiet --benchmark_repetitions="$repetitions" "${args[@]}"
