// SPDX-License-Identifier: Zlib
#include "tools/pe/pe_checksum.h"

namespace pe {

void PeChecksum::AddWord(uint32_t word) {
  sum_ += word;
  sum_ = (sum_ & 0xFFFF) + (sum_ >> 16);
}

void PeChecksum::Append(std::span<const uint8_t> bytes) {
  size_t i = 0;
  // An odd length so far leaves a low byte waiting for its high byte.
  if ((length_ & 1) != 0 && !bytes.empty()) AddWord(uint32_t{bytes[i++]} << 8);
  for (; i + 1 < bytes.size(); i += 2) AddWord(bytes[i] | (uint32_t{bytes[i + 1]} << 8));
  if (i < bytes.size()) AddWord(bytes[i]);
  length_ += bytes.size();
}

void PeChecksum::AddAt(uint64_t offset, std::span<const uint8_t> bytes) {
  for (size_t i = 0; i < bytes.size(); ++i) {
    AddWord((offset + i) % 2 == 0 ? uint32_t{bytes[i]} : uint32_t{bytes[i]} << 8);
  }
}

uint32_t PeChecksum::Finish() const {
  const uint64_t folded = (sum_ & 0xFFFF) + (sum_ >> 16);
  return static_cast<uint32_t>(folded + length_);
}

}  // namespace pe
