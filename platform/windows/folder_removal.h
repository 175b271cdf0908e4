// SPDX-License-Identifier: Zlib
// Removing a private folder with whatever the inner program left in it, and
// finding the folders of a temporary folder.
#pragma once

#include <string>

#include "platform/platform.h"

namespace stub {

// Removes the folder `folder` (which ends with a backslash) with everything in
// it, as far as Windows lets it: a file still in use stays, and so do the
// folders that hold it. A link or junction inside is removed itself; what it
// points to is never entered. Entries deeper than MAX_PATH stay too. Nothing
// is removed unless `folder` is a real folder, not a reparse point, owned by
// the running account (its token's user or default owner, which a folder
// the account makes gets), which it keeps being, held open, while its
// contents go.
void RemoveFolderTree(const std::u16string& folder);

// Tells `visitor` the name of each real folder directly inside `parent` (which
// ends with a backslash): no reparse point, no file.
void VisitRealFolders(const std::u16string& parent, FolderVisitor& visitor);

}  // namespace stub
