// SPDX-License-Identifier: Zlib
#include "tools/pe/pe_image.h"

#include <algorithm>
#include <cstring>

#include "format/byte_range.h"
#include "format/little_endian.h"
#include "tools/common/tool_error.h"
#include "tools/pe/pe_checksum.h"

namespace pe {
namespace {

using stub::ReadLe16;
using stub::ReadLe32;
using tools::ToolError;

// The DOS header and stub must end before the locator's free space.
constexpr uint32_t kDosAreaEnd = 128;

// Optional header (PE32+) field offsets.
constexpr uint32_t kOptSectionAlignment = 32;
constexpr uint32_t kOptFileAlignment = 36;
constexpr uint32_t kOptSizeOfHeaders = 60;
constexpr uint32_t kOptSubsystem = 68;
constexpr uint32_t kOptNumberOfRvaAndSizes = 108;

bool Fits(std::span<const uint8_t> file, uint64_t offset, uint64_t size) {
  return stub::RangeWithin(offset, size, file.size());
}

std::string SectionName(const uint8_t* p) {
  size_t length = 0;
  while (length < 8 && p[length] != 0) ++length;
  return std::string(reinterpret_cast<const char*>(p), length);
}

}  // namespace

uint64_t Image::ImageEnd() const {
  uint64_t end = headers_end;
  for (const Section& section : sections) {
    if (section.raw_size == 0) continue;
    end = std::max<uint64_t>(end, uint64_t{section.raw_offset} + section.raw_size);
  }
  return std::max<uint64_t>(end, size_of_headers);
}

uint32_t Image::FirstRawDataOffset() const {
  uint32_t first = size_of_headers;
  bool any = false;
  for (const Section& section : sections) {
    if (section.raw_size == 0) continue;
    first = any ? std::min(first, section.raw_offset) : section.raw_offset;
    any = true;
  }
  return first;
}

DataDirectory Image::Certificate() const {
  if (directories.size() <= kCertificateDirectory) return {};
  return directories[kCertificateDirectory];
}

Image ParseImage(std::span<const uint8_t> file) { return ParseImageHeaders(file, file.size()); }

Image ParseImageHeaders(std::span<const uint8_t> file, uint64_t file_size) {
  Image image;
  if (!Fits(file, 0, 64) || file[0] != 'M' || file[1] != 'Z') {
    throw ToolError("it is not a Windows program (no MZ header)");
  }
  image.header_offset = ReadLe32(&file[kPeHeaderOffsetField]);
  const uint64_t pe = image.header_offset;
  if (!Fits(file, pe, 4 + kCoffHeaderSize) || std::memcmp(&file[pe], "PE\0\0", 4) != 0) {
    throw ToolError("it is not a Windows program (no PE header at the offset its DOS header names)");
  }
  const uint8_t* coff = &file[pe + 4];
  image.machine = ReadLe16(coff);
  const uint16_t section_count = ReadLe16(coff + 2);
  const uint16_t optional_size = ReadLe16(coff + 16);
  const uint64_t optional = pe + 4 + kCoffHeaderSize;
  if (!Fits(file, optional, optional_size) || optional_size < kOptDataDirectories) {
    throw ToolError("its PE optional header is cut short");
  }
  const uint8_t* opt = &file[optional];
  image.optional_magic = ReadLe16(opt);
  if (image.optional_magic != kPe32PlusMagic) {
    throw ToolError("it is not a 64-bit (PE32+) Windows program");
  }
  image.optional_offset = static_cast<uint32_t>(optional);
  image.section_alignment = ReadLe32(opt + kOptSectionAlignment);
  image.file_alignment = ReadLe32(opt + kOptFileAlignment);
  image.size_of_image = ReadLe32(opt + kOptSizeOfImage);
  image.size_of_headers = ReadLe32(opt + kOptSizeOfHeaders);
  image.checksum = ReadLe32(opt + kOptCheckSum);
  image.checksum_offset = static_cast<uint32_t>(optional + kOptCheckSum);
  image.subsystem = ReadLe16(opt + kOptSubsystem);
  const uint32_t directory_count = ReadLe32(opt + kOptNumberOfRvaAndSizes);
  if (uint64_t{kOptDataDirectories} + uint64_t{directory_count} * 8 > optional_size) {
    throw ToolError("its PE optional header is too small for its data directories");
  }
  for (uint32_t i = 0; i < directory_count; ++i) {
    const uint8_t* d = opt + kOptDataDirectories + 8 * i;
    image.directories.push_back({ReadLe32(d), ReadLe32(d + 4)});
  }
  const uint64_t table = optional + optional_size;
  const uint64_t table_size = uint64_t{section_count} * kSectionHeaderSize;
  if (!Fits(file, table, table_size)) {
    throw ToolError("its section table is cut short");
  }
  image.section_table_offset = static_cast<uint32_t>(table);
  image.headers_end = static_cast<uint32_t>(table + table_size);
  for (uint16_t i = 0; i < section_count; ++i) {
    const uint8_t* s = &file[table + uint64_t{i} * kSectionHeaderSize];
    Section section;
    section.name = SectionName(s);
    section.virtual_size = ReadLe32(s + kSectionVirtualSize);
    section.virtual_address = ReadLe32(s + kSectionVirtualAddress);
    section.raw_size = ReadLe32(s + kSectionRawSize);
    section.raw_offset = ReadLe32(s + kSectionRawOffset);
    section.characteristics = ReadLe32(s + kSectionCharacteristics);
    if (section.raw_size != 0 && uint64_t{section.raw_offset} + section.raw_size > file_size) {
      throw ToolError("its section " + section.name + " reaches past the end of the file");
    }
    image.sections.push_back(section);
  }
  return image;
}

uint32_t ComputeChecksum(std::span<const uint8_t> file, uint32_t checksum_offset) {
  PeChecksum checksum;
  const size_t field = std::min<size_t>(checksum_offset, file.size());
  const size_t behind = std::min<size_t>(field + 4, file.size());
  const uint8_t zeros[4] = {};
  checksum.Append(file.first(field));
  checksum.Append(std::span(zeros, behind - field));
  checksum.Append(file.subspan(behind));
  return checksum.Finish();
}

void MoveHeaders(std::vector<uint8_t>& file, uint32_t new_offset) {
  const Image image = ParseImage(file);
  if (image.header_offset == new_offset) return;
  if (image.header_offset < kDosAreaEnd || new_offset < image.header_offset) {
    throw ToolError("the DOS header and stub reach past offset 128 (PE header at " +
                    std::to_string(image.header_offset) + ")");
  }
  const uint32_t length = image.headers_end - image.header_offset;
  const uint64_t new_end = uint64_t{new_offset} + length;
  const uint32_t limit = std::min(image.size_of_headers, image.FirstRawDataOffset());
  if (new_end > limit) {
    throw ToolError("the PE headers do not fit: moved to " + std::to_string(new_offset) +
                    " they end at " + std::to_string(new_end) +
                    ", beyond SizeOfHeaders or the first section (" + std::to_string(limit) + ")");
  }
  for (uint64_t i = image.headers_end; i < new_end; ++i) {
    if (file[i] != 0) {
      throw ToolError("data behind the section table would be overwritten (byte " +
                      std::to_string(i) + ")");
    }
  }
  for (size_t i = 0; i < image.directories.size(); ++i) {
    const DataDirectory& d = image.directories[i];
    if (i != kCertificateDirectory && d.size != 0 && d.address < image.size_of_headers) {
      throw ToolError("data directory " + std::to_string(i) + " points into the headers");
    }
  }
  std::memmove(&file[new_offset], &file[image.header_offset], length);
  std::fill(file.begin() + kDosAreaEnd, file.begin() + new_offset, 0);
  stub::WriteLe32(&file[kPeHeaderOffsetField], new_offset);
  if (image.checksum != 0) {
    const uint32_t checksum_offset = image.checksum_offset - image.header_offset + new_offset;
    stub::WriteLe32(&file[checksum_offset], ComputeChecksum(file, checksum_offset));
  }
}

}  // namespace pe
