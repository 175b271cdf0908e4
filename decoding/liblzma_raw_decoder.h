// SPDX-License-Identifier: Zlib
// Raw LZMA1 decoding through liblzma, for streams with lc + lp up to 4.
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
#pragma once

#include <cstddef>
#include <cstdint>

#include "decoding/decode_output.h"
#include "decoding/decode_progress.h"
#include "decoding/lzma1_properties.h"

namespace stub {

enum class LiblzmaStatus {
  kSucceeded,   // out_size bytes decoded, or an end marker reached
  kOutputFull,  // the output could not grow to take more
  kDataError,   // liblzma found the data corrupt, or refused the options
  kInputEnded,  // liblzma needed more input than there is
  kStopped,     // the progress callback stopped it
};

// True for the properties liblzma decodes: lc + lp up to 4.
bool LiblzmaSupports(const Lzma1Properties& properties);

// Decodes `in` (`in_size` bytes) into `output` from its first byte on, until
// `out_size` bytes exist (UINT64_MAX: until an end marker). Stores the number
// of bytes decoded in `decoded`. Input and output go to liblzma in steps of
// kDecodeProgressStep; after each, `progress` (when given) hears of the
// output so far and may stop it. A memory error from liblzma does not return
// (OutOfMemory). The properties must satisfy LiblzmaSupports.
LiblzmaStatus DecodeWithLiblzma(const Lzma1Properties& properties, const uint8_t* in,
                                size_t in_size, DecodeOutput& output, uint64_t out_size,
                                size_t& decoded, DecodeProgress* progress = nullptr);

}  // namespace stub
