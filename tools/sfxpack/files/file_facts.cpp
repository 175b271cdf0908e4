// SPDX-License-Identifier: Zlib
#include "tools/sfxpack/files/file_facts.h"

namespace sfxpack {

std::string DescribeKind(FileKind kind) {
  switch (kind) {
    case FileKind::kMissing: return "missing";
    case FileKind::kRegular: return "a regular file";
    case FileKind::kFolder: return "a folder";
    case FileKind::kCharacterDevice: return "a character device";
    case FileKind::kFifo: return "a pipe";
    case FileKind::kSocket: return "a socket";
    case FileKind::kBlockDevice: return "a block device";
    case FileKind::kOther: return "a special file";
  }
  return "a special file";
}

}  // namespace sfxpack
