// SPDX-License-Identifier: Zlib
// The version resource (RT_VERSION): what Explorer's Properties, inventory
// tools and the UAC prompt read as a program's version, company and name.
//
// Layout: a tree of blocks, each (all fields little-endian)
//   u16 wLength       bytes of the block, from wLength to the end of its
//                     last child (not counting the padding behind it)
//   u16 wValueLength  the value's size: in UTF-16 units, terminator included,
//                     for text (wType 1); in bytes for binary data (wType 0)
//   u16 wType
//   key               UTF-16, NUL-terminated
//   padding           to a 4-byte boundary (from the resource's start)
//   value             wValueLength units or bytes
//   padding           to a 4-byte boundary, then the children
// The tree written here:
//   "VS_VERSION_INFO", binary value VS_FIXEDFILEINFO (52 bytes: u32 signature
//       0xFEEF04BD, u32 struct version 0x10000, u32 FileVersionMS, u32
//       FileVersionLS, u32 ProductVersionMS, u32 ProductVersionLS, u32
//       FileFlagsMask, u32 FileFlags, u32 FileOS, u32 FileType, u32
//       FileSubtype, u32 FileDateMS, u32 FileDateLS)
//     "StringFileInfo"
//       "040904B0"            (U.S. English, Unicode): one text block per string
//     "VarFileInfo"
//       "Translation"         binary: u16 0x0409, u16 0x04B0
// wLength has 16 bits, so the whole resource holds at most 65,535 bytes.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace pe {

inline constexpr uint32_t kFixedFileInfoSignature = 0xFEEF04BD;
inline constexpr uint32_t kFixedFileInfoSize = 52;
inline constexpr uint32_t kMaxVersionResourceSize = 0xFFFF;
static_assert(kFixedFileInfoSize == 13 * 4);

using VersionNumber = std::array<uint16_t, 4>;  // a.b.c.d

struct VersionString {
  std::u16string key;
  std::u16string value;
  bool operator==(const VersionString&) const = default;
};

struct VersionInfo {
  VersionNumber file_version{};
  VersionNumber product_version{};
  std::vector<VersionString> strings;  // in the order written
};

// "1.2.3.4"
std::string VersionText(const VersionNumber& version);

// The RT_VERSION resource for `info`, marked as an application for Windows NT.
// Throws a tools::ToolError when a key is empty or holds a NUL, a value holds
// a NUL, or the strings do not fit in 65,535 bytes.
std::vector<uint8_t> EncodeVersionInfo(const VersionInfo& info);

// The version numbers and the strings of every string table of an RT_VERSION
// resource. Throws a tools::ToolError when it is malformed (a block reaching
// past its parent, no VS_FIXEDFILEINFO).
VersionInfo ParseVersionInfo(std::span<const uint8_t> resource);

}  // namespace pe
