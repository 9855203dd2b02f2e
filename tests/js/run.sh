#!/usr/bin/env bash
# The JavaScript package's test: builds and packs the package
# (scripts/build-js.sh) and runs its test in Node.js against the command-line tool.
# Usage: tests/js/run.sh KDX2XML_CLI MAKE_SAMPLES
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
cli=$(realpath "$1")
make_samples=$(realpath "$2")

tarball=$("$root/scripts/build-js.sh" | tail -n 1)

cd "$here"
KDX2XML_JS_PACKAGE=$(dirname "$tarball")/package KDX2XML_CLI=$cli KDX2XML_MAKE_SAMPLES=$make_samples \
  KDX2XML_SOURCE_DIR=$root timeout -k 10 600 node --test --test-reporter=tap package.test.mjs
