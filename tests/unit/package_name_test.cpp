// SPDX-License-Identifier: Zlib
#include "launcher/package_name.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "tools/pe/version_resource.h"

namespace stub {
namespace {

std::vector<uint8_t> VersionResource(std::vector<pe::VersionString> strings) {
  pe::VersionInfo info;
  info.strings = std::move(strings);
  return pe::EncodeVersionInfo(info);
}

TEST(PackageDisplayName, FileDescriptionElseTheFileName) {
  const std::vector<uint8_t> described =
      VersionResource({{u"CompanyName", u"Example Ltd"},
                       {u"FileDescription", u"Example Tool Setup \u00e9"},
                       {u"ProductName", u"Example"}});
  // Where the description's text starts in the resource.
  const uint8_t text[] = {'E', 0, 'x', 0, 'a', 0, 'm', 0, 'p', 0, 'l', 0, 'e', 0, ' ', 0, 'T', 0};
  const size_t value_at =
      std::search(described.begin(), described.end(), std::begin(text), std::end(text)) -
      described.begin();
  ASSERT_LT(value_at, described.size());
  const auto cut = [&](size_t length) {
    return std::vector<uint8_t>(described.begin(), described.begin() + length);
  };
  const struct {
    const char* name;
    std::vector<uint8_t> resource;
    const char16_t* expected;
  } rows[] = {
      {"FileDescription", described, u"Example Tool Setup \u00e9"},
      {"the launcher's own", VersionResource({{u"FileDescription", u"Setup"}}), u"Setup"},
      {"empty FileDescription", VersionResource({{u"FileDescription", u""}}), u"pkg.exe"},
      {"no FileDescription", VersionResource({{u"ProductName", u"Example"}}), u"pkg.exe"},
      {"no version resource", {}, u"pkg.exe"},
      {"a key that only starts the same",
       VersionResource({{u"FileDescriptionX", u"no"}}), u"pkg.exe"},
      // What lies inside the resource, never more.
      {"cut inside the value", cut(value_at + 10), u"Examp"},
      {"cut inside the key", cut(value_at - 8), u"pkg.exe"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(PackageDisplayName(row.resource, u"D:\\dl\\pkg.exe"), row.expected);
  }
}

}  // namespace
}  // namespace stub
