// SPDX-License-Identifier: Zlib
// The PE CheckSum of a file that is written piece by piece.
//
// The checksum is the sum of the file's 16-bit little-endian words with every
// carry folded back in (an odd last byte counts as a word of its own), plus
// the file's length; the CheckSum field itself counts as zero. Windows checks
// it only for drivers and boot files, but signing tools and scanners look at
// it, so a package carries the right value rather than the launcher's.
#pragma once

#include <cstdint>
#include <span>

namespace pe {

class PeChecksum {
 public:
  // Adds the next bytes of the file, in file order. Bytes to be counted as
  // zero (the CheckSum field, bytes filled in later) must be passed as zero.
  void Append(std::span<const uint8_t> bytes);
  // Adds bytes at an even `offset` that were passed as zeros before.
  void AddAt(uint64_t offset, std::span<const uint8_t> bytes);
  // The checksum of the file of `Append`ed bytes.
  uint32_t Finish() const;

 private:
  void AddWord(uint32_t word);

  uint64_t sum_ = 0;
  uint64_t length_ = 0;
};

}  // namespace pe
