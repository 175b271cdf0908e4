// SPDX-License-Identifier: Zlib
#include "platform/windows/run_marker.h"

#include <windows.h>

#include <utility>

#include "platform/windows/system_library.h"

namespace stub {
namespace {

const wchar_t* W(const std::u16string& s) { return reinterpret_cast<const wchar_t*>(s.c_str()); }

using SetFileInformationByHandleFn = BOOL(WINAPI*)(HANDLE, FILE_INFO_BY_HANDLE_CLASS, LPVOID,
                                                   DWORD);

class WindowsMarker final : public PlatformMarker {
 public:
  WindowsMarker(HANDLE handle, std::u16string path) : handle_(handle), path_(std::move(path)) {}

  ~WindowsMarker() override {
    static const auto set_information = LookUp<SetFileInformationByHandleFn>(
        GetModuleHandleW(L"kernel32.dll"), "SetFileInformationByHandle");
    FILE_DISPOSITION_INFO disposition = {TRUE};
    const bool deleted = set_information != nullptr &&
                         set_information(handle_, FileDispositionInfo, &disposition,
                                         sizeof(disposition));
    CloseHandle(handle_);
    if (!deleted) DeleteFileW(W(path_));
    // The folder goes too when the marker was the last thing in it: the path
    // up to the marker's name, which is the folder's name (16 digits) and
    // ".lock".
    path_[path_.size() - 22] = u'\0';
    RemoveDirectoryW(W(path_));
  }

  void RecordChild(uint32_t process_id) override {
    DWORD written = 0;
    SetFilePointerEx(handle_, LARGE_INTEGER{}, nullptr, FILE_BEGIN);
    WriteFile(handle_, &process_id, sizeof(process_id), &written, nullptr);
  }

 private:
  HANDLE handle_;
  std::u16string path_;
};

// True when the process `id` runs, or may run: it cannot be opened for
// another reason than that there is none.
bool MayRun(uint32_t id) {
  const HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, id);
  if (process == nullptr) return GetLastError() != ERROR_INVALID_PARAMETER;
  const bool runs = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
  CloseHandle(process);
  return runs;
}

}  // namespace

std::unique_ptr<PlatformMarker> CreateWindowsMarker(std::u16string path) {
  const HANDLE handle = CreateFileW(W(path), GENERIC_READ | GENERIC_WRITE | DELETE,
                                    FILE_SHARE_READ, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                                    nullptr);
  if (handle == INVALID_HANDLE_VALUE) return nullptr;
  return std::unique_ptr<PlatformMarker>(new WindowsMarker(handle, std::move(path)));
}

std::unique_ptr<PlatformMarker> ClaimWindowsMarker(std::u16string path) {
  const HANDLE handle = CreateFileW(W(path), GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return nullptr;
  // A link opened as itself (FILE_FLAG_OPEN_REPARSE_POINT) reads empty, and
  // deleting it removes only the link; a folder cannot be read.
  uint32_t child = 0;
  DWORD read = 0;
  if (!ReadFile(handle, &child, sizeof(child), &read, nullptr) ||
      (read == sizeof(child) && child != 0 && MayRun(child))) {
    CloseHandle(handle);
    return nullptr;
  }
  return std::unique_ptr<PlatformMarker>(new WindowsMarker(handle, std::move(path)));
}

}  // namespace stub
