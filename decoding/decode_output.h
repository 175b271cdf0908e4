// SPDX-License-Identifier: Zlib
// The block that an LZMA decoder writes decoded bytes into.
//
// The decoders write the whole output into one contiguous block, which grows
// on request and may move when it does. Byte i of the block is the i-th byte
// decoded; the block's earlier contents are the decoder's history, so no
// separate dictionary is needed for matches.
#pragma once

#include <cstddef>
#include <cstdint>

namespace stub {

class DecodeOutput {
 public:
  virtual ~DecodeOutput() = default;

  // Makes the block hold at least `needed` bytes (it may give more), keeping
  // its first bytes. Returns false, with the block unchanged, when it cannot
  // grow that far: the output has reached its limit. A failed allocation does
  // not return (OutOfMemory).
  virtual bool Grow(size_t needed) = 0;

  uint8_t* data() const { return data_; }
  size_t capacity() const { return capacity_; }

 protected:
  uint8_t* data_ = nullptr;
  size_t capacity_ = 0;
};

}  // namespace stub
