// SPDX-License-Identifier: Zlib
#include "decoding/x86_filter.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "decoding/lzma_decoder.h"
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

// Counts the reports and stops decoding at report number `stop_at` (0: never).
struct CountingProgress final : DecodeProgress {
  explicit CountingProgress(int stop) : stop_at(stop) {}
  bool Continue(uint64_t) override { return ++reports != stop_at; }
  int stop_at;
  int reports = 0;
};

TEST(X86BranchDecoder, UndoesLiblzmasFilterInPiecesAsAtOnce) {
  for (const char* name : {"hostname.exe", "cmd.exe"}) {
    const std::vector<uint8_t> program = testing::WineProgram(name);
    if (program.empty()) GTEST_SKIP() << "Wine's " << name << " is not installed";
    // Plain LZMA1 decoding of the stream gives the filtered program.
    const std::vector<uint8_t> filtered =
        testing::RunLiblzma(X86Stream(program), program.size()).decoded.bytes;
    ASSERT_EQ(filtered.size(), program.size());
    ASSERT_NE(filtered, program) << "the filter changes a program's calls";
    for (const size_t piece : {program.size(), size_t{1}, size_t{3}, size_t{5}, size_t{4097}}) {
      SCOPED_TRACE(std::string(name) + " in pieces of " + std::to_string(piece));
      std::vector<uint8_t> data = filtered;
      X86BranchDecoder decoder;
      for (size_t size = 0; size < data.size();) {
        size = std::min(data.size(), size + piece);
        decoder.Decode(data.data(), size);
      }
      EXPECT_TRUE(data == program);
    }
  }
}

// TLZMADecoder with the filter: through liblzma, and through the own decoder
// when liblzma refuses the stream (a first byte other than 0); a stop from the
// progress ends decoding without a second try.
TEST(TLZMADecoder, X86FilterThroughEitherDecoderAndStopped) {
  const std::vector<uint8_t> program = testing::WineProgram("cmd.exe");
  if (program.empty()) GTEST_SKIP() << "Wine's cmd.exe is not installed";
  const Lzma1Stream stream = X86Stream(program);
  const struct {
    const char* name;
    uint8_t first_byte;
    int stop_at;
    bool ok;
    int reports;  // -1: some
  } rows[] = {
      {"liblzma", 0, 0, true, -1},
      {"own decoder", 0x7F, 0, true, -1},
      {"liblzma stopped", 0, 1, false, 1},
      {"own decoder stopped", 0x7F, 1, false, 1},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    TStream input;
    input.Write(stream.bytes.data(), static_cast<int32_t>(stream.bytes.size()));
    input.Memory()[0] = row.first_byte;
    input.Seek(0);
    TLZMADecoder decoder(/*x86_filter=*/true);
    ASSERT_TRUE(decoder.SetProperties(stream.properties.data(), 5));
    TStream output;
    CountingProgress progress(row.stop_at);
    EXPECT_EQ(decoder.Decode(input, output, static_cast<int64_t>(program.size()), &progress),
              row.ok);
    if (row.reports >= 0) {
      EXPECT_EQ(progress.reports, row.reports);
    }
    if (row.ok) {
      EXPECT_TRUE(std::equal(program.begin(), program.end(), output.Memory()) &&
                  output.GetSize() == static_cast<int32_t>(program.size()));
    }
  }
}

}  // namespace
}  // namespace stub
