// SPDX-License-Identifier: Zlib
#include "launcher/program_source.h"

namespace stub {

SourceStatus ProgramSource::Next(const uint8_t*& data, uint32_t& size) {
  if (!progress_.Advance(handed_out_)) return SourceStatus::kCancelled;
  if (remaining_ == 0) return SourceStatus::kEnd;
  size = remaining_ < kCopyChunkSize ? remaining_ : kCopyChunkSize;
  if (file_ == nullptr) {
    data = data_;
    data_ += size;
  } else {
    // One seek to the stream, then reads in order: only StreamOffset needs to
    // lie where the launcher can seek.
    if (!buffer_) {
      buffer_.reset(new uint8_t[size]);
      if (!ReadExactlyAt(*file_, offset_, buffer_.get(), size)) return SourceStatus::kDamaged;
    } else if (file_->Read(buffer_.get(), size) != size) {
      return SourceStatus::kDamaged;
    }
    data = buffer_.get();
  }
  remaining_ -= size;
  handed_out_ = size;
  return SourceStatus::kChunk;
}

}  // namespace stub
