// SPDX-License-Identifier: Zlib
// A compact decoder for raw LZMA1 streams, a piece of input and a chunk of
// output at a time.
//
// It covers every stream the launcher accepts, including the ones liblzma
// refuses: lc + lp above 4 (up to 12), any first byte, data that goes on
// behind the expected length, a range coder that is not in its final state
// there. Its rules:
//   - The range coder starts with five bytes; the first one is not looked at.
//   - Decoding stops as soon as `out_size` bytes exist; nothing behind that
//     point of the input is read.
//   - A match may copy from at most max(dict_size, 1) bytes back and never
//     from before the first byte decoded.
//   - A match that would run past `out_size` is an error.
//   - An end marker (a match whose distance has all 32 bits set) ends the
//     stream wherever it comes; the range coder's state behind it is not
//     checked.
//   - The input ending before the stream does is an error: a symbol that needs
//     a byte the input does not have is never written.
//
// The decoded bytes go into a window, the history that matches copy from,
// which holds the last min(max(dict_size, 1), out_size) bytes or
// kDecodeStep, whichever is more (never more than out_size); a chunk handed
// out is a part of the window. Memory use is the window plus 0x600 <<
// (lc + lp) bytes of literal probabilities (6 MiB at lc + lp = 12) and a few
// kilobytes, whatever the length of the stream and the program.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "decoding/lzma1_properties.h"
#include "decoding/stream_input.h"

namespace stub {

inline constexpr uint64_t kLzma1UnknownSize = UINT64_MAX;

enum class Lzma1Status {
  kOutput,            // more bytes may follow; call again
  kReachedSize,       // out_size bytes decoded
  kEndMarker,         // an end marker came first
  kInputExhausted,    // the input ended inside the stream
  kInputUnreadable,   // the input could not be read
  kBadDistance,       // a match from beyond the distance limit or before the first byte
  kPastSize,          // a match would run past out_size
};

inline bool Lzma1Succeeded(Lzma1Status status) {
  return status == Lzma1Status::kReachedSize || status == Lzma1Status::kEndMarker;
}

class Lzma1Decoder {
 public:
  // Decodes the stream `input` hands out, until `out_size` bytes exist
  // (kLzma1UnknownSize: until an end marker). The properties must be accepted
  // ones (ParseLzma1Properties); `input` must outlive the decoder and is
  // first read by the first Decode. The window is allocated here; a failed
  // allocation does not return (OutOfMemory).
  Lzma1Decoder(const Lzma1Properties& properties, StreamInput& input, uint64_t out_size);
  ~Lzma1Decoder();
  Lzma1Decoder(const Lzma1Decoder&) = delete;
  Lzma1Decoder& operator=(const Lzma1Decoder&) = delete;

  // Decodes the next bytes, at most kDecodeStep, and hands them out: `size`
  // bytes at `data`, valid until the next call. kOutput: call again. Any other
  // status ends decoding (later calls hand out nothing and answer it again);
  // the bytes of the call that ends it are handed out too, so on a failure
  // all bytes handed out are the stream's correct prefix.
  Lzma1Status Decode(const uint8_t*& data, size_t& size);

 private:
  class Machine;
  std::unique_ptr<Machine> machine_;
};

}  // namespace stub
