#!/usr/bin/env bash
# Builds the command-line tool and converts a bundled sample, printing its XML.
# Usage: scripts/run-sample.sh [SAMPLE.kdx]   (default: examples/pricelist.kdx)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
ninja -C build kdx2xml_cli >/dev/null
sample=${1:-examples/pricelist.kdx}
# The XML is windows-1251; show it in the terminal's UTF-8.
if command -v iconv >/dev/null; then
  build/kdx2xml "$sample" | iconv -f windows-1251 -t utf-8
else
  build/kdx2xml "$sample"
fi
