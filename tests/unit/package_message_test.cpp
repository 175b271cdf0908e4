// SPDX-License-Identifier: Zlib
#include "launcher/package_message.h"

#include <gtest/gtest.h>

#include "launcher/exit_codes.h"
#include "launcher/fatal_messages.h"
#include "tests/fake/fake_platform.h"
#include "tests/support/fatal_texts.h"

namespace stub {
namespace {

using testing::FakePlatform;
using testing::MemoryFile;
using testing::Utf8;

void AppendUtf16Le(std::vector<uint8_t>& bytes, const std::u16string& text) {
  for (const char16_t unit : text) {
    bytes.push_back(static_cast<uint8_t>(unit));
    bytes.push_back(static_cast<uint8_t>(unit >> 8));
  }
}

struct SubstitutionCase {
  const char* label;
  std::u16string text;
  std::u16string os_name;
  std::u16string shown;
};
const SubstitutionCase kSubstitutions[] = {
    {"both placeholders", u"Not for %USER% or %user%.", u"Windows 8",
     u"Not for Windows 8 or Windows 8."},
    {"other spellings stay", u"%User% %USER %user %USERS% %UsER%", u"X",
     u"%User% %USER %user %USERS% %UsER%"},
    {"shared percent goes to the first", u"%USER%user%", u"X", u"Xuser%"},
    {"upper case before lower case", u"%user%USER%", u"X", u"%userX"},
    {"adjacent placeholders", u"%USER%%USER%%user%%user%", u"X", u"XXXX"},
    {"leftmost first", u"%USER%USER%USER%", u"X", u"XUSERX"},
    {"surrounded by percents", u"%%USER%%", u"X", u"%X%"},
    {"no placeholder", u"Unsupported Windows.", u"X", u"Unsupported Windows."},
    {"empty text", u"", u"X", u""},
    {"cut-off placeholder", u"for %USE", u"X", u"for %USE"},
    {"inserted name holds the placeholder", u"[%USER%]", u"Windows 10 %USER%",
     u"[Windows 10 %USER%]"},
    {"inserted name holds the lower placeholder", u"[%USER%] [%user%]", u"Windows 10 %user%",
     u"[Windows 10 %user%] [Windows 10 %user%]"},
    {"inserted percent does not start a match", u"%USER%user%", u"a%", u"a%user%"},
    {"inserted text does not end a match", u"%USER%er%", u"%us", u"%user%"},
    {"empty name: the result is searched whole", u"%us%USER%er% %USER%", u"", u" "},
    {"text behind a NUL is substituted too", std::u16string(u"%USER%\0%user%", 13), u"X",
     std::u16string(u"X\0X", 3)},
};

TEST(SubstituteOsName, Cases) {
  for (const SubstitutionCase& c : kSubstitutions) {
    SCOPED_TRACE(c.label);
    EXPECT_EQ(Utf8(SubstituteOsName(c.text, c.os_name)), Utf8(c.shown));
  }
}

TEST(SubstituteOsName, LongestTextFullOfPlaceholdersEnds) {
  std::u16string text;
  while (text.size() + 6 <= 0xFFFF) text += u"%USER%";
  const std::u16string name = u"Windows 10 %USER%%user%" + std::u16string(41, u'9');
  std::u16string expected;
  for (size_t i = 0; i < text.size() / 6; ++i) expected += name;
  EXPECT_EQ(SubstituteOsName(text, name), expected);
}

class ShowPackageMessageTest : public ::testing::Test {
 protected:
  static constexpr uint32_t kOffset = 64;

  // Places `text` at kOffset behind filler bytes and refers to it.
  TPackageMessage Store(const std::u16string& text) {
    bytes_.assign(kOffset, 0x25);  // "%" bytes, so a misplaced read shows
    AppendUtf16Le(bytes_, text);
    return TPackageMessage{kOffset, static_cast<uint16_t>(text.size())};
  }

  Outcome Show(const TPackageMessage& message, std::optional<std::u16string> os_name,
               bool quiet = false, const PackageLimits& limits = kFirstVersionLimits) {
    Reporter reporter(platform_, u"Z:\\dl\\setup.exe", quiet);
    MemoryFile file(bytes_);
    return ShowPackageMessage(file, message, limits, os_name, reporter, kExitUnsupportedWindows);
  }

  FakePlatform platform_;
  std::vector<uint8_t> bytes_;
};

TEST_F(ShowPackageMessageTest, ShowsTheStoredTextWithTheNameAndEndsWithTheGivenCode) {
  const TPackageMessage message = Store(u"Setup needs Windows 7 or later; this is %USER%.");
  const Outcome outcome = Show(message, u"Windows XP");
  EXPECT_FALSE(outcome.proceeds());
  EXPECT_EQ(outcome.exit_code(), kExitUnsupportedWindows);
  ASSERT_EQ(platform_.boxes.size(), 1u);
  EXPECT_EQ(platform_.boxes[0].text, u"Setup needs Windows 7 or later; this is Windows XP.");
  EXPECT_EQ(platform_.boxes[0].caption, u"Z:\\dl\\setup.exe");
}

TEST_F(ShowPackageMessageTest, TextIsReadAsLittleEndianCodeUnits) {
  const std::u16string text = u"\u00DC\u20AC \U0001F600 \u0421\u0442\u043E\u043F";
  EXPECT_EQ(Show(Store(text), std::nullopt).exit_code(), kExitUnsupportedWindows);
  ASSERT_EQ(platform_.boxes.size(), 1u);
  EXPECT_EQ(platform_.boxes[0].text, text);
}

TEST_F(ShowPackageMessageTest, WithoutANameThePlaceholdersStay) {
  EXPECT_EQ(Show(Store(u"Not for %USER% or %user%."), std::nullopt).exit_code(),
            kExitUnsupportedWindows);
  ASSERT_EQ(platform_.boxes.size(), 1u);
  EXPECT_EQ(platform_.boxes[0].text, u"Not for %USER% or %user%.");
}

TEST_F(ShowPackageMessageTest, ZeroLengthTextShowsAnEmptyBox) {
  EXPECT_EQ(Show(Store(u""), u"Windows 8").exit_code(), kExitUnsupportedWindows);
  ASSERT_EQ(platform_.boxes.size(), 1u);
  EXPECT_EQ(platform_.boxes[0].text, u"");
}

TEST_F(ShowPackageMessageTest, ANulInsideEndsWhatIsShown) {
  const std::u16string text(u"Not for %USER%.\0hidden %USER%", 29);
  EXPECT_EQ(Show(Store(text), u"Windows 8").exit_code(), kExitUnsupportedWindows);
  ASSERT_EQ(platform_.boxes.size(), 1u);
  EXPECT_EQ(platform_.boxes[0].text, u"Not for Windows 8.");
}

TEST_F(ShowPackageMessageTest, QuietRunShowsNothingButKeepsTheExitCode) {
  EXPECT_EQ(Show(Store(u"Not for %USER%."), u"Windows 8", /*quiet=*/true).exit_code(),
            kExitUnsupportedWindows);
  EXPECT_TRUE(platform_.boxes.empty());
}

TEST_F(ShowPackageMessageTest, ShortTextIsADamagedPackageAtEveryCut) {
  const TPackageMessage message = Store(u"Not for %USER%.");
  const std::vector<uint8_t> whole = bytes_;
  for (size_t length = kOffset; length < whole.size(); ++length) {
    SCOPED_TRACE(length);
    bytes_.assign(whole.begin(), whole.begin() + length);
    platform_.boxes.clear();
    EXPECT_EQ(Show(message, u"Windows 8").exit_code(), kExitDamagedPackage);
    ASSERT_EQ(platform_.boxes.size(), 1u);
    EXPECT_EQ(platform_.boxes[0].text, testing::FatalMessageText(FatalMessage::kDamaged));
  }
}

TEST_F(ShowPackageMessageTest, BadReferences) {
  Store(u"Not for %USER%.");
  const uint32_t end = static_cast<uint32_t>(bytes_.size());
  const struct {
    const char* label;
    TPackageMessage message;
    bool damaged;
    const PackageLimits& limits = kFirstVersionLimits;
  } cases[] = {
      {"nonzero length at the end of the file", {end, 1}, true},
      {"nonzero length past the end", {end + 100, 4}, true},
      {"length reaching one unit past the end", {kOffset, 16}, true},
      {"longest length", {kOffset, 0xFFFF}, true},
      {"offset 2^31", {0x80000000, 1}, true},
      {"offset 2^31, zero length", {0x80000000, 0}, true},
      {"offset 2^32 - 1, zero length", {0xFFFFFFFF, 0}, true},
      {"offset 2^31, zero length, with the record", {0x80000000, 0}, false,
       kExtensionRecordLimits},
      {"offset 2^32 - 1, zero length, with the record", {0xFFFFFFFF, 0}, false,
       kExtensionRecordLimits},
      {"zero length at the end of the file", {end, 0}, false},
      {"zero length far past the end", {0x7FFFFFFF, 0}, false},
      {"odd offset, text inside", {kOffset + 1, 3}, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    platform_.boxes.clear();
    EXPECT_EQ(Show(c.message, u"Windows 8", false, c.limits).exit_code(),
              c.damaged ? kExitDamagedPackage : kExitUnsupportedWindows);
    ASSERT_EQ(platform_.boxes.size(), 1u);
    EXPECT_EQ(platform_.boxes[0].text == testing::FatalMessageText(FatalMessage::kDamaged),
              c.damaged);
  }
}

TEST_F(ShowPackageMessageTest, QuietDamagedRunShowsNothingButEndsDamaged) {
  EXPECT_EQ(Show(TPackageMessage{0x80000000, 2}, u"Windows 8", /*quiet=*/true).exit_code(),
            kExitDamagedPackage);
  EXPECT_TRUE(platform_.boxes.empty());
}

}  // namespace
}  // namespace stub
