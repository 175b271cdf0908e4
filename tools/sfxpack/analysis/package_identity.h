// SPDX-License-Identifier: Zlib
// The identity a package shows to Explorer and the UAC prompt: the icon and
// version resource of its launcher image, as `sfxpack inspect` reports them.
//
// The resource section is read through the ByteSource, bounded in size, and
// parsed by the hostile-input-safe readers of tools/pe; what cannot be read
// becomes a note, never an error.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "tools/pe/pe_image.h"
#include "tools/pe/version_resource.h"

namespace sfxpack {

class ByteSource;

// One picture of the package's icon.
struct IconDescription {
  uint16_t id = 0;  // its RT_ICON resource
  uint32_t width = 0, height = 0, bit_count = 0;
  bool png = false;
  uint32_t size = 0;  // bytes
};

struct PackageIdentity {
  // The pictures of the first icon group; empty when there is none.
  std::vector<IconDescription> icons;
  // The first version resource, when there is one and it can be read.
  std::optional<pe::VersionInfo> version;
};

// The identity in the resources of `image`, whose file `source` holds; nullopt
// when it has no resource section. Adds what cannot be read to `notes`.
std::optional<PackageIdentity> ReadPackageIdentity(ByteSource& source, const pe::Image& image,
                                                   std::vector<std::string>& notes);

// "16x16 4-bit" or "256x256 32-bit PNG".
std::string DescribeIcon(const IconDescription& icon);

}  // namespace sfxpack
