// SPDX-License-Identifier: Zlib
// The progress window, through the launcher's whole run on the fake platform:
// when it opens, what it shows, that it closes before every message box and
// before the child starts, and what a Cancel at each step leaves.
#include "launcher/progress.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "launcher/program_source.h"
#include "launcher/stub64.h"
#include "tests/fake/fake_platform.h"
#include "tests/support/package_builder.h"
#include "tests/support/test_images.h"

namespace stub {
namespace {

using testing::FakePlatform;

constexpr char16_t kPackage[] = u"C:\\Downloads\\setup.exe";

bool Called(const FakePlatform& platform, const std::string& prefix) {
  return std::any_of(platform.calls.begin(), platform.calls.end(),
                     [&](const std::string& call) { return call.rfind(prefix, 0) == 0; });
}

long Position(const FakePlatform& platform, const std::string& prefix) {
  return std::find_if(platform.calls.begin(), platform.calls.end(),
                      [&](const std::string& call) { return call.rfind(prefix, 0) == 0; }) -
         platform.calls.begin();
}

// Large enough for several steps of decoding and two chunks of writing; made
// once per method.
const std::vector<uint8_t>& Package(uint8_t method = kStreamMethodLzma1) {
  static std::map<uint8_t, std::vector<uint8_t>> packages;
  std::vector<uint8_t>& package = packages[method];
  if (package.empty()) {
    packaging::PackageSettings settings = testing::AdmitAllWindows();
    settings.extension = TPackageExtension{method, 0, 0};
    package = testing::MakeTestPackage(testing::SampleBytes(kCopyChunkSize + 300000, 7), settings,
                                       testing::SampleBytes(200000, 8))
                  .bytes;
  }
  return package;
}

// A run on the fake whose clock moves `ms_per_read` with every reading.
struct SlowRun {
  explicit SlowRun(uint32_t ms_per_read, const char16_t* command_line = u"setup.exe") {
    platform.module_path = kPackage;
    platform.command_line = command_line;
    platform.milliseconds_per_read = ms_per_read;
    platform.files[kPackage] = Package();
  }
  uint32_t operator()() { return Stub64(platform); }
  FakePlatform platform;
};

TEST(ProgressWindow, OpensOnlyPastTheDelayNeverWhenSilentAndClosesBeforeTheStart) {
  const struct {
    const char* name;
    uint32_t ms_per_read;
    const char16_t* command_line;
    bool window_fails;
    bool opens;
  } rows[] = {
      {"done before the delay", 0, u"setup.exe", false, false},
      {"slow: past the delay", 250, u"setup.exe", false, true},
      {"silent", 1000, u"setup.exe /s", false, false},
      {"silent, long form", 1000, u"setup.exe /SILENT", false, false},
      {"no window to be had", 1000, u"setup.exe", true, false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    SlowRun run(row.ms_per_read, row.command_line);
    run.platform.fail_progress_window = row.window_fails;
    EXPECT_EQ(run(), 0u);
    const FakePlatform& p = run.platform;
    EXPECT_EQ(p.starts.size(), 1u);
    EXPECT_EQ(Called(p, "OpenProgressWindow"), row.opens || row.window_fails);
    ASSERT_EQ(p.progress_titles.size(), row.opens ? 1u : 0u);
    if (!row.opens) continue;
    EXPECT_EQ(p.progress_titles[0], u"setup.exe") << "no version resource: the file name";
    EXPECT_LT(Position(p, "CloseProgressWindow"), Position(p, "StartProcess"));
    // The bar only moves forwards, and the plan's bytes are all done at the end.
    EXPECT_TRUE(std::is_sorted(p.progress_positions.begin(), p.progress_positions.end()));
    EXPECT_GT(p.progress_positions.size(), 5u);
    EXPECT_EQ(p.progress_positions.back(), kProgressWindowRange);
  }
}

TEST(ProgressWindow, ClosesBeforeEveryMessageBox) {
  const struct {
    const char* name;
    void (*arrange)(FakePlatform&);
  } rows[] = {
      {"damaged", [](FakePlatform& p) { p.files[kPackage][p.files[kPackage].size() - 9] ^= 1; }},
      {"unsupported Windows", [](FakePlatform& p) { p.windows_version = TWindowsVersion{6, 4}; }},
      {"temporary copy", [](FakePlatform& p) { p.fail_create = true; }},
      {"start failed", [](FakePlatform& p) { p.start_error = 5; }},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    SlowRun run(1000);
    row.arrange(run.platform);
    run();
    ASSERT_EQ(run.platform.boxes.size(), 1u);
    EXPECT_TRUE(Called(run.platform, "OpenProgressWindow"));
    EXPECT_LT(Position(run.platform, "CloseProgressWindow"),
              Position(run.platform, "ShowErrorBox"));
  }
}

bool CopyExists(const FakePlatform& p) {
  return std::count_if(p.files.begin(), p.files.end(), [](const auto& file) {
           return file.first.ends_with(u"\\setup.exe");
         }) == 2;
}

// A Cancel the window receives at each step, up to the moment the copy is
// complete and closed, stops the run: no message, exit 1223, nothing of the
// run left. Once the preparation has ended (as the window closes before the
// start) it does nothing, and the child starts.
TEST(ProgressWindow, CancelBeforeThePreparationEndsAlwaysCountsAfterItNever) {
  using Stage = bool (*)(const FakePlatform&);
  const struct {
    const char* name;
    uint8_t method;
    Stage when;
    bool counts;
  } rows[] = {
      {"checksum", kStreamMethodLzma1, [](const FakePlatform&) { return true; }, true},
      {"decoding", kStreamMethodLzma1,
       [](const FakePlatform& p) { return Called(p, "QueryWindowsVersion"); }, true},
      {"decoding, x86", kStreamMethodX86Lzma1,
       [](const FakePlatform& p) { return Called(p, "QueryWindowsVersion"); }, true},
      {"writing", kStreamMethodLzma1,
       [](const FakePlatform& p) { return p.largest_write > 0; }, true},
      {"copying a stored program", kStreamMethodStored,
       [](const FakePlatform& p) { return p.largest_write > 0; }, true},
      {"decoding .xz on threads", kStreamMethodXz,
       [](const FakePlatform& p) { return p.largest_write > 0; }, true},
      {"after the last chunk", kStreamMethodLzma1,
       [](const FakePlatform& p) {
         return !p.progress_positions.empty() && p.progress_positions.back() == kProgressWindowRange;
       },
       true},
      {"the copy complete and closed, the package still open", kStreamMethodStored,
       [](const FakePlatform& p) { return CopyExists(p) && p.open_files == 1; }, true},
      {"as the window closes, the preparation ended", kStreamMethodStored,
       [](const FakePlatform& p) { return CopyExists(p) && p.open_files == 0; }, false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    SlowRun run(1000);
    run.platform.files[kPackage] = Package(row.method);
    run.platform.cancel_when = row.when;
    EXPECT_EQ(run(), row.counts ? 1223u : 0u);
    const FakePlatform& p = run.platform;
    EXPECT_TRUE(Called(p, row.counts ? "Cancel counted" : "Cancel ignored"));
    EXPECT_TRUE(p.boxes.empty());
    EXPECT_EQ(p.starts.size(), row.counts ? 0u : 1u);
    EXPECT_EQ(p.files.size(), 1u) << "only the package";
    EXPECT_TRUE(p.folders.empty());
    EXPECT_EQ(p.open_files, 0);
    EXPECT_LT(Position(p, "CloseProgressWindow"), Position(p, "StartProcess"));
  }
}

}  // namespace
}  // namespace stub
