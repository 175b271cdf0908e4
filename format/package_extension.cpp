// SPDX-License-Identifier: Zlib
// Field-by-field decoding and encoding of the extension record; the layout is
// documented in package_extension.h.
#include "format/package_extension.h"

#include <algorithm>

#include "format/little_endian.h"

namespace stub {
namespace {

constexpr size_t kTag = 0, kVersion = 4, kStreamMethod = 5, kMinBuild = 8, kMaxBuild = 12,
                 kReservedTail = 16;
static_assert(kTag + kPackageExtensionTag.size() == kVersion);
static_assert(kMaxBuild + 4 == kReservedTail);
static_assert(kReservedTail + 6 == kPackageExtensionSize);

}  // namespace

bool HasExtensionTag(const PackageExtensionBytes& bytes) {
  // Compared as one little-endian word: a byte comparison would become a
  // call to memcmp, an import the launcher image does not otherwise need.
  return ReadLe32(bytes.data() + kTag) == ReadLe32(kPackageExtensionTag.data());
}

ExtensionStatus DecodePackageExtension(const PackageExtensionBytes& bytes,
                                       TPackageExtension& extension) {
  extension = TPackageExtension{};
  if (!HasExtensionTag(bytes)) return ExtensionStatus::kAbsent;
  if (bytes[kVersion] != kPackageExtensionVersion) return ExtensionStatus::kUnknownVersion;
  if (bytes[kStreamMethod] > kLastStreamMethod) return ExtensionStatus::kUnknownMethod;
  extension.StreamMethod = bytes[kStreamMethod];
  extension.MinBuild = ReadLe32(bytes.data() + kMinBuild);
  extension.MaxBuild = ReadLe32(bytes.data() + kMaxBuild);
  return ExtensionStatus::kPresent;
}

PackageExtensionBytes EncodePackageExtension(const TPackageExtension& extension) {
  PackageExtensionBytes bytes{};
  std::copy(kPackageExtensionTag.begin(), kPackageExtensionTag.end(), bytes.begin());
  bytes[kVersion] = kPackageExtensionVersion;
  bytes[kStreamMethod] = extension.StreamMethod;
  WriteLe32(bytes.data() + kMinBuild, extension.MinBuild);
  WriteLe32(bytes.data() + kMaxBuild, extension.MaxBuild);
  return bytes;
}

bool BuildAdmitted(const TPackageExtension& extension, uint32_t build) {
  if (extension.MinBuild != 0 && build < extension.MinBuild) return false;
  if (extension.MaxBuild != 0 && build > extension.MaxBuild) return false;
  return true;
}

}  // namespace stub
