#include "launcher/temp_copy.h"

#include <gtest/gtest.h>

#include "launcher/fatal_messages.h"
#include "tests/fake/fake_platform.h"

namespace stub {
namespace {

using testing::FakePlatform;

constexpr char16_t kPath[] = u"C:\\Temp\\setup.exe";

TEST(WriteTemporaryCopy, WritesAllBytesAndClosesTheFile) {
  FakePlatform platform;
  platform.files[kPath] = {9, 9, 9, 9, 9, 9};  // an older file of that name is replaced
  Reporter reporter(platform, u"C:\\setup.exe", false);
  const std::vector<uint8_t> data = {1, 2, 3};
  EXPECT_TRUE(WriteTemporaryCopy(platform, reporter, kPath, data.data(), 3).proceeds());
  EXPECT_EQ(platform.files[kPath], data);
  EXPECT_EQ(platform.open_files, 0);
  EXPECT_TRUE(platform.boxes.empty());
}

TEST(WriteTemporaryCopy, CreateFailureShowsTheTempCopyMessage) {
  FakePlatform platform;
  platform.fail_create = true;
  Reporter reporter(platform, u"C:\\setup.exe", false);
  const uint8_t byte = 0;
  const Outcome outcome = WriteTemporaryCopy(platform, reporter, kPath, &byte, 1);
  EXPECT_EQ(outcome.exit_code(), 82u);
  ASSERT_EQ(platform.boxes.size(), 1u);
  EXPECT_EQ(platform.boxes[0].text, FatalMessageText(FatalMessage::kTempCopy));
}

TEST(WriteTemporaryCopy, ShortWriteClosesThenDeletesThenReports) {
  FakePlatform platform;
  platform.write_limit = 2;
  Reporter reporter(platform, u"C:\\setup.exe", false);
  const std::vector<uint8_t> data = {1, 2, 3};
  const Outcome outcome = WriteTemporaryCopy(platform, reporter, kPath, data.data(), 3);
  EXPECT_EQ(outcome.exit_code(), 82u);
  EXPECT_EQ(platform.files.count(kPath), 0u);
  EXPECT_EQ(platform.open_files, 0);
  const auto remove = std::find(platform.calls.begin(), platform.calls.end(),
                                "RemoveFile C:\\Temp\\setup.exe");
  const auto box = std::find(platform.calls.begin(), platform.calls.end(), "ShowErrorBox");
  EXPECT_LT(remove, box);
}

TEST(WriteTemporaryCopy, EmptyProgramMakesAnEmptyFile) {
  FakePlatform platform;
  Reporter reporter(platform, u"C:\\setup.exe", false);
  EXPECT_TRUE(WriteTemporaryCopy(platform, reporter, kPath, nullptr, 0).proceeds());
  EXPECT_TRUE(platform.files.at(kPath).empty());
}

}  // namespace
}  // namespace stub
