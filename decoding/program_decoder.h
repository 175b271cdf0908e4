// SPDX-License-Identifier: Zlib
// A decoder that hands out the inner program a chunk at a time, whatever the
// stream method: the copy is written from each chunk before the next one is
// decoded, so neither the stream nor the program is ever held whole.
//
// Every decoder takes the expected length of the program and answers kEnd
// only when exactly that many bytes have been handed out and its stream ended
// as its method requires; a stream that yields more or fewer bytes is
// damaged. Bytes handed out before a failure are a correct prefix of the
// stream's decoding, but the program is not complete: the caller throws them
// away.
#pragma once

#include <cstddef>
#include <cstdint>

namespace stub {

// The most bytes one call of Next hands out: a few milliseconds of decoding,
// so a caller can show progress and stop between two calls.
inline constexpr size_t kDecodeStep = size_t{1} << 20;

enum class DecodeStatus {
  kOutput,   // `size` bytes at `data` (possibly none); call again
  kEnd,      // the program is complete; nothing more is handed out
  kDamaged,  // the stream is damaged, ends early or late, or cannot be read
};

class ProgramDecoder {
 public:
  virtual ~ProgramDecoder() = default;

  // Decodes the next bytes, at most kDecodeStep, and hands them out: `size`
  // bytes at `data`, valid until the next call. After kEnd or kDamaged every
  // later call answers the same, with no bytes.
  virtual DecodeStatus Next(const uint8_t*& data, size_t& size) = 0;
};

}  // namespace stub
