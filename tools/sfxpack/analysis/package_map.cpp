// SPDX-License-Identifier: Zlib
// The analysis behind `sfxpack inspect`. It walks the file in the launcher's
// order (image headers, locator, size test, checksum, header, stream,
// message) and records a region for every part it finds and a problem for
// every field the launcher would stop at, worded with the message the
// launcher would show.
//
// Whose verdict stands: wherever the launcher has a function for a decision
// (the size test, the checksum, the LZMA properties, reading the message), the
// analysis calls it on the file and only explains the outcome; the remaining
// rules are the limits of format/package_limits.h, which the launcher applies
// by the header's extension record (LimitsOf). Reads go through a ByteSource,
// bounded in size, and the launcher's code reads through SourceFile, which
// keeps the source's exceptions out of that code.
#include "tools/sfxpack/analysis/package_map.h"

#include <lzma.h>

#include <algorithm>
#include <cstring>
#include <exception>
#include <utility>
#include <variant>

#include "decoding/lzma1_properties.h"
#include "format/byte_range.h"
#include "launcher/package_message.h"
#include "launcher/package_reader.h"
#include "platform/platform.h"
#include "tools/common/text_format.h"
#include "tools/common/tool_error.h"
#include "tools/common/utf.h"
#include "tools/sfxpack/analysis/plausible_locator.h"

namespace sfxpack {
namespace {

using stub::kPackageHeaderSize;
using stub::kPackageLocatorOffset;
using stub::kPackageLocatorSize;

using tools::Hex;

constexpr uint64_t kDosHeaderSize = 64;

const char kDamaged[] = " (the launcher shows the damaged-package message)";
const char kTruncated[] = " (the launcher shows the truncated-package message)";

std::string Num(uint64_t value) { return std::to_string(value); }

// "128 to 152": where the locator lies.
std::string LocatorPlace() {
  return Num(kPackageLocatorOffset) + " to " + Num(kPackageLocatorOffset + kPackageLocatorSize);
}

// "beyond 2 GiB, where the launcher reads no package header".
std::string BeyondPackageOffsetLimit() {
  return "beyond " + tools::ExactSize(stub::kMaxSeekOffset + 1) +
         ", where the launcher reads no package header";
}

// "beyond 2 GiB, which only a package with the extension record may name".
std::string BeyondFirstVersionOffsets() {
  return "beyond " + tools::ExactSize(stub::kMaxSeekOffset + 1) +
         ", which only a package with the extension record may name";
}

// " is more than a package without the extension record may name (N bytes)".
std::string BeyondFirstVersionLength() {
  return " is more than a package without the extension record may name (" +
         tools::Decimal(stub::kMaxProgramLength) + " bytes)";
}

// The source as the launcher's own code reads a file. That code is built
// without exceptions for Windows, so a failure of the source (a Failure, say,
// for a read error) must not pass through it: Read() keeps it and reports no
// bytes, and ThrowKeptFailure() throws it once that code has returned.
class SourceFile final : public stub::PlatformFile {
 public:
  explicit SourceFile(ByteSource& source) : source_(source) {}

  bool Seek(uint64_t offset) override {
    position_ = offset;
    return true;
  }
  uint32_t Read(void* buffer, uint32_t count) override {
    try {
      const std::vector<uint8_t> bytes = source_.Read(position_, count);
      if (!bytes.empty()) std::memcpy(buffer, bytes.data(), bytes.size());
      position_ += bytes.size();
      return static_cast<uint32_t>(bytes.size());
    } catch (...) {
      failure_ = std::current_exception();
      return 0;
    }
  }
  uint32_t Write(const void*, uint32_t) override { return 0; }
  bool GetSize(uint64_t& size) override {
    size = source_.Size();
    return true;
  }

  void ThrowKeptFailure() {
    if (failure_) std::rethrow_exception(std::exchange(failure_, nullptr));
  }

 private:
  ByteSource& source_;
  uint64_t position_ = 0;
  std::exception_ptr failure_;
};

class Analyzer {
 public:
  explicit Analyzer(ByteSource& source) : source_(source) { map_.file_size = source.Size(); }

  PackageMap Run() {
    ReadImage();
    map_.not_a_package = WhyNoPlausibleLocator(source_.Read(0, kPlausibleLocatorBytes));
    const bool located = ReadLocator();
    if (located && map_.not_a_package) {
      StopAsTheLauncherDoes();
    } else if (located) {
      CheckSize();
      CheckCrc();
      if (ReadHeader()) {
        CheckStream();
        ReadMessage();
        FindFurtherData();
      }
    }
    AddCertificate();
    FinishRegions();
    return std::move(map_);
  }

 private:
  uint64_t size() const { return map_.file_size; }
  bool InFile(uint64_t offset, uint64_t length) const {
    return stub::RangeWithin(offset, length, size());
  }
  void Problem(std::string text) { map_.problems.push_back(std::move(text)); }
  void Note(std::string text) { map_.notes.push_back(std::move(text)); }
  void Region(uint64_t offset, uint64_t length, std::string name) {
    if (length > 0) map_.regions.push_back({offset, length, std::move(name)});
  }
  // A region that must lie in the file; the part outside is reported.
  void FileRegion(uint64_t offset, uint64_t length, const std::string& name,
                  const char* consequence = "") {
    if (!InFile(offset, length)) {
      Problem(name + " (" + Num(offset) + " to " + Num(offset + length) +
              ") runs past the end of the file at " + Num(size()) + consequence);
      length = offset < size() ? size() - offset : 0;
    }
    Region(offset, length, name);
  }

  void ReadImage() {
    const std::vector<uint8_t> headers =
        source_.Read(0, static_cast<size_t>(std::min<uint64_t>(size(), kImageHeaderReadLimit)));
    pe::Image image;
    try {
      image = pe::ParseImageHeaders(headers, size());
    } catch (const tools::ToolError& error) {  // not an error of inspect's: a finding
      Problem(std::string("the launcher image: ") + error.what());
      if (headers.size() >= kDosHeaderSize && headers[0] == 'M' && headers[1] == 'Z') {
        Region(0, kDosHeaderSize, "DOS header");
      }
      return;
    }
    Region(0, kDosHeaderSize, "DOS header");
    const uint64_t stub_end = std::min<uint64_t>(image.header_offset, kPackageLocatorOffset);
    if (stub_end > kDosHeaderSize) Region(kDosHeaderSize, stub_end - kDosHeaderSize, "DOS stub");
    if (image.header_offset < kPackageLocatorOffset + kPackageLocatorSize) {
      Problem("the PE header at " + Num(image.header_offset) + " overlaps the locator at " +
              LocatorPlace() + ": this is no launcher image with room for a package");
    }
    Region(image.header_offset, image.headers_end - image.header_offset, "PE headers");
    if (image.machine != pe::kMachineAmd64) Note("the launcher image is not for x86-64");
    for (const pe::Section& section : image.sections) {
      Region(section.raw_offset, section.raw_size, "section " + tools::SanitizeUtf8(section.name));
    }
    map_.identity = ReadPackageIdentity(source_, image, map_.notes);
    map_.image = std::move(image);
  }

  // The record of `Bytes`' size at `offset`; nullopt when the file ends first.
  template <typename Bytes>
  std::optional<Bytes> ReadRecord(uint64_t offset) {
    const std::vector<uint8_t> bytes = source_.Read(offset, std::tuple_size_v<Bytes>);
    if (bytes.size() < std::tuple_size_v<Bytes>) return std::nullopt;
    Bytes record;
    std::copy(bytes.begin(), bytes.end(), record.begin());
    return record;
  }

  bool ReadLocator() {
    const auto raw = ReadRecord<stub::PackageLocatorBytes>(kPackageLocatorOffset);
    if (!raw) {
      Problem("the file ends before the locator record (offset " + LocatorPlace() + ")" + kDamaged);
      return false;
    }
    const stub::TPackageLocator locator = stub::DecodePackageLocator(*raw);
    map_.locator = locator;
    // In a program that is no package, the PE headers may lie there.
    if (!map_.not_a_package || !map_.image ||
        map_.image->header_offset >= kPackageLocatorOffset + kPackageLocatorSize) {
      Region(kPackageLocatorOffset, kPackageLocatorSize, "package locator");
    }
    if (locator.PackageOffset == 0) {
      Problem(std::string("PackageOffset is 0: no package is attached") + kDamaged);
      return false;
    }
    if (map_.not_a_package) return true;
    if (locator.PackageOffset > stub::kMaxSeekOffset) {
      Problem("PackageOffset " + Num(locator.PackageOffset) + " lies " + BeyondPackageOffsetLimit() +
              kDamaged);
    }
    if (map_.image && locator.PackageOffset != map_.image->ImageEnd()) {
      Note("the package data does not start right behind the launcher image's last section (at " +
           Num(map_.image->ImageEnd()) + ")");
    }
    return true;
  }

  // The verdict is the launcher's own size test; what follows only explains it.
  void CheckSize() {
    const stub::TPackageLocator& locator = *map_.locator;
    if (locator.DetachedSize > 0) {
      Note("DetachedSize is set: the launcher neither waits for the inner program nor deletes "
           "its temporary copy, and its size test uses DetachedSize instead of MinFileSize");
    }
    if (!stub::SizeTestPasses(size(), locator)) Problem(SizeTestFailure());
    if (locator.MinFileSize < 0) Note("MinFileSize is negative");
  }

  std::string SizeTestFailure() const {
    const stub::TPackageLocator& locator = *map_.locator;
    return locator.DetachedSize > 0
               ? "the low 32 bits of the file size (" + Num(static_cast<uint32_t>(size())) +
                     ") are below DetachedSize " + Num(locator.DetachedSize) + kTruncated
               : "the file (" + Num(size()) + " bytes) is shorter than MinFileSize " +
                     std::to_string(locator.MinFileSize) + kTruncated;
  }

  // A file that is no package: the check the launcher stops at, and nothing
  // of what random fields would mean.
  void StopAsTheLauncherDoes() {
    if (!stub::SizeTestPasses(size(), *map_.locator)) {
      Problem(SizeTestFailure());
    } else {
      CheckCrc();
    }
  }

  // The checksum as the launcher computes it, over the same reads.
  void CheckCrc() {
    const stub::TPackageLocator& locator = *map_.locator;
    SourceFile file(source_);
    uint32_t crc = 0;
    const bool read = stub::ChecksumRegionCrc(file, size(), locator, crc);
    file.ThrowKeptFailure();
    if (!read) {
      Problem(UnreadableChecksumRegion() + kDamaged);
      return;
    }
    map_.computed_crc = crc;
    if (crc != locator.CrcValue) {
      Problem("CRC-32 mismatch: stored " + Hex(locator.CrcValue) + ", computed " + Hex(crc) +
              kDamaged);
    }
  }

  // Why the launcher cannot read the checksum region whole.
  std::string UnreadableChecksumRegion() const {
    const stub::TPackageLocator& locator = *map_.locator;
    const std::string region = "the checksum region (" + Num(locator.PackageOffset) + " to " +
                               Num(uint64_t{locator.PackageOffset} + locator.CrcLength) + ")";
    if (!InFile(locator.PackageOffset, locator.CrcLength)) {
      return region + " runs past the end of the file";
    }
    if (locator.PackageOffset > stub::kMaxSeekOffset) {
      return region + " starts " + BeyondPackageOffsetLimit();
    }
    return "the checksum region cannot be read whole";
  }

  bool ReadHeader() {
    const uint32_t offset = map_.locator->PackageOffset;
    const auto raw = ReadRecord<stub::PackageHeaderBytes>(offset);
    if (!raw) {
      Problem("the package header (" + Num(offset) + " to " + Num(offset + kPackageHeaderSize) +
              ") runs past the end of the file" + kDamaged);
      return false;
    }
    const stub::TPackageHeader header = stub::DecodePackageHeader(*raw);
    map_.header = header;
    Region(offset, kPackageHeaderSize, "package header");
    CheckHeaderFields(header);
    return true;
  }

  void CheckHeaderFields(const stub::TPackageHeader& header) {
    map_.lzma = DecodeLzmaProperties(header.LzmaProperties);
    // Refused by the launcher's own parsing; the reasons follow from its limits.
    if (!map_.lzma.accepted && header.LzmaProperties[0] > stub::kMaxLzmaPropertiesByte) {
      Problem("LZMA properties byte " + Num(header.LzmaProperties[0]) + " is above " +
              Num(stub::kMaxLzmaPropertiesByte) + " (pb 5)" + kDamaged);
    }
    if (!map_.lzma.accepted && map_.lzma.dict_size > stub::kMaxLzmaDictionarySize) {
      Problem("the LZMA dictionary size " + Num(map_.lzma.dict_size) + " is " +
              tools::ExactSize(uint64_t{stub::kMaxLzmaDictionarySize} + 1) + " or more" + kDamaged);
    }
    if (map_.lzma.accepted && map_.lzma.lc + map_.lzma.lp > LZMA_LCLP_MAX) {
      Note("lc + lp is above " + Num(LZMA_LCLP_MAX) +
           ": the launcher decodes it, but liblzma and xz cannot");
    }
    if (header.ElevationMode > stub::kElevationNoAdmin) {
      Note("ElevationMode " + Num(header.ElevationMode) + " is unknown; the launcher treats it as 0");
    }
    CheckExtension(header);
    const auto zero = [](uint8_t b) { return !b; };
    const bool reserved_zero =
        std::all_of(header.Reserved1.begin(), header.Reserved1.end(), zero) &&
        (map_.extension_status != stub::ExtensionStatus::kAbsent ||
         std::all_of(header.Reserved2.begin(), header.Reserved2.end(), zero));
    if (!reserved_zero) Note("the reserved header bytes are not all zero");
    if (header.ProgramLength > stub::LimitsOf(header).max_program_length) {
      Problem("ProgramLength " + Num(header.ProgramLength) + BeyondFirstVersionLength() + kDamaged);
    }
    if (header.MinReleaseId > header.MaxReleaseId && (header.OsMask & stub::OsBit(stub::kOsBit10))) {
      Note("MinReleaseId is above MaxReleaseId: every Windows 10 with a readable release id is "
           "refused");
    }
  }

  // The launcher's own reading of the record, which refuses a tagged record
  // it cannot honour as a damaged package.
  void CheckExtension(const stub::TPackageHeader& header) {
    map_.extension_status = stub::DecodePackageExtension(header.Reserved2, map_.extension);
    map_.extension_version = header.Reserved2[stub::kPackageExtensionTag.size()];
    if (map_.extension_status == stub::ExtensionStatus::kUnknownVersion) {
      Problem("the extension record is of version " + Num(map_.extension_version) +
              ", which the launcher does not read" + kDamaged);
    }
    if (map_.extension_status == stub::ExtensionStatus::kUnknownMethod) {
      Problem("the extension record's stream method " +
              Num(header.Reserved2[stub::kPackageExtensionTag.size() + 1]) +
              " is unknown to the launcher" + kDamaged);
    }
    const stub::TPackageExtension& extension = map_.extension;
    if (extension.MinBuild != 0 && extension.MaxBuild != 0 &&
        extension.MinBuild > extension.MaxBuild && (header.OsMask & stub::OsBit(stub::kOsBit10))) {
      Note("MinBuild is above MaxBuild: every Windows 10 and 11 is refused");
    }
  }

  // The stream as the extension record's method makes it; an unknown method
  // is a problem of its own, and its stream keeps the plain name.
  const char* StreamRegionName() const {
    if (map_.extension_status != stub::ExtensionStatus::kPresent) return "LZMA stream";
    switch (map_.extension.StreamMethod) {
      case stub::kStreamMethodStored: return "stored inner program";
      case stub::kStreamMethodX86Lzma1: return "x86 + LZMA1 stream";
      case stub::kStreamMethodXz: return "xz stream";
      default: return "LZMA stream";
    }
  }

  bool InCrcRegion(uint64_t offset, uint64_t length) const {
    const uint64_t start = map_.locator->PackageOffset;
    const uint64_t end = start + map_.locator->CrcLength;
    return offset >= start && offset <= end && length <= end - offset;
  }

  void CheckStream() {
    const stub::TPackageHeader& header = *map_.header;
    const uint64_t expected = uint64_t{map_.locator->PackageOffset} + kPackageHeaderSize;
    const stub::PackageLimits limits = stub::LimitsOf(header);
    if (header.StreamOffset > limits.max_offset) {
      Problem("StreamOffset " + Num(header.StreamOffset) + " lies " + BeyondFirstVersionOffsets() +
              kDamaged);
    }
    if (header.StreamOffset != expected) {
      Note(std::string("the ") + StreamRegionName() + " does not start right behind the header (at " +
           Num(expected) + ")");
    }
    if (header.StreamLength > limits.max_stream_length) {
      Problem("StreamLength " + Num(header.StreamLength) + BeyondFirstVersionLength() + kDamaged);
    }
    const char* stream = StreamRegionName();
    FileRegion(header.StreamOffset, header.StreamLength, stream, kDamaged);
    if (!InCrcRegion(header.StreamOffset, header.StreamLength)) {
      Note(std::string("the ") + stream +
           " lies outside the checksummed region: damage to it is found only while decoding");
    }
    if (map_.extension_status == stub::ExtensionStatus::kPresent &&
        map_.extension.StreamMethod == stub::kStreamMethodXz &&
        InFile(header.StreamOffset, header.StreamLength)) {
      ReadXzStream(header);
    }
  }

  // The launcher decodes exactly one .xz stream, to exactly ProgramLength.
  void ReadXzStream(const stub::TPackageHeader& header) {
    std::variant<XzStreamInfo, std::string> read =
        ReadXzStreamInfo(source_, header.StreamOffset, header.StreamLength);
    if (const std::string* problem = std::get_if<std::string>(&read)) {
      Problem("the xz stream cannot be read: " + *problem + kDamaged);
      return;
    }
    const XzStreamInfo& xz = map_.xz.emplace(std::get<XzStreamInfo>(read));
    if (xz.streams != 1 || xz.padding != 0) {
      Problem("the xz stream's region holds " + Num(xz.streams) + " .xz streams and " +
              Num(xz.padding) + " bytes of padding, where the launcher reads one stream that "
              "ends with the region" + kDamaged);
    }
    if (xz.uncompressed_size != header.ProgramLength) {
      Problem("the xz stream decodes to " + Num(xz.uncompressed_size) +
              " bytes, not ProgramLength " + Num(header.ProgramLength) + kDamaged);
    }
  }

  // Whether the text can be read is the launcher's own ReadPackageMessage's
  // verdict, whatever the length; what follows only explains a failure.
  void ReadMessage() {
    const stub::TPackageMessage& message = map_.header->UnsupportedOsMessage;
    const uint64_t bytes = uint64_t{message.Length} * 2;
    const char* consequence =
        " (on a refused Windows version the launcher shows the damaged-package message instead)";
    SourceFile file(source_);
    std::u16string text;
    const stub::PackageLimits limits = stub::LimitsOf(*map_.header);
    const bool read = stub::ReadPackageMessage(file, message, limits, text);
    file.ThrowKeptFailure();
    if (!read && message.Offset > limits.max_offset) {
      Problem("the message offset " + Num(message.Offset) + " lies " + BeyondFirstVersionOffsets() +
              consequence);
      return;
    }
    FileRegion(message.Offset, bytes, "message text", consequence);
    if (!read) return;
    map_.message = text;
    if (tools::HasUnpairedSurrogate(text)) Note("the message holds unpaired UTF-16 surrogates");
    if (text.find(u'\0') != std::u16string::npos) {
      Note("the message holds a NUL character: the launcher shows only the text before it");
    }
    if (message.Length > 0 && !InCrcRegion(message.Offset, bytes)) {
      Note("the message lies outside the checksummed region");
    }
  }

  // The further data is what the checksum region holds behind the records,
  // and what the package holds behind the checksum region up to MinFileSize.
  void FindFurtherData() {
    const stub::TPackageLocator& locator = *map_.locator;
    const stub::TPackageHeader& header = *map_.header;
    const uint64_t crc_end = uint64_t{locator.PackageOffset} + locator.CrcLength;
    uint64_t records_end = uint64_t{locator.PackageOffset} + kPackageHeaderSize;
    const uint64_t stream_end = uint64_t{header.StreamOffset} + header.StreamLength;
    const uint64_t message_end =
        header.UnsupportedOsMessage.Offset + uint64_t{header.UnsupportedOsMessage.Length} * 2;
    if (InCrcRegion(header.StreamOffset, header.StreamLength)) {
      records_end = std::max(records_end, stream_end);
    }
    if (InCrcRegion(header.UnsupportedOsMessage.Offset, message_end - header.UnsupportedOsMessage.Offset)) {
      records_end = std::max(records_end, message_end);
    }
    if (records_end < crc_end) {
      map_.further_offset = records_end;
      map_.further_length = crc_end - records_end;
      FileRegion(records_end, crc_end - records_end, "further package data (checksummed)");
    }
    const uint64_t package_end =
        locator.MinFileSize > 0 ? static_cast<uint64_t>(locator.MinFileSize) : 0;
    const uint64_t unchecked = std::max(crc_end, records_end);
    if (package_end > unchecked) {
      map_.unchecked_offset = unchecked;
      map_.unchecked_length = package_end - unchecked;
      const uint64_t in_file = unchecked < size() ? std::min(package_end, size()) - unchecked : 0;
      Region(unchecked, in_file, "further package data (not checksummed)");
    }
  }

  void AddCertificate() {
    if (!map_.image) return;
    const pe::DataDirectory certificate = map_.image->Certificate();
    if (certificate.size == 0) return;
    // A table cut short is among the signature's problems.
    const uint64_t in_file =
        certificate.address < size()
            ? std::min<uint64_t>(certificate.size, size() - certificate.address)
            : 0;
    Region(certificate.address, in_file, "certificate table");
    map_.signature = FindPackageSignature(source_, &*map_.image,
                                          map_.locator ? &*map_.locator : nullptr);
    for (std::string& problem : SignatureProblems(map_.signature)) Problem(std::move(problem));
  }

  std::string GapName(uint64_t offset, uint64_t end) const {
    const uint64_t package_end = map_.locator && map_.locator->MinFileSize > 0
                                     ? static_cast<uint64_t>(map_.locator->MinFileSize)
                                     : 0;
    if (map_.image && end <= map_.image->FirstRawDataOffset() && offset >= map_.image->headers_end) {
      return "header padding";
    }
    if (offset == kPackageLocatorOffset + kPackageLocatorSize && map_.image &&
        end == map_.image->header_offset) {
      return "free space";
    }
    if (package_end > 0 && offset >= package_end) {
      return end == size() ? "slack behind the package" : "padding behind the package";
    }
    return "unaccounted bytes";
  }

  void FinishRegions() {
    std::vector<MapRegion>& regions = map_.regions;
    std::stable_sort(regions.begin(), regions.end(), [](const MapRegion& a, const MapRegion& b) {
      return a.offset != b.offset ? a.offset < b.offset : a.length > b.length;
    });
    std::vector<MapRegion> filled;
    uint64_t covered = 0;
    const MapRegion* last = nullptr;
    for (const MapRegion& region : regions) {
      if (region.offset > covered) {
        filled.push_back({covered, region.offset - covered, GapName(covered, region.offset)});
      } else if (last != nullptr && region.offset < covered) {
        Problem(region.name + " (at " + Num(region.offset) + ") overlaps " + last->name);
      }
      filled.push_back(region);
      if (region.end() > covered) {
        covered = region.end();
        last = &region;
      }
    }
    if (covered < size()) filled.push_back({covered, size() - covered, GapName(covered, size())});
    regions = std::move(filled);
  }

  ByteSource& source_;
  PackageMap map_;
};

}  // namespace

std::vector<uint8_t> MemorySource::Read(uint64_t offset, size_t count) {
  if (offset >= bytes_.size()) return {};
  const size_t available = static_cast<size_t>(bytes_.size() - offset);
  const auto begin = bytes_.begin() + static_cast<std::ptrdiff_t>(offset);
  return std::vector<uint8_t>(begin, begin + std::min(count, available));
}

LzmaProperties DecodeLzmaProperties(const std::array<uint8_t, 5>& bytes) {
  const stub::Lzma1Properties stated = stub::UnpackLzma1Properties(bytes.data());
  stub::Lzma1Properties accepted;
  return {stated.lc, stated.lp, stated.pb, stated.dict_size,
          stub::ParseLzma1Properties(bytes.data(), accepted)};
}

PackageMap AnalyzePackage(ByteSource& source) { return Analyzer(source).Run(); }

}  // namespace sfxpack
