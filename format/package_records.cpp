// SPDX-License-Identifier: Zlib
// Field-by-field decoding and encoding of the package records; the layout is
// documented in package_records.h.
#include "format/package_records.h"

#include <cstring>

#include "format/little_endian.h"

namespace stub {
namespace {

// Field offsets. Each record's last field must end exactly at the record's
// size, which the static_asserts check.
namespace locator {
constexpr size_t kPackageOffset = 0, kCrcLength = 4, kCrcValue = 8, kMinFileSize = 12,
                 kDetachedSize = 20;
static_assert(kDetachedSize + 4 == kPackageLocatorSize);
}  // namespace locator

namespace header {
constexpr size_t kProperties = 0, kOsMask = 5, kMinReleaseId = 13, kMaxReleaseId = 15,
                 kElevationMode = 17, kReserved1 = 18, kStreamOffset = 30, kStreamLength = 34,
                 kProgramLength = 38, kReserved2 = 42, kUnsupportedOsMessage = 64;
static_assert(kProperties + kLzmaPropertiesSize == kOsMask);
static_assert(kReserved1 + sizeof(TPackageHeader::Reserved1) == kStreamOffset);
static_assert(kReserved2 + sizeof(TPackageHeader::Reserved2) == kUnsupportedOsMessage);
static_assert(kReserved2 == kPackageExtensionOffset);
static_assert(kUnsupportedOsMessage + kPackageMessageSize == kPackageHeaderSize);
}  // namespace header

TPackageMessage DecodeMessage(const uint8_t* p) {
  TPackageMessage message;
  message.Offset = ReadLe32(p);
  message.Length = ReadLe16(p + 4);
  return message;
}

void EncodeMessage(const TPackageMessage& message, uint8_t* p) {
  WriteLe32(p, message.Offset);
  WriteLe16(p + 4, message.Length);
}

}  // namespace

TPackageLocator DecodePackageLocator(const PackageLocatorBytes& bytes) {
  const uint8_t* p = bytes.data();
  TPackageLocator locator;
  locator.PackageOffset = ReadLe32(p + locator::kPackageOffset);
  locator.CrcLength = ReadLe32(p + locator::kCrcLength);
  locator.CrcValue = ReadLe32(p + locator::kCrcValue);
  locator.MinFileSize = static_cast<int64_t>(ReadLe64(p + locator::kMinFileSize));
  locator.DetachedSize = ReadLe32(p + locator::kDetachedSize);
  return locator;
}

PackageLocatorBytes EncodePackageLocator(const TPackageLocator& locator) {
  PackageLocatorBytes bytes{};
  uint8_t* p = bytes.data();
  WriteLe32(p + locator::kPackageOffset, locator.PackageOffset);
  WriteLe32(p + locator::kCrcLength, locator.CrcLength);
  WriteLe32(p + locator::kCrcValue, locator.CrcValue);
  WriteLe64(p + locator::kMinFileSize, static_cast<uint64_t>(locator.MinFileSize));
  WriteLe32(p + locator::kDetachedSize, locator.DetachedSize);
  return bytes;
}

TPackageHeader DecodePackageHeader(const PackageHeaderBytes& bytes) {
  const uint8_t* p = bytes.data();
  TPackageHeader h;
  std::memcpy(h.LzmaProperties.data(), p + header::kProperties, kLzmaPropertiesSize);
  h.OsMask = ReadLe64(p + header::kOsMask);
  h.MinReleaseId = ReadLe16(p + header::kMinReleaseId);
  h.MaxReleaseId = ReadLe16(p + header::kMaxReleaseId);
  h.ElevationMode = p[header::kElevationMode];
  std::memcpy(h.Reserved1.data(), p + header::kReserved1, h.Reserved1.size());
  h.StreamOffset = ReadLe32(p + header::kStreamOffset);
  h.StreamLength = ReadLe32(p + header::kStreamLength);
  h.ProgramLength = ReadLe32(p + header::kProgramLength);
  std::memcpy(h.Reserved2.data(), p + header::kReserved2, h.Reserved2.size());
  h.UnsupportedOsMessage = DecodeMessage(p + header::kUnsupportedOsMessage);
  return h;
}

PackageHeaderBytes EncodePackageHeader(const TPackageHeader& h) {
  PackageHeaderBytes bytes{};
  uint8_t* p = bytes.data();
  std::memcpy(p + header::kProperties, h.LzmaProperties.data(), kLzmaPropertiesSize);
  WriteLe64(p + header::kOsMask, h.OsMask);
  WriteLe16(p + header::kMinReleaseId, h.MinReleaseId);
  WriteLe16(p + header::kMaxReleaseId, h.MaxReleaseId);
  p[header::kElevationMode] = h.ElevationMode;
  std::memcpy(p + header::kReserved1, h.Reserved1.data(), h.Reserved1.size());
  WriteLe32(p + header::kStreamOffset, h.StreamOffset);
  WriteLe32(p + header::kStreamLength, h.StreamLength);
  WriteLe32(p + header::kProgramLength, h.ProgramLength);
  std::memcpy(p + header::kReserved2, h.Reserved2.data(), h.Reserved2.size());
  EncodeMessage(h.UnsupportedOsMessage, p + header::kUnsupportedOsMessage);
  return bytes;
}

PackageLimits LimitsOf(const TPackageHeader& header) {
  return HasExtensionTag(header.Reserved2) ? kExtensionRecordLimits : kFirstVersionLimits;
}

}  // namespace stub
