#!/usr/bin/env bash
# SPDX-License-Identifier: Zlib
# Benchmark of sfxpack build against xz: compressed size and build time at the
# same LZMA preset on the same input. Prints figures; it is no test.
#
#   tools/bench/sfxpack_bench.sh [SFXPACK] [INPUT...]
#
# SFXPACK defaults to dist/sfxpack; the inputs default to Wine's cmd.exe
# (1.7 MB) and shell32.dll (14.8 MB). For each input and preset:
#   size ratio  = sfxpack's LZMA stream / xz --format=lzma's stream (its file
#                 without the 13-byte .lzma header); goal: 1.00 or less
#   time ratio  = time of sfxpack build / (time of xz + time to copy the
#                 input); goal: 1.10 or less
# Each time is the best of three runs.
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
sfxpack=${1:-$root/dist/sfxpack}
shift || true
wine_dir=/usr/lib/x86_64-linux-gnu/wine/x86_64-windows
inputs=("$@")
[ ${#inputs[@]} -gt 0 ] || inputs=("$wine_dir/cmd.exe" "$wine_dir/shell32.dll")
presets=(1 6 9)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

now() { date +%s.%N; }
# Runs "$@" three times; prints the best wall time in seconds.
best_time() {
  local best="" start end t
  for _ in 1 2 3; do
    start=$(now)
    "$@" >/dev/null
    end=$(now)
    t=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.4f", b - a }')
    if [ -z "$best" ] || awk -v t="$t" -v b="$best" 'BEGIN { exit !(t < b) }'; then best=$t; fi
  done
  echo "$best"
}
stream_length() {  # StreamLength from inspect --json
  "$sfxpack" inspect --json "$1" | sed -n 's/^ *"stream_length": \([0-9]*\),*$/\1/p'
}

printf '%-14s %6s %12s %12s %7s %9s %9s %9s %6s\n' input preset sfxpack xz size \
  sfxpack_s xz_s copy_s time
for input in "${inputs[@]}"; do
  name=$(basename "$input")
  for preset in "${presets[@]}"; do
    t_sfx=$(best_time "$sfxpack" build -q --preset "$preset" --inner "$input" -o "$work/setup.exe")
    t_xz=$(best_time sh -c "xz --format=lzma -$preset -c '$input' > '$work/out.lzma'")
    t_cp=$(best_time cp "$input" "$work/copy")
    ours=$(stream_length "$work/setup.exe")
    xz_stream=$(( $(stat -c %s "$work/out.lzma") - 13 ))
    awk -v n="$name" -v p="$preset" -v o="$ours" -v x="$xz_stream" -v ts="$t_sfx" \
        -v tx="$t_xz" -v tc="$t_cp" 'BEGIN {
      printf "%-14s %6s %12d %12d %7.5f %9.3f %9.3f %9.3f %6.3f\n", n, p, o, x, o / x, ts, tx, tc,
             ts / (tx + tc) }'
  done
done
echo "size = sfxpack stream / xz stream (goal <= 1.00); time = sfxpack / (xz + copy) (goal <= 1.10)"
