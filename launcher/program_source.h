// SPDX-License-Identifier: Zlib
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

#include "decoding/memory_stream.h"
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
  // The program `header` describes: the decoded one, ProgramLength bytes at
  // `decoded`'s Memory, or with `decoded` null the stored one, at StreamOffset
  // of `package` (its extent checked by CheckStoredStream, payload.h).
  ProgramSource(Progress& progress, const TPackageHeader& header, PlatformFile& package,
                const TStream* decoded)
      : progress_(progress),
        file_(decoded == nullptr ? &package : nullptr),
        data_(decoded == nullptr ? nullptr : decoded->Memory()),
        offset_(header.StreamOffset),
        remaining_(header.ProgramLength) {}

  // Reports the chunk handed out last as written, then hands out the next
  // one: `size` bytes at `data`, valid until the next call.
  SourceStatus Next(const uint8_t*& data, uint32_t& size);

 private:
  Progress& progress_;
  PlatformFile* file_;  // null: the program is in memory
  const uint8_t* data_;
  uint64_t offset_;  // the stored program's, for the first read
  uint32_t remaining_;
  uint32_t handed_out_ = 0;
  std::unique_ptr<uint8_t[]> buffer_;
};

}  // namespace stub
