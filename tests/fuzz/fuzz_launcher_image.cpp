// SPDX-License-Identifier: Zlib
#include "tests/fuzz/fuzz_launcher_image.h"

#include "format/little_endian.h"
#include "tools/pe/pe_image.h"
#include "tools/pe/resource_tree.h"

namespace fuzzing {
namespace {

using stub::WriteLe16;
using stub::WriteLe32;

constexpr uint32_t kPeOffset = 256;
constexpr uint32_t kOptionalSize = 240;  // PE32+ with 16 data directories
constexpr uint32_t kFileAlignment = 0x200;
constexpr uint32_t kSectionAlignment = 0x1000;

uint32_t AlignUp(uint32_t value, uint32_t alignment) {
  return (value + alignment - 1) / alignment * alignment;
}

struct SectionSpec {
  const char* name;
  uint32_t virtual_size, virtual_address, raw_size, raw_offset, characteristics;
};

void WriteSection(uint8_t* p, const SectionSpec& s) {
  for (int i = 0; i < 8 && s.name[i] != 0; ++i) p[i] = static_cast<uint8_t>(s.name[i]);
  WriteLe32(p + 8, s.virtual_size);
  WriteLe32(p + 12, s.virtual_address);
  WriteLe32(p + 16, s.raw_size);
  WriteLe32(p + 20, s.raw_offset);
  WriteLe32(p + 36, s.characteristics);
}

}  // namespace

std::vector<uint8_t> LauncherImage(const std::vector<uint8_t>& resource_section) {
  const uint32_t rsrc_size = static_cast<uint32_t>(resource_section.size());
  const SectionSpec text = {".text", 0x10, 0x1000, kFileAlignment, kHeadersSize, 0x60000020};
  const SectionSpec rsrc = {".rsrc", rsrc_size, kResourceRva, AlignUp(rsrc_size, kFileAlignment),
                            kHeadersSize + kFileAlignment, 0x40000040};
  const SectionSpec reloc = {".reloc", 12, kResourceRva + AlignUp(rsrc_size, kSectionAlignment),
                             kFileAlignment, rsrc.raw_offset + rsrc.raw_size, 0x42000040};
  std::vector<uint8_t> image(reloc.raw_offset + reloc.raw_size, 0);
  image[0] = 'M';
  image[1] = 'Z';
  WriteLe32(&image[pe::kPeHeaderOffsetField], kPeOffset);
  uint8_t* pe = &image[kPeOffset];
  pe[0] = 'P';
  pe[1] = 'E';
  WriteLe16(pe + 4, pe::kMachineAmd64);
  WriteLe16(pe + 6, 3);
  WriteLe16(pe + 20, kOptionalSize);
  WriteLe16(pe + 22, 0x22);  // executable, large-address aware
  uint8_t* opt = pe + 4 + pe::kCoffHeaderSize;
  WriteLe16(opt, pe::kPe32PlusMagic);
  WriteLe32(opt + pe::kOptSizeOfInitializedData, rsrc.raw_size + reloc.raw_size);
  WriteLe32(opt + 16, text.virtual_address);
  WriteLe32(opt + 24, 0x40000000);  // ImageBase 0x140000000
  WriteLe32(opt + 28, 1);
  WriteLe32(opt + 32, kSectionAlignment);
  WriteLe32(opt + 36, kFileAlignment);
  WriteLe32(opt + pe::kOptSizeOfImage, reloc.virtual_address + kSectionAlignment);
  WriteLe32(opt + 60, kHeadersSize);
  WriteLe16(opt + 68, pe::kSubsystemWindowsGui);
  WriteLe32(opt + 108, 16);
  WriteLe32(opt + pe::kOptDataDirectories + 8 * pe::kResourceDirectory, rsrc.virtual_address);
  WriteLe32(opt + pe::kOptDataDirectories + 8 * pe::kResourceDirectory + 4, rsrc_size);
  WriteLe32(opt + pe::kOptDataDirectories + 8 * pe::kBaseRelocationDirectory, reloc.virtual_address);
  WriteLe32(opt + pe::kOptDataDirectories + 8 * pe::kBaseRelocationDirectory + 4, reloc.virtual_size);
  uint8_t* table = opt + kOptionalSize;
  WriteSection(table, text);
  WriteSection(table + pe::kSectionHeaderSize, rsrc);
  WriteSection(table + 2 * pe::kSectionHeaderSize, reloc);
  for (uint32_t i = 0; i < 8; ++i) image[text.raw_offset + i] = static_cast<uint8_t>(0x10 + i);
  std::copy(resource_section.begin(), resource_section.end(), image.begin() + rsrc.raw_offset);
  // One block for the .text page: a 64-bit address at its start, then padding.
  uint8_t* block = &image[reloc.raw_offset];
  WriteLe32(block, text.virtual_address);
  WriteLe32(block + 4, 12);
  WriteLe16(block + 8, 0xA000);
  const uint32_t checksum_offset = kPeOffset + 4 + pe::kCoffHeaderSize + 64;
  WriteLe32(&image[checksum_offset], pe::ComputeChecksum(image, checksum_offset));
  return image;
}

std::vector<uint8_t> LauncherResources() {
  std::vector<pe::Resource> resources;
  const std::string manifest = "<assembly/>";
  resources.push_back({{pe::kRtManifest, {}}, {1, {}}, 0x409, 0, {manifest.begin(), manifest.end()}});
  const std::vector<pe::IconImage> icon = SmallIcon();
  resources.push_back({{pe::kRtGroupIcon, {}}, {0, u"SETUP"}, 0x409, 0, pe::EncodeIconGroup(icon, 1)});
  resources.push_back({{pe::kRtIcon, {}}, {1, {}}, 0x409, 0, icon[0].data});
  resources.push_back({{pe::kRtVersion, {}}, {1, {}}, 0x409, 0, pe::EncodeVersionInfo(SmallVersion())});
  return pe::WriteResources(resources, kResourceRva);
}

std::vector<pe::IconImage> SmallIcon() {
  pe::IconImage image;
  image.data.resize(40 + 16 * 16 * 4 + 16 * 4, 0x55);
  WriteLe32(&image.data[0], 40);
  WriteLe32(&image.data[4], 16);
  WriteLe32(&image.data[8], 32);  // the colour image and the mask
  WriteLe16(&image.data[12], 1);
  WriteLe16(&image.data[14], 32);
  WriteLe32(&image.data[16], 0);
  image.entry = {16, 16, 0, 0, 1, 32, static_cast<uint32_t>(image.data.size())};
  return {image};
}

pe::VersionInfo SmallVersion() {
  return {{1, 2, 3, 4}, {1, 2, 0, 0}, {{u"ProductName", u"Fuzz"}, {u"CompanyName", u"Example"}}};
}

}  // namespace fuzzing
