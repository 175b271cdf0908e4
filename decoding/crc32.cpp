// SPDX-License-Identifier: Zlib
// CRC-32 by slicing, eight bytes per step, with tables built at run time.
//
// Table 0 is the standard byte-at-a-time table of the reflected polynomial:
// entry i is the CRC register after shifting the byte i through it. Table k
// (k = 1..7) is the register after the byte i and k zero bytes, so the eight
// bytes of one step are looked up at once, each in the table of its distance
// from the step's end. The tables (8 KiB) are built on the first call and
// cost the launcher image no file bytes.
#include "decoding/crc32.h"

#include "format/little_endian.h"

namespace stub {
namespace {

constexpr uint32_t kReflectedPolynomial = 0xEDB88320;
constexpr int kSlices = 8;

struct Crc32Tables {
  uint32_t entry[kSlices][256];
};

Crc32Tables BuildTables() {
  Crc32Tables tables;
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t reg = i;
    for (int bit = 0; bit < 8; ++bit) reg = (reg >> 1) ^ (kReflectedPolynomial & (0u - (reg & 1)));
    tables.entry[0][i] = reg;
  }
  for (int k = 1; k < kSlices; ++k) {
    for (int i = 0; i < 256; ++i) {
      const uint32_t before = tables.entry[k - 1][i];
      tables.entry[k][i] = (before >> 8) ^ tables.entry[0][before & 0xFF];
    }
  }
  return tables;
}

const Crc32Tables& Tables() {
  static const Crc32Tables tables = BuildTables();
  return tables;
}

}  // namespace

uint32_t CalcCrc32(const void* buffer, int32_t count) {
  if (count <= 0) return 0;
  return UpdateCrc32(0, buffer, static_cast<uint32_t>(count));
}

uint32_t UpdateCrc32(uint32_t crc, const void* buffer, uint32_t count) {
  if (count == 0) return crc;
  const auto& t = Tables().entry;
  const uint8_t* p = static_cast<const uint8_t*>(buffer);
  // The register is kept inverted, so a finished CRC-32 seeds the next call.
  uint32_t reg = ~crc;
  for (; count >= kSlices; count -= kSlices, p += kSlices) {
    const uint32_t low = reg ^ ReadLe32(p);
    const uint32_t high = ReadLe32(p + 4);
    reg = t[7][low & 0xFF] ^ t[6][(low >> 8) & 0xFF] ^ t[5][(low >> 16) & 0xFF] ^
          t[4][low >> 24] ^ t[3][high & 0xFF] ^ t[2][(high >> 8) & 0xFF] ^
          t[1][(high >> 16) & 0xFF] ^ t[0][high >> 24];
  }
  for (; count > 0; --count, ++p) reg = t[0][(reg ^ *p) & 0xFF] ^ (reg >> 8);
  return ~reg;
}

}  // namespace stub
