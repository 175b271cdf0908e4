// SPDX-License-Identifier: Zlib
#include "tools/package_writer/package_writer.h"

#include <algorithm>

#include "decoding/crc32.h"
#include "format/little_endian.h"
#include "tools/common/text_format.h"
#include "tools/common/tool_error.h"
#include "tools/package_writer/crc32_combine.h"
#include "tools/pe/pe_image.h"

namespace packaging {
namespace {

using stub::kMaxMessageLength;
using stub::kPackageHeaderSize;
using stub::kPackageLocatorOffset;
using stub::kPeHeaderOffset;
using tools::Decimal;
using tools::ToolError;

uint32_t ContinueCrc(uint32_t crc, std::span<const uint8_t> bytes) {
  for (size_t done = 0; done < bytes.size();) {
    const size_t piece = std::min<size_t>(bytes.size() - done, 1u << 30);
    crc = stub::UpdateCrc32(crc, bytes.data() + done, static_cast<uint32_t>(piece));
    done += piece;
  }
  return crc;
}

void Require(bool ok, const std::string& problem) {
  if (!ok) throw ToolError(problem);
}

// The CheckSum field's offset in the checked launcher image, or nullopt when
// the field is zero (and stays zero).
std::optional<uint32_t> ChecksumOffset(std::span<const uint8_t> launcher) {
  const pe::Image image = pe::ParseImage(launcher);
  if (image.checksum == 0) return std::nullopt;
  return image.checksum_offset;
}

}  // namespace

void CheckLauncherImage(std::span<const uint8_t> launcher) {
  const pe::Image image = pe::ParseImage(launcher);
  Require(image.Certificate().size == 0 && image.Certificate().address == 0,
          "it is signed; sign the package after building it");
  Require(launcher.size() == image.ImageEnd(),
          "it has data behind its last section (is it a package already?)");
  Require(image.header_offset >= kPeHeaderOffset &&
              std::all_of(launcher.begin() + kPackageLocatorOffset,
                          launcher.begin() + kPeHeaderOffset, [](uint8_t b) { return b == 0; }),
          "it has no free bytes at offsets 128 to 255 for the locator");
}

void CheckSettings(const PackageSettings& settings) {
  Require(settings.message.size() <= kMaxMessageLength,
          "the message has " + std::to_string(settings.message.size()) +
              " UTF-16 code units; a package holds at most " + Decimal(kMaxMessageLength));
}

stub::PackageLimits LimitsFor(const std::optional<stub::TPackageExtension>& extension) {
  return extension ? stub::kExtensionRecordLimits : stub::kFirstVersionLimits;
}

PackageWriter::PackageWriter(std::span<const uint8_t> launcher, const PackageSettings& settings,
                             const stub::PackageLimits& limits, PackageSink& sink)
    : settings_(settings), limits_(limits), sink_(sink) {
  tools::WithContext("the launcher image: ", [&] { CheckLauncherImage(launcher); });
  CheckSettings(settings);
  checksum_offset_ = ChecksumOffset(launcher);
  package_offset_ = launcher.size();
  Require(package_offset_ + kPackageHeaderSize <= std::min(stub::kMaxSeekOffset, limits.max_offset),
          "the launcher image ends beyond 2 GiB, where the launcher cannot find its package");
  // The locator and the CheckSum field are written last; until then they
  // are zeros, and so are the header's bytes.
  std::vector<uint8_t> front(launcher.begin(), launcher.end());
  std::fill_n(front.begin() + kPackageLocatorOffset, stub::kPackageLocatorSize, 0);
  if (checksum_offset_) std::fill_n(front.begin() + *checksum_offset_, 4, 0);
  front.resize(front.size() + kPackageHeaderSize, 0);
  sink_.Clear();
  sink_.Write(front);
  checksum_.Append(front);
  end_ = front.size();
}

void PackageWriter::CheckRoom(uint64_t stream_length, uint64_t further_length) const {
  const uint64_t stream_offset = package_offset_ + kPackageHeaderSize;
  Require(stream_length <= limits_.max_stream_length,
          "the inner program's stream is longer than StreamLength may say (" +
              Decimal(limits_.max_stream_length) + " bytes)");
  // The message lies right behind the stream.
  Require(stream_length <= limits_.max_offset - stream_offset,
          "the inner program's stream ends beyond " + Decimal(limits_.max_offset) +
              " bytes, where the launcher cannot read");
  const uint64_t message = 2 * uint64_t{settings_.message.size()};
  Require(stream_length <= kMaxPackageSize - stream_offset &&
              further_length <= kMaxPackageSize - stream_offset - stream_length &&
              message <= kMaxPackageSize - stream_offset - stream_length - further_length,
          "the package would be larger than " + Decimal(kMaxPackageSize) +
              " bytes (4 GiB - 1): its offsets and lengths are 32-bit fields, a signed "
              "package's certificate table must start below 4 GiB, and Windows starts no "
              "program of 4 GiB or more");
}

void PackageWriter::Append(std::span<const uint8_t> bytes) {
  sink_.Write(bytes);
  checksum_.Append(bytes);
  crc_ = ContinueCrc(crc_, bytes);
  end_ += bytes.size();
}

void PackageWriter::AppendStream(std::span<const uint8_t> bytes) {
  if (stream_ended_) throw ToolError("internal error: stream bytes behind the stream's end");
  CheckRoom(stream_length_ + bytes.size(), 0);
  Append(bytes);
  stream_length_ += bytes.size();
}

void PackageWriter::EndStream(const std::array<uint8_t, 5>& properties, uint64_t program_length) {
  Require(program_length <= limits_.max_program_length,
          "the inner program is larger than ProgramLength may say (" +
              Decimal(limits_.max_program_length) + " bytes)");
  CheckRoom(stream_length_, 0);
  properties_ = properties;
  program_length_ = program_length;
  stream_ended_ = true;
  std::vector<uint8_t> message;
  message.reserve(settings_.message.size() * 2);
  for (char16_t unit : settings_.message) {
    message.push_back(static_cast<uint8_t>(unit));
    message.push_back(static_cast<uint8_t>(unit >> 8));
  }
  Append(message);
  further_offset_ = end_;
}

void PackageWriter::AppendFurtherData(std::span<const uint8_t> bytes) {
  if (!stream_ended_) throw ToolError("internal error: further data before the stream's end");
  // The checksum region, which ends with it, is smaller than the package.
  CheckRoom(stream_length_, end_ - further_offset_ + bytes.size());
  Append(bytes);
}

PackageLayout PackageWriter::Finish(std::optional<uint32_t> detached_size) {
  if (!stream_ended_) throw ToolError("internal error: a package finished without its stream");
  PackageLayout layout;
  stub::TPackageHeader& header = layout.header;
  header.LzmaProperties = properties_;
  header.OsMask = settings_.os_mask;
  header.MinReleaseId = settings_.min_release_id;
  header.MaxReleaseId = settings_.max_release_id;
  header.ElevationMode = settings_.elevation_mode;
  if (settings_.extension) header.Reserved2 = stub::EncodePackageExtension(*settings_.extension);
  const uint64_t stream_offset = package_offset_ + kPackageHeaderSize;
  header.StreamOffset = static_cast<uint32_t>(stream_offset);
  header.StreamLength = static_cast<uint32_t>(stream_length_);
  header.ProgramLength = static_cast<uint32_t>(program_length_);
  header.UnsupportedOsMessage.Offset = static_cast<uint32_t>(stream_offset + stream_length_);
  header.UnsupportedOsMessage.Length = static_cast<uint16_t>(settings_.message.size());
  const stub::PackageHeaderBytes header_bytes = stub::EncodePackageHeader(header);

  stub::TPackageLocator& locator = layout.locator;
  locator.PackageOffset = static_cast<uint32_t>(package_offset_);
  locator.CrcLength = static_cast<uint32_t>(end_ - package_offset_);
  locator.CrcValue = Crc32Combine(ContinueCrc(0, header_bytes), crc_, end_ - stream_offset);
  locator.MinFileSize = static_cast<int64_t>(end_);
  locator.DetachedSize = detached_size.value_or(settings_.detached_size);
  const stub::PackageLocatorBytes locator_bytes = stub::EncodePackageLocator(locator);

  sink_.WriteAt(package_offset_, header_bytes);
  checksum_.AddAt(package_offset_, header_bytes);
  sink_.WriteAt(kPackageLocatorOffset, locator_bytes);
  checksum_.AddAt(kPackageLocatorOffset, locator_bytes);
  if (checksum_offset_) {
    uint8_t field[4];
    stub::WriteLe32(field, checksum_.Finish());
    sink_.WriteAt(*checksum_offset_, field);
  }
  layout.further_data_offset = further_offset_;
  layout.further_data_length = end_ - further_offset_;
  return layout;
}

}  // namespace packaging
