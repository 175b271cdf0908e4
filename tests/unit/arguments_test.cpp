// SPDX-License-Identifier: Zlib
#include "launcher/arguments.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/fake/fake_platform.h"

namespace stub {
namespace {

using testing::FakePlatform;
using testing::Utf8;
using Items = std::vector<std::u16string>;

// Arguments 1 to N of `command_line`, checking on the way that nothing lies
// beyond N.
Items Split(std::u16string_view command_line) {
  const Arguments arguments(u"C:\\Downloads\\setup.exe", command_line);
  Items items;
  for (size_t i = 1; i <= arguments.ArgumentCount(); ++i) items.push_back(arguments.ArgumentAt(i));
  EXPECT_EQ(arguments.ArgumentAt(arguments.ArgumentCount() + 1), u"");
  return items;
}

struct SplitRow {
  const char* what;
  std::u16string command_line;
  Items expected;
};

const SplitRow kSplitRows[] = {
    {"empty command line", u"", {}},
    {"only blanks", u" \t \r\n ", {}},
    {"program name only", u"\"C:\\Downloads\\setup.exe\"", {}},
    {"program name, trailing blanks", u"setup.exe   \t", {}},
    {"unquoted program name", u"setup.exe a b", {u"a", u"b"}},
    {"quoted program name with spaces", u"\"C:\\My Files\\setup.exe\" /s x",
     {u"/s", u"x"}},
    {"program name quoted mid-item", u"\"C:\\a b\"\\setup.exe x", {u"x"}},
    {"program name behind a quote pair", u"\"\"setup.exe a", {u"a"}},
    {"an empty program name is skipped like any", u"\"\" a b", {u"b"}},
    {"runs of spaces", u"p   a    b  ", {u"a", u"b"}},
    {"tabs separate", u"p\ta\t\tb", {u"a", u"b"}},
    {"codes 1 to 32 separate", u"p\x01" u"a\x1F" u"b\r\nc", {u"a", u"b", u"c"}},
    {"code 127 and above belong to the item", u"p a\x7F" u"b", {u"a\x7F" u"b"}},
    {"no-break space does not separate", u"p a\u00A0b\u3000c", {u"a\u00A0b\u3000c"}},
    {"NUL ends the text", std::u16string(u"p a\0b c", 7), {u"a"}},
    {"NUL ends a quoted section too", std::u16string(u"p \"a\0b\" c", 9), {u"a"}},
    {"empty quoted argument vanishes", u"setup.exe \"\" /s", {u"/s"}},
    {"several quote pairs vanish", u"p \"\"\"\" \"\" a", {u"a"}},
    {"quote pair then quoted text", u"p \"\"\"a b\"", {u"a b"}},
    {"quoted argument with spaces", u"p \"my dir\" x", {u"my dir", u"x"}},
    {"quoted section keeps tabs and controls", u"p \"a\tb\x01" u"c\"", {u"a\tb\x01" u"c"}},
    {"quote opens mid-item", u"p a\"b c\"d", {u"ab cd"}},
    {"empty quotes mid-item", u"p a\"\"b", {u"ab"}},
    {"two quoted sections in one item", u"p \"a b\"\"c d\"", {u"a bc d"}},
    {"unclosed quote runs to the end", u"p x \"a  b\t", {u"x", u"a  b\t"}},
    {"a lone quote at the end is an empty item", u"p a \"", {u"a"}},
    {"quote pair then a lone quote", u"p \"\"\"", {}},
    {"backslash before a quote means nothing", u"p \"C:\\my dir\\\" x",
     {u"C:\\my dir\\", u"x"}},
    {"backslash does not escape", u"p a\\\"b c\"", {u"a\\b c"}},
    {"double backslashes stay", u"p \\\\srv\\share", {u"\\\\srv\\share"}},
    {"non-ASCII", u"p \u00FC \u65E5\u672C \u0423\u0441\u0442", {u"\u00FC", u"\u65E5\u672C",
                                                              u"\u0423\u0441\u0442"}},
    {"surrogate pairs", u"p \U0001F600x \"y \U0001F600\"", {u"\U0001F600x", u"y \U0001F600"}},
    {"lone surrogates are kept", u"p \xD800 \xDC00", {u"\xD800", u"\xDC00"}},
};

TEST(Arguments, SplitsTheCommandLine) {
  for (const SplitRow& row : kSplitRows) {
    SCOPED_TRACE(row.what);
    EXPECT_EQ(Split(row.command_line), row.expected) << Utf8(row.command_line);
  }
}

TEST(Arguments, ArgumentZeroIsTheModulePathNotTheFirstItem) {
  const Arguments arguments(u"C:\\Real Path\\setup.exe", u"other.exe a");
  EXPECT_EQ(arguments.ArgumentCount(), 1u);
  EXPECT_EQ(arguments.ArgumentAt(0), u"C:\\Real Path\\setup.exe");
  EXPECT_EQ(arguments.ArgumentAt(1), u"a");
  EXPECT_EQ(arguments.ArgumentAt(2), u"");
  EXPECT_EQ(arguments.ArgumentAt(1000), u"");
}

TEST(Arguments, ReadsModulePathAndCommandLineFromThePlatform) {
  FakePlatform platform;
  platform.module_path = u"\\\\srv\\share\\setup.exe";
  platform.command_line = u"setup /temp \"D:\\my dir\"";
  const Arguments arguments(platform);
  ASSERT_EQ(arguments.ArgumentCount(), 2u);
  EXPECT_EQ(arguments.ArgumentAt(0), u"\\\\srv\\share\\setup.exe");
  EXPECT_EQ(arguments.ArgumentAt(1), u"/temp");
  EXPECT_EQ(arguments.ArgumentAt(2), u"D:\\my dir");
}

}  // namespace
}  // namespace stub
