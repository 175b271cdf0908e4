// SPDX-License-Identifier: Zlib
// The resource directory of a PE image: reading it into a flat list of
// resources and writing such a list back as a resource section.
//
// Layout (all fields little-endian; offsets without "RVA" count from the start
// of the resource directory, which is the start of its section):
//   directory  16 bytes: u32 Characteristics, u32 TimeDateStamp,
//              u16 MajorVersion, u16 MinorVersion, u16 NumberOfNamedEntries,
//              u16 NumberOfIdEntries; then that many 8-byte entries, the named
//              ones first, the id entries in ascending order.
//   entry      u32 Name: high bit set = offset of a name string, else the id
//              in the low 16 bits; u32 OffsetToData: high bit set = offset of
//              the next level's directory, else the offset of a data entry.
//   name       u16 Length (UTF-16 units), then the units, no terminator.
//   data entry 16 bytes: u32 OffsetToData (an RVA), u32 Size, u32 CodePage,
//              u32 Reserved.
// Three levels: type, name, language; every resource is one data entry
// reached through exactly three directories.
//
// Reading checks every offset against the section before it follows it, never
// visits a directory deeper than three levels, and refuses entries that hold
// more bytes in all than the section (shared or looping directories), so a
// hostile image gives an error, never a crash or a runaway.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace pe {

inline constexpr uint32_t kResourceDirectorySize = 16;
inline constexpr uint32_t kResourceEntrySize = 8;
inline constexpr uint32_t kResourceDataEntrySize = 16;
static_assert(kResourceDirectorySize == 4 + 4 + 2 + 2 + 2 + 2);
static_assert(kResourceEntrySize == 4 + 4);
static_assert(kResourceDataEntrySize == 4 * 4);

// The largest resource section WriteResources makes. No icon and version come
// near it; Windows maps the resources with the program at every start.
inline constexpr uint32_t kMaxResourceSectionSize = 64 << 20;

// Resource types by id.
inline constexpr uint16_t kRtIcon = 3;
inline constexpr uint16_t kRtGroupIcon = 14;
inline constexpr uint16_t kRtVersion = 16;
inline constexpr uint16_t kRtManifest = 24;

// A type or a name: an id, or a string when `text` is not empty.
struct ResourceKey {
  uint16_t id = 0;
  std::u16string text;

  bool is_id() const { return text.empty(); }
  bool operator==(const ResourceKey&) const = default;
};

struct Resource {
  ResourceKey type;
  ResourceKey name;
  uint16_t language = 0;
  uint32_t code_page = 0;
  std::vector<uint8_t> data;
};

// The resources of the directory at the start of `section`, whose first byte
// has the RVA `section_rva`, in the directory's order. Throws a
// tools::ToolError naming the fault when the directory is malformed or a
// resource's data lies outside `section`.
std::vector<Resource> ReadResources(std::span<const uint8_t> section, uint32_t section_rva);

// The resource section for `resources` when it starts at `section_rva`: the
// directories (named entries in the order given, before the ids in ascending
// order; resources of one type and name grouped), the name strings, the data
// entries, then each resource's bytes at an 8-byte boundary. Not padded to
// the file alignment. Throws a tools::ToolError, before it allocates the
// section, when the section would be larger than kMaxResourceSectionSize.
std::vector<uint8_t> WriteResources(const std::vector<Resource>& resources, uint32_t section_rva);

}  // namespace pe
