// SPDX-License-Identifier: Zlib
// The extension record: the header's second reserved field (header bytes 42
// to 63) put to use, for what the header's other fields have no room for.
//
// A package without the record holds anything in those 22 bytes (zeros, as
// every builder wrote them before the record existed) and is read exactly as
// before: an LZMA1 stream, no build limits. The record is there when the
// field starts with the tag; it is then read by its version.
//
// TPackageExtension, 22 bytes at header offset 42 (PackageOffset + 42):
//    0  4 bytes  Tag           the ASCII bytes "SFXE"
//    4  u8       Version       1
//    5  u8       StreamMethod  how the inner program is stored (kStreamMethod*)
//    6  u16      reserved      0
//    8  u32      MinBuild      lowest Windows 10.0 build admitted; 0 = no limit
//   12  u32      MaxBuild      highest Windows 10.0 build admitted; 0 = no limit
//   16  6 bytes  reserved      0
//
// A tagged record of another version, or with a stream method this table does
// not name, is a damaged package: the launcher cannot honour what it does not
// know, and guessing would run the wrong program or the right one on a
// Windows the vendor excluded. The reserved bytes are written as zero and not
// read.
//
// A package with the record, of any version, reads its header's offsets and
// lengths as unsigned 32-bit values: inner programs and packages up to 4 GiB
// - 1 byte (kExtensionRecordLimits in package_limits.h).
//
// The build limits apply only to Windows 10.0 (10 and 11, which share the
// version number), after the OsMask and release-id gate has admitted it; the
// build number is the one the version query reports.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace stub {

inline constexpr size_t kPackageExtensionOffset = 42;  // within TPackageHeader
inline constexpr size_t kPackageExtensionSize = 22;
inline constexpr std::array<uint8_t, 4> kPackageExtensionTag = {'S', 'F', 'X', 'E'};
inline constexpr uint8_t kPackageExtensionVersion = 1;

// StreamMethod values.
inline constexpr uint8_t kStreamMethodLzma1 = 0;     // raw LZMA1, as without the record
inline constexpr uint8_t kStreamMethodStored = 1;    // the program itself; StreamLength
                                                     // equals ProgramLength
inline constexpr uint8_t kStreamMethodX86Lzma1 = 2;  // raw LZMA1 of the program after
                                                     // the x86 branch filter (BCJ, start
                                                     // offset 0)
inline constexpr uint8_t kStreamMethodXz = 3;        // one standard .xz stream (LZMA2,
                                                     // x86 filter where the blocks say
                                                     // so) that decodes to exactly
                                                     // ProgramLength and ends exactly
                                                     // at StreamLength
inline constexpr uint8_t kLastStreamMethod = kStreamMethodXz;

struct TPackageExtension {
  uint8_t StreamMethod = kStreamMethodLzma1;
  uint32_t MinBuild = 0;
  uint32_t MaxBuild = 0;
};

using PackageExtensionBytes = std::array<uint8_t, kPackageExtensionSize>;

enum class ExtensionStatus {
  kAbsent,          // no tag: a package as before the record
  kPresent,         // a record this reader knows
  kUnknownVersion,  // tagged, of another version: damaged
  kUnknownMethod,   // tagged, version 1, an unnamed stream method: damaged
};

// True when the header's second reserved field starts with the record's tag:
// the package is read by the record's rules, whatever its version says.
bool HasExtensionTag(const PackageExtensionBytes& bytes);

// Reads the record from the header's second reserved field. `extension` is
// set to the record's fields when kPresent, to the defaults (LZMA1, no
// limits) when kAbsent, and left as the defaults otherwise.
ExtensionStatus DecodePackageExtension(const PackageExtensionBytes& bytes,
                                       TPackageExtension& extension);

// The record's 22 bytes: tag, version 1, the fields, zeros.
PackageExtensionBytes EncodePackageExtension(const TPackageExtension& extension);

// True when `build` lies within the record's limits (a limit of 0 is none).
bool BuildAdmitted(const TPackageExtension& extension, uint32_t build);

}  // namespace stub
