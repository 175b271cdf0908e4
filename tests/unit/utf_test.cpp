// SPDX-License-Identifier: Zlib
// The tools' UTF-8 <-> UTF-16 conversions.
#include "tools/common/utf.h"

#include <gtest/gtest.h>

#include "tests/support/tool_error_of.h"

namespace tools {
namespace {

TEST(Utf, ValidUtf8BecomesUtf16) {
  struct Case {
    std::string utf8;
    std::u16string utf16;
  };
  const Case cases[] = {
      {"", u""},
      {"Windows %USER%", u"Windows %USER%"},
      {"caf\xC3\xA9", u"caf\u00E9"},
      {"\xE2\x82\xAC", u"\u20AC"},
      {"\xEF\xBF\xBF", u"\uFFFF"},
      {"\xF0\x9F\x98\x80", u"\xD83D\xDE00"},
      {"\xF4\x8F\xBF\xBF", u"\xDBFF\xDFFF"},
      {std::string("a\0b", 3), std::u16string(u"a\0b", 3)},
  };
  for (const Case& c : cases) {
    const std::u16string utf16 = Utf8ToUtf16(c.utf8);
    EXPECT_EQ(utf16, c.utf16);
    EXPECT_EQ(Utf16ToUtf8(utf16), c.utf8);
  }
}

TEST(Utf, InvalidUtf8IsRefusedAtItsFirstBadByte) {
  struct Case {
    std::string utf8;
    size_t offset;
    const char* reason;
  };
  const Case cases[] = {
      {"\x80", 0, "continuation"},
      {"ok\xBF", 2, "continuation"},
      {"a\xC3", 1, "truncated"},
      {"ab\xE2\x82", 2, "truncated"},
      {"\xE2\x28\xA1", 0, "truncated"},
      {"\xC0\xAF", 0, "never occurs"},
      {"\xC1\xBF", 0, "never occurs"},
      {"\xE0\x80\xAF", 0, "overlong"},
      {"\xF0\x8F\xBF\xBF", 0, "overlong"},
      {"x\xED\xA0\x80", 1, "surrogate"},
      {"\xED\xBF\xBF", 0, "surrogate"},
      {"\xF4\x90\x80\x80", 0, "above U+10FFFF"},
      {"\xF5\x80\x80\x80", 0, "never occurs"},
      {"\xFF", 0, "never occurs"},
      {"\xF8\x88\x80\x80\x80", 0, "never occurs"},
  };
  for (const Case& c : cases) {
    const std::string error = stub::testing::ToolErrorOf([&] { Utf8ToUtf16(c.utf8); });
    EXPECT_NE(error.find(c.reason), std::string::npos) << error;
    EXPECT_TRUE(error.ends_with(" at byte " + std::to_string(c.offset))) << error;
  }
}

TEST(Utf, UnpairedSurrogatesPrintAsReplacementCharacters) {
  const std::string replacement = "\xEF\xBF\xBD";
  EXPECT_EQ(Utf16ToUtf8(u"a\xD800"), "a" + replacement);
  EXPECT_EQ(Utf16ToUtf8(u"\xDC00z"), replacement + "z");
  EXPECT_EQ(Utf16ToUtf8(u"\xD800\xD800\xDC00"), replacement + "\xF0\x90\x80\x80");
  EXPECT_TRUE(HasUnpairedSurrogate(u"\xD800x"));
  EXPECT_TRUE(HasUnpairedSurrogate(u"\xDFFF"));
  EXPECT_FALSE(HasUnpairedSurrogate(u"\xD83D\xDE00 ok"));
}

TEST(Utf, Sanitizing) {
  EXPECT_EQ(SanitizeUtf8("plain \xC3\xA9"), "plain \xC3\xA9");
  EXPECT_EQ(SanitizeUtf8("a\xFF"
                         "b\xC3"),
            "a\xEF\xBF\xBD"
            "b\xEF\xBF\xBD");
  EXPECT_EQ(SanitizeUtf8(".te\x80xt"), ".te\xEF\xBF\xBDxt");
}

}  // namespace
}  // namespace tools
