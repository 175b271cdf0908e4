// SPDX-License-Identifier: Zlib
// The launcher image's own path from stream to copy under Wine, for the
// Wine benchmarks (tests/bench/launch_bench.cpp, prepare_bench.cpp): the
// launcher's ProgramSource on its Windows platform, built with the image's
// compile options and liblzma's small build, timed on one stream.
//
//   image_bench.exe STREAM OUTPUT METHOD LENGTH
//
// STREAM holds the stream of METHOD: for lzma and x86 (x86 + LZMA1) the five
// LZMA properties bytes, then the raw stream; for xz an .xz stream, decoded on
// as many threads as the launcher takes. LENGTH is the program's length.
// Prints, best of three runs each:
//   decode_s S   the stream read from STREAM a piece at a time and decoded a
//                chunk at a time, as the launcher does; the chunks dropped
//   copy_s S     the same, each chunk written to OUTPUT as the launcher
//                writes its copy (OUTPUT is deleted again)
//   crc32_s S    CalcCrc32 over the decoded chunks, call by call
//   bytes N      the decoded length
// Exit status 1 with a line on stderr when the stream does not decode.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <cwctype>
#include <memory>

#include "decoding/crc32.h"
#include "decoding/out_of_memory.h"
#include "format/package_records.h"
#include "launcher/program_source.h"
#include "platform/windows/windows_platform.h"

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

std::u16string U16(const wchar_t* text) {
  return std::u16string(reinterpret_cast<const char16_t*>(text), std::wcslen(text));
}

struct Timings {
  double seconds = 0;
  double crc32 = 0;
  bool ok = false;
};

// One run of the launcher's source over the stream, the chunks written to
// `output` when it is open.
Timings Run(stub::WindowsPlatform& platform, const std::u16string& stream_path,
            const stub::TPackageHeader& header, const stub::TPackageExtension& extension,
            stub::PlatformFile* output) {
  Timings timings;
  std::unique_ptr<stub::PlatformFile> file = platform.OpenForRead(stream_path);
  if (!file) return timings;
  const double start = Now();
  stub::ProgramSource source(*file, header, extension, platform, /*progress=*/nullptr);
  if (!source.Open()) return timings;
  const uint8_t* data = nullptr;
  uint32_t size = 0;
  stub::SourceStatus status;
  uint32_t crc = 0;
  while ((status = source.Next(data, size)) == stub::SourceStatus::kChunk) {
    if (output != nullptr && output->Write(data, size) != size) return timings;
    const double before = Now();
    crc = stub::UpdateCrc32(crc, data, size);
    timings.crc32 += Now() - before;
  }
  timings.seconds = Now() - start - timings.crc32;
  timings.ok = status == stub::SourceStatus::kEnd;
  return timings;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: image_bench STREAM OUTPUT lzma|x86|xz LENGTH\n");
    return 2;
  }
  const std::wstring method = argv[3];
  stub::TPackageExtension extension;
  extension.StreamMethod = method == L"x86"  ? stub::kStreamMethodX86Lzma1
                           : method == L"xz" ? stub::kStreamMethodXz
                                             : stub::kStreamMethodLzma1;
  stub::WindowsPlatform platform;
  const std::u16string stream_path = U16(argv[1]), output_path = U16(argv[2]);
  std::unique_ptr<stub::PlatformFile> file = platform.OpenForRead(stream_path);
  uint64_t file_size = 0;
  if (!file || !file->GetSize(file_size)) {
    std::fprintf(stderr, "cannot read the stream\n");
    return 1;
  }
  // A header as a package with the extension record has it, around the file.
  stub::TPackageHeader header;
  header.Reserved2 = stub::EncodePackageExtension(extension);
  header.StreamOffset = extension.StreamMethod == stub::kStreamMethodXz ? 0 : 5;
  if (header.StreamOffset > 0 &&
      !stub::ReadExactlyAt(*file, 0, header.LzmaProperties.data(), 5)) {
    std::fprintf(stderr, "cannot read the properties\n");
    return 1;
  }
  file.reset();
  header.StreamLength = static_cast<uint32_t>(file_size - header.StreamOffset);
  header.ProgramLength = static_cast<uint32_t>(std::wcstoull(argv[4], nullptr, 10));

  Timings decode{1e9, 1e9, true}, copy{1e9, 1e9, true};
  for (int run = 0; run < kRuns; ++run) {
    const Timings dropped = Run(platform, stream_path, header, extension, nullptr);
    std::unique_ptr<stub::PlatformFile> output = platform.CreateForWrite(output_path);
    const Timings written = Run(platform, stream_path, header, extension, output.get());
    output.reset();
    platform.RemoveFile(output_path);
    if (!dropped.ok || !written.ok) {
      std::fprintf(stderr, "the stream does not decode\n");
      return 1;
    }
    if (dropped.seconds < decode.seconds) decode = dropped;
    if (written.seconds < copy.seconds) copy = written;
  }
  std::printf("decode_s %.6f\ncopy_s %.6f\ncrc32_s %.6f\nbytes %lu\n", decode.seconds,
              copy.seconds, decode.crc32, static_cast<unsigned long>(header.ProgramLength));
  return 0;
}
