// SPDX-License-Identifier: Zlib
#include "tools/sfxpack/files/stdio64.h"

#include "tools/sfxpack/files/system.h"

namespace sfxpack {

bool SeekTo(std::FILE* file, uint64_t offset) {
  return Seek64(file, static_cast<int64_t>(offset), SEEK_SET);
}

std::optional<uint64_t> FileLength(std::FILE* file) {
  const int64_t position = Tell64(file);
  if (position < 0 || !Seek64(file, 0, SEEK_END)) return std::nullopt;
  const int64_t end = Tell64(file);
  if (!Seek64(file, position, SEEK_SET) || end < 0) return std::nullopt;
  return static_cast<uint64_t>(end);
}

}  // namespace sfxpack
