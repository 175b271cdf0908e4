// SPDX-License-Identifier: Zlib
#include "tests/support/test_images.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "format/little_endian.h"
#include "format/package_extension.h"
#include "tools/package_writer/launcher_marker.h"
#include "tools/pe/resource_tree.h"

namespace stub::testing {

std::vector<uint8_t> MakeLauncherImage(uint32_t header_offset, int section_count,
                                       uint32_t section_size) {
  constexpr uint32_t kOptionalSize = 240;  // PE32+ with 16 data directories
  constexpr uint32_t kHeadersSize = 0x400;
  std::vector<uint8_t> image(kHeadersSize + section_count * section_size, 0);
  image[0] = 'M';
  image[1] = 'Z';
  for (int i = 64; i < 128; ++i) image[i] = static_cast<uint8_t>(i);  // a DOS stub stand-in
  WriteLe32(&image[60], header_offset);
  uint8_t* pe = &image[header_offset];
  pe[0] = 'P';
  pe[1] = 'E';
  WriteLe16(pe + 4, 0x8664);
  WriteLe16(pe + 6, static_cast<uint16_t>(section_count));
  WriteLe16(pe + 20, kOptionalSize);
  uint8_t* opt = pe + 24;
  WriteLe16(opt, 0x20B);
  WriteLe32(opt + 60, kHeadersSize);
  WriteLe16(opt + 68, 2);
  WriteLe32(opt + 108, 16);
  uint8_t* table = opt + kOptionalSize;
  for (int i = 0; i < section_count; ++i) {
    uint8_t* s = table + 40 * i;
    s[0] = '.';
    s[1] = static_cast<uint8_t>('a' + i);
    WriteLe32(s + 8, section_size);
    WriteLe32(s + 12, 0x1000 * (i + 1));
    WriteLe32(s + 16, section_size);
    WriteLe32(s + 20, kHeadersSize + i * section_size);
    for (uint32_t b = 0; b < section_size; ++b) {
      image[kHeadersSize + i * section_size + b] = static_cast<uint8_t>(b * 7 + i);
    }
  }
  return image;
}

std::vector<uint8_t> MakeMarkedLauncherImage(uint16_t stream_methods) {
  // The second section of MakeLauncherImage(), and the resource directory
  // entry of its PE32+ optional header (data directory 2).
  constexpr uint32_t kSectionRva = 0x2000, kSectionRaw = 0x400 + 512, kSectionSize = 512;
  constexpr size_t kResourceDirectory = 256 + 24 + 112 + 2 * 8;
  std::vector<uint8_t> image = MakeLauncherImage();
  std::vector<uint8_t> marker(stub::kPackageExtensionTag.begin(), stub::kPackageExtensionTag.end());
  marker.insert(marker.end(), {stub::kPackageExtensionVersion, 0, 0, 0});
  WriteLe16(&marker[6], stream_methods);
  const pe::Resource resource{{packaging::kRtRcdata, {}}, {0, packaging::kLauncherMarkerName},
                              0x409, 0, marker};
  const std::vector<uint8_t> section = pe::WriteResources({resource}, kSectionRva);
  EXPECT_LE(section.size(), kSectionSize);
  std::fill_n(image.begin() + kSectionRaw, kSectionSize, 0);
  std::copy(section.begin(), section.end(), image.begin() + kSectionRaw);
  WriteLe32(&image[kResourceDirectory], kSectionRva);
  WriteLe32(&image[kResourceDirectory + 4], static_cast<uint32_t>(section.size()));
  return image;
}

TestPackage MakeTestPackage(const std::vector<uint8_t>& inner,
                            const packaging::PackageSettings& settings,
                            const std::vector<uint8_t>& further_data) {
  packaging::LzmaSettings lzma;
  lzma.preset = 1;
  return BuildPackage(MakeLauncherImage(), inner, settings, lzma, further_data);
}

std::vector<uint8_t> AsWindowsProgram(std::vector<uint8_t> bytes) {
  bytes.resize(std::max<size_t>(bytes.size(), 70));
  bytes[0] = 'M', bytes[1] = 'Z';
  WriteLe32(&bytes[60], 64);
  const uint8_t signature[] = {'P', 'E', 0, 0, 0x64, 0x86};
  std::copy(std::begin(signature), std::end(signature), bytes.begin() + 64);
  return bytes;
}

std::vector<uint8_t> X86CodeBytes(size_t size, uint32_t seed) {
  static const uint8_t kInstructionBytes[] = {0x48, 0x89, 0xC3, 0x90, 0x8B, 0x45, 0x0F, 0x83};
  std::mt19937 random(seed);
  std::vector<uint8_t> code;
  code.reserve(size + 16);
  while (code.size() < size) {
    for (uint32_t run = random() % 8; run > 0; --run) {
      code.push_back(kInstructionBytes[random() % 8]);
    }
    const uint32_t target = 0x1000 * (random() % 16);
    code.push_back(0xE8);
    const uint32_t displacement = target - static_cast<uint32_t>(code.size() + 4);
    code.resize(code.size() + 4);
    WriteLe32(&code[code.size() - 4], displacement);
  }
  code.resize(size);
  return code;
}

std::vector<uint8_t> SampleBytes(size_t size, uint32_t seed) {
  static const char kWords[][8] = {"setup ", "file ", "data ", "launch ", "wine ", "path\\"};
  std::vector<uint8_t> bytes;
  bytes.reserve(size);
  uint32_t state = seed * 2654435761u + 1;
  while (bytes.size() < size) {
    state = state * 1103515245u + 12345u;
    const char* word = kWords[(state >> 16) % 6];
    for (const char* c = word; *c != 0 && bytes.size() < size; ++c) bytes.push_back(*c);
    if ((state >> 8) % 5 == 0 && bytes.size() < size) bytes.push_back(static_cast<uint8_t>(state));
  }
  return bytes;
}

}  // namespace stub::testing
