// SPDX-License-Identifier: Zlib
// What a path names on this machine, as sfxpack needs to know it before it
// writes: the kind of file, and its identity, which tells two names of one
// file apart from two files (through hard links, symbolic links, "..", letter
// case on Windows).
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace sfxpack {

enum class FileKind {
  kMissing,          // nothing of that name (or a link to nothing)
  kRegular,
  kFolder,
  kCharacterDevice,  // a terminal, /dev/null, /dev/stdout on a terminal; NUL, CON on Windows
  kFifo,             // a named or anonymous pipe (/dev/stdout into a pipe)
  kSocket,
  kBlockDevice,
  kOther,            // anything else, or what cannot be examined (Windows)
};

// Device and inode on POSIX systems; volume serial number and file index on
// Windows.
struct FileIdentity {
  uint64_t volume = 0;
  uint64_t index = 0;
  bool operator==(const FileIdentity&) const = default;
};

struct FileFacts {
  FileKind kind = FileKind::kMissing;
  // Known for every existing file that could be examined.
  std::optional<FileIdentity> identity;
  // The permission bits (0777) of an existing file; POSIX systems only.
  std::optional<uint32_t> permissions;
};

// Examines `path`, following symbolic links. Never throws: a path that cannot
// be examined for another reason than its absence is kOther on Windows and
// kMissing on POSIX systems (creating it will then report why).
// file_facts_posix.cpp and file_facts_win32.cpp implement it.
FileFacts ExamineFile(const std::filesystem::path& path);

// "a folder", "a character device", "a pipe", "a socket", "a block device".
std::string DescribeKind(FileKind kind);

}  // namespace sfxpack
