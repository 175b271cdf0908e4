// SPDX-License-Identifier: Zlib
#include "launcher/abandoned_folders.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "launcher/paths.h"
#include "tests/fake/fake_platform.h"

namespace stub {
namespace {

using testing::FakePlatform;

constexpr char16_t kTemp[] = u"C:\\Temp\\";

// What lies in the temporary folder, one entry per row, and whether a run
// removes it as abandoned. Each is a folder of the private folders' own
// names with a copy and a marker in it, unless the row says otherwise.
TEST(AbandonedFolders, OnlyFoldersOfOurNameWithAMarkerNoOneHoldsAndNoRunningChild) {
  enum Marker { kAbandoned, kHeld, kNone, kChildRuns, kChildEnded };
  const struct {
    const char* name;
    const char16_t* entry;
    Marker marker;
    bool link;
    bool removed;
  } rows[] = {
      {"killed while it copied", u"0123456789abcdef", kAbandoned, false, true},
      {"killed while its child, now ended, ran", u"00000000000000ff", kChildEnded, false, true},
      {"killed while its child runs", u"1111111111111111", kChildRuns, false, false},
      {"a live run's", u"2222222222222222", kHeld, false, false},
      {"a detached run's: no marker", u"3333333333333333", kNone, false, false},
      {"a link or junction of that name", u"4444444444444444", kAbandoned, true, false},
      {"a folder of another name", u"setup-files", kAbandoned, false, false},
      {"capital digits, not ours", u"ABCDEF0123456789", kAbandoned, false, false},
      {"one digit short", u"012345678abcdef", kAbandoned, false, false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    FakePlatform platform;
    const std::u16string folder = kTemp + std::u16string(row.entry);
    const std::u16string marker = RunMarkerPath(folder + u'\\');
    platform.folders.push_back(folder);
    if (row.link) platform.links.push_back(folder);
    platform.files[folder + u"\\setup.exe"] = {1, 2, 3};
    std::unique_ptr<PlatformMarker> held;
    if (row.marker == kHeld) held = platform.CreateMarker(marker);
    if (row.marker != kHeld && row.marker != kNone) platform.files[marker] = {};
    if (row.marker == kChildRuns || row.marker == kChildEnded) {
      platform.files[marker] = {0x39, 0x05, 0, 0};  // process 1337
      if (row.marker == kChildRuns) platform.running_processes.insert(1337);
    }
    // A file of a private folder's name is no folder.
    platform.files[kTemp + std::u16string(u"fedcba9876543210")] = {4};

    RemoveAbandonedFolders(platform, kTemp);

    const bool folder_left =
        std::find(platform.folders.begin(), platform.folders.end(), folder) != platform.folders.end();
    EXPECT_EQ(folder_left, !row.removed);
    EXPECT_EQ(platform.files.count(folder + u"\\setup.exe"), row.removed ? 0u : 1u);
    EXPECT_EQ(platform.files.count(marker), row.removed || row.marker == kNone ? 0u : 1u);
    EXPECT_EQ(platform.files.count(kTemp + std::u16string(u"fedcba9876543210")), 1u);
  }
}

}  // namespace
}  // namespace stub
