#!/usr/bin/env bash
# SPDX-License-Identifier: Zlib
# Writes the seeds of launcher_fuzzer, lzma_decoder_fuzzer's x86 cases,
# x86_filter_fuzzer, xz_decoder_fuzzer and config_file_fuzzer into corpus/
# beside this script;
# the input layouts are in each target's header comment. The seeds are
# committed; run this again after a layout changes.
#
#   tests/fuzz/make_seeds.sh
set -euo pipefail

corpus=$(cd "$(dirname "$0")" && pwd)/corpus

# Bytes as a printf format, from a list of numbers.
bytes() { printf "$(printf '\\x%02x' "$@")"; }
le32() { bytes $(($1 & 255)) $(($1 >> 8 & 255)) $(($1 >> 16 & 255)) $(($1 >> 24 & 255)); }
le24() { bytes $(($1 & 255)) $(($1 >> 8 & 255)) $(($1 >> 16 & 255)); }

# launcher_fuzzer: NAME FLAGS PACKAGE MAJOR MINOR BUILD PRODUCT TEXTS MACHINE
# [OFFSET:BYTE...]
launcher_seed() {
  local dir=$corpus/launcher_fuzzer patch
  mkdir -p "$dir"
  {
    bytes "$2" "$3" "$4" "$5"; le32 "$6"; bytes "$7" "$8" "$9" 0 0
    for patch in "${@:10}"; do
      bytes $((${patch%:*} & 255)) $((${patch%:*} >> 8)) "${patch#*:}"
    done
  } >"$dir/$1"
}
# PACKAGE: 0 no extension record, 1 LZMA1, 2 stored, 3 x86 + LZMA1, 4 xz;
# plus 5: the record's build limits 17763..22631. TEXTS: ReleaseId index
# (0 none, 1 "1507", 4 "2009") + 16 * DisplayVersion index (1 "22H2",
# 3 "24H2"). MACHINE: processors - 1 + 4 * memory in 64 MiB.
win10=(10 0 19045 1 $((4 + 16)) $((1 + 4 * 16)))
launcher_seed no-record           0 0 "${win10[@]}"
launcher_seed no-record-silent    6 0 "${win10[@]}"
launcher_seed lzma1               0 1 "${win10[@]}"
launcher_seed stored              0 2 "${win10[@]}"
launcher_seed x86-lzma1           0 3 "${win10[@]}"
launcher_seed xz                  0 4 "${win10[@]}"
launcher_seed xz-one-thread       0 4 10 0 19045 1 $((4 + 16)) 0
launcher_seed lzma1-limits        0 6 "${win10[@]}"
launcher_seed stored-limits       6 7 "${win10[@]}"
launcher_seed x86-lzma1-limits    0 8 "${win10[@]}"
launcher_seed xz-limits           0 9 "${win10[@]}"
launcher_seed xz-above-limit      0 9 10 0 26100 1 $((4 + 3 * 16)) $((1 + 4 * 16))
launcher_seed server-above-limit  0 6 10 0 26100 3 $((4 + 3 * 16)) 0
launcher_seed below-limit         0 7 10 0 10240 1 1 0
launcher_seed windows-7           0 1 6 1 7601 1 0 0
launcher_seed no-version-query    0 9 0 0 0 0 0 0
# FLAGS 9: the checksum refreshed, the patches at header offsets: 38 the low
# byte of ProgramLength (3000 = 0x0BB8), 46 the record's version, 47 its
# stream method, 50 the low bytes of MinBuild.
launcher_seed stored-length-differs 9 2 "${win10[@]}" 38:0xb9
launcher_seed record-version-2      9 1 "${win10[@]}" 46:2
launcher_seed record-method-4       9 1 "${win10[@]}" 47:4
launcher_seed lzma1-read-as-stored  9 1 "${win10[@]}" 47:1
launcher_seed stored-read-as-lzma1  9 2 "${win10[@]}" 47:0
launcher_seed xz-read-as-x86        9 4 "${win10[@]}" 47:2
launcher_seed min-build-above       9 6 "${win10[@]}" 50:0xff 51:0xff

# Program bytes shaped like x86 code: a few instruction bytes, then a call
# (E8) to one of a few targets.
x86_code() {
  local position=0 i
  for ((i = 0; i < $1; ++i)); do
    bytes 0x48 0x89 0xc3
    position=$((position + 8))
    le32 $(((0x1000 * (i % 16) - position) & 0xFFFFFFFF)) | { bytes 0xe8; cat; }
  done
}

# x86_filter_fuzzer: the chunk byte, then the data.
dir=$corpus/x86_filter_fuzzer
mkdir -p "$dir"
{ bytes 7; x86_code 64; } >"$dir/calls"
{ bytes 0; bytes 0xe8 0xe8 0xe9 0x00 0x00 0x00 0xff 0xe8 0x12 0x34 0x56 0xff 0xe9; } >"$dir/overlapping"

# xz_decoder_fuzzer: the program's length (24 bits), threads and memory,
# piece size, then the stream.
dir=$corpus/xz_decoder_fuzzer
mkdir -p "$dir"
program=$(mktemp)
trap 'rm -f "$program"' EXIT
x86_code 250 >"$program"
size=$(stat -c %s "$program")
xz_seed() {
  local name=$1 threads_memory=$2 piece=$3
  shift 3
  { le24 "$size"; bytes "$threads_memory" "$piece"; xz -c "$@" <"$program"; } >"$dir/$name"
}
# threads - 1 + 4 * memory in MiB.
xz_seed x86-blocks-threads  $((1 + 4 * 32)) 40 -T2 --block-size=600 --x86 --lzma2=preset=0 --check=crc32
xz_seed one-block           0 255 --lzma2=preset=0 --check=crc32
xz_seed crc64               $((1 + 4 * 32)) 3 -T2 --block-size=1000 --check=crc64 --lzma2=preset=0
xz_seed sha256-no-sizes     1 60 --check=sha256 --lzma2=preset=0
xz_seed no-check            $((1 + 4 * 1)) 9 -T2 --block-size=900 --check=none --delta=dist=4 --lzma2=preset=0
{ le24 0; bytes 1 0; xz -c --check=crc32 </dev/null; } >"$dir/empty"
# Damaged: stream padding, or a second stream, behind the stream.
{ cat "$dir/one-block"; bytes 0 0 0 0; } >"$dir/padded"
{ cat "$dir/empty"; xz -c --check=crc32 </dev/null; } >"$dir/two-streams"
# Damaged inside a block behind the x86 filter, on one thread, a byte at a
# time: liblzma's call that finds the damage hands out LZMA2's output
# unfiltered.
xz_seed x86-damaged 0 0 --x86 --lzma2=preset=0 --check=crc32
printf '\x55' | dd of="$dir/x86-damaged" bs=1 seek=69 conv=notrunc status=none

# lzma_decoder_fuzzer: properties byte 0x5D (lc 3, lp 0, pb 2), dictionary
# size 64 KiB (24 bits), the program's length (16 bits), then a raw LZMA1
# stream of the program, without and with the x86 filter.
dir=$corpus/lzma_decoder_fuzzer
lzma_seed() {
  local name=$1
  shift
  { bytes 0x5d 0 0 1; bytes $((size & 255)) $((size >> 8)); \
    xz -c --format=raw "$@" --lzma1=preset=0,dict=64KiB <"$program"; } >"$dir/$name"
}
lzma_seed x86-code
lzma_seed x86-filtered --x86

# config_file_fuzzer: config files, valid and refused.
dir=$corpus/config_file_fuzzer
mkdir -p "$dir"
cat >"$dir/top-and-tables" <<'TOML'
# package.toml
inner = "dist/app-setup.exe"
company-name = "Example Ltd"
version-string = ["Comments=Built by CI", 'PrivateBuild=C:\literal']
preset = 6
os-mask = "0x780"

[build]
extreme = true
x86 = false

[sign]
command = "osslsigncode sign -in {file} -out {file}.signed && mv {file}.signed {file}"
TOML
printf '\xef\xbb\xbfbuild.output = "out.exe"\nsign = { inner = "a.exe" }\n' >"$dir/bom-dotted-inline"
printf 'preset = 6\n[build]\npreset = 7\n' >"$dir/given-twice"
printf 'extreme = "yes"\nversion-string = [1, 2]\n' >"$dir/wrong-types"
printf 'presett = 6\n[signing]\n' >"$dir/unknown-key"
printf 'inner = """multi\nline"""\npreset = 1_000\nwhen = 1979-05-27T07:32:00Z\n' >"$dir/other-values"
