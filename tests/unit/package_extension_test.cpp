// SPDX-License-Identifier: Zlib
#include "format/package_extension.h"

#include <gtest/gtest.h>

namespace stub {
namespace {

// A record of version 1, stored method, builds 19045 to 22000, byte for byte.
const PackageExtensionBytes kStoredRecord = {
    'S', 'F', 'X', 'E',      // tag
    0x01,                    // version
    0x01,                    // stored
    0x00, 0x00,              // reserved
    0x65, 0x4A, 0x00, 0x00,  // MinBuild 19045
    0xF0, 0x55, 0x00, 0x00,  // MaxBuild 22000
    0, 0, 0, 0, 0, 0,
};

TEST(PackageExtension, ReadsAndWritesTheDocumentedBytes) {
  TPackageExtension extension;
  ASSERT_EQ(DecodePackageExtension(kStoredRecord, extension), ExtensionStatus::kPresent);
  EXPECT_EQ(extension.StreamMethod, kStreamMethodStored);
  EXPECT_EQ(extension.MinBuild, 19045u);
  EXPECT_EQ(extension.MaxBuild, 22000u);
  EXPECT_EQ(EncodePackageExtension(extension), kStoredRecord);
}

TEST(PackageExtension, StatusOfEachKindOfField) {
  struct Case {
    const char* name;
    void (*change)(PackageExtensionBytes&);
    ExtensionStatus status;
  };
  const Case cases[] = {
      {"zeros, as every package before the record", [](PackageExtensionBytes& b) { b.fill(0); },
       ExtensionStatus::kAbsent},
      {"anything without the tag", [](PackageExtensionBytes& b) { b[0] = 's'; },
       ExtensionStatus::kAbsent},
      {"version 0", [](PackageExtensionBytes& b) { b[4] = 0; }, ExtensionStatus::kUnknownVersion},
      {"version 2", [](PackageExtensionBytes& b) { b[4] = 2; }, ExtensionStatus::kUnknownVersion},
      {"x86 method", [](PackageExtensionBytes& b) { b[5] = 2; }, ExtensionStatus::kPresent},
      {"method 4", [](PackageExtensionBytes& b) { b[5] = 4; }, ExtensionStatus::kUnknownMethod},
      {"method 255", [](PackageExtensionBytes& b) { b[5] = 255; }, ExtensionStatus::kUnknownMethod},
      {"reserved bytes set", [](PackageExtensionBytes& b) { b[6] = b[21] = 0xFF; },
       ExtensionStatus::kPresent},
  };
  for (const Case& c : cases) {
    PackageExtensionBytes bytes = kStoredRecord;
    c.change(bytes);
    TPackageExtension extension;
    extension.MinBuild = 7;
    EXPECT_EQ(DecodePackageExtension(bytes, extension), c.status) << c.name;
    if (c.status != ExtensionStatus::kPresent) {
      EXPECT_EQ(extension.StreamMethod, kStreamMethodLzma1) << c.name;
      EXPECT_EQ(extension.MinBuild, 0u) << c.name;
    }
  }
}

TEST(PackageExtension, BuildLimitsAreInclusiveAndZeroIsNone) {
  struct Case {
    uint32_t min, max, build;
    bool admitted;
  };
  const Case cases[] = {
      {0, 0, 0, true},           {0, 0, 0xFFFFFFFF, true},  {22000, 0, 21999, false},
      {22000, 0, 22000, true},   {22000, 0, 26100, true},   {0, 21999, 21999, true},
      {0, 21999, 22000, false},  {19045, 19045, 19045, true}, {19045, 19045, 19046, false},
      {30000, 20000, 25000, false},
  };
  for (const Case& c : cases) {
    TPackageExtension extension;
    extension.MinBuild = c.min;
    extension.MaxBuild = c.max;
    EXPECT_EQ(BuildAdmitted(extension, c.build), c.admitted)
        << c.min << ".." << c.max << " build " << c.build;
  }
}

}  // namespace
}  // namespace stub
