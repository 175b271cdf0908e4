// SPDX-License-Identifier: Zlib
#include "launcher/package_message.h"

#include <memory>
#include <string_view>

#include "format/little_endian.h"
#include "launcher/fatal_messages.h"
#include "launcher/package_reader.h"

namespace stub {
namespace {

constexpr std::u16string_view kUpperPlaceholder = u"%USER%";
constexpr std::u16string_view kLowerPlaceholder = u"%user%";

// Replaces every `placeholder` in `text` by `name`, leftmost first; the scan
// goes on behind each replacement, so overlapping occurrences count once.
std::u16string ReplaceAll(std::u16string_view text, std::u16string_view placeholder,
                          std::u16string_view name) {
  std::u16string out;
  size_t start = 0;
  for (size_t found; (found = text.find(placeholder, start)) != text.npos;
       start = found + placeholder.size()) {
    out += text.substr(start, found - start);
    out += name;
  }
  out += text.substr(start);
  return out;
}

}  // namespace

bool ReadPackageMessage(PlatformFile& package, const TPackageMessage& message,
                        const PackageLimits& limits, std::u16string& text) {
  if (message.Offset > limits.max_offset) return false;
  const uint32_t byte_count = 2 * static_cast<uint32_t>(message.Length);
  std::unique_ptr<uint8_t[]> bytes(new uint8_t[byte_count == 0 ? 1 : byte_count]);
  if (!ReadExactlyAt(package, message.Offset, bytes.get(), byte_count)) return false;
  text = std::u16string(message.Length, u'\0');
  for (size_t i = 0; i < message.Length; ++i) {
    text[i] = static_cast<char16_t>(ReadLe16(bytes.get() + 2 * i));
  }
  return true;
}

std::u16string SubstituteOsName(const std::u16string& text, const std::u16string& os_name) {
  // With nothing inserted, the lower-case pass searches the whole result.
  if (os_name.empty()) {
    return ReplaceAll(ReplaceAll(text, kUpperPlaceholder, u""), kLowerPlaceholder, u"");
  }
  // Otherwise the pieces of the text between the upper-case placeholders are
  // the only text of the result not inserted by a replacement, and each piece
  // is searched for the lower-case placeholder on its own.
  const std::u16string_view whole = text;
  std::u16string out;
  size_t start = 0;
  for (size_t found; (found = whole.find(kUpperPlaceholder, start)) != whole.npos;
       start = found + kUpperPlaceholder.size()) {
    out += ReplaceAll(whole.substr(start, found - start), kLowerPlaceholder, os_name);
    out += os_name;
  }
  out += ReplaceAll(whole.substr(start), kLowerPlaceholder, os_name);
  return out;
}

Outcome ShowPackageMessage(PlatformFile& package, const TPackageMessage& message,
                           const PackageLimits& limits,
                           const std::optional<std::u16string>& os_name, Reporter& reporter,
                           uint32_t exit_code) {
  std::u16string text;
  if (!ReadPackageMessage(package, message, limits, text)) return FatalDamaged(reporter);
  if (os_name) text = SubstituteOsName(text, *os_name);
  reporter.Show(text);
  return Outcome::Exit(exit_code);
}

}  // namespace stub
