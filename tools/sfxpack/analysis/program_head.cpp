// SPDX-License-Identifier: Zlib
#include "tools/sfxpack/analysis/program_head.h"

#include <algorithm>

#include "tools/pe/windows_program.h"

namespace sfxpack {

void ProgramHead::Add(std::span<const uint8_t> chunk) {
  const size_t to_head = std::min(chunk.size(), kProgramHeadSize - head_.size());
  head_.insert(head_.end(), chunk.begin(), chunk.begin() + to_head);
  if (!looked_ && head_.size() == kProgramHeadSize) FindFurtherRange();
  // The part of the further range this chunk holds.
  const uint64_t chunk_end = size_ + chunk.size();
  const uint64_t further_end = further_offset_ + further_.size();
  const uint64_t from = std::max(size_, further_offset_);
  const uint64_t to = std::min(chunk_end, further_end);
  if (from < to) {
    std::copy(chunk.begin() + (from - size_), chunk.begin() + (to - size_),
              further_.begin() + (from - further_offset_));
  }
  size_ = chunk_end;
}

void ProgramHead::FindFurtherRange() {
  looked_ = true;
  pe::WhyNotWindowsProgram(expected_size_, [this](uint64_t offset, size_t count) {
    if (further_.empty() && (offset >= head_.size() || count > head_.size() - offset)) {
      further_offset_ = offset;
      further_.assign(count, 0);
    }
    return Read(offset, count);
  });
}

// The bytes of the program at `offset`, as far as they are kept and added.
std::vector<uint8_t> ProgramHead::Read(uint64_t offset, size_t count) const {
  std::vector<uint8_t> bytes;
  for (uint64_t at = offset; at < offset + count; ++at) {
    if (at < head_.size()) {
      bytes.push_back(head_[at]);
    } else if (at < size_ && at >= further_offset_ && at - further_offset_ < further_.size()) {
      bytes.push_back(further_[at - further_offset_]);
    } else {
      break;
    }
  }
  return bytes;
}

std::optional<std::string> ProgramHead::WhyNotWindowsProgram() const {
  return pe::WhyNotWindowsProgram(
      size_, [this](uint64_t offset, size_t count) { return Read(offset, count); });
}

}  // namespace sfxpack
