#!/usr/bin/env bash
# Builds the browser viewer: the WebAssembly module of the core (Emscripten) and
# the page around it, into one folder that any static file host can serve.
# Usage: scripts/build-web.sh [OUTDIR]   (default: build-wasm/site)
# The last line printed is the folder's absolute path.
# KDX2XML_WASM_BUILD names the module's build folder (default: build-wasm).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${KDX2XML_WASM_BUILD:-build-wasm}
out=${1:-$build/site}

if ! command -v emcmake >/dev/null; then
  echo "build-web: Emscripten is not installed (scripts/deps.sh --web installs it)" >&2
  exit 1
fi
# Emscripten's JavaScript optimiser needs acorn, which Debian installs for its
# own node; another node finds it through NODE_PATH.
if [ -d /usr/share/nodejs/acorn ]; then
  export NODE_PATH=/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}
fi

log=$(mktemp)
trap 'rm -f "$log"' EXIT
if ! { emcmake cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release &&
       ninja -C "$build" kdx2xml_web; } >"$log" 2>&1; then
  cat "$log" >&2
  echo "build-web: building the module failed" >&2
  exit 1
fi

rm -rf "$out"
mkdir -p "$out/js"
cp web/index.html web/viewer.css "$out/"
cp web/js/*.js "$out/js/"
cp "$build/web/kdx2xml.mjs" "$build/web/kdx2xml.wasm" "$out/js/"
# The offline copy: every file of the page, and a digest that changes with any of them.
files=$(cd "$out" && find . -type f ! -name sw.js | sed 's|^\./||' | LC_ALL=C sort | tr '\n' ' ')
files=${files% }
digest=$(cd "$out" && cat $files | sha256sum | cut -c1-16)
sed -e "s|@BUILD@|$digest|" -e "s|@FILES@|$files|" web/sw.js >"$out/sw.js"
cd "$out" && pwd
