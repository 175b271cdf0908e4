#!/usr/bin/env bash
# SPDX-License-Identifier: Zlib
# The .deb package as a user gets it: built by CPack from the release build,
# unpacked with dpkg -x into a scratch root, and run from there. Its
# dependencies are system libraries, so no LD_LIBRARY_PATH is set.
#
#   tests/install/deb_install_test.sh RELEASE_BUILD_DIR WORK_DIR
set -euo pipefail

build=$1
work=$2
rm -rf "$work"
mkdir -p "$work"

fail() { echo "FAILED: $*" >&2; exit 1; }

cpack --config "$build/CPackConfig.cmake" -B "$work/package" \
  -D CPACK_OUTPUT_FILE_PREFIX="$work/package" >/dev/null
debs=("$work"/package/sfxpack_*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "no single sfxpack_*.deb in $work/package"
deb=${debs[0]}
echo "package: $(basename "$deb"), $(stat -c %s "$deb") bytes"

depends=$(dpkg-deb --field "$deb" Depends)
echo "Depends: $depends"
for library in libc6 liblzma5 libstdc++6; do
  grep -q "\b$library\b" <<<"$depends" || fail "Depends lacks $library"
done

# Debian's package checker: no error (warnings and notes are printed).
command -v lintian >/dev/null || fail "lintian is missing: run tools/install-deps.sh"
lintian --fail-on error "$deb" || fail "lintian reports errors"

root=$work/root
dpkg -x "$deb" "$root"
sfxpack=$root/usr/bin/sfxpack
doc=$root/usr/share/doc/sfxpack
for file in usr/bin/sfxpack usr/share/sfxpack/stub64.exe usr/share/man/man1/sfxpack.1.gz \
            usr/include/sfxpack_reader.h usr/share/sfxpack/sdk/sfxpack_reader.h \
            usr/share/sfxpack/sdk/further_data_example.c usr/share/doc/sfxpack/copyright \
            usr/share/doc/sfxpack/changelog.gz usr/share/doc/sfxpack/README.md \
            usr/share/doc/sfxpack/sfxpack.md usr/share/doc/sfxpack/package-format.md \
            usr/share/doc/sfxpack/inner-program.md; do
  [ -f "$root/$file" ] || fail "the package lacks /$file"
done
grep -q '^License: Zlib$' "$doc/copyright" || fail "the copyright file names no zlib License"
"$sfxpack" --version | grep -q "zlib License" || fail "--version does not name the licence"
"$sfxpack" --licence | cmp -s - "$doc/copyright" ||
  fail "sfxpack --licence does not print the installed copyright file"

# Every relative link of the installed manuals leads to a file installed beside them.
for manual in "$doc"/*.md; do
  for target in $(grep -o '](\([^)#:]*\)' "$manual" | sed 's/^](//'); do
    [ -f "$doc/$target" ] || fail "$(basename "$manual") links to $target, which is not installed"
  done
done

# The man page fits an 80-column terminal, and so does every --help.
too_wide=$(zcat "$root/usr/share/man/man1/sfxpack.1.gz" |
           groff -man -Tascii -P-cbou -rLL=80n 2>/dev/null | awk 'length > 80')
[ -z "$too_wide" ] || fail "man page lines wider than 80 columns:
$too_wide"
for command in "" build inspect verify extract gate; do
  too_wide=$("$sfxpack" $command --help | awk 'length > 80')
  [ -z "$too_wide" ] || fail "sfxpack $command --help has lines wider than 80 columns:
$too_wide"
done
if ldd "$sfxpack" | grep -q "not found"; then
  ldd "$sfxpack"
  fail "sfxpack needs a library the system does not have"
fi
zcat "$root/usr/share/man/man1/sfxpack.1.gz" | grep -q '^\.SS build' || fail "the man page lacks the build command"

# The launcher image it carries is the one installed beside it.
size=$(stat -c %s "$root/usr/share/sfxpack/stub64.exe")
"$sfxpack" --version | grep -q "embedded launcher image: $size bytes, CRC-32 " ||
  fail "--version does not name the installed launcher image's size $size"

# The installed example builds for Windows as the docs say, from the
# installed header alone.
command -v x86_64-w64-mingw32-gcc >/dev/null || fail "mingw-w64 is missing: run tools/install-deps.sh"
x86_64-w64-mingw32-gcc -std=c99 -pedantic-errors -Werror -municode \
  -I"$root/usr/share/sfxpack/sdk" "$root/usr/share/sfxpack/sdk/further_data_example.c" \
  -o "$work/further_data_example.exe" || fail "the installed example does not build with mingw-w64"

# A package around a Windows program (the installed launcher image is one),
# verified by the installed sfxpack.
"$sfxpack" build -q --inner "$root/usr/share/sfxpack/stub64.exe" -o "$work/setup.exe"
verdict=$("$sfxpack" verify "$work/setup.exe")
echo "$verdict"
grep -q "setup.exe: OK: " <<<"$verdict" || fail "verify did not accept the package"
echo "installed package works"
