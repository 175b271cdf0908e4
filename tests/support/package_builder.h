// SPDX-License-Identifier: Zlib
// Whole packages in memory for the tests: the package writer's head, the
// further data appended, and the locator's checksum completed over it, as
// sfxpack does while it streams a package to its file.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "tools/package_writer/lzma_encoder.h"
#include "tools/package_writer/package_writer.h"

namespace stub::testing {

// The header fields of a package that every Windows version Wine or the fake
// platform can report is admitted by, with a short message naming %USER%.
packaging::PackageSettings AdmitAllWindows();

// The header fields of the example package: Windows 7 to 10 and newer
// (0x8000000000000780), releases 1507 to 9999, ElevationMode 1 (runas), and
// the message "Not for %USER%.".
packaging::PackageSettings ExampleSettings();

// A whole package in memory, and where its parts lie.
struct TestPackage {
  std::vector<uint8_t> bytes;
  packaging::PackageLayout layout;
};

// Assembles a package from an already encoded stream. Throws the writer's
// tools::ToolError when a limit of the format is exceeded.
TestPackage AssemblePackage(std::span<const uint8_t> launcher,
                            const packaging::PackageSettings& settings,
                            const std::array<uint8_t, 5>& properties,
                            std::span<const uint8_t> stream, uint64_t program_length,
                            std::span<const uint8_t> further_data);

// The blocks of BuildPackage's .xz streams: small, so that a small program
// has several.
inline constexpr uint64_t kTestXzBlockSize = 64 << 10;

// Stores `inner` as the settings' stream method says (LZMA1 with `lzma`, the
// same behind the x86 filter, stored as it is, or an .xz stream of
// kTestXzBlockSize blocks with `lzma`'s options and x86 filter; the properties
// bytes zero but for LZMA1), then AssemblePackage.
TestPackage BuildPackage(std::span<const uint8_t> launcher, std::span<const uint8_t> inner,
                         const packaging::PackageSettings& settings,
                         const packaging::LzmaSettings& lzma,
                         std::span<const uint8_t> further_data);

// Recomputes the locator's CrcValue over the region it names, after bytes of
// the region were changed on purpose, so that a test reaches the check behind
// the checksum. False when the package has no locator or the region lies
// outside it.
bool RefreshChecksum(std::vector<uint8_t>& package);

}  // namespace stub::testing
