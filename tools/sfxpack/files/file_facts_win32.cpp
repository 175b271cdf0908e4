// SPDX-License-Identifier: Zlib
// ExamineFile (files/file_facts.h) on Windows.
#include "tools/sfxpack/files/file_facts.h"

#include <windows.h>

#include <cwctype>

namespace sfxpack {
namespace {

// Names Windows maps to devices in every folder ("NUL", "con.txt", "COM1 ").
bool IsDosDeviceName(const std::filesystem::path& path) {
  std::wstring name = path.filename().wstring();
  name = name.substr(0, name.find_first_of(L".:"));
  while (!name.empty() && name.back() == L' ') name.pop_back();
  for (wchar_t& c : name) c = static_cast<wchar_t>(towupper(c));
  for (const wchar_t* device : {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"}) {
    if (name == device) return true;
  }
  return name.size() == 4 && (name.starts_with(L"COM") || name.starts_with(L"LPT")) &&
         name[3] >= L'0' && name[3] <= L'9';
}

}  // namespace

FileFacts ExamineFile(const std::filesystem::path& path) {
  FileFacts facts;
  if (IsDosDeviceName(path)) {
    facts.kind = FileKind::kCharacterDevice;
    return facts;
  }
  // No access to the contents is needed to ask what a file is.
  const HANDLE handle = CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    facts.kind = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? FileKind::kMissing
                                                                                : FileKind::kOther;
    return facts;
  }
  switch (GetFileType(handle)) {
    case FILE_TYPE_CHAR: facts.kind = FileKind::kCharacterDevice; break;
    case FILE_TYPE_PIPE: facts.kind = FileKind::kFifo; break;
    case FILE_TYPE_DISK: {
      BY_HANDLE_FILE_INFORMATION info;
      if (!GetFileInformationByHandle(handle, &info)) {
        facts.kind = FileKind::kOther;
        break;
      }
      facts.kind = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? FileKind::kFolder
                                                                      : FileKind::kRegular;
      facts.identity = FileIdentity{info.dwVolumeSerialNumber,
                                    (uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow};
      break;
    }
    default: facts.kind = FileKind::kOther; break;
  }
  CloseHandle(handle);
  return facts;
}

}  // namespace sfxpack
