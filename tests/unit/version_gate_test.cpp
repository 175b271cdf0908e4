// SPDX-License-Identifier: Zlib
#include "launcher/version_gate.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "format/package_extension.h"
#include "launcher/exit_codes.h"
#include "launcher/fatal_messages.h"
#include "launcher/stub64.h"
#include "tests/fake/fake_platform.h"
#include "tests/support/fatal_texts.h"
#include "tests/support/package_builder.h"
#include "tests/support/test_images.h"

namespace stub {
namespace {

using testing::FakePlatform;
using testing::Utf8;

constexpr uint64_t kAllBits = ~uint64_t{0};
constexpr uint64_t Bit(int n) { return uint64_t{1} << n; }

// A source of the registry's ReleaseId and DisplayVersion (nullopt: no
// readable value) that counts its calls.
class CountingSource : public WindowsVersionSource {
 public:
  explicit CountingSource(std::optional<std::u16string> text = std::nullopt,
                          std::optional<std::u16string> display_version = std::nullopt)
      : text_(std::move(text)), display_version_(std::move(display_version)) {}
  bool QueryWindowsVersion(TWindowsVersion&) override { return false; }
  bool ReadReleaseId(std::u16string& text) override {
    ++calls;
    if (!text_) return false;
    text = *text_;
    return true;
  }
  bool ReadDisplayVersion(std::u16string& text) override {
    ++display_version_calls;
    if (!display_version_) return false;
    text = *display_version_;
    return true;
  }
  int calls = 0;
  int display_version_calls = 0;

 private:
  std::optional<std::u16string> text_;
  std::optional<std::u16string> display_version_;
};

VersionGateDecision Evaluate(uint32_t major, uint32_t minor, uint64_t mask,
                             WindowsVersionSource& source, uint16_t min = 0, uint16_t max = 0xFFFF) {
  return EvaluateVersionGate(TWindowsVersion{major, minor}, mask, min, max, TPackageExtension{},
                             source);
}

// The version table, written out again: the version reported, the OsMask bit
// that admits it, and the name it is refused with.
struct VersionRow {
  uint32_t major;
  uint32_t minor;
  int bit;
  const char16_t* name;
};
const VersionRow kVersionTable[] = {
    {5, 0, 5, u"Windows XP"},
    {5, 1, 5, u"Windows XP"},
    {5, 2, 5, u"Windows XP"},
    {5, 77, 5, u"Windows XP"},
    {6, 0, 6, u"Windows Vista"},
    {6, 1, 7, u"Windows 7"},
    {6, 2, 8, u"Windows 8"},
    {6, 3, 9, u"Windows 8.1"},
    {10, 0, 10, u"Windows 10"},
    {10, 1, 63, u"Windows 10.1"},
    {10, 9, 63, u"Windows 10.9"},
    {11, 0, 63, u"Windows 11.0"},
    {4, 0, 63, u"Windows 04.0"},
    {0, 0, 63, u"Windows 00.0"},
    {3, 51, 63, u"Windows 03.51"},
    {7, 0, 63, u"Windows 07.0"},
    {8, 1, 63, u"Windows 08.1"},
    {9, 9, 63, u"Windows 09.9"},
    {12, 3, 63, u"Windows 12.3"},
    {99, 0, 63, u"Windows 99.0"},
};

TEST(VersionGate, EachVersionIsAdmittedByItsOwnBitAlone) {
  for (const VersionRow& row : kVersionTable) {
    SCOPED_TRACE(Utf8(row.name));
    CountingSource no_release_id;
    EXPECT_TRUE(Evaluate(row.major, row.minor, Bit(row.bit), no_release_id).proceeds);
  }
}

TEST(VersionGate, EachVersionIsRefusedByNameWhenItsBitIsClear) {
  for (const VersionRow& row : kVersionTable) {
    SCOPED_TRACE(Utf8(row.name));
    for (const uint64_t mask : {uint64_t{0}, kAllBits & ~Bit(row.bit)}) {
      CountingSource release_id(u"1803");
      const VersionGateDecision decision = Evaluate(row.major, row.minor, mask, release_id);
      EXPECT_FALSE(decision.proceeds);
      EXPECT_EQ(decision.os_name, row.name);
      EXPECT_EQ(release_id.calls, 0);
    }
  }
}

TEST(VersionGate, BitsOutsideTheTableAdmitNothing) {
  uint64_t ignored = 0;
  for (int bit = 0; bit <= 4; ++bit) ignored |= Bit(bit);
  for (int bit = 11; bit <= 62; ++bit) ignored |= Bit(bit);
  for (const VersionRow& row : kVersionTable) {
    SCOPED_TRACE(Utf8(row.name));
    CountingSource release_id;
    EXPECT_FALSE(Evaluate(row.major, row.minor, ignored, release_id).proceeds);
  }
}

TEST(VersionGate, LaterMinorsOfSixAreRefusedWhateverTheMask) {
  const struct {
    uint32_t minor;
    const char16_t* name;
  } cases[] = {
      {4, u"Windows 6.4"},
      {5, u"Windows 6.5"},
      {9, u"Windows 6.9"},
      {10, u"Windows 6.10"},
      {0xFFFFFFFF, u"Windows 6.4294967295"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Utf8(c.name));
    CountingSource release_id;
    const VersionGateDecision decision = Evaluate(6, c.minor, kAllBits, release_id);
    EXPECT_FALSE(decision.proceeds);
    EXPECT_EQ(decision.os_name, c.name);
  }
}

// A number of 10 or more in a built name is written in decimal rather than as
// the character 48 + n.
TEST(VersionGate, LargeVersionNumbersAreNamedInDecimal) {
  const struct {
    uint32_t major;
    uint32_t minor;
    const char16_t* name;
  } cases[] = {
      {10, 10, u"Windows 10.10"},
      {10, 0xFFFFFFFF, u"Windows 10.4294967295"},
      {4, 12, u"Windows 04.12"},
      {100, 0, u"Windows 100.0"},
      {123, 4, u"Windows 123.4"},
      {0xFFFFFFFF, 0xFFFFFFFF, u"Windows 4294967295.4294967295"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Utf8(c.name));
    CountingSource release_id;
    EXPECT_EQ(Evaluate(c.major, c.minor, 0, release_id).os_name, c.name);
    EXPECT_EQ(Evaluate(c.major, c.minor, Bit(63), release_id).proceeds, c.major != 6);
  }
}

TEST(VersionGate, ReleaseIdIsReadOnlyForTenZeroWithBitTenSet) {
  for (const VersionRow& row : kVersionTable) {
    SCOPED_TRACE(Utf8(row.name));
    CountingSource release_id(u"1803");
    (void)Evaluate(row.major, row.minor, kAllBits, release_id);
    EXPECT_EQ(release_id.calls, row.major == 10 && row.minor == 0 ? 1 : 0);
  }
  CountingSource release_id(u"1803");
  (void)Evaluate(10, 0, kAllBits & ~Bit(10), release_id);
  EXPECT_EQ(release_id.calls, 0);
}

// The example mask: bits 7, 8, 9, 10 and 63, releases 1507 to 9999.
TEST(VersionGate, ExampleMaskAdmitsSevenToTenAndLater) {
  constexpr uint64_t kMask = 0x8000000000000780;
  const struct {
    uint32_t major;
    uint32_t minor;
    std::optional<std::u16string> release_id;
    bool proceeds;
  } cases[] = {
      {6, 1, std::nullopt, true},   {6, 2, std::nullopt, true},  {6, 3, std::nullopt, true},
      {10, 0, u"1803", true},       {10, 0, std::nullopt, true}, {10, 1, std::nullopt, true},
      {11, 0, std::nullopt, true},  {5, 1, std::nullopt, false}, {5, 2, std::nullopt, false},
      {6, 0, std::nullopt, false},  {6, 4, std::nullopt, false}, {10, 0, u"1409", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.major) + "." + std::to_string(c.minor));
    CountingSource release_id(c.release_id);
    EXPECT_EQ(Evaluate(c.major, c.minor, kMask, release_id, 1507, 9999).proceeds, c.proceeds);
  }
}

// The release check on 10.0 with bit 10 set.
struct ReleaseCase {
  const char* label;
  std::optional<std::u16string> text;  // nullopt: no readable value
  uint16_t min;
  uint16_t max;
  bool proceeds;
  const char16_t* name;  // when refused
};
const ReleaseCase kReleaseCases[] = {
    {"named release below range", u"1607", 1703, 9999, false,
     u"Windows 10 1607 (Anniversary Update)"},
    {"within range", u"1803", 1507, 9999, true, u""},
    {"within range, NUL-terminated", std::u16string(u"1803\0", 5), 1507, 9999, true, u""},
    {"unnamed release below range", u"1409", 1507, 9999, false, u"Windows 10 1409"},
    {"unnamed release above range", u"2009", 1507, 1909, false, u"Windows 10 2009"},
    {"range bounds are inclusive (min)", u"1507", 1507, 1507, true, u""},
    {"range bounds are inclusive (max)", u"9999", 1507, 9999, true, u""},
    {"one above max", u"2000", 1507, 1999, false, u"Windows 10 2000"},
    {"no digits", u"abc", 1507, 9999, false, u"Windows 10 abc"},
    {"no digits, range from 0", u"abc", 0, 9999, true, u""},
    {"empty text", u"", 1507, 9999, false, u"Windows 10"},
    {"only a NUL", std::u16string(1, u'\0'), 1507, 9999, false, u"Windows 10"},
    {"name stops at the NUL", std::u16string(u"2009\0junk", 9), 1507, 1909, false,
     u"Windows 10 2009"},
    {"trailing text ignored", u"1803abc", 1507, 9999, true, u""},
    {"trailing text kept in the name", u"2009H2", 1507, 1909, false, u"Windows 10 2009H2"},
    {"leading blank", u" 1803", 1507, 9999, false, u"Windows 10  1803"},
    {"fullwidth digits are not digits", u"\uFF11\uFF18\uFF10\uFF13", 1507, 9999, false,
     u"Windows 10 \uFF11\uFF18\uFF10\uFF13"},
    {"low 16 bits pass", u"67043", 1507, 9999, true, u""},
    {"low 16 bits fail, named by the whole number", u"67043", 1508, 9999, false,
     u"Windows 10 67043"},
    {"wraps around to a named release", u"12884903691", 1900, 9999, false,
     u"Windows 10 1803 (April 2018 Update)"},
    {"min above max", u"1803", 2000, 1000, false, u"Windows 10 1803 (April 2018 Update)"},
    {"min above max, no value", std::nullopt, 2000, 1000, true, u""},
    {"no readable value", std::nullopt, 1507, 9999, true, u""},
    {"placeholder in the text", u"%USER%", 1507, 9999, false, u"Windows 10 %USER%"},
};

TEST(VersionGate, ReleaseCheck) {
  for (const ReleaseCase& c : kReleaseCases) {
    SCOPED_TRACE(c.label);
    CountingSource release_id(c.text);
    const VersionGateDecision decision = Evaluate(10, 0, Bit(10), release_id, c.min, c.max);
    EXPECT_EQ(decision.proceeds, c.proceeds);
    EXPECT_EQ(decision.os_name, c.name);
    EXPECT_EQ(release_id.calls, 1);
  }
}

TEST(ParseReleaseId, LeadingAsciiDigitsWithWrapAround) {
  const struct {
    std::u16string text;
    uint32_t number;
  } cases[] = {
      {u"", 0},
      {std::u16string(1, u'\0'), 0},
      {u"0", 0},
      {u"1803", 1803},
      {u"001803", 1803},
      {u"1803abc", 1803},
      {std::u16string(u"18\0" u"03", 5), 18},
      {u"abc1803", 0},
      {u"/", 0},   // the code unit before "0"
      {u":", 0},   // the code unit after "9"
      {u"9:9", 9},
      {u"\u0661\u0668", 0},  // Arabic-Indic digits do not count
      {u"4294967295", 4294967295u},
      {u"4294967296", 0},
      {u"4294967297", 1},
      {u"99999999999", 1215752191u},
      {std::u16string(64, u'9'), 0xFFFFFFFFu},  // 10^64 - 1 mod 2^32 = 2^32 - 1
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Utf8(c.text));
    EXPECT_EQ(ParseReleaseId(c.text), c.number);
  }
}

TEST(ReleaseIdName, NamedReleasesAndTheRest) {
  const struct {
    uint32_t number;
    std::u16string text;
    const char16_t* name;
  } cases[] = {
      {1507, u"1507", u"Windows 10 1507 (Original Release)"},
      {1511, u"1511", u"Windows 10 1511 (November Update)"},
      {1607, u"1607", u"Windows 10 1607 (Anniversary Update)"},
      {1703, u"1703", u"Windows 10 1703 (Creators Update)"},
      {1709, u"1709", u"Windows 10 1709 (Fall Creators Update)"},
      {1803, u"1803", u"Windows 10 1803 (April 2018 Update)"},
      {1803, u"1803abc", u"Windows 10 1803 (April 2018 Update)"},
      {1809, u"1809", u"Windows 10 1809"},
      {1506, u"1506", u"Windows 10 1506"},
      {67043, u"67043", u"Windows 10 67043"},
      {0, u"", u"Windows 10"},
      {1909, std::u16string(u"1909\0x", 6), u"Windows 10 1909"},
      {2009, u"2009", u"Windows 10 2009"},  // without a DisplayVersion
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Utf8(c.text));
    CountingSource no_display_version;
    EXPECT_EQ(ReleaseIdName(c.number, c.text, false, no_display_version), c.name);
    EXPECT_EQ(no_display_version.display_version_calls, c.number == 2009 ? 1 : 0);
  }
}

// --- Windows 11, today's Windows 10, servers and build limits on 10.0 -------------

constexpr uint64_t kBitTenClear = kAllBits & ~Bit(10);

// A 10.0 system as the version query and the registry describe it.
struct TenZero {
  uint32_t build;
  uint8_t product_type;
  std::optional<std::u16string> release_id;
  std::optional<std::u16string> display_version;
};

// Refused by `mask` or by the release range 2010 to 9999: the name, and how
// often DisplayVersion was read for it. Admitted, nothing is read for a name.
TEST(VersionGate, NamesOfTenZeroSystems) {
  constexpr uint8_t kClient = kProductTypeWorkstation, kServer = kProductTypeServer;
  const struct {
    TenZero system;
    uint64_t mask;
    const char16_t* name;
    int display_version_reads;
  } cases[] = {
      {{22631, kClient, u"2009", u"23H2"}, Bit(10), u"Windows 11 23H2", 1},
      {{22631, kClient, u"2009", u"23H2"}, kBitTenClear, u"Windows 11 23H2", 1},
      {{26100, kClient, u"2009", std::nullopt}, Bit(10), u"Windows 11 (build 26100)", 1},
      {{22000, kClient, u"2009", std::u16string(1, 0)}, Bit(10), u"Windows 11 (build 22000)", 1},
      {{21999, kClient, u"2009", u"22H2"}, Bit(10), u"Windows 10 22H2", 1},
      {{19045, kClient, u"2009", u"22H2"}, kBitTenClear, u"Windows 10", 0},
      {{19042, kClient, u"2009", std::nullopt}, Bit(10), u"Windows 10 2009", 1},
      {{17134, kClient, u"1803", u"x"}, Bit(10), u"Windows 10 1803 (April 2018 Update)", 0},
      {{19045, kClient, u"", u"22H2"}, Bit(10), u"Windows 10", 0},
      {{26100, kServer, u"2009", u"24H2"}, Bit(10), u"Windows Server 24H2", 1},
      {{26100, kServer, u"2009", std::nullopt}, kBitTenClear, u"Windows Server (build 26100)", 1},
      {{20348, kProductTypeDomainController, u"2009", u"21H2"}, Bit(10), u"Windows Server 21H2",
       1},
      // Servers the older names already covered (2016, 2019) keep them.
      {{20348, kServer, u"2009", u"21H2"}, kBitTenClear, u"Windows 10", 0},
      {{17763, kServer, u"1809", std::nullopt}, Bit(10), u"Windows 10 1809", 0},
      {{14393, kServer, u"1607", std::nullopt}, Bit(10), u"Windows 10 1607 (Anniversary Update)",
       0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Utf8(c.name));
    const TWindowsVersion version{10, 0, c.system.build, c.system.product_type};
    CountingSource refused(c.system.release_id, c.system.display_version);
    const VersionGateDecision decision =
        EvaluateVersionGate(version, c.mask, 2010, 9999, TPackageExtension{}, refused);
    EXPECT_FALSE(decision.proceeds);
    EXPECT_EQ(Utf8(decision.os_name), Utf8(c.name));
    EXPECT_EQ(refused.display_version_calls, c.display_version_reads);

    CountingSource admitted(c.system.release_id, c.system.display_version);
    EXPECT_TRUE(
        EvaluateVersionGate(version, Bit(10), 0, 0xFFFF, TPackageExtension{}, admitted).proceeds);
    EXPECT_EQ(admitted.display_version_calls, 0);
  }
}

// The build limits apply to 10.0 once the release range admitted it.
TEST(VersionGate, BuildLimits) {
  const struct {
    uint32_t min_build, max_build;
    TWindowsVersion version;
    std::optional<std::u16string> release_id;
    const char16_t* name;  // empty: admitted
  } cases[] = {
      {0, 0, {10, 0, 0}, u"2009", u""},
      {22000, 0, {10, 0, 21999}, u"2009", u"Windows 10 22H2"},
      {22000, 0, {10, 0, 22000}, u"2009", u""},
      {22000, 0, {10, 0, 22631}, u"2009", u""},
      {0, 21999, {10, 0, 21998}, u"2009", u""},
      {0, 21999, {10, 0, 21999}, u"2009", u""},
      {0, 21999, {10, 0, 22000}, u"2009", u"Windows 11 22H2"},
      {19045, 0, {10, 0, 18362}, std::nullopt, u"Windows 10"},
      {19045, 0, {10, 0, 17134}, u"1803", u"Windows 10 1803 (April 2018 Update)"},
      {22000, 0, {10, 0, 17134}, u"1409", u"Windows 10 1409"},  // the release range
      {22000, 0, {6, 1, 7601}, u"2009", u""},
      {0, 21999, {11, 0, 30000}, u"2009", u""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.min_build << ".." << c.max_build << ", "
                                      << c.version.Major << "." << c.version.Minor << "."
                                      << c.version.BuildNumber);
    TPackageExtension extension;
    extension.MinBuild = c.min_build;
    extension.MaxBuild = c.max_build;
    CountingSource registry(c.release_id, u"22H2");
    const VersionGateDecision decision = EvaluateVersionGate(
        c.version, Bit(7) | Bit(10) | Bit(63), 1507, 9999, extension, registry);
    EXPECT_EQ(decision.proceeds, c.name[0] == 0);
    EXPECT_EQ(Utf8(decision.os_name), Utf8(c.name));
  }
}

// --- The gate applied to a package ------------------------------------------------

class ApplyVersionGateTest : public ::testing::Test {
 protected:
  static constexpr uint32_t kMessageOffset = 100;

  void SetUp() override {
    const std::u16string text = u"Needs Windows 10, not %USER%.";
    bytes_.assign(kMessageOffset, 0xEE);
    for (const char16_t unit : text) {
      bytes_.push_back(static_cast<uint8_t>(unit));
      bytes_.push_back(static_cast<uint8_t>(unit >> 8));
    }
    header_.UnsupportedOsMessage = {kMessageOffset, static_cast<uint16_t>(text.size())};
  }

  Outcome Apply(bool quiet = false) {
    Reporter reporter(platform_, u"C:\\Downloads\\setup.exe", quiet);
    testing::MemoryFile file(bytes_);
    return ApplyVersionGate(platform_, file, header_, TPackageExtension{}, reporter,
                            running_version_);
  }

  FakePlatform platform_;
  std::vector<uint8_t> bytes_;
  TPackageHeader header_;
  std::optional<TWindowsVersion> running_version_ = TWindowsVersion{99, 99};
};

TEST_F(ApplyVersionGateTest, RefusalShowsThePackagesMessageAndEndsWithUnsupported) {
  platform_.windows_version = TWindowsVersion{6, 1};
  header_.OsMask = Bit(10);
  const Outcome outcome = Apply();
  EXPECT_FALSE(outcome.proceeds());
  EXPECT_EQ(outcome.exit_code(), kExitUnsupportedWindows);
  EXPECT_EQ(kExitUnsupportedWindows, 1633u);
  ASSERT_EQ(platform_.boxes.size(), 1u);
  EXPECT_EQ(platform_.boxes[0].text, u"Needs Windows 10, not Windows 7.");
  EXPECT_EQ(platform_.boxes[0].caption, u"C:\\Downloads\\setup.exe");
  ASSERT_TRUE(running_version_);
  EXPECT_EQ(running_version_->Major, 6u);
  EXPECT_EQ(running_version_->Minor, 1u);
}

TEST_F(ApplyVersionGateTest, AdmittedVersionShowsNothingAndKeepsTheVersion) {
  platform_.windows_version = TWindowsVersion{6, 3};
  header_.OsMask = Bit(9);
  EXPECT_TRUE(Apply().proceeds());
  EXPECT_TRUE(platform_.boxes.empty());
  ASSERT_TRUE(running_version_);
  EXPECT_EQ(running_version_->Major, 6u);
  EXPECT_EQ(running_version_->Minor, 3u);
}

TEST_F(ApplyVersionGateTest, FailedVersionQueryPassesTheGate) {
  platform_.windows_version = std::nullopt;
  header_.OsMask = 0;
  EXPECT_TRUE(Apply().proceeds());
  EXPECT_FALSE(running_version_);
  EXPECT_TRUE(platform_.boxes.empty());
  EXPECT_EQ(platform_.release_id_reads, 0);
}

TEST_F(ApplyVersionGateTest, ReleaseCheckUsesTheHeadersRangeAndTheRegistry) {
  platform_.windows_version = TWindowsVersion{10, 0};
  platform_.release_id = u"1607";
  header_.OsMask = Bit(10);
  header_.MinReleaseId = 1703;
  header_.MaxReleaseId = 9999;
  EXPECT_EQ(Apply().exit_code(), kExitUnsupportedWindows);
  EXPECT_EQ(platform_.release_id_reads, 1);
  ASSERT_EQ(platform_.boxes.size(), 1u);
  EXPECT_EQ(platform_.boxes[0].text,
            u"Needs Windows 10, not Windows 10 1607 (Anniversary Update).");
}

TEST_F(ApplyVersionGateTest, BitTenClearRefusesWithoutReadingTheRegistry) {
  platform_.windows_version = TWindowsVersion{10, 0};
  platform_.release_id = u"1803";
  header_.OsMask = kAllBits & ~Bit(10);
  EXPECT_EQ(Apply().exit_code(), kExitUnsupportedWindows);
  EXPECT_EQ(platform_.release_id_reads, 0);
  ASSERT_EQ(platform_.boxes.size(), 1u);
  EXPECT_EQ(platform_.boxes[0].text, u"Needs Windows 10, not Windows 10.");
}

TEST_F(ApplyVersionGateTest, QuietRunShowsNothingButKeepsTheExitCode) {
  platform_.windows_version = TWindowsVersion{5, 2};
  EXPECT_EQ(Apply(/*quiet=*/true).exit_code(), kExitUnsupportedWindows);
  EXPECT_TRUE(platform_.boxes.empty());
}

TEST_F(ApplyVersionGateTest, UnreadableMessageIsADamagedPackage) {
  platform_.windows_version = TWindowsVersion{5, 2};
  header_.UnsupportedOsMessage.Offset = static_cast<uint32_t>(bytes_.size());
  EXPECT_EQ(Apply().exit_code(), kExitDamagedPackage);
  ASSERT_EQ(platform_.boxes.size(), 1u);
  EXPECT_EQ(platform_.boxes[0].text, testing::FatalMessageText(FatalMessage::kDamaged));
}

// --- The gate in the launcher's run ------------------------------------------------

TEST(VersionGateInLauncher, RefusedPackageEndsBeforeAnythingIsWritten) {
  FakePlatform platform;
  platform.windows_version = TWindowsVersion{6, 0};
  packaging::PackageSettings settings;
  settings.os_mask = 0x8000000000000780;
  settings.message = u"This package supports Windows 7 and later, not %USER%.";
  platform.files[platform.module_path] =
      testing::MakeTestPackage(testing::SampleBytes(5000), settings).bytes;

  EXPECT_EQ(Stub64(platform), kExitUnsupportedWindows);
  ASSERT_EQ(platform.boxes.size(), 1u);
  EXPECT_EQ(platform.boxes[0].text,
            u"This package supports Windows 7 and later, not Windows Vista.");
  EXPECT_EQ(platform.boxes[0].caption, platform.module_path);
  EXPECT_EQ(platform.files.size(), 1u);
  EXPECT_TRUE(platform.starts.empty());
  EXPECT_EQ(platform.open_files, 0);
}

TEST(VersionGateInLauncher, AdmittedPackageGoesOn) {
  FakePlatform platform;
  platform.windows_version = TWindowsVersion{6, 1};
  packaging::PackageSettings settings;
  settings.os_mask = Bit(7);
  settings.message = u"not %USER%";
  platform.files[platform.module_path] =
      testing::MakeTestPackage(testing::SampleBytes(5000), settings).bytes;

  EXPECT_NE(Stub64(platform), kExitUnsupportedWindows);
  EXPECT_TRUE(platform.boxes.empty());
  EXPECT_NE(std::find(platform.calls.begin(), platform.calls.end(), "QueryWindowsVersion"),
            platform.calls.end());
}

// A package whose header's second reserved field does not start with the tag
// has no build limits, whatever the field holds.
TEST(VersionGateInLauncher, OnlyATaggedRecordLimitsTheBuild) {
  TPackageExtension from_11;
  from_11.MinBuild = 22000;
  PackageExtensionBytes lower_case_tag = EncodePackageExtension(from_11);
  lower_case_tag[0] = 's';
  PackageExtensionBytes junk;
  junk.fill(0xA5);
  for (const PackageExtensionBytes& field : {PackageExtensionBytes{}, lower_case_tag, junk}) {
    testing::TestPackage package =
        testing::MakeTestPackage(testing::SampleBytes(5000), testing::ExampleSettings());
    std::copy(field.begin(), field.end(),
              package.bytes.begin() + package.layout.locator.PackageOffset +
                  kPackageExtensionOffset);
    ASSERT_TRUE(testing::RefreshChecksum(package.bytes));
    FakePlatform platform;
    platform.files[platform.module_path] = package.bytes;
    platform.windows_version = TWindowsVersion{10, 0, 19045};
    platform.release_id = u"2009";
    EXPECT_EQ(Stub64(platform), 0u);
    EXPECT_TRUE(platform.boxes.empty());
    EXPECT_EQ(platform.starts.size(), 1u);
  }
}

}  // namespace
}  // namespace stub
