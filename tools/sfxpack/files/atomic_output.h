// SPDX-License-Identifier: Zlib
// An output file that appears complete or not at all.
//
// The bytes go to a temporary file beside the target (same folder, so the
// final rename never crosses file systems); Commit() flushes it to disk and
// renames it over the target in one step. Until then the target is untouched.
// The temporary file is removed when the object is destroyed uncommitted (any
// error, any exception) and when the process is ended by a signal it can
// catch (OnEndingSignals: SIGINT, SIGTERM, SIGPIPE, SIGUSR1, ...) or, on
// Windows, by Ctrl+C, Ctrl+Break or the closing of its console. What a process
// ended otherwise (SIGKILL, TerminateProcess) left is removed by the next
// AtomicOutput of the same target (temporary_names.h).
//
// Only regular files are written: a target that is a folder, a device, a pipe
// or a socket is refused before anything is created (replacing /dev/null with
// a file would break the system). Symbolic links are followed: the file they
// lead to is replaced and the links stay. A replaced file keeps its permission
// bits; a new one gets the usual mode under the umask, executable for a
// program.
//
// A target that names an open descriptor (/dev/stdout, /dev/fd/N:
// files/descriptor.h) is the exception: it cannot be replaced in one step, so
// the bytes go to an unnamed temporary file, and Commit() copies them through
// the descriptor. Nothing reaches the descriptor before Commit(); a failure
// during the copy (a closed pipe, a full disk) can leave part of it written.
// A program is not written to a terminal.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "tools/sfxpack/files/file_io.h"

namespace sfxpack {

// What an output holds: a program gets the executable bits where the system
// has them (POSIX), data does not.
enum class OutputContent { kData, kProgram };

class AtomicOutput {
 public:
  // Examines `target` and creates the temporary file. Throws a UsageFailure
  // when the target exists and is not a regular file (or is a terminal
  // descriptor, for a program), and a Failure naming the target when its
  // folder cannot take the temporary file or its descriptor is not open for
  // writing. At most four AtomicOutputs may be open at a time.
  AtomicOutput(const std::filesystem::path& target, OutputContent content);
  ~AtomicOutput();
  AtomicOutput(const AtomicOutput&) = delete;
  AtomicOutput& operator=(const AtomicOutput&) = delete;

  // Appends `bytes`; throws on a write error (a full disk, say).
  void Write(std::span<const uint8_t> bytes);
  // Overwrites bytes already written, at `offset`; the end stays where it is.
  void WriteAt(uint64_t offset, std::span<const uint8_t> bytes);
  // Drops what was written behind the first `size` bytes; the next Write
  // appends there.
  void Truncate(uint64_t size);
  // The bytes written so far, or what another program made of them after
  // CloseForRewrite(): `count` bytes at `offset`, fewer at the end.
  std::vector<uint8_t> ReadBack(uint64_t offset, size_t count);
  // Their number.
  uint64_t size();

  // Closes the temporary file, so that another program may rewrite it by its
  // name (a signing tool, which may also replace it with a new file) before
  // Commit(). Not for an output through a descriptor, whose temporary file
  // has no name.
  void CloseForRewrite();

  // Flushes, closes and renames the temporary file over the target, or
  // copies it through the target's descriptor. After CloseForRewrite(), the
  // file as the other program left it is flushed to the disk and given the
  // permission bits the temporary file was created with, first; a name that
  // no longer holds a regular file fails.
  void Commit();

  const std::filesystem::path& temporary_path() const { return temporary_; }
  // The descriptor the target names, if it names one.
  std::optional<int> descriptor() const { return descriptor_; }

 private:
  [[noreturn]] void ThrowWriteError();
  void OpenForDescriptor(int descriptor, OutputContent content);
  void CopyToDescriptor();

  std::filesystem::path target_;    // as named, for messages
  std::filesystem::path replaced_;  // the file the rename replaces: target_, links followed
  std::filesystem::path temporary_;
  std::FILE* file_ = nullptr;
  std::unique_ptr<InputFile> rewritten_;  // the temporary file, read after CloseForRewrite()
  std::optional<uint32_t> permissions_;   // of the temporary file as created (POSIX)
  bool closed_for_rewrite_ = false;
  std::optional<int> descriptor_;
  int pending_slot_ = -1;
  uint64_t end_ = 0;
  bool committed_ = false;
};

}  // namespace sfxpack
