// SPDX-License-Identifier: Zlib
// Lzma1ProgramDecoder: decodes the package's raw LZMA1 stream, a chunk at a
// time, for the stream methods LZMA1 and x86 + LZMA1.
//
// The stream carries no header of its own: its five properties bytes are kept
// apart (see lzma1_properties.h for the layout and the accepted values) and
// its decoded length is the program's. Decoding goes through liblzma when it
// can (lc + lp up to 4) and through the launcher's own decoder
// (lzma1_decoder.h) otherwise, and also whenever liblzma refuses a stream or
// cannot finish it: liblzma is stricter than the launcher's rules, and the
// own decoder's verdict and output then stand. The one difference left is
// liblzma's: it accepts a distance beyond a small dictionary size that still
// lies inside its history buffer (at least 4096 bytes).
//
// When liblzma gives up after chunks were handed out, the own decoder decodes
// the stream again from its start, and as many of its first bytes as were
// handed out are dropped, not handed out twice. They are the same bytes:
// liblzma handed out only what it decoded from symbols it accepted, and the
// own decoder decodes every such symbol alike; where it refuses one that
// liblzma took (a distance the dictionary size does not allow), it fails
// before reaching those bytes, and the stream is damaged anyway.
//
// With the x86 branch filter (the stream method x86 + LZMA1) the stream holds
// the program after that filter, and X86BranchDecoder (x86_filter.h) undoes it
// on the output of either decoder, a chunk at a time; the filter's result on
// the same bytes is the same, so the dropped bytes stay the same too. Both
// give what liblzma's raw decoder chain of LZMA_FILTER_X86 and LZMA1 gives.
//
// Memory: the decoder in use (liblzma's history, at most the program's length
// or the dictionary size; or the own decoder's window, lzma1_decoder.h), a
// chunk of kDecodeStep bytes, and what `input` holds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "decoding/liblzma_raw_decoder.h"
#include "decoding/lzma1_decoder.h"
#include "decoding/lzma1_properties.h"
#include "decoding/program_decoder.h"
#include "decoding/stream_input.h"
#include "decoding/x86_filter.h"

namespace stub {

class Lzma1ProgramDecoder final : public ProgramDecoder {
 public:
  // The stream `input` hands out, with the accepted `properties`
  // (ParseLzma1Properties), decoded to a program of `program_length` bytes;
  // `x86_filter`: the stream holds it after the x86 branch filter. `input`
  // must outlive the decoder and is first read by the first Next.
  Lzma1ProgramDecoder(const Lzma1Properties& properties, bool x86_filter, StreamInput& input,
                      uint64_t program_length);
  ~Lzma1ProgramDecoder() override;

  // See ProgramDecoder. kEnd once exactly `program_length` bytes were handed
  // out; damaged when the stream ends before (an end marker, say) or cannot
  // be decoded, or a match would run past the length.
  DecodeStatus Next(const uint8_t*& data, size_t& size) override;

 private:
  DecodeStatus FromLiblzma(const uint8_t*& data, size_t& size);
  DecodeStatus FromOwnDecoder(const uint8_t*& data, size_t& size);
  DecodeStatus HandOut(const uint8_t* bytes, size_t count, bool last, const uint8_t*& data,
                       size_t& size);

  const Lzma1Properties properties_;
  const bool x86_filter_;
  StreamInput& input_;
  const uint64_t program_length_;
  std::unique_ptr<LiblzmaRawDecoder> liblzma_;  // while it decodes
  std::unique_ptr<Lzma1Decoder> own_;           // once liblzma gave up, or could not start
  X86BranchDecoder filter_;
  // liblzma's output, or the own decoder's on its way through the filter:
  // first the bytes the filter left undecided, then a step of new ones.
  std::unique_ptr<uint8_t[]> chunk_;
  size_t undecided_ = 0;        // at chunk_'s start, left by the last call
  size_t undecided_from_ = 0;   // where they lie in chunk_ now
  uint64_t handed_out_ = 0;
  uint64_t to_drop_ = 0;        // the own decoder's first bytes, handed out before
  DecodeStatus end_ = DecodeStatus::kOutput;  // once known: kEnd or kDamaged
};

}  // namespace stub
