// SPDX-License-Identifier: Zlib
#include "launcher/package_reader.h"

#include <memory>

#include "decoding/crc32.h"
#include "launcher/fatal_messages.h"

namespace stub {
namespace {

// The checksum region is read in pieces of this size.
constexpr uint32_t kCrcChunkSize = 64 * 1024;

}  // namespace

bool SizeTestPasses(uint64_t file_size, const TPackageLocator& locator) {
  if (locator.DetachedSize > 0) {
    return static_cast<uint32_t>(file_size) >= locator.DetachedSize;
  }
  return static_cast<int64_t>(file_size) >= locator.MinFileSize;
}

bool ChecksumRegionCrc(PlatformFile& file, uint64_t file_size, const TPackageLocator& locator,
                       uint32_t& crc, Progress* progress) {
  const uint64_t start = locator.PackageOffset;
  if (start > kMaxSeekOffset) return false;
  if (start + locator.CrcLength > file_size) return false;  // the read would come up short
  if (!file.Seek(start)) return false;

  const uint32_t chunk_size = locator.CrcLength < kCrcChunkSize ? locator.CrcLength : kCrcChunkSize;
  std::unique_ptr<uint8_t[]> chunk(new uint8_t[chunk_size == 0 ? 1 : chunk_size]);
  uint32_t region_crc = 0;
  for (uint32_t remaining = locator.CrcLength; remaining > 0;) {
    const uint32_t want = remaining < chunk_size ? remaining : chunk_size;
    if (file.Read(chunk.get(), want) != want) return false;
    region_crc = UpdateCrc32(region_crc, chunk.get(), want);
    remaining -= want;
    if (progress != nullptr && !progress->Advance(want)) return false;
  }
  crc = region_crc;
  return true;
}

Outcome ReadPackageLocator(PlatformFile& file, Reporter& reporter, TPackageLocator& locator) {
  PackageLocatorBytes bytes;
  if (!ReadExactlyAt(file, kPackageLocatorOffset, bytes.data(), bytes.size())) {
    return FatalDamaged(reporter);
  }
  locator = DecodePackageLocator(bytes);
  if (locator.PackageOffset == 0) return FatalDamaged(reporter);
  return Outcome::Proceed();
}

Outcome VerifyPackage(PlatformFile& file, const TPackageLocator& locator, Reporter& reporter,
                      Progress* progress) {
  uint64_t file_size = 0;
  if (!file.GetSize(file_size)) return FatalDamaged(reporter);
  if (!SizeTestPasses(file_size, locator)) return FatalTruncated(reporter);
  uint32_t crc = 0;
  if (!ChecksumRegionCrc(file, file_size, locator, crc, progress) || crc != locator.CrcValue) {
    return DamagedUnlessCancelled(progress, reporter);
  }
  return Outcome::Proceed();
}

Outcome ReadPackageHeader(PlatformFile& file, const TPackageLocator& locator,
                          Reporter& reporter, TPackageHeader& header,
                          TPackageExtension& extension) {
  PackageHeaderBytes bytes;
  if (!ReadExactlyAt(file, locator.PackageOffset, bytes.data(), bytes.size())) {
    return FatalDamaged(reporter);
  }
  header = DecodePackageHeader(bytes);
  const ExtensionStatus status = DecodePackageExtension(header.Reserved2, extension);
  if (status == ExtensionStatus::kUnknownVersion || status == ExtensionStatus::kUnknownMethod) {
    return FatalDamaged(reporter);
  }
  // This launcher does not decode .xz streams.
  if (extension.StreamMethod == kStreamMethodXz) return FatalDamaged(reporter);
  return Outcome::Proceed();
}

Outcome CheckPackage(PlatformFile& file, Reporter& reporter, TPackageLocator& locator,
                     TPackageHeader& header, TPackageExtension& extension) {
  Outcome outcome = ReadPackageLocator(file, reporter, locator);
  if (outcome.proceeds()) outcome = VerifyPackage(file, locator, reporter);
  if (outcome.proceeds()) outcome = ReadPackageHeader(file, locator, reporter, header, extension);
  return outcome;
}

}  // namespace stub
