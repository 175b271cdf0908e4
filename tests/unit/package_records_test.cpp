// SPDX-License-Identifier: Zlib
#include "format/package_records.h"

#include <gtest/gtest.h>

namespace stub {
namespace {

// The locator and header of a real package, byte for byte.
const PackageLocatorBytes kExampleLocator = {
    0x00, 0x82, 0x01, 0x00,                          // PackageOffset 98816
    0x0A, 0x13, 0x0C, 0x00,                          // CrcLength 791306
    0x78, 0x56, 0x34, 0x12,                          // CrcValue 0x12345678
    0x77, 0x2F, 0xEB, 0x01, 0x00, 0x00, 0x00, 0x00,  // MinFileSize 32190327
    0x00, 0x00, 0x00, 0x00,                          // DetachedSize 0
};

PackageHeaderBytes ExampleHeader() {
  PackageHeaderBytes b{};
  const uint8_t front[] = {
      0x5D, 0x00, 0x00, 0x40, 0x00,                    // properties
      0x80, 0x07, 0x00, 0x00, 0x00, 0x00, 0x00, 0x80,  // OsMask
      0xE3, 0x05,                                      // MinReleaseId 1507
      0x0F, 0x27,                                      // MaxReleaseId 9999
      0x01,                                            // ElevationMode
  };
  std::copy(std::begin(front), std::end(front), b.begin());
  const uint8_t offsets[] = {
      0x46, 0x82, 0x01, 0x00,  // StreamOffset 98886
      0x0B, 0xE4, 0x0B, 0x00,  // StreamLength 779275
      0x10, 0x04, 0x2D, 0x00,  // ProgramLength 2950160
  };
  std::copy(std::begin(offsets), std::end(offsets), b.begin() + 30);
  const uint8_t message[] = {0x51, 0x66, 0x0D, 0x00, 0x2B, 0x01};  // offset 878161, 299 units
  std::copy(std::begin(message), std::end(message), b.begin() + 64);
  return b;
}

TEST(PackageRecords, DecodesTheExampleLocator) {
  const TPackageLocator locator = DecodePackageLocator(kExampleLocator);
  EXPECT_EQ(locator.PackageOffset, 98816u);
  EXPECT_EQ(locator.CrcLength, 791306u);
  EXPECT_EQ(locator.CrcValue, 0x12345678u);
  EXPECT_EQ(locator.MinFileSize, 32190327);
  EXPECT_EQ(locator.DetachedSize, 0u);
  EXPECT_EQ(EncodePackageLocator(locator), kExampleLocator);
}

TEST(PackageRecords, DecodesTheExampleHeader) {
  const PackageHeaderBytes bytes = ExampleHeader();
  const TPackageHeader header = DecodePackageHeader(bytes);
  EXPECT_EQ(header.LzmaProperties, (std::array<uint8_t, 5>{0x5D, 0, 0, 0x40, 0}));
  EXPECT_EQ(header.OsMask, 0x8000000000000780u);
  EXPECT_EQ(header.MinReleaseId, 1507);
  EXPECT_EQ(header.MaxReleaseId, 9999);
  EXPECT_EQ(header.ElevationMode, 1);
  EXPECT_EQ(header.StreamOffset, 98886u);
  EXPECT_EQ(header.StreamLength, 779275u);
  EXPECT_EQ(header.ProgramLength, 2950160u);
  EXPECT_EQ(header.UnsupportedOsMessage.Offset, 878161u);
  EXPECT_EQ(header.UnsupportedOsMessage.Length, 299);
  EXPECT_EQ(EncodePackageHeader(header), bytes);
}

// Each field sits at its own offset: a value written into one field must come
// back from that field only, and land on exactly the documented bytes.
TEST(PackageRecords, EachHeaderFieldHasItsOwnBytes) {
  struct Field {
    const char* name;
    size_t offset;
    size_t width;
    void (*set)(TPackageHeader&);
  };
  const Field fields[] = {
      {"OsMask", 5, 8, [](TPackageHeader& h) { h.OsMask = ~0ull; }},
      {"MinReleaseId", 13, 2, [](TPackageHeader& h) { h.MinReleaseId = 0xFFFF; }},
      {"MaxReleaseId", 15, 2, [](TPackageHeader& h) { h.MaxReleaseId = 0xFFFF; }},
      {"ElevationMode", 17, 1, [](TPackageHeader& h) { h.ElevationMode = 0xFF; }},
      {"StreamOffset", 30, 4, [](TPackageHeader& h) { h.StreamOffset = ~0u; }},
      {"StreamLength", 34, 4, [](TPackageHeader& h) { h.StreamLength = ~0u; }},
      {"ProgramLength", 38, 4, [](TPackageHeader& h) { h.ProgramLength = ~0u; }},
      {"Message.Offset", 64, 4, [](TPackageHeader& h) { h.UnsupportedOsMessage.Offset = ~0u; }},
      {"Message.Length", 68, 2, [](TPackageHeader& h) { h.UnsupportedOsMessage.Length = 0xFFFF; }},
  };
  for (const Field& field : fields) {
    TPackageHeader header;
    field.set(header);
    const PackageHeaderBytes bytes = EncodePackageHeader(header);
    for (size_t i = 0; i < bytes.size(); ++i) {
      const bool inside = i >= field.offset && i < field.offset + field.width;
      EXPECT_EQ(bytes[i], inside ? 0xFF : 0x00) << field.name << " byte " << i;
    }
  }
}

TEST(PackageRecords, MinFileSizeIsSigned) {
  PackageLocatorBytes bytes{};
  for (int i = 12; i < 20; ++i) bytes[i] = 0xFF;
  EXPECT_EQ(DecodePackageLocator(bytes).MinFileSize, -1);
}

}  // namespace
}  // namespace stub
