// SPDX-License-Identifier: Zlib
// A compact decoder for raw LZMA1 streams held whole in memory.
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
// The decoded bytes go into a DecodeOutput block, which is also the history
// that matches copy from: the decoder keeps no dictionary of its own. Memory
// use is the output plus 0x600 << (lc + lp) bytes of literal probabilities
// (6 MiB at lc + lp = 12) and a few kilobytes.
#pragma once

#include <cstddef>
#include <cstdint>

#include "decoding/decode_output.h"
#include "decoding/decode_progress.h"
#include "decoding/lzma1_properties.h"

namespace stub {

inline constexpr uint64_t kLzma1UnknownSize = UINT64_MAX;

enum class Lzma1Status {
  kReachedSize,     // out_size bytes decoded
  kEndMarker,       // an end marker came first
  kInputExhausted,  // the input ended inside the stream
  kBadDistance,     // a match from beyond the distance limit or before the first byte
  kPastSize,        // a match would run past out_size
  kOutputFull,      // the output could not grow to hold the next symbol
  kStopped,         // the progress callback stopped it
};

inline bool Lzma1Succeeded(Lzma1Status status) {
  return status == Lzma1Status::kReachedSize || status == Lzma1Status::kEndMarker;
}

// Decodes the stream in `in` (`in_size` bytes) into `output`, from its first
// byte on, until `out_size` bytes exist (kLzma1UnknownSize: until an end
// marker). Stores the number of bytes decoded in `decoded`; on failure the
// output's first `decoded` bytes are the stream's correct prefix. Each time
// another kDecodeProgressStep bytes exist, `progress` (when given) hears of
// them and may stop decoding. The properties must be accepted ones
// (ParseLzma1Properties).
Lzma1Status DecodeLzma1(const Lzma1Properties& properties, const uint8_t* in, size_t in_size,
                        DecodeOutput& output, uint64_t out_size, size_t& decoded,
                        DecodeProgress* progress = nullptr);

}  // namespace stub
