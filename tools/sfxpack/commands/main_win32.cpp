// SPDX-License-Identifier: Zlib
// sfxpack's entry point on Windows, which hands the arguments over as UTF-16;
// sfxpack works in UTF-8 and writes UTF-8 to the console.
#include <windows.h>

#include "tools/common/utf.h"
#include "tools/sfxpack/commands/commands.h"

int wmain(int argc, wchar_t** argv) {
  SetConsoleOutputCP(CP_UTF8);
  std::vector<std::string> arguments;
  for (int i = 0; i < argc; ++i) {
    arguments.push_back(tools::Utf16ToUtf8(reinterpret_cast<const char16_t*>(argv[i])));
  }
  return sfxpack::Run(arguments);
}
