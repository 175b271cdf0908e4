// SPDX-License-Identifier: Zlib
#include "launcher/payload.h"

#include <gtest/gtest.h>

#include <functional>

#include "launcher/exit_codes.h"
#include "launcher/fatal_messages.h"
#include "launcher/package_reader.h"
#include "launcher/stub64.h"
#include "tests/fake/fake_platform.h"
#include "tests/support/fatal_texts.h"
#include "tests/support/lzma_streams.h"
#include "tests/support/package_builder.h"
#include "tests/support/test_images.h"
#include "tools/package_writer/package_writer.h"

namespace stub {
namespace {

using testing::FakePlatform;
using testing::MemoryFile;

struct PayloadRun {
  bool proceeds;
  uint32_t exit_code;
  std::vector<testing::RecordedBox> boxes;
  std::vector<uint8_t> program;
  int32_t position = 0;
};

PayloadRun DecodeFrom(std::vector<uint8_t> bytes, const TPackageHeader& header,
                      const TPackageExtension& extension = {}) {
  FakePlatform platform;
  Reporter reporter(platform, u"C:\\p\\setup.exe", false);
  MemoryFile file(bytes);
  std::unique_ptr<TStream> program;
  const Outcome outcome = DecodeInnerProgram(file, header, extension, reporter, program);
  PayloadRun run{outcome.proceeds(), outcome.proceeds() ? 0 : outcome.exit_code(), platform.boxes, {}};
  EXPECT_EQ(outcome.proceeds(), program != nullptr);
  if (program) {
    run.program.assign(program->Memory(), program->Memory() + program->GetSize());
    run.position = program->Position();
  }
  return run;
}

class PayloadTest : public ::testing::Test {
 protected:
  const std::vector<uint8_t> inner_ = testing::SampleBytes(40000, 21);
  const testing::TestPackage package_ =
      testing::MakeTestPackage(inner_, {}, testing::SampleBytes(300, 2));
  const TPackageHeader& header() const { return package_.layout.header; }
};

TEST_F(PayloadTest, IntactPackageYieldsTheInnerProgram) {
  const PayloadRun run = DecodeFrom(package_.bytes, header());
  EXPECT_TRUE(run.proceeds);
  EXPECT_TRUE(run.boxes.empty());
  EXPECT_TRUE(run.program == inner_);
  EXPECT_EQ(run.position, 40000);
}

TEST_F(PayloadTest, DamagedHeaderFields) {
  const uint32_t file_size = static_cast<uint32_t>(package_.bytes.size());
  const struct {
    const char* name;
    std::function<void(TPackageHeader&)> change;
  } cases[] = {
      {"stream offset 2^31", [](auto& h) { h.StreamOffset = 0x80000000u; }},
      {"stream offset 2^32 - 1", [](auto& h) { h.StreamOffset = 0xFFFFFFFFu; }},
      {"stream offset at the end of the file", [&](auto& h) { h.StreamOffset = file_size; }},
      {"stream offset behind the header's stream",
       [](auto& h) { h.StreamOffset += h.StreamLength; }},
      {"stream length 2^31", [](auto& h) { h.StreamLength = 0x80000000u; }},
      {"stream length 2^32 - 1", [](auto& h) { h.StreamLength = 0xFFFFFFFFu; }},
      {"stream length beyond the file",
       [&](auto& h) { h.StreamLength = file_size - h.StreamOffset + 1; }},
      {"stream length a half", [](auto& h) { h.StreamLength /= 2; }},
      {"stream length 0", [](auto& h) { h.StreamLength = 0; }},
      {"program length doubled", [](auto& h) { h.ProgramLength *= 2; }},
      {"program length 2^31", [](auto& h) { h.ProgramLength = 0x80000000u; }},
      {"program length 2^31 + own length",
       [](auto& h) { h.ProgramLength = 0x80000000u + h.ProgramLength; }},
      {"program length 2^32 - 1", [](auto& h) { h.ProgramLength = 0xFFFFFFFFu; }},
      {"properties byte 225", [](auto& h) { h.LzmaProperties[0] = 225; }},
      {"properties byte 255", [](auto& h) { h.LzmaProperties[0] = 255; }},
      {"dictionary 2^31", [](auto& h) { h.LzmaProperties[4] = 0x80; }},
  };
  for (const auto& c : cases) {
    TPackageHeader changed = header();
    c.change(changed);
    const PayloadRun run = DecodeFrom(package_.bytes, changed);
    EXPECT_FALSE(run.proceeds) << c.name;
    EXPECT_EQ(run.exit_code, kExitDamagedPackage) << c.name;
    ASSERT_EQ(run.boxes.size(), 1u) << c.name;
    EXPECT_EQ(run.boxes[0].text, testing::FatalMessageText(FatalMessage::kDamaged)) << c.name;
  }
}

TEST_F(PayloadTest, AcceptedHeaderVariations) {
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
    TPackageHeader changed = header();
    c.change(changed);
    const PayloadRun run = DecodeFrom(package_.bytes, changed);
    EXPECT_TRUE(run.proceeds) << c.name;
    EXPECT_TRUE(run.program == inner_) << c.name;
  }
}

// Tools read the program of every stream method into memory, a stored one
// too; a stored stream whose length is not ProgramLength is damaged.
TEST(Payload, EveryStreamMethodInMemory) {
  for (const uint8_t method : {kStreamMethodLzma1, kStreamMethodStored, kStreamMethodX86Lzma1}) {
    for (const size_t size : {size_t{0}, size_t{1}, size_t{40000}}) {
      SCOPED_TRACE("method " + std::to_string(method) + ", " + std::to_string(size) + " bytes");
      packaging::PackageSettings settings;
      settings.extension = TPackageExtension{method, 0, 0};
      const std::vector<uint8_t> inner = testing::SampleBytes(size, 23);
      const testing::TestPackage package =
          testing::MakeTestPackage(inner, settings, testing::SampleBytes(99, 1));
      const PayloadRun run = DecodeFrom(package.bytes, package.layout.header, *settings.extension);
      EXPECT_TRUE(run.proceeds);
      EXPECT_TRUE(run.program == inner);
      EXPECT_EQ(run.position, static_cast<int32_t>(size));
      if (method != kStreamMethodStored) continue;
      TPackageHeader longer = package.layout.header;
      ++longer.ProgramLength;
      EXPECT_EQ(DecodeFrom(package.bytes, longer, *settings.extension).exit_code,
                kExitDamagedPackage);
    }
  }
}

TEST(Payload, PackageWithLcPlusLpTwelve) {
  if (!testing::HaveTool("lzma_alone")) GTEST_SKIP() << "lzma_alone is not installed";
  const std::vector<uint8_t> inner = testing::SampleBytes(50000, 22);
  const std::optional<testing::Lzma1Stream> stream =
      testing::EncodeWithLzmaAlone(inner, 8, 4, 4, 16, false);
  ASSERT_TRUE(stream.has_value());
  const auto [bytes, layout] = stub::testing::AssemblePackage(
      testing::MakeLauncherImage(), {}, stream->properties, stream->bytes, inner.size(), {});
  EXPECT_EQ(layout.header.LzmaProperties[0], 224);
  const PayloadRun run = DecodeFrom(bytes, layout.header);
  EXPECT_TRUE(run.proceeds);
  EXPECT_TRUE(run.program == inner);
}

TEST_F(PayloadTest, StreamAnywhereInTheFile) {
  // The launcher follows StreamOffset, not the builder's layout.
  std::vector<uint8_t> bytes = package_.bytes;
  const auto stream_begin = bytes.begin() + header().StreamOffset;
  const std::vector<uint8_t> stream(stream_begin, stream_begin + header().StreamLength);
  TPackageHeader moved = header();
  moved.StreamOffset = static_cast<uint32_t>(bytes.size() + 13);
  bytes.resize(bytes.size() + 13, 0xCC);
  bytes.insert(bytes.end(), stream.begin(), stream.end());
  const PayloadRun run = DecodeFrom(bytes, moved);
  EXPECT_TRUE(run.proceeds);
  EXPECT_TRUE(run.program == inner_);
}

TEST_F(PayloadTest, EmptyProgramFromAnEmptyStream) {
  TPackageHeader empty = header();
  empty.StreamLength = 0;
  empty.ProgramLength = 0;
  const PayloadRun run = DecodeFrom(package_.bytes, empty);
  EXPECT_TRUE(run.proceeds);
  EXPECT_TRUE(run.program.empty());
}

TEST_F(PayloadTest, ShortReadIsDamaged) {
  // The file claims its size but delivers fewer bytes.
  struct ShortFile : MemoryFile {
    using MemoryFile::MemoryFile;
    uint32_t Read(void* buffer, uint32_t count) override {
      return MemoryFile::Read(buffer, count > 10 ? count - 1 : count);
    }
  };
  std::vector<uint8_t> bytes = package_.bytes;
  ShortFile file(bytes);
  FakePlatform platform;
  Reporter reporter(platform, u"C:\\p\\setup.exe", false);
  std::unique_ptr<TStream> program;
  const Outcome outcome = DecodeInnerProgram(file, header(), {}, reporter, program);
  EXPECT_FALSE(outcome.proceeds());
  EXPECT_EQ(outcome.exit_code(), kExitDamagedPackage);
  EXPECT_EQ(program, nullptr);
}

// ---------------------------------------------------------------------------
// Through the main routine

class Stub64DecodingTest : public ::testing::Test {
 protected:
  // A package that every Windows version passes, so the run gets to decoding.
  static testing::TestPackage Package() {
    return testing::MakeTestPackage(testing::SampleBytes(70000, 3), testing::AdmitAllWindows());
  }

  uint32_t RunWith(const std::vector<uint8_t>& bytes) {
    platform_.files[platform_.module_path] = bytes;
    return Stub64(platform_);
  }
  FakePlatform platform_;
};

TEST_F(Stub64DecodingTest, IntactPackageDecodesWithoutMessage) {
  const testing::TestPackage package = Package();
  EXPECT_EQ(RunWith(package.bytes), 0u);
  EXPECT_TRUE(platform_.boxes.empty());
  EXPECT_EQ(platform_.open_files, 0);
}

TEST_F(Stub64DecodingTest, DamagedStreamBehindAValidChecksumIsDamaged) {
  testing::TestPackage package = Package();
  // The builder's fault: a header that passes the checksum but names a length
  // the stream does not decode to.
  const uint32_t at = package.layout.locator.PackageOffset + 38;  // ProgramLength
  package.bytes[at] ^= 0x01;
  ASSERT_TRUE(stub::testing::RefreshChecksum(package.bytes));
  EXPECT_EQ(RunWith(package.bytes), kExitDamagedPackage);
  ASSERT_EQ(platform_.boxes.size(), 1u);
  EXPECT_EQ(platform_.boxes[0].text, testing::FatalMessageText(FatalMessage::kDamaged));
  EXPECT_EQ(platform_.open_files, 0);
}

}  // namespace
}  // namespace stub
