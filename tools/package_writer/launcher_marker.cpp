// SPDX-License-Identifier: Zlib
#include "tools/package_writer/launcher_marker.h"

#include <algorithm>

#include "format/little_endian.h"
#include "format/package_extension.h"
#include "tools/pe/image_identity.h"
#include "tools/pe/resource_tree.h"

namespace packaging {

std::optional<LauncherMarker> ReadLauncherMarker(std::span<const uint8_t> file) {
  const pe::Image image = pe::ParseImage(file);
  const pe::Section* section = pe::ResourceSection(image);
  if (section == nullptr) return std::nullopt;
  const std::vector<pe::Resource> resources = pe::ReadResources(
      file.subspan(section->raw_offset, section->raw_size), section->virtual_address);
  for (const pe::Resource& resource : resources) {
    if (resource.type != pe::ResourceKey{kRtRcdata, {}} ||
        resource.name.text != kLauncherMarkerName) {
      continue;
    }
    const std::vector<uint8_t>& data = resource.data;
    if (data.size() != kLauncherMarkerSize ||
        !std::equal(stub::kPackageExtensionTag.begin(), stub::kPackageExtensionTag.end(),
                    data.begin())) {
      return std::nullopt;
    }
    return LauncherMarker{data[4], stub::ReadLe16(&data[6])};
  }
  return std::nullopt;
}

}  // namespace packaging
