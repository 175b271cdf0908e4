// SPDX-License-Identifier: Zlib
// The Windows version gate of the real launcher image under Wine: each Windows
// version Wine can report, admitted and refused by the package's OsMask, the
// Windows 10 release id read from the registry, and the build limits of the
// extension record on Windows 10, 11 and a server, with their names, in
// packages sfxpack builds and whose outcome sfxpack gate predicts.
//
// The Windows version belongs to a whole Wine prefix, so every version has a
// prefix of its own ("winecfg -v" writes the version into the prefix's
// registry), and the release-id cases, which change the registry, have one
// more. A test runs alone in its prefix, so the prefix's temporary folder
// shows exactly what the launcher wrote.
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <set>

#include "format/little_endian.h"
#include "format/package_extension.h"
#include "format/package_records.h"
#include "launcher/fatal_messages.h"
#include "tests/e2e/e2e_packages.h"
#include "tests/e2e/wine_harness.h"
#include "tests/support/fatal_texts.h"
#include "tests/support/package_builder.h"
#include "tests/support/subprocess.h"

namespace e2e {
namespace {

namespace fs = std::filesystem;

constexpr uint32_t kUnsupportedWindowsExit = 1633;
constexpr uint32_t kDamagedExit = 1392;
constexpr uint32_t kMbIconError = 0x10;
constexpr uint64_t kAllBits = ~uint64_t{0};
constexpr uint64_t Bit(int n) { return uint64_t{1} << n; }

constexpr char16_t kMessage[] = u"This package needs another Windows, not %USER% (%user%).";

std::u16string ShownMessage(const std::u16string& os_name) {
  return u"This package needs another Windows, not " + os_name + u" (" + os_name + u").";
}

std::set<std::string> FolderEntries(const std::string& folder) {
  std::set<std::string> entries;
  if (!fs::is_directory(folder)) return entries;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    entries.insert(entry.path().string());
  }
  return entries;
}

class VersionGateE2e : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = ScratchFolder();
    inner_ = ReadBytes(TestChildImage());
  }

  packaging::PackageSettings Settings(uint64_t os_mask, uint16_t min_release_id = 0,
                                      uint16_t max_release_id = 0xFFFF) {
    packaging::PackageSettings settings;
    settings.os_mask = os_mask;
    settings.min_release_id = min_release_id;
    settings.max_release_id = max_release_id;
    settings.message = kMessage;
    return settings;
  }

  // Writes `bytes` as setup.exe and runs it in `prefix` with `arguments`.
  WineRun RunPackage(WinePrefix& prefix, const std::vector<uint8_t>& bytes,
                     const std::u16string& arguments = u"") {
    path_ = folder_ + "/setup.exe";
    WriteBytes(path_, bytes);
    WineRunOptions options;
    options.env["TEST_CHILD_REPORT"] = Utf8(WindowsPath(folder_ + "/child-report.txt"));
    return prefix.Run(u"\"" + WindowsPath(path_) + u"\"" + arguments, options);
  }

  void ExpectRefused(const WineRun& run, const std::u16string& shown) {
    ASSERT_TRUE(run.started) << run.trace;
    EXPECT_EQ(run.exit_code, kUnsupportedWindowsExit);
    ASSERT_EQ(run.boxes.size(), 1u) << run.trace;
    EXPECT_EQ(Utf8(run.boxes[0].text), Utf8(shown));
    EXPECT_FALSE(run.boxes[0].text_cut);
    EXPECT_EQ(run.boxes[0].caption, WindowsPath(path_));
    EXPECT_EQ(run.boxes[0].style, kMbIconError);
  }

  void ExpectAdmitted(const WineRun& run) {
    ASSERT_TRUE(run.started) << run.trace;
    EXPECT_TRUE(run.boxes.empty()) << Utf8(run.boxes.empty() ? u"" : run.boxes[0].text);
    EXPECT_EQ(run.exit_code, 0u) << run.trace;
  }

  std::string folder_;
  std::string path_;
  std::vector<uint8_t> inner_;
};

// --- Every Windows version Wine reports --------------------------------------------

// The versions, written out again: winecfg's name, the OsMask bit that admits
// it, and the name the launcher refuses it with.
struct WindowsVersionCase {
  const char* winecfg_name;
  int bit;
  const char16_t* os_name;
};
const WindowsVersionCase kWindowsVersions[] = {
    {"winxp64", 5, u"Windows XP"},  {"vista", 6, u"Windows Vista"}, {"win7", 7, u"Windows 7"},
    {"win8", 8, u"Windows 8"},      {"win81", 9, u"Windows 8.1"},   {"win10", 10, u"Windows 10"},
};

void PrintTo(const WindowsVersionCase& version, std::ostream* out) {
  *out << version.winecfg_name;
}

class WindowsVersionE2e : public VersionGateE2e,
                          public ::testing::WithParamInterface<WindowsVersionCase> {};

// The runs of one version share its prefix, so they run one after the other in
// one test. win81 is reported as 6.3 only thanks to the launcher's manifest.
TEST_P(WindowsVersionE2e, AdmittedByItsOwnBitAlone) {
  const WindowsVersionCase& version = GetParam();
  WinePrefix prefix(std::string("gate-") + version.winecfg_name, version.winecfg_name);
  prefix.Prepare();
  const std::set<std::string> temp_before = FolderEntries(prefix.TempFolder());

  for (const uint64_t mask : {kAllBits & ~Bit(version.bit), Bit(63), uint64_t{0}}) {
    SCOPED_TRACE(::testing::Message() << "OsMask 0x" << std::hex << mask);
    ExpectRefused(RunPackage(prefix, BuildPackageBytes(inner_, Settings(mask))),
                  ShownMessage(version.os_name));
  }
  // A refused package writes nothing, and starts nothing.
  EXPECT_EQ(FolderEntries(prefix.TempFolder()), temp_before);
  EXPECT_FALSE(fs::exists(folder_ + "/child-report.txt"));

  ExpectAdmitted(RunPackage(prefix, BuildPackageBytes(inner_, Settings(Bit(version.bit)))));
}

INSTANTIATE_TEST_SUITE_P(Wine, WindowsVersionE2e, ::testing::ValuesIn(kWindowsVersions),
                         [](const ::testing::TestParamInfo<WindowsVersionCase>& param_info) {
                           return std::string(param_info.param.winecfg_name);
                         });

// --- The release id of Windows 10 ---------------------------------------------------

// A release-id registry value as "wine reg add" writes it.
struct RegistryValue {
  const char* type;  // REG_SZ, REG_DWORD, ...
  std::string data;
};

struct ReleaseIdCase {
  const char* label;
  std::optional<RegistryValue> value;  // nullopt: no ReleaseId value
  uint16_t min;
  uint16_t max;
  std::optional<std::u16string> os_name;  // nullopt: admitted
};

TEST_F(VersionGateE2e, ReleaseIdFromTheRegistry) {
  WinePrefix prefix("gate-release", "win10");
  const char kKey[] = "HKLM\\Software\\Microsoft\\Windows NT\\CurrentVersion";
  const std::string text63 = "1409" + std::string(59, 'x');  // 126 bytes + NUL: fits
  const std::string text64 = "1409" + std::string(60, 'x');  // 128 bytes + NUL: too long
  const ReleaseIdCase cases[] = {
      {"no value", std::nullopt, 1507, 9999, std::nullopt},
      {"within range", RegistryValue{"REG_SZ", "1803"}, 1507, 9999, std::nullopt},
      {"named release below range", RegistryValue{"REG_SZ", "1607"}, 1703, 9999,
       u"Windows 10 1607 (Anniversary Update)"},
      {"unnamed release above range", RegistryValue{"REG_SZ", "2009"}, 1507, 1909,
       u"Windows 10 2009"},
      {"no digits", RegistryValue{"REG_SZ", "abc"}, 1507, 9999, u"Windows 10 abc"},
      {"no digits, range from 0", RegistryValue{"REG_SZ", "abc"}, 0, 9999, std::nullopt},
      {"empty text", RegistryValue{"REG_SZ", ""}, 1507, 9999, u"Windows 10"},
      {"low 16 bits", RegistryValue{"REG_SZ", "67043"}, 1507, 9999, std::nullopt},
      {"min above max", RegistryValue{"REG_SZ", "1803"}, 2000, 1000,
       u"Windows 10 1803 (April 2018 Update)"},
      {"longest readable value", RegistryValue{"REG_SZ", text63}, 1507, 9999,
       u"Windows 10 " + Utf16(text63)},
      {"value longer than 128 bytes", RegistryValue{"REG_SZ", text64}, 1507, 9999, std::nullopt},
      // The type is not looked at: the bytes 39 00 30 00 read as "90".
      {"number value", RegistryValue{"REG_DWORD", "0x00300039"}, 1507, 9999, u"Windows 10 90"},
      {"value removed again", std::nullopt, 1507, 9999, std::nullopt},
  };
  prefix.Prepare();
  const std::set<std::string> temp_before = FolderEntries(prefix.TempFolder());
  for (const ReleaseIdCase& c : cases) {
    SCOPED_TRACE(c.label);
    if (c.value) {
      ASSERT_EQ(prefix.Tool({"reg", "add", kKey, "/v", "ReleaseId", "/t", c.value->type, "/d",
                             c.value->data, "/f"}),
                0);
    } else {
      prefix.Tool({"reg", "delete", kKey, "/v", "ReleaseId", "/f"});  // fails when absent
    }
    const WineRun run =
        RunPackage(prefix, BuildPackageBytes(inner_, Settings(Bit(10), c.min, c.max)));
    if (c.os_name) {
      ExpectRefused(run, ShownMessage(*c.os_name));
    } else {
      ExpectAdmitted(run);
    }
  }
  prefix.Tool({"reg", "delete", kKey, "/v", "ReleaseId", "/f"});
  EXPECT_EQ(FolderEntries(prefix.TempFolder()), temp_before);
}

// --- Windows 11 and the extension record's build limits -----------------------------

// The system a Windows 10 prefix reports once winecfg's own version is gone:
// Wine then takes the build from the registry, through the version query too,
// and the product type from ProductOptions (ServerNT: a server).
struct ReportedSystem {
  const char* build;
  const char* product_type;
  const char* display_version;  // null: no value
};

void Report(WinePrefix& prefix, const ReportedSystem& system) {
  const std::string kKey = "HKLM\\Software\\Microsoft\\Windows NT\\CurrentVersion";
  const auto set = [&](const std::string& key, const char* name, const char* text) {
    ASSERT_EQ(prefix.Tool({"reg", "add", key, "/v", name, "/t", "REG_SZ", "/d", text, "/f"}), 0);
  };
  prefix.Tool({"reg", "delete", "HKCU\\Software\\Wine", "/v", "Version", "/f"});  // may be absent
  set(kKey, "CurrentBuildNumber", system.build);
  set(kKey, "CurrentBuild", system.build);
  set(kKey, "ReleaseId", "2009");
  set("HKLM\\System\\CurrentControlSet\\Control\\ProductOptions", "ProductType",
      system.product_type);
  if (system.display_version) {
    set(kKey, "DisplayVersion", system.display_version);
  } else {
    prefix.Tool({"reg", "delete", kKey, "/v", "DisplayVersion", "/f"});  // may be absent
  }
}

// The message `sfxpack gate` predicts, from its report; empty when it says
// the launcher goes on.
std::string PredictedMessage(const std::string& report) {
  const std::string marker = ":\n  ";
  const size_t start = report.find(marker);
  if (start == std::string::npos) return "";
  const size_t end = report.find('\n', start + marker.size());
  return report.substr(start + marker.size(), end - start - marker.size());
}

// The three packages vendors ask for, built by sfxpack with its default
// message, on the systems of today; sfxpack gate, told the same system,
// predicts each outcome and text.
TEST_F(VersionGateE2e, BuildLimitsAndTodaysNames) {
  const ReportedSystem kWindows11{"22631", "WinNT", nullptr};
  const ReportedSystem kWindows11With23H2{"22631", "WinNT", "23H2"};
  const ReportedSystem kWindows10With22H2{"19045", "WinNT", "22H2"};
  const ReportedSystem kWindows10With21H2{"19044", "WinNT", "21H2"};
  const ReportedSystem kServer2025{"26100", "ServerNT", "24H2"};
  const std::vector<std::string> only_11 = {"--os", "11"};
  const std::vector<std::string> from_22h2 = {"--os", "10", "--min-build", "19045"};
  const std::vector<std::string> not_11 = {"--os", "10", "--max-build", "21999"};
  const struct {
    const char* label;
    const ReportedSystem& system;
    std::vector<std::string> gate_windows;  // the same system, told to sfxpack gate
    const std::vector<std::string>& package;
    bool silent;
    std::optional<std::u16string> os_name;  // nullopt: admitted
  } cases[] = {
      {"Windows 11 only, on 11 23H2", kWindows11With23H2, {"11"}, only_11, false, std::nullopt},
      {"Windows 11 only, on 10 22H2", kWindows10With22H2, {"10"}, only_11, false,
       u"Windows 10 22H2"},
      {"Windows 11 only, on 10 22H2, /s", kWindows10With22H2, {"10"}, only_11, true,
       u"Windows 10 22H2"},
      {"10 22H2 or later, on 10 22H2", kWindows10With22H2, {"10"}, from_22h2, false,
       std::nullopt},
      {"10 22H2 or later, on 11", kWindows11, {"10.0", "--build", "22631", "--release-id", "2009"},
       from_22h2, false, std::nullopt},
      {"10 22H2 or later, on 10 21H2", kWindows10With21H2, {"10", "--build", "19044"}, from_22h2,
       false, u"Windows 10 21H2"},
      {"10 22H2 or later, on 10 21H2, /s", kWindows10With21H2, {"10", "--build", "19044"},
       from_22h2, true, u"Windows 10 21H2"},
      {"Windows 10 but not 11, on 10 22H2", kWindows10With22H2, {"10"}, not_11, false,
       std::nullopt},
      {"Windows 10 but not 11, on 11", kWindows11,
       {"10.0", "--build", "22631", "--release-id", "2009"}, not_11, false,
       u"Windows 11 (build 22631)"},
      {"Windows 10 but not 11, on 11 23H2", kWindows11With23H2, {"11"}, not_11, false,
       u"Windows 11 23H2"},
      {"Windows 10 but not 11, on 11 23H2, /s", kWindows11With23H2, {"11"}, not_11, true,
       u"Windows 11 23H2"},
      {"Windows 10 but not 11, on Server 2025", kServer2025,
       {"11", "--server", "--build", "26100"}, not_11, false, u"Windows Server 24H2"},
  };
  const std::string inner = folder_ + "/inner.exe";
  WriteBytes(inner, inner_);
  WinePrefix prefix("gate-build", "win10");
  prefix.Prepare();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    Report(prefix, c.system);
    const std::string package = folder_ + "/built.exe";
    std::vector<std::string> build = {E2E_SFXPACK, "build", "-q", inner, "-o", package};
    build.insert(build.end(), c.package.begin(), c.package.end());
    ASSERT_EQ(stub::testing::RunProcess(build).status, 0);
    std::vector<std::string> gate = {E2E_SFXPACK, "gate", package, "--windows"};
    gate.insert(gate.end(), c.gate_windows.begin(), c.gate_windows.end());
    const std::string predicted = PredictedMessage(stub::testing::RunProcess(gate).out);

    fs::remove(folder_ + "/child-report.txt");
    const WineRun run = RunPackage(prefix, ReadBytes(package), c.silent ? u" /s" : u"");
    if (!c.os_name) {
      ExpectAdmitted(run);
      EXPECT_TRUE(fs::exists(folder_ + "/child-report.txt"));
      EXPECT_EQ(predicted, "");
      continue;
    }
    EXPECT_NE(predicted.find("It cannot run on " + Utf8(*c.os_name) + "."), std::string::npos)
        << predicted;
    if (c.silent) {
      ASSERT_TRUE(run.started) << run.trace;
      EXPECT_EQ(run.exit_code, kUnsupportedWindowsExit);
      EXPECT_TRUE(run.boxes.empty());
    } else {
      ExpectRefused(run, Utf16(predicted));
    }
    EXPECT_FALSE(fs::exists(folder_ + "/child-report.txt"));
  }
}

// --- The stored message itself ------------------------------------------------------

// Overwrites the header's UnsupportedOsMessage reference and mends the checksum.
void SetMessageReference(std::vector<uint8_t>& package, const stub::TPackageMessage& message) {
  const uint32_t header = stub::ReadLe32(package.data() + stub::kPackageLocatorOffset);
  uint8_t* field = package.data() + header + 64;
  stub::WriteLe32(field, message.Offset);
  stub::WriteLe16(field + 4, message.Length);
  ASSERT_TRUE(stub::testing::RefreshChecksum(package));
}

stub::TPackageMessage MessageReference(const std::vector<uint8_t>& package) {
  const uint32_t header = stub::ReadLe32(package.data() + stub::kPackageLocatorOffset);
  const uint8_t* field = package.data() + header + 64;
  return {stub::ReadLe32(field), stub::ReadLe16(field + 4)};
}

// Mask 0 refuses every version, whatever the shared prefix reports.
TEST_F(VersionGateE2e, ANulInTheStoredTextEndsTheShownText) {
  packaging::PackageSettings settings = Settings(0);
  settings.message = std::u16string(u"Shown part.\0Hidden %USER%.", 26);
  const WineRun run = RunPackage(WinePrefix::Default(), BuildPackageBytes(inner_, settings));
  ExpectRefused(run, u"Shown part.");
}

TEST_F(VersionGateE2e, MessageReferenceBeyondTheFileIsADamagedPackage) {
  std::vector<uint8_t> package = BuildPackageBytes(inner_, Settings(0));
  stub::TPackageMessage message = MessageReference(package);
  ASSERT_GT(message.Length, 0);
  message.Offset = static_cast<uint32_t>(package.size());
  SetMessageReference(package, message);
  const WineRun run = RunPackage(WinePrefix::Default(), package);
  ASSERT_TRUE(run.started) << run.trace;
  EXPECT_EQ(run.exit_code, kDamagedExit);
  ASSERT_EQ(run.boxes.size(), 1u) << run.trace;
  EXPECT_EQ(run.boxes[0].text, stub::testing::FatalMessageText(stub::FatalMessage::kDamaged));
  EXPECT_EQ(run.boxes[0].caption, WindowsPath(path_));
}

TEST_F(VersionGateE2e, EmptyStoredTextShowsAnEmptyBox) {
  std::vector<uint8_t> package = BuildPackageBytes(inner_, Settings(0));
  stub::TPackageMessage message = MessageReference(package);
  message.Length = 0;
  SetMessageReference(package, message);
  ExpectRefused(RunPackage(WinePrefix::Default(), package), u"");
}

}  // namespace
}  // namespace e2e
