#include "tools/package_writer/package_writer.h"

#include <algorithm>

#include "decoding/crc32.h"
#include "tools/pe/pe_image.h"

namespace packaging {
namespace {

using stub::kMaxMessageLength;
using stub::kMaxProgramLength;
using stub::kMaxSeekOffset;
using stub::kPackageHeaderSize;
using stub::kPackageLocatorOffset;
using stub::kPeHeaderOffset;

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

bool Limit(bool ok, const std::string& what, std::string& error) {
  if (!ok) error = what;
  return ok;
}

}  // namespace

bool CheckLauncherImage(std::span<const uint8_t> launcher, std::string& error) {
  pe::Image image;
  std::string why;
  if (!pe::ParseImage(launcher, image, why)) {
    error = "the launcher image is " + why;
    return false;
  }
  if (image.Certificate().size != 0 || image.Certificate().address != 0) {
    error = "the launcher image is signed; sign the package after building it";
    return false;
  }
  if (launcher.size() != image.ImageEnd()) {
    error = "the launcher image has data behind its last section (is it a package already?)";
    return false;
  }
  if (image.header_offset < kPeHeaderOffset ||
      !std::all_of(launcher.begin() + kPackageLocatorOffset, launcher.begin() + kPeHeaderOffset,
                   [](uint8_t b) { return b == 0; })) {
    error = "the launcher image has no free bytes at offsets 128 to 255 for the locator";
    return false;
  }
  return true;
}

bool AssemblePackageHead(std::span<const uint8_t> launcher, const PackageSettings& settings,
                         const std::array<uint8_t, 5>& properties,
                         std::span<const uint8_t> stream, uint64_t program_length,
                         uint64_t further_data_length, std::vector<uint8_t>& head,
                         PackageLayout& layout, std::string& error) {
  if (!CheckLauncherImage(launcher, error)) return false;

  const uint64_t package_offset = launcher.size();
  const uint64_t stream_offset = package_offset + kPackageHeaderSize;
  const uint64_t message_offset = stream_offset + stream.size();
  const uint64_t message_bytes = uint64_t{settings.message.size()} * 2;
  const uint64_t further_offset = message_offset + message_bytes;
  const uint64_t crc_length = further_offset + further_data_length - package_offset;
  if (!Limit(program_length <= kMaxProgramLength,
             "the inner program is larger than the launcher can hold in memory (2,147,352,576 bytes)",
             error) ||
      !Limit(stream.size() <= kMaxProgramLength,
             "the compressed inner program is larger than the launcher can hold in memory", error) ||
      !Limit(message_offset <= kMaxSeekOffset,
             "the compressed inner program ends beyond 2 GiB, where the launcher cannot read", error) ||
      !Limit(settings.message.size() <= kMaxMessageLength,
             "the message is longer than 65,535 UTF-16 code units", error) ||
      !Limit(further_data_length <= 0xFFFFFFFF && crc_length <= 0xFFFFFFFF,
             "the package data is larger than 4 GiB", error)) {
    return false;
  }

  layout = PackageLayout();
  stub::TPackageHeader& header = layout.header;
  header.LzmaProperties = properties;
  header.OsMask = settings.os_mask;
  header.MinReleaseId = settings.min_release_id;
  header.MaxReleaseId = settings.max_release_id;
  header.ElevationMode = settings.elevation_mode;
  header.StreamOffset = static_cast<uint32_t>(stream_offset);
  header.StreamLength = static_cast<uint32_t>(stream.size());
  header.ProgramLength = static_cast<uint32_t>(program_length);
  header.UnsupportedOsMessage.Offset = static_cast<uint32_t>(message_offset);
  header.UnsupportedOsMessage.Length = static_cast<uint16_t>(settings.message.size());

  head.clear();
  head.reserve(further_offset);
  Append(head, launcher);
  Append(head, stub::EncodePackageHeader(header));
  Append(head, stream);
  for (char16_t unit : settings.message) {
    head.push_back(static_cast<uint8_t>(unit));
    head.push_back(static_cast<uint8_t>(unit >> 8));
  }

  stub::TPackageLocator& locator = layout.locator;
  locator.PackageOffset = static_cast<uint32_t>(package_offset);
  locator.CrcLength = static_cast<uint32_t>(crc_length);
  locator.CrcValue = CrcOf(std::span(head).subspan(package_offset));
  locator.MinFileSize = static_cast<int64_t>(further_offset + further_data_length);
  locator.DetachedSize = settings.detached_size;
  const stub::PackageLocatorBytes bytes = stub::EncodePackageLocator(locator);
  std::copy(bytes.begin(), bytes.end(), head.begin() + kPackageLocatorOffset);

  layout.further_data_offset = further_offset;
  layout.further_data_length = further_data_length;
  return true;
}

}  // namespace packaging
