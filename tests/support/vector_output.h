// SPDX-License-Identifier: Zlib
// A decoder output block over a vector that grows without limit, doubling,
// for tests and fuzz targets that decode outside a TStream.
#pragma once

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

#include "decoding/decode_output.h"

namespace stub::testing {

class VectorOutput final : public DecodeOutput {
 public:
  bool Grow(size_t needed) override {
    bytes_.resize(std::max(needed, bytes_.size() * 2));
    data_ = bytes_.data();
    capacity_ = bytes_.size();
    return true;
  }

  // The first `decoded` bytes; the output is empty afterwards.
  std::vector<uint8_t> Take(size_t decoded) {
    bytes_.resize(decoded);
    return std::move(bytes_);
  }

 private:
  std::vector<uint8_t> bytes_;
};

}  // namespace stub::testing
