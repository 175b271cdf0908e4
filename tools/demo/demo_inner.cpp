// The demo's inner setup program: reports how the launcher started it.
//
// Prints to stdout, and writes to the file named by the environment variable
// DEMO_INNER_REPORT when it is set (UTF-8), what it received: its own path (the
// launcher's temporary copy), its current folder, the whole command line, each
// argument (the first is the package's path), and the further data it reads
// from the package itself, as a real inner setup program would. Exits with 0.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "format/package_records.h"
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

bool ReadAt(HANDLE file, uint64_t offset, void* buffer, DWORD count) {
  LARGE_INTEGER position;
  position.QuadPart = static_cast<LONGLONG>(offset);
  DWORD got = 0;
  return SetFilePointerEx(file, position, nullptr, FILE_BEGIN) &&
         ReadFile(file, buffer, count, &got, nullptr) && got == count;
}

// The further data sfxpack stored behind the message text: from the end of
// the message to the end of the package.
std::string FurtherData(const std::wstring& package_path) {
  HANDLE file = CreateFileW(package_path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return "cannot open the package";
  std::string result = "cannot read the package records";
  stub::PackageLocatorBytes locator_bytes;
  stub::PackageHeaderBytes header_bytes;
  if (ReadAt(file, stub::kPackageLocatorOffset, locator_bytes.data(), locator_bytes.size())) {
    const stub::TPackageLocator locator = stub::DecodePackageLocator(locator_bytes);
    if (ReadAt(file, locator.PackageOffset, header_bytes.data(), header_bytes.size())) {
      const stub::TPackageHeader header = stub::DecodePackageHeader(header_bytes);
      const uint64_t start =
          header.UnsupportedOsMessage.Offset + uint64_t{header.UnsupportedOsMessage.Length} * 2;
      const uint64_t end = static_cast<uint64_t>(locator.MinFileSize);
      const uint64_t length = end > start ? end - start : 0;
      std::string text(static_cast<size_t>(length < 400 ? length : 400), '\0');
      if (text.empty() || ReadAt(file, start, &text[0], static_cast<DWORD>(text.size()))) {
        result = std::to_string(length) + " bytes" + (text.empty() ? "" : ":\n    " + text);
      }
    }
  }
  CloseHandle(file);
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
