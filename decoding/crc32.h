// SPDX-License-Identifier: Zlib
// CRC-32 of the package region.
//
// The checksum is the standard CRC-32 of ISO-HDLC (IEEE 802.3, ZIP, PNG,
// zlib's crc32): polynomial 0xEDB88320 bit-reflected, initial register and
// final XOR 0xFFFFFFFF. The check value of the nine bytes "123456789" is
// 0xCBF43926. It is computed by folding with carry-less multiplication
// (PCLMULQDQ) where the processor has it, else by slicing eight bytes per step
// with tables generated on the first call (crc32.cpp).
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

// The two ways UpdateCrc32 computes the same value. It takes folding when
// the processor has it, for inputs of 64 bytes and more.
enum class Crc32Method {
  kSliceBy8,  // eight bytes per step, table lookups; every processor
  kFolding,   // carry-less multiplication; x86-64 processors with PCLMULQDQ
};

// True when this processor can compute by `method`.
bool Crc32MethodAvailable(Crc32Method method);

// UpdateCrc32 by `method`, which must be available: for comparing the two.
uint32_t UpdateCrc32With(Crc32Method method, uint32_t crc, const void* buffer, uint32_t count);

}  // namespace stub
