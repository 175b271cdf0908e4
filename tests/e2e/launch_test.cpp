// A real package, built by our writer, starts its inner program under Wine the
// way the inner program relies on: the command line, the current folder, the
// temporary copy's name, the clean-up and the exit codes.
//
// Wine runs everything as an administrator, so the child is always started
// directly; the shell path is covered by the unit tests.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "format/little_endian.h"
#include "launcher/fatal_messages.h"
#include "format/package_records.h"
#include "tests/e2e/e2e_packages.h"
#include "tests/e2e/wine_harness.h"
#include "tests/support/subprocess.h"
#include "tests/support/test_images.h"

namespace e2e {
namespace {

namespace fs = std::filesystem;
using stub::FatalMessage;
using stub::FatalMessageText;

using ChildReport = std::map<std::string, std::string>;

// The reports test_child.exe appended, one per start.
std::vector<ChildReport> ReadChildReports(const std::string& path) {
  std::string text;
  stub::testing::ReadFile(path, text);
  std::vector<ChildReport> reports(1);
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(start, end - start);
    start = end + 1;
    if (line == "end") {
      reports.emplace_back();
      continue;
    }
    const size_t eq = line.find('=');
    if (eq != std::string::npos) reports.back()[line.substr(0, eq)] = line.substr(eq + 1);
  }
  reports.pop_back();
  return reports;
}

std::vector<std::string> FilesIn(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

class Launch : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = ScratchFolder();
    report_ = folder_ + "/child-report.txt";
    prefix().Prepare();
    temp_ = prefix().TempFolder();
    // The temporary folder is shared by every test of the prefix; each test
    // uses its own package name so the copies do not meet.
    name_ = std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) + ".exe";
    ClearTemp();
  }
  void TearDown() override { ClearTemp(); }

  virtual WinePrefix& prefix() { return WinePrefix::Default(); }

  void ClearTemp() {
    const std::string stem = name_.substr(0, name_.size() - 4);
    for (const auto& entry : fs::directory_iterator(temp_)) {
      if (entry.path().filename().string().rfind(stem, 0) == 0) fs::remove(entry.path());
    }
  }

  // Writes the package into `folder` under `name` (default: the test's name)
  // and runs it with `arguments` appended to its quoted Windows path.
  WineRun RunPackage(const std::vector<uint8_t>& package, const std::u16string& arguments,
                     std::map<std::string, std::string> env = {}, std::string folder = "",
                     std::string name = "") {
    if (folder.empty()) folder = folder_;
    if (name.empty()) name = name_;
    fs::create_directories(folder);
    package_path_ = folder + "/" + name;
    WriteBytes(package_path_, package);
    WineRunOptions options;
    options.env = std::move(env);
    options.env["TEST_CHILD_REPORT"] = Utf8(WindowsPath(report_));
    std::u16string line = u"\"" + WindowsPath(package_path_) + u"\"";
    if (!arguments.empty()) line += u" " + arguments;
    return prefix().Run(line, options);
  }

  std::vector<uint8_t> ChildPackage(
      const packaging::PackageSettings& settings = AdmitAllWindows()) {
    return BuildPackageBytes(ReadBytes(TestChildImage()), settings);
  }

  // C:\users\<user>\Temp, as Windows programs in the prefix see it.
  std::u16string TempWindowsFolder() {
    return u"C:\\users\\" + Utf16(fs::path(temp_).parent_path().filename().string()) + u"\\Temp";
  }

  std::string folder_, report_, temp_, name_, package_path_;
};

TEST_F(Launch, ChildReceivesTheExactCommandLineAndThePackageFolder) {
  const WineRun run =
      RunPackage(ChildPackage(), u"/S \"my dir\" a\"b c\"d \"\" tab\there \u00e9\u4e2d");
  ASSERT_TRUE(run.started) << run.trace;
  EXPECT_TRUE(run.boxes.empty()) << run.trace;
  EXPECT_EQ(run.exit_code, 0u);
  const std::vector<ChildReport> reports = ReadChildReports(report_);
  ASSERT_EQ(reports.size(), 1u) << run.trace;
  const std::u16string copy = TempWindowsFolder() + u"\\" + Utf16(name_);
  // Arguments re-quoted: only a space makes quotes; the empty pair vanishes
  // and a tab separates.
  EXPECT_EQ(reports[0].at("command_line"),
            Utf8(u"\"" + copy + u"\" \"" + WindowsPath(package_path_) +
                 u"\" /S \"my dir\" \"ab cd\" tab here \u00e9\u4e2d"));
  EXPECT_EQ(reports[0].at("module_path"), Utf8(copy));
  EXPECT_EQ(reports[0].at("current_directory"), Utf8(WindowsPath(folder_)));
  EXPECT_EQ(reports[0].at("arg1"), Utf8(WindowsPath(package_path_)));
  EXPECT_EQ(reports[0].at("arg2"), "/S");
  EXPECT_EQ(reports[0].at("arg3"), "my dir");
  EXPECT_EQ(reports[0].at("arg4"), "ab cd");
}

TEST_F(Launch, PackagePathWithSpacesAndNonAsciiCharacters) {
  const std::string folder = folder_ + "/dir with space \u00fc\u00df \u65e5\u672c";
  const WineRun run = RunPackage(ChildPackage(), u"x", {}, folder, "set up \u00e9.exe");
  ASSERT_TRUE(run.started) << run.trace;
  EXPECT_TRUE(run.boxes.empty()) << run.trace;
  const std::vector<ChildReport> reports = ReadChildReports(report_);
  ASSERT_EQ(reports.size(), 1u) << run.trace;
  EXPECT_EQ(reports[0].at("arg1"), Utf8(WindowsPath(package_path_)));
  EXPECT_EQ(reports[0].at("arg2"), "x");
  EXPECT_EQ(reports[0].at("module_path"), Utf8(TempWindowsFolder() + u"\\set up \u00e9.exe"));
  EXPECT_EQ(reports[0].at("current_directory"), Utf8(WindowsPath(folder)));
  fs::remove(temp_ + "/set up \u00e9.exe");
}

TEST_F(Launch, TakenCopyNamesGetANumber) {
  const std::string stem = name_.substr(0, name_.size() - 4);
  stub::testing::WriteFile(temp_ + "/" + name_, "taken");
  stub::testing::WriteFile(temp_ + "/" + stem + "2.exe", "taken");
  const WineRun run = RunPackage(ChildPackage(), u"");
  ASSERT_TRUE(run.started) << run.trace;
  const std::vector<ChildReport> reports = ReadChildReports(report_);
  ASSERT_EQ(reports.size(), 1u) << run.trace;
  EXPECT_EQ(reports[0].at("module_path"), Utf8(TempWindowsFolder() + u"\\" + Utf16(stem) + u"3.exe"));
  EXPECT_FALSE(fs::exists(temp_ + "/" + stem + "3.exe")) << "the copy is deleted after the child";
  EXPECT_TRUE(fs::exists(temp_ + "/" + name_)) << "other files stay";
}

TEST_F(Launch, ChildsExitCodeIsPassedOnAndTheCopyDeleted) {
  for (uint32_t code : {0u, 1u, 3010u, 1603u, 0xC0000005u}) {
    const WineRun run = RunPackage(ChildPackage(), u"", {{"TEST_CHILD_EXIT_CODE", std::to_string(code)}});
    ASSERT_TRUE(run.started) << run.trace;
    EXPECT_EQ(run.exit_code, code);
    EXPECT_TRUE(run.boxes.empty());
    EXPECT_FALSE(fs::exists(temp_ + "/" + name_)) << code;
  }
}

TEST_F(Launch, DetachedPackageReturnsAtOnceAndKeepsTheCopy) {
  std::vector<uint8_t> package = ChildPackage();
  stub::WriteLe32(&package[stub::kPackageLocatorOffset + 20], static_cast<uint32_t>(package.size()));
  const WineRun run = RunPackage(package, u"", {{"TEST_CHILD_EXIT_CODE", "7"}});
  ASSERT_TRUE(run.started) << run.trace;
  EXPECT_EQ(run.exit_code, 0u) << "the child's code is not waited for";
  EXPECT_TRUE(fs::exists(temp_ + "/" + name_));
}

TEST_F(Launch, TempSwitchChoosesTheFolder) {
  const std::string chosen = folder_ + "/chosen";
  fs::create_directories(chosen);
  const WineRun run = RunPackage(ChildPackage(), u"/temp \"" + WindowsPath(chosen) + u"\" /x");
  ASSERT_TRUE(run.started) << run.trace;
  const std::vector<ChildReport> reports = ReadChildReports(report_);
  ASSERT_EQ(reports.size(), 1u) << run.trace;
  EXPECT_EQ(reports[0].at("module_path"), Utf8(WindowsPath(chosen) + u"\\" + Utf16(name_)));
  EXPECT_NE(reports[0].at("command_line").find(" /temp "), std::string::npos)
      << "the switch is passed on to the child";
  EXPECT_TRUE(FilesIn(chosen).empty()) << "the copy is deleted afterwards";
}

TEST_F(Launch, TempSwitchAsLastArgumentUsesThePackagesFolder) {
  const WineRun run = RunPackage(ChildPackage(), u"/TEMP");
  ASSERT_TRUE(run.started) << run.trace;
  const std::vector<ChildReport> reports = ReadChildReports(report_);
  ASSERT_EQ(reports.size(), 1u) << run.trace;
  const std::string copy_name = name_.substr(0, name_.size() - 4) + "2.exe";  // the package holds the name
  EXPECT_EQ(reports[0].at("module_path"), Utf8(WindowsPath(folder_ + "/" + copy_name)));
  EXPECT_FALSE(fs::exists(folder_ + "/" + copy_name));
}

TEST_F(Launch, UnwritableTempFolderShowsTheTempCopyMessageAndLeavesNothing) {
  struct Case {
    const char* name;
    std::u16string folder;
  };
  const Case cases[] = {
      {"missing folder", WindowsPath(folder_ + "/no/such/folder")},
      {"read-only file system", u"Z:\\proc\\self"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const WineRun run = RunPackage(ChildPackage(), u"/temp \"" + c.folder + u"\"");
    ASSERT_TRUE(run.started) << run.trace;
    EXPECT_EQ(run.exit_code, 82u);
    ASSERT_EQ(run.boxes.size(), 1u) << run.trace;
    EXPECT_EQ(Utf8(run.boxes[0].text), Utf8(FatalMessageText(FatalMessage::kTempCopy)).substr(0, run.boxes[0].text.size()));
    EXPECT_TRUE(run.boxes[0].text_cut);
    EXPECT_EQ(run.boxes[0].caption, WindowsPath(package_path_));
    EXPECT_TRUE(ReadChildReports(report_).empty());
  }
  EXPECT_EQ(FilesIn(folder_), std::vector<std::string>{name_});
}

TEST_F(Launch, PayloadThatIsNotAProgramShowsTheStartFailedMessage) {
  const std::vector<uint8_t> package =
      BuildPackageBytes(stub::testing::SampleBytes(5000), AdmitAllWindows());
  const WineRun run = RunPackage(package, u"");
  ASSERT_TRUE(run.started) << run.trace;
  EXPECT_EQ(run.exit_code, 193u);  // ERROR_BAD_EXE_FORMAT, from the failed start
  ASSERT_EQ(run.boxes.size(), 1u) << run.trace;
  EXPECT_EQ(Utf8(run.boxes[0].text),
            Utf8(FatalMessageText(FatalMessage::kStartFailed)).substr(0, run.boxes[0].text.size()));
}

TEST_F(Launch, SilentSwitchSuppressesEveryBox) {
  std::vector<uint8_t> damaged = ChildPackage();
  damaged[damaged.size() - 10] ^= 1;
  for (const char16_t* silent : {u"/s", u"/SILENT", u"/Silent"}) {
    const WineRun run = RunPackage(damaged, std::u16string(u"a ") + silent);
    ASSERT_TRUE(run.started) << run.trace;
    EXPECT_EQ(run.exit_code, 1392u);
    EXPECT_TRUE(run.boxes.empty()) << Utf8(silent);
  }
  const WineRun loud = RunPackage(damaged, u"/silently");
  EXPECT_EQ(loud.boxes.size(), 1u);
}

TEST_F(Launch, PlantedMprDllBesideThePackageIsNotLoaded) {
  const std::string marker = folder_ + "/planted-dll-was-loaded";
  const std::string dll = std::string(E2E_WIN64_BUILD_DIR) + "/tests/windows/mpr.dll";
  fs::copy_file(dll, folder_ + "/mpr.dll");
  std::map<std::string, std::string> env = {
      {"WINEDLLOVERRIDES", "mscoree,mshtml=;mpr=n,b"},
      {"PLANTED_DLL_MARKER", Utf8(WindowsPath(marker))},
  };

  // Control: a program beside the DLL that loads "mpr.dll" by name picks it up.
  fs::copy_file(TestChildImage(), folder_ + "/naive.exe");
  WineRunOptions control;
  control.env = env;
  control.env["TEST_CHILD_LOAD_LIBRARY"] = "mpr.dll";
  prefix().Run(u"\"" + WindowsPath(folder_ + "/naive.exe") + u"\"", control);
  ASSERT_TRUE(fs::exists(marker)) << "the planted DLL cannot be detected; the test proves nothing";
  fs::remove(marker);

  // The package on a drive path asks mpr.dll for the network name of its path.
  const WineRun run = RunPackage(ChildPackage(), u"", env);
  ASSERT_TRUE(run.started) << run.trace;
  EXPECT_EQ(ReadChildReports(report_).size(), 1u);
  EXPECT_FALSE(fs::exists(marker)) << "the launcher loaded the planted mpr.dll";
}

class LaunchOnWindowsXp : public Launch {
 protected:
  WinePrefix& prefix() override {
    static WinePrefix xp("winxp64", "winxp64");
    return xp;
  }
};

TEST_F(LaunchOnWindowsXp, ChildIsStartedDirectly) {
  const WineRun run = RunPackage(ChildPackage(), u"/s");
  ASSERT_TRUE(run.started) << run.trace;
  EXPECT_TRUE(run.boxes.empty()) << run.trace;
  const std::vector<ChildReport> reports = ReadChildReports(report_);
  ASSERT_EQ(reports.size(), 1u) << run.trace;
  EXPECT_EQ(reports[0].at("current_directory"), Utf8(WindowsPath(folder_)));
  EXPECT_EQ(reports[0].at("command_line").find("/noadmin"), std::string::npos);
}

}  // namespace
}  // namespace e2e
