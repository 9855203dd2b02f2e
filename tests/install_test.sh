#!/usr/bin/env bash
# The installed library as users meet it: installs a build into a scratch
# prefix, builds the consumer in tests/consumer/ against it through the CMake
# package and through pkg-config (also after moving the prefix) and runs both;
# makes the Debian package and looks into it; configures a cross build with a
# toolchain file and no GoogleTest for the target.
# Usage: tests/install_test.sh BUILD_DIR SOURCE_DIR
set -uo pipefail
build=$(cd "$1" && pwd)
src=$(cd "$2" && pwd)

passed=0
failed=0
pass() { passed=$((passed + 1)); echo "PASS: $*"; }
fail() { failed=$((failed + 1)); echo "FAIL: $*"; }
check() {  # DESCRIPTION COMMAND...: passes when the command succeeds
  local what=$1
  shift
  if "$@" >"$work/log" 2>&1; then pass "$what"; else fail "$what"; sed 's/^/    /' "$work/log" | tail -n 20; fi
}

work=$(mktemp -d "${TMPDIR:-/tmp}/kdx2xml-install-test.XXXXXX")
trap 'rm -rf "$work"' EXIT
export KDX2XML_DECIMAL_SEPARATOR=, SOURCE_DATE_EPOCH=1678838400
sample=$src/examples/smeta.kdx
head -c 100 "$sample" >"$work/cut.kdx"

prefix=$work/prefix
check "cmake --install into $prefix" cmake --install "$build" --prefix "$prefix"
libdir=$(dirname "$(find "$prefix" -name 'libkdx2xml.so.*.*' | head -n 1)")
for f in include/kdx2xml/kdx2xml.h bin/kdx2xml share/man/man1/kdx2xml.1; do
  if [ -f "$prefix/$f" ]; then pass "installed $f"; else fail "$f is not installed"; fi
done
for f in libkdx2xml.so libkdx2xml.so.1 pkgconfig/kdx2xml.pc cmake/kdx2xml/kdx2xmlConfig.cmake \
         cmake/kdx2xml/kdx2xmlConfigVersion.cmake; do
  if [ -e "$libdir/$f" ]; then pass "installed ${libdir#"$prefix"/}/$f"; else fail "$f is not installed in $libdir"; fi
done
soname=$(objdump -p "$libdir"/libkdx2xml.so.*.* | awk '$1 == "SONAME" { print $2 }')
if [ "$soname" = libkdx2xml.so.1 ]; then pass "SONAME $soname"; else fail "SONAME [$soname]"; fi
"$prefix/bin/kdx2xml" "$sample" >"$work/expected.xml"
check "the installed tool converts the sample" test -s "$work/expected.xml"

# RUNS_LIKE_THE_TOOL LABEL PROGRAM: the sample converts to the tool's bytes,
# a cut sample fails with the library's failure text.
runs_like_the_tool() {
  local label=$1 program=$2
  if "$program" "$sample" >"$work/out.xml" 2>"$work/err" && cmp -s "$work/expected.xml" "$work/out.xml"; then
    pass "$label: converts the sample like the installed tool"
  else
    fail "$label: does not convert the sample like the installed tool: $(head -c 300 "$work/err")"
  fi
  "$program" "$work/cut.kdx" >/dev/null 2>"$work/err"
  local status=$?
  if [ $status = 1 ] && grep -q '^EReadError: Stream read error$' "$work/err"; then
    pass "$label: a cut document fails with its failure text"
  else
    fail "$label: a cut document gives exit status $status and [$(cat "$work/err")]"
  fi
}

# find_package(kdx2xml) and kdx2xml::kdx2xml.
if cmake -S "$src/tests/consumer" -B "$work/cmake-consumer" -G Ninja -DCMAKE_BUILD_TYPE=Release \
     -DCMAKE_PREFIX_PATH="$prefix" >"$work/log" 2>&1 && cmake --build "$work/cmake-consumer" >>"$work/log" 2>&1; then
  pass "consumer built with find_package(kdx2xml)"
  needed=$(objdump -p "$work/cmake-consumer/consumer" | awk '$1 == "NEEDED" && /kdx2xml/ { print $2 }')
  if [ "$needed" = libkdx2xml.so.1 ]; then pass "consumer needs $needed"; else fail "consumer needs [$needed]"; fi
  runs_like_the_tool "CMake consumer" "$work/cmake-consumer/consumer"
else
  fail "consumer built with find_package(kdx2xml)"
  sed 's/^/    /' "$work/log" | tail -n 20
fi
if ! cmake -S "$src/tests/consumer" -B "$work/cmake-consumer-2" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" \
     -DKDX2XML_CONSUMER_VERSION=2.0 >"$work/log" 2>&1 && grep -q 'version: 1\.0\.0' "$work/log"; then
  pass "find_package(kdx2xml 2.0) refuses the installed 1.0.0"
else
  fail "find_package(kdx2xml 2.0) does not refuse the installed 1.0.0"
  sed 's/^/    /' "$work/log" | tail -n 20
fi

# pkg-config, then the same after moving the installed tree.
pkg_consumer() {  # LABEL PREFIX
  local label=$1 root=$2 flags
  flags=$(PKG_CONFIG_PATH="$root/${libdir#"$prefix"/}/pkgconfig" pkg-config --cflags --libs kdx2xml) || {
    fail "$label: pkg-config --cflags --libs kdx2xml"
    return
  }
  local rpath
  rpath=$(PKG_CONFIG_PATH="$root/${libdir#"$prefix"/}/pkgconfig" pkg-config --variable=libdir kdx2xml)
  # shellcheck disable=SC2086
  if ${CC:-cc} -std=c99 -Wall -Wextra -Werror "$src/tests/consumer/consumer.c" $flags \
       -Wl,-rpath,"$rpath" -o "$work/pkg-consumer" >"$work/log" 2>&1; then
    pass "$label: consumer built with pkg-config ($flags)"
    runs_like_the_tool "$label" "$work/pkg-consumer"
  else
    fail "$label: consumer built with pkg-config"
    sed 's/^/    /' "$work/log" | tail -n 20
  fi
}
pkg_consumer "pkg-config" "$prefix"
mv "$prefix" "$work/moved"
pkg_consumer "pkg-config, prefix moved" "$work/moved"
mv "$work/moved" "$prefix"

# The Debian package.
if cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work/deb" >"$work/log" 2>&1; then
  deb=$(ls "$work"/deb/*.deb)
  pass "Debian package $(basename "$deb")"
  dpkg-deb -c "$deb" | awk '{ print $6 }' >"$work/contents"
  for f in ./usr/lib/libkdx2xml.so.1 ./usr/include/kdx2xml/kdx2xml.h ./usr/bin/kdx2xml \
           ./usr/share/man/man1/kdx2xml.1 ./usr/lib/pkgconfig/kdx2xml.pc \
           ./usr/lib/cmake/kdx2xml/kdx2xmlConfig.cmake; do
    if grep -qx -- "$f" "$work/contents"; then pass "package holds $f"; else fail "package lacks $f"; fi
  done
  depends=$(dpkg-deb -f "$deb" Depends)
  if [[ $depends == *libc6* ]]; then pass "package depends on: $depends"; else fail "package Depends [$depends]"; fi
  shlibs=$(dpkg-deb -I "$deb" shlibs 2>/dev/null)
  if [[ $shlibs == "libkdx2xml 1 kdx2xml"* ]]; then pass "package shlibs: $shlibs"; else fail "package shlibs [$shlibs]"; fi
else
  fail "cpack -G DEB"
  sed 's/^/    /' "$work/log" | tail -n 20
fi

# A cross build configures without GoogleTest: nothing can be found for the target.
mkdir -p "$work/sysroot"
cat >"$work/toolchain.cmake" <<EOF
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR $(uname -m))
set(CMAKE_FIND_ROOT_PATH "$work/sysroot")
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
EOF
if cmake -S "$src" -B "$work/cross" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$work/toolchain.cmake" \
     >"$work/log" 2>&1 && grep -q '^KDX2XML_TESTS:BOOL=OFF$' "$work/cross/CMakeCache.txt"; then
  pass "a cross build configures with a toolchain file alone; tests default to off"
else
  fail "a cross build with a toolchain file does not configure"
  sed 's/^/    /' "$work/log" | tail -n 20
fi

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
