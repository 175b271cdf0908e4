// SPDX-License-Identifier: Zlib
#include "platform/windows/system_library.h"

namespace stub {

HMODULE LoadSystemLibrary(const wchar_t* name) {
  // The folder, a backslash, the name (a DLL's short name) and a terminator.
  wchar_t path[MAX_PATH + 1 + 32];
  UINT length = GetSystemDirectoryW(path, MAX_PATH + 1);
  if (length == 0 || length > MAX_PATH) return nullptr;
  path[length++] = L'\\';
  for (UINT i = 0; name[i] != 0 && length < MAX_PATH + 32; ++i) path[length++] = name[i];
  path[length] = 0;
  return LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

}  // namespace stub
