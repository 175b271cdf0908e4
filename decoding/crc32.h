// SPDX-License-Identifier: Zlib
// CRC-32 of the package region.
//
// The checksum is the standard CRC-32 of ISO-HDLC (IEEE 802.3, ZIP, PNG,
// zlib's crc32): polynomial 0xEDB88320 bit-reflected, initial register and
// final XOR 0xFFFFFFFF. The check value of the nine bytes "123456789" is
// 0xCBF43926. Its tables are generated once, on the first call (crc32.cpp).
#pragma once

#include <cstdint>

namespace stub {

// The CRC-32 of the first `count` bytes of `buffer`. A `count` of 0 or less
// covers no byte and returns 0, the CRC-32 of empty input.
uint32_t CalcCrc32(const void* buffer, int32_t count);

// Continues a CRC-32: given the CRC-32 `crc` of some bytes, returns the CRC-32
// of those bytes followed by the `count` bytes of `buffer`. Start with 0.
// Checksumming a region piece by piece gives the same value as CalcCrc32 over
// the whole region.
uint32_t UpdateCrc32(uint32_t crc, const void* buffer, uint32_t count);

}  // namespace stub
