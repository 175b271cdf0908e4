// SPDX-License-Identifier: Zlib
// Icons: the .ico file format, and the icon group resource that stands for it
// in a program image.
//
// .ico file (all fields little-endian):
//   ICONDIR        6 bytes: u16 Reserved (0), u16 Type (1 = icon, 2 = cursor),
//                  u16 Count
//   ICONDIRENTRY   16 bytes each: u8 Width, u8 Height (0 means 256),
//                  u8 ColorCount, u8 Reserved, u16 Planes, u16 BitCount,
//                  u32 BytesInRes, u32 ImageOffset (from the file's start)
//   images         each a DIB (BITMAPINFOHEADER, palette, XOR and AND masks)
//                  or, since Windows Vista, a whole PNG file
// The readers below throw a tools::ToolError whose text is a clause about the
// file, image or group read ("it is a cursor (.cur), not an icon", "its image
// 2 reaches past the end of the file"), for a caller that names it in front:
// "cannot use icon 'app.ico': ".
//
// In a program image each picture is an RT_ICON resource holding the image's
// bytes as they are, and one RT_GROUP_ICON resource holds the directory:
//   GRPICONDIR     6 bytes, as ICONDIR
//   GRPICONDIRENTRY 14 bytes each: the ICONDIRENTRY's first 12 bytes, then
//                  u16 Id, the RT_ICON resource's id, instead of ImageOffset.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace pe {

inline constexpr uint32_t kIconDirSize = 6;
inline constexpr uint32_t kIconDirEntrySize = 16;
inline constexpr uint32_t kGroupIconEntrySize = 14;
static_assert(kIconDirSize == 3 * 2);
static_assert(kIconDirEntrySize == 4 * 1 + 2 * 2 + 2 * 4);
// The same fields, with a 16-bit id in place of the 32-bit offset.
static_assert(kGroupIconEntrySize == kIconDirEntrySize - 4 + 2);

// The fields an icon's directory entry shares with its group entry.
struct IconEntry {
  uint8_t width = 0;  // 0 stands for 256
  uint8_t height = 0;
  uint8_t color_count = 0;
  uint8_t reserved = 0;
  uint16_t planes = 0;
  uint16_t bit_count = 0;
  uint32_t bytes = 0;  // BytesInRes
};

struct IconImage {
  IconEntry entry;
  std::vector<uint8_t> data;  // the DIB or PNG, as stored
};

// What an image's own header says about it.
struct IconPicture {
  bool png = false;
  uint32_t width = 0, height = 0;
  uint32_t bit_count = 0;  // bits per pixel
};

// The images of the .ico file `file`, in its order. Throws a tools::ToolError
// naming the fault: not an .ico (a cursor, or no icon directory), a bad
// directory (no images, an entry or image reaching past the file, an image
// that overlaps the directory, two images that share bytes), an image that is
// neither a PNG nor a DIB. Every entry is checked before an image is copied,
// so the images returned hold at most the file's size in all.
std::vector<IconImage> ParseIconFile(std::span<const uint8_t> file);

// The RT_GROUP_ICON resource for `images` stored as RT_ICON ids
// `first_id`, `first_id` + 1, ...
std::vector<uint8_t> EncodeIconGroup(const std::vector<IconImage>& images, uint16_t first_id);

struct IconGroupEntry {
  IconEntry entry;
  uint16_t id = 0;
};

// The entries of an RT_GROUP_ICON resource. Throws a tools::ToolError when it
// is malformed.
std::vector<IconGroupEntry> ParseIconGroup(std::span<const uint8_t> group);

// Width, height and depth from the header of the image `data` (a PNG's IHDR
// or a DIB's BITMAPINFOHEADER, whose height counts both masks). Throws a
// tools::ToolError when `data` is neither.
IconPicture DescribeIconImage(std::span<const uint8_t> data);

}  // namespace pe
