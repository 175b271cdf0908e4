// SPDX-License-Identifier: Zlib
// What sfxpack keeps of an inner program as it streams by, for the check
// whether Windows can start it (pe::WhyNotWindowsProgram), so that verify
// never holds the program whole: its length, its first kProgramHeadSize
// bytes, and the few bytes that check asks for further in (the PE signature
// that the DOS header points to), wherever they lie.
//
// Which bytes lie further in is known once the first kProgramHeadSize bytes
// are in: the check is run on them then, with the program's expected length,
// and the first range it asks for beyond them is kept as it passes. A program
// shorter than that is kept whole.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace sfxpack {

inline constexpr size_t kProgramHeadSize = 4096;

class ProgramHead {
 public:
  // `expected_size`: the length the program should have (the header's
  // ProgramLength), for the early look at its start.
  explicit ProgramHead(uint64_t expected_size) : expected_size_(expected_size) {}

  // The program's next bytes, in order.
  void Add(std::span<const uint8_t> chunk);

  // The bytes added so far.
  uint64_t size() const { return size_; }

  // pe::WhyNotWindowsProgram on the program of size() bytes added.
  std::optional<std::string> WhyNotWindowsProgram() const;

 private:
  void FindFurtherRange();
  std::vector<uint8_t> Read(uint64_t offset, size_t count) const;

  uint64_t expected_size_;
  uint64_t size_ = 0;
  std::vector<uint8_t> head_;
  bool looked_ = false;
  uint64_t further_offset_ = 0;
  std::vector<uint8_t> further_;  // the range at further_offset_, kept as it passes
};

}  // namespace sfxpack
