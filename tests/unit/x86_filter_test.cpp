// SPDX-License-Identifier: Zlib
#include "decoding/x86_filter.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "decoding/program_decoder.h"
#include "tests/support/lzma_streams.h"
#include "tools/package_writer/lzma_encoder.h"

namespace stub {
namespace {

using testing::Lzma1Stream;

// `program` through liblzma's raw encoder chain of the x86 filter and LZMA1,
// as the package writer makes streams of the method x86 + LZMA1.
Lzma1Stream X86Stream(const std::vector<uint8_t>& program) {
  packaging::LzmaSettings settings;
  settings.preset = 6;
  settings.x86_filter = true;
  Lzma1Stream stream;
  packaging::EncodeLzma1(program, settings, stream.bytes, stream.properties);
  return stream;
}

// Undoes the filter on `filtered` in chunks of `chunk` new bytes each, as a
// decoder hands them out, carrying the undecided end into the next chunk.
std::vector<uint8_t> UndoInChunks(const std::vector<uint8_t>& filtered, size_t chunk) {
  X86BranchDecoder decoder;
  std::vector<uint8_t> out, pending;
  for (size_t done = 0; done < filtered.size();) {
    const size_t take = std::min(chunk, filtered.size() - done);
    pending.insert(pending.end(), filtered.begin() + done, filtered.begin() + done + take);
    done += take;
    const size_t decided = decoder.Decode(pending.data(), pending.size(), done == filtered.size());
    EXPECT_GE(decided + 4, pending.size());
    out.insert(out.end(), pending.begin(), pending.begin() + decided);
    pending.erase(pending.begin(), pending.begin() + decided);
  }
  return out;
}

TEST(X86BranchDecoder, UndoesLiblzmasFilterInChunksAsAtOnce) {
  for (const char* name : {"hostname.exe", "cmd.exe"}) {
    const std::vector<uint8_t> program = testing::WineProgram(name);
    if (program.empty()) GTEST_SKIP() << "Wine's " << name << " is not installed";
    // Plain LZMA1 decoding of the stream gives the filtered program.
    const std::vector<uint8_t> filtered =
        testing::RunLiblzma(X86Stream(program), program.size()).decoded.bytes;
    ASSERT_EQ(filtered.size(), program.size());
    ASSERT_NE(filtered, program) << "the filter changes a program's calls";
    for (const size_t chunk : {program.size(), size_t{1}, size_t{3}, size_t{5}, size_t{4097}}) {
      SCOPED_TRACE(std::string(name) + " in chunks of " + std::to_string(chunk));
      EXPECT_TRUE(UndoInChunks(filtered, chunk) == program);
    }
  }
}

// Lzma1ProgramDecoder with the filter: through liblzma; through the own
// decoder when liblzma refuses the stream at once (a first byte other than
// 0); and through liblzma until it gives up behind megabytes handed out (the
// stream goes on behind the length), where the own decoder decodes again from
// the start and drops what was handed out.
TEST(Lzma1ProgramDecoder, X86FilterThroughEitherDecoderAndAfterTheHandOver) {
  const std::vector<uint8_t> program = testing::WineProgram("cmd.exe");
  if (program.empty()) GTEST_SKIP() << "Wine's cmd.exe is not installed";
  const Lzma1Stream stream = X86Stream(program);
  // A length short of the end at a symbol boundary, beyond a chunk: where the
  // symbol the last byte belongs to starts (a match running past a length
  // stops the own decoder at its start).
  const uint64_t boundary = testing::RunOwnDecoder(stream, program.size() - 1).decoded.bytes.size();
  ASSERT_GT(boundary, kDecodeStep);
  std::vector<uint8_t> prefix = testing::RunOwnDecoder(stream, boundary).decoded.bytes;
  ASSERT_EQ(prefix.size(), boundary);
  X86BranchDecoder().Decode(prefix.data(), prefix.size(), /*last=*/true);
  const struct {
    const char* name;
    uint8_t first_byte;
    uint64_t length;
    const std::vector<uint8_t>& want;
    int rewinds;
  } rows[] = {
      {"liblzma", 0, program.size(), program, 0},
      {"own decoder", 0x7F, program.size(), program, 1},
      {"liblzma, then the own decoder", 0, boundary, prefix, 1},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    Lzma1Stream changed = stream;
    changed.bytes[0] = row.first_byte;
    int rewinds = -1;
    const testing::Decoded decoded =
        testing::DecodeAsLauncher(changed, row.length, {}, /*x86_filter=*/true, &rewinds);
    EXPECT_TRUE(decoded.ok);
    EXPECT_TRUE(decoded.bytes == row.want);
    EXPECT_EQ(rewinds, row.rewinds);
  }
}

}  // namespace
}  // namespace stub
