// SPDX-License-Identifier: Zlib
#include "tools/sfxpack/analysis/package_identity.h"

#include <unordered_map>

#include "tools/common/tool_error.h"
#include "tools/pe/icon_file.h"
#include "tools/pe/image_identity.h"
#include "tools/pe/resource_tree.h"
#include "tools/sfxpack/analysis/package_map.h"

namespace sfxpack {
namespace {

// Far more than any icon and version need; a larger section is not read.
constexpr uint32_t kMaxResourceSectionRead = 64 << 20;

const pe::Resource* FirstResource(const std::vector<pe::Resource>& resources, uint16_t type) {
  for (const pe::Resource& resource : resources) {
    if (resource.type == pe::ResourceKey{type, {}}) return &resource;
  }
  return nullptr;
}

// The first RT_ICON resource of each id, found once: a group may name 65,535
// icons, and a search of all resources for each would take seconds.
std::unordered_map<uint16_t, const pe::Resource*> IconsById(
    const std::vector<pe::Resource>& resources) {
  std::unordered_map<uint16_t, const pe::Resource*> icons;
  for (const pe::Resource& resource : resources) {
    if (resource.type == pe::ResourceKey{pe::kRtIcon, {}} && resource.name.is_id()) {
      icons.emplace(resource.name.id, &resource);
    }
  }
  return icons;
}

std::vector<IconDescription> DescribeIconGroup(const std::vector<pe::Resource>& resources,
                                               const pe::Resource& group) {
  const std::unordered_map<uint16_t, const pe::Resource*> images = IconsById(resources);
  std::vector<IconDescription> icons;
  for (const pe::IconGroupEntry& entry : pe::ParseIconGroup(group.data)) {
    IconDescription icon;
    icon.id = entry.id;
    const auto found = images.find(entry.id);
    const pe::Resource* image = found == images.end() ? nullptr : found->second;
    if (image == nullptr) {
      throw tools::ToolError("it names icon resource " + std::to_string(entry.id) +
                             ", which is missing");
    }
    // The picture's own header tells what Windows draws; a group entry may
    // say 0 bits or 0 for 256 pixels.
    const pe::IconPicture picture =
        tools::WithContext("icon resource " + std::to_string(entry.id) + ": ",
                           [&] { return pe::DescribeIconImage(image->data); });
    icon.width = picture.width;
    icon.height = picture.height;
    icon.bit_count = picture.bit_count;
    icon.png = picture.png;
    icon.size = static_cast<uint32_t>(image->data.size());
    icons.push_back(icon);
  }
  return icons;
}

}  // namespace

std::string DescribeIcon(const IconDescription& icon) {
  return std::to_string(icon.width) + "x" + std::to_string(icon.height) + " " +
         std::to_string(icon.bit_count) + "-bit" + (icon.png ? " PNG" : "");
}

std::optional<PackageIdentity> ReadPackageIdentity(ByteSource& source, const pe::Image& image,
                                                   std::vector<std::string>& notes) {
  const pe::Section* section = pe::ResourceSection(image);
  if (section == nullptr) return std::nullopt;
  if (section->raw_size > kMaxResourceSectionRead) {
    notes.push_back("the resource section is too large to read for the icon and version");
    return std::nullopt;
  }
  PackageIdentity identity;
  const std::vector<uint8_t> bytes = source.Read(section->raw_offset, section->raw_size);
  try {
    const std::vector<pe::Resource> resources = pe::ReadResources(bytes, section->virtual_address);
    if (const pe::Resource* group = FirstResource(resources, pe::kRtGroupIcon)) {
      identity.icons = tools::WithContext("the icon: ", [&] { return DescribeIconGroup(resources, *group); });
    }
    if (const pe::Resource* version = FirstResource(resources, pe::kRtVersion)) {
      identity.version = pe::ParseVersionInfo(version->data);
    }
  } catch (const tools::ToolError& error) {  // a finding about the file, not a failure
    notes.push_back(std::string("the launcher image's resources: ") + error.what());
  }
  return identity;
}

}  // namespace sfxpack
