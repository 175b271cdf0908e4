// SPDX-License-Identifier: Zlib
// sfxpack verify warns, without refusing, when the decoded inner program's PE
// checksum does not match its header: the trace of a package whose stream
// method was switched between LZMA1 and x86 + LZMA1 with its CRC-32 made to
// fit, which decodes into another program that still starts as one.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <span>

#include "decoding/crc32.h"
#include "format/little_endian.h"
#include "format/package_records.h"
#include "tests/sfxpack/sfxpack_cli.h"
#include "tests/support/test_images.h"
#include "tools/pe/pe_image.h"
#include "tools/sfxpack/analysis/program_checksum.h"

namespace sfxpack::testing {
namespace {

namespace fs = std::filesystem;

constexpr uint32_t kPeHeader = 64;  // where AsWindowsProgram puts it
constexpr uint32_t kChecksumField = kPeHeader + 4 + 20 + 64;

// An x86-64 program header in front of code full of E8 calls, its CheckSum
// field right (or 0). The header holds no E8, so the x86 branch filter never
// changes it.
std::vector<uint8_t> InnerProgram(bool with_checksum) {
  std::vector<uint8_t> program =
      stub::testing::AsWindowsProgram(stub::testing::X86CodeBytes(60000, 7));
  std::fill(program.begin() + 70, program.begin() + 512, 0);
  if (with_checksum) {
    stub::WriteLe32(&program[kChecksumField], pe::ComputeChecksum(program, kChecksumField));
  }
  return program;
}

// `package` with its extension record's StreamMethod set to `method` and the
// locator's CRC-32 recomputed, so that the launcher's checks pass.
std::vector<uint8_t> WithStreamMethod(std::vector<uint8_t> package, uint8_t method) {
  const uint32_t offset = stub::ReadLe32(&package[stub::kPackageLocatorOffset]);
  const uint32_t crc_length = stub::ReadLe32(&package[stub::kPackageLocatorOffset + 4]);
  package.at(offset + stub::kPackageExtensionOffset + 5) = method;
  stub::WriteLe32(&package[stub::kPackageLocatorOffset + 8],
                  stub::CalcCrc32(&package.at(offset), static_cast<int32_t>(crc_length)));
  return package;
}

TEST(SfxpackVerifyChecksum, WarnsWhenTheDecodedProgramsChecksumDiffers) {
  const fs::path folder = ScratchFolder();
  struct Case {
    const char* name;
    const char* method;              // --method of the build
    bool with_checksum;              // the inner program states its CheckSum
    std::optional<uint8_t> read_as;  // StreamMethod switched to
    const char* stream_method;       // as verify --json names it then
    bool warns;
  };
  const Case cases[] = {
      {"x86 as built", "x86", true, std::nullopt, "x86", false},
      {"lzma as built", "lzma", true, std::nullopt, "lzma", false},
      {"x86 read as lzma", "x86", true, stub::kStreamMethodLzma1, "lzma", true},
      {"lzma read as x86", "lzma", true, stub::kStreamMethodX86Lzma1, "x86", true},
      {"no checksum, x86 read as lzma", "x86", false, stub::kStreamMethodLzma1, "lzma", false},
      {"no checksum, lzma read as x86", "lzma", false, stub::kStreamMethodX86Lzma1, "x86", false},
  };
  const std::string warning_start = "the decoded inner program's PE checksum is 0x";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<uint8_t> inner = InnerProgram(c.with_checksum);
    WriteBytes(folder / "inner.exe", inner);
    const fs::path package = folder / "setup.exe";
    // A build limit, so that an LZMA1 package has the extension record too.
    const auto build = Sfxpack({"build", "-q", "--allow-unsigned-inner", "--inner",
                                (folder / "inner.exe").string(), "-o", package.string(),
                                "--method", c.method, "--min-build", "10240"});
    ASSERT_EQ(build.status, 0) << build.err;
    if (c.read_as) WriteBytes(package, WithStreamMethod(ReadBytes(package), *c.read_as));

    const auto text = Sfxpack({"verify", package.string()});
    EXPECT_EQ(text.status, 0) << text.out << text.err;
    EXPECT_NE(text.out.find(": OK: "), std::string::npos) << text.out;
    const std::string line = package.string() + ": warning: " + warning_start;
    EXPECT_EQ(text.out.find(line) != std::string::npos, c.warns) << text.out;

    const auto json = Sfxpack({"verify", "--json", package.string()});
    EXPECT_EQ(json.status, 0) << json.out << json.err;
    EXPECT_EQ(JsonValue(json.out, "d['stream_method']"), "\"" + std::string(c.stream_method) + "\"");
    EXPECT_EQ(JsonValue(json.out, "len(d['warnings'])"), c.warns ? "1" : "0") << json.out;
    if (c.warns) {
      char says[32];
      std::snprintf(says, sizeof says, "its header says 0x%08X:",
                    static_cast<unsigned>(stub::ReadLe32(&inner[kChecksumField])));
      EXPECT_EQ(JsonValue(json.out, "d['warnings'][0].startswith(\"" + warning_start + "\")"),
                "true");
      EXPECT_EQ(JsonValue(json.out, "\"" + std::string(says) + "\" in d['warnings'][0]"), "true")
          << json.out;
    }
  }
}

// The program streams by in chunks of any size, the CheckSum field split
// between them or not.
TEST(SfxpackVerifyChecksum, SumsTheProgramInChunksOfAnySize) {
  const std::vector<uint8_t> program = InnerProgram(true);
  const std::span<const uint8_t> bytes(program);
  for (const size_t chunk : {size_t{1}, size_t{3}, size_t{64}, size_t{90}, size_t{153},
                             size_t{4096}, program.size()}) {
    ProgramChecksum checksum;
    for (size_t at = 0; at < bytes.size(); at += chunk) {
      checksum.Add(bytes.subspan(at, std::min(chunk, bytes.size() - at)));
    }
    EXPECT_EQ(checksum.Computed(), pe::ComputeChecksum(program, kChecksumField)) << chunk;
    EXPECT_EQ(checksum.Stated(), stub::ReadLe32(&program[kChecksumField])) << chunk;
    EXPECT_EQ(ChecksumWarning(checksum), std::nullopt) << chunk;
  }
}

}  // namespace
}  // namespace sfxpack::testing
