// SPDX-License-Identifier: Zlib
// The fixed records of a setup package.
//
// A setup package is the launcher's program image with package data appended
// (and, when signed, an Authenticode certificate table behind that):
//
//   offset 0              DOS header; its new-header pointer (offset 60) is 256
//   offset 128, 24 bytes  TPackageLocator, in the free space behind the DOS stub
//   offset 256            PE headers and sections of the launcher
//   PackageOffset         TPackageHeader (70 bytes), then the stream of the
//                         inner setup program (raw LZMA1 unless the extension
//                         record names another method), the message texts and
//                         any further package data
//   end of file           optional certificate table
//
// TPackageLocator, 24 bytes at offset 128:
//    0  u32  PackageOffset  offset of TPackageHeader; 0 = no package attached
//    4  u32  CrcLength      bytes covered by the checksum, from PackageOffset
//    8  u32  CrcValue       CRC-32 of those bytes
//   12  i64  MinFileSize    file length as built; signing makes it longer
//   20  u32  DetachedSize   normally 0; see the size test and the launch
//
// TPackageHeader, 70 bytes at PackageOffset:
//    0  5 bytes  LZMA properties: properties byte, u32 dictionary size
//    5  u64      OsMask         supported Windows versions, one bit each
//   13  u16      MinReleaseId   lowest supported Windows 10 release id
//   15  u16      MaxReleaseId   highest supported Windows 10 release id
//   17  u8       ElevationMode  0, 1 (runas) or 2 (/noadmin)
//   18  12 bytes reserved
//   30  u32      StreamOffset   offset of the stream (extension record: its method)
//   34  u32      StreamLength   its length in bytes
//   38  u32      ProgramLength  length of the inner program after decoding
//   42  22 bytes reserved: the extension record, when it starts with its tag
//                (format/package_extension.h)
//   64  6 bytes  UnsupportedOsMessage, a TPackageMessage
//
// TPackageMessage, 6 bytes:
//    0  u32  Offset  absolute offset of the text
//    4  u16  Length  length of the text in UTF-16 code units
// The text is UTF-16LE without a terminator.
//
// All fields are little-endian; all offsets are absolute file offsets. The
// records are decoded and encoded field by field, never by casting a struct
// over the bytes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "format/package_extension.h"
#include "format/package_limits.h"

namespace stub {

inline constexpr uint32_t kPackageLocatorOffset = 128;
inline constexpr size_t kPackageLocatorSize = 24;
inline constexpr size_t kPackageHeaderSize = 70;
inline constexpr size_t kPackageMessageSize = 6;
// The launcher's PE header follows the locator's free space.
inline constexpr uint32_t kPeHeaderOffset = 256;

struct TPackageMessage {
  uint32_t Offset = 0;
  uint16_t Length = 0;
};

struct TPackageLocator {
  uint32_t PackageOffset = 0;
  uint32_t CrcLength = 0;
  uint32_t CrcValue = 0;
  int64_t MinFileSize = 0;
  uint32_t DetachedSize = 0;
};

struct TPackageHeader {
  std::array<uint8_t, kLzmaPropertiesSize> LzmaProperties{};
  uint64_t OsMask = 0;
  uint16_t MinReleaseId = 0;
  uint16_t MaxReleaseId = 0;
  uint8_t ElevationMode = 0;
  std::array<uint8_t, 12> Reserved1{};
  uint32_t StreamOffset = 0;
  uint32_t StreamLength = 0;
  uint32_t ProgramLength = 0;
  PackageExtensionBytes Reserved2{};
  TPackageMessage UnsupportedOsMessage;
};

using PackageLocatorBytes = std::array<uint8_t, kPackageLocatorSize>;
using PackageHeaderBytes = std::array<uint8_t, kPackageHeaderSize>;

TPackageLocator DecodePackageLocator(const PackageLocatorBytes& bytes);
PackageLocatorBytes EncodePackageLocator(const TPackageLocator& locator);

TPackageHeader DecodePackageHeader(const PackageHeaderBytes& bytes);
PackageHeaderBytes EncodePackageHeader(const TPackageHeader& header);

// The limits `header`'s offsets and lengths are read by: the extension
// record's with its tag, else the first version's (package_limits.h).
PackageLimits LimitsOf(const TPackageHeader& header);

}  // namespace stub
