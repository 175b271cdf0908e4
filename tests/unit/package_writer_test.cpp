// SPDX-License-Identifier: Zlib
#include "tools/package_writer/package_writer.h"

#include <gtest/gtest.h>
#include <lzma.h>

#include "decoding/crc32.h"
#include "format/little_endian.h"
#include "tests/support/lzma_streams.h"
#include "tests/support/package_builder.h"
#include "tests/support/subprocess.h"
#include "tests/support/test_images.h"
#include "tests/support/tool_error_of.h"
#include "tests/support/whole_file.h"
#include "tools/pe/pe_image.h"

namespace packaging {
namespace {

using stub::testing::AssemblePackage;
using stub::testing::BuildPackage;
using stub::testing::MakeLauncherImage;
using stub::testing::SampleBytes;
using stub::testing::ToolErrorOf;

// Decodes a raw LZMA1 stream of known length with liblzma, independently of
// the launcher's decoder.
std::vector<uint8_t> DecodeWithLiblzma(const std::array<uint8_t, 5>& properties,
                                       std::span<const uint8_t> stream, size_t length) {
  lzma_options_lzma options = {};
  const uint8_t byte = properties[0];
  options.lc = byte % 9;
  options.lp = (byte / 9) % 5;
  options.pb = byte / 45;
  options.dict_size = stub::ReadLe32(&properties[1]);
  options.ext_size_low = static_cast<uint32_t>(length);
  options.ext_size_high = static_cast<uint32_t>(uint64_t{length} >> 32);
  const lzma_filter filters[] = {{LZMA_FILTER_LZMA1EXT, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
  lzma_stream strm = LZMA_STREAM_INIT;
  EXPECT_EQ(lzma_raw_decoder(&strm, filters), LZMA_OK);
  std::vector<uint8_t> out(length + 1);
  strm.next_in = stream.data();
  strm.avail_in = stream.size();
  strm.next_out = out.data();
  strm.avail_out = out.size();
  const lzma_ret ret = lzma_code(&strm, LZMA_FINISH);
  EXPECT_EQ(ret, LZMA_STREAM_END);
  out.resize(strm.total_out);
  lzma_end(&strm);
  return out;
}

TEST(PackageWriter, LaysOutThePackageAsTheLauncherReadsIt) {
  const std::vector<uint8_t> launcher = MakeLauncherImage();
  const std::vector<uint8_t> inner = SampleBytes(20000);
  const std::vector<uint8_t> further = SampleBytes(777, 9);
  const PackageSettings settings = stub::testing::ExampleSettings();
  const auto [package, layout] = BuildPackage(launcher, inner, settings, LzmaSettings{}, further);

  // The launcher image is unchanged but for the locator.
  EXPECT_TRUE(std::equal(launcher.begin(), launcher.begin() + 128, package.begin()));
  EXPECT_TRUE(std::equal(launcher.begin() + 152, launcher.end(), package.begin() + 152));
  const stub::TPackageLocator& locator = layout.locator;
  EXPECT_EQ(locator.PackageOffset, launcher.size());
  EXPECT_EQ(locator.MinFileSize, static_cast<int64_t>(package.size()));
  EXPECT_EQ(locator.PackageOffset + locator.CrcLength, package.size());
  EXPECT_EQ(locator.CrcValue,
            stub::CalcCrc32(package.data() + locator.PackageOffset, locator.CrcLength));
  EXPECT_EQ(locator.DetachedSize, 0u);

  stub::PackageHeaderBytes raw;
  std::copy_n(package.begin() + locator.PackageOffset, raw.size(), raw.begin());
  const stub::TPackageHeader header = stub::DecodePackageHeader(raw);
  EXPECT_EQ(header.OsMask, settings.os_mask);
  EXPECT_EQ(header.MinReleaseId, 1507);
  EXPECT_EQ(header.MaxReleaseId, 9999);
  EXPECT_EQ(header.ElevationMode, 1);
  EXPECT_EQ(header.StreamOffset, locator.PackageOffset + 70);
  EXPECT_EQ(header.ProgramLength, inner.size());
  EXPECT_EQ(header.UnsupportedOsMessage.Offset, header.StreamOffset + header.StreamLength);
  EXPECT_EQ(header.UnsupportedOsMessage.Length, settings.message.size());
  EXPECT_EQ(layout.further_data_offset, header.UnsupportedOsMessage.Offset + 2 * settings.message.size());
  EXPECT_TRUE(std::equal(further.begin(), further.end(), package.begin() + layout.further_data_offset));
  EXPECT_EQ(package[header.UnsupportedOsMessage.Offset], 'N');
  EXPECT_EQ(package[header.UnsupportedOsMessage.Offset + 1], 0);

  const std::span<const uint8_t> stream(package.data() + header.StreamOffset, header.StreamLength);
  EXPECT_EQ(DecodeWithLiblzma(header.LzmaProperties, stream, inner.size()), inner);
}

TEST(PackageWriter, SameInputsGiveTheSameBytes) {
  const std::vector<uint8_t> inner = SampleBytes(50000);
  EXPECT_EQ(BuildPackage(MakeLauncherImage(), inner, {}, {}, {}).bytes,
            BuildPackage(MakeLauncherImage(), inner, {}, {}, {}).bytes);
}

TEST(PackageWriter, EmptyInnerProgramMakesAValidPackage) {
  const PackageLayout layout = BuildPackage(MakeLauncherImage(), {}, {}, {}, {}).layout;
  EXPECT_EQ(layout.header.ProgramLength, 0u);
  EXPECT_GT(layout.header.StreamLength, 0u);  // the range coder's initial bytes
}

TEST(PackageWriter, RefusesUnfitLauncherImages) {
  struct Case {
    const char* name;
    std::vector<uint8_t> image;
    const char* reason;
  };
  std::vector<uint8_t> signed_image = MakeLauncherImage();
  stub::WriteLe32(&signed_image[256 + 24 + 112 + 8 * pe::kCertificateDirectory], 0x600);
  stub::WriteLe32(&signed_image[256 + 24 + 112 + 8 * pe::kCertificateDirectory + 4], 0x100);
  std::vector<uint8_t> with_overlay = MakeLauncherImage();
  with_overlay.push_back(0);
  std::vector<uint8_t> dirty_gap = MakeLauncherImage();
  dirty_gap[200] = 1;
  std::vector<uint8_t> not_pe = MakeLauncherImage();
  not_pe[0] = 'Z';
  const Case cases[] = {
      {"header at 128", MakeLauncherImage(128), "free bytes"},
      {"byte in the gap", dirty_gap, "free bytes"},
      {"signed", signed_image, "signed"},
      {"data behind the last section", with_overlay, "behind its last section"},
      {"not a program", not_pe, "not a Windows program"},
  };
  for (const Case& c : cases) {
    const std::string error = ToolErrorOf([&] { CheckLauncherImage(c.image); });
    EXPECT_NE(error.find(c.reason), std::string::npos) << c.name << ": " << error;
    EXPECT_EQ(ToolErrorOf([&] { BuildPackage(c.image, SampleBytes(10), {}, {}, {}); }),
              "the launcher image: " + error)
        << c.name;
  }
}

// A sink that keeps nothing, for limits checked before anything is written.
struct NoSink final : PackageSink {
  void Write(std::span<const uint8_t>) override {}
  void WriteAt(uint64_t, std::span<const uint8_t>) override {}
  void Clear() override {}
};

TEST(PackageWriter, RefusesFormatLimits) {
  // Large enough that a stream of the first version's largest length ends
  // beyond 2 GiB.
  const std::vector<uint8_t> launcher = MakeLauncherImage(256, 2, 65536);
  const uint64_t stream_offset = launcher.size() + 70;
  const std::array<uint8_t, 5> properties = {0x5D, 0, 0, 1, 0};
  const std::vector<uint8_t> stream(16, 0);
  const stub::PackageLimits first = stub::kFirstVersionLimits;
  const stub::PackageLimits record = stub::kExtensionRecordLimits;
  struct Case {
    const char* name;
    stub::PackageLimits limits;
    uint64_t program_length;
    uint64_t stream_length;  // checked with CheckRoom, as a builder does before it writes
    uint64_t further_length;
    size_t message_length;
    const char* reason;  // empty: accepted
  };
  const Case cases[] = {
      {"the largest program", first, stub::kMaxProgramLength, 16, 0, 0, ""},
      {"program beyond the memory stream", first, stub::kMaxProgramLength + 1, 16, 0, 0,
       "larger than ProgramLength may say (2,147,352,576 bytes)"},
      {"stream beyond the memory stream", first, 100, stub::kMaxProgramLength + 1, 0, 0,
       "longer than StreamLength may say (2,147,352,576 bytes)"},
      {"stream ending beyond 2 GiB", first, 100, stub::kMaxProgramLength, 0, 0,
       "ends beyond 2,147,483,647 bytes"},
      {"with the record, a program of 4 GiB - 1", record, 0xFFFFFFFF, 16, 0, 0, ""},
      {"with the record, a program of 4 GiB", record, 0x100000000, 16, 0, 0,
       "larger than ProgramLength may say (4,294,967,295 bytes)"},
      {"a package of 4 GiB - 1", record, 100, 0xFFFFFFFF - stream_offset - 10, 10, 0, ""},
      {"a package of 4 GiB", record, 100, 0xFFFFFFFF - stream_offset - 10, 10, 1,
       "the package would be larger than 4,294,967,295 bytes"},
      {"a package of 4 GiB without the record", first, 100, 1000, 0xFFFFFFFF, 0,
       "the package would be larger than 4,294,967,295 bytes"},
      {"message of 65536 units", first, 100, 16, 0, 65536, "65,535"},
      {"message of 65535 units", first, 100, 16, 0, 65535, ""},
  };
  for (const Case& c : cases) {
    PackageSettings settings;
    settings.message.assign(c.message_length, u'x');
    NoSink sink;
    std::string error;
    try {
      PackageWriter writer(launcher, settings, c.limits, sink);
      writer.CheckRoom(c.stream_length, c.further_length);
      writer.AppendStream(stream);
      writer.EndStream(properties, c.program_length);
    } catch (const tools::ToolError& failure) {
      error = failure.what();
    }
    if (*c.reason == 0) {
      EXPECT_EQ(error, "") << c.name;
    } else {
      EXPECT_NE(error.find(c.reason), std::string::npos) << c.name << ": " << error;
    }
  }
}

TEST(PackageWriter, RefusesLzmaSettingsTheEncoderCannotUse) {
  struct Case {
    const char* name;
    LzmaSettings settings;
  };
  LzmaSettings preset10;
  preset10.preset = 10;
  LzmaSettings lc4lp1;
  lc4lp1.lc = 4;
  lc4lp1.lp = 1;
  LzmaSettings pb5;
  pb5.pb = 5;
  LzmaSettings tiny_dict;
  tiny_dict.dict_size = 1024;
  const Case cases[] = {{"preset 10", preset10}, {"lc4 lp1", lc4lp1}, {"pb 5", pb5},
                        {"dict 1 KiB", tiny_dict}};
  for (const Case& c : cases) {
    const auto build = [&] {
      BuildPackage(MakeLauncherImage(), SampleBytes(10), {}, c.settings, {});
    };
    EXPECT_FALSE(ToolErrorOf(build).empty()) << c.name;
  }
}

TEST(PackageWriter, EncodesThePropertiesItWasGiven) {
  LzmaSettings settings;
  settings.lc = 0;
  settings.lp = 2;
  settings.pb = 0;
  settings.dict_size = 1 << 16;
  std::vector<uint8_t> stream;
  std::array<uint8_t, 5> properties;
  const std::vector<uint8_t> inner = SampleBytes(3000);
  EncodeLzma1(inner, settings, stream, properties);
  EXPECT_EQ(properties[0], (0 * 5 + 2) * 9 + 0);
  EXPECT_EQ(stub::ReadLe32(&properties[1]), 1u << 16);
  EXPECT_EQ(DecodeWithLiblzma(properties, stream, inner.size()), inner);
}

// The x86 filter option gives the stream xz, an independent decoder, reads
// with --x86 in front of the same LZMA1 options. The stream has no end
// marker, so xz reports a cut stream at its end and keeps back the filter's
// last undecided bytes (four at most): everything before them must match.
TEST(PackageWriter, X86FilteredStreamDecodesWithXz) {
  if (!stub::testing::HaveTool("xz")) GTEST_SKIP() << "xz is not installed";
  const std::vector<uint8_t> program = stub::testing::WineProgram("hostname.exe");
  if (program.empty()) GTEST_SKIP() << "Wine's hostname.exe is not installed";
  LzmaSettings settings;
  settings.preset = 6;
  settings.x86_filter = true;
  std::vector<uint8_t> stream;
  std::array<uint8_t, 5> properties;
  EncodeLzma1(program, settings, stream, properties);
  const std::string path = ::testing::TempDir() + "x86_filtered.raw";
  stub::testing::WriteBytes(path, stream);
  const uint8_t byte = properties[0];
  const std::string lzma1 = "--lzma1=lc=" + std::to_string(byte % 9) +
                            ",lp=" + std::to_string(byte / 9 % 5) + ",pb=" +
                            std::to_string(byte / 45) +
                            ",dict=" + std::to_string(stub::ReadLe32(&properties[1]));
  const stub::testing::ProcessResult xz =
      stub::testing::RunProcess({"xz", "-d", "--format=raw", "--x86", lzma1, "-c", path});
  std::remove(path.c_str());
  const std::vector<uint8_t> decoded(xz.out.begin(), xz.out.end());
  ASSERT_LE(decoded.size(), program.size());
  EXPECT_GE(decoded.size() + 4, program.size()) << xz.err;
  EXPECT_TRUE(std::equal(decoded.begin(), decoded.end(), program.begin()));
}

}  // namespace
}  // namespace packaging
