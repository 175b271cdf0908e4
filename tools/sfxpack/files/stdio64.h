// The C library's files with 64-bit offsets, on every system sfxpack is built
// for: on Windows the long that fseek and ftell take has 32 bits, and the
// narrow fopen cannot open every path.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <optional>

namespace sfxpack {

// Opens `path` for reading, in binary mode. Null, with errno set, on failure.
std::FILE* OpenForReading(const std::filesystem::path& path);

// Moves the position of `file` to `offset` bytes from its start. False, with
// errno set, on failure.
bool SeekTo(std::FILE* file, uint64_t offset);

// The length of `file`, its position unchanged. Nullopt, with errno set, when
// the system cannot tell it.
std::optional<uint64_t> FileLength(std::FILE* file);

}  // namespace sfxpack
