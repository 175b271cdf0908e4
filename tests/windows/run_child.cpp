// SPDX-License-Identifier: Zlib
// Test runner under Wine: starts a program with an exact command line, waits
// for it and prints its full exit code.
//
// Wine hands a Windows program's exit code to Linux as a process status, which
// keeps only its low 8 bits; the launcher's codes (1392, 1633, ...) need all 32.
// The command line comes hex-encoded as UTF-8 in RUN_CHILD_COMMAND_LINE_HEX,
// so quotes, tabs and non-ASCII characters arrive exactly as the test wrote them.
//
// Prints "exit-code: N" on success, "start-failed: ERROR" when the program
// cannot be started (exit status 2), and "usage: ..." when the variable is
// missing or malformed (exit status 3).
#include <windows.h>

#include <cstdio>
#include <string>

#include "tools/common/wide_text.h"

namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool DecodeHex(const char* hex, std::string& bytes) {
  for (; hex[0] != 0; hex += 2) {
    const int high = HexValue(hex[0]);
    const int low = hex[1] == 0 ? -1 : HexValue(hex[1]);
    if (high < 0 || low < 0) return false;
    bytes += static_cast<char>(high * 16 + low);
  }
  return true;
}

}  // namespace

int main() {
  const char* hex = std::getenv("RUN_CHILD_COMMAND_LINE_HEX");
  std::string utf8;
  if (hex == nullptr || !DecodeHex(hex, utf8) || utf8.empty()) {
    std::printf("usage: set RUN_CHILD_COMMAND_LINE_HEX to the hex of a UTF-8 command line\n");
    return 3;
  }
  std::wstring command_line = tools::Utf8ToWide(utf8);
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(nullptr, &command_line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process)) {
    std::printf("start-failed: %lu\n", GetLastError());
    return 2;
  }
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  std::printf("exit-code: %lu\n", code);
  return 0;
}
