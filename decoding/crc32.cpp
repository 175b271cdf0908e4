// CRC-32 through liblzma's lzma_crc32, which implements the same standard
// (see crc32.h); liblzma's own register handling makes lzma_crc32(p, n, 0) the
// complete checksum and lets the result of one call seed the next.
#include "decoding/crc32.h"

#include <lzma.h>

namespace stub {

uint32_t CalcCrc32(const void* buffer, int32_t count) {
  if (count <= 0) return 0;
  return UpdateCrc32(0, buffer, static_cast<uint32_t>(count));
}

uint32_t UpdateCrc32(uint32_t crc, const void* buffer, uint32_t count) {
  if (count == 0) return crc;
  return lzma_crc32(static_cast<const uint8_t*>(buffer), count, crc);
}

}  // namespace stub
