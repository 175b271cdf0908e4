// SPDX-License-Identifier: Zlib
// Whether a range of bytes lies inside a file or a buffer.
//
// Offsets and lengths come from the files being read, so any of them may be
// hostile: offset + length can overflow 64 bits. The test is written so that
// nothing is added before it is known to fit.
#pragma once

#include <cstdint>

namespace stub {

// True when the `length` bytes at `offset` lie within the first `size` bytes
// (a file of `size` bytes, a buffer). An empty range at `size` lies within.
constexpr bool RangeWithin(uint64_t offset, uint64_t length, uint64_t size) {
  return offset <= size && length <= size - offset;
}

}  // namespace stub
