// SPDX-License-Identifier: Zlib
// The parts of a PE32+ image's headers that the package tools need.
//
// Layout facts relied on:
//   offset 0   "MZ"; the u32 at offset 60 (e_lfanew) is the PE header's offset
//   e_lfanew   "PE\0\0", then the 20-byte COFF header:
//                +4 u16 Machine, +6 u16 NumberOfSections,
//                +20 u16 SizeOfOptionalHeader
//   then the optional header (PE32+ magic 0x20B):
//                +8 u32 SizeOfInitializedData, +16 u32 AddressOfEntryPoint,
//                +32 u32 SectionAlignment, +36 u32 FileAlignment,
//                +56 u32 SizeOfImage, +60 u32 SizeOfHeaders,
//                +64 u32 CheckSum, +68 u16 Subsystem,
//                +108 u32 NumberOfRvaAndSizes, +112 data directories (8 bytes each;
//                entry 4, the certificate table, holds a file offset, not an RVA)
//   then the section table, 40 bytes per section:
//                +0 name[8], +8 VirtualSize, +12 VirtualAddress,
//                +16 SizeOfRawData, +20 PointerToRawData, +36 Characteristics
// All fields little-endian. Offsets are checked against the buffer before
// every read, so a truncated or hostile file gives an error, never a read
// outside it.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace pe {

inline constexpr uint32_t kPeHeaderOffsetField = 60;
inline constexpr uint32_t kCoffHeaderSize = 20;
inline constexpr uint32_t kSectionHeaderSize = 40;
inline constexpr uint16_t kPe32PlusMagic = 0x20B;
inline constexpr uint16_t kMachineAmd64 = 0x8664;
inline constexpr uint16_t kSubsystemWindowsGui = 2;
inline constexpr uint32_t kResourceDirectory = 2;
inline constexpr uint32_t kCertificateDirectory = 4;
inline constexpr uint32_t kBaseRelocationDirectory = 5;

// Offsets of fields in the optional header and in a section header.
inline constexpr uint32_t kOptSizeOfInitializedData = 8;
inline constexpr uint32_t kOptSizeOfImage = 56;
inline constexpr uint32_t kOptCheckSum = 64;  // the same in PE32 and PE32+
inline constexpr uint32_t kOptDataDirectories = 112;
inline constexpr uint32_t kSectionVirtualSize = 8;
inline constexpr uint32_t kSectionVirtualAddress = 12;
inline constexpr uint32_t kSectionRawSize = 16;
inline constexpr uint32_t kSectionRawOffset = 20;
inline constexpr uint32_t kSectionCharacteristics = 36;
inline constexpr uint32_t kSectionInitializedData = 0x40;  // IMAGE_SCN_CNT_INITIALIZED_DATA

struct Section {
  std::string name;
  uint32_t virtual_size = 0;
  uint32_t virtual_address = 0;
  uint32_t raw_size = 0;
  uint32_t raw_offset = 0;
  uint32_t characteristics = 0;
};

struct DataDirectory {
  uint32_t address = 0;  // an RVA; a file offset for the certificate table
  uint32_t size = 0;
};

struct Image {
  uint32_t header_offset = 0;      // e_lfanew
  uint16_t machine = 0;
  uint16_t optional_magic = 0;     // 0x20B for PE32+
  uint16_t subsystem = 0;
  uint32_t size_of_headers = 0;
  uint32_t checksum = 0;
  uint32_t checksum_offset = 0;    // file offset of the CheckSum field
  uint32_t optional_offset = 0;    // file offset of the optional header
  uint32_t section_table_offset = 0;
  uint32_t section_alignment = 0;
  uint32_t file_alignment = 0;
  uint32_t size_of_image = 0;
  uint32_t headers_end = 0;        // first byte behind the section table
  std::vector<DataDirectory> directories;
  std::vector<Section> sections;

  // The first byte behind the last section's raw data (at least the end of
  // the headers): where a package builder appends the package data.
  uint64_t ImageEnd() const;

  // The lowest file offset at which a section's raw data starts, or
  // size_of_headers when no section has raw data.
  uint32_t FirstRawDataOffset() const;

  // The certificate table (Authenticode signature), or a zero entry.
  DataDirectory Certificate() const;
};

// Reads the headers of the PE image in `file`. Throws a tools::ToolError
// naming the problem when `file` is not a complete PE32+ image's headers, in
// a clause about the file ("its section table is cut short") for a caller
// that names it in front: "cannot use 'stub.exe': ".
Image ParseImage(std::span<const uint8_t> file);

// The same for a file of `file_size` bytes of which only the first bytes,
// `headers`, are at hand: every header must lie within `headers`, every
// section's raw data within `file_size`. For tools that look at large files.
Image ParseImageHeaders(std::span<const uint8_t> headers, uint64_t file_size);

// Moves the PE headers (signature, COFF header, optional header and section
// table) of `file` to `new_offset`, zeroes the bytes from 128 up to the new
// offset and sets e_lfanew. GNU ld always writes the headers at 128; a package
// builder needs bytes 128 to 255 free for its locator record.
// Throws a tools::ToolError with the reason, and leaves `file` unchanged, when
// the moved headers would not fit below SizeOfHeaders and the first section's
// data, when the DOS stub reaches past 128, when anything but zero padding
// would be overwritten, or when a data directory points into the header area.
// A nonzero CheckSum is recomputed.
void MoveHeaders(std::vector<uint8_t>& file, uint32_t new_offset);

// The PE checksum of `file` with its CheckSum field at `checksum_offset`
// counted as zero.
uint32_t ComputeChecksum(std::span<const uint8_t> file, uint32_t checksum_offset);

}  // namespace pe
