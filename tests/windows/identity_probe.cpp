// SPDX-License-Identifier: Zlib
// Reads a program's identity the way Windows' own tools do, for the
// end-to-end tests of the icon and version information sfxpack sets.
//
//   identity_probe FILE REPORT [NAME...]
//
// Writes a UTF-8 report to REPORT, one "key=value" line each:
//   file_version=a.b.c.d, product_version=a.b.c.d   VS_FIXEDFILEINFO, through
//                          GetFileVersionInfoW and VerQueryValueW("\")
//   translation=LLLLCCCC   the first language and code page of \VarFileInfo\Translation
//   string.NAME=VALUE      \StringFileInfo\<translation>\NAME, for every NAME given
//   icon_group=N           the pictures of the first RT_GROUP_ICON, found with
//                          LoadLibraryExW(LOAD_LIBRARY_AS_DATAFILE) and FindResourceW
//   icon.ID=BYTES          each picture's RT_ICON resource and its size
//   icon_32=ID             the picture Windows picks for 32x32 (LookupIconIdFromDirectoryEx)
//   icon_created=1         CreateIconFromResourceEx made an icon of it
// then "end". What cannot be read is reported as "error.WHAT=CODE".
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tools/common/wide_text.h"

namespace {

using tools::WideToUtf8;

// RT_GROUP_ICON and RT_ICON are char strings unless UNICODE is defined.
const LPCWSTR kGroupIcon = MAKEINTRESOURCEW(14);
const LPCWSTR kIcon = MAKEINTRESOURCEW(3);

std::string Version(DWORD high, DWORD low) {
  return std::to_string(HIWORD(high)) + "." + std::to_string(LOWORD(high)) + "." +
         std::to_string(HIWORD(low)) + "." + std::to_string(LOWORD(low));
}

void ReportVersion(const wchar_t* file, int argc, wchar_t** argv, std::string& out) {
  DWORD handle = 0;
  const DWORD size = GetFileVersionInfoSizeW(file, &handle);
  std::vector<BYTE> data(size);
  if (size == 0 || !GetFileVersionInfoW(file, 0, size, data.data())) {
    out += "error.version=" + std::to_string(GetLastError()) + "\n";
    return;
  }
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  if (VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) && fixed) {
    out += "file_version=" + Version(fixed->dwFileVersionMS, fixed->dwFileVersionLS) + "\n";
    out += "product_version=" + Version(fixed->dwProductVersionMS, fixed->dwProductVersionLS) + "\n";
  }
  WORD* translation = nullptr;
  if (!VerQueryValueW(data.data(), L"\\VarFileInfo\\Translation",
                      reinterpret_cast<void**>(&translation), &length) || length < 4) {
    out += "error.translation=1\n";
    return;
  }
  wchar_t table[16];
  std::swprintf(table, 16, L"%04X%04X", translation[0], translation[1]);
  out += "translation=" + WideToUtf8(table) + "\n";
  for (int i = 3; i < argc; ++i) {
    const std::wstring path = std::wstring(L"\\StringFileInfo\\") + table + L"\\" + argv[i];
    wchar_t* value = nullptr;
    if (VerQueryValueW(data.data(), path.c_str(), reinterpret_cast<void**>(&value), &length) && value) {
      out += "string." + WideToUtf8(argv[i]) + "=" + WideToUtf8(value) + "\n";
    }
  }
}

BOOL CALLBACK FirstName(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR found) {
  *reinterpret_cast<LPWSTR*>(found) = name;
  return FALSE;
}

void ReportIcon(const wchar_t* file, std::string& out) {
  HMODULE module = LoadLibraryExW(file, nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (module == nullptr) {
    out += "error.load=" + std::to_string(GetLastError()) + "\n";
    return;
  }
  LPWSTR group_name = nullptr;
  EnumResourceNamesW(module, kGroupIcon, FirstName, reinterpret_cast<LONG_PTR>(&group_name));
  HRSRC group = group_name ? FindResourceW(module, group_name, kGroupIcon) : nullptr;
  BYTE* directory = group ? static_cast<BYTE*>(LockResource(LoadResource(module, group))) : nullptr;
  if (directory == nullptr) {
    out += "error.icon_group=" + std::to_string(GetLastError()) + "\n";
    FreeLibrary(module);
    return;
  }
  const WORD count = *reinterpret_cast<WORD*>(directory + 4);
  out += "icon_group=" + std::to_string(count) + "\n";
  for (WORD i = 0; i < count; ++i) {
    const WORD id = *reinterpret_cast<WORD*>(directory + 6 + 14 * i + 12);
    HRSRC icon = FindResourceW(module, MAKEINTRESOURCEW(id), kIcon);
    out += "icon." + std::to_string(id) + "=" +
           (icon ? std::to_string(SizeofResource(module, icon)) : std::string("missing")) + "\n";
  }
  const int chosen = LookupIconIdFromDirectoryEx(directory, TRUE, 32, 32, LR_DEFAULTCOLOR);
  out += "icon_32=" + std::to_string(chosen) + "\n";
  HRSRC picture = FindResourceW(module, MAKEINTRESOURCEW(chosen), kIcon);
  if (picture != nullptr) {
    BYTE* bits = static_cast<BYTE*>(LockResource(LoadResource(module, picture)));
    HICON handle = CreateIconFromResourceEx(bits, SizeofResource(module, picture), TRUE, 0x00030000,
                                            32, 32, LR_DEFAULTCOLOR);
    out += std::string("icon_created=") + (handle ? "1" : "0") + "\n";
    if (handle) DestroyIcon(handle);
  }
  FreeLibrary(module);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) {
    std::printf("usage: identity_probe FILE REPORT [NAME...]\n");
    return 2;
  }
  std::string out;
  ReportVersion(argv[1], argc, argv, out);
  ReportIcon(argv[1], out);
  out += "end\n";
  FILE* report = _wfopen(argv[2], L"wb");
  if (report == nullptr) return 1;
  std::fwrite(out.data(), 1, out.size(), report);
  std::fclose(report);
  return 0;
}
