// SPDX-License-Identifier: Zlib
// Whether Windows can start a file as a program: the first things its loader
// looks at, before anything else in the image.
//
// Layout facts relied on (little-endian):
//   offset 0    "MZ"
//   offset 60   u32 e_lfanew: the offset of the PE signature
//   e_lfanew    "PE\0\0", then the COFF header, whose first field (+4) is the
//               u16 Machine and whose +16 is the u16 SizeOfOptionalHeader
//   e_lfanew + 24  the optional header: u16 magic, 0x10B (PE32) or 0x20B
//               (PE32+); NumberOfRvaAndSizes at +92 (PE32) or +108 (PE32+),
//               the data directories at +96 or +112, 8 bytes each; entry 4,
//               the certificate table, holds a file offset and a size
// A file that fails these checks cannot be started on any Windows: starting it
// fails with ERROR_BAD_EXE_FORMAT.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace pe {

inline constexpr uint16_t kMachineI386 = 0x14C;
inline constexpr uint16_t kMachineArm64 = 0xAA64;
// kMachineAmd64 (0x8664) is in pe_image.h.

// The Windows error of starting a file that is not a program Windows runs.
inline constexpr uint32_t kErrorBadExeFormat = 193;

// Why Windows cannot start the file `file` as a program ("it does not start
// with MZ", "its machine type 0x200 is none that Windows runs (x86-64, x86,
// ARM64)"), or nullopt when its DOS header, PE signature and machine type are
// those of a program for x86-64, x86 or ARM64 Windows.
std::optional<std::string> WhyNotWindowsProgram(std::span<const uint8_t> file);

// Reads `size` bytes at `offset` of a program: all of them when they lie
// within it, fewer only at its end.
using ProgramReader = std::function<std::vector<uint8_t>(uint64_t offset, size_t size)>;

// The same for a program of `size` bytes that is not held in memory: only the
// DOS header and the PE signature's 6 bytes are read.
std::optional<std::string> WhyNotWindowsProgram(uint64_t size, const ProgramReader& read);

// The machine type (kMachineAmd64, kMachineI386 or kMachineArm64) of a file
// that WhyNotWindowsProgram accepts; nullopt for any other file.
std::optional<uint16_t> WindowsProgramMachine(std::span<const uint8_t> file);
// The same for a program not held in memory, of which only headers are read.
std::optional<uint16_t> WindowsProgramMachine(uint64_t size, const ProgramReader& read);

// True when the program `file` carries an Authenticode signature: its
// certificate directory entry names a table of nonzero size that lies within
// the file. Whether the signature is valid is not checked. False for anything
// that is not a PE32 or PE32+ image.
bool HasCertificateTable(std::span<const uint8_t> file);
// The same for a program not held in memory, of which only headers are read.
bool HasCertificateTable(uint64_t size, const ProgramReader& read);

// The same for a program of `size` bytes that is not held in memory: only
// its headers up to the certificate directory entry are read.
bool HasCertificateTable(uint64_t size, const ProgramReader& read);

}  // namespace pe
