// SPDX-License-Identifier: Zlib
#include "decoding/lzma1_properties.h"

#include "format/little_endian.h"

namespace stub {

Lzma1Properties UnpackLzma1Properties(const uint8_t* bytes) {
  const uint8_t packed = bytes[0];
  Lzma1Properties properties;
  properties.lc = packed % 9;
  properties.lp = (packed / 9) % 5;
  properties.pb = packed / 45;
  properties.dict_size = ReadLe32(bytes + 1);
  return properties;
}

bool ParseLzma1Properties(const uint8_t* bytes, Lzma1Properties& properties) {
  if (bytes[0] > kMaxLzmaPropertiesByte || ReadLe32(bytes + 1) > kMaxLzmaDictionarySize) {
    return false;
  }
  properties = UnpackLzma1Properties(bytes);
  return true;
}

}  // namespace stub
