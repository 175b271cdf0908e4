// SPDX-License-Identifier: Zlib
// UTF-8 and the UTF-16 of Windows' wide-character functions, converted by
// Windows itself, for the small Windows programs of the demo and the tests
// (Windows only; header only, so such a program links nothing for it).
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace tools {

// `text` in UTF-8; an unpaired surrogate becomes U+FFFD.
inline std::string WideToUtf8(std::wstring_view text) {
  if (text.empty()) return {};
  const int units = static_cast<int>(text.size());
  const int length =
      WideCharToMultiByte(CP_UTF8, 0, text.data(), units, nullptr, 0, nullptr, nullptr);
  std::string out(length, '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), units, out.data(), length, nullptr, nullptr);
  return out;
}

// `text` in UTF-16; a byte that begins no valid UTF-8 sequence becomes U+FFFD.
inline std::wstring Utf8ToWide(std::string_view text) {
  if (text.empty()) return {};
  const int bytes = static_cast<int>(text.size());
  const int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), bytes, nullptr, 0);
  std::wstring out(length, L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), bytes, out.data(), length);
  return out;
}

}  // namespace tools
