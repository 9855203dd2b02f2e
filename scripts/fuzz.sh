#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (AddressSanitizer + UndefinedBehaviorSanitizer)
# and runs each for a while with the dictionary, seeded with the conformance
# corpus, the samples and the regression inputs. Fails when a target finds an
# input that fails; the input is left in BUILD/artifacts/TARGET/.
# Usage: scripts/fuzz.sh [SECONDS] [TARGET...]   (default 60 seconds each, all targets)
#   KDX2XML_FUZZ_BUILD   build directory (default build-fuzz); its corpus/ grows from run to run
#   KDX2XML_FUZZ_MERGE=1 afterwards, merge each target's corpus, minimised, into fuzz/regressions/
set -euo pipefail
cd "$(dirname "$0")/.."
secs=${1:-60}
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(fuzz_convert fuzz_api fuzz_body)
build=${KDX2XML_FUZZ_BUILD:-build-fuzz}

fuzz/make_dict.py --check
cmake -S . -B "$build" -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKDX2XML_SANITIZE=ON -DKDX2XML_FUZZ=ON -DKDX2XML_TESTS=OFF >/dev/null
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

status=0
for target in "${targets[@]}"; do
  form=$(form_of "$target")
  corpus=$build/corpus/$target
  artifacts=$build/artifacts/$target/
  mkdir -p "$corpus" "$artifacts" "fuzz/regressions/$form"
  seed "$form" "$corpus"
  log=$build/$target.log
  echo "--- $target: ${secs}s"
  if ! "$build/fuzz/$target" -max_total_time="$secs" -max_len=65536 -timeout=10 \
      -rss_limit_mb=1024 -malloc_limit_mb=256 -dict=fuzz/kdx.dict -print_final_stats=1 \
      -artifact_prefix="$artifacts" "$corpus" "fuzz/regressions/$form" >"$log" 2>&1; then
    status=1
    tail -n 60 "$log"
    echo "$target: FAILED; the input is in $artifacts (add it to fuzz/regressions/$form/)"
  fi
  grep -E '^stat::number_of_executed_units|^Done [0-9]+ runs' "$log" | sed "s/^/$target: /" || true
  if [ "${KDX2XML_FUZZ_MERGE:-}" = 1 ] && [ $status = 0 ]; then
    mkdir -p "fuzz/regressions/$form"
    "$build/fuzz/$target" -merge=1 -max_len=65536 -timeout=10 "fuzz/regressions/$form" "$corpus" \
      >"$build/$target.merge.log" 2>&1
    echo "$target: merged into fuzz/regressions/$form ($(ls "fuzz/regressions/$form" | wc -l) files)"
  fi
done
exit $status
