// SPDX-License-Identifier: Zlib
#include "decoding/memory_stream.h"

#include <cstdlib>
#include <cstring>

#include "decoding/out_of_memory.h"

namespace stub {
namespace {

int32_t RoundUpToBlocks(int32_t count) {
  // count <= kMaxStreamCapacity, so the sum stays below 2^31.
  return (count + (kStreamBlockSize - 1)) / kStreamBlockSize * kStreamBlockSize;
}

}  // namespace

TStream::~TStream() { std::free(memory_); }

bool TStream::SetSize(int32_t new_size) {
  if (new_size < 0 || new_size > kMaxStreamCapacity) return false;
  const int32_t old_position = position_;
  SetCapacity(new_size);
  size_ = new_size;
  if (old_position > new_size) position_ = new_size;
  return true;
}

int32_t TStream::Seek(int32_t offset) {
  position_ = offset;
  return position_;
}

int32_t TStream::Write(const void* buffer, int32_t count) {
  if (position_ < 0 || count < 0) return 0;
  const int64_t end = static_cast<int64_t>(position_) + count;
  if (end <= 0 || end > INT32_MAX) return 0;
  if (end > size_) {
    if (end > capacity_) {
      if (end > kMaxStreamCapacity) return 0;
      SetCapacity(static_cast<int32_t>(end));
    }
    size_ = static_cast<int32_t>(end);
  }
  if (count > 0) std::memcpy(memory_ + position_, buffer, static_cast<size_t>(count));
  position_ = static_cast<int32_t>(end);
  return count;
}

// Every request is rounded up to whole blocks, except one for exactly the
// current Size: SetSize to the size the stream already has trims the block to
// that size. Callers keep new_capacity within 0..kMaxStreamCapacity.
void TStream::SetCapacity(int32_t new_capacity) {
  if (new_capacity > 0 && new_capacity != size_) new_capacity = RoundUpToBlocks(new_capacity);
  if (new_capacity == capacity_) return;
  if (new_capacity == 0) {
    std::free(memory_);
    memory_ = nullptr;
  } else {
    void* block = capacity_ == 0 ? std::malloc(static_cast<size_t>(new_capacity))
                                 : std::realloc(memory_, static_cast<size_t>(new_capacity));
    if (block == nullptr) OutOfMemory();
    memory_ = static_cast<uint8_t*>(block);
  }
  capacity_ = new_capacity;
}

}  // namespace stub
