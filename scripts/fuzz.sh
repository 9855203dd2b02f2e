#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (AddressSanitizer + UndefinedBehaviorSanitizer)
# and runs each for a while with the dictionary, seeded with the conformance
# corpus, the samples and the regression inputs. Fails when a target finds an
# input that fails; the input is left in BUILD/artifacts/TARGET/.
# Usage: scripts/fuzz.sh [SECONDS] [TARGET...]   (default 60 seconds each, all targets)
#   KDX2XML_FUZZ_BUILD   build directory (default build-fuzz); its corpus/ grows from run to run
#   KDX2XML_FUZZ_MERGE=1 afterwards, merge each target's corpus, minimised, into fuzz/regressions/
#   KDX2XML_FUZZ_KEEP_GOING=1  a long run: a finding is kept in the artifacts folder and the
#                        run goes on (libFuzzer's fork mode, one worker); the status is then 0
#   KDX2XML_FUZZ_FAST=1  without AddressSanitizer (twice the executions; UndefinedBehaviorSanitizer
#                        stays), in build-fuzz-fast unless KDX2XML_FUZZ_BUILD says otherwise
set -euo pipefail
cd "$(dirname "$0")/.."
secs=${1:-60}
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(fuzz_convert fuzz_api fuzz_body fuzz_structure)
if [ "${KDX2XML_FUZZ_FAST:-}" = 1 ]; then
  build=${KDX2XML_FUZZ_BUILD:-build-fuzz-fast}
  ubsan="-fsanitize=undefined,float-cast-overflow -fno-sanitize-recover=undefined,float-cast-overflow"
  sanitizers=(-DKDX2XML_SANITIZE=OFF -DKDX2XML_FUZZ_SANITIZERS=undefined "-DCMAKE_CXX_FLAGS=$ubsan")
else
  build=${KDX2XML_FUZZ_BUILD:-build-fuzz}
  sanitizers=(-DKDX2XML_SANITIZE=ON -DKDX2XML_FUZZ_SANITIZERS=address,undefined -DCMAKE_CXX_FLAGS=)
fi

fuzz/make_dict.py --check
cmake -S . -B "$build" -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo "${sanitizers[@]}" -DKDX2XML_FUZZ=ON -DKDX2XML_TESTS=OFF >/dev/null
ninja -C "$build" "${targets[@]}" >/dev/null

# The input form of a target: packed documents, or the body target's selector
# byte followed by the file version and the content.
form_of() { [ "$1" = fuzz_body ] && echo body || echo packed; }

# Seeds: every packed document of the corpus and the samples (the body form
# keeps the kind's selector and everything after the body signature), and the
# regression inputs of the target's form.
seed() {  # form, directory
  python3 - "$1" "$2" tests/conformance examples <<'EOF'
import pathlib, sys
form, out, *roots = sys.argv[1:]
out = pathlib.Path(out)
out.mkdir(parents=True, exist_ok=True)
kinds = [0, 1, 2, 3, 4, 6]
for root in roots:
    for path in pathlib.Path(root).rglob("*.kdx"):
        data = path.read_bytes()
        if form == "body":
            if len(data) < 17 or data[4] not in kinds:
                continue
            data = bytes([kinds.index(data[4])]) + data[17:]
        name = "seed-" + "-".join(path.relative_to(root).parts)
        (out / name).write_bytes(data)
EOF
}

# Every run bounds the XML at 16 MiB (the driver's targets through their
# settings, the exports through the environment), so a run's memory stays
# within a few times that: a document whose memory or time grows faster than
# its size passes -rss_limit_mb or -timeout and is a finding (the
# structure-aware target, which grows documents by whole list items, has a
# timeout of 5 s).
export KDX2XML_MAX_XML_SIZE=16777216
# Chunks of 2 MB and more come from the heap and stay there when freed, as in a
# host that converts one document after another: otherwise every input maps
# and unmaps its model's chunks, and those page faults took 0.6 of the time
# of a run of the driver's target (2.7 times the executions with the heap).
export GLIBC_TUNABLES=glibc.malloc.mmap_threshold=33554432:glibc.malloc.trim_threshold=67108864
# The entropic schedule is off: at the feature counts these targets reach, its
# bookkeeping took two thirds of the time and left a sixth of the executions.
limits() {  # target
  case $1 in
    fuzz_structure) echo -max_len=65536 -timeout=5 -entropic=0 ;;
    *) echo -max_len=65536 -timeout=10 -entropic=0 ;;
  esac
}
keep_going=()
if [ "${KDX2XML_FUZZ_KEEP_GOING:-}" = 1 ]; then
  keep_going=(-fork=1 -ignore_crashes=1 -ignore_timeouts=1 -ignore_ooms=1)
fi

status=0
for target in "${targets[@]}"; do
  form=$(form_of "$target")
  corpus=$build/corpus/$target
  artifacts=$build/artifacts/$target/
  mkdir -p "$corpus" "$artifacts" "fuzz/regressions/$form"
  seed "$form" "$corpus"
  log=$build/$target.log
  echo "--- $target: ${secs}s"
  # shellcheck disable=SC2046  # the limits are separate words
  if ! "$build/fuzz/$target" -max_total_time="$secs" $(limits "$target") "${keep_going[@]}" \
      -rss_limit_mb=1024 -malloc_limit_mb=256 -dict=fuzz/kdx.dict -print_final_stats=1 \
      -artifact_prefix="$artifacts" "$corpus" "fuzz/regressions/$form" >"$log" 2>&1; then
    status=1
    tail -n 60 "$log"
    echo "$target: FAILED; the input is in $artifacts (add it to fuzz/regressions/$form/)"
  fi
  grep -E '^stat::number_of_executed_units|^Done [0-9]+ runs' "$log" | sed "s/^/$target: /" || true
  if [ "${KDX2XML_FUZZ_MERGE:-}" = 1 ] && [ $status = 0 ]; then
    mkdir -p "fuzz/regressions/$form"
    # shellcheck disable=SC2046
    "$build/fuzz/$target" -merge=1 $(limits "$target") "fuzz/regressions/$form" "$corpus" \
      >"$build/$target.merge.log" 2>&1
    echo "$target: merged into fuzz/regressions/$form ($(ls "fuzz/regressions/$form" | wc -l) files)"
  fi
done
exit $status
