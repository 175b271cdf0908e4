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

void X86BranchDecoder::Decode(uint8_t* data, size_t size) {
  if (size < kInstructionSize) return;
  uint32_t prev_mask = prev_mask_;
  uint32_t prev_pos = prev_pos_;
  const uint32_t limit = static_cast<uint32_t>(size - kInstructionSize);
  uint32_t pos = position_;
  while (pos <= limit) {
    uint8_t* at = data + pos;
    if ((at[0] & 0xFE) != 0xE8) {
      ++pos;
      continue;
    }
    const uint32_t offset = pos - prev_pos;
    prev_pos = pos;
    if (offset > kInstructionSize) {
      prev_mask = 0;
    } else {
      for (uint32_t i = 0; i < offset; ++i) prev_mask = (prev_mask & 0x77) << 1;
    }
    if (!NearHighByte(at[4]) || !kMaskAllowed[(prev_mask >> 1) & 7] || (prev_mask >> 1) >= 0x10) {
      ++pos;
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
    pos += kInstructionSize;
    prev_mask = 0;
  }
  position_ = pos;
  prev_mask_ = prev_mask;
  prev_pos_ = prev_pos;
}

}  // namespace stub
