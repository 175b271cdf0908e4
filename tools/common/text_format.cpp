// SPDX-License-Identifier: Zlib
#include "tools/common/text_format.h"

#include <cstdio>

namespace tools {

std::string Decimal(uint64_t value) {
  std::string digits = std::to_string(value);
  for (int at = static_cast<int>(digits.size()) - 3; at > 0; at -= 3) digits.insert(at, ",");
  return digits;
}

std::string DescribeSize(uint64_t bytes) {
  std::string text = Decimal(bytes) + (bytes == 1 ? " byte" : " bytes");
  if (bytes >= 1024) {
    static const char* kUnits[] = {"KiB", "MiB", "GiB", "TiB"};
    double value = static_cast<double>(bytes) / 1024;
    int unit = 0;
    while (value >= 1024 && unit < 3) value /= 1024, ++unit;
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, " (%.2f %s)", value, kUnits[unit]);
    text += buffer;
  }
  return text;
}

std::string ExactSize(uint64_t bytes) {
  static constexpr struct {
    unsigned shift;
    const char* unit;
  } kUnits[] = {{30, " GiB"}, {20, " MiB"}, {10, " KiB"}};
  for (const auto& unit : kUnits) {
    const uint64_t size = uint64_t{1} << unit.shift;
    if (bytes >= size && bytes % size == 0) return Decimal(bytes >> unit.shift) + unit.unit;
  }
  return Decimal(bytes) + (bytes == 1 ? " byte" : " bytes");
}

std::string HexDigits(uint64_t value, int digits) {
  char text[24];
  std::snprintf(text, sizeof text, "%0*llX", digits, static_cast<unsigned long long>(value));
  return text;
}

std::string Hex(uint64_t value, int digits) { return "0x" + HexDigits(value, digits); }

std::string Join(const std::vector<std::string>& items, std::string_view separator) {
  return Join(items, separator, separator);
}

std::string Join(const std::vector<std::string>& items, std::string_view separator,
                 std::string_view last_separator) {
  std::string text;
  for (size_t i = 0; i < items.size(); ++i) {
    if (i > 0) text += i + 1 == items.size() ? last_separator : separator;
    text += items[i];
  }
  return text;
}

std::string AsciiLower(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

std::string Quoted(std::string_view text) { return "\"" + std::string(text) + "\""; }

}  // namespace tools
