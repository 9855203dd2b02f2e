#!/bin/bash
# Quick check of the conformance corpus through the command-line tool.
# Usage: scripts/corpus-check.sh KIND... (e.g. 3 6); KDX2XML_CLI names the tool.
export KDX2XML_DECIMAL_SEPARATOR=, SOURCE_DATE_EPOCH=1678838400
tmp=$(mktemp -d); trap 'rm -rf "$tmp"' EXIT
pass=0; fail=0
for k in "$@"; do
for f in ${KDX2XML_CORPUS:-tests/conformance}/k${k}_*.kdx; do
  b=${f%.kdx}
  out=$(${KDX2XML_CLI:-build/kdx2xml} "$f" 2>"$tmp/err.txt"); rc=$?
  if [ -f $b.xml ]; then
    if [ $rc = 0 ] && cmp -s <(printf '%s' "$out") <(cat $b.xml | head -c -0 | sed -e '$a\' | head -c $(stat -c%s $b.xml)); then pass=$((pass+1)); else
      ${KDX2XML_CLI:-build/kdx2xml} "$f" > "$tmp/o.xml" 2>/dev/null
      if cmp -s "$tmp/o.xml" $b.xml || diff -q <(tr -d '\r' <"$tmp/o.xml") <(tr -d '\r' < $b.xml) >/dev/null; then pass=$((pass+1)); else fail=$((fail+1)); echo "XML FAIL $b"; fi
    fi
  elif [ -f $b.err ]; then
    e=$(sed 's/^kdx2xml: cannot convert [^:]*: //' "$tmp/err.txt")
    if [ "$e" = "$(cat $b.err)" ]; then pass=$((pass+1)); else fail=$((fail+1)); echo "ERR FAIL $b: got [$e] want [$(cat $b.err)]"; fi
  else
    if [ $rc != 0 ]; then pass=$((pass+1)); else fail=$((fail+1)); echo "ANYERR FAIL $b"; fi
  fi
done; done
echo "$pass passed, $fail failed"
