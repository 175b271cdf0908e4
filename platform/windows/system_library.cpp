#include "platform/windows/system_library.h"

#include <string>

namespace stub {

HMODULE LoadSystemLibrary(const wchar_t* name) {
  wchar_t folder[MAX_PATH + 1];
  const UINT length = GetSystemDirectoryW(folder, MAX_PATH + 1);
  if (length == 0 || length > MAX_PATH) return nullptr;
  // u16string, as everywhere in the launcher: one copy of its code in the image.
  std::u16string path(reinterpret_cast<const char16_t*>(folder), length);
  path += u"\\";
  path += reinterpret_cast<const char16_t*>(name);
  return LoadLibraryExW(reinterpret_cast<const wchar_t*>(path.c_str()), nullptr,
                        LOAD_WITH_ALTERED_SEARCH_PATH);
}

}  // namespace stub
