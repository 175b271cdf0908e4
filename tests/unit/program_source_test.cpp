// SPDX-License-Identifier: Zlib
#include "launcher/program_source.h"

#include <gtest/gtest.h>

#include <functional>

#include "format/little_endian.h"
#include "tests/fake/fake_platform.h"
#include "tests/support/lzma_streams.h"
#include "tests/support/package_builder.h"
#include "tests/support/test_images.h"

namespace stub {
namespace {

using testing::FakePlatform;
using testing::MemoryFile;

// What the source made of a package: refused by Open, or its chunks to the
// end or to the damage.
struct SourceRun {
  bool opened = false;
  SourceStatus end = SourceStatus::kDamaged;
  std::vector<uint8_t> program;
  uint32_t largest_chunk = 0;
};

SourceRun ReadProgram(std::vector<uint8_t> bytes, const TPackageHeader& header,
                      const TPackageExtension& extension = {},
                      std::function<void(std::vector<uint8_t>&)> after_open = {}) {
  FakePlatform machine;
  MemoryFile file(bytes);
  ProgramSource source(file, header, extension, machine, /*progress=*/nullptr);
  SourceRun run;
  run.opened = source.Open();
  if (!run.opened) return run;
  if (after_open) after_open(bytes);
  const uint8_t* data = nullptr;
  uint32_t size = 0;
  while ((run.end = source.Next(data, size)) == SourceStatus::kChunk) {
    run.program.insert(run.program.end(), data, data + size);
    run.largest_chunk = std::max(run.largest_chunk, size);
  }
  return run;
}

testing::TestPackage Package(const std::vector<uint8_t>& inner, uint8_t method,
                             bool with_record = true) {
  packaging::PackageSettings settings;
  if (with_record) settings.extension = TPackageExtension{method, 0, 0};
  return testing::MakeTestPackage(inner, settings, testing::SampleBytes(300, 2));
}

// Each method gives the program it holds, a chunk at a time, whatever its
// size: none, one byte, less than a chunk, several chunks.
TEST(ProgramSource, EveryStreamMethodGivesItsProgram) {
  for (const uint8_t method :
       {kStreamMethodLzma1, kStreamMethodStored, kStreamMethodX86Lzma1, kStreamMethodXz}) {
    for (const size_t size : {size_t{0}, size_t{1}, size_t{40000}, size_t{kCopyChunkSize} + 3}) {
      SCOPED_TRACE("method " + std::to_string(method) + ", " + std::to_string(size) + " bytes");
      const std::vector<uint8_t> inner = testing::SampleBytes(size, 23);
      const testing::TestPackage package = Package(inner, method);
      const SourceRun run = ReadProgram(package.bytes, package.layout.header,
                                        TPackageExtension{method, 0, 0});
      EXPECT_TRUE(run.opened);
      EXPECT_EQ(run.end, SourceStatus::kEnd);
      EXPECT_TRUE(run.program == inner);
      EXPECT_LE(run.largest_chunk, method == kStreamMethodStored ? kCopyChunkSize : kDecodeStep);
    }
  }
}

// A damaged header field behind a valid checksum, with whether Open finds
// it, before anything is created, or the stream on the way.
TEST(ProgramSource, DamagedHeaderFields) {
  const std::vector<uint8_t> inner = testing::SampleBytes(40000, 21);
  struct Row {
    const char* name;
    uint8_t method;
    bool with_record;
    std::function<void(TPackageHeader&, uint32_t file_size)> change;
    bool at_open;
  };
  const Row rows[] = {
      {"stream offset 2^31", kStreamMethodLzma1, false,
       [](auto& h, uint32_t) { h.StreamOffset = 0x80000000u; }, true},
      {"stream offset 2^32 - 1", kStreamMethodLzma1, true,
       [](auto& h, uint32_t) { h.StreamOffset = 0xFFFFFFFFu; }, true},
      {"stream offset at the end of the file", kStreamMethodLzma1, false,
       [](auto& h, uint32_t size) { h.StreamOffset = size; }, true},
      {"stream length 2^31", kStreamMethodLzma1, false,
       [](auto& h, uint32_t) { h.StreamLength = 0x80000000u; }, true},
      {"stream length 2^32 - 1", kStreamMethodLzma1, true,
       [](auto& h, uint32_t) { h.StreamLength = 0xFFFFFFFFu; }, true},
      {"stream length beyond the file", kStreamMethodLzma1, false,
       [](auto& h, uint32_t size) { h.StreamLength = size - h.StreamOffset + 1; }, true},
      {"stream length a half", kStreamMethodLzma1, false,
       [](auto& h, uint32_t) { h.StreamLength /= 2; }, false},
      {"stream length 0", kStreamMethodLzma1, false, [](auto& h, uint32_t) { h.StreamLength = 0; },
       false},
      {"program length doubled", kStreamMethodLzma1, false,
       [](auto& h, uint32_t) { h.ProgramLength *= 2; }, false},
      {"program length one short", kStreamMethodLzma1, false,
       [](auto& h, uint32_t) { --h.ProgramLength; }, false},
      // Without the record the first version's limit; with it, the stream
      // comes up short.
      {"program length 2^31", kStreamMethodLzma1, false,
       [](auto& h, uint32_t) { h.ProgramLength = 0x80000000u; }, true},
      {"program length 2^31 + its own", kStreamMethodLzma1, false,
       [](auto& h, uint32_t) { h.ProgramLength += 0x80000000u; }, true},
      {"program length 2^32 - 1", kStreamMethodLzma1, false,
       [](auto& h, uint32_t) { h.ProgramLength = 0xFFFFFFFFu; }, true},
      {"program length 2^31, with the record", kStreamMethodLzma1, true,
       [](auto& h, uint32_t) { h.ProgramLength = 0x80000000u; }, false},
      {"properties byte 225", kStreamMethodLzma1, false,
       [](auto& h, uint32_t) { h.LzmaProperties[0] = 225; }, true},
      {"properties byte 255", kStreamMethodX86Lzma1, true,
       [](auto& h, uint32_t) { h.LzmaProperties[0] = 255; }, true},
      {"dictionary 2^31", kStreamMethodLzma1, false,
       [](auto& h, uint32_t) { h.LzmaProperties[4] = 0x80; }, true},
      {"stored, program one longer", kStreamMethodStored, true,
       [](auto& h, uint32_t) { ++h.ProgramLength; }, true},
      {"stored, stream beyond the file", kStreamMethodStored, true,
       [](auto& h, uint32_t) { h.StreamOffset += 400; }, true},
      {"xz, no stream header", kStreamMethodXz, true, [](auto& h, uint32_t) { ++h.StreamOffset; },
       true},
      {"xz, stream shorter than its header", kStreamMethodXz, true,
       [](auto& h, uint32_t) { h.StreamLength = 11; }, true},
      {"xz, program one longer", kStreamMethodXz, true,
       [](auto& h, uint32_t) { ++h.ProgramLength; }, false},
      {"xz, program one shorter", kStreamMethodXz, true,
       [](auto& h, uint32_t) { --h.ProgramLength; }, false},
      {"xz, stream cut short", kStreamMethodXz, true,
       [](auto& h, uint32_t) { h.StreamLength -= 13; }, false},
      {"xz, a byte of what follows taken in", kStreamMethodXz, true,
       [](auto& h, uint32_t) { ++h.StreamLength; }, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const testing::TestPackage package = Package(inner, row.method, row.with_record);
    TPackageHeader header = package.layout.header;
    row.change(header, static_cast<uint32_t>(package.bytes.size()));
    const SourceRun run =
        ReadProgram(package.bytes, header, TPackageExtension{row.method, 0, 0});
    EXPECT_EQ(run.opened, !row.at_open);
    EXPECT_EQ(run.end, SourceStatus::kDamaged);
  }
}

TEST(ProgramSource, AcceptedHeaderVariations) {
  const std::vector<uint8_t> inner = testing::SampleBytes(40000, 21);
  const testing::TestPackage package = Package(inner, kStreamMethodLzma1, false);
  const struct {
    const char* name;
    std::function<void(TPackageHeader&)> change;
  } cases[] = {
      // The package data behind the stream is read along and changes nothing.
      {"stream length reaching into the further data", [](auto& h) { h.StreamLength += 6; }},
      // Accepted; the history never outgrows the program, so this costs no
      // 2 GiB buffer.
      {"dictionary size 2^31 - 1", [](auto& h) {
         h.LzmaProperties[1] = h.LzmaProperties[2] = h.LzmaProperties[3] = 0xFF;
         h.LzmaProperties[4] = 0x7F;
       }},
  };
  for (const auto& c : cases) {
    TPackageHeader changed = package.layout.header;
    c.change(changed);
    const SourceRun run = ReadProgram(package.bytes, changed);
    EXPECT_EQ(run.end, SourceStatus::kEnd) << c.name;
    EXPECT_TRUE(run.program == inner) << c.name;
  }
}

// The launcher follows StreamOffset, not the builder's layout.
TEST(ProgramSource, StreamAnywhereInTheFile) {
  const std::vector<uint8_t> inner = testing::SampleBytes(40000, 21);
  for (const uint8_t method : {kStreamMethodLzma1, kStreamMethodXz}) {
    const testing::TestPackage package = Package(inner, method);
    std::vector<uint8_t> bytes = package.bytes;
    const auto stream_begin = bytes.begin() + package.layout.header.StreamOffset;
    const std::vector<uint8_t> stream(stream_begin,
                                      stream_begin + package.layout.header.StreamLength);
    TPackageHeader moved = package.layout.header;
    moved.StreamOffset = static_cast<uint32_t>(bytes.size() + 13);
    bytes.resize(bytes.size() + 13, 0xCC);
    bytes.insert(bytes.end(), stream.begin(), stream.end());
    const SourceRun run = ReadProgram(bytes, moved, TPackageExtension{method, 0, 0});
    EXPECT_EQ(run.end, SourceStatus::kEnd);
    EXPECT_TRUE(run.program == inner);
  }
}

// The file becomes shorter after Open: a read comes up short on the way. The
// program does not compress, so its stream takes more than the piece that
// Open reads of an .xz stream.
TEST(ProgramSource, ShortReadOnTheWayIsDamaged) {
  std::vector<uint8_t> inner(kStreamPieceSize + kStreamPieceSize / 4);
  uint32_t state = 21;
  for (uint8_t& b : inner) b = static_cast<uint8_t>((state = state * 1664525u + 1013904223u) >> 24);
  for (const uint8_t method :
       {kStreamMethodLzma1, kStreamMethodStored, kStreamMethodX86Lzma1, kStreamMethodXz}) {
    SCOPED_TRACE("method " + std::to_string(method));
    const testing::TestPackage package = Package(inner, method);
    const uint32_t stream_end = package.layout.header.StreamOffset +
                                package.layout.header.StreamLength;
    const SourceRun run =
        ReadProgram(package.bytes, package.layout.header, TPackageExtension{method, 0, 0},
                    [&](std::vector<uint8_t>& bytes) { bytes.resize(stream_end - 1); });
    EXPECT_TRUE(run.opened);
    EXPECT_EQ(run.end, SourceStatus::kDamaged);
  }
}

}  // namespace
}  // namespace stub
