#!/usr/bin/env bash
# SPDX-License-Identifier: Zlib
# Benchmark of sfxpack's xz packages on a large inner program, side by side
# with xz itself in one run. Prints figures; it is no test.
#
#   tools/bench/xz_bench.sh [options] [SFXPACK]
#     --size BYTES     the inner program's size (default 500000000)
#     --data code|mix  code (default): bench_child.exe, if built, then Wine's
#                      DLLs in name order over and over, as the Wine
#                      benchmarks' 500 MB program; mix: an installer-like mix,
#                      Wine's cmd.exe, then a tar of Debian's own files
#                      (libraries, documentation, icons, fonts, translations)
#     --build          only the build figures
#     --threshold      only the decoding figures
#     --3gib           only the build of a 3 GiB program (stored, and xz at
#                      preset 0): time, peak memory, and xz -t of its stream;
#                      needs 7 GB of disk in $TMPDIR
#
# SFXPACK defaults to build/host/dist/sfxpack (the host build). Figures:
#   build      sfxpack build --preset 9 --method xz --threads 2 against
#              xz -9 -T2 of the same file: wall time and peak memory
#              (/usr/bin/time -f '%e s %M KB'); goals: 1.10 or less each.
#              Package size against the LZMA1 package at preset 9
#              (--method lzma); goal: within 1 %.
#   threshold  for programs of 8 to 256 MiB (the data's first bytes), at
#              preset 9: xz -dc -T2 of sfxpack's xz stream against
#              xz --format=lzma -dc of its LZMA1 stream, the median of three
#              runs each; where xz on two threads is faster, auto's xz pays.
#              xz stands in for the launcher's decoding of both. The build
#              figures end with the same for the whole program.
#   3gib       the data repeated to 3 GiB, built as stored and as xz at
#              preset 0: what sfxpack holds in memory stays bounded.
# Run it on a quiet machine; it prints the load (uptime) before and after.
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
size=500000000
data=code
parts="build threshold"
sfxpack=$root/build/host/dist/sfxpack
while [ $# -gt 0 ]; do
  case $1 in
    --size) size=$2; shift 2 ;;
    --data) data=$2; shift 2 ;;
    --build) parts=build; shift ;;
    --threshold) parts=threshold; shift ;;
    --3gib) parts=3gib; size=$((3 << 30)); shift ;;
    *) sfxpack=$1; shift ;;
  esac
done
wine_dir=/usr/lib/x86_64-linux-gnu/wine/x86_64-windows
child=$root/build/win64/tests/windows/bench_child.exe
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The inner program: $size bytes of the chosen data.
make_program() {
  if [ "$data" = mix ]; then
    { cat "$wine_dir/cmd.exe"
      tar -cf - /usr/lib/x86_64-linux-gnu /usr/share/doc /usr/share/icons /usr/share/fonts \
        /usr/share/locale 2>/dev/null || true; } | head -c "$size"
  else
    { [ -f "$child" ] && cat "$child"
      # Ends when head has read enough and the pipe closes.
      while find "$wine_dir" -maxdepth 1 -name '*.dll' | LC_ALL=C sort | xargs cat; do :; done
    } 2>/dev/null | head -c "$size"
  fi
}

# "SECONDS KB" of "$@", its output thrown away.
measure() {
  /usr/bin/time -f '%e %M' -o "$work/time" "$@" >/dev/null
  cat "$work/time"
}

json_number() {  # KEY FILE: the first number of that key in inspect --json
  "$sfxpack" inspect --json "$2" | sed -n "s/^ *\"$1\": \([0-9]*\),*$/\1/p" | head -n 1
}

# The package's stream, on standard output.
cut_stream() {  # PACKAGE
  local offset length
  offset=$(json_number stream_offset "$1")
  length=$(json_number stream_length "$1")
  tail -c +"$((offset + 1))" "$1" | head -c "$length"
}

# The package's LZMA1 stream with the 13-byte .lzma header in front:
# the properties bytes, then the program's length, little-endian.
lzma_file() {  # PACKAGE OUT
  local properties length i
  properties=$("$sfxpack" inspect --json "$1" | sed -n 's/^ *"properties": "\(.*\)",*$/\1/p')
  length=$(json_number program_length "$1")
  { for byte in $properties; do printf "\\x$byte"; done
    for i in 0 1 2 3 4 5 6 7; do printf "\\x$(printf %02x $(((length >> (8 * i)) & 255)))"; done
    cut_stream "$1"; } > "$2"
}

median3() { printf '%s\n' "$@" | sort -g | sed -n 2p; }

decode_time() {  # COMMAND...: the median wall time of three runs
  local t=()
  for _ in 1 2 3; do t+=("$(measure "$@" | cut -d' ' -f1)"); done
  median3 "${t[@]}"
}

echo "load before: $(uptime)"
make_program > "$work/program.exe" || true  # head ends the endless data early
echo "inner program: $data, $(stat -c %s "$work/program.exe") bytes"

if [[ " $parts " == *" build "* ]]; then
  read -r t_sfx m_sfx < <(measure "$sfxpack" build -q --preset 9 --method xz --threads 2 \
    "$work/program.exe" -o "$work/xz.exe" 2>/dev/null)
  read -r t_xz m_xz < <(measure xz -9 -T2 -c "$work/program.exe")
  "$sfxpack" build -q --preset 9 --method lzma "$work/program.exe" -o "$work/lzma.exe" 2>/dev/null
  s_xz=$(stat -c %s "$work/xz.exe")
  s_lzma=$(stat -c %s "$work/lzma.exe")
  "$sfxpack" inspect "$work/xz.exe" | grep '  xz '
  cut_stream "$work/xz.exe" > "$work/whole.xz"
  lzma_file "$work/lzma.exe" "$work/whole.lzma"
  d_xz=$(decode_time xz -dc -T2 "$work/whole.xz")
  d_lzma=$(decode_time xz --format=lzma -dc "$work/whole.lzma")
  awk -v ts="$t_sfx" -v tx="$t_xz" -v ms="$m_sfx" -v mx="$m_xz" -v sx="$s_xz" -v sl="$s_lzma" \
      -v dx="$d_xz" -v dl="$d_lzma" 'BEGIN {
    printf "build    sfxpack %.1f s %d KB   xz -9 -T2 %.1f s %d KB   time %.3f memory %.3f (goals <= 1.10)\n",
           ts, ms, tx, mx, ts / tx, ms / mx
    printf "size     xz package %d bytes   LZMA1 package %d bytes   %.4f (goal <= 1.01)\n",
           sx, sl, sx / sl
    printf "decode   xz -dc -T2 %.2f s   xz --format=lzma -dc %.2f s   %.2f times as fast\n",
           dx, dl, dl / dx }'
fi

if [[ " $parts " == *" threshold "* ]]; then
  printf '%-10s %8s %10s %10s %10s %8s\n' MiB blocks xz_bytes lzma_bytes 'xz-T2/lzma' size
  for mib in 8 16 24 32 48 64 128 256; do
    [ $((mib << 20)) -le "$(stat -c %s "$work/program.exe")" ] || break
    head -c $((mib << 20)) "$work/program.exe" > "$work/part.exe"
    "$sfxpack" build -q --preset 9 --method xz "$work/part.exe" -o "$work/part-xz.exe" 2>/dev/null
    "$sfxpack" build -q --preset 9 --method lzma "$work/part.exe" -o "$work/part-lzma.exe" 2>/dev/null
    cut_stream "$work/part-xz.exe" > "$work/part.xz"
    lzma_file "$work/part-lzma.exe" "$work/part.lzma"
    blocks=$(json_number blocks "$work/part-xz.exe")
    t_xz=$(decode_time xz -dc -T2 "$work/part.xz")
    t_lzma=$(decode_time xz --format=lzma -dc "$work/part.lzma")
    awk -v m="$mib" -v b="$blocks" -v tx="$t_xz" -v tl="$t_lzma" \
        -v sx="$(stat -c %s "$work/part.xz")" -v sl="$(stat -c %s "$work/part.lzma")" 'BEGIN {
      printf "%-10s %8d %9.2fs %9.2fs %10.3f %8.4f\n", m, b, tx, tl, tx / tl, sx / (sl - 13) }'
  done
  echo "xz-T2/lzma below 1.00: xz on two threads decodes faster; size = xz stream / LZMA1 stream"
fi
if [[ " $parts " == *" 3gib "* ]]; then
  for method in stored xz; do
    read -r t m < <(measure "$sfxpack" build -q --preset 0 --method "$method" \
      "$work/program.exe" -o "$work/large.exe" 2>/dev/null)
    cut_stream "$work/large.exe" > "$work/large.stream"
    if [ "$method" = xz ]; then
      verdict=$(xz -t "$work/large.stream" && echo "xz -t accepts the stream")
    else
      verdict=$(cmp -s "$work/large.stream" "$work/program.exe" && echo "the stream is the program")
    fi
    echo "3 GiB $method: package $(stat -c %s "$work/large.exe") bytes, $t s, peak $m KB; $verdict"
    rm -f "$work/large.exe" "$work/large.stream"
  done
fi
echo "load after: $(uptime)"
