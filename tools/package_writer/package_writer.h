// SPDX-License-Identifier: Zlib
// Builds setup packages: a launcher image with the package data appended.
//
// The package is laid out as the launcher reads it (format/package_records.h):
// the locator at offset 128, the header at PackageOffset = the first byte
// behind the launcher's last section, the stream of the inner program right
// behind the header, the message text right behind the stream, then the
// further package data. The checksum covers everything from the header to the
// end of the further data; MinFileSize is the length of the whole file.
//
// PackageWriter writes a package front to back into a PackageSink, as its
// parts arrive, and holds none of them: a stream of any length passes through
// it. What is known only at the end (the header's StreamLength, the locator,
// the PE CheckSum) is written last, in place. The checksum region starts with
// the header, so its CRC-32 is that of the region behind the header, with the
// header's put in front once the header is known (crc32_combine.h).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "format/package_records.h"
#include "tools/pe/pe_checksum.h"

namespace packaging {

// The largest package: its lengths and offsets are 32-bit fields, a signed
// package's certificate table starts behind it and its offset is a 32-bit field
// of the PE header too, and Windows starts no program of 4 GiB or more.
inline constexpr uint64_t kMaxPackageSize = 0xFFFFFFFF;

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

// Where a package's bytes go.
class PackageSink {
 public:
  virtual ~PackageSink() = default;
  // Appends `bytes` behind what was written.
  virtual void Write(std::span<const uint8_t> bytes) = 0;
  // Overwrites bytes already written, at `offset`.
  virtual void WriteAt(uint64_t offset, std::span<const uint8_t> bytes) = 0;
  // Drops everything written; the next Write starts at offset 0.
  virtual void Clear() = 0;
};

// Every check below throws a tools::ToolError whose sentence names the
// problem.

// Checks that `launcher` can carry a package: a PE32+ image whose bytes 128 to
// 255 are free (zero, the PE header behind them), that has no certificate
// table and no data behind its last section. The sentence is a clause about
// the image ("it is signed; ..."), for a caller that names it in front.
void CheckLauncherImage(std::span<const uint8_t> launcher);

// Checks the settings against the limits of the format (the message's
// length), for a builder that refuses them before it compresses anything.
void CheckSettings(const PackageSettings& settings);

// The limits a package with `extension` is read by (format/package_limits.h).
stub::PackageLimits LimitsFor(const std::optional<stub::TPackageExtension>& extension);

// Writes one package: the constructor, then the stream in pieces, EndStream,
// the further data in pieces, and Finish. Every limit of the format is
// checked as the parts arrive, and a part that passes one is refused before
// it is written.
class PackageWriter {
 public:
  // Checks the launcher image (prefixed "the launcher image: ") and the
  // settings, then writes the launcher image and room for the header into
  // `sink`, dropping what it held (a builder that stores the program another
  // way after all starts the package anew with another writer). The
  // header's offsets and lengths must keep within `limits`: LimitsFor the
  // settings' extension record, or narrower ones for a launcher image that
  // reads less.
  PackageWriter(std::span<const uint8_t> launcher, const PackageSettings& settings,
                const stub::PackageLimits& limits, PackageSink& sink);

  // Checks that a stream of `stream_length` bytes and `further_length` bytes
  // of further data would keep within the limits, for a builder that knows
  // them before it writes them.
  void CheckRoom(uint64_t stream_length, uint64_t further_length) const;

  // Appends the next bytes of the stream.
  void AppendStream(std::span<const uint8_t> bytes);
  // Ends the stream of the inner program of `program_length` bytes, with the
  // header's five LZMA properties bytes (zeros for methods without them), and
  // writes the message.
  void EndStream(const std::array<uint8_t, 5>& properties, uint64_t program_length);
  // Appends further data, after EndStream.
  void AppendFurtherData(std::span<const uint8_t> bytes);

  // The bytes written so far: after the further data, the package's size.
  uint64_t size() const { return end_; }
  // The bytes of the stream written so far.
  uint64_t stream_length() const { return stream_length_; }

  // Writes the header, the locator (with `detached_size` as DetachedSize when
  // given, else the settings') and the PE CheckSum (when the launcher image
  // has one; a zero field stays zero), and returns where everything lies.
  PackageLayout Finish(std::optional<uint32_t> detached_size = std::nullopt);

 private:
  void Append(std::span<const uint8_t> bytes);

  PackageSettings settings_;
  stub::PackageLimits limits_;
  PackageSink& sink_;
  std::optional<uint32_t> checksum_offset_;
  pe::PeChecksum checksum_;
  // The CRC-32 of the checksum region behind the header.
  uint32_t crc_ = 0;
  uint64_t end_ = 0;
  uint64_t package_offset_ = 0;
  uint64_t stream_length_ = 0;
  std::array<uint8_t, 5> properties_{};
  uint64_t program_length_ = 0;
  uint64_t further_offset_ = 0;
  bool stream_ended_ = false;
};

}  // namespace packaging
