// SPDX-License-Identifier: Zlib
// The PE CheckSum of an inner program as it streams by, and the one its
// header states, so that verify can tell a program that decodes differently
// from the one that was packed without holding it whole.
//
// The package's CRC-32 covers the package as stored, not the program it
// decodes to: a stream method switched between LZMA1 and x86 + LZMA1 (with
// the CRC made to fit) still decodes, into a program whose call and jump
// targets differ but whose headers still pass the start check. The program's
// own CheckSum, where its linker or signing tool wrote one, catches that.
//
// The CheckSum field lies at e_lfanew + 4 + kCoffHeaderSize + kOptCheckSum
// (88 bytes behind the PE signature, in PE32 and PE32+ alike); e_lfanew is in
// the first 64 bytes, so the field's place is known before its bytes pass,
// and they are summed as zeros, as Windows' CheckSumMappedFile counts them.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "tools/pe/pe_checksum.h"

namespace sfxpack {

class ProgramChecksum {
 public:
  // The program's next bytes, in order.
  void Add(std::span<const uint8_t> chunk);

  // The PE checksum of the bytes added, the CheckSum field counted as zero.
  uint32_t Computed() const { return checksum_.Finish(); }

  // The CheckSum field of the bytes added, or nullopt when they end before
  // it. Meaningful for a program the start check accepts
  // (pe::WhyNotWindowsProgram).
  std::optional<uint32_t> Stated() const;

 private:
  std::vector<uint8_t> dos_header_;      // the first 64 bytes, as they pass
  std::optional<uint64_t> field_offset_;  // known once dos_header_ is whole
  std::array<uint8_t, 4> field_{};
  uint64_t size_ = 0;
  pe::PeChecksum checksum_;
};

// The warning verify prints when the program states a nonzero CheckSum that
// differs from the computed one; nullopt when it states none (0, as many
// linkers leave it), when it is too short to hold one, or when the two agree.
std::optional<std::string> ChecksumWarning(const ProgramChecksum& program);

}  // namespace sfxpack
