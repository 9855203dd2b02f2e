#!/usr/bin/env bash
# Builds the browser viewer: the JavaScript package's WebAssembly converter
# (scripts/build-js.sh, Emscripten) and the page around it, into one folder
# that any static file host can serve.
# Usage: scripts/build-web.sh [OUTDIR]   (default: build-wasm/site)
# The last line printed is the folder's absolute path.
# KDX2XML_WASM_BUILD names the converter's build folder (default: build-wasm).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${KDX2XML_WASM_BUILD:-build-wasm}
out=${1:-$build/site}

# The converter is the JavaScript package's module (scripts/build-js.sh).
tarball=$(scripts/build-js.sh "$build/js" | tail -n 1)
package=$(dirname "$tarball")/package

rm -rf "$out"
mkdir -p "$out/js"
cp web/index.html web/viewer.css "$out/"
cp web/js/*.js "$out/js/"
cp "$package/kdx2xml.js" "$package/kdx2xml.wasm" "$out/js/"
# The offline copy: every file of the page, and a digest that changes with any of them.
files=$(cd "$out" && find . -type f ! -name sw.js | sed 's|^\./||' | LC_ALL=C sort | tr '\n' ' ')
files=${files% }
digest=$(cd "$out" && cat $files | sha256sum | cut -c1-16)
sed -e "s|@BUILD@|$digest|" -e "s|@FILES@|$files|" web/sw.js >"$out/sw.js"
cd "$out" && pwd
