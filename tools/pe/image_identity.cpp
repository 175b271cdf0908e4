// SPDX-License-Identifier: Zlib
#include "tools/pe/image_identity.h"

#include <algorithm>
#include <string>

#include "format/little_endian.h"
#include "tools/common/text_format.h"
#include "tools/common/tool_error.h"

namespace pe {
namespace {

using stub::ReadLe16;
using stub::ReadLe32;
using stub::WriteLe32;
using tools::Hex;
using tools::ToolError;

constexpr uint32_t kBaseRelocationBlockHeader = 8;
constexpr uint16_t kRelocationPadding = 0;  // IMAGE_REL_BASED_ABSOLUTE: patches nothing
// The widest field a base relocation patches (IMAGE_REL_BASED_DIR64).
constexpr uint32_t kLargestRelocatedField = 8;
// The alignments of the PE format, which Windows' loader holds images to:
// both powers of two, the section alignment at least the file alignment, and
// the file alignment from 512 to 64 KiB, or, when the section alignment is
// below the page size, equal to it. (Wine's loader checks none of them.)
constexpr uint32_t kPageSize = 0x1000;
constexpr uint32_t kMinFileAlignment = 512;
constexpr uint32_t kMaxFileAlignment = 0x10000;
// Windows loads no image of 2 GiB or more in memory (Microsoft's linker
// refuses to make one, LNK1248), so every recomputed address and SizeOfImage
// stays below it. The headers and one section take a section alignment each
// at least, so an alignment above 512 MiB leaves no image Windows loads.
constexpr uint64_t kLargestImage = uint64_t{1} << 31;
constexpr uint64_t kMaxSectionAlignment = kLargestImage / 4;

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

void CheckAlignments(const Image& image) {
  const uint32_t section = image.section_alignment;
  const uint32_t file = image.file_alignment;
  if (!IsPowerOfTwo(section) || !IsPowerOfTwo(file)) {
    Refuse("its section or file alignment is not a power of two");
  }
  if (section < file) {
    Refuse("its section alignment " + Hex(section) + " is below its file alignment " + Hex(file));
  }
  if (section < kPageSize) {
    if (file != section) {
      Refuse("its section alignment " + Hex(section) +
             " is below the page size and not its file alignment " + Hex(file));
    }
  } else if (file < kMinFileAlignment || file > kMaxFileAlignment) {
    Refuse("its file alignment " + Hex(file) + " is not from 0x200 to 0x10000");
  }
  if (section > kMaxSectionAlignment) {
    Refuse("its section alignment " + Hex(section) + " is above " + Hex(kMaxSectionAlignment) +
           ", too large for an image Windows loads");
  }
}

Layout CheckLayout(std::span<const uint8_t> file, const Image& image) {
  if (image.Certificate().size != 0) Refuse("it is signed");
  const Section* resources = ResourceSection(image);
  if (resources == nullptr) Refuse("it has no resource section");
  CheckAlignments(image);
  // The rewrite keeps the file up to the resource section's data and writes
  // the headers' fields in place: the new resources inside the headers would
  // overwrite them, the section table above all, and the fields written would
  // change another section's data there.
  const std::vector<Section>& sections = image.sections;
  const uint64_t headers_end = std::max(image.headers_end, image.size_of_headers);
  if (resources->raw_offset < headers_end) Refuse("its resource section lies inside the PE headers");
  for (size_t i = 0; i < sections.size(); ++i) {
    if (sections[i].raw_size != 0 && sections[i].raw_offset < headers_end) {
      Refuse("the data of its section " + std::to_string(i + 1) + " lies inside the PE headers");
    }
  }
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
  for (size_t i = 0; i < sections.size(); ++i) {
    if (sections[i].virtual_address % image.section_alignment != 0) {
      Refuse("its sections do not start at its section alignment");
    }
    if (i + 1 < sections.size() && sections[i].virtual_address >= sections[i + 1].virtual_address) {
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

// The fields the rewrite changes besides the resource section's size.
struct Fields {
  uint32_t resources_raw_size = 0;
  uint32_t relocations_address = 0;
  uint32_t size_of_image = 0;
  std::optional<uint32_t> initialized_data;  // when the resources count in it
};

// The new fields for a resource section of `size` bytes, each computed in 64
// bits and refused unless it fits its field and the image stays one Windows
// loads.
Fields Recompute(std::span<const uint8_t> file, const Image& image, const Layout& layout,
                 uint64_t size) {
  const Section& resources = image.sections[layout.resources];
  Fields fields;
  const uint64_t raw_size = AlignUp(size, image.file_alignment);
  uint64_t file_end = uint64_t{resources.raw_offset} + raw_size;
  uint64_t image_end = uint64_t{resources.virtual_address} + size;
  uint64_t relocations_address = 0;
  if (layout.relocations) {
    const Section& relocations = image.sections[*layout.relocations];
    relocations_address = AlignUp(image_end, image.section_alignment);
    image_end = relocations_address + relocations.virtual_size;
    file_end += relocations.raw_size;
  }
  // Every address lies below the image's end.
  const uint64_t size_of_image = AlignUp(image_end, image.section_alignment);
  if (size_of_image >= kLargestImage) {
    Refuse("it would take " + Hex(size_of_image) + " bytes in memory, and Windows loads less than " +
           Hex(kLargestImage));
  }
  if (file_end > UINT32_MAX) Refuse("it would be larger than 4 GiB");
  fields.resources_raw_size = static_cast<uint32_t>(raw_size);
  fields.relocations_address = static_cast<uint32_t>(relocations_address);
  fields.size_of_image = static_cast<uint32_t>(size_of_image);
  if (resources.characteristics & kSectionInitializedData) {
    const uint32_t total = ReadLe32(&file[image.optional_offset + kOptSizeOfInitializedData]);
    if (total < resources.raw_size) {
      Refuse("its SizeOfInitializedData is smaller than its resource section");
    }
    const uint64_t new_total = uint64_t{total} - resources.raw_size + raw_size;
    if (new_total > UINT32_MAX) Refuse("its SizeOfInitializedData would pass 4 GiB");
    fields.initialized_data = static_cast<uint32_t>(new_total);
  }
  return fields;
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

// A resource of the numbered `type`. Built here rather than as a braced
// temporary in push_back, where GCC 12 at -O2 takes the type's empty name
// text for uninitialised (-Wmaybe-uninitialized).
Resource Typed(uint16_t type, const ResourceKey& name, uint16_t language, std::vector<uint8_t> data) {
  Resource resource;
  resource.type.id = type;
  resource.name = name;
  resource.language = language;
  resource.data = std::move(data);
  return resource;
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
  const std::vector<uint8_t> section =
      tools::WithContext("cannot rewrite the resources of this image: ",
                         [&] { return WriteResources(resources, old_resources.virtual_address); });
  const Fields fields = Recompute(file, image, layout, section.size());

  std::vector<uint8_t> out(file.begin(), file.begin() + old_resources.raw_offset);
  out.insert(out.end(), section.begin(), section.end());
  out.resize(uint64_t{old_resources.raw_offset} + fields.resources_raw_size, 0);
  const uint32_t size = static_cast<uint32_t>(section.size());
  WriteSectionField(out, image, layout.resources, kSectionVirtualSize, size);
  WriteSectionField(out, image, layout.resources, kSectionRawSize, fields.resources_raw_size);
  WriteDirectory(out, image, kResourceDirectory, {old_resources.virtual_address, size});
  if (layout.relocations) {
    const Section& relocations = image.sections[*layout.relocations];
    const auto raw = file.subspan(relocations.raw_offset, relocations.raw_size);
    WriteSectionField(out, image, *layout.relocations, kSectionVirtualAddress,
                      fields.relocations_address);
    WriteSectionField(out, image, *layout.relocations, kSectionRawOffset,
                      static_cast<uint32_t>(out.size()));
    out.insert(out.end(), raw.begin(), raw.end());
    // The directory starts the section (CheckLayout).
    WriteDirectory(out, image, kBaseRelocationDirectory,
                   {fields.relocations_address, image.directories[kBaseRelocationDirectory].size});
  }
  WriteLe32(&out[image.optional_offset + kOptSizeOfImage], fields.size_of_image);
  if (fields.initialized_data) {
    WriteLe32(&out[image.optional_offset + kOptSizeOfInitializedData], *fields.initialized_data);
  }
  if (image.checksum != 0) {
    WriteLe32(&out[image.checksum_offset], ComputeChecksum(out, image.checksum_offset));
  }
  return out;
}

std::vector<uint8_t> SetIdentity(std::span<const uint8_t> file, const Identity& identity) {
  const Image image = ParseImage(file);
  // Refused for its layout before its resources are read.
  const Section& section = image.sections[CheckLayout(file, image).resources];
  std::vector<Resource> resources =
      ReadResources(file.subspan(section.raw_offset, section.raw_size), section.virtual_address);
  if (identity.icon) {
    const Resource group = DropTypes(resources, {kRtGroupIcon, kRtIcon});
    const std::vector<IconImage>& images = *identity.icon;
    resources.push_back(Typed(kRtGroupIcon, group.name, group.language, EncodeIconGroup(images, 1)));
    for (size_t i = 0; i < images.size(); ++i) {
      resources.push_back(Typed(kRtIcon, ResourceKey{static_cast<uint16_t>(1 + i), {}},
                                group.language, images[i].data));
    }
  }
  if (identity.version) {
    const Resource version = DropTypes(resources, {kRtVersion});
    resources.push_back(
        Typed(kRtVersion, version.name, version.language, EncodeVersionInfo(*identity.version)));
  }
  return ReplaceResources(file, resources);
}

}  // namespace pe
