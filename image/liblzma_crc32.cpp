// SPDX-License-Identifier: Zlib
// liblzma's CRC-32 in the launcher image is the launcher's own
// (decoding/crc32.h): the same function (ISO-HDLC, which is the check .xz
// calls CRC32), by carry-less multiplication where the processor has it.
//
// Defined here, it takes the place of liblzma's CRC code in the static link:
// one CRC-32 in the image instead of two, .xz blocks checked at the launcher's
// speed, and none of the start-up work liblzma's small CRC code needs (it
// builds its table in a static constructor, which nothing would run:
// image/stub64_main.cpp). liblzma's decoding threads call it side by side,
// which decoding/crc32.cpp allows.
#include <lzma.h>

#include <cstddef>
#include <cstdint>

#include "decoding/crc32.h"

extern "C" uint32_t lzma_crc32(const uint8_t* buf, size_t size, uint32_t crc) {
  // UpdateCrc32 takes 32-bit counts.
  constexpr size_t kPiece = size_t{1} << 30;
  for (; size > kPiece; buf += kPiece, size -= kPiece) crc = stub::UpdateCrc32(crc, buf, kPiece);
  return stub::UpdateCrc32(crc, buf, static_cast<uint32_t>(size));
}
