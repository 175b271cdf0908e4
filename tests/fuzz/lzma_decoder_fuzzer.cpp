// SPDX-License-Identifier: Zlib
// Fuzzes the LZMA decoding: no input may crash or hang it, the own decoder
// must agree with liblzma (by the rules of tests/unit/lzma_differential_test.cpp),
// and TLZMADecoder must give liblzma's result where liblzma succeeds and the
// own decoder's otherwise. Build and run: see CMakeLists.txt beside this file.
//
// Input: byte 0 the properties byte (taken modulo 225), bytes 1-3 the
// dictionary size (up to 16 MiB), bytes 4-5 the expected length (0xFFFF:
// unknown), the rest the compressed stream.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "decoding/decode_output.h"
#include "decoding/liblzma_raw_decoder.h"
#include "decoding/lzma1_decoder.h"
#include "decoding/lzma_decoder.h"
#include "decoding/memory_stream.h"
#include "tests/support/vector_output.h"

namespace {

using namespace stub;

using testing::VectorOutput;

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

  Result own;
  {
    VectorOutput output;
    size_t decoded = 0;
    const Lzma1Status status = DecodeLzma1(properties, in, in_size, output, out_size, decoded);
    own = {Lzma1Succeeded(status), output.Take(decoded), static_cast<int>(status)};
  }
  if (own.ok && out_size != kLzma1UnknownSize && own.bytes.size() > out_size) {
    Fail("own decoder ran past the length", own, own);
  }

  Result expected = own;
  if (LiblzmaSupports(properties)) {
    VectorOutput output;
    size_t decoded = 0;
    const LiblzmaStatus status = DecodeWithLiblzma(properties, in, in_size, output, out_size,
                                                   decoded);
    const Result lib{status == LiblzmaStatus::kSucceeded, output.Take(decoded),
                     static_cast<int>(status)};
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

  // The whole path, through two TStreams.
  TStream input;
  if (in_size > 0) input.Write(in, static_cast<int32_t>(in_size));
  input.Seek(0);
  TStream output;
  TLZMADecoder decoder;
  if (!decoder.SetProperties(properties_bytes, 5)) std::abort();
  const int64_t signed_size = out_size == kLzma1UnknownSize ? -1 : static_cast<int64_t>(out_size);
  Result full;
  full.ok = decoder.Decode(input, output, signed_size);
  full.bytes.assign(output.Memory(), output.Memory() + output.GetSize());
  full.status = 0;
  if (output.Position() != output.GetSize()) {
    Fail("output stream fields", full, expected);
  }
  if (full.ok != expected.ok || (full.ok && full.bytes != expected.bytes)) {
    Fail("TLZMADecoder", full, expected);
  }
  return 0;
}
