#!/usr/bin/env bash
# Wall time of the command-line tool over a folder of documents with one and
# with two workers, and whether both write the same bytes.
#
# The folder holds COUNT documents: generated estimates of varying size when the
# sample tool can make them (make_samples --positions N), otherwise the bundled
# samples and the conformance corpus taken in turn (both estimates and the other
# kinds, including documents that fail).
#
# Usage: bench/batch.sh [BUILD_DIR [COUNT [RUNS]]]   (defaults: build 1000 5)
# The folders go to $TMPDIR (TMPDIR=/dev/shm keeps the disk out of the figures).
# With other work on the machine the figures say little: two workers gain only
# where a second core is free.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
count=${2:-1000}
runs=${3:-5}
cli=$build/kdx2xml
make_samples=$build/tests/make_samples
work=$(mktemp -d "${TMPDIR:-/tmp}/kdx2xml-batch.XXXXXX")
trap 'rm -rf "$work"' EXIT
export KDX2XML_DECIMAL_SEPARATOR=, SOURCE_DATE_EPOCH=1678838400

mkdir -p "$work/in"
if [ -x "$make_samples" ] && "$make_samples" --positions 1 "$work/probe.kdx" >/dev/null 2>&1 &&
   [ -s "$work/probe.kdx" ]; then
  source="estimates made by make_samples --positions N, N from 20 to 419"
  for ((i = 0; i < count; i++)); do
    "$make_samples" --positions $((20 + i * 7919 % 400)) "$(printf '%s/in/doc-%04d.kdx' "$work" "$i")" >/dev/null
  done
else
  source="the bundled samples and the conformance corpus in turn"
  mapfile -t pool < <(find "$root/examples" "$root/tests/conformance" -name '*.kdx' | sort)
  for ((i = 0; i < count; i++)); do
    cp "${pool[i % ${#pool[@]}]}" "$(printf '%s/in/doc-%04d.kdx' "$work" "$i")"
  done
fi
size=$(du -sk "$work/in" | cut -f1)
echo "batch: $count documents ($size KiB): $source"

time_run() {  # JOBS: prints the wall time of one run in seconds
  rm -rf "$work/out-$1"
  local start end
  start=$(date +%s.%N)
  "$cli" -j "$1" -d "$work/out-$1" "$work"/in/*.kdx 2>"$work/err-$1" || true
  end=$(date +%s.%N)
  awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f\n", b - a }'
}
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

# The runs alternate, so that a change in the machine's load hits both alike.
times1=()
times2=()
for ((r = 0; r < runs; r++)); do
  times1+=("$(time_run 1)")
  times2+=("$(time_run 2)")
done
declare -A best
best[1]=$(printf '%s\n' "${times1[@]}" | median)
best[2]=$(printf '%s\n' "${times2[@]}" | median)
echo "batch: -j 1: median ${best[1]} s of $runs runs (${times1[*]}); $(tail -n 1 "$work/err-1")"
echo "batch: -j 2: median ${best[2]} s of $runs runs (${times2[*]}); $(tail -n 1 "$work/err-2")"
echo "batch: load average $(cut -d ' ' -f 1-3 /proc/loadavg) on $(nproc) cores"
if diff -r "$work/out-1" "$work/out-2" >/dev/null; then
  echo "batch: -j 1 and -j 2 wrote byte-identical files ($(find "$work/out-1" -name '*.xml' | wc -l) XML files)"
else
  echo "batch: -j 1 and -j 2 wrote DIFFERENT files"
  exit 1
fi
awk -v a="${best[1]}" -v b="${best[2]}" 'BEGIN { printf "batch: -j 2 takes %.2f of the time of -j 1 (%.2fx faster)\n", b / a, a / b }'
