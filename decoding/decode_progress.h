// SPDX-License-Identifier: Zlib
// How a decoder tells its caller how far it has come, and how the caller
// stops it.
//
// Decoding a large program takes seconds; the decoders work in steps of
// kDecodeProgressStep bytes of output (or input, for liblzma) and report after
// each, so a caller can show progress and cancel between two steps.
#pragma once

#include <cstddef>
#include <cstdint>

namespace stub {

// The most bytes a decoder produces, or liblzma consumes, between two
// reports: a few milliseconds of work.
inline constexpr size_t kDecodeProgressStep = size_t{1} << 20;

class DecodeProgress {
 public:
  // Told that `decoded` bytes of output exist so far (a later run of another
  // decoder over the same stream starts again from 0). Returns false to stop
  // decoding here: the decoder then fails as on corrupt data, and the caller
  // tells the two apart by what it answered.
  virtual bool Continue(uint64_t decoded) = 0;

 protected:
  ~DecodeProgress() = default;
};

}  // namespace stub
