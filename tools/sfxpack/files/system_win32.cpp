// SPDX-License-Identifier: Zlib
// The system calls of files/system.h on Windows.
#include "tools/sfxpack/files/system.h"

#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <windows.h>

#include <cerrno>

#include "tools/common/wide_text.h"

namespace sfxpack {
namespace {

void (*g_ending_handler)() = nullptr;

// Runs on a thread of its own. Returning FALSE passes the event on to the
// default handler, which ends the process.
BOOL WINAPI HandleConsoleEvent(DWORD) {
  g_ending_handler();
  return FALSE;
}

}  // namespace

std::FILE* OpenForReading(const std::filesystem::path& path, FileKind* kind) {
  if (kind != nullptr) *kind = FileKind::kRegular;
  // FILE_FLAG_BACKUP_SEMANTICS opens a folder too, so that it is named as one.
  const HANDLE handle = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    switch (GetLastError()) {
      case ERROR_FILE_NOT_FOUND:
      case ERROR_PATH_NOT_FOUND:
      case ERROR_INVALID_NAME: errno = ENOENT; break;
      case ERROR_NOT_ENOUGH_MEMORY: errno = ENOMEM; break;
      default: errno = EACCES; break;
    }
    return nullptr;
  }
  // The kind of the open handle: a console or NUL is a character device, a
  // named pipe a pipe.
  FileKind found = FileKind::kOther;
  BY_HANDLE_FILE_INFORMATION info;
  switch (GetFileType(handle)) {
    case FILE_TYPE_CHAR: found = FileKind::kCharacterDevice; break;
    case FILE_TYPE_PIPE: found = FileKind::kFifo; break;
    case FILE_TYPE_DISK:
      if (GetFileInformationByHandle(handle, &info)) {
        found = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? FileKind::kFolder
                                                                   : FileKind::kRegular;
      }
      break;
    default: break;
  }
  if (kind != nullptr) *kind = found;
  const int fd = found == FileKind::kRegular
                     ? _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_RDONLY | _O_BINARY)
                     : -1;
  if (fd < 0) {
    CloseHandle(handle);
    errno = EINVAL;
    return nullptr;
  }
  std::FILE* file = _fdopen(fd, "rb");
  if (file == nullptr) _close(fd);
  return file;
}

bool Seek64(std::FILE* file, int64_t offset, int origin) {
  return _fseeki64(file, offset, origin) == 0;
}

int64_t Tell64(std::FILE* file) { return _ftelli64(file); }

std::FILE* CreateExclusive(const std::filesystem::path& path, bool,
                           const std::optional<uint32_t>&) {
  // FILE_SHARE_DELETE: a console event may remove the file while it is open.
  const HANDLE handle = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    switch (GetLastError()) {
      case ERROR_FILE_EXISTS: errno = EEXIST; break;
      case ERROR_PATH_NOT_FOUND: errno = ENOENT; break;
      case ERROR_DISK_FULL: errno = ENOSPC; break;
      default: errno = EACCES; break;
    }
    return nullptr;
  }
  const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_BINARY);
  if (fd < 0) {
    CloseHandle(handle);
    return nullptr;
  }
  std::FILE* file = _fdopen(fd, "w+b");
  if (file == nullptr) _close(fd);
  return file;
}

std::FILE* OpenDevice(const std::filesystem::path& path) { return _wfopen(path.c_str(), L"wb"); }

bool SyncToDisk(std::FILE* file) { return _commit(_fileno(file)) == 0; }

bool TruncateFile(std::FILE* file, uint64_t size) {
  return _chsize_s(_fileno(file), static_cast<int64_t>(size)) == 0;
}

bool SyncFileByName(const std::filesystem::path& path) {
  // FlushFileBuffers needs write access.
  const HANDLE handle = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    errno = EACCES;
    return false;
  }
  const bool flushed = FlushFileBuffers(handle) != 0;
  CloseHandle(handle);
  if (!flushed) errno = EIO;
  return flushed;
}

std::optional<uint32_t> PermissionsOf(std::FILE*) { return std::nullopt; }

bool SetPermissions(const std::filesystem::path&, uint32_t) { return true; }

bool RenameOver(const std::filesystem::path& from, const std::filesystem::path& to) {
  if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return true;
  }
  errno = GetLastError() == ERROR_ACCESS_DENIED ? EACCES : EIO;
  return false;
}

int ProcessId() { return _getpid(); }

bool StderrIsTerminal() { return _isatty(_fileno(stderr)) != 0; }

void OnEndingSignals(void (*handler)()) {
  g_ending_handler = handler;
  SetConsoleCtrlHandler(HandleConsoleEvent, TRUE);
}

void FailWritesPastFileSizeLimit() {}

std::optional<uint64_t> FileSizeLimit() { return std::nullopt; }

bool ProcessMayBeAlive(int pid) {
  const HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(pid));
  if (process == nullptr) return GetLastError() != ERROR_INVALID_PARAMETER;  // no such process
  const bool running = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
  CloseHandle(process);
  return running;
}

bool RemoveUnlessOpenForWriting(const std::filesystem::path& path) {
  // Sharing no write access, the open fails while a writer has the file
  // open; a symbolic link or junction is opened itself, not followed, and a
  // folder not at all (no FILE_FLAG_BACKUP_SEMANTICS).
  const HANDLE file = CreateFileW(path.c_str(), DELETE | FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION info;
  FILE_DISPOSITION_INFO disposition = {TRUE};
  const bool removed =
      GetFileInformationByHandle(file, &info) &&
      !(info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) &&
      SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof disposition);
  CloseHandle(file);
  return removed;
}

void RemoveNow(const std::filesystem::path::value_type* name) { DeleteFileW(name); }

std::optional<int> RunShellCommand(const std::string& command) {
  wchar_t system[MAX_PATH];
  const UINT length = GetSystemDirectoryW(system, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) {
    errno = ENOENT;
    return std::nullopt;
  }
  const std::wstring shell = std::wstring(system) + L"\\cmd.exe";
  // /s with the whole command in quotes: cmd takes what is between the first
  // and the last quote as it is, quotes inside included.
  std::wstring line = L"cmd.exe /d /s /c \"" + tools::Utf8ToWide(command) + L"\"";
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = GetStdHandle(STD_ERROR_HANDLE);
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  std::fflush(stdout);
  std::fflush(stderr);
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(shell.c_str(), line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                      &startup, &process)) {
    errno = ENOENT;
    return std::nullopt;
  }
  CloseHandle(process.hThread);
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = 1;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hProcess);
  return static_cast<int>(code);
}

std::string ShellQuoted(const std::filesystem::path& path) {
  return "\"" + tools::WideToUtf8(path.wstring()) + "\"";
}

int ProcessExitCode(uint32_t code) { return static_cast<int>(code); }

}  // namespace sfxpack
