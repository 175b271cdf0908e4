// SPDX-License-Identifier: Zlib
// A small PE32+ image laid out as ld lays out the launcher, for the fuzz
// targets that rewrite resources: the headers (0x400 bytes, the PE header at
// 256), .text, .rsrc, then .reloc with one block that patches .text; file
// alignment 0x200, section alignment 0x1000, a nonzero CheckSum.
#pragma once

#include <cstdint>
#include <vector>

#include "tools/pe/icon_file.h"
#include "tools/pe/version_resource.h"

namespace fuzzing {

inline constexpr uint32_t kResourceRva = 0x2000;
inline constexpr uint32_t kHeadersSize = 0x400;

// The image with `resource_section` as the resource section's data, which
// the resource directory takes whole.
std::vector<uint8_t> LauncherImage(const std::vector<uint8_t>& resource_section);

// A valid resource section at kResourceRva: a manifest, an icon group with
// its icon, and a version resource, as the launcher has them.
std::vector<uint8_t> LauncherResources();

// An identity to set: a 16x16 bitmap icon and version information.
std::vector<pe::IconImage> SmallIcon();
pe::VersionInfo SmallVersion();

}  // namespace fuzzing
