// SPDX-License-Identifier: Zlib
// The two renderings of a PackageMap: a report for people and JSON for
// scripts. Both show every field; the JSON keys are documented in
// docs/sfxpack.md and stay stable.
#pragma once

#include <string>

#include "tools/sfxpack/analysis/package_map.h"

namespace sfxpack {

std::string FormatInspectText(const PackageMap& map, const std::string& file_name);
std::string FormatInspectJson(const PackageMap& map, const std::string& file_name);

}  // namespace sfxpack
