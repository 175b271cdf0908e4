#include "launcher/fatal_messages.h"

#include <gtest/gtest.h>

#include "tests/fake/fake_platform.h"

namespace stub {
namespace {

using testing::FakePlatform;

// The messages and exit codes, stated here independently of the table in the code.
struct Row {
  FatalMessage message;
  uint32_t exit_code;
  const char16_t* text;
};
const Row kRows[] = {
    {FatalMessage::kDamaged, 1392,
     u"An error occurred while trying to read the setup package.  It has most likely been "
     u"damaged.  Please obtain a new copy from the vendor."},
    {FatalMessage::kTempCopy, 82,
     u"An error occurred while trying to create a temporary copy of the setup package.  "
     u"Please make sure that you have sufficient access rights to this computer to install "
     u"software and that the Windows TEMP folder can be written to.  You can make this "
     u"installer use a different folder for its temporary files using the /temp command "
     u"line parameter followed by the path to a folder you can write to and run "
     u"applications from."},
    {FatalMessage::kStartFailed, 1260,
     u"The temporary copy of the setup package could not be executed.  Your system may have "
     u"a software restriction policy in place that blocks executables in the temporary files "
     u"folder.  You can make this installer use a different folder for its temporary files "
     u"using the /temp command line parameter followed by the path to a folder you can "
     u"write to and run applications from."},
    {FatalMessage::kTruncated, 38,
     u"The setup package has been truncated.  You most likely have an incomplete download.  "
     u"Try downloading it again."},
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
    EXPECT_EQ(platform.boxes[0].text, std::u16string(row.text));
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
