// SPDX-License-Identifier: Zlib
// Builds setup packages: a launcher image with the package data appended.
//
// The package is laid out as the launcher reads it (format/package_records.h):
// the locator at offset 128, the header at PackageOffset = the first byte
// behind the launcher's last section, the raw LZMA1 stream right behind the
// header, the message text right behind the stream, then the further package
// data. The checksum covers everything from the header to the end of the
// further data; MinFileSize is the length of the whole file.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "format/package_records.h"
#include "tools/package_writer/lzma_encoder.h"

namespace packaging {

// The header fields a package builder chooses.
struct PackageSettings {
  uint64_t os_mask = 0;
  uint16_t min_release_id = 0;
  uint16_t max_release_id = 0;
  uint8_t elevation_mode = 0;
  uint32_t detached_size = 0;
  std::u16string message;  // the unsupported-Windows text
  // Written into the header's second reserved field when set; without it the
  // field stays zero and the package is read as one built before the record.
  std::optional<stub::TPackageExtension> extension;
};

// Where the parts of a built package lie.
struct PackageLayout {
  stub::TPackageLocator locator;
  stub::TPackageHeader header;
  uint64_t further_data_offset = 0;
  uint64_t further_data_length = 0;
};

// Every check below throws a tools::ToolError whose sentence names the
// problem, before anything is written.

// Checks that `launcher` can carry a package: a PE32+ image whose bytes 128 to
// 255 are free (zero, the PE header behind them), that has no certificate
// table and no data behind its last section. The sentence is a clause about
// the image ("it is signed; ..."), for a caller that names it in front.
void CheckLauncherImage(std::span<const uint8_t> launcher);

// Checks the settings against the limits of the format (the message's
// length), for a builder that refuses them before it compresses anything.
void CheckSettings(const PackageSettings& settings);

// The package up to the end of its message text, for callers that stream the
// further data (`further_data_length` bytes) from elsewhere.
struct PackageHead {
  // The launcher image with the locator, the header, the stream and the message.
  std::vector<uint8_t> bytes;
  // Describes the whole package, except that locator.CrcValue covers only the
  // head's part of the checksum region: continue it over the further data with
  // stub::UpdateCrc32, then store stub::EncodePackageLocator(layout.locator) at
  // offset 128.
  PackageLayout layout;
};

// Checks the launcher image, the settings and every limit of the format, the
// further data included, then lays out the head.
PackageHead AssemblePackageHead(std::span<const uint8_t> launcher, const PackageSettings& settings,
                                const std::array<uint8_t, 5>& properties,
                                std::span<const uint8_t> stream, uint64_t program_length,
                                uint64_t further_data_length);

}  // namespace packaging
