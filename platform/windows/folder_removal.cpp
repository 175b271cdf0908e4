// SPDX-License-Identifier: Zlib
// Removing a private folder with what is in it.
//
// The folder is the launcher's own, made new with an access list that lets
// only the user, SYSTEM and Administrators write in it. A reparse point found
// there (a junction, a symbolic link, a mount point) may lead anywhere, so it
// is never entered: RemoveDirectoryW and DeleteFileW remove such a link and
// leave its target alone. A folder swapped for a link between the search and
// the removal is the work of someone who could change the target anyway: the
// folder itself is held open without delete sharing while its contents go,
// so it cannot be renamed or replaced by a link, and its owner must be the
// running account, so no one else could have written into it. That keeps an
// abandoned folder in a shared temporary folder (C:\Windows\Temp under
// SYSTEM) safe to remove: one that another user made, however it is named,
// is left alone.
//
// The launcher is not long-path aware, so Windows takes no path of MAX_PATH
// code units or more here: the walk builds its paths in one buffer of that
// size and leaves alone what does not fit, which it could not remove anyway.
#include "platform/windows/folder_removal.h"

#include <windows.h>
#include <aclapi.h>

#include "platform/windows/text_length.h"

namespace stub {
namespace {

// The path of the folder or entry at hand, built in place as the walk goes
// down (one thread: the launcher has no other).
wchar_t path[MAX_PATH];

// Removes what the folder whose path, with its backslash, ends at `end` in
// `path` holds, then the folder. Uses the room from `end` on for the entries'
// names; the units before `end` stay as they are.
void RemoveTree(wchar_t* end) {
  WIN32_FIND_DATAW found;
  end[0] = L'*';
  end[1] = 0;
  HANDLE search = FindFirstFileW(path, &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      const wchar_t* name = found.cFileName;
      const size_t length = TextLength(name);
      const bool dots = name[0] == L'.' && (length == 1 || (length == 2 && name[1] == L'.'));
      if (dots || end + length + 2 > path + MAX_PATH) continue;
      for (size_t i = 0; i <= length; ++i) end[i] = name[i];
      if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        DeleteFileW(path);
      } else if ((found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        RemoveDirectoryW(path);
      } else {
        end[length] = L'\\';
        RemoveTree(end + length + 1);
      }
    } while (FindNextFileW(search, &found));
    FindClose(search);
  }
  end[0] = 0;
  RemoveDirectoryW(path);
}

// True when `object`'s owner is the running account: its token's user, or
// the default owner its new objects get (Administrators, for an elevated
// administrator).
bool OwnedByThisAccount(HANDLE object) {
  PSID owner = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetSecurityInfo(object, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr,
                      nullptr, nullptr, &descriptor) != ERROR_SUCCESS) {
    return false;
  }
  bool ours = false;
  HANDLE token = nullptr;
  if (OpenProcessToken(reinterpret_cast<HANDLE>(-1), TOKEN_QUERY, &token)) {
    // A TOKEN_USER or TOKEN_OWNER record and the SID it points to.
    alignas(8) BYTE record[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
    DWORD size = 0;
    for (TOKEN_INFORMATION_CLASS which : {TokenUser, TokenOwner}) {
      // Both records start with the SID's pointer.
      ours = ours || (GetTokenInformation(token, which, record, sizeof(record), &size) &&
                      EqualSid(owner, *reinterpret_cast<PSID*>(record)));
    }
    CloseHandle(token);
  }
  LocalFree(descriptor);
  return ours;
}

}  // namespace

void RemoveFolderTree(const std::u16string& folder) {
  if (folder.size() + 2 > MAX_PATH) return;
  const wchar_t* name = reinterpret_cast<const wchar_t*>(folder.c_str());
  const HANDLE held = CreateFileW(name, READ_CONTROL | FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                  nullptr);
  if (held == INVALID_HANDLE_VALUE) return;
  BY_HANDLE_FILE_INFORMATION info;
  const bool ours =
      GetFileInformationByHandle(held, &info) &&
      (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) ==
          FILE_ATTRIBUTE_DIRECTORY &&
      OwnedByThisAccount(held);
  if (ours) {
    for (size_t i = 0; i < folder.size(); ++i) path[i] = folder[i];
    RemoveTree(path + folder.size());  // all but the folder itself, held
  }
  CloseHandle(held);
  if (ours) RemoveDirectoryW(name);
}

void VisitRealFolders(const std::u16string& parent, FolderVisitor& visitor) {
  if (parent.size() + 2 > MAX_PATH) return;
  for (size_t i = 0; i < parent.size(); ++i) path[i] = parent[i];
  path[parent.size()] = L'*';
  path[parent.size() + 1] = 0;
  WIN32_FIND_DATAW found;
  const HANDLE search = FindFirstFileW(path, &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    const wchar_t* name = found.cFileName;
    if ((found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) ==
            FILE_ATTRIBUTE_DIRECTORY &&
        !(name[0] == L'.' && (name[1] == 0 || (name[1] == L'.' && name[2] == 0)))) {
      visitor.Visit(std::u16string_view(reinterpret_cast<const char16_t*>(name), TextLength(name)));
    }
  } while (FindNextFileW(search, &found));
  FindClose(search);
}

}  // namespace stub
