// SPDX-License-Identifier: Zlib
#include "tools/pe/icon_file.h"

#include <algorithm>
#include <tuple>

#include "format/little_endian.h"
#include "tools/common/tool_error.h"

namespace pe {
namespace {

using stub::ReadLe16;
using stub::ReadLe32;
using tools::ToolError;

constexpr uint16_t kTypeIcon = 1;
constexpr uint16_t kTypeCursor = 2;
constexpr uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
// Signature, IHDR's length and type, then width, height, bit depth, color type.
constexpr size_t kPngHeaderSize = 8 + 8 + 10;
constexpr uint32_t kBitmapInfoHeaderSize = 40;

uint32_t ReadBe32(const uint8_t* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

// Channels per pixel of a PNG color type; 0 for an unknown type.
uint32_t PngChannels(uint8_t color_type) {
  switch (color_type) {
    case 0: return 1;  // grey
    case 2: return 3;  // RGB
    case 3: return 1;  // palette index
    case 4: return 2;  // grey and alpha
    case 6: return 4;  // RGBA
    default: return 0;
  }
}

IconEntry ReadEntry(const uint8_t* p) {
  IconEntry entry;
  entry.width = p[0];
  entry.height = p[1];
  entry.color_count = p[2];
  entry.reserved = p[3];
  entry.planes = ReadLe16(p + 4);
  entry.bit_count = ReadLe16(p + 6);
  entry.bytes = ReadLe32(p + 8);
  return entry;
}

void WriteEntry(uint8_t* p, const IconEntry& entry) {
  p[0] = entry.width;
  p[1] = entry.height;
  p[2] = entry.color_count;
  p[3] = entry.reserved;
  stub::WriteLe16(p + 4, entry.planes);
  stub::WriteLe16(p + 6, entry.bit_count);
  stub::WriteLe32(p + 8, entry.bytes);
}

// Where an image lies in the .ico file; `number` counts from 1.
struct ImageExtent {
  uint64_t offset = 0;
  uint64_t end = 0;
  int number = 0;
};

// The count of a directory that starts with ICONDIR, or a thrown `fault`.
uint16_t ReadIconDir(std::span<const uint8_t> bytes, const std::string& what) {
  if (bytes.size() < kIconDirSize || ReadLe16(&bytes[0]) != 0) {
    throw ToolError("it is not " + what + " (no icon directory)");
  }
  const uint16_t type = ReadLe16(&bytes[2]);
  if (type == kTypeCursor) throw ToolError("it is a cursor (.cur), not an icon");
  if (type != kTypeIcon) {
    throw ToolError("it is not " + what + " (its icon directory is of type " +
                    std::to_string(type) + ")");
  }
  const uint16_t count = ReadLe16(&bytes[4]);
  if (count == 0) throw ToolError("its icon directory lists no images");
  return count;
}

// Throws unless the images, each within the file, share no byte: what the
// caller copies is then at most the file's size, however many entries the
// directory lists. Images sorted by offset overlap only where neighbours do;
// among images at one offset the first two are named.
void CheckImagesApart(std::vector<ImageExtent> extents) {
  std::sort(extents.begin(), extents.end(), [](const ImageExtent& a, const ImageExtent& b) {
    return std::tie(a.offset, a.number) < std::tie(b.offset, b.number);
  });
  for (size_t i = 1; i < extents.size(); ++i) {
    const ImageExtent& before = extents[i - 1];
    const ImageExtent& after = extents[i];
    if (after.offset < before.end) {
      const auto [first, second] = std::minmax(before.number, after.number);
      throw ToolError("its images " + std::to_string(first) + " and " +
                      std::to_string(second) + " share bytes");
    }
  }
}

}  // namespace

IconPicture DescribeIconImage(std::span<const uint8_t> data) {
  IconPicture picture;
  if (data.size() >= sizeof kPngSignature &&
      std::equal(std::begin(kPngSignature), std::end(kPngSignature), data.begin())) {
    if (data.size() < kPngHeaderSize || std::string_view(reinterpret_cast<const char*>(&data[12]), 4) != "IHDR") {
      throw ToolError("it is a PNG image without its IHDR header");
    }
    const uint32_t channels = PngChannels(data[25]);
    picture.png = true;
    picture.width = ReadBe32(&data[16]);
    picture.height = ReadBe32(&data[20]);
    picture.bit_count = data[24] * channels;
    if (channels == 0) throw ToolError("it is a PNG image of unknown color type " + std::to_string(data[25]));
    return picture;
  }
  const uint32_t header_size = data.size() >= 16 ? ReadLe32(&data[0]) : 0;
  if (header_size < kBitmapInfoHeaderSize || header_size > data.size()) {
    throw ToolError("it is neither a PNG nor a bitmap (DIB)");
  }
  const int32_t width = static_cast<int32_t>(ReadLe32(&data[4]));
  const int32_t height = static_cast<int32_t>(ReadLe32(&data[8]));
  if (width <= 0 || height <= 0) throw ToolError("it is a bitmap image of no size");
  picture.width = static_cast<uint32_t>(width);
  picture.height = static_cast<uint32_t>(height) / 2;  // colour image, then the AND mask
  picture.bit_count = ReadLe16(&data[14]);
  return picture;
}

std::vector<IconImage> ParseIconFile(std::span<const uint8_t> file) {
  const uint16_t count = ReadIconDir(file, "an .ico file");
  const uint64_t directory_end = kIconDirSize + uint64_t{count} * kIconDirEntrySize;
  if (directory_end > file.size()) {
    throw ToolError("its icon directory's " + std::to_string(count) +
                    " entries reach past the end of the file");
  }
  // Every entry is checked before a byte is copied.
  std::vector<IconImage> images(count);
  std::vector<ImageExtent> extents(count);
  for (uint16_t i = 0; i < count; ++i) {
    const uint8_t* p = &file[kIconDirSize + i * kIconDirEntrySize];
    images[i].entry = ReadEntry(p);
    const uint64_t offset = ReadLe32(p + 12);
    const std::string which = "its image " + std::to_string(i + 1);
    if (images[i].entry.bytes == 0) throw ToolError(which + " is empty");
    if (offset < directory_end) throw ToolError(which + " overlaps the icon directory");
    if (offset + images[i].entry.bytes > file.size()) {
      throw ToolError(which + " reaches past the end of the file");
    }
    extents[i] = {offset, offset + images[i].entry.bytes, i + 1};
  }
  CheckImagesApart(extents);
  for (uint16_t i = 0; i < count; ++i) {
    const auto image = file.subspan(extents[i].offset, images[i].entry.bytes);
    tools::WithContext("its image " + std::to_string(i + 1) + ": ", [&] { DescribeIconImage(image); });
    images[i].data.assign(image.begin(), image.end());
  }
  return images;
}

std::vector<uint8_t> EncodeIconGroup(const std::vector<IconImage>& images, uint16_t first_id) {
  std::vector<uint8_t> group(kIconDirSize + images.size() * kGroupIconEntrySize);
  stub::WriteLe16(&group[2], kTypeIcon);
  stub::WriteLe16(&group[4], static_cast<uint16_t>(images.size()));
  for (size_t i = 0; i < images.size(); ++i) {
    uint8_t* p = &group[kIconDirSize + i * kGroupIconEntrySize];
    WriteEntry(p, images[i].entry);
    stub::WriteLe16(p + 12, static_cast<uint16_t>(first_id + i));
  }
  return group;
}

std::vector<IconGroupEntry> ParseIconGroup(std::span<const uint8_t> group) {
  const uint16_t count = ReadIconDir(group, "an icon group");
  if (kIconDirSize + uint64_t{count} * kGroupIconEntrySize > group.size()) {
    throw ToolError("its " + std::to_string(count) + " entries reach past its end");
  }
  std::vector<IconGroupEntry> entries;
  for (uint16_t i = 0; i < count; ++i) {
    const uint8_t* p = &group[kIconDirSize + i * kGroupIconEntrySize];
    entries.push_back({ReadEntry(p), ReadLe16(p + 12)});
  }
  return entries;
}

}  // namespace pe
