// SPDX-License-Identifier: Zlib
// Packages for the end-to-end tests, built around the real launcher image.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/package_builder.h"
#include "tests/support/whole_file.h"
#include "tools/package_writer/package_writer.h"

namespace e2e {

using stub::testing::AdmitAllWindows;

using stub::testing::ReadBytes;
using stub::testing::WriteBytes;

// A package around `inner` with dist/stub64.exe, in memory.
std::vector<uint8_t> BuildPackageBytes(const std::vector<uint8_t>& inner,
                                       const packaging::PackageSettings& settings = {},
                                       const std::vector<uint8_t>& further_data = {});

}  // namespace e2e
