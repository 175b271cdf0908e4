#!/usr/bin/env bash
# SPDX-License-Identifier: Zlib
# The launcher image depends on its sources and tools only. Built from a copy
# of the sources in two other folders, of other names and depths, at other
# times, it has the bytes of the project's own dist/stub64.exe; with
# SOURCE_DATE_EPOCH its PE TimeDateStamp is that time, and nothing else
# changes but the CheckSum that covers it.
#
#   tests/reproducible/image_test.sh SOURCE_DIR DEPS_CACHE IMAGE WORK_DIR
set -euo pipefail

source=$1
cache=$2
image=$3
work=$4
rm -rf "$work"
mkdir -p "$work"

fail() { echo "FAILED: $*" >&2; exit 1; }

# What the Windows build reads, copied to $1, and the image built there as the
# win64 preset builds it.
build_copy() {
  local copy=$1
  mkdir -p "$copy/tests"
  cp -r "$source"/{CMakeLists.txt,cmake,format,decoding,launcher,platform,image,sdk,tools} "$copy/"
  cp -r "$source/tests/windows" "$copy/tests/"
  configure_and_build "$copy"
}

configure_and_build() {
  cmake -S "$1" -B "$1/build/win64" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$1/cmake/mingw-w64.cmake" \
        -DCMAKE_BUILD_TYPE=MinSizeRel -DSETUP_DEPS_CACHE="$cache" >"$work/configure.log" ||
    { cat "$work/configure.log"; fail "cannot configure $1"; }
  cmake --build "$1/build/win64" -j2 --target stub64 >"$work/build.log" ||
    { cat "$work/build.log"; fail "cannot build $1"; }
}

# The little-endian 32-bit field at byte $2 of file $1.
field() { od -An -tu4 -j"$2" -N4 "$1" | tr -d ' '; }

first=$work/a
second=$work/second-folder/of/a/longer/name/setup-launcher
build_copy "$first"
build_copy "$second"
cmp "$first/dist/stub64.exe" "$second/dist/stub64.exe" ||
  fail "the image built in $first differs from the one built in $second"
cmp "$first/dist/stub64.exe" "$image" || fail "the image built in $first differs from $image"
echo "$(stat -c %s "$image") bytes, the same in three folders"

pe=$(field "$image" 60)
stamp_at=$((pe + 8))
checksum_at=$((pe + 24 + 64))
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
  [ "$(field "$image" "$stamp_at")" = 0 ] || fail "$image has a TimeDateStamp"
fi

# The same sources linked with a SOURCE_DATE_EPOCH: the link alone runs again.
SOURCE_DATE_EPOCH=1700000000 configure_and_build "$second"
stamped=$second/dist/stub64.exe
[ "$(field "$stamped" "$stamp_at")" = 1700000000 ] ||
  fail "TimeDateStamp $(field "$stamped" "$stamp_at"), not SOURCE_DATE_EPOCH 1700000000"
{ cmp -l "$first/dist/stub64.exe" "$stamped" || true; } | while read -r position _ _; do
  offset=$((position - 1))
  if [ $((offset - stamp_at)) -ge 4 ] || [ $offset -lt $stamp_at ]; then
    [ $offset -ge $checksum_at ] && [ $offset -lt $((checksum_at + 4)) ] ||
      fail "SOURCE_DATE_EPOCH changed byte $offset, outside the TimeDateStamp and the CheckSum"
  fi
done
echo "SOURCE_DATE_EPOCH 1700000000 is the TimeDateStamp; nothing else changes"
