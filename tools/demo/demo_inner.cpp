// SPDX-License-Identifier: Zlib
// The demo's inner setup program: reports how the launcher started it.
//
// Prints to stdout, and writes to the file named by the environment variable
// DEMO_INNER_REPORT when it is set (UTF-8), what it received: its own path (the
// launcher's temporary copy), its current folder, the whole command line, each
// argument (the first is the package's path), and the further data it reads
// from the package itself with sdk/sfxpack_reader.h, as a real inner setup
// program would. Exits with 0.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "sdk/sfxpack_reader.h"
#include "tools/common/wide_text.h"

namespace {

using tools::WideToUtf8;

std::wstring ModulePath() {
  std::wstring path(32768, L'\0');
  path.resize(GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size())));
  return path;
}

std::wstring CurrentFolder() {
  std::wstring path(32768, L'\0');
  path.resize(GetCurrentDirectoryW(static_cast<DWORD>(path.size()), &path[0]));
  return path;
}

// The further data the package carries, found with the reader header every
// inner program can use: its size and its first bytes as text.
std::string FurtherData(const std::wstring& package_path) {
  FILE* file = _wfopen(package_path.c_str(), L"rb");
  if (file == nullptr) return sfxpack_status_text(SFXPACK_CANNOT_OPEN);
  sfxpack_further_data data{};
  const sfxpack_status status = sfxpack_find_further_data_in(file, SFXPACK_VERIFY_CRC, &data);
  std::string result = sfxpack_status_text(status);
  if (status == SFXPACK_OK) {
    std::string text(static_cast<size_t>(data.length < 400 ? data.length : 400), '\0');
    const bool read = text.empty() ||
                      (_fseeki64(file, static_cast<__int64>(data.offset), SEEK_SET) == 0 &&
                       std::fread(&text[0], 1, text.size(), file) == text.size());
    result = read ? std::to_string(data.length) + " bytes at offset " +
                        std::to_string(data.offset) + (text.empty() ? "" : ":\n    " + text)
                  : sfxpack_status_text(SFXPACK_READ_FAILED);
  }
  std::fclose(file);
  return result;
}

void Emit(const std::string& report) {
  std::fwrite(report.data(), 1, report.size(), stdout);
  std::fflush(stdout);
  const wchar_t* path = _wgetenv(L"DEMO_INNER_REPORT");
  if (path == nullptr || *path == 0) return;
  if (FILE* file = _wfopen(path, L"wb")) {
    std::fwrite(report.data(), 1, report.size(), file);
    std::fclose(file);
  }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::string report = "demo_inner: started by the launcher\n";
  report += "  own path:       " + WideToUtf8(ModulePath()) + "\n";
  report += "  current folder: " + WideToUtf8(CurrentFolder()) + "\n";
  report += "  command line:   " + WideToUtf8(GetCommandLineW()) + "\n";
  report += "  arguments (" + std::to_string(argc - 1) + "):\n";
  for (int i = 1; i < argc; ++i) {
    report += "    " + std::to_string(i) + ": " + WideToUtf8(argv[i]) +
              (i == 1 ? "   <- the package's own path\n" : "\n");
  }
  if (argc > 1) report += "  further data read from the package: " + FurtherData(argv[1]) + "\n";
  Emit(report);
  return 0;
}
