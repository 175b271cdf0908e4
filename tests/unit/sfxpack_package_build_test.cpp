// SPDX-License-Identifier: Zlib
// sfxpack build's writer: the package it writes, streamed further data, the PE
// CheckSum, DetachedSize, the dictionary it chooses, and no output on failure.
#include "tools/sfxpack/packing/package_build.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "decoding/crc32.h"
#include "format/little_endian.h"
#include "tests/support/package_builder.h"
#include "tests/support/test_images.h"
#include "tests/support/whole_file.h"
#include "tools/common/tool_error.h"
#include "tools/pe/pe_image.h"
#include "tools/sfxpack/analysis/package_map.h"
#include "tools/sfxpack/files/atomic_output.h"

namespace sfxpack {
namespace {

namespace fs = std::filesystem;
using stub::testing::MakeLauncherImage;
using stub::testing::SampleBytes;

constexpr size_t kChecksumField = 256 + 24 + 64;

class SfxpackPackageBuild : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::temp_directory_path() /
              ("sfxpack-unit-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
               "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(folder_);
    fs::create_directories(folder_);
    launcher_ = MakeLauncherImage();
    stub::WriteLe32(&launcher_[kChecksumField], 0x1234);  // a launcher with a CheckSum
    inner_ = stub::testing::AsWindowsProgram(SampleBytes(70000, 3));
    stub::testing::WriteBytes(folder_ / "inner.exe", inner_);
    request_.launcher = launcher_;
    request_.inner = folder_ / "inner.exe";
    request_.output = folder_ / "setup.exe";
    request_.settings.os_mask = 0x400;
    request_.settings.message = u"No %USER%";
    request_.lzma.preset = 1;
    request_.show_progress = false;
  }
  void TearDown() override { fs::remove_all(folder_); }

  // Only the expected files are in the folder: no temporary file stayed.
  void ExpectFolderHolds(std::vector<std::string> names) {
    std::vector<std::string> found;
    for (const auto& entry : fs::directory_iterator(folder_)) found.push_back(entry.path().filename().string());
    std::sort(found.begin(), found.end());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(found, names);
  }

  fs::path folder_;
  std::vector<uint8_t> launcher_;
  std::vector<uint8_t> inner_;
  BuildRequest request_;
};

TEST_F(SfxpackPackageBuild, StreamsFurtherDataAndKeepsTheChecksumsRight) {
  const std::vector<uint8_t> further = SampleBytes(3 << 20, 5);  // more than one copy chunk
  stub::testing::WriteBytes(folder_ / "data.bin", further);
  request_.further_data = folder_ / "data.bin";
  const BuildResult result = BuildPackageFile(request_);

  const std::vector<uint8_t> package = stub::testing::ReadBytes(request_.output);
  ASSERT_EQ(package.size(), result.package_size);
  EXPECT_TRUE(std::equal(further.begin(), further.end(),
                         package.begin() + result.layout.further_data_offset));
  // The same bytes as the in-memory writer, apart from the PE CheckSum.
  const std::vector<uint8_t> expected =
      stub::testing::BuildPackage(launcher_, inner_, request_.settings,
                                  EffectiveLzmaSettings(request_.lzma, inner_.size()), further)
          .bytes;
  std::vector<uint8_t> without_checksum = package;
  std::copy_n(&expected[kChecksumField], 4, &without_checksum[kChecksumField]);
  EXPECT_TRUE(without_checksum == expected);

  EXPECT_EQ(stub::ReadLe32(&package[kChecksumField]), pe::ComputeChecksum(package, kChecksumField));
  MemorySource source(package);
  const PackageMap map = AnalyzePackage(source);
  EXPECT_TRUE(map.problems.empty()) << map.problems.front();
  ExpectFolderHolds({"inner.exe", "data.bin", "setup.exe"});
}

TEST_F(SfxpackPackageBuild, LauncherWithoutCheckSumKeepsItZero) {
  stub::WriteLe32(&launcher_[kChecksumField], 0);
  BuildPackageFile(request_);
  EXPECT_EQ(stub::ReadLe32(&stub::testing::ReadBytes(request_.output)[kChecksumField]), 0u);
}

TEST_F(SfxpackPackageBuild, DetachedSizeAutoIsThePackageLength) {
  request_.detached_auto = true;
  const BuildResult result = BuildPackageFile(request_);
  const std::vector<uint8_t> package = stub::testing::ReadBytes(request_.output);
  EXPECT_EQ(stub::ReadLe32(&package[148]), package.size());
  EXPECT_EQ(result.layout.locator.DetachedSize, package.size());
}

TEST_F(SfxpackPackageBuild, FailuresLeaveNoFileBehind) {
  struct Case {
    const char* name;
    void (*change)(BuildRequest&);
    const char* error;
  };
  static std::vector<uint8_t> bad_launcher = MakeLauncherImage(128);
  const Case cases[] = {
      {"detached above the size", [](BuildRequest& r) { r.settings.detached_size = 0xFFFFFFFF; },
       "truncated"},
      {"message too long", [](BuildRequest& r) { r.settings.message.assign(65536, u'x'); },
       "65,535"},
      {"launcher without room", [](BuildRequest& r) { r.launcher = bad_launcher; }, "free bytes"},
      {"missing inner program", [](BuildRequest& r) { r.inner = r.inner.parent_path() / "none.exe"; },
       "none.exe"},
      {"missing further data",
       [](BuildRequest& r) { r.further_data = r.inner.parent_path() / "none.bin"; }, "none.bin"},
      {"output is a folder", [](BuildRequest& r) { r.output = r.inner.parent_path(); }, "folder"},
      {"output folder missing",
       [](BuildRequest& r) { r.output = r.inner.parent_path() / "no" / "setup.exe"; }, "setup.exe"},
      {"bad LZMA settings", [](BuildRequest& r) { r.lzma.lc = 4, r.lzma.lp = 4; }, "lc + lp"},
  };
  for (const Case& c : cases) {
    BuildRequest request = request_;
    c.change(request);
    try {
      BuildPackageFile(request);
      ADD_FAILURE() << c.name << ": no failure";
    } catch (const tools::ToolError& failure) {
      EXPECT_NE(std::string(failure.what()).find(c.error), std::string::npos)
          << c.name << ": " << failure.what();
    }
    ExpectFolderHolds({"inner.exe"});
  }
}

TEST_F(SfxpackPackageBuild, AFailedBuildKeepsTheOldOutput) {
  stub::testing::WriteBytes(request_.output, {1, 2, 3});
  request_.settings.detached_size = 0xFFFFFFFF;
  EXPECT_THROW(BuildPackageFile(request_), tools::ToolError);
  EXPECT_EQ(stub::testing::ReadBytes(request_.output), (std::vector<uint8_t>{1, 2, 3}));
  ExpectFolderHolds({"inner.exe", "setup.exe"});
}

TEST_F(SfxpackPackageBuild, AtomicOutputAppearsOnlyWhenCommitted) {
  const fs::path target = folder_ / "out.bin";
  {
    AtomicOutput output(target, OutputContent::kData);
    output.Write(std::vector<uint8_t>{1, 2, 3, 4});
    EXPECT_TRUE(fs::exists(output.temporary_path()));
    EXPECT_FALSE(fs::exists(target));
  }
  ExpectFolderHolds({"inner.exe"});
  try {
    AtomicOutput output(target, OutputContent::kData);
    output.Write(std::vector<uint8_t>(100, 7));
    throw std::runtime_error("failure while writing");
  } catch (const std::runtime_error&) {
  }
  ExpectFolderHolds({"inner.exe"});
  {
    AtomicOutput output(target, OutputContent::kData);
    output.Write(std::span<const uint8_t>());  // an empty program has no memory at all
    output.Write(std::vector<uint8_t>{1, 2, 3, 4});
    output.WriteAt(1, std::vector<uint8_t>{9, 9});
    output.Commit();
  }
  EXPECT_EQ(stub::testing::ReadBytes(target), (std::vector<uint8_t>{1, 9, 9, 4}));
  ExpectFolderHolds({"inner.exe", "out.bin"});
}

TEST(SfxpackLzmaSettings, DictionaryShrinksToTheProgram) {
  struct Case {
    uint32_t preset;
    std::optional<uint32_t> dict;
    uint64_t program;
    uint32_t expected;
  };
  const Case cases[] = {
      {9, std::nullopt, 0, 4096},
      {9, std::nullopt, 4096, 4096},
      {9, std::nullopt, 4097, 8192},
      {9, std::nullopt, 3 << 20, 4 << 20},
      {9, std::nullopt, 100 << 20, 64 << 20},
      {0, std::nullopt, 1 << 20, 256 << 10},
      {6, std::nullopt, 1 << 30, 8 << 20},
      {9, 1 << 16, 100 << 20, 1 << 16},
      {9, 1 << 26, 10, 1 << 26},
  };
  for (const Case& c : cases) {
    packaging::LzmaSettings lzma;
    lzma.preset = c.preset;
    lzma.dict_size = c.dict;
    EXPECT_EQ(EffectiveLzmaSettings(lzma, c.program).dict_size, c.expected)
        << "preset " << c.preset << ", program " << c.program;
  }
}

// The blocks of an .xz stream: equal, at most 16 dictionaries (8 to 16
// MiB), an even number of them above 16 MiB; the dictionary no larger than a
// block. They depend on nothing but the options and the program.
TEST(SfxpackXzSettings, BlocksFollowTheDictionaryAndTheProgram) {
  constexpr uint64_t MiB = 1 << 20;
  struct Case {
    uint32_t preset;
    std::optional<uint32_t> dict;
    uint64_t program;
    uint64_t block;
    uint32_t dict_size;
  };
  const Case cases[] = {
      {9, std::nullopt, 0, 1 * MiB, 4096},
      {9, std::nullopt, 1000, 1 * MiB, 1024 * 4},
      {9, std::nullopt, 16 * MiB, 16 * MiB, 16 * MiB},
      {9, std::nullopt, 16 * MiB + 1, 9 * MiB, 9 * MiB},
      {9, std::nullopt, 100 * MiB, 13 * MiB, 13 * MiB},
      {9, std::nullopt, 500000000, 16 * MiB, 16 * MiB},
      {9, std::nullopt, 700 * MiB, 16 * MiB, 16 * MiB},
      {9, std::nullopt, 4096 * MiB - 1, 16 * MiB, 16 * MiB},
      {6, std::nullopt, 500000000, 16 * MiB, 8 * MiB},
      {1, std::nullopt, 500000000, 16 * MiB, 1 * MiB},
      {1, std::nullopt, 40 * MiB, 10 * MiB, 1 * MiB},
      {0, std::nullopt, 500000000, 8 * MiB, 256 * 1024},
      {9, 1024 * MiB, 500000000, 16 * MiB, 16 * MiB},
  };
  for (const Case& c : cases) {
    EncodingOptions options;
    options.lzma.preset = c.preset;
    options.lzma.dict_size = c.dict;
    options.threads = 1;
    const packaging::XzSettings xz = XzSettingsFor(options, c.program, false);
    EXPECT_EQ(xz.block_size, c.block) << "preset " << c.preset << ", program " << c.program;
    EXPECT_EQ(xz.lzma.dict_size, c.dict_size) << "preset " << c.preset << ", program " << c.program;
  }
}

}  // namespace
}  // namespace sfxpack
