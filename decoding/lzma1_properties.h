// SPDX-License-Identifier: Zlib
// The parameters of a raw LZMA1 stream and which of them the launcher accepts.
//
// Five properties bytes describe a stream:
//   byte 0     (pb * 5 + lp) * 9 + lc, so lc = b % 9, lp = (b / 9) % 5,
//              pb = b / 45
//   bytes 1-4  dictionary size, 32-bit little-endian
// Accepted: properties byte 0 to 224 (lc 0-8, lp 0-4, pb 0-4 in every
// combination, lc + lp up to 12) and a dictionary size of 0 to 2^31 - 1.
// A match may reach back at most max(dictionary size, 1) bytes.
#pragma once

#include <cstdint>

#include "format/package_limits.h"

namespace stub {

struct Lzma1Properties {
  uint32_t lc = 3;  // literal context bits: high bits of the previous byte
  uint32_t lp = 0;  // literal position bits
  uint32_t pb = 2;  // position bits of the match/literal flags
  uint32_t dict_size = 0;

  // How far back a match may copy from.
  uint32_t DistanceLimit() const { return dict_size > 1 ? dict_size : 1; }
};

// The values the five bytes at `bytes` state, accepted or not: a properties
// byte above 224 gives a pb of 5. For tools that show refused properties.
Lzma1Properties UnpackLzma1Properties(const uint8_t* bytes);

// Reads the five bytes at `bytes`. False, with `properties` unchanged, when
// they are not accepted (see above).
bool ParseLzma1Properties(const uint8_t* bytes, Lzma1Properties& properties);

}  // namespace stub
