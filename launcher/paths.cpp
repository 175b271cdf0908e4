// SPDX-License-Identifier: Zlib
#include "launcher/paths.h"

#include "launcher/switches.h"

namespace stub {
namespace {

constexpr char16_t kBackslash = u'\\';
constexpr char16_t kQuote = u'"';
constexpr std::u16string_view kTempSwitch = u"/temp";
constexpr std::u16string_view kFallbackTempFolder = u"C:\\";

// The folder given after the last "/temp" among arguments 1 to N-1; empty when
// there is none. Arguments 1 to N are never empty, so empty means "none".
std::u16string TempFolderArgument(const Arguments& arguments) {
  for (size_t i = arguments.ArgumentCount(); i >= 2; --i) {
    if (SameSwitch(arguments.ArgumentAt(i - 1), kTempSwitch)) return arguments.ArgumentAt(i);
  }
  return std::u16string();
}

}  // namespace

std::u16string ExtractDir(std::u16string_view path) {
  const size_t last = path.rfind(kBackslash);
  if (last == std::u16string_view::npos) return std::u16string();
  return std::u16string(path.substr(0, last + 1));
}

std::u16string ExtractName(std::u16string_view path) {
  const size_t last = path.rfind(kBackslash);
  if (last == std::u16string_view::npos) return std::u16string(path);
  return std::u16string(path.substr(last + 1));
}

std::u16string UniversalPath(std::u16string_view path, Platform& platform) {
  const std::u16string original(path);
  if (path.size() < 2 || path[1] != u':') return original;
  std::u16string universal;
  if (!platform.UniversalName(original, universal) || universal.empty()) return original;
  return universal;
}

std::u16string ChooseTempFolder(const Arguments& arguments, Platform& platform) {
  const size_t count = arguments.ArgumentCount();
  if (count >= 1 && SameSwitch(arguments.ArgumentAt(count), kTempSwitch)) {
    return ExtractDir(arguments.ArgumentAt(0));
  }
  std::u16string folder = TempFolderArgument(arguments);
  if (folder.empty()) folder = platform.TempPath();
  if (folder.empty()) folder = std::u16string(kFallbackTempFolder);
  if (folder.back() != kBackslash) folder += kBackslash;
  return folder;
}

std::u16string PrivateFolderPath(const std::u16string& parent,
                                 const uint8_t (&random)[kPrivateFolderRandomBytes]) {
  static constexpr char16_t kDigits[] = u"0123456789abcdef";
  std::u16string path = parent;
  for (const uint8_t byte : random) {
    path += kDigits[byte >> 4];
    path += kDigits[byte & 15];
  }
  path += kBackslash;
  return path;
}

bool IsPrivateFolderName(std::u16string_view name) {
  if (name.size() != kPrivateFolderNameLength) return false;
  for (const char16_t c : name) {
    if (!((c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f'))) return false;
  }
  return true;
}

std::u16string RunMarkerPath(const std::u16string& folder) {
  std::u16string marker = folder;
  marker.append(folder, folder.size() - 1 - kPrivateFolderNameLength, kPrivateFolderNameLength);
  marker += u".lock";
  return marker;
}

bool TempCopyPathStartable(const std::u16string& parent, const Arguments& arguments) {
  const std::u16string_view own_path = arguments.ArgumentAt(0);
  // npos + 1 is 0: a path without a backslash is all name.
  const size_t name = own_path.size() - (own_path.rfind(kBackslash) + 1);
  return parent.size() + 2 * kPrivateFolderRandomBytes + 1 + name <= kLongestStartablePath;
}

std::u16string BuildArgumentString(const Arguments& arguments, Platform& platform) {
  std::u16string text;
  text += kQuote;
  text += UniversalPath(arguments.ArgumentAt(0), platform);
  text += kQuote;
  for (size_t i = 1; i <= arguments.ArgumentCount(); ++i) {
    const std::u16string& argument = arguments.ArgumentAt(i);
    text += u' ';
    if (argument.find(u' ') == std::u16string::npos) {
      text += argument;
    } else {
      text += kQuote;
      text += argument;
      text += kQuote;
    }
  }
  return text;
}

std::u16string DirectCommandLine(std::u16string_view copy_path,
                                 std::u16string_view argument_string) {
  std::u16string line;
  line += kQuote;
  line += copy_path;
  line += kQuote;
  line += u' ';
  line += argument_string;
  return line;
}

}  // namespace stub
