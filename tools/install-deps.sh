#!/usr/bin/env bash
# Installs every build and test dependency from Debian's packages and builds the
# static liblzma libraries for Windows from Debian's own xz-utils source package.
#
# Idempotent: a second run finds everything in place and does nothing.
#
#   tools/install-deps.sh            install what is missing
#   CACHE_DIR=/path tools/...         put the Windows liblzma builds elsewhere
#
# The Windows builds land in $CACHE_DIR (default: .cache/ in the checkout):
#   xz-win64-full/    liblzma with encoders and decoders (for sfxpack.exe)
#   xz-win64-small/   liblzma with only the LZMA1 decoder, built for the smallest
#                     code (--enable-small) without unwind tables (for the launcher)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cache=${CACHE_DIR:-$root/.cache}

packages=(
  build-essential cmake ninja-build pkg-config
  libgtest-dev liblzma-dev libcli11-dev
  g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev
  wine64 wine
  xz-utils lzma-alone osslsigncode openssl icoutils
  clang libclang-rt-14-dev llvm
  dpkg-dev
)
# Installing sfxpack: its man page is made from its --help at build time.
packages+=(help2man)
# The progress window's end-to-end test: a display for Wine, and its screenshot.
packages+=(xvfb xauth imagemagick)

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

install_packages() {
  local missing
  missing=$(missing_packages)
  [ -z "$missing" ] && return 0
  log "installing: $(echo $missing | tr '\n' ' ')"
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
    log "adding a deb-src entry ($list)"
    sed 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources | as_root tee "$list" >/dev/null
    as_root apt-get update -qq
  fi
  mkdir -p "$dir"
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
build_xz() {
  local name=$1 cflags=$2; shift 2
  local prefix=$cache/$name
  [ -f "$prefix/lib/liblzma.a" ] && [ -f "$prefix/include/lzma.h" ] && return 0
  log "building $name"
  local work=$cache/build-$name
  fresh_xz_tree "$work"
  (cd "$work" && ./configure --host=x86_64-w64-mingw32 --prefix="$prefix" \
      --disable-shared --enable-static --disable-threads --disable-nls \
      --disable-xz --disable-xzdec --disable-lzmadec --disable-lzmainfo \
      --disable-scripts --disable-doc "$@" \
      CFLAGS="$cflags" >/dev/null &&
   make -j"$(nproc)" -C src/liblzma >/dev/null &&
   make -C src/liblzma install >/dev/null)
  rm -rf "$work"
}

install_packages
fetch_xz_source
build_xz xz-win64-full "-Os -ffunction-sections -fdata-sections"
# For the launcher image. No -fdata-sections: with it mingw's GCC gives
# zero-initialised data file bytes in .data instead of room in .bss.
build_xz xz-win64-small "-Os -ffunction-sections -fno-asynchronous-unwind-tables" \
  --enable-small --disable-encoders --enable-decoders=lzma1 \
  --enable-checks=crc32 --disable-microlzma --disable-lzip-decoder
log "all dependencies are in place"
