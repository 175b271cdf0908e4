// SPDX-License-Identifier: Zlib
// A decoder's input out of memory, handed out in pieces of a given size, as
// the launcher reads its package file a piece at a time: for tests and fuzz
// targets that decode outside a package.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>

#include "decoding/stream_input.h"

namespace stub::testing {

class MemoryInput final : public StreamInput {
 public:
  // `bytes` must outlive the input.
  explicit MemoryInput(std::span<const uint8_t> bytes, size_t piece_size = 97)
      : bytes_(bytes), piece_size_(piece_size) {}

  bool Next(const uint8_t*& data, size_t& size) override {
    size = std::min(piece_size_, bytes_.size() - position_);
    data = bytes_.data() + position_;
    position_ += size;
    return true;
  }

  bool Rewind() override {
    position_ = 0;
    ++rewinds;
    return true;
  }

  int rewinds = 0;

 private:
  std::span<const uint8_t> bytes_;
  size_t piece_size_;
  size_t position_ = 0;
};

}  // namespace stub::testing
