// SPDX-License-Identifier: Zlib
// A real package, built by our writer, starts its inner program under Wine the
// way the inner program relies on: the command line, the current folder, the
// temporary copy's private folder and name, the clean-up and the exit codes.
//
// Wine runs everything as an administrator, so the child is always started
// directly; the shell path is covered by the unit tests.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <thread>

#include "format/little_endian.h"
#include "format/package_records.h"
#include "launcher/fatal_messages.h"
#include "tests/e2e/e2e_packages.h"
#include "tests/e2e/wine_harness.h"
#include "tests/support/fatal_texts.h"
#include "tests/support/subprocess.h"
#include "tests/support/test_images.h"

namespace e2e {
namespace {

namespace fs = std::filesystem;
using stub::FatalMessage;
using stub::testing::FatalMessageText;

using ChildReport = std::map<std::string, std::string>;

// The reports test_child.exe appended, one per start.
std::vector<ChildReport> ReadChildReports(const std::string& path) {
  std::string text;
  stub::testing::ReadFile(path, text);
  std::vector<ChildReport> reports(1);
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
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

// The name of the private folder the child ran from, after checking that its
// copy lay under `copy_name` in a folder of 16 hexadecimal digits directly
// inside `parent` (a Windows path). Empty, and the test failed, otherwise.
std::string PrivateFolder(const ChildReport& report, const std::u16string& parent,
                          const std::string& copy_name) {
  static const std::regex kFolderAndName("([0-9a-f]{16})\\\\(.+)");
  const std::string module = report.at("module_path");
  const std::string prefix = Utf8(parent) + "\\";
  std::smatch match;
  const std::string rest = module.rfind(prefix, 0) == 0 ? module.substr(prefix.size()) : "";
  if (!std::regex_match(rest, match, kFolderAndName) || match[2] != copy_name) {
    ADD_FAILURE() << module << " is not " << prefix << "<16 hex digits>\\" << copy_name;
    return "";
  }
  return match[1];
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

  // After a control run that loaded the DLL which writes `marker` when it is
  // loaded: the package, run with `env`, starts its child and loads no such
  // DLL (`culprit` names who would have).
  void ExpectPlantedDllUnused(const std::string& marker,
                              const std::map<std::string, std::string>& env, const char* culprit) {
    ASSERT_TRUE(fs::exists(marker))
        << "the planted DLL cannot be detected; the test proves nothing";
    fs::remove(marker);
    const WineRun run = RunPackage(ChildPackage(), u"", env);
    ASSERT_TRUE(run.started) << run.trace;
    EXPECT_EQ(ReadChildReports(report_).size(), 1u);
    EXPECT_FALSE(fs::exists(marker)) << culprit << " loaded the planted DLL";
  }

  // C:\users\<user>\Temp, as Windows programs in the prefix see it.
  std::u16string TempWindowsFolder() {
    return u"C:\\users\\" + Utf16(fs::path(temp_).parent_path().filename().string()) + u"\\Temp";
  }

  std::string folder_, report_, temp_, name_, package_path_;
};

TEST_F(Launch, ChildReceivesTheExactCommandLineAndThePackageFolder) {
  const std::vector<std::string> before = FilesIn(temp_);
  const WineRun run =
      RunPackage(ChildPackage(), u"/S \"my dir\" a\"b c\"d \"\" tab\there \u00e9\u4e2d");
  ASSERT_TRUE(run.started) << run.trace;
  EXPECT_TRUE(run.boxes.empty()) << run.trace;
  EXPECT_EQ(run.exit_code, 0u);
  const std::vector<ChildReport> reports = ReadChildReports(report_);
  ASSERT_EQ(reports.size(), 1u) << run.trace;
  const std::string folder = PrivateFolder(reports[0], TempWindowsFolder(), name_);
  ASSERT_FALSE(folder.empty());
  EXPECT_EQ(std::count(before.begin(), before.end(), folder), 0) << "a folder made by the run";
  EXPECT_FALSE(fs::exists(temp_ + "/" + folder)) << "and removed after it";
  const std::u16string copy = TempWindowsFolder() + u"\\" + Utf16(folder) + u"\\" + Utf16(name_);
  // Arguments re-quoted: only a space makes quotes; the empty pair vanishes
  // and a tab separates.
  EXPECT_EQ(reports[0].at("command_line"),
            Utf8(u"\"" + copy + u"\" \"" + WindowsPath(package_path_) +
                 u"\" /S \"my dir\" \"ab cd\" tab here \u00e9\u4e2d"));
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
  EXPECT_FALSE(PrivateFolder(reports[0], TempWindowsFolder(), "set up \u00e9.exe").empty());
  EXPECT_EQ(reports[0].at("current_directory"), Utf8(WindowsPath(folder)));
}

// Whatever lies in the temporary folder under the copy's name stays as it is:
// the copy is made in the run's own folder.
TEST_F(Launch, NamesTakenInTheTemporaryFolderAreLeftAlone) {
  stub::testing::WriteFile(temp_ + "/" + name_, "taken");
  const WineRun run = RunPackage(ChildPackage(), u"");
  ASSERT_TRUE(run.started) << run.trace;
  const std::vector<ChildReport> reports = ReadChildReports(report_);
  ASSERT_EQ(reports.size(), 1u) << run.trace;
  EXPECT_FALSE(PrivateFolder(reports[0], TempWindowsFolder(), name_).empty());
  std::string contents;
  stub::testing::ReadFile(temp_ + "/" + name_, contents);
  EXPECT_EQ(contents, "taken");
}

TEST_F(Launch, ChildsExitCodeIsPassedOnAndEachRunsFolderRemoved) {
  std::set<std::string> folders;
  for (uint32_t code : {0u, 1u, 3010u, 1603u, 0xC0000005u}) {
    const WineRun run = RunPackage(ChildPackage(), u"", {{"TEST_CHILD_EXIT_CODE", std::to_string(code)}});
    ASSERT_TRUE(run.started) << run.trace;
    EXPECT_EQ(run.exit_code, code);
    EXPECT_TRUE(run.boxes.empty());
    const std::vector<ChildReport> reports = ReadChildReports(report_);
    ASSERT_EQ(reports.size(), folders.size() + 1) << run.trace;
    const std::string folder = PrivateFolder(reports.back(), TempWindowsFolder(), name_);
    EXPECT_FALSE(fs::exists(temp_ + "/" + folder)) << code;
    folders.insert(folder);
  }
  EXPECT_EQ(folders.size(), 5u) << "every run makes a folder of its own";
}

TEST_F(Launch, DetachedPackageReturnsAtOnceAndKeepsTheCopy) {
  std::vector<uint8_t> package = ChildPackage();
  stub::WriteLe32(&package[stub::kPackageLocatorOffset + 20], static_cast<uint32_t>(package.size()));
  const WineRun run = RunPackage(package, u"", {{"TEST_CHILD_EXIT_CODE", "7"}});
  ASSERT_TRUE(run.started) << run.trace;
  EXPECT_EQ(run.exit_code, 0u) << "the child's code is not waited for";
  std::vector<ChildReport> reports;
  for (int tries = 0; tries < 300 && reports.empty(); ++tries) {  // the child may still start
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    reports = ReadChildReports(report_);
  }
  ASSERT_EQ(reports.size(), 1u) << run.trace;
  const std::string folder = PrivateFolder(reports[0], TempWindowsFolder(), name_);
  ASSERT_FALSE(folder.empty());
  EXPECT_TRUE(fs::exists(temp_ + "/" + folder + "/" + name_));
  fs::remove_all(temp_ + "/" + folder);
}

// The private folder goes with whatever the inner program left in it. A link
// in it is never followed: what it points to stays. (Wine sees a Unix
// symbolic link to a folder as a reparse point, as Windows does a junction,
// but cannot remove it: its RemoveDirectoryW looks into the target for
// emptiness. So the link itself may stay here.)
TEST_F(Launch, PrivateFolderIsRemovedWithWhatTheChildLeftButNoLinkIsFollowed) {
  const std::string outside = folder_ + "/outside";
  fs::create_directories(outside);
  stub::testing::WriteFile(outside + "/keep.txt", "keep");
  for (const bool link : {false, true}) {
    SCOPED_TRACE(link ? "with a link to a folder outside" : "files and a folder");
    fs::remove(report_);
    std::map<std::string, std::string> env = {{"TEST_CHILD_LEAVE_FILES", "1"}};
    if (link) env["TEST_CHILD_SLEEP_MS"] = "3000";
    WineRun run;
    std::thread launcher([&] { run = RunPackage(ChildPackage(), u"", env); });
    std::vector<ChildReport> reports;
    for (int tries = 0; tries < 600 && reports.empty(); ++tries) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      reports = ReadChildReports(report_);
    }
    const std::string folder = reports.size() == 1
                                   ? temp_ + "/" + PrivateFolder(reports[0], TempWindowsFolder(), name_)
                                   : std::string();
    if (link && !folder.empty()) fs::create_directory_symlink(outside, folder + "/link");
    launcher.join();
    ASSERT_TRUE(run.started) << run.trace;
    EXPECT_EQ(run.exit_code, 0u);
    ASSERT_FALSE(folder.empty()) << run.trace;
    EXPECT_TRUE(fs::exists(outside + "/keep.txt"));
    if (link && fs::exists(folder)) {
      EXPECT_EQ(FilesIn(folder), std::vector<std::string>{"link"});
      fs::remove_all(folder);
    }
    EXPECT_FALSE(fs::exists(folder));
  }
}

TEST_F(Launch, TempSwitchChoosesTheFolder) {
  const std::string chosen = folder_ + "/chosen";
  fs::create_directories(chosen);
  const WineRun run = RunPackage(ChildPackage(), u"/temp \"" + WindowsPath(chosen) + u"\" /x");
  ASSERT_TRUE(run.started) << run.trace;
  const std::vector<ChildReport> reports = ReadChildReports(report_);
  ASSERT_EQ(reports.size(), 1u) << run.trace;
  EXPECT_FALSE(PrivateFolder(reports[0], WindowsPath(chosen), name_).empty());
  EXPECT_NE(reports[0].at("command_line").find(" /temp "), std::string::npos)
      << "the switch is passed on to the child";
  EXPECT_TRUE(FilesIn(chosen).empty()) << "the copy and its folder are removed afterwards";
}

// Windows starts a program from a path of at most 259 code units, and so does
// Wine. A "/temp" folder too long for the copy's path fails before anything is
// written.
TEST_F(Launch, TempFolderTooLongForTheCopysPathFailsBeforeAnythingIsWritten) {
  const std::string name = "s.exe";
  for (const size_t copy_length : {259u, 260u}) {
    SCOPED_TRACE(copy_length);
    fs::remove(report_);
    // The copy's path: the folder, a backslash, 16 digits, a backslash, the name.
    const size_t folder_length = copy_length - 18 - name.size();
    const size_t base_length = WindowsPath(folder_).size() + 1;
    ASSERT_LT(base_length, folder_length) << "the work folder's path is too long for this test";
    const std::string chosen = folder_ + "/" + std::string(folder_length - base_length, 'd');
    fs::create_directories(chosen);
    const WineRun run = RunPackage(ChildPackage(), u"/temp \"" + WindowsPath(chosen) + u"\"", {}, "", name);
    ASSERT_TRUE(run.started) << run.trace;
    if (copy_length == 259) {
      EXPECT_EQ(run.exit_code, 0u) << run.trace;
      EXPECT_EQ(ReadChildReports(report_).size(), 1u);
    } else {
      EXPECT_EQ(run.exit_code, 82u) << run.trace;
      ASSERT_EQ(run.boxes.size(), 1u) << run.trace;
      EXPECT_EQ(Utf8(run.boxes[0].text),
                Utf8(FatalMessageText(FatalMessage::kTempCopy)).substr(0, run.boxes[0].text.size()));
      EXPECT_TRUE(ReadChildReports(report_).empty());
    }
    EXPECT_TRUE(FilesIn(chosen).empty());
  }
}

TEST_F(Launch, TempSwitchAsLastArgumentUsesThePackagesFolder) {
  const WineRun run = RunPackage(ChildPackage(), u"/TEMP");
  ASSERT_TRUE(run.started) << run.trace;
  const std::vector<ChildReport> reports = ReadChildReports(report_);
  ASSERT_EQ(reports.size(), 1u) << run.trace;
  // The package beside it holds the name, but not in the copy's own folder.
  EXPECT_FALSE(PrivateFolder(reports[0], WindowsPath(folder_), name_).empty());
  std::vector<std::string> expected = {"child-report.txt", name_};
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(FilesIn(folder_), expected);
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

  // The package on a drive path asks mpr.dll for the network name of its path.
  ExpectPlantedDllUnused(marker, env, "the launcher");
}

TEST_F(Launch, TenLaunchersOfOnePackageAtOnceRunFromDistinctCopies) {
  constexpr int kLaunchers = 10;
  package_path_ = folder_ + "/" + name_;
  WriteBytes(package_path_, ChildPackage());
  std::vector<WineRun> runs(kLaunchers);
  std::vector<std::thread> launchers;
  for (int i = 0; i < kLaunchers; ++i) {
    launchers.emplace_back([this, i, &runs] {
      WineRunOptions options;
      options.env["TEST_CHILD_REPORT"] =
          Utf8(WindowsPath(folder_ + "/report-" + std::to_string(i) + ".txt"));
      options.env["TEST_CHILD_SLEEP_MS"] = "2000";  // the children's runs overlap
      runs[i] = prefix().Run(u"\"" + WindowsPath(package_path_) + u"\"", options);
    });
  }
  for (std::thread& launcher : launchers) launcher.join();
  std::set<std::string> folders;
  for (int i = 0; i < kLaunchers; ++i) {
    SCOPED_TRACE(i);
    ASSERT_TRUE(runs[i].started) << runs[i].trace;
    EXPECT_EQ(runs[i].exit_code, 0u);
    const std::vector<ChildReport> reports =
        ReadChildReports(folder_ + "/report-" + std::to_string(i) + ".txt");
    ASSERT_EQ(reports.size(), 1u) << runs[i].trace;
    folders.insert(PrivateFolder(reports[0], TempWindowsFolder(), name_));
  }
  EXPECT_EQ(folders.size(), static_cast<size_t>(kLaunchers));
  for (const std::string& folder : folders) {
    EXPECT_FALSE(fs::exists(temp_ + "/" + folder)) << folder;
  }
}

// A program's own folder comes first in its DLL search. A DLL left in the
// temporary folder, under a name the inner program loads, must not reach it.
TEST_F(Launch, DllPlantedInTheTemporaryFolderIsNotLoadedByTheChild) {
  const std::string stem = name_.substr(0, name_.size() - 4);
  const std::string probe = stem + ".dll";  // no DLL of Wine's has this name
  const std::string marker = folder_ + "/planted-dll-was-loaded";
  fs::copy_file(std::string(E2E_WIN64_BUILD_DIR) + "/tests/windows/mpr.dll", temp_ + "/" + probe);
  std::map<std::string, std::string> env = {
      {"PLANTED_DLL_MARKER", Utf8(WindowsPath(marker))},
      {"TEST_CHILD_LOAD_LIBRARY", probe},
  };

  // Control: the child run from the temporary folder itself picks the DLL up.
  fs::copy_file(TestChildImage(), temp_ + "/" + stem + "-naive.exe");
  WineRunOptions control;
  control.env = env;
  control.env["TEST_CHILD_REPORT"] = Utf8(WindowsPath(folder_ + "/control-report.txt"));
  prefix().Run(u"\"" + TempWindowsFolder() + u"\\" + Utf16(stem) + u"-naive.exe\"", control);

  ExpectPlantedDllUnused(marker, env, "the child");
}

// The private folder's access list as the child reads it. Windows keeps the
// list as the launcher set it. Wine turns it into Unix permission bits (no
// access for other Unix users: the folder's mode is 0750) and reads back a
// list made from those bits: full control for SYSTEM and the owner, no
// protection flag, no Administrators entry. A folder made without the list
// would give Everyone read access in either.
TEST_F(Launch, PrivateFolderAccessList) {
  const WineRun run = RunPackage(ChildPackage(), u"");
  ASSERT_TRUE(run.started) << run.trace;
  const std::vector<ChildReport> reports = ReadChildReports(report_);
  ASSERT_EQ(reports.size(), 1u) << run.trace;
  const std::string user = reports[0].at("user_sid");
  ASSERT_EQ(user.rfind("S-1-5-", 0), 0u) << user;
  const std::string as_set = "D:P(A;OICI;FA;;;" + user + ")(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";
  const std::string from_unix_bits = "D:(A;OICI;FA;;;SY)(A;OICI;FA;;;" + user + ")";
  const std::string dacl = reports[0].at("folder_dacl");
  EXPECT_TRUE(dacl == as_set || dacl == from_unix_bits) << dacl;
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
