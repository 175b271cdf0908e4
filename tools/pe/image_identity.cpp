#include "tools/pe/image_identity.h"

#include <algorithm>
#include <string>

#include "format/little_endian.h"
#include "tools/common/tool_error.h"

namespace pe {
namespace {

using stub::ReadLe16;
using stub::ReadLe32;
using stub::WriteLe32;
using tools::ToolError;

constexpr uint32_t kBaseRelocationBlockHeader = 8;
constexpr uint16_t kRelocationPadding = 0;  // IMAGE_REL_BASED_ABSOLUTE: patches nothing
// The widest field a base relocation patches (IMAGE_REL_BASED_DIR64).
constexpr uint32_t kLargestRelocatedField = 8;
// The resource section may not grow beyond this; no icon and version come near.
constexpr uint64_t kMaxResourceSection = 64 << 20;

void Refuse(const std::string& reason) {
  throw ToolError("cannot rewrite the resources of this image: " + reason);
}

bool IsPowerOfTwo(uint32_t value) { return value != 0 && (value & (value - 1)) == 0; }

uint64_t AlignUp(uint64_t value, uint32_t alignment) {
  return (value + alignment - 1) / alignment * alignment;
}

// Where the sections to rewrite lie in the image's section table.
struct Layout {
  size_t resources = 0;
  std::optional<size_t> relocations;
};

bool DirectoryIn(const DataDirectory& directory, const Section& section) {
  return directory.size != 0 && directory.address >= section.virtual_address &&
         directory.address - section.virtual_address < std::max(section.virtual_size, section.raw_size);
}

// Throws unless no base relocation patches a byte at or behind `rva`.
void CheckRelocationsBelow(std::span<const uint8_t> file, const Image& image,
                           const Section& relocations, uint32_t rva) {
  const DataDirectory directory = image.directories[kBaseRelocationDirectory];
  const uint64_t start = uint64_t{relocations.raw_offset} + directory.address - relocations.virtual_address;
  const uint64_t end = start + directory.size;
  if (end > uint64_t{relocations.raw_offset} + relocations.raw_size) {
    Refuse("the base relocations reach past their section");
  }
  for (uint64_t block = start; block + kBaseRelocationBlockHeader <= end;) {
    const uint32_t page = ReadLe32(&file[block]);
    const uint32_t size = ReadLe32(&file[block + 4]);
    if (size < kBaseRelocationBlockHeader || block + size > end) {
      Refuse("a base relocation block is malformed");
    }
    for (uint64_t entry = block + kBaseRelocationBlockHeader; entry + 2 <= block + size; entry += 2) {
      const uint16_t value = ReadLe16(&file[entry]);
      if (value >> 12 == kRelocationPadding) continue;
      if (uint64_t{page} + (value & 0xFFF) + kLargestRelocatedField > rva) {
        Refuse("a base relocation patches the resource or relocation section");
      }
    }
    block += size;
  }
}

Layout CheckLayout(std::span<const uint8_t> file, const Image& image) {
  if (image.Certificate().size != 0) Refuse("it is signed");
  const Section* resources = ResourceSection(image);
  if (resources == nullptr) Refuse("it has no resource section");
  if (!IsPowerOfTwo(image.section_alignment) || !IsPowerOfTwo(image.file_alignment)) {
    Refuse("its section or file alignment is not a power of two");
  }
  const std::vector<Section>& sections = image.sections;
  Layout layout;
  layout.resources = static_cast<size_t>(resources - sections.data());
  const size_t behind = sections.size() - 1 - layout.resources;
  const bool relocations_behind =
      behind == 1 && image.directories.size() > kBaseRelocationDirectory &&
      image.directories[kBaseRelocationDirectory].size != 0 &&
      image.directories[kBaseRelocationDirectory].address == sections.back().virtual_address;
  if (behind > 1 || (behind == 1 && !relocations_behind)) {
    Refuse("section " + sections[layout.resources + 1].name +
           " follows the resource section, and only the base relocations may");
  }
  if (relocations_behind) layout.relocations = layout.resources + 1;
  for (size_t i = 0; i + 1 < sections.size(); ++i) {
    if (sections[i].virtual_address >= sections[i + 1].virtual_address) {
      Refuse("its sections are not in address order");
    }
  }
  const uint64_t resources_raw = resources->raw_offset;
  for (size_t i = 0; i < sections.size(); ++i) {
    const Section& section = sections[i];
    if (i < layout.resources && section.raw_size != 0 &&
        uint64_t{section.raw_offset} + section.raw_size > resources_raw) {
      Refuse("section " + section.name + " lies behind the resource section in the file");
    }
  }
  if (layout.relocations) {
    const Section& relocations = sections[*layout.relocations];
    if (resources_raw + resources->raw_size > relocations.raw_offset) {
      Refuse("the relocation section does not follow the resource section in the file");
    }
    CheckRelocationsBelow(file, image, relocations, resources->virtual_address);
  }
  if (file.size() != image.ImageEnd()) Refuse("data lies behind its last section");
  for (size_t i = 0; i < image.directories.size(); ++i) {
    if (i == kResourceDirectory || i == kCertificateDirectory) continue;
    if (i == kBaseRelocationDirectory && layout.relocations) continue;
    for (size_t s = layout.resources; s < sections.size(); ++s) {
      if (DirectoryIn(image.directories[i], sections[s])) {
        Refuse("data directory " + std::to_string(i) + " points into section " + sections[s].name);
      }
    }
  }
  return layout;
}

void WriteSectionField(std::vector<uint8_t>& out, const Image& image, size_t index, uint32_t field,
                       uint32_t value) {
  WriteLe32(&out[image.section_table_offset + index * kSectionHeaderSize + field], value);
}

void WriteDirectory(std::vector<uint8_t>& out, const Image& image, uint32_t index,
                    const DataDirectory& directory) {
  uint8_t* p = &out[image.optional_offset + kOptDataDirectories + 8 * index];
  WriteLe32(p, directory.address);
  WriteLe32(p + 4, directory.size);
}

// The first resource of `type`, or nullptr.
const Resource* FirstOfType(const std::vector<Resource>& resources, uint16_t type) {
  for (const Resource& resource : resources) {
    if (resource.type.is_id() && resource.type.id == type) return &resource;
  }
  return nullptr;
}

// Drops every resource of the `types` and returns the name and language of
// the first one dropped (id 1 and U.S. English when there was none).
Resource DropTypes(std::vector<Resource>& resources, std::initializer_list<uint16_t> types) {
  Resource place;
  place.name.id = 1;
  place.language = kDefaultResourceLanguage;
  if (const Resource* first = FirstOfType(resources, *types.begin())) {
    place.name = first->name;
    place.language = first->language;
  }
  std::erase_if(resources, [&](const Resource& resource) {
    return resource.type.is_id() &&
           std::find(types.begin(), types.end(), resource.type.id) != types.end();
  });
  return place;
}

}  // namespace

const Section* ResourceSection(const Image& image) {
  if (image.directories.size() <= kResourceDirectory) return nullptr;
  const DataDirectory directory = image.directories[kResourceDirectory];
  if (directory.size == 0) return nullptr;
  for (const Section& section : image.sections) {
    if (section.virtual_address == directory.address && section.raw_size != 0) return &section;
  }
  return nullptr;
}

std::vector<uint8_t> ReplaceResources(std::span<const uint8_t> file,
                                      const std::vector<Resource>& resources) {
  const Image image = ParseImage(file);
  const Layout layout = CheckLayout(file, image);
  const Section& old_resources = image.sections[layout.resources];
  const std::vector<uint8_t> section = WriteResources(resources, old_resources.virtual_address);
  if (section.size() > kMaxResourceSection) {
    Refuse("its resources would take more than 64 MiB");
  }
  const uint32_t size = static_cast<uint32_t>(section.size());
  const uint32_t raw_size = static_cast<uint32_t>(AlignUp(size, image.file_alignment));

  std::vector<uint8_t> out(file.begin(), file.begin() + old_resources.raw_offset);
  out.insert(out.end(), section.begin(), section.end());
  out.resize(uint64_t{old_resources.raw_offset} + raw_size, 0);
  WriteSectionField(out, image, layout.resources, kSectionVirtualSize, size);
  WriteSectionField(out, image, layout.resources, kSectionRawSize, raw_size);
  WriteDirectory(out, image, kResourceDirectory, {old_resources.virtual_address, size});
  uint64_t image_end = uint64_t{old_resources.virtual_address} + size;
  if (layout.relocations) {
    const Section& relocations = image.sections[*layout.relocations];
    const uint32_t address =
        static_cast<uint32_t>(AlignUp(image_end, image.section_alignment));
    const auto raw = file.subspan(relocations.raw_offset, relocations.raw_size);
    WriteSectionField(out, image, *layout.relocations, kSectionVirtualAddress, address);
    WriteSectionField(out, image, *layout.relocations, kSectionRawOffset,
                      static_cast<uint32_t>(out.size()));
    out.insert(out.end(), raw.begin(), raw.end());
    const DataDirectory old_directory = image.directories[kBaseRelocationDirectory];
    WriteDirectory(out, image, kBaseRelocationDirectory,
                   {old_directory.address - relocations.virtual_address + address, old_directory.size});
    image_end = uint64_t{address} + relocations.virtual_size;
  }
  WriteLe32(&out[image.optional_offset + kOptSizeOfImage],
            static_cast<uint32_t>(AlignUp(image_end, image.section_alignment)));
  if (old_resources.characteristics & kSectionInitializedData) {
    const uint32_t field = image.optional_offset + kOptSizeOfInitializedData;
    WriteLe32(&out[field], ReadLe32(&out[field]) - old_resources.raw_size + raw_size);
  }
  if (image.checksum != 0) {
    WriteLe32(&out[image.checksum_offset], ComputeChecksum(out, image.checksum_offset));
  }
  return out;
}

std::vector<uint8_t> SetIdentity(std::span<const uint8_t> file, const Identity& identity) {
  const Image image = ParseImage(file);
  const Section* section = ResourceSection(image);
  if (section == nullptr) Refuse("it has no resource section");
  std::vector<Resource> resources =
      ReadResources(file.subspan(section->raw_offset, section->raw_size), section->virtual_address);
  if (identity.icon) {
    const Resource group = DropTypes(resources, {kRtGroupIcon, kRtIcon});
    const std::vector<IconImage>& images = *identity.icon;
    resources.push_back({{kRtGroupIcon, {}}, group.name, group.language, 0, EncodeIconGroup(images, 1)});
    for (size_t i = 0; i < images.size(); ++i) {
      resources.push_back({{kRtIcon, {}}, {static_cast<uint16_t>(1 + i), {}}, group.language, 0,
                           images[i].data});
    }
  }
  if (identity.version) {
    const Resource version = DropTypes(resources, {kRtVersion});
    resources.push_back({{kRtVersion, {}}, version.name, version.language, 0,
                         EncodeVersionInfo(*identity.version)});
  }
  return ReplaceResources(file, resources);
}

}  // namespace pe
