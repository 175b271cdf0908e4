#!/usr/bin/env bash
# SPDX-License-Identifier: Zlib
# Installs every build and test dependency from Debian's packages and builds the
# static liblzma libraries for Windows from Debian's own xz-utils source package.
# It says what it installs and why before it does: the packages of each group
# below, missing ones only; a deb-src entry in apt's sources (only when there
# is none), for the source package; the two liblzma builds.
#
# Idempotent: a second run finds everything in place and does nothing.
#
#   tools/install-deps.sh            install what is missing
#   CACHE_DIR=/path tools/...         put the Windows liblzma builds elsewhere
#
# The Windows builds land in $CACHE_DIR (default: .cache/ in the checkout):
#   xz-win64-full-mt/ liblzma with encoders and decoders and their threads, for
#                     sfxpack.exe (its threaded .xz encoder and decoder)
#   xz-win64-decoder-mt/  liblzma with only the decoders the launcher needs (raw
#                     LZMA1, and .xz of LZMA2 and the x86 filter on threads),
#                     built for the smallest code (--enable-small, -Oz) without
#                     unwind tables (for the launcher)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cache=${CACHE_DIR:-$root/.cache}

# Debian packages, each group with the reason it is needed; the reasons are
# printed for the groups that are installed.
packages=()
declare -A reason_of=()
# need REASON [MORE OF THE REASON... --] PACKAGE...
need() {
  local why=$1; shift
  if [[ " $* " == *" -- "* ]]; then
    while [ "$1" != "--" ]; do why+=" $1"; shift; done
    shift
  fi
  local p
  for p in "$@"; do packages+=("$p"); reason_of[$p]=$why; done
}
need "the Linux build (compilers, CMake, Ninja)" build-essential cmake ninja-build pkg-config
need "sfxpack's libraries (liblzma, CLI11, toml++ for its config files) and the unit" \
     "tests (GoogleTest)" -- liblzma-dev libcli11-dev libtomlplusplus-dev libgtest-dev
need "the Windows build of the launcher and sfxpack.exe (mingw-w64)" \
  g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev
need "the CRC-32 unit test's reference (zlib's crc32)" zlib1g-dev
need "the end-to-end tests, which run the launcher under Wine" wine64 wine
need "the tests' independent tools: LZMA encoders (xz, lzma_alone), signing" \
     "(osslsigncode, openssl), resources (icoutils), a JSON parser (python3)" \
  -- xz-utils lzma-alone osslsigncode openssl icoutils python3
need "sanitizers and fuzzing (clang's libFuzzer)" clang libclang-rt-14-dev llvm
need "the .deb: its dependencies (dpkg-shlibdeps), its man page (help2man;" \
     "groff renders it for the test of its width), its check (lintian)" \
  -- dpkg-dev help2man groff-base lintian
need "the progress window's end-to-end test: a display for Wine, and its screenshot" \
  xvfb xauth imagemagick
need "the benchmarks' figures of peak memory (GNU time)" time
need "the benchmark of signing in the build (tools/bench/sign_bench.sh), whose" \
     "installer makensis makes" -- nsis

log() { printf 'install-deps: %s\n' "$*"; }

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

missing_packages() {
  local p
  for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || echo "$p"
  done
}

# packages_for REASON PACKAGE...: those of the packages installed for REASON.
packages_for() {
  local why=$1 q; shift
  local names=()
  for q in "$@"; do [ "${reason_of[$q]}" = "$why" ] && names+=("$q"); done
  echo "${names[*]}"
}

install_packages() {
  local missing p why
  missing=$(missing_packages)
  [ -z "$missing" ] && return 0
  log "installing from Debian's packages (with apt-get):"
  declare -A listed=()
  for p in $missing; do
    why=${reason_of[$p]}
    [ -n "${listed[$why]:-}" ] && continue
    listed[$why]=1
    log "  for $why: $(packages_for "$why" $missing)"
  done
  as_root apt-get update -qq
  # shellcheck disable=SC2086
  DEBIAN_FRONTEND=noninteractive as_root apt-get install -y -qq --no-install-recommends $missing
}

# Debian's source package of xz-utils; needs a deb-src entry next to the deb one.
fetch_xz_source() {
  local dir=$cache/src
  ls "$dir"/xz-utils_*.orig.tar.xz >/dev/null 2>&1 && return 0
  local list=/etc/apt/sources.list.d/debian-src.sources
  if ! grep -rqs '^Types:.*deb-src' /etc/apt/sources.list.d/ && \
     ! grep -qs '^deb-src' /etc/apt/sources.list 2>/dev/null; then
    log "adding a deb-src entry to apt's sources ($list, a copy of debian.sources"
    log "  with 'Types: deb-src'), so that apt-get source can fetch Debian's xz-utils"
    log "  source package: the launcher and sfxpack.exe need a static liblzma for Windows,"
    log "  which Debian does not package"
    sed 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources | as_root tee "$list" >/dev/null
    as_root apt-get update -qq
  fi
  mkdir -p "$dir"
  log "downloading Debian's xz-utils source package into $dir"
  (cd "$dir" && apt-get source --download-only xz-utils >/dev/null)
}

# Unpacks the pristine tarball into a fresh folder: reused sources with new
# time stamps make configure want automake.
fresh_xz_tree() {
  local into=$1
  rm -rf "$into"
  mkdir -p "$into"
  tar -xJf "$(ls "$cache"/src/xz-utils_*.orig.tar.xz | head -n 1)" -C "$into" --strip-components=1
}

# build_xz NAME CFLAGS [CONFIGURE-OPTION...]
# With xz_once_not_constructors=1 in its environment, liblzma initialises its
# CRC tables on first use (mythread_once) instead of in static constructors:
# the launcher image runs no start-up code that would call them. xz 5.4.1's
# mythread_once for Vista threads names its flag wrongly in one place (once
# for once_), a path no other build takes; the tree gets that one name right.
build_xz() {
  local name=$1 cflags=$2; shift 2
  local prefix=$cache/$name
  [ -f "$prefix/lib/liblzma.a" ] && [ -f "$prefix/include/lzma.h" ] && return 0
  log "building $name in $cache (a static liblzma for Windows, from the xz-utils source)"
  local work=$cache/build-$name
  fresh_xz_tree "$work"
  (cd "$work" && ./configure --host=x86_64-w64-mingw32 --prefix="$prefix" \
      --disable-shared --enable-static --disable-threads --disable-nls \
      --disable-xz --disable-xzdec --disable-lzmadec --disable-lzmainfo \
      --disable-scripts --disable-doc "$@" \
      CFLAGS="$cflags" >/dev/null &&
   if [ -n "${xz_once_not_constructors:-}" ]; then
     sed -i '/HAVE_FUNC_ATTRIBUTE_CONSTRUCTOR/d' config.h &&
     sed -i 's/InitOnceComplete(&once, /InitOnceComplete(\&once_, /' src/common/mythread.h
   fi &&
   make -j"$(nproc)" -C src/liblzma >/dev/null &&
   make -C src/liblzma install >/dev/null)
  rm -rf "$work"
}

install_packages
fetch_xz_source
build_xz xz-win64-full-mt "-Os -ffunction-sections -fdata-sections" --enable-threads=vista
# For the launcher image: -Oz, the smallest code. No -fdata-sections: with it
# mingw's GCC gives zero-initialised data file bytes in .data instead of room
# in .bss. Threads for the threaded .xz decoder (the later option wins over
# --disable-threads); of the integrity checks CRC32 only, which sfxpack writes.
xz_once_not_constructors=1 build_xz xz-win64-decoder-mt "-Oz -ffunction-sections -fno-asynchronous-unwind-tables" \
  --enable-small --disable-encoders --enable-decoders=lzma1,lzma2,x86 --enable-threads=vista \
  --enable-checks=crc32 --disable-microlzma --disable-lzip-decoder
log "all dependencies are in place"
