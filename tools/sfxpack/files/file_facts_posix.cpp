// SPDX-License-Identifier: Zlib
// ExamineFile (files/file_facts.h) on POSIX systems.
#include "tools/sfxpack/files/file_facts.h"

#include <sys/stat.h>

#include "tools/sfxpack/files/posix_file_kind.h"

namespace sfxpack {

FileFacts ExamineFile(const std::filesystem::path& path) {
  FileFacts facts;
  struct stat status;
  if (stat(path.c_str(), &status) != 0) return facts;
  facts.kind = PosixFileKind(status.st_mode);
  facts.identity =
      FileIdentity{static_cast<uint64_t>(status.st_dev), static_cast<uint64_t>(status.st_ino)};
  facts.permissions = static_cast<uint32_t>(status.st_mode & 0777);
  return facts;
}

}  // namespace sfxpack
