// SPDX-License-Identifier: Zlib
// Windows implementation of the platform interface.
//
// wchar_t is a 16-bit UTF-16 code unit on Windows, the same representation as
// char16_t, so strings cross this boundary by pointer casts.
#include "platform/windows/windows_platform.h"

#include <windows.h>
#include <shellapi.h>
#include <winnetwk.h>

#include "platform/windows/folder_removal.h"
#include "platform/windows/progress_window.h"
#include "platform/windows/run_marker.h"
#include "platform/windows/system_library.h"
#include "platform/windows/text_length.h"

static_assert(sizeof(wchar_t) == sizeof(char16_t));

namespace stub {
namespace {

// The longest path Windows handles, in code units, without its terminator.
constexpr DWORD kLongestPath = 32767;

// WNetGetUniversalNameW's result buffer: first try, and the most it can need
// (the record, then a name of the longest path and its terminator).
constexpr DWORD kUniversalNameBufferSize = 2000;
constexpr DWORD kLargestUniversalNameInfo =
    sizeof(UNIVERSAL_NAME_INFOW) + (kLongestPath + 1) * sizeof(wchar_t);

// What GetCurrentProcess returns, a pseudo handle of fixed value: calling it
// would cost the image an import.
const HANDLE kCurrentProcess = reinterpret_cast<HANDLE>(-1);

const wchar_t* W(const std::u16string& s) { return reinterpret_cast<const wchar_t*>(s.c_str()); }

std::u16string FromW(const wchar_t* s, size_t length) {
  return std::u16string(reinterpret_cast<const char16_t*>(s), length);
}

// Owns a kernel handle; closes it once.
class Handle {
 public:
  explicit Handle(HANDLE handle) : handle_(handle) {}
  ~Handle() {
    if (handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  HANDLE get() const { return handle_; }

 private:
  HANDLE handle_;
};

class WindowsFile final : public PlatformFile {
 public:
  explicit WindowsFile(HANDLE handle) : handle_(handle) {}

  bool Seek(uint64_t offset) override {
    LARGE_INTEGER distance;
    distance.QuadPart = static_cast<LONGLONG>(offset);
    return SetFilePointerEx(handle_.get(), distance, nullptr, FILE_BEGIN) != 0;
  }

  uint32_t Read(void* buffer, uint32_t count) override {
    uint32_t total = 0;
    while (total < count) {
      DWORD got = 0;
      if (!ReadFile(handle_.get(), static_cast<uint8_t*>(buffer) + total, count - total, &got,
                    nullptr) ||
          got == 0) {
        break;
      }
      total += got;
    }
    return total;
  }

  uint32_t Write(const void* buffer, uint32_t count) override {
    uint32_t total = 0;
    while (total < count) {
      DWORD put = 0;
      if (!WriteFile(handle_.get(), static_cast<const uint8_t*>(buffer) + total, count - total,
                     &put, nullptr) ||
          put == 0) {
        break;
      }
      total += put;
    }
    return total;
  }

  bool GetSize(uint64_t& size) override {
    // Of the file information, which the folder removal reads too (one
    // function the image imports fewer than with GetFileSizeEx).
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(handle_.get(), &info)) return false;
    size = uint64_t{info.nFileSizeHigh} << 32 | info.nFileSizeLow;
    return true;
  }

 private:
  Handle handle_;
};

class WindowsProcess final : public PlatformProcess {
 public:
  explicit WindowsProcess(HANDLE process) : process_(process) {}

  uint32_t WaitForExit() override {
    // The shell may start a program without handing back a process handle;
    // there is nothing to wait for then.
    if (process_.get() == nullptr) return 0;
    WaitForSingleObject(process_.get(), INFINITE);
    DWORD code = 0;
    if (!GetExitCodeProcess(process_.get(), &code)) return 0;
    return code;
  }

  uint32_t Id() override { return process_.get() == nullptr ? 0 : GetProcessId(process_.get()); }

 private:
  Handle process_;
};

std::unique_ptr<PlatformFile> OpenFile(const std::u16string& path, DWORD access, DWORD creation,
                                       DWORD attributes) {
  HANDLE handle =
      CreateFileW(W(path), access, FILE_SHARE_READ, nullptr, creation, attributes, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return nullptr;
  return std::unique_ptr<PlatformFile>(new WindowsFile(handle));
}

using WNetGetUniversalNameWFn = DWORD(WINAPI*)(LPCWSTR, DWORD, LPVOID, LPDWORD);
using CheckTokenMembershipFn = BOOL(WINAPI*)(HANDLE, PSID, PBOOL);
using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
using ShellExecuteExWFn = BOOL(WINAPI*)(SHELLEXECUTEINFOW*);
using MessageBoxWFn = int(WINAPI*)(HWND, LPCWSTR, LPCWSTR, UINT);

}  // namespace

std::u16string WindowsPlatform::ModulePath() {
  // GetModuleFileNameW truncates silently when the buffer is too small and then
  // returns the buffer's size (without a terminator on XP); a result below the
  // size is the whole path. The buffer grows until the path fits, up to the
  // longest path Windows has (32767 code units).
  std::u16string buffer(MAX_PATH + 1, u'\0');
  for (;;) {
    const DWORD size = static_cast<DWORD>(buffer.size());
    const DWORD length =
        GetModuleFileNameW(nullptr, reinterpret_cast<wchar_t*>(&buffer[0]), size);
    if (length == 0) return std::u16string();
    if (length < size) {
      buffer.erase(length);
      return buffer;
    }
    if (size > kLongestPath) return std::u16string();
    buffer = std::u16string(size * 2, u'\0');
  }
}

std::u16string WindowsPlatform::CommandLine() {
  const wchar_t* line = GetCommandLineW();
  return FromW(line, TextLength(line));
}

std::unique_ptr<PlatformFile> WindowsPlatform::OpenForRead(const std::u16string& path) {
  return OpenFile(path, GENERIC_READ, OPEN_EXISTING, 0);
}

std::unique_ptr<PlatformFile> WindowsPlatform::CreateForWrite(const std::u16string& path) {
  return OpenFile(path, GENERIC_WRITE, CREATE_NEW, FILE_ATTRIBUTE_NORMAL);
}

void WindowsPlatform::RemoveFile(const std::u16string& path) { DeleteFileW(W(path)); }

std::u16string WindowsPlatform::TempPath() {
  // The path may be longer than any fixed buffer: GetTempPathW then returns the
  // size it needs, terminator included, and leaves the buffer undefined, so it
  // is asked again with a larger buffer. A result below the buffer's size is
  // the length of the whole path.
  std::u16string buffer(MAX_PATH + 1, u'\0');
  for (;;) {
    const DWORD size = static_cast<DWORD>(buffer.size());
    const DWORD length = GetTempPathW(size, reinterpret_cast<wchar_t*>(&buffer[0]));
    if (length == 0) return std::u16string();
    if (length < size) {
      buffer.erase(length);
      return buffer;
    }
    if (length > kLongestPath + 1) return std::u16string();
    buffer = std::u16string(length + 1, u'\0');  // one more than asked, so the buffer always grows
  }
}

namespace {

// Whether a network provider may know a network name for `path`: not when
// the system calls its drive a local one. Asking mpr.dll anyway would load it,
// and with it user32 and gdi32, on every run from a local disk.
bool MayBeOnNetworkDrive(const std::u16string& path) {
  if (path.size() < 2 || path[1] != u':') return true;
  const wchar_t root[] = {static_cast<wchar_t>(path[0]), L':', L'\\', L'\0'};
  switch (GetDriveTypeW(root)) {
    case DRIVE_FIXED:
    case DRIVE_REMOVABLE:
    case DRIVE_CDROM:
    case DRIVE_RAMDISK:
      return false;
    default:  // DRIVE_REMOTE, and what the system cannot tell
      return true;
  }
}

}  // namespace

bool WindowsPlatform::UniversalName(const std::u16string& path, std::u16string& universal) {
  if (!MayBeOnNetworkDrive(path)) return false;
  static HMODULE mpr = LoadSystemLibrary(L"mpr.dll");
  static const auto get_universal_name =
      LookUp<WNetGetUniversalNameWFn>(mpr, "WNetGetUniversalNameW");
  if (get_universal_name == nullptr) return false;

  // 2000 bytes hold any network name up to about 990 code units. A longer one
  // makes the provider report the size it needs; it is asked once more with
  // that, so such a package still reaches the child in its network form.
  DWORD size = kUniversalNameBufferSize;
  std::unique_ptr<uint8_t[]> buffer(new uint8_t[size]);
  DWORD result = get_universal_name(W(path), UNIVERSAL_NAME_INFO_LEVEL, buffer.get(), &size);
  if (result == ERROR_MORE_DATA && size > kUniversalNameBufferSize &&
      size <= kLargestUniversalNameInfo) {
    buffer.reset(new uint8_t[size]);
    result = get_universal_name(W(path), UNIVERSAL_NAME_INFO_LEVEL, buffer.get(), &size);
  }
  if (result != NO_ERROR) return false;
  const wchar_t* name = reinterpret_cast<UNIVERSAL_NAME_INFOW*>(buffer.get())->lpUniversalName;
  if (name == nullptr) return false;
  universal = FromW(name, TextLength(name));
  return true;
}

uint32_t WindowsPlatform::Milliseconds() { return GetTickCount(); }

uint32_t WindowsPlatform::LogicalProcessors() {
  // The processors of the process's group, which its threads run on: all of
  // them up to 64.
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  return info.dwNumberOfProcessors > 0 ? info.dwNumberOfProcessors : 1;
}

uint64_t WindowsPlatform::PhysicalMemory() {
  MEMORYSTATUSEX status;
  status.dwLength = sizeof(status);
  return GlobalMemoryStatusEx(&status) ? status.ullTotalPhys : 0;
}

std::span<const uint8_t> WindowsPlatform::OwnVersionResource() {
  const HRSRC found = FindResourceW(nullptr, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(16));  // RT_VERSION
  if (found == nullptr) return {};
  // A loaded resource lies in the mapped image: no LockResource, no unload.
  const auto* data = static_cast<const uint8_t*>(LoadResource(nullptr, found));
  if (data == nullptr) return {};
  return {data, SizeofResource(nullptr, found)};
}

std::unique_ptr<ProgressWindow> WindowsPlatform::OpenProgressWindow(std::u16string title,
                                                                   CancelRace& race) {
  return OpenWindowsProgressWindow(std::move(title), race);
}

bool WindowsPlatform::QueryWindowsVersion(TWindowsVersion& version) {
  // The extended record adds the product type; every 64-bit Windows takes it.
  OSVERSIONINFOEXW info = {};
  info.dwOSVersionInfoSize = sizeof(info);
  static_assert(sizeof(OSVERSIONINFOEXW) == 284);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  if (!GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&info))) return false;
#pragma GCC diagnostic pop
  version.Major = info.dwMajorVersion;
  version.Minor = info.dwMinorVersion;
  version.BuildNumber = info.dwBuildNumber;
  version.ProductType = info.wProductType;
  return true;
}

namespace {

// Reads the text value `name` under HKLM\Software\Microsoft\Windows NT\CurrentVersion
// into a 128-byte buffer: its first (bytes read / 2) code units. False when the
// key or the value cannot be read, or the value is longer than the buffer.
bool ReadCurrentVersionValue(const wchar_t* name, std::u16string& text) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows NT\\CurrentVersion", 0,
                    KEY_READ, &key) != ERROR_SUCCESS) {
    return false;
  }
  wchar_t buffer[64];
  DWORD type = 0;
  DWORD size = sizeof(buffer);
  const LONG result =
      RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
  RegCloseKey(key);
  if (result != ERROR_SUCCESS || size > sizeof(buffer)) return false;
  text = FromW(buffer, size / 2);
  return true;
}

}  // namespace

bool WindowsPlatform::ReadReleaseId(std::u16string& text) {
  return ReadCurrentVersionValue(L"ReleaseId", text);
}

bool WindowsPlatform::ReadDisplayVersion(std::u16string& text) {
  return ReadCurrentVersionValue(L"DisplayVersion", text);
}

bool WindowsPlatform::IsAdministrator() {
  static const auto check_token_membership =
      LookUp<CheckTokenMembershipFn>(GetModuleHandleW(L"advapi32.dll"), "CheckTokenMembership");
  SID_IDENTIFIER_AUTHORITY nt_authority = SECURITY_NT_AUTHORITY;
  PSID administrators = nullptr;
  if (!AllocateAndInitializeSid(&nt_authority, 2, SECURITY_BUILTIN_DOMAIN_RID,
                                DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0, &administrators)) {
    return false;
  }
  BOOL member = FALSE;
  const bool ok = check_token_membership != nullptr &&
                  check_token_membership(nullptr, administrators, &member);
  FreeSid(administrators);
  return ok && member;
}

std::unique_ptr<PlatformProcess> WindowsPlatform::StartProcess(
    const std::u16string& command_line, const std::u16string& current_directory,
    uint32_t& error) {
  // CreateProcessW may write into the command line, so it gets a copy.
  std::u16string line = command_line;
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  static_assert(sizeof(STARTUPINFOW) == 104);
  PROCESS_INFORMATION info = {};
  if (!CreateProcessW(nullptr, reinterpret_cast<wchar_t*>(&line[0]), nullptr, nullptr, FALSE, 0,
                      nullptr, current_directory.empty() ? nullptr : W(current_directory),
                      &startup, &info)) {
    error = GetLastError();
    return nullptr;
  }
  CloseHandle(info.hThread);
  return std::unique_ptr<PlatformProcess>(new WindowsProcess(info.hProcess));
}

std::unique_ptr<PlatformProcess> WindowsPlatform::ShellStart(const std::u16string& verb,
                                                             const std::u16string& file,
                                                             const std::u16string& parameters,
                                                             uint32_t& error) {
  SHELLEXECUTEINFOW info = {};
  info.cbSize = sizeof(info);
  static_assert(sizeof(SHELLEXECUTEINFOW) == 112);
  info.fMask = SEE_MASK_NOCLOSEPROCESS;
  info.lpVerb = W(verb);
  info.lpFile = W(file);
  info.lpParameters = W(parameters);
  info.nShow = SW_SHOW;
  static const auto shell_execute_ex =
      LookUp<ShellExecuteExWFn>(LoadSystemLibrary(L"shell32.dll"), "ShellExecuteExW");
  if (shell_execute_ex == nullptr || !shell_execute_ex(&info)) {
    error = GetLastError();
    return nullptr;
  }
  return std::unique_ptr<PlatformProcess>(new WindowsProcess(info.hProcess));
}

void WindowsPlatform::ShowErrorBox(const std::u16string& text, const std::u16string& caption) {
  static const auto message_box =
      LookUp<MessageBoxWFn>(LoadSystemLibrary(L"user32.dll"), "MessageBoxW");
  if (message_box != nullptr) message_box(nullptr, W(text), W(caption), MB_ICONERROR);
}

void RestrictDllSearchToSystemFolder() {
  // SetDefaultDllDirectories exists from Windows 8 on (and on 7 with
  // KB2533623); older systems only have SetDllDirectoryW, whose empty string
  // takes the current folder out of the search.
  const auto set_default_dll_directories = LookUp<SetDefaultDllDirectoriesFn>(
      GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories");
  if (set_default_dll_directories == nullptr ||
      !set_default_dll_directories(LOAD_LIBRARY_SEARCH_SYSTEM32)) {
    SetDllDirectoryW(L"");
  }
}

// --- Private folders ---------------------------------------------------------

namespace {

// RtlGenRandom, exported by advapi32 under this name only.
using RtlGenRandomFn = BOOLEAN(WINAPI*)(PVOID, ULONG);

// A security descriptor whose protected access list grants full control to
// the process's user, SYSTEM and Administrators, inherited by files and
// folders inside. Protected: nothing is inherited from the parent folder, so
// a temporary folder that lets everyone write passes none of that on.
class PrivateFolderSecurity {
 public:
  bool Build() {
    DWORD system_size = sizeof(system_);
    DWORD administrators_size = sizeof(administrators_);
    if (!CurrentUserSid() ||
        !CreateWellKnownSid(WinLocalSystemSid, nullptr, system_, &system_size) ||
        !CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, administrators_,
                            &administrators_size) ||
        !InitializeAcl(acl(), sizeof(acl_), ACL_REVISION)) {
      return false;
    }
    for (PSID sid : {user(), static_cast<PSID>(system_), static_cast<PSID>(administrators_)}) {
      if (!AddAccessAllowedAceEx(acl(), ACL_REVISION, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE,
                                 FILE_ALL_ACCESS, sid)) {
        return false;
      }
    }
    return InitializeSecurityDescriptor(&descriptor_, SECURITY_DESCRIPTOR_REVISION) &&
           SetSecurityDescriptorDacl(&descriptor_, TRUE, acl(), FALSE) &&
           SetSecurityDescriptorControl(&descriptor_, SE_DACL_PROTECTED, SE_DACL_PROTECTED);
  }

  SECURITY_ATTRIBUTES* attributes() {
    attributes_ = {sizeof(attributes_), &descriptor_, FALSE};
    return &attributes_;
  }

 private:
  bool CurrentUserSid() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(kCurrentProcess, TOKEN_QUERY, &token)) return false;
    const Handle owned(token);
    DWORD size = 0;
    return GetTokenInformation(token, TokenUser, token_user_, sizeof(token_user_), &size) != 0;
  }
  PSID user() { return reinterpret_cast<TOKEN_USER*>(token_user_)->User.Sid; }
  ACL* acl() { return reinterpret_cast<ACL*>(acl_); }

  // A TOKEN_USER record and the SID it points to.
  alignas(8) BYTE token_user_[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
  alignas(4) BYTE system_[SECURITY_MAX_SID_SIZE];
  alignas(4) BYTE administrators_[SECURITY_MAX_SID_SIZE];
  // The list's header and three entries, each at most an entry's header and
  // the largest SID.
  alignas(4) BYTE acl_[sizeof(ACL) + 3 * (sizeof(ACCESS_ALLOWED_ACE) + SECURITY_MAX_SID_SIZE)];
  SECURITY_DESCRIPTOR descriptor_;
  SECURITY_ATTRIBUTES attributes_;
};

}  // namespace

bool WindowsPlatform::RandomBytes(uint8_t* buffer, uint32_t count) {
  static const auto generate_random =
      LookUp<RtlGenRandomFn>(GetModuleHandleW(L"advapi32.dll"), "SystemFunction036");
  return generate_random != nullptr && generate_random(buffer, count);
}

FolderCreation WindowsPlatform::CreatePrivateFolder(const std::u16string& path) {
  PrivateFolderSecurity security;
  if (!security.Build()) return FolderCreation::kFailed;
  if (CreateDirectoryW(W(path), security.attributes())) return FolderCreation::kCreated;
  return GetLastError() == ERROR_ALREADY_EXISTS ? FolderCreation::kExists
                                                : FolderCreation::kFailed;
}

void WindowsPlatform::RemoveFolder(const std::u16string& path) { RemoveFolderTree(path); }

std::unique_ptr<PlatformMarker> WindowsPlatform::CreateMarker(std::u16string path) {
  return CreateWindowsMarker(std::move(path));
}

std::unique_ptr<PlatformMarker> WindowsPlatform::ClaimMarker(std::u16string path) {
  return ClaimWindowsMarker(std::move(path));
}

void WindowsPlatform::VisitFolders(const std::u16string& parent, FolderVisitor& visitor) {
  VisitRealFolders(parent, visitor);
}

}  // namespace stub
