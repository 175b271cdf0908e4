// SPDX-License-Identifier: Zlib
#include "tools/package_writer/launcher_marker.h"

#include <gtest/gtest.h>

#include <fstream>

#include "format/package_extension.h"
#include "tests/support/package_builder.h"
#include "tests/support/test_icons.h"
#include "tests/support/test_images.h"
#include "tools/pe/image_identity.h"

namespace packaging {
namespace {

std::vector<uint8_t> LauncherImage() {
  std::ifstream in(UNIT_LAUNCHER_IMAGE, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// The launcher image says it reads what this build's launcher code reads, and
// still says so as a package's front, with the package's own identity.
TEST(LauncherMarker, TheImageNamesWhatTheLauncherReads) {
  const std::vector<uint8_t> launcher = LauncherImage();
  ASSERT_FALSE(launcher.empty()) << UNIT_LAUNCHER_IMAGE;
  pe::Identity identity;
  identity.icon = pe::ParseIconFile(stub::testing::MakeTestIcon(64));
  identity.version = pe::VersionInfo{{1, 2, 3, 4}, {1, 2, 0, 0}, {{u"FileDescription", u"X"}}};
  const std::vector<uint8_t> rewritten = pe::SetIdentity(launcher, identity);
  const std::vector<uint8_t> package =
      stub::testing::BuildPackage(rewritten, stub::testing::SampleBytes(5000), {}, {}, {}).bytes;
  const struct {
    const char* name;
    std::vector<uint8_t> file;
    bool marked;
  } rows[] = {
      {"the launcher image", launcher, true},
      {"with a package's icon and version information", rewritten, true},
      {"a whole package", package, true},
      {"an image without the marker", stub::testing::MakeLauncherImage(), false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const std::optional<LauncherMarker> marker = ReadLauncherMarker(row.file);
    ASSERT_EQ(marker.has_value(), row.marked);
    if (!row.marked) continue;
    EXPECT_EQ(marker->record_version, stub::kPackageExtensionVersion);
    for (uint8_t method = 0; method < 16; ++method) {
      EXPECT_EQ(marker->Decodes(method), method <= stub::kLastStreamMethod) << int{method};
    }
  }
}

}  // namespace
}  // namespace packaging
