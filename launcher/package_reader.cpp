// SPDX-License-Identifier: Zlib
#include "launcher/package_reader.h"

#include <memory>

#include "decoding/crc32.h"
#include "format/byte_range.h"
#include "launcher/fatal_messages.h"
#include "launcher/program_source.h"

namespace stub {
namespace {

// The checksum region is read in pieces of this size: large enough that the
// calls cost little next to the bytes, small enough that the progress moves
// and a cancel is seen within a millisecond or two.
constexpr uint32_t kCrcChunkSize = 1024 * 1024;

void PlanFrom(Progress* progress, const TPackageLocator& locator,
              const PackageHeaderBytes& bytes) {
  if (progress != nullptr) progress->Plan(PreparationWork(locator, DecodePackageHeader(bytes)));
}

// Keeps the header's bytes from the region's first chunks and plans the
// progress from them, then tells the progress of every chunk.
class HeaderKeeper final : public ChecksumChunks {
 public:
  HeaderKeeper(const TPackageLocator& locator, HeaderFromRegion& header, Progress* progress)
      : locator_(locator), header_(header), progress_(progress) {}

  bool Chunk(const uint8_t* data, uint32_t size) override {
    for (uint32_t i = 0; i < size && kept_ < header_.bytes.size(); ++i) {
      header_.bytes[kept_++] = data[i];
      if (kept_ == header_.bytes.size()) PlanFrom(progress_, locator_, header_.bytes);
    }
    return progress_ == nullptr || progress_->Advance(size);
  }

  // After the whole region was read.
  void Finish() { header_.kept = kept_ == header_.bytes.size(); }

 private:
  const TPackageLocator& locator_;
  HeaderFromRegion& header_;
  Progress* progress_;
  size_t kept_ = 0;
};

}  // namespace

bool SizeTestPasses(uint64_t file_size, const TPackageLocator& locator) {
  if (locator.DetachedSize > 0) {
    return static_cast<uint32_t>(file_size) >= locator.DetachedSize;
  }
  return static_cast<int64_t>(file_size) >= locator.MinFileSize;
}

bool ChecksumRegionCrc(PlatformFile& file, uint64_t file_size, const TPackageLocator& locator,
                       uint32_t& crc, ChecksumChunks* chunks) {
  const uint64_t start = locator.PackageOffset;
  if (start > kMaxSeekOffset) return false;
  if (!RangeWithin(start, locator.CrcLength, file_size)) return false;  // it would come up short
  if (!file.Seek(start)) return false;

  const uint32_t chunk_size = locator.CrcLength < kCrcChunkSize ? locator.CrcLength : kCrcChunkSize;
  std::unique_ptr<uint8_t[]> chunk(new uint8_t[chunk_size == 0 ? 1 : chunk_size]);
  uint32_t region_crc = 0;
  for (uint32_t remaining = locator.CrcLength; remaining > 0;) {
    const uint32_t want = remaining < chunk_size ? remaining : chunk_size;
    if (file.Read(chunk.get(), want) != want) return false;
    region_crc = UpdateCrc32(region_crc, chunk.get(), want);
    remaining -= want;
    if (chunks != nullptr && !chunks->Chunk(chunk.get(), want)) return false;
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
                      HeaderFromRegion& header, Progress* progress) {
  header.kept = false;
  uint64_t file_size = 0;
  if (!file.GetSize(file_size)) return FatalDamaged(reporter);
  if (!SizeTestPasses(file_size, locator)) return FatalTruncated(reporter);
  HeaderKeeper keeper(locator, header, progress);
  uint32_t crc = 0;
  if (!ChecksumRegionCrc(file, file_size, locator, crc, &keeper) || crc != locator.CrcValue) {
    return DamagedUnlessCancelled(progress, reporter);
  }
  keeper.Finish();
  return Outcome::Proceed();
}

Outcome ReadPackageHeader(PlatformFile& file, const TPackageLocator& locator,
                          const HeaderFromRegion& from_region, Reporter& reporter,
                          TPackageHeader& header, TPackageExtension& extension,
                          Progress* progress) {
  PackageHeaderBytes bytes = from_region.bytes;
  if (!from_region.kept) {
    // PackageOffset lies below 2^31: the checksum has passed.
    if (!ReadExactlyAt(file, locator.PackageOffset, bytes.data(), bytes.size())) {
      return FatalDamaged(reporter);
    }
    PlanFrom(progress, locator, bytes);
  }
  header = DecodePackageHeader(bytes);
  const ExtensionStatus status = DecodePackageExtension(header.Reserved2, extension);
  if (status == ExtensionStatus::kUnknownVersion || status == ExtensionStatus::kUnknownMethod) {
    return FatalDamaged(reporter);
  }
  return Outcome::Proceed();
}

Outcome CheckPackage(PlatformFile& file, Reporter& reporter, TPackageLocator& locator,
                     TPackageHeader& header, TPackageExtension& extension) {
  HeaderFromRegion from_region;
  Outcome outcome = ReadPackageLocator(file, reporter, locator);
  if (outcome.proceeds()) outcome = VerifyPackage(file, locator, reporter, from_region);
  if (outcome.proceeds()) {
    outcome = ReadPackageHeader(file, locator, from_region, reporter, header, extension);
  }
  return outcome;
}

}  // namespace stub
