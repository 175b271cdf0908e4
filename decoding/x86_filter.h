// SPDX-License-Identifier: Zlib
// The x86 branch filter (BCJ), decoding side: what liblzma's LZMA_FILTER_X86
// undoes, applied to the output of an LZMA1 decoder.
//
// x86 code calls and jumps with a 32-bit displacement relative to the end of
// the instruction (E8 call, E9 jmp). The encoder turns each displacement it
// takes for one into an absolute target (displacement + position + 5), so
// the many calls of one function share their bytes and LZMA finds them as
// matches. The decoder subtracts the position again. Which E8/E9 bytes count
// is decided from the bytes alone, the same way on both sides:
//   - the displacement's high byte must be 0x00 or 0xFF (a near target);
//   - `prev_mask` remembers which of the last few bytes were E8/E9 that were
//     not converted, so an E8/E9 inside such a candidate's displacement is
//     left alone unless the pattern says it starts an instruction;
//   - a converted displacement is also checked byte-wise from its top, so
//     decoding finds exactly the value the encoder started from.
// A position is decided once its four following bytes exist, so the data can
// be filtered in chunks as it is decoded, with the same result as at once:
// each chunk but the last leaves its undecided end, at most four bytes, to
// start the next one. The last four bytes of the stream are never converted
// (no room for a whole instruction); the stream's start offset is 0.
#pragma once

#include <cstddef>
#include <cstdint>

namespace stub {

// The filter over one stream, undone in place a chunk at a time.
class X86BranchDecoder {
 public:
  // Undoes the filter, in place, on the `size` bytes at `data`: the bytes the
  // last call left undecided, then the stream's next ones. Returns how many
  // of them, from the first, are final; the others (at most four) must start
  // the next call's bytes. With `last` (nothing follows them in the stream)
  // all are final. The stream stays shorter than 2^32 bytes.
  size_t Decode(uint8_t* data, size_t size, bool last);

 private:
  uint32_t position_ = 0;   // the stream position of the first undecided byte
  uint32_t prev_mask_ = 0;
  uint32_t prev_pos_ = 0u - 5;
};

}  // namespace stub
