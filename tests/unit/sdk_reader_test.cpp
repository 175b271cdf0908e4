// SPDX-License-Identifier: Zlib
// The inner program's reader header (sdk/sfxpack_reader.h): the further data
// of good packages, where inspect's analysis finds it, and a table of bad
// files, each with the status it must give.
#include "sdk/sfxpack_reader.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>

#include "format/little_endian.h"
#include "format/package_extension.h"
#include "tests/support/package_builder.h"
#include "tests/support/test_images.h"
#include "tools/sfxpack/analysis/package_map.h"

namespace {

using stub::WriteLe32;
using stub::testing::MakeTestPackage;
using stub::testing::SampleBytes;
using stub::testing::TestPackage;

constexpr size_t kFurtherDataSize = 300;

TestPackage GoodPackage() {
  return MakeTestPackage(SampleBytes(5000), stub::testing::ExampleSettings(),
                         SampleBytes(kFurtherDataSize, 7));
}

uint32_t PackageOffset(const TestPackage& p) { return stub::ReadLe32(&p.bytes[128]); }
uint8_t* Header(TestPackage& p) { return &p.bytes[PackageOffset(p)]; }

// Runs the reader on `bytes` through a FILE* over memory, as over a file.
sfxpack_status Find(std::vector<uint8_t> bytes, unsigned flags, sfxpack_further_data& data) {
  if (bytes.empty()) bytes.push_back(0);  // fmemopen needs a buffer; one byte is no package
  std::unique_ptr<FILE, int (*)(FILE*)> file(fmemopen(bytes.data(), bytes.size(), "rb"), fclose);
  EXPECT_NE(file, nullptr);
  return sfxpack_find_further_data_in(file.get(), flags, &data);
}

TEST(SdkReader, FindsTheFurtherDataWhereInspectDoes) {
  TestPackage built = GoodPackage();
  // A signed package is longer than it was built: its further data stays.
  TestPackage signed_package = GoodPackage();
  signed_package.bytes.resize(signed_package.bytes.size() + 4 + 512, 0);
  for (const TestPackage* package : {&built, &signed_package}) {
    for (unsigned flags : {0u, SFXPACK_VERIFY_CRC}) {
      sfxpack_further_data data{};
      ASSERT_EQ(Find(package->bytes, flags, data), SFXPACK_OK) << flags;
      EXPECT_EQ(data.offset, built.bytes.size() - kFurtherDataSize);
      EXPECT_EQ(data.length, kFurtherDataSize);
      const std::vector<uint8_t> further(package->bytes.begin() + data.offset,
                                         package->bytes.begin() + data.offset + data.length);
      EXPECT_EQ(further, SampleBytes(kFurtherDataSize, 7));
    }
  }
  sfxpack::MemorySource source(built.bytes);
  const sfxpack::PackageMap map = sfxpack::AnalyzePackage(source);
  sfxpack_further_data data{};
  ASSERT_EQ(Find(built.bytes, 0, data), SFXPACK_OK);
  EXPECT_EQ(data.offset, map.further_offset);
  EXPECT_EQ(data.length, map.further_length + map.unchecked_length);

  const TestPackage empty = MakeTestPackage(SampleBytes(100));
  ASSERT_EQ(Find(empty.bytes, SFXPACK_VERIFY_CRC, data), SFXPACK_OK);
  EXPECT_EQ(data.offset, empty.bytes.size());
  EXPECT_EQ(data.length, 0u);
}

// A named change to a good package, the flags, and the status it must give.
struct BadFile {
  const char* name;
  void (*apply)(TestPackage&);
  unsigned flags;
  sfxpack_status expected;
};

void SetExtension(TestPackage& p, uint8_t version, uint8_t method) {
  uint8_t* record = Header(p) + stub::kPackageExtensionOffset;
  std::copy(stub::kPackageExtensionTag.begin(), stub::kPackageExtensionTag.end(), record);
  record[4] = version;
  record[5] = method;
}

const BadFile kBadFiles[] = {
    {"empty", [](TestPackage& p) { p.bytes.clear(); }, 0, SFXPACK_NOT_A_PACKAGE},
    {"cut inside the locator", [](TestPackage& p) { p.bytes.resize(151); }, 0,
     SFXPACK_NOT_A_PACKAGE},
    {"no package attached", [](TestPackage& p) { WriteLe32(&p.bytes[128], 0); }, 0,
     SFXPACK_NOT_A_PACKAGE},
    {"one byte short", [](TestPackage& p) { p.bytes.pop_back(); }, 0, SFXPACK_TRUNCATED},
    {"cut at the header", [](TestPackage& p) { p.bytes.resize(PackageOffset(p)); }, 0,
     SFXPACK_TRUNCATED},
    {"detached, shorter than its further data",
     [](TestPackage& p) {
       p.bytes.pop_back();
       WriteLe32(&p.bytes[148], 1000);
     },
     0, SFXPACK_TRUNCATED},
    {"flipped byte, CRC checked", [](TestPackage& p) { p.bytes.back() ^= 1; }, SFXPACK_VERIFY_CRC,
     SFXPACK_DAMAGED},
    {"checksum region past the end, CRC checked",
     [](TestPackage& p) { WriteLe32(&p.bytes[132], 0xFFFFFF00); }, SFXPACK_VERIFY_CRC,
     SFXPACK_DAMAGED},
    {"package offset beyond 2 GiB", [](TestPackage& p) { WriteLe32(&p.bytes[128], 0x80000000); },
     0, SFXPACK_DAMAGED},
    {"header past the end",
     [](TestPackage& p) { WriteLe32(&p.bytes[128], static_cast<uint32_t>(p.bytes.size() - 10)); },
     0, SFXPACK_DAMAGED},
    {"extension of version 2", [](TestPackage& p) { SetExtension(p, 2, 0); }, 0, SFXPACK_DAMAGED},
    {"extension with stream method 4", [](TestPackage& p) { SetExtension(p, 1, 4); }, 0,
     SFXPACK_DAMAGED},
    {"stream offset beyond 2 GiB", [](TestPackage& p) { WriteLe32(Header(p) + 30, 0x80000000); },
     0, SFXPACK_DAMAGED},
    {"message offset beyond 2 GiB", [](TestPackage& p) { WriteLe32(Header(p) + 64, 0x80000000); },
     0, SFXPACK_DAMAGED},
    {"stream past the package's end",
     [](TestPackage& p) { WriteLe32(Header(p) + 34, static_cast<uint32_t>(p.bytes.size())); }, 0,
     SFXPACK_DAMAGED},
    {"negative MinFileSize with a detached size",
     [](TestPackage& p) {
       stub::WriteLe64(&p.bytes[140], ~uint64_t{0});
       WriteLe32(&p.bytes[148], 1000);
     },
     0, SFXPACK_DAMAGED},
};

TEST(SdkReader, EachBadFileGivesItsStatus) {
  for (const BadFile& bad : kBadFiles) {
    TestPackage package = GoodPackage();
    bad.apply(package);
    sfxpack_further_data data{12345, 678};
    EXPECT_EQ(Find(package.bytes, bad.flags, data), bad.expected) << bad.name;
    EXPECT_EQ(data.offset, 12345u) << bad.name << ": the result is left alone on failure";
  }
  // Damage the CRC would find goes unnoticed without SFXPACK_VERIFY_CRC, and a
  // known extension record changes nothing.
  sfxpack_further_data data{};
  for (const uint8_t method : {stub::kStreamMethodX86Lzma1, stub::kStreamMethodXz}) {
    TestPackage flipped = GoodPackage();
    flipped.bytes.back() ^= 1;
    SetExtension(flipped, 1, method);
    EXPECT_EQ(Find(flipped.bytes, 0, data), SFXPACK_OK);
  }
  EXPECT_EQ(sfxpack_find_further_data("/nonexistent/setup.exe", 0, &data), SFXPACK_CANNOT_OPEN);
  EXPECT_STREQ(sfxpack_status_text(SFXPACK_TRUNCATED), "the setup package is truncated");
}

}  // namespace
