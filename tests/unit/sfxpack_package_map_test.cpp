// SPDX-License-Identifier: Zlib
// sfxpack inspect's analysis: every field of a good package, and hostile
// files of every kind without a crash or a read outside the file.
#include "tools/sfxpack/analysis/package_map.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>

#include "format/little_endian.h"
#include "tests/support/package_builder.h"
#include "tests/support/test_images.h"
#include "tests/support/tool_error_of.h"
#include "tools/sfxpack/report/inspect_report.h"

namespace sfxpack {
namespace {

using stub::ReadLe32;
using stub::WriteLe32;
using stub::testing::MakeTestPackage;
using stub::testing::SampleBytes;

// Offsets in the synthetic launcher image (header at 256, 16 directories).
constexpr size_t kOptionalHeader = 256 + 24;
constexpr size_t kCertificateEntry = kOptionalHeader + 112 + 8 * 4;

packaging::PackageSettings Settings() { return stub::testing::ExampleSettings(); }

using Built = stub::testing::TestPackage;

Built GoodPackage() { return MakeTestPackage(SampleBytes(5000), Settings(), SampleBytes(300, 7)); }

PackageMap Analyze(std::vector<uint8_t> bytes) {
  MemorySource source(std::move(bytes));
  return AnalyzePackage(source);
}

std::string All(const std::vector<std::string>& items) {
  std::string text;
  for (const std::string& item : items) text += item + "\n";
  return text;
}

bool HasProblem(const PackageMap& map, const std::string& part) {
  return All(map.problems).find(part) != std::string::npos;
}

// Every byte of the file lies in a region, and regions come in file order.
void ExpectRegionsCoverTheFile(const PackageMap& map, const std::string& context) {
  uint64_t covered = 0;
  uint64_t last_offset = 0;
  for (const MapRegion& region : map.regions) {
    EXPECT_GE(region.offset, last_offset) << context;
    EXPECT_LE(region.offset, covered) << context << ": hole before " << region.name;
    EXPECT_LE(region.end(), map.file_size) << context << ": " << region.name;
    covered = std::max(covered, region.end());
    last_offset = region.offset;
  }
  EXPECT_EQ(covered, map.file_size) << context;
}

std::vector<std::string> RegionNames(const PackageMap& map) {
  std::vector<std::string> names;
  for (const MapRegion& region : map.regions) names.push_back(region.name);
  return names;
}

TEST(SfxpackPackageMap, GoodPackageDecodesEveryFieldWithoutProblems) {
  const Built built = GoodPackage();
  const PackageMap map = Analyze(built.bytes);
  EXPECT_TRUE(map.problems.empty()) << All(map.problems);
  EXPECT_TRUE(map.notes.empty()) << All(map.notes);
  ASSERT_TRUE(map.locator && map.header && map.image && map.message);
  EXPECT_EQ(map.locator->CrcValue, built.layout.locator.CrcValue);
  EXPECT_EQ(map.computed_crc, built.layout.locator.CrcValue);
  EXPECT_EQ(map.header->OsMask, 0x8000000000000780u);
  EXPECT_EQ(map.header->ElevationMode, 1);
  EXPECT_EQ(*map.message, u"Not for %USER%.");
  EXPECT_EQ(map.lzma.lc, 3u);
  EXPECT_EQ(map.lzma.pb, 2u);
  EXPECT_TRUE(map.lzma.accepted);
  EXPECT_EQ(map.further_offset, built.layout.further_data_offset);
  EXPECT_EQ(map.further_length, 300u);
  const std::vector<std::string> expected = {
      "DOS header",     "DOS stub",     "package locator", "free space",
      "PE headers",     "header padding", "section .a",    "section .b",
      "package header", "LZMA stream",  "message text",    "further package data (checksummed)"};
  EXPECT_EQ(RegionNames(map), expected);
  ExpectRegionsCoverTheFile(map, "good package");
}

// A certificate table placed against a package of `package_size` bytes:
// `gap` bytes of `fill` between them, then the table, then `behind` bytes.
struct SignatureLayout {
  const char* name;
  uint64_t gap;
  uint8_t fill;
  uint64_t behind;
  bool covers;
  const char* problem;  // empty: none
};

TEST(SfxpackPackageMap, SignatureIsPlacedAgainstThePackage) {
  const uint64_t package_size = GoodPackage().bytes.size();
  const uint64_t padding = (8 - package_size % 8) % 8;
  const SignatureLayout layouts[] = {
      {"aligned behind zero padding", padding, 0, 0, true, ""},
      {"padding not zero", padding == 0 ? 8 : padding, 0xCC, 0, false, "bytes lie between"},
      {"a further 8 bytes between", padding + 8, 0, 0, false, "bytes lie between"},
      {"bytes appended after signing", padding, 0, 5, true, "5 bytes at offset "},
  };
  for (const SignatureLayout& layout : layouts) {
    Built built = GoodPackage();
    const uint32_t table_at = static_cast<uint32_t>(package_size + layout.gap);
    built.bytes.resize(table_at, layout.fill);
    built.bytes.resize(table_at + 40 + layout.behind, 0xEE);
    WriteLe32(&built.bytes[kCertificateEntry], table_at);
    WriteLe32(&built.bytes[kCertificateEntry + 4], 40);
    const PackageMap map = Analyze(built.bytes);
    const PackageSignature& signature = map.signature;
    EXPECT_TRUE(signature.is_signed) << layout.name;
    EXPECT_EQ(signature.package_end, package_size) << layout.name;
    EXPECT_EQ(signature.CoversPackage(), layout.covers) << layout.name;
    EXPECT_EQ(signature.behind, layout.behind) << layout.name;
    const std::optional<std::string> why = WhyNotSignedWhole(signature);
    if (*layout.problem == 0) {
      EXPECT_TRUE(map.problems.empty()) << layout.name << ": " << All(map.problems);
      EXPECT_NE(DescribeSignature(signature).find("covers the whole package"), std::string::npos);
      EXPECT_FALSE(why) << layout.name;
    } else {
      EXPECT_TRUE(HasProblem(map, layout.problem)) << layout.name << ": " << All(map.problems);
      EXPECT_NE(why.value_or("").find(layout.problem), std::string::npos) << layout.name;
    }
    if (layout.behind) {  // the offset of the bytes behind, not the table's
      EXPECT_EQ(why.value_or("").rfind(std::to_string(layout.behind) + " bytes at offset " +
                                       std::to_string(table_at + 40) + " lie behind", 0),
                0u);
    }
    const char* last = layout.behind ? "slack behind the package" : "certificate table";
    EXPECT_EQ(map.regions.back().name, last) << layout.name;
    ExpectRegionsCoverTheFile(map, layout.name);
  }
}

TEST(SfxpackPackageMap, BytesBehindThePackageAreSlack) {
  Built built = GoodPackage();
  built.bytes.resize(built.bytes.size() + 10);
  const PackageMap map = Analyze(built.bytes);
  EXPECT_TRUE(map.problems.empty()) << All(map.problems);
  EXPECT_EQ(map.regions.back().name, "slack behind the package");
  EXPECT_EQ(map.regions.back().length, 10u);
}

// A named change to a good package, with the problem it must be reported as.
struct Mutation {
  const char* name;
  void (*apply)(Built&);
  bool refresh_crc;  // make the checksum match again, to reach later checks
  const char* problem;
};

uint32_t PackageOffset(const Built& b) { return ReadLe32(&b.bytes[128]); }
uint8_t* Header(Built& b) { return &b.bytes[PackageOffset(b)]; }

const Mutation kMutations[] = {
    {"no package", [](Built& b) { WriteLe32(&b.bytes[128], 0); }, false, "no package is attached"},
    {"package offset beyond 2 GiB", [](Built& b) { WriteLe32(&b.bytes[128], 0x80000000); }, false,
     "beyond 2 GiB"},
    {"package offset beyond the file", [](Built& b) { WriteLe32(&b.bytes[128], 0x7FFFFF00); },
     false, "runs past the end of the file"},
    {"checksum region too long", [](Built& b) { WriteLe32(&b.bytes[132], 0xFFFFFFF0); }, false,
     "checksum region"},
    {"flipped byte", [](Built& b) { b.bytes[PackageOffset(b) + 100] ^= 1; }, false,
     "CRC-32 mismatch"},
    {"one byte short", [](Built& b) { b.bytes.pop_back(); }, false, "truncated-package"},
    {"detached size above the file",
     [](Built& b) { WriteLe32(&b.bytes[148], static_cast<uint32_t>(b.bytes.size() + 1)); }, false,
     "DetachedSize"},
    {"properties byte 225", [](Built& b) { Header(b)[0] = 225; }, true, "above 224"},
    {"dictionary of 2 GiB", [](Built& b) { WriteLe32(Header(b) + 1, 0x80000000); }, true,
     "2 GiB or more"},
    {"stream offset beyond 2 GiB", [](Built& b) { WriteLe32(Header(b) + 30, 0x80000000); }, true,
     "StreamOffset 2147483648"},
    {"stream beyond the file", [](Built& b) { WriteLe32(Header(b) + 34, 0x7FFF0000); }, true,
     "LZMA stream"},
    {"program too large", [](Built& b) { WriteLe32(Header(b) + 38, 0x80000000); }, true,
     "ProgramLength"},
    {"message beyond the file", [](Built& b) { WriteLe32(Header(b) + 64, 0x7FFFFF00); }, true,
     "refused Windows version"},
    {"message offset beyond 2 GiB", [](Built& b) { WriteLe32(Header(b) + 64, 0xFFFFFFFF); }, true,
     "refused Windows version"},
    {"extension record of version 2",
     [](Built& b) { std::copy_n("SFXE\x02", 5, Header(b) + 42); }, true,
     "extension record is of version 2, which the launcher does not read"},
    {"extension record of stream method 4",
     [](Built& b) { std::copy_n("SFXE\x01\x04", 6, Header(b) + 42); }, true,
     "stream method 4 is unknown to the launcher"},
    {"PE header over the locator", [](Built& b) { WriteLe32(&b.bytes[60], 128); }, false,
     "launcher image"},
    {"PE header offset far away", [](Built& b) { WriteLe32(&b.bytes[60], 0xFFFFFFF0); }, false,
     "no PE header"},
    {"not MZ", [](Built& b) { b.bytes[0] = 'Z'; }, false, "no MZ header"},
    {"section past the end", [](Built& b) { WriteLe32(&b.bytes[256 + 24 + 240 + 40 + 16], 0x7FFFFFFF); },
     false, "reaches past the end"},
    {"certificate inside the package",
     [](Built& b) {
       WriteLe32(&b.bytes[kCertificateEntry], PackageOffset(b) + 10);
       WriteLe32(&b.bytes[kCertificateEntry + 4], 8);
     },
     false, "starts inside the package"},
    {"certificate beyond the file",
     [](Built& b) {
       WriteLe32(&b.bytes[kCertificateEntry], static_cast<uint32_t>(b.bytes.size()));
       WriteLe32(&b.bytes[kCertificateEntry + 4], 64);
     },
     false, "certificate table"},
};

TEST(SfxpackPackageMap, EachBadFieldIsReported) {
  for (const Mutation& mutation : kMutations) {
    Built built = GoodPackage();
    mutation.apply(built);
    if (mutation.refresh_crc) {
      ASSERT_TRUE(stub::testing::RefreshChecksum(built.bytes)) << mutation.name;
    }
    const PackageMap map = Analyze(built.bytes);
    EXPECT_TRUE(HasProblem(map, mutation.problem))
        << mutation.name << ": problems were\n" << All(map.problems);
    if (mutation.refresh_crc) {
      EXPECT_FALSE(HasProblem(map, "CRC-32")) << mutation.name;
    }
    ExpectRegionsCoverTheFile(map, mutation.name);
    // Both renderings cope with whatever was found.
    EXPECT_FALSE(FormatInspectText(map, "x").empty());
    EXPECT_FALSE(FormatInspectJson(map, "x").empty());
  }
}

// An .xz package of 5 blocks (kTestXzBlockSize each), its stream's facts
// read from its index and first block header; every kind of damage to those
// is a problem the launcher stops at, never a crash.
TEST(SfxpackPackageMap, XzStreamsAreReadFromTheirIndex) {
  packaging::PackageSettings settings = Settings();
  settings.extension = stub::TPackageExtension{stub::kStreamMethodXz};
  const Built good = MakeTestPackage(SampleBytes(5 * stub::testing::kTestXzBlockSize - 100),
                                     settings, SampleBytes(300, 7));
  const uint32_t stream = good.layout.header.StreamOffset;
  const uint32_t end = stream + good.layout.header.StreamLength;
  const struct {
    const char* name;
    std::function<void(Built&)> apply;
    const char* problem;  // empty: none
  } rows[] = {
      {"good", [](Built&) {}, ""},
      {"stream header", [&](Built& b) { b.bytes[stream + 1] ^= 1; }, "cannot be read"},
      {"a byte of the index", [&](Built& b) { b.bytes[end - 20] ^= 1; }, "cannot be read"},
      {"stream footer", [&](Built& b) { b.bytes[end - 3] ^= 1; }, "cannot be read"},
      {"first block header's size",
       [&](Built& b) { b.bytes[stream + 12] += 1; }, "first block header"},
      {"stream cut in half",
       [](Built& b) { WriteLe32(Header(b) + 34, ReadLe32(Header(b) + 34) / 2); }, "cannot be read"},
      {"program one byte longer",
       [](Built& b) { WriteLe32(Header(b) + 38, ReadLe32(Header(b) + 38) + 1); },
       "not ProgramLength"},
  };
  for (const auto& row : rows) {
    Built built = good;
    row.apply(built);
    ASSERT_TRUE(stub::testing::RefreshChecksum(built.bytes)) << row.name;
    const PackageMap map = Analyze(built.bytes);
    ExpectRegionsCoverTheFile(map, row.name);
    const std::string json = FormatInspectJson(map, "x");
    if (*row.problem == 0) {
      EXPECT_TRUE(map.problems.empty()) << row.name << ": " << All(map.problems);
      ASSERT_TRUE(map.xz.has_value());
      EXPECT_EQ(map.xz->blocks, 5u);
      EXPECT_EQ(map.xz->block_size, stub::testing::kTestXzBlockSize);
      EXPECT_EQ(map.xz->filters, std::vector<std::string>{"LZMA2"});
      EXPECT_NE(json.find("\"check\": \"CRC32\""), std::string::npos) << json;
      EXPECT_NE(FormatInspectText(map, "x").find("xz stream"), std::string::npos);
    } else {
      EXPECT_TRUE(HasProblem(map, row.problem)) << row.name << ": " << All(map.problems);
      EXPECT_TRUE(HasProblem(map, "damaged-package")) << row.name;
    }
  }
}

TEST(SfxpackPackageMap, AFileWithoutAPlausibleLocatorIsNoPackage) {
  struct Case {
    const char* name;
    void (*apply)(Built&);
    std::optional<std::string> why;  // nullopt: a package, damaged or not
  };
  const Case cases[] = {
      {"good", [](Built&) {}, std::nullopt},
      {"truncated", [](Built& b) { b.bytes.resize(b.bytes.size() / 2); }, std::nullopt},
      {"package offset damaged", [](Built& b) { WriteLe32(&b.bytes[128], 0x7FFFFF00); },
       std::nullopt},
      {"a program whose PE header lies at 128", [](Built& b) { WriteLe32(&b.bytes[60], 128); },
       "the PE header at offset 128 lies there"},
      {"a launcher image without package",
       [](Built& b) { std::fill_n(b.bytes.begin() + 128, 24, 0); },
       "PackageOffset is 0: no package is attached"},
      {"a program with bytes of its own there",
       [](Built& b) {
         const std::vector<uint8_t> own = SampleBytes(24, 3);
         std::copy(own.begin(), own.end(), b.bytes.begin() + 128);
       },
       "is no package's size"},
      {"not a program", [](Built& b) { b.bytes[0] = 'Z'; }, "the file does not start with MZ"},
      {"a short file", [](Built& b) { b.bytes.resize(100); }, "the file ends before offset 152"},
  };
  for (const Case& c : cases) {
    Built built = GoodPackage();
    c.apply(built);
    const PackageMap map = Analyze(built.bytes);
    ASSERT_EQ(map.not_a_package.has_value(), c.why.has_value()) << c.name;
    if (!c.why) continue;
    EXPECT_NE(map.not_a_package->find(*c.why), std::string::npos) << c.name << ": "
                                                                   << *map.not_a_package;
    // What the launcher stops at, not what random fields would mean.
    EXPECT_LE(map.problems.size(), 2u) << c.name << ":\n" << All(map.problems);
    EXPECT_EQ(FormatInspectText(map, "x").rfind("x: does not look like a package: ", 0), 0u);
  }
}

TEST(SfxpackPackageMap, DetachedPackagesUseTheirOwnSizeTest) {
  Built built = GoodPackage();
  built.bytes.pop_back();  // below MinFileSize, but above DetachedSize
  WriteLe32(&built.bytes[148], 1000);
  const PackageMap map = Analyze(built.bytes);
  EXPECT_FALSE(HasProblem(map, "truncated")) << All(map.problems);
  EXPECT_NE(All(map.notes).find("DetachedSize"), std::string::npos);
}

TEST(SfxpackPackageMap, TruncationAtEveryInterestingLengthIsHandled) {
  const Built built = GoodPackage();
  const uint32_t package = PackageOffset(built);
  const uint32_t stream = built.layout.header.StreamOffset;
  const uint32_t message = built.layout.header.UnsupportedOsMessage.Offset;
  const size_t lengths[] = {0,           1,           2,          63,
                            64,          127,         128,        151,
                            152,         255,         256,        300,
                            1023,        1024,        package - 1, package,
                            package + 1, package + 69, package + 70, stream + 1,
                            message,     message + 1, built.bytes.size() - 1};
  for (size_t length : lengths) {
    const std::vector<uint8_t> cut(built.bytes.begin(), built.bytes.begin() + length);
    const PackageMap map = Analyze(cut);
    const std::string context = "cut at " + std::to_string(length);
    EXPECT_FALSE(map.problems.empty()) << context;
    ExpectRegionsCoverTheFile(map, context);
    if (length >= 152) {
      EXPECT_TRUE(HasProblem(map, "truncated-package")) << context << "\n" << All(map.problems);
    }
  }
}

TEST(SfxpackPackageMap, RandomDamageNeverEscapesTheFile) {
  const Built built = GoodPackage();
  std::mt19937 random(12345);
  for (int round = 0; round < 300; ++round) {
    std::vector<uint8_t> bytes = built.bytes;
    // Damage concentrated where the records and headers are.
    const size_t hot = std::min<size_t>(bytes.size(), PackageOffset(built) + 80);
    for (int i = 0; i < 6; ++i) {
      const size_t at = round % 2 == 0 ? random() % hot : random() % bytes.size();
      bytes[at] = static_cast<uint8_t>(random());
    }
    if (round % 3 == 0) bytes.resize(random() % bytes.size());
    const PackageMap map = Analyze(bytes);
    ExpectRegionsCoverTheFile(map, "round " + std::to_string(round));
    FormatInspectJson(map, "x");
    FormatInspectText(map, "x");
  }
}

TEST(SfxpackPackageMap, HostileSectionNamesStayValidJson) {
  Built built = GoodPackage();
  const size_t first_section = 256 + 24 + 240;
  const char name[8] = {'"', '\\', '\n', '\xFF', 'x', 0, 0, 0};
  std::copy(name, name + 8, built.bytes.begin() + first_section);
  const std::string json = FormatInspectJson(Analyze(built.bytes), "a\"b");
  EXPECT_NE(json.find("\"name\": \"section \\\"\\\\\\n\xEF\xBF\xBDx\""), std::string::npos) << json;
  EXPECT_NE(json.find("\"file\": \"a\\\"b\""), std::string::npos);
}

TEST(SfxpackPackageMap, ReadErrorsPassThroughTheLaunchersChecksum) {
  // Reads from the package data on fail, as on a bad disk.
  class FailingSource : public MemorySource {
   public:
    FailingSource(std::vector<uint8_t> bytes, uint64_t fail_from)
        : MemorySource(std::move(bytes)), fail_from_(fail_from) {}
    std::vector<uint8_t> Read(uint64_t offset, size_t count) override {
      if (offset >= fail_from_) throw tools::ToolError("cannot read");
      return MemorySource::Read(offset, count);
    }

   private:
    uint64_t fail_from_;
  };
  const Built built = GoodPackage();
  FailingSource source(built.bytes, PackageOffset(built));
  EXPECT_EQ(stub::testing::ToolErrorOf([&] { AnalyzePackage(source); }), "cannot read");
}

TEST(SfxpackPackageMap, PropertiesAreTakenApart) {
  struct Case {
    std::array<uint8_t, 5> bytes;
    unsigned lc, lp, pb;
    uint32_t dict;
    bool accepted;
  };
  const Case cases[] = {
      {{0x5D, 0, 0, 0x40, 0}, 3, 0, 2, 4 << 20, true},
      {{224, 0, 0, 0, 0}, 8, 4, 4, 0, true},
      {{225, 0, 0, 0, 0}, 0, 0, 5, 0, false},
      {{0, 0xFF, 0xFF, 0xFF, 0x7F}, 0, 0, 0, 0x7FFFFFFF, true},
      {{0, 0, 0, 0, 0x80}, 0, 0, 0, 0x80000000, false},
  };
  for (const Case& c : cases) {
    const LzmaProperties properties = DecodeLzmaProperties(c.bytes);
    EXPECT_EQ(properties.lc, c.lc);
    EXPECT_EQ(properties.lp, c.lp);
    EXPECT_EQ(properties.pb, c.pb);
    EXPECT_EQ(properties.dict_size, c.dict);
    EXPECT_EQ(properties.accepted, c.accepted);
  }
}

}  // namespace
}  // namespace sfxpack
