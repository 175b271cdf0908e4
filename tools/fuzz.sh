#!/usr/bin/env bash
# SPDX-License-Identifier: Zlib
# Builds the libFuzzer targets of tests/fuzz with clang and runs each for a
# given time, one after the other.
#
#   tools/fuzz.sh SECONDS [TARGET...]    every target when none is named
#
# Each target starts from the seeds kept in tests/fuzz/corpus/TARGET/ and adds
# what it finds to build/fuzz/corpus/TARGET/. A crash, a sanitizer report, an
# input that takes more than a minute or too much memory ends the run with
# the fuzzer's report, the input saved as build/fuzz/crashes/TARGET-*, and a
# nonzero exit status. For each target the fuzzer's last status line is
# printed: executions, coverage (cov: edges, ft: features), corpus size.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:?usage: tools/fuzz.sh SECONDS [TARGET...]}
shift
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  targets=(lzma_decoder_fuzzer x86_filter_fuzzer xz_decoder_fuzzer launcher_fuzzer
           config_file_fuzzer resource_section_fuzzer icon_file_fuzzer version_resource_fuzzer)
fi

build=$root/build/fuzz
# Warnings are errors, as in every build of the project (WERROR=OFF: not).
cmake -S "$root/tests/fuzz" -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_COMPILE_WARNING_AS_ERROR="${WERROR:-ON}" >/dev/null
cmake --build "$build" -- -j2 >/dev/null

mkdir -p "$build/crashes"
for target in "${targets[@]}"; do
  corpus=$build/corpus/$target
  mkdir -p "$corpus"
  log=$build/$target.log
  printf 'fuzz: %s for %s s\n' "$target" "$seconds"
  if ! "$build/$target" -max_total_time="$seconds" -timeout=60 -rss_limit_mb=2048 \
      -print_final_stats=1 -artifact_prefix="$build/crashes/$target-" \
      "$corpus" "$root/tests/fuzz/corpus/$target" >"$log" 2>&1; then
    tail -n 60 "$log"
    printf 'fuzz: %s failed; its input is in %s\n' "$target" "$build/crashes" >&2
    exit 1
  fi
  grep -E '^#[0-9]+[[:space:]]+DONE' "$log" | tail -n 1 || true
done
