// SPDX-License-Identifier: Zlib
// What `sfxpack inspect` finds in a file: the map of its regions and every
// field of the package records, with what is inconsistent about them.
//
// The analysis reads the file only through a ByteSource, at offsets it has
// checked against the file's size, and reads at most a bounded amount at once
// (the checksum region is read in pieces), so a hostile or huge file can
// neither crash it nor make it read outside the file. Every problem the
// launcher would stop at is reported with the message it would show; the size
// test, the checksum, the LZMA properties and the reading of the message are
// judged by the launcher's own code (launcher/package_reader.h,
// launcher/package_message.h, decoding/lzma1_properties.h).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "format/package_records.h"
#include "tools/sfxpack/analysis/package_identity.h"
#include "tools/sfxpack/analysis/package_signature.h"
#include "tools/sfxpack/analysis/xz_stream_info.h"
#include "tools/sfxpack/files/file_io.h"
#include "tools/pe/pe_image.h"

namespace sfxpack {

// How much of a file's start is read for the headers of its PE image: enough
// for any image the launcher could be.
inline constexpr size_t kImageHeaderReadLimit = 4 << 20;

// Random access to the bytes being inspected.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual uint64_t Size() const = 0;
  // The bytes at `offset`: as many of `count` as the source holds there. May
  // throw a tools::ToolError (a read error), which AnalyzePackage passes on.
  virtual std::vector<uint8_t> Read(uint64_t offset, size_t count) = 0;
};

// A ByteSource over bytes in memory.
class MemorySource : public ByteSource {
 public:
  explicit MemorySource(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}
  uint64_t Size() const override { return bytes_.size(); }
  std::vector<uint8_t> Read(uint64_t offset, size_t count) override;

 private:
  std::vector<uint8_t> bytes_;
};

// A ByteSource over a file; its read errors pass on as they are thrown.
class FileSource : public ByteSource {
 public:
  explicit FileSource(InputFile& file) : file_(file) {}
  uint64_t Size() const override { return file_.size(); }
  std::vector<uint8_t> Read(uint64_t offset, size_t count) override {
    return file_.ReadRange(offset, count);
  }

 private:
  InputFile& file_;
};

// The five LZMA properties bytes, taken apart.
struct LzmaProperties {
  unsigned lc = 0, lp = 0, pb = 0;
  uint32_t dict_size = 0;
  // Whether the launcher's own parsing accepts them: it refuses a properties
  // byte of 225 or more (pb 5) and a dictionary of 2^31 bytes or more.
  bool accepted = false;
};
LzmaProperties DecodeLzmaProperties(const std::array<uint8_t, 5>& bytes);

// One stretch of the file. Gaps between the known parts are regions too.
struct MapRegion {
  uint64_t offset = 0;
  uint64_t length = 0;
  std::string name;
  uint64_t end() const { return offset + length; }
};

struct PackageMap {
  uint64_t file_size = 0;

  // The launcher image's headers, when they parse.
  std::optional<pe::Image> image;
  // Its icon and version resource, when it has resources.
  std::optional<PackageIdentity> identity;
  // Where its certificate table lies against the package.
  PackageSignature signature;

  std::optional<stub::TPackageLocator> locator;
  // The CRC-32 of the checksum region, when that region lies in the file.
  std::optional<uint32_t> computed_crc;

  std::optional<stub::TPackageHeader> header;
  LzmaProperties lzma;
  // The extension record in the header's second reserved field: absent, read,
  // or tagged but of a version or stream method the launcher refuses.
  stub::ExtensionStatus extension_status = stub::ExtensionStatus::kAbsent;
  uint8_t extension_version = 0;      // the version byte of a tagged record
  stub::TPackageExtension extension;  // the record's fields when kPresent
  // What an .xz stream says of itself, when the record names xz and its
  // headers and index can be read.
  std::optional<XzStreamInfo> xz;
  // The unsupported-Windows text, when it lies in the file.
  std::optional<std::u16string> message;

  // Package data behind the records, inside and outside the checksum region.
  uint64_t further_offset = 0;
  uint64_t further_length = 0;
  uint64_t unchecked_offset = 0;
  uint64_t unchecked_length = 0;

  // Why the file does not look like a package (WhyNoPlausibleLocator); the
  // analysis then stops at the check the launcher stops at.
  std::optional<std::string> not_a_package;

  // Sorted by offset; every byte of the file lies in at least one region.
  std::vector<MapRegion> regions;
  // What the launcher would refuse, or what does not fit together.
  std::vector<std::string> problems;
  // Unusual but harmless.
  std::vector<std::string> notes;
};

PackageMap AnalyzePackage(ByteSource& source);

}  // namespace sfxpack
