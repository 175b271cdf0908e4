// SPDX-License-Identifier: Zlib
// sfxpack against the real launcher under Wine: the launcher accepts what
// sfxpack builds, refuses with the very text sfxpack predicts, Windows reads
// the icon and version information sfxpack sets, and sfxpack.exe under Wine
// writes the same bytes as sfxpack on Linux.
#include <gtest/gtest.h>

#include <filesystem>

#include "format/little_endian.h"
#include "tests/e2e/e2e_packages.h"
#include "tests/e2e/wine_harness.h"
#include "tests/support/subprocess.h"
#include "tests/support/test_icons.h"

namespace e2e {
namespace {

namespace fs = std::filesystem;
using stub::testing::ProcessResult;
using stub::testing::RunProcess;

constexpr uint32_t kUnsupportedWindowsExit = 1633;
constexpr uint32_t kDamagedExit = 1392;
constexpr uint32_t kBadExeFormat = 193;

ProcessResult Sfxpack(std::vector<std::string> args) {
  args.insert(args.begin(), E2E_SFXPACK);
  return RunProcess(args);
}

// The message sfxpack verify or gate predicts, from its report.
std::string PredictedMessage(const ProcessResult& result) {
  const std::string marker = ":\n  ";
  const size_t start = result.out.find(marker);
  if (start == std::string::npos) return "";
  const size_t end = result.out.find('\n', start + marker.size());
  return result.out.substr(start + marker.size(), end - start - marker.size());
}

class SfxpackE2e : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = ScratchFolder();
    inner_ = folder_ + "/inner.exe";
    WriteBytes(inner_, ReadBytes(TestChildImage()));
  }

  std::string Build(const std::string& name, std::vector<std::string> options) {
    const std::string output = folder_ + "/" + name;
    options.insert(options.begin(), {"build", "-q", "--inner", inner_, "-o", output});
    const ProcessResult result = Sfxpack(options);
    EXPECT_EQ(result.status, 0) << result.err;
    return output;
  }

  WineRun RunPackage(const std::string& path) {
    WineRunOptions options;
    options.env["TEST_CHILD_REPORT"] = Utf8(WindowsPath(folder_ + "/child-report.txt"));
    return WinePrefix::Default().Run(u"\"" + WindowsPath(path) + u"\" /x", options);
  }

  // Runs `package` under Wine and expects it to end with `exit_code` after the
  // one message that sfxpack's `prediction` names. Wine's trace cuts long
  // texts, so the beginning of the predicted text must match what it shows,
  // which is returned.
  std::string ExpectRunAsPredicted(const std::string& package, const ProcessResult& prediction,
                                   uint32_t exit_code) {
    const WineRun run = RunPackage(package);
    EXPECT_TRUE(run.started) << run.trace;
    EXPECT_EQ(run.exit_code, exit_code);
    EXPECT_EQ(run.boxes.size(), 1u) << run.trace;
    if (run.boxes.empty()) return "";
    const std::string shown = Utf8(run.boxes[0].text);
    EXPECT_EQ(PredictedMessage(prediction).substr(0, shown.size()), shown);
    return shown;
  }

  std::string folder_, inner_;
};

TEST_F(SfxpackE2e, LauncherAcceptsPackagesBuiltBySfxpack) {
  WriteBytes(folder_ + "/data.bin", std::vector<uint8_t>(5000, 'd'));
  const std::string package =
      Build("setup.exe", {"--os", "all", "--data", folder_ + "/data.bin", "--elevation", "runas"});
  ASSERT_EQ(Sfxpack({"verify", package}).status, 0);
  const WineRun run = RunPackage(package);
  ASSERT_TRUE(run.started) << run.trace;
  EXPECT_TRUE(run.boxes.empty()) << Utf8(run.boxes.empty() ? u"" : run.boxes[0].text);
  EXPECT_EQ(run.exit_code, 0u) << run.trace;
  // The inner program ran, with the package's path first.
  std::string report;
  ASSERT_TRUE(stub::testing::ReadFile(folder_ + "/child-report.txt", report)) << run.trace;
  EXPECT_NE(report.find("arg1=" + Utf8(WindowsPath(package))), std::string::npos) << report;
  EXPECT_NE(report.find("arg2=/x"), std::string::npos) << report;
}

TEST_F(SfxpackE2e, WindowsReadsThePackagesIdentityAndTheInnerProgramStillRuns) {
  // Windows picks the 32x32 PNG for 32 pixels, and must decode it.
  WriteBytes(folder_ + "/app.ico", stub::testing::MakeTestIcon(32));
  const std::string package = Build(
      "setup.exe", {"--icon", folder_ + "/app.ico", "--file-version", "3.1.4.1", "--product-version",
                    "3.1", "--company-name", "Example \xE2\x82\xAC Ltd", "--file-description",
                    "Example Setup", "--version-string", "Comments=nightly"});
  const std::string report = folder_ + "/identity.txt";
  const WineRun probe = WinePrefix::Default().Run(
      u"\"" + WindowsPath(std::string(E2E_WIN64_BUILD_DIR) + "/tests/windows/identity_probe.exe") +
      u"\" \"" + WindowsPath(package) + u"\" \"" + WindowsPath(report) +
      u"\" CompanyName FileDescription FileVersion ProductVersion OriginalFilename Comments");
  ASSERT_TRUE(probe.started) << probe.trace;
  std::string text;
  ASSERT_TRUE(stub::testing::ReadFile(report, text)) << probe.trace;
  EXPECT_EQ(text,
            "file_version=3.1.4.1\nproduct_version=3.1.0.0\ntranslation=040904B0\n"
            "string.CompanyName=Example \xE2\x82\xAC Ltd\nstring.FileDescription=Example Setup\n"
            "string.FileVersion=3.1.4.1\nstring.ProductVersion=3.1.0.0\n"
            "string.OriginalFilename=setup.exe\nstring.Comments=nightly\n"
            "icon_group=2\nicon.1=1128\nicon.2=" +
                std::to_string(ReadBytes(folder_ + "/app.ico").size() - 38 - 1128) +
                "\nicon_32=2\nicon_created=1\nend\n");

  const WineRun run = RunPackage(package);
  ASSERT_TRUE(run.started) << run.trace;
  EXPECT_EQ(run.exit_code, 0u) << run.trace;
  std::string child;
  EXPECT_TRUE(stub::testing::ReadFile(folder_ + "/child-report.txt", child)) << run.trace;
  EXPECT_NE(child.find("arg2=/x"), std::string::npos) << child;
}

TEST_F(SfxpackE2e, GateAndVerifyPredictTheLaunchersMessage) {
  // Wine reports Windows 10.0; a package for XP only is refused there.
  const std::string refused = Build("xp-only.exe", {"--os", "xp", "--message", "Not for %USER%."});
  const ProcessResult gate = Sfxpack({"gate", refused, "--windows", "10.0"});
  EXPECT_EQ(gate.status, static_cast<int>(kUnsupportedWindowsExit % 256)) << gate.out;
  EXPECT_EQ(ExpectRunAsPredicted(refused, gate, kUnsupportedWindowsExit), "Not for Windows 10.");
  EXPECT_EQ(PredictedMessage(gate), "Not for Windows 10.");

  std::vector<uint8_t> damaged = ReadBytes(Build("damaged.exe", {}));
  damaged[stub::ReadLe32(&damaged[128]) + 100] ^= 0x10;
  WriteBytes(folder_ + "/damaged.exe", damaged);
  const ProcessResult verify = Sfxpack({"verify", folder_ + "/damaged.exe"});
  EXPECT_EQ(verify.status, static_cast<int>(kDamagedExit % 256)) << verify.out;
  EXPECT_GT(ExpectRunAsPredicted(folder_ + "/damaged.exe", verify, kDamagedExit).size(), 100u);

  // An inner program Windows cannot start: the launcher's start of the copy fails.
  WriteBytes(folder_ + "/text.exe", {'n', 'o', 't', ' ', 'a', ' ', 'p', 'r', 'o', 'g', 'r', 'a', 'm'});
  const std::string not_a_program = folder_ + "/not-a-program.exe";
  ASSERT_EQ(Sfxpack({"build", "-q", "--inner", folder_ + "/text.exe", "-o", not_a_program,
                     "--allow-any-inner"})
                .status,
            0);
  const ProcessResult start = Sfxpack({"verify", not_a_program});
  EXPECT_EQ(start.status, static_cast<int>(kBadExeFormat)) << start.out;
  EXPECT_GT(ExpectRunAsPredicted(not_a_program, start, kBadExeFormat).size(), 100u);
}

TEST_F(SfxpackE2e, SfxpackExeUnderWineWritesTheSameBytes) {
  ASSERT_TRUE(fs::exists(E2E_SFXPACK_EXE)) << E2E_SFXPACK_EXE;
  WriteBytes(folder_ + "/data.bin", std::vector<uint8_t>(3000, 'x'));
  std::vector<std::string> options = {
      "--os", "7,8,8.1,10,newer", "--min-release", "1507", "--max-release", "9999",
      "--elevation", "noadmin", "--message", "N\xC3\xA9 \xE2\x82\xAC %USER%", "--preset", "6"};
  // The identity too; OriginalFilename would otherwise name each output file.
  WriteBytes(folder_ + "/app.ico", stub::testing::MakeTestIcon());
  options.insert(options.end(), {"--file-version", "1.2.3.4", "--product-name", "Pr\xC3\xB6" "duct",
                                 "--version-string", "Comments=same", "--original-filename", "setup.exe"});
  std::vector<std::string> linux_options = options;
  linux_options.insert(linux_options.end(), {"--icon", folder_ + "/app.ico"});
  const std::string linux_package = Build("linux.exe", linux_options);
  std::u16string command = u"\"" + WindowsPath(E2E_SFXPACK_EXE) + u"\" build -q --inner \"" +
                           WindowsPath(inner_) + u"\" -o \"" + WindowsPath(folder_ + "/windows.exe") +
                           u"\" --icon \"" + WindowsPath(folder_ + "/app.ico") + u"\"";
  for (const std::string& option : options) command += u" \"" + Utf16(option) + u"\"";
  const WineRun run = WinePrefix::Default().Run(command);
  ASSERT_TRUE(run.started) << run.trace;
  EXPECT_EQ(run.exit_code, 0u) << run.trace;
  EXPECT_TRUE(ReadBytes(folder_ + "/windows.exe") == ReadBytes(linux_package));
  // An .xz stream too, from a Windows liblzma on another number of threads.
  const std::string linux_xz = Build("linux-xz.exe", {"--method", "xz", "--threads", "2"});
  const WineRun xz = WinePrefix::Default().Run(
      u"\"" + WindowsPath(E2E_SFXPACK_EXE) + u"\" build -q --inner \"" + WindowsPath(inner_) +
      u"\" -o \"" + WindowsPath(folder_ + "/windows-xz.exe") + u"\" --method xz --threads 1");
  ASSERT_TRUE(xz.started) << xz.trace;
  EXPECT_EQ(xz.exit_code, 0u) << xz.trace;
  EXPECT_TRUE(ReadBytes(folder_ + "/windows-xz.exe") == ReadBytes(linux_xz));

  const WineRun extract = WinePrefix::Default().Run(
      u"\"" + WindowsPath(E2E_SFXPACK_EXE) + u"\" extract \"" + WindowsPath(linux_package) +
      u"\" -o \"" + WindowsPath(folder_ + "/extracted.exe") + u"\"");
  ASSERT_TRUE(extract.started) << extract.trace;
  EXPECT_EQ(extract.exit_code, 0u) << extract.trace;
  EXPECT_TRUE(ReadBytes(folder_ + "/extracted.exe") == ReadBytes(inner_));

  // sfxpack.exe's verify under Wine agrees, and reports the full 32-bit code.
  std::vector<uint8_t> cut = ReadBytes(linux_package);
  cut.pop_back();
  WriteBytes(folder_ + "/cut.exe", cut);
  const WineRun verify = WinePrefix::Default().Run(
      u"\"" + WindowsPath(E2E_SFXPACK_EXE) + u"\" verify \"" + WindowsPath(folder_ + "/cut.exe") + u"\"");
  ASSERT_TRUE(verify.started) << verify.trace;
  EXPECT_EQ(verify.exit_code, 38u);
  WriteBytes(folder_ + "/xp-only.exe", ReadBytes(Build("xp.exe", {"--os", "xp"})));
  const WineRun gate = WinePrefix::Default().Run(u"\"" + WindowsPath(E2E_SFXPACK_EXE) +
                                                 u"\" gate \"" + WindowsPath(folder_ + "/xp-only.exe") +
                                                 u"\" --windows 6.1");
  ASSERT_TRUE(gate.started) << gate.trace;
  EXPECT_EQ(gate.exit_code, kUnsupportedWindowsExit);
}

// On Windows, as on Linux, sfxpack.exe writes only regular files and never
// over its input: devices by name and by kind, and the input under another
// name, which only the volume serial number and file index tell. An exit
// code file may be a device. It reads only regular files.
TEST_F(SfxpackE2e, SfxpackExeRefusesDevicesAndItsInput) {
  ASSERT_TRUE(fs::exists(E2E_SFXPACK_EXE)) << E2E_SFXPACK_EXE;
  const std::vector<uint8_t> inner = ReadBytes(inner_);
  const std::u16string build = u"\"" + WindowsPath(E2E_SFXPACK_EXE) + u"\" build -q --inner \"" +
                               WindowsPath(inner_) + u"\" -o ";
  for (const std::u16string& output :
       {std::u16string(u"NUL"), std::u16string(u"CON"), u"\"" + WindowsPath(folder_) + u"\\nul.exe\"",
        u"\"" + WindowsPath(inner_) + u"\"",
        u"\"" + WindowsPath(folder_) + u"\\.\\INNER.EXE\""}) {
    const WineRun run = WinePrefix::Default().Run(build + output);
    ASSERT_TRUE(run.started) << run.trace;
    EXPECT_EQ(run.exit_code, 2u) << Utf8(output) << "\n" << run.trace;
  }
  EXPECT_TRUE(ReadBytes(inner_) == inner);
  // Nor does it read anything but a regular file: a device, a folder.
  const std::u16string to_setup = u"\"" + WindowsPath(folder_ + "/setup.exe") + u"\"";
  for (const std::u16string& input :
       {u"--inner NUL -o " + to_setup, u"--inner CON -o " + to_setup,
        u"--inner \"" + WindowsPath(inner_) + u"\" -o " + to_setup + u" --data \"" +
            WindowsPath(folder_) + u"\""}) {
    const WineRun run = WinePrefix::Default().Run(u"\"" + WindowsPath(E2E_SFXPACK_EXE) +
                                                  u"\" build -q " + input);
    ASSERT_TRUE(run.started) << run.trace;
    EXPECT_EQ(run.exit_code, 1u) << Utf8(input) << "\n" << run.trace;
    EXPECT_FALSE(fs::exists(folder_ + "/setup.exe")) << Utf8(input);
  }
  const std::string package = Build("setup.exe", {});
  const WineRun verify = WinePrefix::Default().Run(u"\"" + WindowsPath(E2E_SFXPACK_EXE) +
                                                   u"\" verify \"" + WindowsPath(package) +
                                                   u"\" --exit-code-file NUL");
  ASSERT_TRUE(verify.started) << verify.trace;
  EXPECT_EQ(verify.exit_code, 0u) << verify.trace;
}

// sfxpack.exe runs the sign command through cmd: here a "signing tool" that
// copies a package signed on Linux from the same inputs over {file}, which
// then replaces the output; a command that fails leaves no output.
TEST_F(SfxpackE2e, SfxpackExeSignsThroughCmd) {
  ASSERT_TRUE(fs::exists(E2E_SFXPACK_EXE)) << E2E_SFXPACK_EXE;
  if (RunProcess({"sh", "-c", "command -v osslsigncode && command -v openssl"}).status != 0) {
    GTEST_SKIP() << "osslsigncode or openssl is missing";
  }
  const std::string unsigned_package = Build("linux.exe", {});
  ASSERT_EQ(RunProcess({"openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                        "-subj", "/CN=sfxpack test", "-keyout", folder_ + "/key.pem", "-out",
                        folder_ + "/cert.pem"})
                .status,
            0);
  ASSERT_EQ(RunProcess({"osslsigncode", "sign", "-certs", folder_ + "/cert.pem", "-key",
                        folder_ + "/key.pem", "-in", unsigned_package, "-out",
                        folder_ + "/signed.exe"})
                .status,
            0);
  const std::u16string build = u"\"" + WindowsPath(E2E_SFXPACK_EXE) + u"\" build -q --inner \"" +
                               WindowsPath(inner_) + u"\" -o \"" +
                               WindowsPath(folder_ + "/windows.exe") + u"\" --sign-command ";
  const WineRun copied = WinePrefix::Default().Run(
      build + u"\"copy /y \"\"" + WindowsPath(folder_ + "/signed.exe") + u"\"\" {file}\"");
  ASSERT_TRUE(copied.started) << copied.trace;
  EXPECT_EQ(copied.exit_code, 0u) << copied.trace;
  EXPECT_TRUE(ReadBytes(folder_ + "/windows.exe") == ReadBytes(folder_ + "/signed.exe"));
  fs::remove(folder_ + "/windows.exe");
  const WineRun failed = WinePrefix::Default().Run(build + u"\"exit /b 3 & rem {file}\"");
  ASSERT_TRUE(failed.started) << failed.trace;
  EXPECT_EQ(failed.exit_code, 1u) << failed.trace;
  EXPECT_FALSE(fs::exists(folder_ + "/windows.exe"));
}

// The temporary file that a build ended by TerminateProcess leaves goes with
// the next build to the same output: only a file of that output's name whose
// process Windows does not know.
TEST_F(SfxpackE2e, SfxpackExeRemovesStaleTemporaryFiles) {
  ASSERT_TRUE(fs::exists(E2E_SFXPACK_EXE)) << E2E_SFXPACK_EXE;
  const std::string gone = "2147483644";  // above every process id Windows hands out
  const std::vector<std::pair<std::string, bool>> planted = {
      {".setup.exe.sfxpack-" + gone + "-0", true},
      {".other.exe.sfxpack-" + gone + "-0", false},
      {".setup.exe.sfxpack-" + gone + "-0.bak", false},
  };
  for (const auto& [name, removed] : planted) WriteBytes(folder_ + "/" + name, {1});
  fs::create_directory(folder_ + "/.setup.exe.sfxpack-" + gone + "-1");
  const WineRun run = WinePrefix::Default().Run(u"\"" + WindowsPath(E2E_SFXPACK_EXE) +
                                                u"\" build -q --inner \"" + WindowsPath(inner_) +
                                                u"\" -o \"" + WindowsPath(folder_ + "/setup.exe") +
                                                u"\"");
  ASSERT_TRUE(run.started) << run.trace;
  EXPECT_EQ(run.exit_code, 0u) << run.trace;
  for (const auto& [name, removed] : planted) {
    EXPECT_EQ(fs::exists(folder_ + "/" + name), !removed) << name;
  }
  EXPECT_TRUE(fs::is_directory(folder_ + "/.setup.exe.sfxpack-" + gone + "-1"));
}

}  // namespace
}  // namespace e2e
