// SPDX-License-Identifier: Zlib
#include "tools/sfxpack/analysis/plausible_locator.h"

#include <algorithm>

#include "format/little_endian.h"
#include "format/package_records.h"

namespace sfxpack {
namespace {

// Where a DOS header keeps the offset of the PE header (e_lfanew).
constexpr size_t kPeHeaderOffsetField = 60;
// No package file comes near this size (256 TiB), while random bytes as a
// 64-bit number lie below it once in 65,536 times.
constexpr int64_t kMaxPlausibleFileSize = int64_t{1} << 48;

static_assert(kPlausibleLocatorBytes == stub::kPackageLocatorOffset + stub::kPackageLocatorSize);

}  // namespace

std::optional<std::string> WhyNoPlausibleLocator(std::span<const uint8_t> head) {
  if (head.size() < kPlausibleLocatorBytes) {
    return "the file ends before offset " + std::to_string(kPlausibleLocatorBytes);
  }
  if (head[0] != 'M' || head[1] != 'Z') return std::string("the file does not start with MZ");
  const uint32_t pe_header = stub::ReadLe32(head.data() + kPeHeaderOffsetField);
  if (pe_header < kPlausibleLocatorBytes) {
    return "the PE header at offset " + std::to_string(pe_header) + " lies there";
  }
  stub::PackageLocatorBytes bytes;
  std::copy_n(head.begin() + stub::kPackageLocatorOffset, bytes.size(), bytes.begin());
  const stub::TPackageLocator locator = stub::DecodePackageLocator(bytes);
  if (locator.PackageOffset == 0) return std::string("PackageOffset is 0: no package is attached");
  if (locator.MinFileSize <= 0 || locator.MinFileSize >= kMaxPlausibleFileSize) {
    return "MinFileSize " + std::to_string(locator.MinFileSize) + " is no package's size";
  }
  return std::nullopt;
}

std::string NotAPackageSentence(const std::string& reason) {
  return "does not look like a package: no plausible locator at offset " +
         std::to_string(stub::kPackageLocatorOffset) + " (" + reason + ")";
}

}  // namespace sfxpack
