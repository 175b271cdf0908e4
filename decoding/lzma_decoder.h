// SPDX-License-Identifier: Zlib
// TLZMADecoder: decodes the package's raw LZMA1 stream from one TStream into
// another.
//
// The stream carries no header of its own: its five properties bytes are kept
// apart (see lzma1_properties.h for the layout and the accepted values) and
// its decoded length is given by the caller. Decoding goes through liblzma
// when it can (lc + lp up to 4) and through the launcher's own decoder
// (lzma1_decoder.h) otherwise, and also whenever liblzma refuses a stream or
// cannot finish it: liblzma is stricter than the rules below, and the own
// decoder's verdict and output then stand. The one difference left is
// liblzma's: it accepts a distance beyond a small dictionary size that still
// lies inside its history buffer (at least 4096 bytes).
//
// With the x86 branch filter (the stream method x86 + LZMA1) the stream holds
// the program after that filter, and X86BranchDecoder (x86_filter.h) undoes it
// on the output of either decoder: on liblzma's as it comes, on the own
// decoder's, which is also its history, once it is complete. So the fallback
// covers such streams too, and both give what liblzma's raw decoder chain of
// LZMA_FILTER_X86 and LZMA1 gives.
//
// Usage, as the launcher does it:
//   TLZMADecoder decoder;
//   if (!decoder.SetProperties(header_bytes, 5)) -> damaged
//   if (!decoder.Decode(input, output, expected) ||
//       output.GetSize() != expected) -> damaged
#pragma once

#include <cstdint>

#include "decoding/decode_progress.h"
#include "decoding/lzma1_properties.h"
#include "decoding/memory_stream.h"

namespace stub {

class TLZMADecoder {
 public:
  // `x86_filter`: the stream holds the program after the x86 branch filter.
  explicit TLZMADecoder(bool x86_filter = false) : x86_filter_(x86_filter) {}
  TLZMADecoder(const TLZMADecoder&) = delete;
  TLZMADecoder& operator=(const TLZMADecoder&) = delete;

  // Takes the first five of `count` bytes at `properties` (the rest are
  // ignored). Returns false when `count` is below 5 or the properties are not
  // accepted (properties byte above 224, dictionary size of 2^31 or more);
  // the decoder then keeps what it had before.
  bool SetProperties(const uint8_t* properties, int32_t count);

  // Decodes the bytes that `input` holds from its Position to its end (none
  // when Position lies outside 0..Size; `input` is not changed) and puts the
  // result into `output` at its Position, as Write would: Size grows to cover
  // it and Position moves past it.
  //
  // Stops with true when `out_size` >= 0 and `out_size` bytes have been
  // decoded (nothing behind that point of the input is read: trailing bytes,
  // an end marker right behind the data and the range coder's final state make
  // no difference), and when an end marker comes first (then fewer bytes
  // exist). With `out_size` negative, an end marker is the only normal end.
  //
  // Returns false, with a correct prefix of the output in place, when no
  // properties are set, when the data is corrupt (a match from beyond the
  // distance limit or before the first byte decoded, a distance with its top
  // bit set other than the end marker), when the input ends before the
  // stream, when a match would run past `out_size`, and when the output would
  // grow beyond kMaxStreamCapacity or `output` has a negative Position.
  //
  // `progress`, when given, hears now and then how many bytes exist (see
  // decode_progress.h), the last time when decoding succeeded, with all of
  // them; when it stops decoding, Decode returns false at once, without a
  // second try by the own decoder.
  //
  // A failed allocation does not return (OutOfMemory).
  bool Decode(TStream& input, TStream& output, int64_t out_size,
              DecodeProgress* progress = nullptr);

 private:
  bool x86_filter_;
  bool has_properties_ = false;
  Lzma1Properties properties_;
};

}  // namespace stub
