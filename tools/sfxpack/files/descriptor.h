// SPDX-License-Identifier: Zlib
// Outputs named by one of the process's open descriptors: /dev/stdout,
// /dev/stderr, /dev/fd/N, /proc/self/fd/N.
//
// Such a name leads to whatever the caller opened: a log the shell opened
// with `>` or `>>`, a pipe, a terminal. A file created beside it and renamed
// over it would replace the log (and what the shell writes after sfxpack
// would go to the replaced file), so an output named so is written through
// the descriptor itself, where the descriptor stands: at its current
// position, at the end when it was opened for appending.
//
// descriptor_posix.cpp and descriptor_win32.cpp implement it; Windows has no
// such names.
#pragma once

#include <cstddef>
#include <cstdio>
#include <filesystem>
#include <optional>

#include "tools/sfxpack/files/file_facts.h"

namespace sfxpack {

// The descriptor `path` names, directly or through symbolic links:
// /dev/stdout (1), /dev/stderr (2), /dev/stdin (0), /dev/fd/N,
// /proc/self/fd/N, /proc/thread-self/fd/N and /proc/PID/fd/N of this
// process. Nullopt for any other path, and always on Windows.
std::optional<int> DescriptorNamedBy(const std::filesystem::path& path);

struct DescriptorFacts {
  bool writable = false;  // open, for writing
  bool terminal = false;
  std::optional<FileIdentity> identity;
};
DescriptorFacts ExamineDescriptor(int descriptor);

// Whether `path` names a descriptor that leads where standard output goes:
// descriptor 1, or another that shares its file, pipe or terminal. Text
// meant for standard output must then go elsewhere.
inline bool ReachesStandardOutput(const std::filesystem::path& path) {
  const std::optional<int> descriptor = DescriptorNamedBy(path);
  if (!descriptor || *descriptor == 1) return descriptor.has_value();
  const std::optional<FileIdentity> identity = ExamineDescriptor(*descriptor).identity;
  return identity && identity == ExamineDescriptor(1).identity;
}

// Writes all of `bytes` to `descriptor`, retrying after interruptions and
// partial writes. False, with errno set, on failure.
bool WriteToDescriptor(int descriptor, const void* bytes, size_t count);

// A temporary file for reading and writing that has no name, so nothing is
// left behind however the process ends. Null, with errno set, on failure.
std::FILE* CreateUnnamedTemporary();

}  // namespace sfxpack
