// SPDX-License-Identifier: Zlib
// The resource directory, icons, the version resource, and setting a
// package's identity in the real launcher image.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "format/little_endian.h"
#include "tests/support/test_icons.h"
#include "tests/support/tool_error_of.h"
#include "tools/pe/image_identity.h"

namespace pe {
namespace {

using stub::ReadLe32;
using stub::WriteLe16;
using stub::WriteLe32;
using stub::testing::MakeTestIcon;
using stub::testing::ToolErrorOf;

std::vector<uint8_t> LauncherImage() {
  std::ifstream in(UNIT_LAUNCHER_IMAGE, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

Resource Make(ResourceKey type, ResourceKey name, uint16_t language, std::string data) {
  return {std::move(type), std::move(name), language, 0, std::vector<uint8_t>(data.begin(), data.end())};
}

std::string Describe(const Resource& r) {
  const auto key = [](const ResourceKey& k) {
    return k.is_id() ? std::to_string(k.id) : std::string(k.text.begin(), k.text.end());
  };
  return key(r.type) + "/" + key(r.name) + "/" + std::to_string(r.language) + "=" +
         std::string(r.data.begin(), r.data.end());
}

std::vector<std::string> DescribeAll(const std::vector<Resource>& resources) {
  std::vector<std::string> out;
  for (const Resource& r : resources) out.push_back(Describe(r));
  return out;
}

TEST(ResourceTree, WritesNamesFirstThenIdsInOrderAndReadsThemBack) {
  const std::vector<Resource> resources = {
      Make({24, {}}, {1, {}}, 0x409, "manifest"), Make({0, u"CUSTOM"}, {0, u"B"}, 0, "b"),
      Make({3, {}}, {2, {}}, 0x409, "icon two"),   Make({3, {}}, {1, {}}, 0x409, "icon one"),
      Make({3, {}}, {1, {}}, 0x407, "icon de"),    Make({0, u"CUSTOM"}, {7, {}}, 0, "seven"),
      Make({0, u"CUSTOM"}, {0, u"A"}, 0, "a"),
  };
  const std::vector<uint8_t> section = WriteResources(resources, 0x5000);
  EXPECT_EQ(DescribeAll(ReadResources(section, 0x5000)),
            (std::vector<std::string>{"CUSTOM/B/0=b", "CUSTOM/A/0=a", "CUSTOM/7/0=seven",
                                      "3/1/1031=icon de", "3/1/1033=icon one", "3/2/1033=icon two",
                                      "24/1/1033=manifest"}));
  // Cut anywhere, the section is refused with a reason, never read outside.
  for (size_t length = 0; length < section.size(); ++length) {
    EXPECT_FALSE(ToolErrorOf([&] { ReadResources(std::span(section).first(length), 0x5000); }).empty())
        << length;
  }
}

TEST(ResourceTree, RefusesHostileDirectories) {
  const std::vector<uint8_t> good = WriteResources({Make({3, {}}, {1, {}}, 0, "data")}, 0x1000);
  // Root at 0, type directory at 24, name directory at 48, data entry at 72.
  struct Case {
    const char* name;
    uint32_t offset;
    uint32_t value;
    const char* error;
  };
  const Case cases[] = {
      {"entries past the end", 14, 0xFFFF, "reach past the section"},
      {"type entry not a directory", 20, 24, "not three directories deep"},
      {"language entry a directory", 68, 0x80000000, "deeper than three levels"},
      {"name outside", 16, 0x8000FFFF, "name lies outside"},
      {"data before the section", 72, 0x0FFF, "data lies outside"},
      {"data too long", 76, 0x10000, "data lies outside"},
      {"subdirectory outside", 20, 0x8000FFFF, "directory lies outside"},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> bad = good;
    if (c.offset == 14) {
      WriteLe16(&bad[c.offset], static_cast<uint16_t>(c.value));
    } else {
      WriteLe32(&bad[c.offset], c.value);
    }
    EXPECT_NE(ToolErrorOf([&] { ReadResources(bad, 0x1000); }).find(c.error), std::string::npos)
        << c.name;
  }
  // Directories that all share one another: billions of paths, stopped early.
  const uint32_t directory = 16 + 0xFFFF * 8;
  std::vector<uint8_t> shared(2 * directory + 16, 0);
  for (uint32_t level = 0; level < 2; ++level) {
    WriteLe16(&shared[level * directory + 14], 0xFFFF);
    for (uint32_t i = 0; i < 0xFFFF; ++i) {
      WriteLe32(&shared[level * directory + 16 + 8 * i + 4], 0x80000000 | (level + 1) * directory);
    }
  }
  EXPECT_NE(ToolErrorOf([&] { ReadResources(shared, 0); }).find("too many entries"), std::string::npos);
}

TEST(IconFile, ReadsBitmapAndPngPicturesAndRefusesBadFiles) {
  const std::vector<uint8_t> ico = MakeTestIcon(48);
  const std::vector<IconImage> images = ParseIconFile(ico);
  ASSERT_EQ(images.size(), 2u);
  const IconPicture bitmap = DescribeIconImage(images[0].data);
  const IconPicture png = DescribeIconImage(images[1].data);
  EXPECT_EQ(std::tie(bitmap.png, bitmap.width, bitmap.height, bitmap.bit_count),
            std::make_tuple(false, 16u, 16u, 32u));
  EXPECT_EQ(std::tie(png.png, png.width, png.height, png.bit_count), std::make_tuple(true, 48u, 48u, 32u));
  const std::vector<IconGroupEntry> group = ParseIconGroup(EncodeIconGroup(images, 5));
  ASSERT_EQ(group.size(), 2u);
  EXPECT_EQ(group[1].id, 6);
  EXPECT_EQ(group[1].entry.width, 48);
  EXPECT_EQ(group[1].entry.bytes, images[1].data.size());

  struct Case {
    const char* name;
    void (*damage)(std::vector<uint8_t>&);
    const char* error;
  };
  const Case cases[] = {
      {"empty", [](std::vector<uint8_t>& f) { f.clear(); }, "not an .ico file"},
      {"a PNG file", [](std::vector<uint8_t>& f) { f.erase(f.begin(), f.begin() + 1166); }, "not an .ico file"},
      {"a cursor", [](std::vector<uint8_t>& f) { WriteLe16(&f[2], 2); }, "a cursor"},
      {"no images", [](std::vector<uint8_t>& f) { WriteLe16(&f[4], 0); }, "lists no images"},
      {"entries past the end", [](std::vector<uint8_t>& f) { WriteLe16(&f[4], 5000); }, "entries reach past"},
      {"image past the end", [](std::vector<uint8_t>& f) { f.pop_back(); }, "image 2 reaches past"},
      {"image in the directory", [](std::vector<uint8_t>& f) { WriteLe32(&f[18], 20); }, "image 1 overlaps"},
      {"empty image", [](std::vector<uint8_t>& f) { WriteLe32(&f[14], 0); }, "image 1 is empty"},
      {"two entries, one image",
       [](std::vector<uint8_t>& f) { std::copy(&f[14], &f[22], &f[30]); }, "images 1 and 2 share bytes"},
      {"image of neither kind", [](std::vector<uint8_t>& f) { WriteLe32(&f[38], 1); }, "neither a PNG"},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> bad = ico;
    c.damage(bad);
    EXPECT_NE(ToolErrorOf([&] { ParseIconFile(bad); }).find(c.error), std::string::npos) << c.name;
  }
}

TEST(VersionResource, ReadsBackWhatItWritesAndRefusesWhatCannotFit) {
  VersionInfo info;
  info.file_version = {1, 2, 3, 65535};
  info.product_version = {4, 0, 0, 0};
  info.strings = {{u"CompanyName", u"Ex\u00e4mple \u20ac"}, {u"Empty", u""}, {u"Comments", u"odd"}};
  const std::vector<uint8_t> resource = EncodeVersionInfo(info);
  EXPECT_EQ(stub::ReadLe16(&resource[0]), resource.size());
  const VersionInfo read = ParseVersionInfo(resource);
  EXPECT_EQ(read.file_version, info.file_version);
  EXPECT_EQ(read.product_version, info.product_version);
  EXPECT_EQ(read.strings, info.strings);
  for (size_t length = 0; length < resource.size(); ++length) {
    try {
      ParseVersionInfo(std::span(resource).first(length));
    } catch (const tools::ToolError&) {
    }
  }

  VersionInfo large;
  large.strings = {{u"Comments", std::u16string(32000, u'x')}};
  EXPECT_LE(EncodeVersionInfo(large).size(), kMaxVersionResourceSize);
  large.strings.push_back({u"More", std::u16string(1000, u'y')});
  EXPECT_NE(ToolErrorOf([&] { EncodeVersionInfo(large); }).find("at most 65,535"), std::string::npos);
  VersionInfo nul;
  nul.strings = {{u"Comments", std::u16string(u"a\0b", 3)}};
  EXPECT_NE(ToolErrorOf([&] { EncodeVersionInfo(nul); }).find("NUL"), std::string::npos);
}

const Resource* Find(const std::vector<Resource>& resources, uint16_t type, uint16_t name = 0) {
  for (const Resource& r : resources) {
    if (r.type.id == type && (name == 0 || r.name.id == name)) return &r;
  }
  return nullptr;
}

std::vector<Resource> ResourcesOf(const std::vector<uint8_t>& file) {
  const Image image = ParseImage(file);
  const Section* section = ResourceSection(image);
  return ReadResources(std::span(file).subspan(section->raw_offset, section->raw_size),
                       section->virtual_address);
}

uint32_t AlignUp(uint32_t value, uint32_t alignment) { return (value + alignment - 1) / alignment * alignment; }

TEST(SetIdentity, ReplacesIconAndVersionOfTheLauncherAndKeepsTheRest) {
  const std::vector<uint8_t> launcher = LauncherImage();
  ASSERT_FALSE(launcher.empty()) << UNIT_LAUNCHER_IMAGE;
  Identity identity;
  identity.icon = ParseIconFile(MakeTestIcon(64));  // 16 KiB: the resources outgrow their page
  identity.version = VersionInfo{{1, 2, 3, 4}, {1, 2, 0, 0}, {{u"ProductName", u"Example"}}};
  const std::vector<uint8_t> out = SetIdentity(launcher, identity);

  const Image before = ParseImage(launcher);
  const Image after = ParseImage(out);
  EXPECT_EQ(after.header_offset, 256u);
  EXPECT_TRUE(std::all_of(out.begin() + 128, out.begin() + 256, [](uint8_t b) { return b == 0; }));
  EXPECT_EQ(out.size(), after.ImageEnd());
  EXPECT_EQ(after.checksum, ComputeChecksum(out, after.checksum_offset));
  // Code and data up to the resources are untouched; the relocations moved whole.
  const Section& rsrc = *ResourceSection(after);
  const Section& reloc = after.sections.back();
  const Section& old_reloc = before.sections.back();
  EXPECT_TRUE(std::equal(out.begin() + after.FirstRawDataOffset(), out.begin() + rsrc.raw_offset,
                         launcher.begin() + before.FirstRawDataOffset()));
  EXPECT_TRUE(std::equal(out.begin() + reloc.raw_offset, out.end(), launcher.begin() + old_reloc.raw_offset,
                         launcher.begin() + old_reloc.raw_offset + old_reloc.raw_size));
  EXPECT_EQ(reloc.virtual_address, AlignUp(rsrc.virtual_address + rsrc.virtual_size, 0x1000));
  EXPECT_GT(reloc.virtual_address, old_reloc.virtual_address);
  EXPECT_EQ(after.directories[kBaseRelocationDirectory].address, reloc.virtual_address);
  EXPECT_EQ(after.directories[kResourceDirectory].size, rsrc.virtual_size);
  EXPECT_EQ(after.size_of_image, AlignUp(reloc.virtual_address + reloc.virtual_size, 0x1000));
  const uint32_t initialized = after.optional_offset + kOptSizeOfInitializedData;
  EXPECT_EQ(ReadLe32(&out[initialized]) - ReadLe32(&launcher[initialized]),
            rsrc.raw_size - ResourceSection(before)->raw_size);

  const std::vector<Resource> old_resources = ResourcesOf(launcher);
  const std::vector<Resource> resources = ResourcesOf(out);
  EXPECT_EQ(Find(resources, kRtManifest)->data, Find(old_resources, kRtManifest)->data);
  constexpr uint16_t kRtRcdata = 10;  // the launcher's marker
  EXPECT_EQ(Find(resources, kRtRcdata)->data, Find(old_resources, kRtRcdata)->data);
  EXPECT_EQ(ParseVersionInfo(Find(resources, kRtVersion)->data).strings, identity.version->strings);
  EXPECT_EQ(ParseIconGroup(Find(resources, kRtGroupIcon)->data).size(), 2u);
  EXPECT_EQ(Find(resources, kRtIcon, 2)->data, (*identity.icon)[1].data);
  EXPECT_EQ(resources.size(), 6u);
}

TEST(SetIdentity, RefusesImagesItCannotRewriteSafely) {
  const std::vector<uint8_t> launcher = LauncherImage();
  const Image image = ParseImage(launcher);
  const auto directory = [&](uint32_t index) { return image.optional_offset + kOptDataDirectories + 8 * index; };
  const uint32_t rsrc = ResourceSection(image)->virtual_address;
  const uint32_t reloc_raw = image.sections.back().raw_offset;
  const size_t rsrc_index = ResourceSection(image) - image.sections.data();
  const auto section_field = [&](size_t index, uint32_t field) {
    return image.section_table_offset + kSectionHeaderSize * index + field;
  };
  const auto alignments = [&](std::vector<uint8_t>& f, uint32_t section, uint32_t file) {
    WriteLe32(&f[image.optional_offset + 32], section);
    WriteLe32(&f[image.optional_offset + 36], file);
  };
  struct Case {
    const char* name;
    std::function<void(std::vector<uint8_t>&)> damage;
    const char* error;
  };
  const Case cases[] = {
      {"signed", [&](auto& f) { WriteLe32(&f[directory(4) + 4], 8); }, "it is signed"},
      {"no resources", [&](auto& f) { WriteLe32(&f[directory(2) + 4], 0); }, "no resource section"},
      {"another section behind", [&](auto& f) { WriteLe32(&f[directory(5) + 4], 0); },
       "section .reloc follows the resource section"},
      {"a directory in the resources", [&](auto& f) { WriteLe32(&f[directory(6)], rsrc + 16), WriteLe32(&f[directory(6) + 4], 28); },
       "data directory 6 points into section .rsrc"},
      {"a relocation in the resources", [&](auto& f) { WriteLe32(&f[reloc_raw], rsrc); },
       "patches the resource or relocation section"},
      {"malformed resources", [&](auto& f) { WriteLe16(&f[ResourceSection(image)->raw_offset + 14], 0x7FFF); },
       "malformed resource directory"},
      // Zeros behind the section table read as an empty resource directory.
      {"resources inside the headers",
       [&](auto& f) {
         for (size_t i = 0; i < rsrc_index; ++i) WriteLe32(&f[section_field(i, kSectionRawSize)], 0);
         WriteLe32(&f[section_field(rsrc_index, kSectionRawOffset)], image.headers_end);
       },
       "its resource section lies inside the PE headers"},
      {"code inside the headers", [&](auto& f) { WriteLe32(&f[section_field(0, kSectionRawOffset)], 0x200); },
       "the data of its section 1 lies inside the PE headers"},
      {"section alignment 2 GiB", [&](auto& f) { alignments(f, 0x80000000, 0x200); },
       "section alignment 0x80000000 is above 0x20000000"},
      {"section alignment below the file alignment", [&](auto& f) { alignments(f, 0x100, 0x200); },
       "section alignment 0x100 is below its file alignment 0x200"},
      {"file alignment above 64 KiB", [&](auto& f) { alignments(f, 0x20000, 0x20000); },
       "file alignment 0x20000 is not from 0x200 to 0x10000"},
      {"section alignment below the page", [&](auto& f) { alignments(f, 0x800, 0x200); },
       "section alignment 0x800 is below the page size and not its file alignment 0x200"},
      {"sections off the section alignment", [&](auto& f) { alignments(f, 0x10000, 0x200); },
       "do not start at its section alignment"},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> bad = launcher;
    c.damage(bad);
    EXPECT_NE(ToolErrorOf([&] { SetIdentity(bad, Identity{std::nullopt, VersionInfo{}}); }).find(c.error),
              std::string::npos)
        << c.name;
  }
  // Resources close to 2 GiB in memory: the moved relocations would end beyond.
  std::vector<uint8_t> high = launcher;
  WriteLe32(&high[section_field(rsrc_index, kSectionVirtualAddress)], 0x7FFF0000);
  WriteLe32(&high[directory(2)], 0x7FFF0000);
  WriteLe32(&high[section_field(rsrc_index + 1, kSectionVirtualAddress)], 0x7FFF1000);
  WriteLe32(&high[directory(5)], 0x7FFF1000);
  EXPECT_NE(ToolErrorOf([&] { ReplaceResources(high, {Make({16, {}}, {1, {}}, 0, std::string(0x10000, 'v'))}); })
                .find("bytes in memory, and Windows loads less than 0x80000000"),
            std::string::npos);
}

}  // namespace
}  // namespace pe
