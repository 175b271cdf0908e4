// SPDX-License-Identifier: Zlib
// Windows' own DLLs that the launcher loads when it first needs them.
//
// DLLs the launcher needs only on some runs are loaded when first used, not
// imported: user32 (a message box, the progress window), comctl32 (the
// progress window's bar) and shell32 (a start through the shell) cost every
// start their loading, mpr (a network path) is rarely needed. Each is loaded
// from the system folder only, by its full path: mpr.dll is not one of
// Windows' KnownDLLs, so by plain name a copy planted beside the package
// could be picked up.
#pragma once

#include <windows.h>

namespace stub {

// The DLL `name` from the system folder; null when it cannot be loaded.
HMODULE LoadSystemLibrary(const wchar_t* name);

// The function `name` of `module`; null when either is missing.
template <typename Fn>
Fn LookUp(HMODULE module, const char* name) {
  if (module == nullptr) return nullptr;
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

}  // namespace stub
