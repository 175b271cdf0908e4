// SPDX-License-Identifier: Zlib
// The length of a NUL-terminated wide text, without an import.
//
// lstrlenW and wcslen would each add an entry to the launcher image's import
// table for a loop of a few bytes.
#pragma once

#include <cstddef>

namespace stub {

// The units of `text` before its terminating NUL.
inline size_t TextLength(const wchar_t* text) {
  size_t length = 0;
  while (text[length] != 0) ++length;
  return length;
}

}  // namespace stub
