// SPDX-License-Identifier: Zlib
#include "launcher/paths.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "launcher/switches.h"
#include "tests/fake/fake_platform.h"

namespace stub {
namespace {

using testing::FakePlatform;
using testing::Utf8;

constexpr char16_t kPackage[] = u"C:\\Downloads\\setup.exe";

bool Asked(const FakePlatform& platform, const std::string& call) {
  return std::find(platform.calls.begin(), platform.calls.end(), call) != platform.calls.end();
}

// --- SameSwitch and the silent switch ------------------------------------------

struct SwitchRow {
  std::u16string a;
  std::u16string b;
  bool same;
};

const SwitchRow kSwitchRows[] = {
    {u"/temp", u"/temp", true},
    {u"/TEMP", u"/temp", true},
    {u"/TeMp", u"/tEmP", true},
    {u"/S", u"/s", true},
    {u"/Silent", u"/SILENT", true},
    {u"", u"", true},
    {u"1-_.", u"1-_.", true},
    {u"/temp:", u"/temp", false},  // no prefix match
    {u"/tem", u"/temp", false},
    {u"-temp", u"/temp", false},  // no other switch character
    {u"\\temp", u"/temp", false},
    {u"", u"/s", false},
    {u"/s ", u"/s", false},
    // Only a to z fold: the neighbours of the letter ranges stay apart.
    {u"@", u"`", false},
    {u"[", u"{", false},
    {u"A", u"a", true},
    {u"Z", u"z", true},
    // Non-ASCII letters are not folded, nor do they fold onto ASCII ones.
    {u"\u00E4", u"\u00C4", false},               // a-umlaut
    {u"\u0444", u"\u0424", false},               // Cyrillic ef
    {u"\u017F", u"S", false},                    // long s
    {u"\u0131", u"I", false},                    // dotless i
    {u"\u212A", u"k", false},                    // Kelvin sign
    {u"/\uFF53", u"/s", false},                  // fullwidth s
    {u"\U0001D400", u"\U0001D400", true},        // a surrogate pair equals itself
};

TEST(SameSwitch, FoldsOnlyAsciiLetters) {
  for (const SwitchRow& row : kSwitchRows) {
    EXPECT_EQ(SameSwitch(row.a, row.b), row.same) << Utf8(row.a) << " vs " << Utf8(row.b);
    EXPECT_EQ(SameSwitch(row.b, row.a), row.same) << Utf8(row.b) << " vs " << Utf8(row.a);
  }
}

TEST(HasSilentSwitch, FindsSilentOrSAnywhereAmongTheArguments) {
  const struct {
    std::u16string command_line;
    bool silent;
  } rows[] = {
      {u"setup.exe", false},
      {u"setup.exe /s", true},
      {u"setup.exe /S", true},
      {u"setup.exe /SILENT", true},
      {u"setup.exe /Silent /temp x", true},
      {u"setup.exe a /s b", true},
      {u"setup.exe /s\"\"", true},
      {u"setup.exe /silent: /s1 -s /si", false},
      {u"setup.exe \"/s \"", false},
      {u"/s", false},  // the program name is not an argument
      {u"setup.exe \"\" \"\" /s", true},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(HasSilentSwitch(Arguments(kPackage, row.command_line)), row.silent)
        << Utf8(row.command_line);
  }
}

// --- ExtractDir, ExtractName ------------------------------------------------------

TEST(PathParts, SplitAtTheLastBackslash) {
  const struct {
    std::u16string path;
    std::u16string dir;
    std::u16string name;
  } rows[] = {
      {u"C:\\a\\b\\setup.exe", u"C:\\a\\b\\", u"setup.exe"},
      {u"setup.exe", u"", u"setup.exe"},
      {u"C:\\", u"C:\\", u""},
      {u"", u"", u""},
      {u"\\\\srv\\share\\x y.exe", u"\\\\srv\\share\\", u"x y.exe"},
      {u"C:/a/b.exe", u"", u"C:/a/b.exe"},  // a forward slash is no separator
      {u"D:\\\u00FC\\\U0001F600.exe", u"D:\\\u00FC\\", u"\U0001F600.exe"},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(ExtractDir(row.path), row.dir) << Utf8(row.path);
    EXPECT_EQ(ExtractName(row.path), row.name) << Utf8(row.path);
  }
}

// --- UniversalPath ------------------------------------------------------------------

TEST(UniversalPath, AsksTheNetworkProviderOnlyForDrivePaths) {
  const struct {
    const char* what;
    std::u16string path;
    std::u16string expected;
    bool asks;
  } rows[] = {
      {"mapped drive", u"Z:\\pkgs\\setup.exe", u"\\\\server\\share\\pkgs\\setup.exe", true},
      {"local drive", u"C:\\Downloads\\setup.exe", u"C:\\Downloads\\setup.exe", true},
      {"drive-relative", u"Z:setup.exe", u"Z:setup.exe", true},
      {"bare drive", u"Z:", u"Z:", true},
      {"UNC", u"\\\\server\\share\\setup.exe", u"\\\\server\\share\\setup.exe", false},
      {"long-path prefix", u"\\\\?\\Z:\\pkgs\\setup.exe", u"\\\\?\\Z:\\pkgs\\setup.exe", false},
      {"relative", u"pkgs\\setup.exe", u"pkgs\\setup.exe", false},
      {"one character", u"Z", u"Z", false},
      {"empty", u"", u"", false},
      {"mapped to nothing", u"Y:\\setup.exe", u"Y:\\setup.exe", true},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    FakePlatform platform;
    platform.universal_names[u"Z:\\pkgs\\setup.exe"] = u"\\\\server\\share\\pkgs\\setup.exe";
    platform.universal_names[u"\\\\server\\share\\setup.exe"] = u"wrong";
    platform.universal_names[u"\\\\?\\Z:\\pkgs\\setup.exe"] = u"wrong";
    platform.universal_names[u"pkgs\\setup.exe"] = u"wrong";
    platform.universal_names[u"Y:\\setup.exe"] = u"";  // an empty answer is no answer
    EXPECT_EQ(UniversalPath(row.path, platform), row.expected);
    EXPECT_EQ(Asked(platform, "UniversalName " + Utf8(row.path)), row.asks);
  }
}

// --- ChooseTempFolder ------------------------------------------------------------------

struct FolderRow {
  const char* what;
  std::u16string command_line;
  std::u16string temp_path;
  std::u16string expected;
};

const std::u16string kSystemTemp = u"C:\\Users\\u\\AppData\\Local\\Temp\\";
const std::u16string kLongTemp = u"C:\\" + std::u16string(300, u'x') + u"\\t";

const FolderRow kFolderRows[] = {
    {"no arguments", u"setup.exe", kSystemTemp, kSystemTemp},
    {"temp path without backslash", u"setup.exe", u"D:\\tmp", u"D:\\tmp\\"},
    {"no temp path", u"setup.exe", u"", u"C:\\"},
    {"temp path longer than 256", u"setup.exe", kLongTemp, kLongTemp + u"\\"},
    {"/temp alone", u"setup.exe /temp", kSystemTemp, u"C:\\Downloads\\"},
    {"/temp last", u"setup.exe /x /TEMP", kSystemTemp, u"C:\\Downloads\\"},
    {"/temp last wins over earlier /temp", u"setup.exe /temp A /temp", kSystemTemp,
     u"C:\\Downloads\\"},
    {"/temp last when the system has none", u"setup.exe /temp", u"", u"C:\\Downloads\\"},
    {"/temp with a folder", u"setup.exe /temp D:\\t /x", kSystemTemp, u"D:\\t\\"},
    {"/TEMP with a folder", u"setup.exe /TEMP d:\\x", kSystemTemp, u"d:\\x\\"},
    {"the last /temp wins", u"setup.exe /temp A /temp B", kSystemTemp, u"B\\"},
    {"last occurrence, then more", u"setup.exe /temp A /temp B /s", kSystemTemp, u"B\\"},
    {"folder with trailing backslash", u"setup.exe /temp \"D:\\my dir\\\"", kSystemTemp,
     u"D:\\my dir\\"},
    {"folder taken verbatim", u"setup.exe /temp %TEMP%\\..\\x", kSystemTemp,
     u"%TEMP%\\..\\x\\"},
    {"folder that looks like a switch", u"setup.exe /temp /s", kSystemTemp, u"/s\\"},
    {"/temp twice in a row", u"setup.exe /temp /temp x", kSystemTemp, u"x\\"},
    {"/temp: is no switch", u"setup.exe /temp: D:\\t", kSystemTemp, kSystemTemp},
    {"-temp is no switch", u"setup.exe -temp D:\\t", kSystemTemp, kSystemTemp},
    {"/temp as program name", u"/temp D:\\t", kSystemTemp, kSystemTemp},
    {"non-ASCII folder", u"setup.exe /temp \"D:\\\u00FC \U0001F600\"", kSystemTemp,
     u"D:\\\u00FC \U0001F600\\"},
};

TEST(ChooseTempFolder, FollowsTempSwitchThenTheSystem) {
  for (const FolderRow& row : kFolderRows) {
    SCOPED_TRACE(row.what);
    FakePlatform platform;
    platform.temp_path = row.temp_path;
    const Arguments arguments(kPackage, row.command_line);
    EXPECT_EQ(ChooseTempFolder(arguments, platform), row.expected);
  }
}

// --- BuildArgumentString, DirectCommandLine ----------------------------------------------------

struct ArgumentStringRow {
  const char* what;
  std::u16string package;
  std::u16string command_line;
  std::u16string expected;
};

const ArgumentStringRow kArgumentStringRows[] = {
    {"no arguments, local path", kPackage, u"setup.exe", u"\"C:\\Downloads\\setup.exe\""},
    {"mapped drive in network form", u"Z:\\pkgs\\setup.exe", u"setup.exe",
     u"\"\\\\server\\share\\pkgs\\setup.exe\""},
    {"UNC path unchanged", u"\\\\server\\share\\setup.exe", u"setup.exe",
     u"\"\\\\server\\share\\setup.exe\""},
    {"space quotes", u"Z:\\pkgs\\setup.exe", u"setup.exe /S \"my dir\"",
     u"\"\\\\server\\share\\pkgs\\setup.exe\" /S \"my dir\""},
    {"tab does not quote", kPackage, u"setup.exe \"a\tb\"",
     u"\"C:\\Downloads\\setup.exe\" a\tb"},
    {"no-break space does not quote", kPackage, u"setup.exe a\u00A0b",
     u"\"C:\\Downloads\\setup.exe\" a\u00A0b"},
    {"quote mid-item re-quoted whole", kPackage, u"setup.exe a\"b c\"d",
     u"\"C:\\Downloads\\setup.exe\" \"ab cd\""},
    {"empty quoted argument dropped", kPackage, u"setup.exe \"\" /s",
     u"\"C:\\Downloads\\setup.exe\" /s"},
    {"order kept", kPackage, u"setup.exe /temp \"D:\\t x\" /s /x=1",
     u"\"C:\\Downloads\\setup.exe\" /temp \"D:\\t x\" /s /x=1"},
    {"trailing backslash kept", kPackage, u"setup.exe \"C:\\my dir\\\"",
     u"\"C:\\Downloads\\setup.exe\" \"C:\\my dir\\\""},
    {"non-ASCII", u"D:\\\u00FC\\setup.exe", u"setup.exe \u65E5 \"\U0001F600 x\"",
     u"\"D:\\\u00FC\\setup.exe\" \u65E5 \"\U0001F600 x\""},
};

TEST(PrivateFolderPath, TwoLowercaseHexDigitsPerByteInOrder) {
  const uint8_t random[kPrivateFolderRandomBytes] = {0x00, 0x09, 0x0a, 0x9f, 0xa0, 0xc3, 0xf0, 0xff};
  EXPECT_EQ(PrivateFolderPath(u"C:\\T\\", random), u"C:\\T\\00090a9fa0c3f0ff\\");
}

TEST(BuildArgumentString, QuotesThePackagePathAndArgumentsWithSpaces) {
  for (const ArgumentStringRow& row : kArgumentStringRows) {
    SCOPED_TRACE(row.what);
    FakePlatform platform;
    platform.universal_names[u"Z:\\pkgs\\setup.exe"] = u"\\\\server\\share\\pkgs\\setup.exe";
    const Arguments arguments(row.package, row.command_line);
    EXPECT_EQ(BuildArgumentString(arguments, platform), row.expected);
  }
}

TEST(DirectCommandLine, QuotesTheCopyPathBeforeTheArgumentString) {
  EXPECT_EQ(DirectCommandLine(u"C:\\T x\\setup2.exe", u"\"C:\\p\\setup.exe\" /s"),
            u"\"C:\\T x\\setup2.exe\" \"C:\\p\\setup.exe\" /s");
}

}  // namespace
}  // namespace stub
