// SPDX-License-Identifier: Zlib
// Inner program for the end-to-end tests: reports how it was started.
//
// Writes a UTF-8 report to the file named by TEST_CHILD_REPORT (appending, so
// several starts can be told apart), one "key=value" line each:
//   command_line=...       the whole command line it received
//   current_directory=...  its current folder
//   module_path=...        its own file
//   argc=N, arg1=... argN=...  the command line split by the C runtime's rules
//   user_sid=...           the SID of its process's user, as text
//   folder_dacl=...        the access list of its own file's folder, in SDDL
//                          ("error N" when it cannot be read)
// then a line "end". Loads the DLL named by TEST_CHILD_LOAD_LIBRARY the plain
// way, by name, if set (a test's control that a planted DLL would be found).
// Leaves "leftover.txt" and "sub\inner.txt" in its own folder if
// TEST_CHILD_LEAVE_FILES is set, as an inner program that does not clean up.
// Sleeps TEST_CHILD_SLEEP_MS milliseconds if set, and exits with the code in
// TEST_CHILD_EXIT_CODE (default 0).
#include <windows.h>
#include <aclapi.h>
#include <sddl.h>
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "tools/common/wide_text.h"

namespace {

using tools::WideToUtf8;

std::string ModulePath() {
  wchar_t buffer[4096];
  const DWORD length = GetModuleFileNameW(nullptr, buffer, 4096);
  buffer[length < 4096 ? length : 4095] = 0;
  return WideToUtf8(buffer);
}

std::string CurrentDirectory() {
  wchar_t buffer[4096];
  const DWORD length = GetCurrentDirectoryW(4096, buffer);
  buffer[length < 4096 ? length : 4095] = 0;
  return WideToUtf8(buffer);
}

std::string UserSid() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return "error";
  alignas(8) BYTE buffer[256];
  DWORD size = 0;
  wchar_t* text = nullptr;
  std::string sid = "error";
  if (GetTokenInformation(token, TokenUser, buffer, sizeof(buffer), &size) &&
      ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, &text)) {
    sid = WideToUtf8(text);
    LocalFree(text);
  }
  CloseHandle(token);
  return sid;
}

// The DACL of `path` in SDDL, as the system reports it.
std::string AccessList(const std::wstring& path) {
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  const DWORD error = GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION,
                                            nullptr, nullptr, &dacl, nullptr, &descriptor);
  if (error != ERROR_SUCCESS) return "error " + std::to_string(error);
  wchar_t* text = nullptr;
  std::string sddl = "error conversion";
  if (ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor, SDDL_REVISION_1,
                                                           DACL_SECURITY_INFORMATION, &text,
                                                           nullptr)) {
    sddl = WideToUtf8(text);
    LocalFree(text);
  }
  LocalFree(descriptor);
  return sddl;
}

std::wstring ModulePathW() {
  wchar_t buffer[4096];
  const DWORD length = GetModuleFileNameW(nullptr, buffer, 4096);
  return std::wstring(buffer, length < 4096 ? length : 0);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
  const wchar_t* command_line = GetCommandLineW();
  std::string report = "command_line=" + WideToUtf8(command_line) + "\n";
  report += "current_directory=" + CurrentDirectory() + "\n";
  report += "module_path=" + ModulePath() + "\n";
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(command_line, &argc);
  report += "argc=" + std::to_string(argc) + "\n";
  for (int i = 1; argv != nullptr && i < argc; ++i) {
    report += "arg" + std::to_string(i) + "=" + WideToUtf8(argv[i]) + "\n";
  }
  const std::wstring module = ModulePathW();
  report += "user_sid=" + UserSid() + "\n";
  report += "folder_dacl=" + AccessList(module.substr(0, module.rfind(L'\\'))) + "\n";
  report += "end\n";

  if (const wchar_t* path = _wgetenv(L"TEST_CHILD_REPORT")) {
    if (FILE* file = _wfopen(path, L"ab")) {
      std::fwrite(report.data(), 1, report.size(), file);
      std::fclose(file);
    }
  }
  if (const wchar_t* library = _wgetenv(L"TEST_CHILD_LOAD_LIBRARY")) LoadLibraryW(library);
  if (_wgetenv(L"TEST_CHILD_LEAVE_FILES") != nullptr) {
    const std::wstring folder = module.substr(0, module.rfind(L'\\') + 1);
    CreateDirectoryW((folder + L"sub").c_str(), nullptr);
    for (const wchar_t* name : {L"leftover.txt", L"sub\\inner.txt"}) {
      if (FILE* file = _wfopen((folder + name).c_str(), L"wb")) {
        std::fputs("left behind", file);
        std::fclose(file);
      }
    }
  }
  if (const char* sleep = std::getenv("TEST_CHILD_SLEEP_MS")) Sleep(std::atoi(sleep));
  const char* code = std::getenv("TEST_CHILD_EXIT_CODE");
  return code != nullptr ? static_cast<int>(std::strtoul(code, nullptr, 10)) : 0;
}
