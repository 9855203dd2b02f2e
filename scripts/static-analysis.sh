#!/usr/bin/env bash
# Static analysis of the whole tree with cppcheck: its bug-finding checks
# (warning, performance, portability) over every source in src/, tests/,
# tools/, bench/, fuzz/ and bindings/js/src (not the packages of JavaScript
# tests), in every preprocessor configuration, so the Windows code is checked
# as well. Findings that are not faults are suppressed in
# scripts/cppcheck-suppressions.txt, each with its reason; any other finding
# fails.
# Usage: scripts/static-analysis.sh
set -euo pipefail
cd "$(dirname "$0")/.."
cppcheck --std=c++20 -I src -I include -I tests \
  --library=googletest --enable=warning,performance,portability \
  --suppressions-list=scripts/cppcheck-suppressions.txt --inline-suppr \
  --error-exitcode=1 --quiet -j "$(nproc 2>/dev/null || echo 2)" \
  --template='{file}:{line}: {severity}: {message} [{id}]' \
  -i node_modules src tests tools bench fuzz bindings/js/src
