// The bytes of the temporary copy, a chunk at a time: the decoded program from
// memory, or a stored program straight from the package file.
//
// A stored program is never held whole: it is read into one buffer of at
// most kCopyChunkSize bytes and written from there, so the launcher's memory
// stays the same whatever the program's size. Between chunks the progress
// hears what was written, and a cancel stops the copy there.
#pragma once

#include <cstdint>
#include <memory>

#include "format/package_records.h"
#include "launcher/progress.h"
#include "platform/platform.h"

namespace stub {

// A few milliseconds of writing, and the most a stored copy holds in memory.
inline constexpr uint32_t kCopyChunkSize = 4u << 20;

enum class SourceStatus {
  kChunk,      // another chunk to write
  kEnd,        // every byte has been handed out and reported written
  kDamaged,    // the package file gave fewer bytes than the header names
  kCancelled,  // the user cancelled
};

class ProgramSource {
 public:
  // The decoded program: `size` bytes at `data`.
  ProgramSource(const uint8_t* data, uint32_t size, Progress& progress)
      : progress_(progress), data_(data), remaining_(size) {}

  // A stored program: ProgramLength bytes at StreamOffset of `file`, whose
  // extent CheckStoredStream (payload.h) has checked.
  ProgramSource(PlatformFile& file, const TPackageHeader& header, Progress& progress)
      : progress_(progress), file_(&file), offset_(header.StreamOffset),
        remaining_(header.ProgramLength) {}

  // Reports the chunk handed out last as written, then hands out the next
  // one: `size` bytes at `data`, valid until the next call.
  SourceStatus Next(const uint8_t*& data, uint32_t& size);

 private:
  Progress& progress_;
  PlatformFile* file_ = nullptr;  // null: the program is in memory
  const uint8_t* data_ = nullptr;
  uint64_t offset_ = 0;  // of the stored program's next chunk, until the first read
  uint32_t remaining_;
  uint32_t handed_out_ = 0;
  std::unique_ptr<uint8_t[]> buffer_;
};

}  // namespace stub
