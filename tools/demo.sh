#!/usr/bin/env bash
# SPDX-License-Identifier: Zlib
# The main job, shown end to end: pack our demo inner program into a setup
# package with sfxpack, with an icon (tools/demo/demo.ico, drawn by
# image/resources/make_setup_icon.py --demo) and version information of its
# own, ask sfxpack what the launcher will make of it, and run
# it under Wine with two arguments. The demo inner program reports what it
# received (its own path, its folder, its arguments, the package's further
# data); the report is printed when the launcher has started it.
#
#   tools/demo.sh        (after make build; make demo builds only what it needs,
#                         then runs it)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
out=$root/dist/demo
sfxpack=$root/dist/sfxpack
inner=$root/build/win64/tools/demo/demo_inner.exe
run_child=$root/build/win64/tests/windows/run_child.exe
prefix=$root/build/wine-demo

step() { printf '\n== %s\n' "$*"; }
windows_path() { local p=$1; printf 'Z:%s' "${p//\//\\}"; }

for needed in "$sfxpack" "$inner"; do
  if [ ! -e "$needed" ]; then
    echo "demo: $needed is missing; run 'make demo' (or 'make build') first" >&2
    exit 1
  fi
done
mkdir -p "$out"
printf 'Hello from the further data of the package.' > "$out/further-data.txt"

step "sfxpack build: dist/demo/setup.exe around tools/demo/demo_inner.cpp"
"$sfxpack" build --inner "$inner" -o "$out/setup.exe" --data "$out/further-data.txt" \
  --os 7,8,8.1,10,newer --min-release 1507 \
  --icon "$root/tools/demo/demo.ico" --file-version 1.0.2 --company-name "Example Company" \
  --file-description "sfxpack demo setup" --product-name "sfxpack demo" \
  --legal-copyright "Public domain" --version-string "Comments=Built by make demo"

step "sfxpack inspect: the package's own icon and version information"
"$sfxpack" inspect "$out/setup.exe" | sed -n '/^Identity/,/^Locator/p' | sed '$d'
if command -v wrestool >/dev/null; then
  echo "wrestool -l (icoutils) lists the same resources:"
  wrestool -l "$out/setup.exe"
fi

step "sfxpack verify: the launcher's own checks and decoding"
"$sfxpack" verify "$out/setup.exe"

step "sfxpack gate: what the launcher says on Windows Vista"
"$sfxpack" gate "$out/setup.exe" --windows 6.0 || true

step "Running setup.exe under Wine with the arguments \"first argument\" and /second"
export WINEPREFIX=$prefix WINEDEBUG=-all
unset DISPLAY  # message boxes return at once instead of waiting for a click
if [ ! -d "$prefix" ]; then
  echo "(making a private Wine prefix in build/wine-demo; this takes a few seconds once)"
  wineboot -i >/dev/null 2>&1
fi
report=$out/inner-report.txt
rm -f "$report"
export DEMO_INNER_REPORT
DEMO_INNER_REPORT=$(windows_path "$report")
command_line="\"$(windows_path "$out/setup.exe")\" \"first argument\" /second"
cd "$out"
set +e
if [ -e "$run_child" ]; then
  # run_child prints the launcher's whole 32-bit exit code.
  RUN_CHILD_COMMAND_LINE_HEX=$(printf '%s' "$command_line" | od -An -tx1 | tr -d ' \n') \
    wine "$run_child" > "$out/wine-output.txt" 2>&1
  code=$(sed -n 's/^exit-code: //p' "$out/wine-output.txt" | tr -d '\r')
else
  wine "$out/setup.exe" "first argument" /second > "$out/wine-output.txt" 2>&1
  code="$? (Wine passes on the low 8 bits only)"
fi
set -e
echo "The launcher's exit code: ${code:-unknown (see dist/demo/wine-output.txt)}"

step "What the inner program received"
if [ -f "$report" ]; then
  cat "$report"
else
  echo "No report: the launcher did not start the inner program. Until the launch"
  echo "sequence is complete, the launcher verifies, gates and decodes the package"
  echo "and then ends; its exit code above says how far it got."
fi
