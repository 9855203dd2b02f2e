#!/usr/bin/env bash
# The browser viewer's test: builds the page (scripts/build-web.sh), installs
# the test driver from its lock file (npm ci, when the lock file changed) and
# drives the page in headless Chromium against the command-line tool.
# Usage: tests/web/run.sh KDX2XML_CLI [MAKE_SAMPLES]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
cli=$(realpath "$1")
make_samples=${2:+$(realpath "$2")}

site=$("$root/scripts/build-web.sh" | tail -n 1)

cd "$here"
stamp=node_modules/.kdx2xml-lock
lock=$(sha256sum package-lock.json | cut -d' ' -f1)
if [ "$(cat "$stamp" 2>/dev/null)" != "$lock" ]; then
  npm ci --no-audit --no-fund --loglevel=error >/dev/null
  echo "$lock" >"$stamp"
fi

KDX2XML_WEB_SITE=$site KDX2XML_CLI=$cli KDX2XML_SOURCE_DIR=$root KDX2XML_MAKE_SAMPLES=$make_samples \
  timeout -k 10 1200 node --test --test-reporter=tap viewer.test.mjs
