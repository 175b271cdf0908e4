#include "tools/sfxpack/files/stdio64.h"

namespace sfxpack {
namespace {

bool Seek(std::FILE* file, int64_t offset, int origin) {
#ifdef _WIN32
  return _fseeki64(file, offset, origin) == 0;
#else
  return fseeko(file, static_cast<off_t>(offset), origin) == 0;
#endif
}

int64_t Tell(std::FILE* file) {
#ifdef _WIN32
  return _ftelli64(file);
#else
  return ftello(file);
#endif
}

}  // namespace

std::FILE* OpenForReading(const std::filesystem::path& path) {
#ifdef _WIN32
  return _wfopen(path.c_str(), L"rb");
#else
  return std::fopen(path.c_str(), "rb");
#endif
}

bool SeekTo(std::FILE* file, uint64_t offset) {
  return Seek(file, static_cast<int64_t>(offset), SEEK_SET);
}

std::optional<uint64_t> FileLength(std::FILE* file) {
  const int64_t position = Tell(file);
  if (position < 0 || !Seek(file, 0, SEEK_END)) return std::nullopt;
  const int64_t end = Tell(file);
  if (!Seek(file, position, SEEK_SET) || end < 0) return std::nullopt;
  return static_cast<uint64_t>(end);
}

}  // namespace sfxpack
