#!/usr/bin/env bash
# SPDX-License-Identifier: Zlib
# Takes the screenshots of the progress window in the docs: a package with a
# slow inner program under Wine in a virtual desktop (so Wine draws the title
# bar) on an X display of its own (xvfb-run), at 100 % and 200 % scaling.
#
#   make build && tools/progress_screenshot.sh     # writes docs/progress-window*.png
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
work=$root/build/screenshot
rm -rf "$work"
mkdir -p "$work"
export WINEPREFIX=$work/wine WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

# A real program with 40 MB of random bytes behind it: seconds of decoding.
{ cat "$root/build/win64/tests/windows/test_child.exe"; head -c 40000000 /dev/urandom; } \
  > "$work/inner.exe"
"$root/build/host/dist/sfxpack" build --inner "$work/inner.exe" -o "$work/setup.exe" -q \
  --preset 0 --icon "$root/tools/demo/demo.ico" --file-description "Example Tool Setup"

shoot() {  # shoot DPI WIDTH HEIGHT OUT
  xvfb-run -a -s "-screen 0 ${2}x${3}x24" sh -c "
    wineboot -i >/dev/null 2>&1
    wine reg add 'HKCU\\Control Panel\\Desktop' /v LogPixels /t REG_DWORD /d $1 /f >/dev/null 2>&1
    wineserver -w
    wine explorer /desktop=shot,${2}x${3} '$work/setup.exe' /temp '$work' &
    sleep 4
    import -window root '$4'
    wineserver -k"
}
shoot 96 560 220 "$root/docs/progress-window.png"
shoot 192 1120 440 "$root/docs/progress-window-200.png"
rm -rf "$work"
echo "docs/progress-window.png, docs/progress-window-200.png"
