// SPDX-License-Identifier: Zlib
// Where a decoder takes its compressed stream from: a piece at a time.
//
// A decoder never holds the whole stream. It asks for the next piece when it
// has used up the last one, so the memory the stream takes is that of one
// piece, whatever its length. The launcher reads the pieces from the package
// file (launcher/program_source.h); tests hand them out of memory.
#pragma once

#include <cstddef>
#include <cstdint>

namespace stub {

class StreamInput {
 public:
  // Hands out the next piece of the stream: `size` bytes at `data`, valid
  // until the next call of Next or Rewind. A `size` of 0 means the stream has
  // ended, and every later call says so again. False when the stream cannot
  // be read: the decoder gives up, as on damaged data.
  virtual bool Next(const uint8_t*& data, size_t& size) = 0;

  // Starts the stream again at its first byte, for a second decoder that
  // decodes it from its start. False when that fails.
  virtual bool Rewind() = 0;

 protected:
  ~StreamInput() = default;
};

}  // namespace stub
