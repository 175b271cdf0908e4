// SPDX-License-Identifier: Zlib
// Removing the private folders that runs killed before their end left behind.
//
// A run makes its marker (RunMarkerPath, paths.h) in its private folder first
// thing after the folder, and holds it open, so that no other process can
// delete it or take it over, until it has removed the folder (the marker goes
// last, with the folder), or until its detached child has started, which
// keeps the folder. So a folder whose marker no one holds open belongs to a
// run that was killed. The run writes its child's process id into the
// marker once the child has started: a launcher killed while it waits may
// leave its child running from the folder, which then is not abandoned until
// that child has ended too.
//
// Every run, once its own child has ended (a detached package's: has
// started), removes the abandoned folders in the temporary folder it uses, so
// that it delays neither the child's start nor its work:
//   - only real folders (VisitFolders: no link, junction or file) of the
//     private folders' own names (IsPrivateFolderName);
//   - only when their marker can be taken over (ClaimMarker): not held by a
//     live run or by another run taking it over, not a link, its child, if
//     it records one, ended;
//   - holding the marker while the rest goes (RemoveFolder, which enters no
//     link and removes nothing unless the folder is the running account's),
//     so that a run killed in the middle leaves the folder to the next.
// A folder without a marker is never touched: a detached run's, whose child
// runs from it, one whose run could not make its marker, or one made by
// anything else. A run that could not make its marker goes on without;
// killed, it leaves its folder behind.
#pragma once

#include <string_view>

#include "platform/platform.h"

namespace stub {

// Removes the abandoned private folders inside `parent` (which ends with a
// backslash), as far as they can be removed.
void RemoveAbandonedFolders(Platform& platform, std::u16string_view parent);

}  // namespace stub
