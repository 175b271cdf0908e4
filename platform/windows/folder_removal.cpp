// SPDX-License-Identifier: Zlib
// Removing a private folder with what is in it.
//
// The folder is the launcher's own, made new with an access list that lets
// only the user, SYSTEM and Administrators write in it. A reparse point found
// there (a junction, a symbolic link, a mount point) may lead anywhere, so it
// is never entered: RemoveDirectoryW and DeleteFileW remove such a link and
// leave its target alone. A folder swapped for a link between the search and
// the removal is the work of someone who could change the target anyway.
//
// The launcher is not long-path aware, so Windows takes no path of MAX_PATH
// code units or more here: the walk builds its paths in one buffer of that
// size and leaves alone what does not fit, which it could not remove anyway.
#include "platform/windows/folder_removal.h"

#include <windows.h>

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

}  // namespace

void RemoveFolderTree(const std::u16string& folder) {
  if (folder.size() + 2 > MAX_PATH) return;
  for (size_t i = 0; i < folder.size(); ++i) path[i] = folder[i];
  RemoveTree(path + folder.size());
}

}  // namespace stub
