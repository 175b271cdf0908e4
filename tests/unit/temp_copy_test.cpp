// SPDX-License-Identifier: Zlib
#include "launcher/temp_copy.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "launcher/fatal_messages.h"
#include "tests/fake/fake_platform.h"
#include "tests/support/fatal_texts.h"

namespace stub {
namespace {

using testing::FakePlatform;

// The fake's random bytes count up from 0, eight per name.
constexpr char16_t kFirst[] = u"C:\\T\\0001020304050607";
constexpr char16_t kSecond[] = u"C:\\T\\08090a0b0c0d0e0f";
constexpr char16_t kThird[] = u"C:\\T\\1011121314151617";

long Count(const FakePlatform& platform, const std::string& prefix) {
  return std::count_if(platform.calls.begin(), platform.calls.end(),
                       [&](const std::string& call) { return call.rfind(prefix, 0) == 0; });
}

long Position(const FakePlatform& platform, const std::string& call) {
  return std::find(platform.calls.begin(), platform.calls.end(), call) - platform.calls.begin();
}

TEST(TemporaryCopy, CreateFolderTriesFreshRandomNamesOnlyWhileTheyExist) {
  struct Row {
    const char* name;
    void (*arrange)(FakePlatform&);
    const char16_t* folder;  // null: the run ends with 82
    long attempts;
  };
  const Row rows[] = {
      {"first name free", [](FakePlatform&) {}, kFirst, 1},
      {"two names taken", [](FakePlatform& p) { p.folders = {kFirst, kSecond}; }, kThird, 3},
      {"a file holds the name", [](FakePlatform& p) { p.files[kFirst] = {}; }, kSecond, 2},
      {"every name taken", [](FakePlatform& p) { p.folder_result = FolderCreation::kExists; },
       nullptr, 16},
      {"folder cannot be made", [](FakePlatform& p) { p.folder_result = FolderCreation::kFailed; },
       nullptr, 1},
      {"no random source", [](FakePlatform& p) { p.fail_random = true; }, nullptr, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    FakePlatform platform;
    row.arrange(platform);
    const std::vector<std::u16string> folders_before = platform.folders;
    Reporter reporter(platform, u"C:\\setup.exe", false);
    TemporaryCopy copy(platform);
    const Outcome outcome = copy.CreateFolder(reporter, u"C:\\T\\");
    EXPECT_EQ(Count(platform, "CreatePrivateFolder "), row.attempts);
    if (row.folder != nullptr) {
      ASSERT_TRUE(outcome.proceeds());
      EXPECT_EQ(copy.folder(), std::u16string(row.folder) + u"\\");
      EXPECT_TRUE(platform.boxes.empty());
      continue;
    }
    EXPECT_EQ(outcome.exit_code(), 82u);
    ASSERT_EQ(platform.boxes.size(), 1u);
    EXPECT_EQ(platform.boxes[0].text, testing::FatalMessageText(FatalMessage::kTempCopy));
    EXPECT_EQ(platform.folders, folders_before);
    EXPECT_EQ(Count(platform, "Remove"), 0) << "nothing of this run to remove";
  }
}

TEST(TemporaryCopy, FailedWriteRemovesWhatTheRunMadeThenReports) {
  const std::u16string path = std::u16string(kFirst) + u"\\setup.exe";
  struct Row {
    const char* name;
    void (*arrange)(FakePlatform&, const std::u16string& copy_path);
    bool name_taken;  // the file that holds the name is not the run's own
    uint32_t stored_cut = 0;  // the package file ends this many bytes early
    uint32_t exit_code = 82;
  };
  const Row rows[] = {
      {"file cannot be created",
       [](FakePlatform& p, const std::u16string&) { p.fail_create = true; }, false},
      {"name exists",
       [](FakePlatform& p, const std::u16string& copy) { p.files[copy] = {9}; }, true},
      {"written short",
       [](FakePlatform& p, const std::u16string&) { p.write_limit = 2; }, false},
      {"stored program cut short", [](FakePlatform&, const std::u16string&) {}, false, 1, 1392},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    FakePlatform platform;
    Reporter reporter(platform, u"C:\\setup.exe", false);
    TemporaryCopy copy(platform);
    ASSERT_TRUE(copy.CreateFolder(reporter, u"C:\\T\\").proceeds());
    row.arrange(platform, path);
    // A stored program of three bytes; the package file may become shorter
    // once it was checked.
    std::vector<uint8_t> data(3, 7);
    testing::MemoryFile package(data);
    TPackageHeader header;
    header.ProgramLength = header.StreamLength = 3;
    Progress progress(platform, path, /*silent=*/false);  // `path` outlives it
    ProgramSource source(package, header, TPackageExtension{kStreamMethodStored, 0, 0}, platform,
                         &progress);
    ASSERT_TRUE(source.Open());
    data.resize(3 - row.stored_cut);
    EXPECT_EQ(copy.Write(reporter, path, source).exit_code(), row.exit_code);
    EXPECT_EQ(platform.open_files, 0);
    // A file that took the name is not the run's copy, but it lies in the
    // run's own folder, which goes with everything in it.
    if (row.name_taken) {
      EXPECT_EQ(Count(platform, "RemoveFile "), 0);
    }
    EXPECT_TRUE(platform.files.empty());
    EXPECT_TRUE(platform.folders.empty());
    EXPECT_LT(Position(platform, "RemoveFolder " + testing::Utf8(kFirst) + "\\"),
              Position(platform, "ShowErrorBox"));
  }
}

}  // namespace
}  // namespace stub
