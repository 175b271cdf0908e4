// SPDX-License-Identifier: Zlib
// TStream: a growable block of bytes in memory with a read/write position.
//
// The launcher holds two: the compressed inner program, read from the package
// file straight into the block, and the decoded program, which the decoder
// appends and the launcher writes to the temporary copy straight from the
// block.
//
// Every count is a signed 32-bit value, as the stream's users pass them.
// Invariants after every operation:
//   - 0 <= Size <= Capacity <= kMaxStreamCapacity;
//   - Memory is null exactly when Capacity is 0;
//   - Position is whatever Seek made it: it may lie below 0 or beyond Size,
//     and Write then does nothing below 0.
// Bytes of the block beyond what was written (growth by SetSize, a Write that
// starts beyond Size) have unspecified contents: nothing is zero-filled, so a
// large stream costs no more than the bytes actually put into it.
//
// Capacity grows in whole blocks of kStreamBlockSize bytes (see SetCapacity in
// the .cpp for the one exception). A failed allocation calls OutOfMemory().
#pragma once

#include <cstdint>

#include "format/package_limits.h"

namespace stub {

inline constexpr int32_t kStreamBlockSize = 131072;
// The largest capacity that is a whole number of blocks and still a signed
// 32-bit count: 16383 blocks. It bounds what a package can hold.
inline constexpr int32_t kMaxStreamCapacity = static_cast<int32_t>(kMaxProgramLength);
static_assert(kMaxStreamCapacity % kStreamBlockSize == 0);
static_assert(kMaxStreamCapacity > INT32_MAX - kStreamBlockSize);

class TStream {
 public:
  TStream() = default;
  // Frees the block.
  virtual ~TStream();
  TStream(const TStream&) = delete;
  TStream& operator=(const TStream&) = delete;

  // Returns Size. Position is left as it was.
  int32_t GetSize() const { return size_; }

  // Sets Size to `new_size`, reallocating the block to fit (contents up to the
  // smaller of the old and new size are kept; bytes beyond the old size are
  // unspecified). A Position beyond `new_size` moves to `new_size`; a smaller
  // one stays. Returns false, and changes nothing, when `new_size` is below 0
  // or above kMaxStreamCapacity: no block of that size can exist.
  bool SetSize(int32_t new_size);

  // Moves Position to `offset` from the start of the stream. Nothing is
  // clamped and nothing fails. Returns the new Position.
  int32_t Seek(int32_t offset);

  // Copies `count` bytes from `buffer` to Position, growing Size (and the
  // block) when they reach beyond it, and moves Position past them. Returns
  // `count`. Returns 0 and changes nothing when Position or `count` is
  // negative, when Position + `count` is 0 or beyond the 32-bit range, or when
  // the stream would have to grow beyond kMaxStreamCapacity. A `count` of 0 at
  // a Position beyond Size still extends Size to Position.
  int32_t Write(const void* buffer, int32_t count);

  // The block: its first Size bytes are the stream's contents, which the owner
  // may read and write directly. Null while Capacity is 0.
  uint8_t* Memory() const { return memory_; }
  int32_t Position() const { return position_; }

 private:
  void SetCapacity(int32_t new_capacity);

  uint8_t* memory_ = nullptr;
  int32_t size_ = 0;
  int32_t position_ = 0;
  int32_t capacity_ = 0;
};

}  // namespace stub
