// SPDX-License-Identifier: Zlib
// Numbers, lists and words as the tools write them for people.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tools {

// `value` in decimal, with a comma between groups of three digits:
// "2,147,352,576".
std::string Decimal(uint64_t value);

// A byte count: "1 byte", "1,023 bytes", and from 1 KiB on with the binary
// unit too: "1,709,850 bytes (1.63 MiB)".
std::string DescribeSize(uint64_t bytes);

// A byte count as short as it is exact: "4 KiB", "1,536 MiB", "2 GiB",
// "4,294,967,295 bytes".
std::string ExactSize(uint64_t bytes);

// `value` in upper-case hexadecimal, zero-padded to at least `digits` digits:
// HexDigits(0x5D, 2) is "5D".
std::string HexDigits(uint64_t value, int digits = 0);

// The same behind "0x": Hex(0x780) is "0x780", Hex(0x780, 8) "0x00000780".
std::string Hex(uint64_t value, int digits = 0);

// `items` with `separator` between them: "7, 8, 10".
std::string Join(const std::vector<std::string>& items, std::string_view separator);

// The same with `last_separator` in front of the last item: "7, 8 or 10".
std::string Join(const std::vector<std::string>& items, std::string_view separator,
                 std::string_view last_separator);

// `text` with the letters A to Z in lower case; other bytes stay as they are.
std::string AsciiLower(std::string_view text);

// `text` in double quotes, for messages that name what the user wrote:
// "\"eleven\"".
std::string Quoted(std::string_view text);

}  // namespace tools
