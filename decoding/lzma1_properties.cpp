#include "decoding/lzma1_properties.h"

#include "format/little_endian.h"

namespace stub {

bool ParseLzma1Properties(const uint8_t* bytes, Lzma1Properties& properties) {
  const uint8_t packed = bytes[0];
  const uint32_t dict_size = ReadLe32(bytes + 1);
  if (packed > kMaxLzmaPropertiesByte || dict_size > kMaxLzmaDictionarySize) return false;
  properties.lc = packed % 9;
  properties.lp = (packed / 9) % 5;
  properties.pb = packed / 45;
  properties.dict_size = dict_size;
  return true;
}

}  // namespace stub
