// SPDX-License-Identifier: Zlib
// XzProgramDecoder: decodes the stream method .xz, a chunk at a time, on
// several threads.
//
// The stream is one standard .xz stream (as `xz` writes it) of any number of
// blocks, each LZMA2, behind liblzma's x86 filter where the block's filter
// chain says so. liblzma's threaded decoder (lzma_stream_decoder_mt) decodes
// blocks whose headers state their sizes, as xz -T and sfxpack write them, on
// its worker threads side by side; other blocks it decodes on the calling
// thread. It is fed the stream a piece at a time: liblzma 5.4.1 falls back to
// one thread when it is given all input at once with LZMA_FINISH and room for
// the whole output, so LZMA_FINISH is given only once the last piece is in.
//
// The stream must decode to exactly the program's length, and must end where
// its footer ends: padding or a second stream behind it is damaged, and so is
// any data or integrity-check error liblzma finds (it verifies every check
// its build knows: the launcher's knows CRC32, which sfxpack writes; a stream
// with another check decodes unverified).
//
// Destroying the decoder ends its threads at once: each notices within the
// next 16 KiB of input it decodes.
#pragma once

#include <lzma.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "decoding/program_decoder.h"
#include "decoding/stream_input.h"

namespace stub {

// The length of an .xz stream's header (magic bytes, flags, CRC32) and of
// its footer.
inline constexpr size_t kXzHeaderSize = 12;

// True when `first_bytes`, the stream's beginning, hold a valid .xz stream
// header: the check that needs no decoding, made before anything is created.
bool XzStreamHeaderValid(std::span<const uint8_t> first_bytes);

// How many threads decode, and up to how much memory they may take together
// (liblzma's memlimit_threading): it takes fewer threads, down to decoding on
// the calling thread alone, rather than go beyond the limit.
struct XzThreading {
  uint32_t threads = 1;
  uint64_t memory_limit = 0;
};

class XzProgramDecoder final : public ProgramDecoder {
 public:
  // The stream `input` hands out, decoded to a program of `program_length`
  // bytes. `input` must outlive the decoder and is first read by the first
  // Next. A memory error from liblzma does not return (OutOfMemory).
  XzProgramDecoder(StreamInput& input, uint64_t program_length, const XzThreading& threading);
  ~XzProgramDecoder() override;
  XzProgramDecoder(const XzProgramDecoder&) = delete;
  XzProgramDecoder& operator=(const XzProgramDecoder&) = delete;

  // See ProgramDecoder. Decoding threads may hand out nothing for a while;
  // Next then returns within about a tenth of a second with no bytes, so the
  // caller can stop between two calls.
  DecodeStatus Next(const uint8_t*& data, size_t& size) override;

 private:
  bool FeedInput();
  DecodeStatus Ended(size_t produced, const uint8_t*& data, size_t& size);

  StreamInput& input_;
  const uint64_t program_length_;
  lzma_stream stream_ = LZMA_STREAM_INIT;
  bool input_ended_ = false;
  std::unique_ptr<uint8_t[]> chunk_;
  DecodeStatus end_ = DecodeStatus::kOutput;  // once known: kEnd or kDamaged
};

}  // namespace stub
