// SPDX-License-Identifier: Zlib
#include "decoding/x86_filter.h"

namespace stub {
namespace {

// The length of a call or jump with a 32-bit displacement.
constexpr uint32_t kInstructionSize = 5;

// A displacement's high byte that the filter converts: a target within 16 MiB
// of the instruction, forwards or backwards.
bool NearHighByte(uint8_t b) { return b == 0 || b == 0xFF; }

// Indexed by the three bits of `prev_mask` below its lowest: whether an
// E8/E9 after that pattern of unconverted E8/E9 bytes is converted, and which
// byte of the displacement the backwards check looks at.
constexpr bool kMaskAllowed[8] = {true, true, true, false, true, false, false, false};
constexpr uint8_t kMaskByte[8] = {0, 1, 2, 2, 3, 3, 3, 3};

}  // namespace

size_t X86BranchDecoder::Decode(uint8_t* data, size_t size, bool last) {
  uint32_t prev_mask = prev_mask_;
  uint32_t prev_pos = prev_pos_;
  // i indexes `data`; positions count from the stream's start, modulo 2^32
  // as the encoder's do.
  size_t i = 0;
  while (i + kInstructionSize <= size) {
    uint8_t* at = data + i;
    const uint32_t pos = position_ + static_cast<uint32_t>(i);
    if ((at[0] & 0xFE) != 0xE8) {
      ++i;
      continue;
    }
    const uint32_t offset = pos - prev_pos;
    prev_pos = pos;
    if (offset > kInstructionSize) {
      prev_mask = 0;
    } else {
      for (uint32_t k = 0; k < offset; ++k) prev_mask = (prev_mask & 0x77) << 1;
    }
    if (!NearHighByte(at[4]) || !kMaskAllowed[(prev_mask >> 1) & 7] || (prev_mask >> 1) >= 0x10) {
      ++i;
      prev_mask |= 1;
      if (NearHighByte(at[4])) prev_mask |= 0x10;
      continue;
    }
    uint32_t source = static_cast<uint32_t>(at[1]) | static_cast<uint32_t>(at[2]) << 8 |
                      static_cast<uint32_t>(at[3]) << 16 | static_cast<uint32_t>(at[4]) << 24;
    uint32_t target;
    for (;;) {
      target = source - (pos + kInstructionSize);
      if (prev_mask == 0) break;
      const uint32_t shift = 24 - kMaskByte[prev_mask >> 1] * 8;
      if (!NearHighByte(static_cast<uint8_t>(target >> shift))) break;
      source = target ^ ((uint32_t{1} << shift << 8) - 1);
    }
    at[1] = static_cast<uint8_t>(target);
    at[2] = static_cast<uint8_t>(target >> 8);
    at[3] = static_cast<uint8_t>(target >> 16);
    at[4] = static_cast<uint8_t>(0u - ((target >> 24) & 1));
    i += kInstructionSize;
    prev_mask = 0;
  }
  // Every byte before i is decided; a conversion ends at most at `size`.
  const size_t decided = last ? size : i;
  position_ += static_cast<uint32_t>(decided);
  prev_mask_ = prev_mask;
  prev_pos_ = prev_pos;
  return decided;
}

}  // namespace stub
