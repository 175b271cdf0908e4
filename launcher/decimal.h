// SPDX-License-Identifier: Zlib
// Decimal numbers in the launcher's UTF-16 strings (copy numbers of the
// temporary copy's name, version numbers in a refused version's name).
#pragma once

#include <cstdint>
#include <string>

namespace stub {

// Appends the decimal digits of `n` to `out`, without sign or separators.
inline void AppendDecimal(std::u16string& out, uint64_t n) {
  char16_t digits[20];  // 18446744073709551615 has twenty
  int count = 0;
  do {
    digits[count++] = static_cast<char16_t>(u'0' + n % 10);
    n /= 10;
  } while (n != 0);
  while (count > 0) out += digits[--count];
}

}  // namespace stub
