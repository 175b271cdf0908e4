// An output file that appears complete or not at all.
//
// The bytes go to a temporary file beside the target (same folder, so the
// final rename never crosses file systems); Commit() flushes it to disk and
// renames it over the target in one step. Until then the target is untouched.
// The temporary file is removed when the object is destroyed uncommitted (any
// error, any exception) and when the process is interrupted (SIGINT, SIGTERM).
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <span>

namespace sfxpack {

class AtomicOutput {
 public:
  // Creates the temporary file. Throws a Failure naming the target when the
  // folder cannot take it. Only one AtomicOutput may be open at a time.
  explicit AtomicOutput(const std::filesystem::path& target);
  ~AtomicOutput();
  AtomicOutput(const AtomicOutput&) = delete;
  AtomicOutput& operator=(const AtomicOutput&) = delete;

  // Appends `bytes`; throws on a write error (a full disk, say).
  void Write(std::span<const uint8_t> bytes);
  // Overwrites bytes already written, at `offset`; the end stays where it is.
  void WriteAt(uint64_t offset, std::span<const uint8_t> bytes);
  // Flushes, closes and renames the temporary file over the target.
  void Commit();

  const std::filesystem::path& temporary_path() const { return temporary_; }

 private:
  [[noreturn]] void ThrowWriteError();

  std::filesystem::path target_;
  std::filesystem::path temporary_;
  std::FILE* file_ = nullptr;
  uint64_t end_ = 0;
  bool committed_ = false;
};

}  // namespace sfxpack
