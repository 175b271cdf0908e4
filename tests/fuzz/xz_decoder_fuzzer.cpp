// SPDX-License-Identifier: Zlib
// Fuzzes XzProgramDecoder, on threads, against liblzma's single-threaded .xz
// decoder: the program is complete exactly when that decoder finds one
// intact stream that fills the whole input and decodes to exactly the
// program's length, and it then holds the same bytes; otherwise the stream is
// damaged, and what was handed out before is a prefix of what that decoder
// decodes before it finds the damage. A stream whose header
// XzStreamHeaderValid refuses never decodes.
//
// liblzma's output of the call that reports the damage is not decoded data:
// in a block behind the x86 filter it holds LZMA2's output not yet filtered.
// So only what calls before it gave counts, and the reference finds the call
// that fails, then decodes again from there a byte at a time, input and
// output, as far as it can before the damage.
// Build and run: see CMakeLists.txt beside this file.
//
// Memory stays bounded: the reference decodes within kMemoryLimit, and a
// stream that needs more (a block with a large dictionary) is not decoded
// further, since the launcher's decoder has no limit of its own; the threads
// keep within the limit the input gives.
//
// Input: bytes 0-2 the program's length, little-endian; byte 3 bits 0-1 the
// threads less one, bits 2-7 the threads' memory limit in MiB; byte 4 the
// size of the pieces the stream is handed out in, less one, in units of 17
// bytes; the rest the stream. The seeds in corpus/xz_decoder_fuzzer/ are made
// by make_seeds.sh.
#include <lzma.h>

#include <algorithm>
#include <cstdint>
#include <span>
#include <vector>

#include "decoding/xz_decoder.h"
#include "tests/fuzz/fuzz_require.h"
#include "tests/support/memory_input.h"

namespace {

using fuzzing::Require;

constexpr uint64_t kMemoryLimit = 256 << 20;

struct Reference {
  bool memory_limit_reached = false;
  bool complete = false;
  std::vector<uint8_t> bytes;  // decoded before the damage: at most one byte more than the program
};

// liblzma's single-threaded decoding, given the whole stream and output room
// of up to 64 KiB a call; once `fine_from` bytes are out, given the stream a
// byte at a time and room for one byte, so that all that can be decoded
// before the damage comes out in calls that succeed.
Reference DecodeWithLiblzma(std::span<const uint8_t> stream, size_t program_length,
                            size_t fine_from) {
  Reference result;
  lzma_stream xz = LZMA_STREAM_INIT;
  Require(lzma_stream_decoder(&xz, kMemoryLimit, 0) == LZMA_OK, "liblzma's decoder");
  xz.next_in = stream.data();
  size_t offered = stream.size();
  bool offered_bytewise = false;
  std::vector<uint8_t> out;
  lzma_ret ret = LZMA_OK;
  size_t before_call = 0;
  while (ret == LZMA_OK && xz.total_out <= program_length) {
    const bool fine = xz.total_out >= fine_from;
    if (fine && !offered_bytewise) {
      offered = xz.total_in;
      offered_bytewise = true;
    }
    // Never two calls in a row without progress: liblzma then reports an
    // error of its own.
    if (fine && xz.total_out == before_call && xz.total_in == offered &&
        offered < stream.size()) {
      ++offered;
    }
    xz.avail_in = offered - xz.total_in;
    before_call = xz.total_out;
    const size_t room = std::min<size_t>(program_length + 1 - xz.total_out, fine ? 1 : 64 << 10);
    out.resize(xz.total_out + room);
    xz.next_out = out.data() + xz.total_out;
    xz.avail_out = room;
    ret = lzma_code(&xz, LZMA_RUN);
  }
  const bool damaged = ret != LZMA_OK && ret != LZMA_STREAM_END;
  out.resize(damaged ? before_call : xz.total_out);
  result.bytes = std::move(out);
  result.memory_limit_reached = ret == LZMA_MEMLIMIT_ERROR;
  result.complete = ret == LZMA_STREAM_END && xz.total_in == stream.size() &&
                    xz.total_out == program_length;
  lzma_end(&xz);
  return result;
}

Reference DecodeWithLiblzma(std::span<const uint8_t> stream, size_t program_length) {
  const Reference coarse = DecodeWithLiblzma(stream, program_length, SIZE_MAX);
  if (coarse.complete || coarse.memory_limit_reached) return coarse;
  return DecodeWithLiblzma(stream, program_length, coarse.bytes.size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 5) return 0;
  const size_t program_length = data[0] | (data[1] << 8) | (data[2] << 16);
  const stub::XzThreading threading = {1u + (data[3] & 3), static_cast<uint64_t>(data[3] >> 2) << 20};
  const size_t piece_size = 1 + data[4] * 17;
  const std::span<const uint8_t> stream(data + 5, size - 5);

  const Reference reference = DecodeWithLiblzma(stream, program_length);
  if (!stub::XzStreamHeaderValid(stream)) {
    Require(!reference.complete, "a refused stream header decodes");
  }
  if (reference.memory_limit_reached) return 0;

  stub::testing::MemoryInput input(stream, piece_size);
  stub::XzProgramDecoder decoder(input, program_length, threading);
  std::vector<uint8_t> bytes;
  const uint8_t* chunk = nullptr;
  size_t chunk_size = 0;
  stub::DecodeStatus status;
  while ((status = decoder.Next(chunk, chunk_size)) == stub::DecodeStatus::kOutput) {
    bytes.insert(bytes.end(), chunk, chunk + chunk_size);
  }
  size_t more = 0;
  Require(decoder.Next(chunk, more) == status && more == 0, "the end is not final");
  if (reference.complete) {
    Require(status == stub::DecodeStatus::kEnd, "an intact stream is damaged");
    Require(bytes == reference.bytes, "the program differs from liblzma's");
  } else {
    Require(status == stub::DecodeStatus::kDamaged, "a damaged stream is complete");
    Require(bytes.size() <= reference.bytes.size() &&
                std::equal(bytes.begin(), bytes.end(), reference.bytes.begin()),
            "bytes handed out before the damage differ from liblzma's");
  }
  return 0;
}
