// SPDX-License-Identifier: Zlib
// A DLL a test plants where a program may find it: beside a package under a
// system DLL's name, or in the temporary folder under a name of its own. When
// anything loads it, it leaves a marker file (named by PLANTED_DLL_MARKER), so
// the test can tell whether the launcher or its child picked it up.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    wchar_t marker[1024];
    const DWORD length = GetEnvironmentVariableW(L"PLANTED_DLL_MARKER", marker, 1024);
    if (length > 0 && length < 1024) {
      HANDLE file = CreateFileW(marker, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
      if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    }
  }
  return TRUE;
}
