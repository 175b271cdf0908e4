// SPDX-License-Identifier: Zlib
// Positions in the C library's files with 64-bit offsets, on every system
// sfxpack is built for (files/system.h opens the files).
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>

namespace sfxpack {

// Moves the position of `file` to `offset` bytes from its start. False, with
// errno set, on failure.
bool SeekTo(std::FILE* file, uint64_t offset);

// The length of `file`, its position unchanged. Nullopt, with errno set, when
// the system cannot tell it.
std::optional<uint64_t> FileLength(std::FILE* file);

}  // namespace sfxpack
