// SPDX-License-Identifier: Zlib
// A short text output that may also go to a terminal or a pipe: what
// --exit-code-file writes.
//
// A regular file (or a new one) is written as AtomicOutput writes it, and so
// is an open descriptor (/dev/stdout, /dev/fd/N), through the descriptor. A
// character device or a pipe named otherwise (/dev/null, /dev/tty, a named
// pipe; NUL or CON on Windows) is opened and written in place, never
// replaced. A folder, a socket or a block device is refused.
#pragma once

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "tools/sfxpack/files/atomic_output.h"

namespace sfxpack {

class TextOutput {
 public:
  // Opens the device, or creates AtomicOutput's temporary file, so a target
  // that cannot be written fails before any work. Throws a UsageFailure for a
  // target of the wrong kind, a Failure when it cannot be opened or created.
  explicit TextOutput(const std::filesystem::path& target);
  ~TextOutput();
  TextOutput(const TextOutput&) = delete;
  TextOutput& operator=(const TextOutput&) = delete;

  // Writes `text` and finishes the output; call once.
  void WriteAndFinish(const std::string& text);

 private:
  std::filesystem::path target_;
  std::unique_ptr<AtomicOutput> file_;
  std::FILE* device_ = nullptr;
};

}  // namespace sfxpack
