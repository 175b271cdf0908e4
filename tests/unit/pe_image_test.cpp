// SPDX-License-Identifier: Zlib
#include "tools/pe/pe_image.h"

#include <gtest/gtest.h>

#include <random>

#include "format/little_endian.h"
#include "tests/support/test_images.h"
#include "tests/support/tool_error_of.h"
#include "tools/pe/pe_checksum.h"

namespace pe {
namespace {

using stub::testing::MakeLauncherImage;
using stub::testing::ToolErrorOf;

TEST(PeImage, ParsesTheSyntheticLauncher) {
  const std::vector<uint8_t> file = MakeLauncherImage(256, 3, 512);
  const Image image = ParseImage(file);
  EXPECT_EQ(image.header_offset, 256u);
  EXPECT_EQ(image.machine, kMachineAmd64);
  EXPECT_EQ(image.subsystem, kSubsystemWindowsGui);
  ASSERT_EQ(image.sections.size(), 3u);
  EXPECT_EQ(image.sections[1].name, ".b");
  EXPECT_EQ(image.ImageEnd(), 0x400u + 3 * 512);
  EXPECT_EQ(image.FirstRawDataOffset(), 0x400u);
  EXPECT_EQ(image.headers_end, 256u + 24 + 240 + 3 * 40);
}

TEST(PeImage, RefusesDamagedHeaders) {
  struct Case {
    const char* name;
    void (*damage)(std::vector<uint8_t>&);
  };
  const Case cases[] = {
      {"empty", [](std::vector<uint8_t>& f) { f.clear(); }},
      {"no MZ", [](std::vector<uint8_t>& f) { f[0] = 'X'; }},
      {"e_lfanew past the end", [](std::vector<uint8_t>& f) { stub::WriteLe32(&f[60], 1u << 30); }},
      {"no PE signature", [](std::vector<uint8_t>& f) { f[256] = 'X'; }},
      {"PE32, not PE32+", [](std::vector<uint8_t>& f) { stub::WriteLe16(&f[256 + 24], 0x10B); }},
      {"optional header too small", [](std::vector<uint8_t>& f) { stub::WriteLe16(&f[256 + 20], 8); }},
      {"too many directories", [](std::vector<uint8_t>& f) { stub::WriteLe32(&f[256 + 24 + 108], 1000); }},
      {"section table past the end", [](std::vector<uint8_t>& f) { stub::WriteLe16(&f[256 + 6], 60000); }},
      {"section data past the end", [](std::vector<uint8_t>& f) { f.resize(f.size() - 1); }},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> file = MakeLauncherImage();
    c.damage(file);
    EXPECT_FALSE(ToolErrorOf([&] { ParseImage(file); }).empty()) << c.name;
  }
}

TEST(MoveHeaders, MovesFrom128To256AndClearsTheGap) {
  std::vector<uint8_t> file = MakeLauncherImage(128, 2, 512);
  const std::vector<uint8_t> original = file;
  MoveHeaders(file, 256);
  EXPECT_EQ(stub::ReadLe32(&file[60]), 256u);
  for (int i = 128; i < 256; ++i) ASSERT_EQ(file[i], 0) << i;
  const Image before = ParseImage(original);
  const Image after = ParseImage(file);
  EXPECT_EQ(after.sections.size(), before.sections.size());
  EXPECT_EQ(after.ImageEnd(), before.ImageEnd());
  // DOS header and stub, and the sections, are untouched.
  EXPECT_TRUE(std::equal(file.begin(), file.begin() + 60, original.begin()));
  EXPECT_TRUE(std::equal(file.begin() + 64, file.begin() + 128, original.begin() + 64));
  EXPECT_TRUE(std::equal(file.begin() + 0x400, file.end(), original.begin() + 0x400));
}

TEST(MoveHeaders, RecomputesANonzeroChecksum) {
  std::vector<uint8_t> file = MakeLauncherImage(128, 1, 512);
  stub::WriteLe32(&file[ParseImage(file).checksum_offset], 0x1234);
  MoveHeaders(file, 256);
  const Image image = ParseImage(file);
  EXPECT_EQ(image.checksum, ComputeChecksum(file, image.checksum_offset));
  EXPECT_NE(image.checksum, 0x1234u);
}

TEST(MoveHeaders, AlreadyInPlaceIsLeftAlone) {
  std::vector<uint8_t> file = MakeLauncherImage(256);
  const std::vector<uint8_t> original = file;
  MoveHeaders(file, 256);
  EXPECT_EQ(file, original);
}

TEST(MoveHeaders, RefusesWhenTheHeadersDoNotFit) {
  // 20 sections: the section table reaches beyond SizeOfHeaders at 256.
  std::vector<uint8_t> file = MakeLauncherImage(128, 17, 16);
  const std::vector<uint8_t> original = file;
  const std::string error = ToolErrorOf([&] { MoveHeaders(file, 256); });
  EXPECT_NE(error.find("do not fit"), std::string::npos) << error;
  EXPECT_EQ(file, original);
}

TEST(MoveHeaders, RefusesADosStubThatReachesPast128) {
  std::vector<uint8_t> file = MakeLauncherImage(200);
  // Headers at 200 are fine to move; a stub ending at 96 is not our case, but
  // headers at 64 mean the DOS area is too small.
  std::vector<uint8_t> small = MakeLauncherImage(64);
  EXPECT_FALSE(ToolErrorOf([&] { MoveHeaders(small, 256); }).empty());
  MoveHeaders(file, 256);
}

TEST(MoveHeaders, RefusesToOverwriteDataBehindTheSectionTable) {
  std::vector<uint8_t> file = MakeLauncherImage(128, 2, 512);
  file[ParseImage(file).headers_end + 50] = 0x99;
  const std::string error = ToolErrorOf([&] { MoveHeaders(file, 256); });
  EXPECT_NE(error.find("overwritten"), std::string::npos) << error;
}

// The PE checksum as the format defines it, written out plainly: 16-bit
// little-endian words with the carries folded in, the CheckSum field counted
// as zero, plus the file's length.
uint32_t WordSum(const std::vector<uint8_t>& file, size_t field) {
  uint64_t sum = 0;
  for (size_t i = 0; i < file.size(); i += 2) {
    if (i == field || i == field + 2) continue;
    sum += file[i] | (i + 1 < file.size() ? uint32_t{file[i + 1]} << 8 : 0);
    sum = (sum & 0xFFFF) + (sum >> 16);
  }
  return static_cast<uint32_t>(((sum & 0xFFFF) + (sum >> 16)) + file.size());
}

TEST(PeChecksum, PiecewiseSumEqualsTheWholeFileSum) {
  std::mt19937 random(7);
  for (size_t size : {0u, 1u, 2u, 3u, 200u, 4097u, 70001u}) {
    std::vector<uint8_t> file(size);
    for (uint8_t& byte : file) byte = static_cast<uint8_t>(random());
    const uint32_t field = size >= 72 ? 64 : static_cast<uint32_t>(size);  // beyond: no field
    if (size >= 72) std::fill_n(file.begin() + field, 4, 0);
    // Bytes 8 to 20 are added afterwards, as the locator is.
    std::vector<uint8_t> late;
    std::vector<uint8_t> sequential = file;
    if (size >= 20) {
      late.assign(file.begin() + 8, file.begin() + 20);
      std::fill(sequential.begin() + 8, sequential.begin() + 20, 0);
    }
    PeChecksum checksum;
    for (size_t at = 0; at < size;) {
      const size_t piece = std::min<size_t>(size - at, random() % 7 + 1);
      checksum.Append(std::span(sequential).subspan(at, piece));
      at += piece;
    }
    if (!late.empty()) checksum.AddAt(8, late);
    EXPECT_EQ(checksum.Finish(), WordSum(file, field)) << size;
    EXPECT_EQ(ComputeChecksum(file, field), WordSum(file, field)) << size;
  }
}

}  // namespace
}  // namespace pe
