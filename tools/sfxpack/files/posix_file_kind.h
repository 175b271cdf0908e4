// SPDX-License-Identifier: Zlib
// The FileKind of a POSIX file mode (st_mode), for file_facts_posix.cpp and
// system_posix.cpp.
#pragma once

#include <sys/stat.h>

#include "tools/sfxpack/files/file_facts.h"

namespace sfxpack {

inline FileKind PosixFileKind(mode_t mode) {
  return S_ISREG(mode)    ? FileKind::kRegular
         : S_ISDIR(mode)  ? FileKind::kFolder
         : S_ISCHR(mode)  ? FileKind::kCharacterDevice
         : S_ISFIFO(mode) ? FileKind::kFifo
         : S_ISSOCK(mode) ? FileKind::kSocket
         : S_ISBLK(mode)  ? FileKind::kBlockDevice
                          : FileKind::kOther;
}

}  // namespace sfxpack
