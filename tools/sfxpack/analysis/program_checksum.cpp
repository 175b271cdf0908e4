// SPDX-License-Identifier: Zlib
#include "tools/sfxpack/analysis/program_checksum.h"

#include <algorithm>
#include <cstdio>

#include "format/little_endian.h"
#include "tools/pe/pe_image.h"

namespace sfxpack {
namespace {

constexpr size_t kDosHeaderSize = 64;

}  // namespace

void ProgramChecksum::Add(std::span<const uint8_t> chunk) {
  const size_t to_dos = std::min(chunk.size(), kDosHeaderSize - dos_header_.size());
  dos_header_.insert(dos_header_.end(), chunk.begin(), chunk.begin() + to_dos);
  if (!field_offset_ && dos_header_.size() == kDosHeaderSize) {
    field_offset_ = uint64_t{stub::ReadLe32(&dos_header_[pe::kPeHeaderOffsetField])} + 4 +
                    pe::kCoffHeaderSize + pe::kOptCheckSum;
  }
  // Without the field's offset, the chunk lies within the DOS header, before
  // the field (at 88 or beyond).
  const uint64_t field = field_offset_.value_or(UINT64_MAX - field_.size());
  const uint64_t end = size_ + chunk.size();
  const size_t from = static_cast<size_t>(std::clamp(field, size_, end) - size_);
  const size_t to = static_cast<size_t>(std::clamp(field + field_.size(), size_, end) - size_);
  const uint8_t zeros[4] = {};
  if (from < to) {
    std::copy(chunk.begin() + from, chunk.begin() + to, field_.begin() + (size_ + from - field));
  }
  checksum_.Append(chunk.first(from));
  checksum_.Append(std::span(zeros, to - from));
  checksum_.Append(chunk.subspan(to));
  size_ = end;
}

std::optional<uint32_t> ProgramChecksum::Stated() const {
  if (!field_offset_ || size_ < *field_offset_ + field_.size()) return std::nullopt;
  return stub::ReadLe32(field_.data());
}

std::optional<std::string> ChecksumWarning(const ProgramChecksum& program) {
  const std::optional<uint32_t> stated = program.Stated();
  if (!stated || *stated == 0 || *stated == program.Computed()) return std::nullopt;
  char text[256];
  std::snprintf(text, sizeof text,
                "the decoded inner program's PE checksum is 0x%08X, its header says 0x%08X: the "
                "package may decode into another program than was packed (its CRC-32 covers "
                "only the package as stored)",
                static_cast<unsigned>(program.Computed()), static_cast<unsigned>(*stated));
  return text;
}

}  // namespace sfxpack
