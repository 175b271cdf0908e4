// SPDX-License-Identifier: Zlib
#include "launcher/child_start.h"

#include <gtest/gtest.h>

#include "launcher/fatal_messages.h"
#include "tests/fake/fake_platform.h"
#include "tests/support/fatal_texts.h"

namespace stub {
namespace {

using testing::FakePlatform;

// The fake's first random name.
constexpr char16_t kFolder[] = u"C:\\Temp\\0001020304050607";
constexpr char16_t kCopy[] = u"C:\\Temp\\0001020304050607\\setup.exe";
constexpr char16_t kArguments[] = u"\"\\\\server\\share\\setup.exe\" /S \"my dir\"";

ChildStartRequest Request(uint32_t major, bool silent, uint8_t elevation_mode) {
  ChildStartRequest request;
  request.major_version = major;
  request.silent = silent;
  request.elevation_mode = elevation_mode;
  request.copy_path = kCopy;
  request.argument_string = kArguments;
  request.package_folder = u"Z:\\packages\\";
  return request;
}

// Every branch of the start decision, as a table.
TEST(PlanChildStart, DecisionTable) {
  struct Row {
    const char* name;
    uint32_t major;
    bool administrator;
    bool silent;
    uint8_t elevation_mode;
    bool direct;
    const char16_t* verb;
    bool noadmin;
  };
  const Row rows[] = {
      {"XP, not admin, silent, runas", 5, false, true, 1, true, u"", false},
      {"XP, admin", 5, true, false, 0, true, u"", false},
      {"admin on 10, silent, runas", 10, true, true, 1, true, u"", false},
      {"admin on Vista, not silent", 6, true, false, 2, true, u"", false},
      {"user, not silent, mode 0", 10, false, false, 0, false, u"open", true},
      {"user, not silent, mode 1", 10, false, false, 1, false, u"open", true},
      {"user, not silent, mode 2", 10, false, false, 2, false, u"open", true},
      {"user, silent, mode 0", 10, false, true, 0, false, u"open", false},
      {"user, silent, mode 1", 10, false, true, 1, false, u"runas", false},
      {"user, silent, mode 2", 10, false, true, 2, false, u"open", true},
      {"user, silent, mode 7", 6, false, true, 7, false, u"open", false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    FakePlatform platform;
    platform.administrator = row.administrator;
    const ChildStartPlan plan = PlanChildStart(platform, Request(row.major, row.silent, row.elevation_mode));
    EXPECT_EQ(plan.direct, row.direct);
    if (row.direct) {
      EXPECT_EQ(plan.command_line, u"\"" + std::u16string(kCopy) + u"\" " + kArguments);
    } else {
      EXPECT_EQ(plan.verb, row.verb);
      EXPECT_EQ(plan.parameters, std::u16string(kArguments) + (row.noadmin ? u" /noadmin" : u""));
    }
  }
}

TEST(PlanChildStart, OlderThanVistaNeverAsksAboutAdministrators) {
  FakePlatform platform;
  PlanChildStart(platform, Request(5, false, 0));
  EXPECT_EQ(std::count(platform.calls.begin(), platform.calls.end(), "IsAdministrator"), 0);
}

TEST(PlanChildStart, UnknownVersionTakesTheShellPathForUsers) {
  FakePlatform platform;
  platform.administrator = false;
  ChildStartRequest request = Request(0, false, 0);
  request.version_known = false;
  const ChildStartPlan plan = PlanChildStart(platform, request);
  EXPECT_FALSE(plan.direct);
  EXPECT_EQ(plan.verb, u"open");
}

class RunChildTest : public ::testing::Test {
 protected:
  Outcome Run(bool administrator, bool detached = false) {
    return RunOn(platform_, Request(10, true, 1), administrator, detached);
  }
  // Makes the private folder and the copy, then runs the child from it.
  static Outcome RunOn(FakePlatform& platform, ChildStartRequest request, bool administrator,
                       bool detached = false) {
    platform.administrator = administrator;
    request.detached = detached;
    Reporter reporter(platform, u"C:\\setup.exe", false);
    TemporaryCopy copy(platform);
    std::vector<uint8_t> program = {1, 2, 3};
    testing::MemoryFile file(program);
    TPackageHeader header;
    header.StreamLength = header.ProgramLength = 3;
    const std::u16string package = u"C:\\setup.exe";
    Progress progress(platform, package, /*silent=*/false);
    ProgramSource source(file, header, TPackageExtension{kStreamMethodStored, 0, 0}, platform,
                         &progress);
    EXPECT_TRUE(source.Open());
    EXPECT_TRUE(copy.CreateFolder(reporter, u"C:\\Temp\\").proceeds());
    EXPECT_TRUE(copy.Write(reporter, kCopy, source).proceeds());
    return RunChild(platform, reporter, request, PlanChildStart(platform, request), copy);
  }
  bool LeftNothing() const { return platform_.files.empty() && platform_.folders.empty(); }
  FakePlatform platform_;
};

TEST_F(RunChildTest, DirectStartUsesThePackageFolderWaitsAndRemovesCopyAndFolder) {
  platform_.child_exit_code = 3010;
  bool copy_present_at_start = false;
  platform_.on_child_start = [&](FakePlatform& p) { copy_present_at_start = p.files.count(kCopy) == 1; };
  const Outcome outcome = Run(/*administrator=*/true);
  EXPECT_EQ(outcome.exit_code(), 3010u);
  ASSERT_EQ(platform_.starts.size(), 1u);
  EXPECT_FALSE(platform_.starts[0].through_shell);
  EXPECT_EQ(platform_.starts[0].current_directory, u"Z:\\packages\\");
  EXPECT_TRUE(copy_present_at_start);
  EXPECT_TRUE(platform_.child_waited);
  EXPECT_TRUE(LeftNothing());
  EXPECT_TRUE(platform_.boxes.empty());
}

TEST_F(RunChildTest, ShellStartPassesVerbFileAndParameters) {
  const Outcome outcome = Run(/*administrator=*/false);
  EXPECT_EQ(outcome.exit_code(), 0u);
  ASSERT_EQ(platform_.starts.size(), 1u);
  EXPECT_TRUE(platform_.starts[0].through_shell);
  EXPECT_EQ(platform_.starts[0].verb, u"runas");
  EXPECT_EQ(platform_.starts[0].file, kCopy);
  EXPECT_EQ(platform_.starts[0].parameters, kArguments);
}

// The process handle is closed before the copy is deleted, so the delete does
// not race a handle the launcher still holds; then the folder, its marker
// right after.
TEST_F(RunChildTest, ProcessHandleIsClosedBeforeTheCopyIsDeleted) {
  EXPECT_EQ(Run(/*administrator=*/false).exit_code(), 0u);
  const auto& calls = platform_.calls;
  const auto wait = std::find(calls.begin(), calls.end(), "WaitForExit");
  const auto close = std::find(calls.begin(), calls.end(), "CloseProcess");
  const auto remove = std::find(calls.begin(), calls.end(),
                                "RemoveFile " + testing::Utf8(kCopy));
  ASSERT_NE(remove, calls.end());
  EXPECT_LT(wait, close);
  EXPECT_LT(close, remove);
  const auto folder = std::find(calls.begin(), calls.end(),
                                "RemoveFolder " + testing::Utf8(kFolder) + "\\");
  EXPECT_LT(remove, folder);
  EXPECT_EQ(folder[1], "RemoveMarker " + testing::Utf8(kFolder) + "\\0001020304050607.lock");
}

TEST_F(RunChildTest, DetachedReturnsAtOnceAndKeepsCopyAndFolder) {
  platform_.child_exit_code = 5;
  const Outcome outcome = Run(/*administrator=*/true, /*detached=*/true);
  EXPECT_EQ(outcome.exit_code(), 0u);
  EXPECT_FALSE(platform_.child_waited);
  EXPECT_EQ(platform_.files.count(kCopy), 1u);
  EXPECT_EQ(platform_.folders, std::vector<std::u16string>{kFolder});
}

TEST_F(RunChildTest, DeclinedElevationShowsNothingRemovesCopyAndFolderAndEndsWith1223) {
  platform_.start_error = 1223;
  const Outcome outcome = Run(/*administrator=*/false);
  EXPECT_EQ(outcome.exit_code(), 1223u);
  EXPECT_TRUE(platform_.boxes.empty());
  EXPECT_TRUE(LeftNothing());
}

TEST_F(RunChildTest, FailedStartRemovesCopyAndFolderThenEndsWithTheSystemsError) {
  struct Case {
    bool administrator;
    uint32_t error;
    uint32_t exit_code;
  };
  const Case cases[] = {{true, 193, 193}, {false, 5, 5}, {true, 0, 1260}, {false, 0, 1260},
                        {true, 1223, 1223}};
  for (const Case& c : cases) {
    FakePlatform platform;
    platform.start_error = c.error;
    const Outcome outcome = RunOn(platform, Request(10, false, 0), c.administrator);
    EXPECT_EQ(outcome.exit_code(), c.exit_code) << c.error;
    ASSERT_EQ(platform.boxes.size(), 1u) << c.error;
    EXPECT_EQ(platform.boxes[0].text, testing::FatalMessageText(FatalMessage::kStartFailed));
    EXPECT_TRUE(platform.files.empty() && platform.folders.empty()) << c.error;
    EXPECT_EQ(platform.calls.back(), "ShowErrorBox") << "removed before the box";
  }
}

}  // namespace
}  // namespace stub
