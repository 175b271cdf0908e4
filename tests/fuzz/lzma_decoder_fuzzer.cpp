// SPDX-License-Identifier: Zlib
// Fuzzes the LZMA decoding: no input may crash or hang it, the own decoder
// must agree with liblzma (by the rules of tests/unit/lzma_differential_test.cpp),
// and Lzma1ProgramDecoder must give liblzma's result where liblzma succeeds
// and the own decoder's otherwise; with the x86 filter (the stream method
// x86 + LZMA1) it must succeed and fail alike and give X86BranchDecoder's
// result over the whole of that program at once. Every decoder takes the
// stream in small pieces. Build and run: see CMakeLists.txt beside this file.
//
// Input: byte 0 the properties byte (taken modulo 225), bytes 1-3 the
// dictionary size (up to 16 MiB), bytes 4-5 the expected length (0xFFFF:
// unknown), the rest the compressed stream.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <vector>

#include "decoding/liblzma_raw_decoder.h"
#include "decoding/lzma1_decoder.h"
#include "decoding/lzma_decoder.h"
#include "decoding/x86_filter.h"
#include "tests/support/memory_input.h"

namespace {

using namespace stub;

using testing::MemoryInput;

struct Result {
  bool ok;
  std::vector<uint8_t> bytes;
  int status;
};

[[noreturn]] void Fail(const char* what, const Result& a, const Result& b) {
  std::fprintf(stderr, "%s: %d (%zu bytes, status %d) against %d (%zu bytes, status %d)\n", what,
               a.ok, a.bytes.size(), a.status, b.ok, b.bytes.size(), b.status);
  std::abort();
}

bool IsPrefix(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
  return a.size() <= b.size() && std::equal(a.begin(), a.end(), b.begin());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 6) return 0;
  uint8_t properties_bytes[5] = {static_cast<uint8_t>(data[0] % 225), data[1], data[2], data[3], 0};
  const uint16_t length = static_cast<uint16_t>(data[4] | (data[5] << 8));
  const uint64_t out_size = length == 0xFFFF ? kLzma1UnknownSize : length;
  const uint8_t* in = data + 6;
  const size_t in_size = size - 6;

  Lzma1Properties properties;
  if (!ParseLzma1Properties(properties_bytes, properties)) std::abort();

  const std::span<const uint8_t> stream(in, in_size);
  Result own;
  {
    MemoryInput input(stream, 1 + data[1] % 64);
    Lzma1Decoder decoder(properties, input, out_size);
    const uint8_t* chunk = nullptr;
    size_t chunk_size = 0;
    Lzma1Status status;
    do {
      status = decoder.Decode(chunk, chunk_size);
      own.bytes.insert(own.bytes.end(), chunk, chunk + chunk_size);
    } while (status == Lzma1Status::kOutput);
    own.ok = Lzma1Succeeded(status);
    own.status = static_cast<int>(status);
  }
  Result expected = own;
  if (LiblzmaSupports(properties)) {
    MemoryInput input(stream, 1 + data[2] % 64);
    LiblzmaRawDecoder decoder(properties, input, out_size);
    Result lib;
    uint8_t chunk[1000];
    size_t produced = 0;
    LiblzmaStatus status;
    do {
      status = decoder.Decode(chunk, sizeof(chunk), produced);
      lib.bytes.insert(lib.bytes.end(), chunk, chunk + produced);
    } while (status == LiblzmaStatus::kOutput);
    lib.ok = status == LiblzmaStatus::kSucceeded;
    lib.status = static_cast<int>(status);
    // liblzma's history exceeds the dictionary size unless that is a multiple
    // of 16 of at least 4096 bytes.
    const bool history_differs = properties.dict_size < 4096 || properties.dict_size % 16 != 0;
    if (lib.ok) {
      const bool documented = history_differs && !own.ok &&
                              own.status == static_cast<int>(Lzma1Status::kBadDistance);
      if (!documented && (!own.ok || own.bytes != lib.bytes)) Fail("liblzma succeeded", lib, own);
      expected = lib;
    } else if (own.ok) {
      if (in_size > 0 && in[0] == 0 && own.bytes != lib.bytes) {
        Fail("own decoder accepted more", lib, own);
      }
    } else if (!IsPrefix(lib.bytes, own.bytes) && !IsPrefix(own.bytes, lib.bytes)) {
      Fail("the failures disagree", lib, own);
    }
  }

  // The whole path, as the launcher decodes a program of a known length.
  if (out_size == kLzma1UnknownSize) return 0;
  MemoryInput input(stream, 1 + data[3] % 64);
  Lzma1ProgramDecoder decoder(properties, /*x86_filter=*/false, input, out_size);
  Result full;
  const uint8_t* chunk = nullptr;
  size_t chunk_size = 0;
  DecodeStatus status;
  while ((status = decoder.Next(chunk, chunk_size)) == DecodeStatus::kOutput) {
    full.bytes.insert(full.bytes.end(), chunk, chunk + chunk_size);
  }
  // A stream that ends before its length is damaged, whoever decoded it.
  full.ok = status == DecodeStatus::kEnd;
  full.status = static_cast<int>(status);
  const bool expected_ok = expected.ok && expected.bytes.size() == out_size;
  if (full.ok != expected_ok || (full.ok && full.bytes != expected.bytes)) {
    Fail("Lzma1ProgramDecoder", full, expected);
  }

  MemoryInput filtered_input(stream, 1 + data[4] % 64);
  Lzma1ProgramDecoder filtered_decoder(properties, /*x86_filter=*/true, filtered_input, out_size);
  Result filtered;
  while ((status = filtered_decoder.Next(chunk, chunk_size)) == DecodeStatus::kOutput) {
    filtered.bytes.insert(filtered.bytes.end(), chunk, chunk + chunk_size);
  }
  filtered.ok = status == DecodeStatus::kEnd;
  filtered.status = static_cast<int>(status);
  if (full.ok) {
    X86BranchDecoder().Decode(full.bytes.data(), full.bytes.size(), /*last=*/true);
  }
  if (filtered.ok != full.ok || (full.ok && filtered.bytes != full.bytes)) {
    Fail("Lzma1ProgramDecoder with the x86 filter", filtered, full);
  }
  return 0;
}
