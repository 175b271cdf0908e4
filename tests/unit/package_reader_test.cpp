// SPDX-License-Identifier: Zlib
#include "launcher/package_reader.h"

#include <gtest/gtest.h>

#include "decoding/crc32.h"
#include "format/little_endian.h"
#include "launcher/exit_codes.h"
#include "launcher/fatal_messages.h"
#include "tests/fake/fake_platform.h"
#include "tests/support/fatal_texts.h"
#include "tests/support/package_builder.h"
#include "tests/support/test_images.h"

namespace stub {
namespace {

using testing::FakePlatform;
using testing::MemoryFile;

enum class Verdict { kOk, kDamaged, kTruncated };

const char* Name(Verdict v) {
  return v == Verdict::kOk ? "ok" : v == Verdict::kDamaged ? "damaged" : "truncated";
}

// Runs the three reading steps in their order on `bytes`, as the launcher does.
struct Checked {
  Verdict verdict;
  std::vector<testing::RecordedBox> boxes;
  TPackageHeader header;
  TPackageExtension extension;
};

Checked Check(std::vector<uint8_t> bytes, bool fail_size_query = false) {
  FakePlatform platform;
  Reporter reporter(platform, u"C:\\p\\setup.exe", false);
  MemoryFile file(bytes);
  file.fail_size_query = fail_size_query;
  TPackageLocator locator;
  Checked checked{Verdict::kOk, {}, {}, {}};
  Outcome outcome = CheckPackage(file, reporter, locator, checked.header, checked.extension);
  checked.boxes = platform.boxes;
  if (!outcome.proceeds()) {
    EXPECT_EQ(platform.boxes.size(), 1u);
    if (outcome.exit_code() == kExitDamagedPackage) {
      checked.verdict = Verdict::kDamaged;
      EXPECT_EQ(platform.boxes.at(0).text, testing::FatalMessageText(FatalMessage::kDamaged));
    } else {
      EXPECT_EQ(outcome.exit_code(), kExitTruncatedPackage);
      checked.verdict = Verdict::kTruncated;
      EXPECT_EQ(platform.boxes.at(0).text, testing::FatalMessageText(FatalMessage::kTruncated));
    }
  } else {
    EXPECT_TRUE(platform.boxes.empty());
  }
  return checked;
}

TPackageLocator LocatorOf(const std::vector<uint8_t>& bytes) {
  PackageLocatorBytes raw;
  std::copy_n(bytes.begin() + kPackageLocatorOffset, raw.size(), raw.begin());
  return DecodePackageLocator(raw);
}

void SetLocator(std::vector<uint8_t>& bytes, const TPackageLocator& locator) {
  const PackageLocatorBytes raw = EncodePackageLocator(locator);
  std::copy(raw.begin(), raw.end(), bytes.begin() + kPackageLocatorOffset);
}

class PackageReaderTest : public ::testing::Test {
 protected:
  std::vector<uint8_t> package_ =
      testing::MakeTestPackage(testing::SampleBytes(5000), {}, testing::SampleBytes(300, 2)).bytes;
};

TEST_F(PackageReaderTest, IntactPackagePassesAndYieldsItsHeader) {
  const Checked checked = Check(package_);
  EXPECT_EQ(checked.verdict, Verdict::kOk);
  EXPECT_EQ(checked.header.ProgramLength, 5000u);
  EXPECT_EQ(checked.header.StreamOffset, LocatorOf(package_).PackageOffset + kPackageHeaderSize);
}

TEST_F(PackageReaderTest, BareLauncherImageIsDamaged) {
  EXPECT_EQ(Check(testing::MakeLauncherImage()).verdict, Verdict::kDamaged);
}

// The file cut at every interesting length: inside the locator, just behind
// it, inside the header, inside the stream, one byte short of the end.
TEST_F(PackageReaderTest, TruncationAtEveryInterestingLength) {
  const TPackageLocator locator = LocatorOf(package_);
  struct Cut {
    size_t length;
    Verdict expected;
  };
  const Cut cuts[] = {
      {0, Verdict::kDamaged},
      {64, Verdict::kDamaged},
      {kPackageLocatorOffset + 23, Verdict::kDamaged},  // locator short
      {kPackageLocatorOffset + 24, Verdict::kTruncated},
      {locator.PackageOffset, Verdict::kTruncated},
      {locator.PackageOffset + 69, Verdict::kTruncated},
      {locator.PackageOffset + 200, Verdict::kTruncated},
      {package_.size() - 1, Verdict::kTruncated},
      {package_.size(), Verdict::kOk},
  };
  for (const Cut& cut : cuts) {
    std::vector<uint8_t> bytes(package_.begin(), package_.begin() + cut.length);
    EXPECT_EQ(Name(Check(bytes).verdict), Name(cut.expected)) << "cut at " << cut.length;
  }
}

TEST_F(PackageReaderTest, SignedPackageLongerThanBuiltPasses) {
  std::vector<uint8_t> signed_package = package_;
  signed_package.resize(package_.size() + 4096, 0xAB);
  EXPECT_EQ(Check(signed_package).verdict, Verdict::kOk);
}

TEST_F(PackageReaderTest, OneFlippedByteAnywhereInTheCrcRegionIsDamaged) {
  const TPackageLocator locator = LocatorOf(package_);
  for (uint64_t i = locator.PackageOffset; i < locator.PackageOffset + locator.CrcLength; i += 97) {
    std::vector<uint8_t> bytes = package_;
    bytes[i] ^= 0x01;
    EXPECT_EQ(Check(bytes).verdict, Verdict::kDamaged) << "byte " << i;
  }
}

// Size comes before the checksum: a short file whose checksum region is also
// broken is reported as truncated.
TEST_F(PackageReaderTest, SizeTestComesBeforeTheChecksum) {
  std::vector<uint8_t> bytes = package_;
  bytes[LocatorOf(package_).PackageOffset + 100] ^= 0xFF;
  bytes.pop_back();
  EXPECT_EQ(Check(bytes).verdict, Verdict::kTruncated);
}

// The checksum comes before the header is trusted: a header whose stream
// fields are nonsense but covered by a wrong CRC is damaged at the checksum.
TEST_F(PackageReaderTest, ChecksumComesBeforeTheHeader) {
  std::vector<uint8_t> bytes = package_;
  const TPackageLocator locator = LocatorOf(package_);
  WriteLe32(&bytes[locator.PackageOffset + 34], 0xFFFFFFFF);  // StreamLength
  const Checked checked = Check(bytes);
  EXPECT_EQ(checked.verdict, Verdict::kDamaged);
}

// The extension record is read with the header: a record the launcher does
// not know is damaged; anything without the tag is a package as before.
TEST_F(PackageReaderTest, ExtensionRecordVerdicts) {
  struct Case {
    const char* name;
    std::vector<uint8_t> field;  // header bytes 42 onwards
    Verdict expected;
    uint8_t method;
  };
  const Case cases[] = {
      {"zeros", {}, Verdict::kOk, kStreamMethodLzma1},
      {"untagged bytes", {'s', 'f', 'x', 'e', 9, 9}, Verdict::kOk, kStreamMethodLzma1},
      {"version 1, LZMA1", {'S', 'F', 'X', 'E', 1, 0}, Verdict::kOk, kStreamMethodLzma1},
      {"version 1, x86", {'S', 'F', 'X', 'E', 1, 2}, Verdict::kOk, kStreamMethodX86Lzma1},
      {"version 1, xz", {'S', 'F', 'X', 'E', 1, 3}, Verdict::kOk, kStreamMethodXz},
      {"version 2", {'S', 'F', 'X', 'E', 2, 0}, Verdict::kDamaged, kStreamMethodLzma1},
      {"unknown method", {'S', 'F', 'X', 'E', 1, 4}, Verdict::kDamaged, kStreamMethodLzma1},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> bytes = package_;
    const uint32_t field = LocatorOf(bytes).PackageOffset + kPackageExtensionOffset;
    std::copy(c.field.begin(), c.field.end(), bytes.begin() + field);
    ASSERT_TRUE(testing::RefreshChecksum(bytes));
    const Checked checked = Check(bytes);
    EXPECT_EQ(Name(checked.verdict), Name(c.expected)) << c.name;
    if (checked.verdict == Verdict::kOk) {
      EXPECT_EQ(checked.extension.StreamMethod, c.method) << c.name;
    }
  }
}

struct LocatorCase {
  const char* name;
  void (*change)(TPackageLocator&, uint64_t file_size);
  Verdict expected;
};

TEST_F(PackageReaderTest, TableOfBadLocatorFields) {
  const LocatorCase cases[] = {
      {"PackageOffset 0", [](TPackageLocator& l, uint64_t) { l.PackageOffset = 0; },
       Verdict::kDamaged},
      {"PackageOffset at 2^31", [](TPackageLocator& l, uint64_t) { l.PackageOffset = 0x80000000; },
       Verdict::kDamaged},
      {"PackageOffset at end of file",
       [](TPackageLocator& l, uint64_t size) { l.PackageOffset = static_cast<uint32_t>(size); },
       Verdict::kDamaged},
      {"CrcLength past the end of file", [](TPackageLocator& l, uint64_t) { l.CrcLength += 1; },
       Verdict::kDamaged},
      {"CrcLength 2^31", [](TPackageLocator& l, uint64_t) { l.CrcLength = 0x80000000; },
       Verdict::kDamaged},
      {"CrcLength 2^32-1", [](TPackageLocator& l, uint64_t) { l.CrcLength = 0xFFFFFFFF; },
       Verdict::kDamaged},
      {"CrcValue off by one", [](TPackageLocator& l, uint64_t) { l.CrcValue += 1; },
       Verdict::kDamaged},
      {"MinFileSize one beyond", [](TPackageLocator& l, uint64_t) { l.MinFileSize += 1; },
       Verdict::kTruncated},
      {"MinFileSize 2^63-1", [](TPackageLocator& l, uint64_t) { l.MinFileSize = INT64_MAX; },
       Verdict::kTruncated},
      {"MinFileSize negative", [](TPackageLocator& l, uint64_t) { l.MinFileSize = -5; },
       Verdict::kOk},
      {"MinFileSize 0", [](TPackageLocator& l, uint64_t) { l.MinFileSize = 0; }, Verdict::kOk},
      // With DetachedSize set, only its 32-bit value is compared.
      {"DetachedSize equal to the size",
       [](TPackageLocator& l, uint64_t size) {
         l.DetachedSize = static_cast<uint32_t>(size);
         l.MinFileSize = INT64_MAX;
       },
       Verdict::kOk},
      {"DetachedSize one beyond the size",
       [](TPackageLocator& l, uint64_t size) { l.DetachedSize = static_cast<uint32_t>(size) + 1; },
       Verdict::kTruncated},
  };
  for (const LocatorCase& c : cases) {
    std::vector<uint8_t> bytes = package_;
    TPackageLocator locator = LocatorOf(bytes);
    c.change(locator, bytes.size());
    SetLocator(bytes, locator);
    EXPECT_EQ(Name(Check(bytes).verdict), Name(c.expected)) << c.name;
  }
}

TEST_F(PackageReaderTest, EmptyChecksumRegionWithCrcZeroPasses) {
  TPackageLocator locator = LocatorOf(package_);
  locator.CrcLength = 0;
  locator.CrcValue = 0;
  SetLocator(package_, locator);
  EXPECT_EQ(Check(package_).verdict, Verdict::kOk);
  locator.CrcValue = 1;
  SetLocator(package_, locator);
  EXPECT_EQ(Check(package_).verdict, Verdict::kDamaged);
}

TEST_F(PackageReaderTest, HeaderShortAfterAnEmptyChecksumRegionIsDamaged) {
  // A package whose header lies at the very end: nothing to checksum, and the
  // 70-byte header read comes up short.
  std::vector<uint8_t> bytes = package_;
  TPackageLocator locator = LocatorOf(bytes);
  locator.PackageOffset = static_cast<uint32_t>(bytes.size() - 10);
  locator.CrcLength = 0;
  locator.CrcValue = 0;
  SetLocator(bytes, locator);
  EXPECT_EQ(Check(bytes).verdict, Verdict::kDamaged);
}

TEST_F(PackageReaderTest, FailedSizeQueryIsDamagedNotASize) {
  EXPECT_EQ(Check(package_, /*fail_size_query=*/true).verdict, Verdict::kDamaged);
}

// A hostile CrcLength must not be met with an allocation of that size: the
// region is read in small pieces, so a 4 GiB claim on a small file costs no
// read at all, and a large valid region costs a bounded number of reads. The
// header comes out of those reads; only a region shorter than the header
// makes the header a read of its own.
TEST_F(PackageReaderTest, ChecksumRegionIsReadInPiecesAndHoldsTheHeader) {
  std::vector<uint8_t> inner = testing::SampleBytes(10);
  std::vector<uint8_t> big = testing::MakeTestPackage(inner, {}, std::vector<uint8_t>(3000000, 7)).bytes;
  for (const uint32_t crc_length : {LocatorOf(big).CrcLength, uint32_t{69}}) {
    SCOPED_TRACE(crc_length);
    TPackageLocator changed = LocatorOf(big);
    changed.CrcLength = crc_length;
    SetLocator(big, changed);
    ASSERT_TRUE(testing::RefreshChecksum(big));
    MemoryFile file(big);
    FakePlatform platform;
    Reporter reporter(platform, u"x", false);
    TPackageLocator locator;
    TPackageHeader header;
    TPackageExtension extension;
    ASSERT_TRUE(CheckPackage(file, reporter, locator, header, extension).proceeds());
    EXPECT_EQ(header.ProgramLength, 10u);
    // The locator, then 3,000,000 + header and stream in 1 MiB pieces; or the
    // locator, the short region and the header.
    EXPECT_EQ(file.reads, crc_length == 69 ? 3 : 4);
  }
}

TEST(ReadExactlyAt, ReadsAllOrFails) {
  std::vector<uint8_t> bytes(16, 1);
  MemoryFile file(bytes);
  uint8_t buffer[4];
  EXPECT_TRUE(ReadExactlyAt(file, 12, buffer, 4));
  EXPECT_FALSE(ReadExactlyAt(file, 13, buffer, 4));
  EXPECT_TRUE(ReadExactlyAt(file, 16, buffer, 0));
}

}  // namespace
}  // namespace stub
