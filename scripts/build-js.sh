#!/usr/bin/env bash
# Builds the JavaScript package (bindings/js): its WebAssembly converter
# (Emscripten) beside the package's modules and the licence, in OUTDIR/package,
# with the project's version (from the build) written into its package.json,
# then packs it with npm pack.
# Usage: scripts/build-js.sh [OUTDIR]   (default: build-wasm/js)
# The last line printed is the tarball's absolute path.
# KDX2XML_WASM_BUILD names the converter's build folder (default: build-wasm).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${KDX2XML_WASM_BUILD:-build-wasm}
out=${1:-$build/js}

for tool in emcmake npm; do
  if ! command -v $tool >/dev/null; then
    echo "build-js: $tool is not installed (scripts/deps.sh --web installs it)" >&2
    exit 1
  fi
done
# Emscripten's JavaScript optimiser needs acorn, which Debian installs for its
# own node; another node finds it through NODE_PATH.
if [ -d /usr/share/nodejs/acorn ]; then
  export NODE_PATH=/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}
fi

log=$(mktemp)
trap 'rm -f "$log"' EXIT
if ! { emcmake cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release &&
       ninja -C "$build" kdx2xml_wasm; } >"$log" 2>&1; then
  cat "$log" >&2
  echo "build-js: building the converter failed" >&2
  exit 1
fi

mkdir -p "$out"
out=$(cd "$out" && pwd)
rm -rf "$out/package" "$out"/kdx2xml-*.tgz
mkdir "$out/package"
# The package's files as package.json lists them; the converter is the one
# built, the licence the project's.
for f in $(node -p "require('./bindings/js/package.json').files.join(' ')"); do
  case $f in
    kdx2xml.wasm) cp "$build/bindings/js/$f" "$out/package/" ;;
    LICENSE) cp LICENSE "$out/package/" ;;
    *) cp "bindings/js/$f" "$out/package/" ;;
  esac
done
# package.json with the version after the name.
node -e '
const fs = require("fs");
const [from, to, version] = process.argv.slice(1);
const { name, ...rest } = JSON.parse(fs.readFileSync(from, "utf8"));
fs.writeFileSync(to, JSON.stringify({ name, version, ...rest }, null, 2) + "\n");
' bindings/js/package.json "$out/package/package.json" "$(cat "$build/bindings/js/package-version.txt")"
tarball=$(cd "$out" && npm pack ./package --loglevel=error | tail -n 1)
echo "$out/$tarball"
