// SPDX-License-Identifier: Zlib
#include "tests/support/package_builder.h"

#include <algorithm>

#include "decoding/crc32.h"
#include "format/package_records.h"
#include "tests/support/lzma_streams.h"

namespace stub::testing {
namespace {

uint32_t ContinueCrc(uint32_t crc, std::span<const uint8_t> bytes) {
  for (size_t done = 0; done < bytes.size();) {
    const size_t piece = std::min<size_t>(bytes.size() - done, 1u << 30);
    crc = UpdateCrc32(crc, bytes.data() + done, static_cast<uint32_t>(piece));
    done += piece;
  }
  return crc;
}

// The package's bytes in memory.
struct VectorSink final : packaging::PackageSink {
  void Write(std::span<const uint8_t> data) override {
    bytes.insert(bytes.end(), data.begin(), data.end());
  }
  void WriteAt(uint64_t offset, std::span<const uint8_t> data) override {
    std::copy(data.begin(), data.end(), bytes.begin() + static_cast<std::ptrdiff_t>(offset));
  }
  void Clear() override { bytes.clear(); }

  std::vector<uint8_t> bytes;
};

void StoreLocator(const TPackageLocator& locator, std::vector<uint8_t>& package) {
  const PackageLocatorBytes bytes = EncodePackageLocator(locator);
  std::copy(bytes.begin(), bytes.end(), package.begin() + kPackageLocatorOffset);
}

}  // namespace

packaging::PackageSettings AdmitAllWindows() {
  packaging::PackageSettings settings;
  settings.os_mask = ~uint64_t{0};
  settings.min_release_id = 0;
  settings.max_release_id = 0xFFFF;
  settings.message = u"This package does not run on %USER%.";
  return settings;
}

packaging::PackageSettings ExampleSettings() {
  packaging::PackageSettings settings;
  settings.os_mask = 0x8000000000000780;
  settings.min_release_id = 1507;
  settings.max_release_id = 9999;
  settings.elevation_mode = kElevationRunAs;
  settings.message = u"Not for %USER%.";
  return settings;
}

TestPackage AssemblePackage(std::span<const uint8_t> launcher,
                            const packaging::PackageSettings& settings,
                            const std::array<uint8_t, 5>& properties,
                            std::span<const uint8_t> stream, uint64_t program_length,
                            std::span<const uint8_t> further_data) {
  VectorSink sink;
  packaging::PackageWriter writer(launcher, settings, packaging::LimitsFor(settings.extension),
                                  sink);
  writer.AppendStream(stream);
  writer.EndStream(properties, program_length);
  writer.AppendFurtherData(further_data);
  const packaging::PackageLayout layout = writer.Finish();
  return {std::move(sink.bytes), layout};
}

TestPackage BuildPackage(std::span<const uint8_t> launcher, std::span<const uint8_t> inner,
                         const packaging::PackageSettings& settings,
                         const packaging::LzmaSettings& lzma,
                         std::span<const uint8_t> further_data) {
  const uint8_t method = settings.extension ? settings.extension->StreamMethod : kStreamMethodLzma1;
  if (method == kStreamMethodStored) {
    return AssemblePackage(launcher, settings, {}, inner, inner.size(), further_data);
  }
  if (method == kStreamMethodXz) {
    packaging::XzSettings xz;
    xz.lzma = lzma;
    xz.block_size = kTestXzBlockSize;
    std::vector<uint8_t> stream;
    size_t done = 0;
    const packaging::ReadNext read = [&](std::span<uint8_t> buffer) {
      std::copy_n(inner.begin() + static_cast<std::ptrdiff_t>(done), buffer.size(), buffer.begin());
      done += buffer.size();
    };
    packaging::EncodeXz(inner.size(), read, xz, [&](std::span<const uint8_t> bytes) {
      stream.insert(stream.end(), bytes.begin(), bytes.end());
    });
    return AssemblePackage(launcher, settings, {}, stream, inner.size(), further_data);
  }
  packaging::LzmaSettings encoding = lzma;
  encoding.x86_filter = method == kStreamMethodX86Lzma1;
  std::vector<uint8_t> stream;
  std::array<uint8_t, 5> properties;
  packaging::EncodeLzma1(inner, encoding, stream, properties);
  return AssemblePackage(launcher, settings, properties, stream, inner.size(), further_data);
}

bool RefreshChecksum(std::vector<uint8_t>& package) {
  if (package.size() < kPackageLocatorOffset + kPackageLocatorSize) return false;
  PackageLocatorBytes bytes;
  std::copy_n(package.begin() + kPackageLocatorOffset, kPackageLocatorSize, bytes.begin());
  TPackageLocator locator = DecodePackageLocator(bytes);
  if (uint64_t{locator.PackageOffset} + locator.CrcLength > package.size()) return false;
  locator.CrcValue =
      ContinueCrc(0, std::span(package).subspan(locator.PackageOffset, locator.CrcLength));
  StoreLocator(locator, package);
  return true;
}

}  // namespace stub::testing
