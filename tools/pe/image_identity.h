// SPDX-License-Identifier: Zlib
// A program image's identity, its icon and version resource, set per package:
// the resource section is rebuilt and the image's fields that depend on it
// are recomputed.
//
// The layout this relies on, and checks before it changes a byte: the
// resource directory starts a section whose raw data comes after every other
// section's but the relocations'; behind it lies at most the base relocation
// section (ld puts .reloc last), and nothing else; the resource section's
// data starts behind the PE headers (SizeOfHeaders and the section table);
// the alignments are ones the loader takes. The resource section then
// grows or shrinks in place and the relocation section moves behind it; the
// relocation blocks do not change, since they describe places in other
// sections. Recomputed: the resource section's VirtualSize and SizeOfRawData
// (padded to FileAlignment), the relocation section's VirtualAddress (at the
// next SectionAlignment) and PointerToRawData, the resource and relocation
// data directories, SizeOfImage, SizeOfInitializedData, and a nonzero
// CheckSum, each refused unless it fits its field and the image stays below
// the 2 GiB Windows loads. The PE headers stay where they are.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "tools/pe/icon_file.h"
#include "tools/pe/pe_image.h"
#include "tools/pe/resource_tree.h"
#include "tools/pe/version_resource.h"

namespace pe {

// Language of the resources written when the image has none to replace:
// U.S. English, as the version resource's string table.
inline constexpr uint16_t kDefaultResourceLanguage = 0x0409;

// What replaces the image's own resources; an empty member keeps them.
struct Identity {
  // Replaces every RT_GROUP_ICON and RT_ICON: one group (under the name and
  // language of the image's first group, else id 1) of these images, stored
  // as RT_ICON ids 1, 2, ...
  std::optional<std::vector<IconImage>> icon;
  // Replaces every RT_VERSION by one (under the name and language of the
  // image's first, else id 1).
  std::optional<VersionInfo> version;
};

// The section the resource directory starts, or nullptr when the image has
// none (no resource directory, or one that starts no section).
const Section* ResourceSection(const Image& image);

// `file` with its resource section rebuilt from `resources`. Throws a
// tools::ToolError, "cannot rewrite the resources of this image: ...", when
// the image is not laid out as described above, is signed, or the new section
// or a recomputed field would not fit.
std::vector<uint8_t> ReplaceResources(std::span<const uint8_t> file,
                                      const std::vector<Resource>& resources);

// `file` with the resources of `identity` in place of its own; every other
// resource is kept byte for byte. Throws a tools::ToolError as
// ReplaceResources does, or when the image's resources are malformed or a
// version string does not fit.
std::vector<uint8_t> SetIdentity(std::span<const uint8_t> file, const Identity& identity);

}  // namespace pe
