#!/usr/bin/env bash
# SPDX-License-Identifier: Zlib
# Benchmark of signing in the build: `sfxpack build --sign-command` (build,
# sign, check) of an NSIS installer against the same steps run by hand
# (sfxpack build, osslsigncode sign, sfxpack verify --require-signature), on
# one run of each after the other, several times. Prints figures; it is no
# test. Needs makensis (Debian's nsis), osslsigncode and openssl.
#
#   tools/bench/sign_bench.sh [SFXPACK] [RUNS]
#
# SFXPACK defaults to dist/sfxpack, RUNS to 5. The installer is made by
# makensis from Wine's 64-bit DLLs (about 30 MB, LZMA-compressed by NSIS,
# as a vendor's installer is), and signed with a certificate made here.
#   time ratio = median of the signing build / median of the steps by hand;
#                goal: 1.05 or less
# Then the signing build's package is checked by osslsigncode verify and
# sfxpack verify --require-signature.
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
sfxpack=$(realpath "${1:-$root/dist/sfxpack}")
runs=${2:-5}
wine_dir=/usr/lib/x86_64-linux-gnu/wine/x86_64-windows
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

# The new user's installer: a real NSIS script, 30 MB of program files.
{
  echo 'Name "MyApp"'
  echo 'OutFile "myapp-setup.exe"'
  echo 'RequestExecutionLevel user'
  echo 'InstallDir "$LOCALAPPDATA\MyApp"'
  echo 'SetCompressor /SOLID lzma'
  echo 'Section'
  echo '  SetOutPath "$INSTDIR"'
  for dll in shell32.dll comctl32.dll user32.dll gdi32.dll ole32.dll oleaut32.dll \
             mshtml.dll wininet.dll crypt32.dll d3d11.dll dbghelp.dll msxml3.dll; do
    [ -f "$wine_dir/$dll" ] && echo "  File \"$wine_dir/$dll\""
  done
  echo 'SectionEnd'
} > myapp.nsi
makensis -V1 myapp.nsi
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=sign bench" \
  -keyout key.pem -out cert.pem 2>/dev/null
sign='osslsigncode sign -certs cert.pem -key key.pem -h sha256 -in {file} -out {file}.signed && mv {file}.signed {file}'

by_hand() {
  "$sfxpack" build -q --allow-unsigned-inner myapp-setup.exe -o hand.exe
  osslsigncode sign -certs cert.pem -key key.pem -h sha256 -in hand.exe -out hand-signed.exe \
    >/dev/null
  "$sfxpack" verify --require-signature hand-signed.exe >/dev/null
  rm -f hand.exe hand-signed.exe
}
in_build() {
  "$sfxpack" build -q --allow-unsigned-inner myapp-setup.exe -o setup.exe --sign-command "$sign" \
    2>/dev/null
}
now() { date +%s.%N; }
seconds() { local start; start=$(now); "$@"; awk -v a="$start" -v b="$(now)" 'BEGIN { printf "%.3f", b - a }'; }
median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

printf 'installer: %s bytes (makensis, %s files)\n' "$(stat -c %s myapp-setup.exe)" \
  "$(grep -c '^  File' myapp.nsi)"
hand_times=() build_times=()
for run in $(seq "$runs"); do
  hand_times+=("$(seconds by_hand)")
  build_times+=("$(seconds in_build)")
  printf 'run %d: by hand %s s, --sign-command %s s\n' "$run" "${hand_times[-1]}" "${build_times[-1]}"
done
hand=$(printf '%s\n' "${hand_times[@]}" | median)
built=$(printf '%s\n' "${build_times[@]}" | median)
awk -v h="$hand" -v b="$built" 'BEGIN {
  printf "median: by hand %.3f s, --sign-command %.3f s, ratio %.3f (goal <= 1.05)\n", h, b, b / h }'
printf 'package: %s bytes; ' "$(stat -c %s setup.exe)"
osslsigncode verify -CAfile cert.pem -in setup.exe | tail -n 1
"$sfxpack" verify --require-signature setup.exe | tail -n 1 | cut -c1-160
