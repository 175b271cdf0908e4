// SPDX-License-Identifier: Zlib
// What a launcher image says it reads: the marker that the image's build
// puts among its resources, for package builders that must not write a
// package the launcher in front of it would misread.
//
// An image that reads the extension record (format/package_extension.h)
// carries an RT_RCDATA resource named "SFXE", 8 bytes (little-endian):
//    0  4 bytes  tag                   the ASCII bytes "SFXE"
//    4  u8       record version        the highest extension record version it reads
//    5  u8       reserved              0
//    6  u16      stream methods        bit n set: it decodes StreamMethod n
// image/resources/stub64.rc writes it; the launcher itself never reads it. It
// survives sfxpack's identity rewrite, which keeps every resource but the icon
// and the version information byte for byte.
//
// An image without the marker predates the record: it reads the header's
// second reserved field not at all, so it decodes every stream as LZMA1 and
// honours no build limits. A builder given such an image (sfxpack build
// --stub) must write only LZMA1 packages without the record's other demands.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

namespace packaging {

inline constexpr uint16_t kRtRcdata = 10;
inline constexpr char16_t kLauncherMarkerName[] = u"SFXE";
inline constexpr size_t kLauncherMarkerSize = 8;

struct LauncherMarker {
  uint8_t record_version = 0;
  uint16_t stream_methods = 0;  // bit n: StreamMethod n

  bool Decodes(uint8_t method) const { return method < 16 && (stream_methods >> method & 1) != 0; }
};

// The marker of the PE image at the front of `file` (a launcher image or a
// whole package); nullopt when it has none, or one that is not 8 bytes with
// the tag. Throws a tools::ToolError when `file` is not a PE image or its
// resources are malformed.
std::optional<LauncherMarker> ReadLauncherMarker(std::span<const uint8_t> file);

}  // namespace packaging
