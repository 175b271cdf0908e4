// SPDX-License-Identifier: Zlib
// Files as sfxpack reads them: paths given in UTF-8, random access to files of
// any size, and whole small files. Every failure throws a Failure whose text
// names the file and what went wrong.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

namespace sfxpack {

// Paths cross the command line as UTF-8 (main() converts Windows' UTF-16
// arguments), and are shown to the user the same way.
std::filesystem::path PathFromUtf8(const std::string& utf8);
std::string PathToUtf8(const std::filesystem::path& path);
// 'path' in single quotes, for messages.
std::string Quote(const std::filesystem::path& path);

// The system's text for the last C library error (errno); for EFBIG under a
// file-size limit, the limit.
std::string LastErrorText();

// Flushes the standard output; throws a Failure when what was printed to it
// could not all be written (a full disk, a file-size limit).
void FinishStandardOutput();

// A regular file opened for reading, read at absolute offsets.
class InputFile {
 public:
  // Opens `path`; `role` names it in errors ("inner program", "package").
  // Anything but a regular file (a folder, a device, a FIFO, a socket) is
  // refused at once, without waiting for it, with a Failure that says what
  // it is.
  InputFile(const std::filesystem::path& path, const std::string& role);
  ~InputFile();
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  uint64_t size() const { return size_; }
  const std::filesystem::path& path() const { return path_; }

  // Reads up to `count` bytes at `offset`; returns how many arrived (fewer
  // only at the end of the file). Throws on a read error.
  size_t ReadAt(uint64_t offset, void* buffer, size_t count);
  // The bytes at `offset`, as many of `count` as the file holds.
  std::vector<uint8_t> ReadRange(uint64_t offset, size_t count);

 private:
  std::filesystem::path path_;
  std::string role_;
  std::FILE* file_ = nullptr;
  uint64_t size_ = 0;
};

// Reads a whole file. Throws when it cannot be read or is larger than
// `max_size` bytes (checked before reading).
std::vector<uint8_t> ReadWholeFile(const std::filesystem::path& path, const std::string& role,
                                   uint64_t max_size);

}  // namespace sfxpack
