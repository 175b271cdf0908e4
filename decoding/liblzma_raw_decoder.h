// SPDX-License-Identifier: Zlib
// Raw LZMA1 decoding through liblzma, for streams with lc + lp up to 4, a
// piece of input and a chunk of output at a time.
//
// With a known output size liblzma's LZMA1EXT decoder runs with that size and
// with end markers allowed: it reports a match that runs past the size, and
// accepts an end marker right behind the data. With an unknown size the plain
// LZMA1 decoder runs, which ends only at an end marker.
//
// liblzma is stricter than the launcher's rules in a few places (see
// lzma1_decoder.h); a stream it refuses or cannot finish is handed to the
// launcher's own decoder by the caller, whose verdict then stands. liblzma's
// history buffer holds at least 4096 bytes and is rounded up, so a distance
// beyond a small dictionary size but inside that buffer decodes here.
//
// liblzma keeps its own history (at most the output's length, see the .cpp),
// so the output may go anywhere, a chunk at a time.
#pragma once

#include <lzma.h>

#include <cstddef>
#include <cstdint>

#include "decoding/lzma1_properties.h"
#include "decoding/stream_input.h"

namespace stub {

enum class LiblzmaStatus {
  kOutput,            // the room is full; call again
  kSucceeded,         // out_size bytes decoded, or an end marker reached
  kDataError,         // liblzma found the data corrupt, or refused the options
  kInputEnded,        // liblzma needed more input than there is
  kInputUnreadable,   // the input could not be read
};

// True for the properties liblzma decodes: lc + lp up to 4.
bool LiblzmaSupports(const Lzma1Properties& properties);

class LiblzmaRawDecoder {
 public:
  // Decodes the stream `input` hands out, until `out_size` bytes exist
  // (UINT64_MAX: until an end marker). The properties must satisfy
  // LiblzmaSupports; `input` must outlive the decoder. A memory error from
  // liblzma does not return (OutOfMemory).
  LiblzmaRawDecoder(const Lzma1Properties& properties, StreamInput& input, uint64_t out_size);
  ~LiblzmaRawDecoder();
  LiblzmaRawDecoder(const LiblzmaRawDecoder&) = delete;
  LiblzmaRawDecoder& operator=(const LiblzmaRawDecoder&) = delete;

  // Decodes into the `room` bytes at `out` and stores how many it wrote in
  // `produced`: kOutput when they are full and the stream goes on; any other
  // status ends decoding (the bytes written before are handed over too).
  LiblzmaStatus Decode(uint8_t* out, size_t room, size_t& produced);

 private:
  StreamInput& input_;
  lzma_stream stream_ = LZMA_STREAM_INIT;
  uint64_t out_size_;
  bool options_refused_ = false;
  bool input_ended_ = false;
};

}  // namespace stub
