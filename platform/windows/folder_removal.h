// SPDX-License-Identifier: Zlib
// Removing a private folder with whatever the inner program left in it.
#pragma once

#include <string>

namespace stub {

// Removes the folder `folder` (which ends with a backslash) with everything in
// it, as far as Windows lets it: a file still in use stays, and so do the
// folders that hold it. A link or junction inside is removed itself; what it
// points to is never entered. Entries deeper than MAX_PATH stay too.
void RemoveFolderTree(const std::u16string& folder);

}  // namespace stub
