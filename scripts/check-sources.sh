#!/usr/bin/env bash
# Checks the shape of the library's sources (src/):
#  - includes point down the layers: filer, xml, model, shared, the kinds, api;
#    no kind includes another kind's folder, nothing below src/api includes it;
#  - file versions are named: a version literal (0x0001XXXX) stands only in the
#    definition of a named constant, a name means one version everywhere, and
#    no version is written in decimal (65536 and above), not even in comments;
#    each file defines its versions in ascending order;
#  - a constant's name stands for one value: defined in several places, it has
#    the same value in each.
# Usage: scripts/check-sources.sh [SOURCE DIR]   (default: src beside this script)
set -euo pipefail
src=${1:-"$(dirname "$0")/../src"}
cd "$src"
status=0
fail() {
  echo "check-sources: $*" >&2
  status=1
}

# The layer of a folder: a file may include its own layer and those below.
rank() {
  case $1 in
    filer) echo 0 ;;
    xml) echo 1 ;;
    model) echo 2 ;;
    shared) echo 3 ;;
    smeta | objsmeta | cennik | priceindexes | ressummary) echo 4 ;;
    api) echo 5 ;;
    *) echo "" ;;
  esac
}

files=$(find . -name '*.cpp' -o -name '*.h' | sed 's|^\./||' | sort)
[ -n "$files" ] || { echo "check-sources: no sources in $src" >&2; exit 1; }

while IFS=: read -r file line target; do
  from=${file%%/*}
  to=${target%%/*}
  [ "$to" = "$target" ] && continue  # a header of the same folder
  from_rank=$(rank "$from")
  to_rank=$(rank "$to")
  [ -n "$to_rank" ] || continue  # not a folder of src (e.g. kdx2xml/)
  if [ -z "$from_rank" ]; then
    fail "$file:$line: folder $from has no layer"
  elif [ "$to_rank" -gt "$from_rank" ]; then
    fail "$file:$line: includes $target from a layer above"
  elif [ "$from_rank" = 4 ] && [ "$to_rank" = 4 ] && [ "$from" != "$to" ]; then
    fail "$file:$line: one kind includes another kind's $target"
  fi
done < <(grep -nE '^#include "[^"]+"' $files | sed -E 's/^([^:]+):([0-9]+):#include "([^"]+)".*/\1:\2:\3/')

# Version literals outside the definition of a named constant (comments
# aside). Versions are signed 32-bit constants; bit masks, unsigned, may look alike.
version='0x0001[0-9A-Fa-f]{4}\b'
definition="\s*(inline )?(static )?constexpr int32_t k[A-Za-z0-9_]+ = $version;"
mask="\s*(inline )?(static )?constexpr uint(8|16|32|64)_t k[A-Za-z0-9_]+ = 0x[0-9A-Fa-f]+;"
if bare=$(grep -nE "$version" $files | grep -vE "^[^:]+:[0-9]+:($definition|$mask)" |
  sed -E 's|//.*$||' | grep -E "$version"); then
  fail "file versions written as bare literals (name them):"$'\n'"$bare"
fi
if decimal=$(grep -nE '\b(6553[6-9]|655[4-9][0-9]|65[6-9][0-9]{2}|66[0-9]{3})\b' $files); then
  fail "file versions written in decimal (write them in hex):"$'\n'"$decimal"
fi
if twice=$(grep -hE "^$definition" $files | sed -E 's/^.*constexpr int32_t (k[A-Za-z0-9_]+) = (0x[0-9A-Fa-f]+);.*$/\1/' |
  sort | uniq -d); [ -n "$twice" ]; then
  fail "version names defined more than once (one name, one version, one place):"$'\n'"$twice"
fi
# Each file names its versions in ascending order, so its history reads top down.
if unordered=$(grep -nE "^$definition" $files | awk -F: '{
    match($3, /0x[0-9A-Fa-f]+/); v = toupper(substr($3, RSTART, RLENGTH))  # fixed width: compared as text
    if ($1 == file && v < last) print $1 ":" $2 ": " $3
    file = $1; last = v
  }') && [ -n "$unordered" ]; then
  fail "file versions out of ascending order:"$'\n'"$unordered"
fi
# One name, one value: a name defined with two values (two bits of two
# records, two defaults) reads as the same thing where it is not.
constant='^\s*(inline |static )*(constexpr|const) [A-Za-z0-9_:<>* ]+ (k[A-Z][A-Za-z0-9_]*) = ([^;]+);'
if clash=$(grep -hE "$constant" $files | sed -E "s/$constant.*/\3 \4/" | sort -u |
  awk '$1 == last { print $1 } { last = $1 }' | sort -u) && [ -n "$clash" ]; then
  fail "constant names defined with two values (give each value a name of its own):"$'\n'"$clash"
fi
exit $status
