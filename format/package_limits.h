// SPDX-License-Identifier: Zlib
// The limits and codes of the package format: every number a package's
// fields are checked against, by the launcher when it reads a package and by
// the tools when they write or inspect one.
#pragma once

#include <cstdint>

namespace stub {

// --- Offsets and lengths ------------------------------------------------------
// A package's header is read by one of two sets of limits: a package with the
// extension record (format/package_extension.h) by the unsigned 32-bit range
// of its fields, a package without it by the limits of the format's first
// version, whose launcher seeked with a signed 32-bit distance and held the
// compressed stream and the program in memory streams. PackageOffset is read
// before the header tells which, so it keeps the first version's limit in
// every package (it lies right behind the launcher image anyway).

// The first version's largest PackageOffset, StreamOffset and message offset.
inline constexpr uint64_t kMaxSeekOffset = 0x7FFFFFFF;

// The first version's largest inner program, and largest compressed stream:
// a memory stream of signed 32-bit counts whose capacity grew in whole
// 128 KiB blocks (16,383 of them).
inline constexpr uint32_t kMaxProgramLength = 2147352576;

// The most a header field may name, by one set of limits.
struct PackageLimits {
  uint64_t max_offset;          // StreamOffset, the message's Offset
  uint64_t max_stream_length;   // StreamLength
  uint64_t max_program_length;  // ProgramLength
};

inline constexpr PackageLimits kFirstVersionLimits = {kMaxSeekOffset, kMaxProgramLength,
                                                      kMaxProgramLength};
// Every value of the u32 fields: up to 4 GiB - 1 byte.
inline constexpr PackageLimits kExtensionRecordLimits = {0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF};

// TPackageMessage's length is a u16 count of UTF-16 code units.
inline constexpr uint32_t kMaxMessageLength = 0xFFFF;

// --- ElevationMode (header byte 17) -------------------------------------------
// Consulted only when the child is started through the shell and a silent
// switch is present; any other value means neither of the two.

inline constexpr uint8_t kElevationNone = 0;
inline constexpr uint8_t kElevationRunAs = 1;    // the shell verb "runas"
inline constexpr uint8_t kElevationNoAdmin = 2;  // " /noadmin" appended

// --- OsMask (header bytes 5 to 12): one bit per Windows version ---------------
// Bits 0 to 4 and 11 to 62 are not read. Versions 6.4 and later minors of 6
// have no bit and are always refused.

inline constexpr unsigned kOsBitXp = 5;       // 5.x
inline constexpr unsigned kOsBitVista = 6;    // 6.0
inline constexpr unsigned kOsBit7 = 7;        // 6.1
inline constexpr unsigned kOsBit8 = 8;        // 6.2
inline constexpr unsigned kOsBit8_1 = 9;      // 6.3
inline constexpr unsigned kOsBit10 = 10;      // 10.0; the release range applies
inline constexpr unsigned kOsBitNewer = 63;   // every version without a bit of its own

inline constexpr uint64_t OsBit(unsigned bit) { return uint64_t{1} << bit; }

// --- LZMA properties (header bytes 0 to 4) ------------------------------------
// Byte 0 is (pb * 5 + lp) * 9 + lc; bytes 1 to 4 the dictionary size, u32.

inline constexpr uint32_t kLzmaPropertiesSize = 5;
// 225 and above would mean pb 5.
inline constexpr uint8_t kMaxLzmaPropertiesByte = 224;
// The size read as a signed 32-bit value must not be negative.
inline constexpr uint32_t kMaxLzmaDictionarySize = 0x7FFFFFFF;

}  // namespace stub
