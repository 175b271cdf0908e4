// SPDX-License-Identifier: Zlib
#include "launcher/fatal_messages.h"

#include <gtest/gtest.h>

#include "tests/fake/fake_platform.h"
#include "tests/support/fatal_texts.h"

namespace stub {
namespace {

using testing::FakePlatform;

// The exit codes, stated here independently of the table in the code; the
// texts are the test support's (tests/support/fatal_texts.h).
struct Row {
  FatalMessage message;
  uint32_t exit_code;
};
const Row kRows[] = {
    {FatalMessage::kDamaged, 1392},
    {FatalMessage::kTempCopy, 82},
    {FatalMessage::kStartFailed, 1260},
    {FatalMessage::kTruncated, 38},
};

Outcome Raise(FatalMessage message, Reporter& reporter) {
  switch (message) {
    case FatalMessage::kDamaged: return FatalDamaged(reporter);
    case FatalMessage::kTruncated: return FatalTruncated(reporter);
    case FatalMessage::kTempCopy: return FatalTempCopy(reporter);
    case FatalMessage::kStartFailed: return FatalStartFailed(reporter, 0);
  }
  return Outcome::Proceed();
}

TEST(FatalMessages, EachShowsItsTextWithTheModulePathAndEndsWithItsCode) {
  for (const Row& row : kRows) {
    FakePlatform platform;
    Reporter reporter(platform, u"D:\\dir with space\\setup.exe", false);
    const Outcome outcome = Raise(row.message, reporter);
    EXPECT_FALSE(outcome.proceeds());
    EXPECT_EQ(outcome.exit_code(), row.exit_code);
    ASSERT_EQ(platform.boxes.size(), 1u);
    EXPECT_EQ(platform.boxes[0].text, testing::FatalMessageText(row.message));
    EXPECT_EQ(platform.boxes[0].caption, u"D:\\dir with space\\setup.exe");
  }
}

TEST(FatalMessages, QuietRunShowsNothingButKeepsTheExitCode) {
  for (const Row& row : kRows) {
    FakePlatform platform;
    Reporter reporter(platform, u"C:\\setup.exe", /*quiet=*/true);
    EXPECT_EQ(Raise(row.message, reporter).exit_code(), row.exit_code);
    EXPECT_TRUE(platform.boxes.empty());
  }
}

TEST(FatalMessages, StartFailedEndsWithTheSystemsErrorWhenThereIsOne) {
  FakePlatform platform;
  Reporter reporter(platform, u"C:\\setup.exe", false);
  EXPECT_EQ(FatalStartFailed(reporter, 193).exit_code(), 193u);  // ERROR_BAD_EXE_FORMAT
  EXPECT_EQ(FatalStartFailed(reporter, 0).exit_code(), 1260u);
  EXPECT_EQ(platform.boxes.size(), 2u);
}

}  // namespace
}  // namespace stub
