// SPDX-License-Identifier: Zlib
// The launcher image's own decoding code under Wine, for the launch benchmark
// (tests/bench/launch_bench.cpp): the same objects as the image (its compile
// options, liblzma's small-footprint build), timed on one stream.
//
//   image_bench.exe STREAM.lzma OUTPUT [x86]
//
// STREAM.lzma is a .lzma file: the five properties bytes, the decoded length
// (64 bits, little-endian), the raw stream; with "x86", a stream of the method
// x86 + LZMA1. Prints, best of three runs each:
//   decode_s S   TLZMADecoder::Decode from one TStream into a fresh one, as
//                the launcher decodes the inner program
//   crc32_s S    CalcCrc32 over the decoded bytes
//   write_s S    writing the decoded bytes to OUTPUT in one call, as the
//                launcher writes the temporary copy (OUTPUT is deleted again)
//   bytes N      the decoded length
// Exit status 1 with a line on stderr when the stream does not decode.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <cwchar>

#include "decoding/crc32.h"
#include "decoding/lzma_decoder.h"
#include "decoding/memory_stream.h"
#include "decoding/out_of_memory.h"
#include "format/little_endian.h"

namespace stub {
void OutOfMemory() { ExitProcess(ERROR_NOT_ENOUGH_MEMORY); }
}  // namespace stub

namespace {

constexpr int kRuns = 3;

double Now() {
  LARGE_INTEGER count, frequency;
  QueryPerformanceCounter(&count);
  QueryPerformanceFrequency(&frequency);
  return static_cast<double>(count.QuadPart) / static_cast<double>(frequency.QuadPart);
}

bool ReadWhole(const wchar_t* path, stub::TStream& into) {
  HANDLE file =
      CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  LARGE_INTEGER size;
  DWORD got = 0;
  const bool ok = GetFileSizeEx(file, &size) && size.QuadPart < 0x7FFFFFFF &&
                  into.SetSize(static_cast<int32_t>(size.QuadPart)) &&
                  ReadFile(file, into.Memory(), static_cast<DWORD>(size.QuadPart), &got, nullptr) &&
                  got == size.QuadPart;
  CloseHandle(file);
  return ok;
}

bool WriteWhole(const wchar_t* path, const uint8_t* bytes, uint32_t count) {
  HANDLE file = CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD put = 0;
  const bool ok = WriteFile(file, bytes, count, &put, nullptr) && put == count;
  CloseHandle(file);
  return ok;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 3 && !(argc == 4 && std::wcscmp(argv[3], L"x86") == 0)) {
    std::fprintf(stderr, "usage: image_bench STREAM.lzma OUTPUT [x86]\n");
    return 2;
  }
  const bool x86_filter = argc == 4;
  stub::TStream file;
  if (!ReadWhole(argv[1], file) || file.GetSize() < 13) {
    std::fprintf(stderr, "cannot read the stream\n");
    return 1;
  }
  const uint64_t expected = stub::ReadLe64(file.Memory() + 5);
  stub::TStream input;
  input.Write(file.Memory() + 13, file.GetSize() - 13);
  input.Seek(0);

  double decode = 1e9, crc = 1e9, write = 1e9;
  uint32_t checksum = 0;
  for (int run = 0; run < kRuns; ++run) {
    stub::TLZMADecoder decoder(x86_filter);
    stub::TStream output;
    const double start = Now();
    const bool ok = decoder.SetProperties(file.Memory(), 5) &&
                    decoder.Decode(input, output, static_cast<int64_t>(expected)) &&
                    static_cast<uint64_t>(output.GetSize()) == expected;
    const double decoded = Now();
    if (!ok) {
      std::fprintf(stderr, "the stream does not decode\n");
      return 1;
    }
    checksum = stub::CalcCrc32(output.Memory(), output.GetSize());
    const double summed = Now();
    if (!WriteWhole(argv[2], output.Memory(), static_cast<uint32_t>(output.GetSize()))) {
      std::fprintf(stderr, "cannot write the output\n");
      return 1;
    }
    const double written = Now();
    DeleteFileW(argv[2]);
    if (decoded - start < decode) decode = decoded - start;
    if (summed - decoded < crc) crc = summed - decoded;
    if (written - summed < write) write = written - summed;
  }
  std::printf("decode_s %.6f\ncrc32_s %.6f\nwrite_s %.6f\nbytes %llu\ncrc32 %08x\n", decode, crc,
              write, static_cast<unsigned long long>(expected), checksum);
  return 0;
}
