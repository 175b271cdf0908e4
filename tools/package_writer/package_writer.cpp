// SPDX-License-Identifier: Zlib
#include "tools/package_writer/package_writer.h"

#include <algorithm>

#include "decoding/crc32.h"
#include "tools/common/text_format.h"
#include "tools/common/tool_error.h"
#include "tools/pe/pe_image.h"

namespace packaging {
namespace {

using stub::kMaxMessageLength;
using stub::kMaxProgramLength;
using stub::kMaxSeekOffset;
using stub::kPackageHeaderSize;
using stub::kPackageLocatorOffset;
using stub::kPeHeaderOffset;
using tools::Decimal;
using tools::ToolError;

void Append(std::vector<uint8_t>& out, std::span<const uint8_t> bytes) {
  out.insert(out.end(), bytes.begin(), bytes.end());
}

uint32_t CrcOf(std::span<const uint8_t> bytes) {
  uint32_t crc = 0;
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

PackageHead AssemblePackageHead(std::span<const uint8_t> launcher, const PackageSettings& settings,
                                const std::array<uint8_t, 5>& properties,
                                std::span<const uint8_t> stream, uint64_t program_length,
                                uint64_t further_data_length) {
  tools::WithContext("the launcher image: ", [&] { CheckLauncherImage(launcher); });
  CheckSettings(settings);

  const uint64_t package_offset = launcher.size();
  const uint64_t stream_offset = package_offset + kPackageHeaderSize;
  const uint64_t message_offset = stream_offset + stream.size();
  const uint64_t message_bytes = uint64_t{settings.message.size()} * 2;
  const uint64_t further_offset = message_offset + message_bytes;
  const uint64_t crc_length = further_offset + further_data_length - package_offset;
  Require(program_length <= kMaxProgramLength,
          "the inner program is larger than the launcher can hold in memory (" +
              Decimal(kMaxProgramLength) + " bytes)");
  Require(stream.size() <= kMaxProgramLength,
          "the compressed inner program is larger than the launcher can hold in memory");
  Require(message_offset <= kMaxSeekOffset,
          "the compressed inner program ends beyond 2 GiB, where the launcher cannot read");
  Require(further_data_length <= 0xFFFFFFFF && crc_length <= 0xFFFFFFFF,
          "the package data is larger than 4 GiB");

  PackageHead head;
  stub::TPackageHeader& header = head.layout.header;
  header.LzmaProperties = properties;
  header.OsMask = settings.os_mask;
  header.MinReleaseId = settings.min_release_id;
  header.MaxReleaseId = settings.max_release_id;
  header.ElevationMode = settings.elevation_mode;
  if (settings.extension) header.Reserved2 = stub::EncodePackageExtension(*settings.extension);
  header.StreamOffset = static_cast<uint32_t>(stream_offset);
  header.StreamLength = static_cast<uint32_t>(stream.size());
  header.ProgramLength = static_cast<uint32_t>(program_length);
  header.UnsupportedOsMessage.Offset = static_cast<uint32_t>(message_offset);
  header.UnsupportedOsMessage.Length = static_cast<uint16_t>(settings.message.size());

  std::vector<uint8_t>& bytes = head.bytes;
  bytes.reserve(further_offset);
  Append(bytes, launcher);
  Append(bytes, stub::EncodePackageHeader(header));
  Append(bytes, stream);
  for (char16_t unit : settings.message) {
    bytes.push_back(static_cast<uint8_t>(unit));
    bytes.push_back(static_cast<uint8_t>(unit >> 8));
  }

  stub::TPackageLocator& locator = head.layout.locator;
  locator.PackageOffset = static_cast<uint32_t>(package_offset);
  locator.CrcLength = static_cast<uint32_t>(crc_length);
  locator.CrcValue = CrcOf(std::span(bytes).subspan(package_offset));
  locator.MinFileSize = static_cast<int64_t>(further_offset + further_data_length);
  locator.DetachedSize = settings.detached_size;
  const stub::PackageLocatorBytes locator_bytes = stub::EncodePackageLocator(locator);
  std::copy(locator_bytes.begin(), locator_bytes.end(), bytes.begin() + kPackageLocatorOffset);

  head.layout.further_data_offset = further_offset;
  head.layout.further_data_length = further_data_length;
  return head;
}

}  // namespace packaging
