// SPDX-License-Identifier: Zlib
// sfxpack verify and gate: the launcher's verdict and its exact text.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "decoding/crc32.h"
#include "format/little_endian.h"
#include "format/package_records.h"
#include "launcher/fatal_messages.h"
#include "tests/sfxpack/sfxpack_cli.h"
#include "tests/support/fatal_texts.h"
#include "tests/support/package_builder.h"
#include "tests/support/test_images.h"
#include "tools/common/utf.h"
#include "tools/package_writer/package_writer.h"
#include "tools/sfxpack/report/windows_builds.h"

namespace sfxpack::testing {
namespace {

namespace fs = std::filesystem;
using stub::FatalMessage;
using stub::testing::AsWindowsProgram;
using stub::testing::SampleBytes;

constexpr int kDamaged = 1392;
constexpr int kTruncated = 38;
constexpr int kUnsupported = 1633;
constexpr int kBadExeFormat = 193;

std::string Text(FatalMessage message) {
  return tools::Utf16ToUtf8(stub::testing::FatalMessageText(message));
}

class SfxpackVerify : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = ScratchFolder();
    WriteBytes(folder_ / "inner.exe", AsWindowsProgram(SampleBytes(30000, 5)));
    package_ = folder_ / "setup.exe";
    const auto result =
        Sfxpack({"build", "-q", "--inner", (folder_ / "inner.exe").string(), "-o", package_.string(),
                 "--os", "7,8,8.1,10,newer", "--min-release", "1507", "--max-release", "9999",
                 "--message", "Not for %USER% or %user%.", "--data", (folder_ / "inner.exe").string()});
    ASSERT_EQ(result.status, 0) << result.err;
    bytes_ = ReadBytes(package_);
  }

  // Runs `args` on a copy of the package changed by `change`; expects the
  // launcher's `code` (as sfxpack's status and in the exit code file) and `text`.
  void ExpectVerdict(const std::string& name, std::vector<uint8_t> bytes,
                     std::vector<std::string> args, int code, const std::string& text) {
    const fs::path file = folder_ / "changed.exe";
    WriteBytes(file, bytes);
    const fs::path code_file = folder_ / "code.txt";
    fs::remove(code_file);
    args.insert(args.begin() + 1, file.string());
    args.insert(args.end(), {"--exit-code-file", code_file.string()});
    const auto result = Sfxpack(args);
    EXPECT_EQ(result.status, code == 0 ? 0 : code % 256) << name << "\n" << result.out << result.err;
    std::string stored;
    EXPECT_TRUE(stub::testing::ReadFile(code_file.string(), stored)) << name;
    EXPECT_EQ(stored, std::to_string(code) + "\n") << name;
    if (code == 0) {
      EXPECT_NE(result.out.find(": OK: "), std::string::npos) << name << "\n" << result.out;
    } else {
      EXPECT_NE(result.out.find("exits with code " + std::to_string(code) + ":\n  " + text + "\n"),
                std::string::npos)
          << name << "\n" << result.out;
    }
  }

  fs::path folder_, package_;
  std::vector<uint8_t> bytes_;
};

TEST_F(SfxpackVerify, IntactPackageIsAccepted) {
  ExpectVerdict("intact", bytes_, {"verify"}, 0, "");
  std::vector<uint8_t> signed_like = bytes_;
  signed_like.resize(signed_like.size() + 100, 0xAB);
  ExpectVerdict("longer than built", signed_like, {"verify"}, 0, "");
}

TEST_F(SfxpackVerify, DamagedAndTruncatedPackagesGetTheLaunchersMessage) {
  struct Case {
    const char* name;
    void (*change)(std::vector<uint8_t>&);
    int code;
    FatalMessage message;
  };
  const Case cases[] = {
      {"one byte short", [](std::vector<uint8_t>& b) { b.pop_back(); }, kTruncated,
       FatalMessage::kTruncated},
      {"half of it", [](std::vector<uint8_t>& b) { b.resize(b.size() / 2); }, kTruncated,
       FatalMessage::kTruncated},
      {"flipped byte", [](std::vector<uint8_t>& b) { b[stub::ReadLe32(&b[128]) + 200] ^= 4; },
       kDamaged, FatalMessage::kDamaged},
      {"no package", [](std::vector<uint8_t>& b) { stub::WriteLe32(&b[128], 0); }, kDamaged,
       FatalMessage::kDamaged},
      {"empty file", [](std::vector<uint8_t>& b) { b.clear(); }, kDamaged, FatalMessage::kDamaged},
      {"locator cut", [](std::vector<uint8_t>& b) { b.resize(140); }, kDamaged,
       FatalMessage::kDamaged},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> bytes = bytes_;
    c.change(bytes);
    ExpectVerdict(c.name, bytes, {"verify"}, c.code, Text(c.message));
  }
  ExpectVerdict("bare launcher image", ReadBytes(LauncherImage()), {"verify"}, kDamaged,
                Text(FatalMessage::kDamaged));
}

TEST_F(SfxpackVerify, GateNamesTheRunningVersionInThePackagesMessage) {
  struct Case {
    std::vector<std::string> version;
    int code;
    const char* name;
  };
  const Case cases[] = {
      {{"--windows", "5.1"}, kUnsupported, "Windows XP"},
      {{"--windows", "5.2"}, kUnsupported, "Windows XP"},
      {{"--windows", "6.0"}, kUnsupported, "Windows Vista"},
      {{"--windows", "6.1"}, 0, ""},
      {{"--windows", "6.3"}, 0, ""},
      {{"--windows", "6.4"}, kUnsupported, "Windows 6.4"},
      {{"--windows", "10.0"}, 0, ""},
      {{"--windows", "10.0", "--release-id", "1803"}, 0, ""},
      {{"--windows", "10.0", "--release-id", "1409"}, kUnsupported, "Windows 10 1409"},
      {{"--windows", "10.0", "--release-id", "abc"}, kUnsupported, "Windows 10 abc"},
      {{"--windows", "10.0", "--release-id", "67043"}, 0, ""},
      {{"--windows", "10.1"}, 0, ""},
      {{"--windows", "11.0"}, 0, ""},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = {"gate"};
    args.insert(args.end(), c.version.begin(), c.version.end());
    const std::string name = c.name;
    ExpectVerdict(c.version[1] + " " + name, bytes_, args, c.code,
                  "Not for " + name + " or " + name + ".");
  }
}

// The build limits at their edges, as gate states the system; the Wine test
// pins the three packages on today's systems against the launcher itself.
TEST_F(SfxpackVerify, GatePredictsTheBuildLimitsAtTheirEdges) {
  const std::string inner = (folder_ / "inner.exe").string();
  const auto build = [&](const std::string& name, std::vector<std::string> options) {
    const std::string output = (folder_ / name).string();
    options.insert(options.begin(), {"build", "-q", "--inner", inner, "-o", output});
    const auto result = Sfxpack(options);
    EXPECT_EQ(result.status, 0) << result.err;
    return output;
  };
  const std::string only_11 = build("11.exe", {"--os", "11"});
  const std::string from_22h2 = build("22h2.exe", {"--os", "10", "--min-build", "19045"});
  const std::string not_11 = build("not-11.exe", {"--os", "10", "--max-build", "21999"});
  struct Case {
    const std::string& package;
    std::vector<std::string> windows;
    const char* refused_on;  // null: admitted
  };
  const Case cases[] = {
      {only_11, {"11", "--build", "22000"}, nullptr},
      {only_11, {"10.0", "--build", "21999"}, "Windows 10"},
      {only_11, {"10.0", "--build", "19045", "--release-id", "1909"}, "Windows 10 1909"},
      {only_11, {"6.3"}, "Windows 8.1"},
      {from_22h2, {"10", "--build", "19045"}, nullptr},
      {from_22h2, {"10", "--build", "17763"}, "Windows 10 1809"},
      {not_11, {"10", "--build", "21999"}, nullptr},
      {not_11, {"11", "--display-version", ""}, "Windows 11 (build 22631)"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = {"gate", c.package, "--windows"};
    args.insert(args.end(), c.windows.begin(), c.windows.end());
    const auto result = Sfxpack(args);
    const std::string label = c.package + " on " + c.windows[0] + "\n" + result.out + result.err;
    if (c.refused_on == nullptr) {
      EXPECT_EQ(result.status, 0) << label;
      EXPECT_NE(result.out.find(": OK: Windows 10.0 build "), std::string::npos) << label;
      continue;
    }
    EXPECT_EQ(result.status, kUnsupported % 256) << label;
    EXPECT_NE(result.out.find("exits with code 1633:\n  This setup package needs "),
              std::string::npos)
        << label;
    EXPECT_NE(result.out.find(".  It cannot run on " + std::string(c.refused_on) + ".\n"),
              std::string::npos)
        << label;
  }
}

// The package with its stream, message and further data moved beyond 2 GiB
// in a sparse file (the gap costs no disk), the checksum over the header:
// with the extension record verify, extract (and the reader header behind
// --data), gate and inspect read it with 64-bit positions; without it the
// first version's limits make it damaged.
TEST_F(SfxpackVerify, APackageBeyond2GiB) {
  constexpr uint32_t kFar = 0x80001000;
  const uint32_t package_offset = stub::ReadLe32(&bytes_[stub::kPackageLocatorOffset]);
  stub::PackageHeaderBytes raw;
  std::copy_n(bytes_.begin() + package_offset, raw.size(), raw.begin());
  const stub::TPackageHeader built = stub::DecodePackageHeader(raw);
  const std::vector<uint8_t> far(bytes_.begin() + built.StreamOffset, bytes_.end());
  for (const bool with_record : {true, false}) {
    SCOPED_TRACE(with_record ? "with the record" : "without the record");
    stub::TPackageHeader header = built;
    stub::TPackageExtension extension;
    stub::DecodePackageExtension(header.Reserved2, extension);
    header.Reserved2 = with_record ? stub::EncodePackageExtension(extension)
                                   : stub::PackageExtensionBytes{};
    header.StreamOffset = kFar;
    header.UnsupportedOsMessage.Offset = kFar + (built.UnsupportedOsMessage.Offset -
                                                 built.StreamOffset);
    std::vector<uint8_t> head(bytes_.begin(), bytes_.begin() + package_offset);
    const stub::PackageHeaderBytes header_bytes = stub::EncodePackageHeader(header);
    head.insert(head.end(), header_bytes.begin(), header_bytes.end());
    stub::TPackageLocator locator;
    locator.PackageOffset = package_offset;
    locator.CrcLength = stub::kPackageHeaderSize;
    locator.CrcValue = stub::CalcCrc32(header_bytes.data(), stub::kPackageHeaderSize);
    locator.MinFileSize = static_cast<int64_t>(kFar + far.size());
    const stub::PackageLocatorBytes locator_bytes = stub::EncodePackageLocator(locator);
    std::copy(locator_bytes.begin(), locator_bytes.end(), head.begin() + stub::kPackageLocatorOffset);
    const fs::path file = folder_ / "far.exe";
    {
      std::ofstream out(file, std::ios::binary | std::ios::trunc);
      out.write(reinterpret_cast<const char*>(head.data()), static_cast<std::streamsize>(head.size()));
      out.seekp(kFar);
      out.write(reinterpret_cast<const char*>(far.data()), static_cast<std::streamsize>(far.size()));
    }
    const auto verify = Sfxpack({"verify", file.string()});
    if (!with_record) {
      EXPECT_EQ(verify.status, kDamaged % 256) << verify.out;
      fs::remove(file);
      continue;
    }
    EXPECT_EQ(verify.status, 0) << verify.out << verify.err;
    // The further data, found by the reader header inner programs use, is
    // the inner program again (SetUp's --data).
    const fs::path extracted = folder_ / "extracted.exe", data = folder_ / "data.bin";
    const auto extract =
        Sfxpack({"extract", file.string(), "-o", extracted.string(), "--data", data.string()});
    EXPECT_EQ(extract.status, 0) << extract.out << extract.err;
    EXPECT_EQ(ReadBytes(extracted), ReadBytes(folder_ / "inner.exe"));
    EXPECT_EQ(ReadBytes(data), ReadBytes(folder_ / "inner.exe"));
    const auto gate = Sfxpack({"gate", file.string(), "--windows", "6.0"});
    EXPECT_EQ(gate.status, kUnsupported % 256) << gate.out;
    EXPECT_NE(gate.out.find("Not for Windows Vista"), std::string::npos) << gate.out;
    const auto inspect = Sfxpack({"inspect", file.string()});
    EXPECT_EQ(inspect.status, 0) << inspect.out << inspect.err;
    EXPECT_EQ(inspect.out.find("damaged-package"), std::string::npos) << inspect.out;
    fs::remove(file);
  }
}

// gate --all says for each Windows what gate --windows says for it alone.
TEST_F(SfxpackVerify, GateAllAgreesWithTheGateOnEachWindows) {
  const std::string package = (folder_ / "22h2.exe").string();
  ASSERT_EQ(Sfxpack({"build", "-q", (folder_ / "inner.exe").string(), "-o", package, "--os",
                     "7,10", "--min-build", "19045"})
                .status,
            0);
  const auto all = Sfxpack({"gate", package, "--all"});
  ASSERT_EQ(all.status, 0) << all.err;
  std::string expected =
      package + ": OK: the launcher's checks pass; its version gate on each Windows it names:\n";
  for (const NamedSystem& system : NamedSystems()) {
    const std::string version = std::to_string(system.major) + "." + std::to_string(system.minor);
    std::vector<std::string> args = {"gate", package, "--windows", version, "--build",
                                     std::to_string(system.build)};
    if (system.release_id) args.insert(args.end(), {"--release-id", *system.release_id});
    if (system.display_version) {
      args.insert(args.end(), {"--display-version", *system.display_version});
    }
    if (system.server) args.push_back("--server");
    const auto alone = Sfxpack(args);
    const size_t message = alone.out.find("exits with code 1633:\n  ");
    std::string verdict = "admitted";
    if (alone.status != 0) {
      EXPECT_NE(message, std::string::npos) << system.name << "\n" << alone.out;
      const size_t start = message + std::string("exits with code 1633:\n  ").size();
      verdict = "refused: " + alone.out.substr(start, alone.out.find('\n', start) - start);
    }
    const std::string name = system.name + std::string(23 - system.name.size(), ' ');
    const std::string numbers = version + "." + std::to_string(system.build);
    expected += "  " + name + numbers + std::string(13 - numbers.size(), ' ') + verdict + "\n";
  }
  EXPECT_EQ(all.out, expected);
  // Damaged: the launcher's verdict, and no Windows at all.
  std::vector<uint8_t> cut = bytes_;
  cut.pop_back();
  ExpectVerdict("truncated", cut, {"gate", "--all"}, kTruncated, Text(FatalMessage::kTruncated));
  EXPECT_EQ(Sfxpack({"gate", package, "--all", "--windows", "10"}).status, 2);
  EXPECT_EQ(Sfxpack({"gate", package, "--all", "--server"}).status, 2);
}

TEST_F(SfxpackVerify, GateRunsThePackageChecksFirst) {
  std::vector<uint8_t> cut = bytes_;
  cut.pop_back();
  ExpectVerdict("truncated", cut, {"gate", "--windows", "6.0"}, kTruncated,
                Text(FatalMessage::kTruncated));
  // A message the launcher cannot read: the damaged-package message instead.
  std::vector<uint8_t> lost_message = bytes_;
  stub::WriteLe32(&lost_message[stub::ReadLe32(&lost_message[128]) + 64], 0x7FFFFF00);
  ASSERT_TRUE(stub::testing::RefreshChecksum(lost_message));
  ExpectVerdict("message beyond the file", lost_message, {"gate", "--windows", "6.0"}, kDamaged,
                Text(FatalMessage::kDamaged));
  ExpectVerdict("message beyond the file, admitted", lost_message, {"gate", "--windows", "6.1"}, 0,
                "");
}

TEST_F(SfxpackVerify, InnerProgramsWindowsCannotStartAreRefusedOrReported) {
  const std::vector<uint8_t> x64 = AsWindowsProgram(SampleBytes(500, 3));
  const auto changed = [&x64](size_t offset, std::vector<uint8_t> bytes) {
    std::vector<uint8_t> program = x64;
    std::copy(bytes.begin(), bytes.end(), program.begin() + offset);
    return program;
  };
  // 200,000 bytes with the PE header at 150,000 and `machine` there.
  const auto far_in = [](uint16_t machine) {
    std::vector<uint8_t> program = AsWindowsProgram(SampleBytes(200000, 4));
    stub::WriteLe32(&program[60], 150000);
    const uint8_t signature[] = {'P', 'E', 0, 0, uint8_t(machine), uint8_t(machine >> 8)};
    std::copy(std::begin(signature), std::end(signature), program.begin() + 150000);
    return program;
  };
  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
    const char* why;  // null: a program Windows starts
  };
  const Case cases[] = {
      {"x86-64", x64, nullptr},
      {"x86", changed(68, {0x4C, 0x01}), nullptr},
      {"ARM64", changed(68, {0x64, 0xAA}), nullptr},
      {"empty", {}, "it is empty"},
      {"text", {'s', 'e', 't', 'u', 'p'}, "it does not start with MZ"},
      {"MZ alone", {'M', 'Z'}, "its DOS header is cut short"},
      {"PE header behind the end", changed(60, {0xF0, 0x01}), "its PE header offset 496 lies outside the file"},
      {"NE signature", changed(64, {'N', 'E'}), "it has no PE signature at offset 64"},
      {"Itanium", changed(68, {0x00, 0x02}), "its machine type 0x0200 is none that Windows runs"},
      // Beyond the head that verify keeps of a program streaming by.
      {"PE header far in", far_in(0x8664), nullptr},
      {"Itanium, PE header far in", far_in(0x0200),
       "its machine type 0x0200 is none that Windows runs"},
  };
  const fs::path package = folder_ / "built.exe";
  for (const Case& c : cases) {
    WriteBytes(folder_ / "program.exe", c.bytes);
    const std::vector<std::string> build = {"build", "-q", "--inner",
                                            (folder_ / "program.exe").string(), "-o",
                                            package.string()};
    fs::remove(package);
    auto result = Sfxpack(build);
    EXPECT_EQ(result.status, c.why ? 1 : 0) << c.name << ": " << result.err;
    if (!c.why) {
      ExpectVerdict(c.name, ReadBytes(package), {"verify"}, 0, "");
      continue;
    }
    EXPECT_NE(result.err.find(std::string("is not a Windows program: ") + c.why), std::string::npos)
        << c.name << ": " << result.err;
    EXPECT_FALSE(fs::exists(package)) << c.name;
    std::vector<std::string> allowed = build;
    allowed.push_back("--allow-any-inner");
    ASSERT_EQ(Sfxpack(allowed).status, 0) << c.name;
    // What the launcher does with the copy: its start fails with ERROR_BAD_EXE_FORMAT.
    ExpectVerdict(c.name, ReadBytes(package), {"verify"}, kBadExeFormat,
                  Text(FatalMessage::kStartFailed));
  }
}

// A package's texts and the names on the command line reach the terminal with
// every control character escaped, bidirectional controls too (which would
// show a name or message reordered), and every invalid byte replaced.
TEST_F(SfxpackVerify, ReportsEscapeControlCharactersAndInvalidBytes) {
  std::vector<uint8_t> stub = ReadBytes(LauncherImage());
  const uint32_t pe = stub::ReadLe32(&stub[60]);
  const size_t first_section = pe + 24 + stub::ReadLe16(&stub[pe + 20]);
  const std::vector<uint8_t> name = {0x1B, '[', '2', 'J', 0xFF, 0, 0, 0};
  std::copy(name.begin(), name.end(), stub.begin() + first_section);
  WriteBytes(folder_ / "stub.exe", stub);
  const std::string hostile = package_.string() + " \x1b]0;title\x07\x1b[2J\r" +
                              package_.string() + ": OK: fine\n\xC2\x9B" "1m\x7F \xE2\x80\xAEtxt.exe";
  const fs::path package = folder_ / "evil\x1b[31m\xE2\x81\xA6.exe";
  const auto built = Sfxpack({"build", "-q", "--inner", (folder_ / "inner.exe").string(), "-o",
                              package.string(), "--stub", (folder_ / "stub.exe").string(), "--os",
                              "xp", "--message", hostile, "--company-name",
                              "A\xE2\x80\x8E\xE2\x80\x8F\xE2\x80\xAA\xE2\x80\xAB\xE2\x80\xAC\xE2\x80"
                              "\xAD\xE2\x81\xA7\xE2\x81\xA8\xE2\x81\xA9\xD8\x9CZ"});
  ASSERT_EQ(built.status, 0) << built.err;
  const std::string file = "evil\\x1b[31m\\u2066.exe";
  const std::string message = "\\x1b]0;title\\x07\\x1b[2J\\x0d";
  const std::string company =
      "A\\u200e\\u200f\\u202a\\u202b\\u202c\\u202d\\u2067\\u2068\\u2069\\u061cZ";
  struct Case {
    std::vector<std::string> args;
    std::vector<std::string> shown;
  };
  const Case cases[] = {
      {{"inspect", package.string()},
       {file + ": ", message, ": OK: fine\\x0a\\u009b1m\\x7f \\u202etxt.exe",
        "section \\x1b[2J\xEF\xBF\xBD", "Section         \\x1b[2J\xEF\xBF\xBD: raw",
        "CompanyName     " + company}},
      {{"inspect", "--json", package.string()},
       {"evil\\u001b[31m\\u2066.exe", "\\u001b]0;title\\u0007\\u001b[2J\\r",
        ": OK: fine\\n\\u009b1m\\u007f \\u202etxt.exe", "\"" + company + "\""}},
      {{"gate", package.string(), "--windows", "6.1"}, {file + ": the launcher", message}},
      {{"verify", package.string()}, {file + ": OK: "}},
      {{"verify", (folder_ / "gone\x1b[2J\xFF\xE2\x80\xAE.exe").string()},
       {"gone\\x1b[2J\xEF\xBF\xBD\\u202e.exe"}},
      {{"inspect", package.string(), "--bogus\x1b[2J\u2067"}, {"'--bogus\\x1b[2J\\u2067'"}},
  };
  const char* const kBidi[] = {"\u061C", "\u200E", "\u200F", "\u202A", "\u202B", "\u202C",
                               "\u202D", "\u202E", "\u2066", "\u2067", "\u2068", "\u2069"};
  for (const Case& c : cases) {
    const auto result = Sfxpack(c.args);
    const std::string shown = result.out + result.err;
    for (size_t i = 0; i < shown.size(); ++i) {
      const auto byte = static_cast<uint8_t>(shown[i]);
      const bool c1 = byte == 0xC2 && i + 1 < shown.size() &&
                      static_cast<uint8_t>(shown[i + 1]) >= 0x80 &&
                      static_cast<uint8_t>(shown[i + 1]) <= 0x9F;
      EXPECT_FALSE((byte < 0x20 && byte != '\n') || byte == 0x7F || c1)
          << c.args[0] << ": control character at " << i << " in\n" << shown;
    }
    for (const char* control : kBidi) {
      EXPECT_EQ(shown.find(control), std::string::npos) << c.args[0] << ": bidi control in\n" << shown;
    }
    EXPECT_EQ(tools::SanitizeUtf8(shown), shown) << c.args[0] << ": not UTF-8";
    for (const std::string& part : c.shown) {
      EXPECT_NE(shown.find(part), std::string::npos) << c.args[0] << ": " << part << " in\n" << shown;
    }
  }
  // The progress line, drawn on a terminal only (script(1) gives it one),
  // names the inner program.
  WriteBytes(folder_ / "big\x1b[2J\u202E.exe", AsWindowsProgram(SampleBytes(8 << 20, 3)));
  stub::testing::ProcessOptions terminal;
  terminal.set_env = {{"sfxpack", SFXPACK_BINARY}, {"folder", folder_.string()}};
  const std::string shown =
      stub::testing::RunProcess({"script", "-qec",
                                 "\"$sfxpack\" build --inner \"$folder\"/big*.exe -o \"$folder\"/big-"
                                 "setup.exe --preset 9 --extreme",
                                 "/dev/null"},
                                terminal)
          .out;
  EXPECT_NE(shown.find("compressing big\\x1b[2J\\u202e.exe: "), std::string::npos) << shown;
  EXPECT_EQ(shown.find("\x1b"), std::string::npos) << shown;
}

TEST_F(SfxpackVerify, AFileThatIsNoPackageIsSaidSoFirst) {
  const std::string plain = (folder_ / "plain.exe").string();
  WriteBytes(plain, AsWindowsProgram(SampleBytes(30000, 8)));
  const std::string first = plain + ": does not look like a package: no plausible locator at "
                                    "offset 128 (the PE header at offset 64 lies there)\n";
  struct Case {
    std::vector<std::string> args;
    std::string second;  // the start of the next line
  };
  const Case cases[] = {
      {{"verify", plain}, plain + ": the launcher shows this message and exits with code "},
      {{"gate", plain, "--windows", "6.1"},
       plain + ": the launcher shows this message and exits with code "},
      {{"inspect", plain}, plain + ": 30,000 bytes"},
  };
  for (const Case& c : cases) {
    const auto result = Sfxpack(c.args);
    EXPECT_EQ(result.out.rfind(first, 0), 0u) << c.args[0] << ":\n" << result.out;
    EXPECT_EQ(result.out.find(c.second), first.size()) << c.args[0] << ":\n" << result.out;
  }
  EXPECT_EQ(Sfxpack({"verify", package_.string()}).out.find("does not look like"), std::string::npos);
}

TEST_F(SfxpackVerify, JsonTellsTheVerdictAndTheChecksThatRan) {
  const std::string plain = (folder_ / "plain.exe").string();
  WriteBytes(plain, AsWindowsProgram(SampleBytes(30000, 8)));
  std::vector<uint8_t> truncated = bytes_;
  truncated.pop_back();
  WriteBytes(folder_ / "truncated.exe", truncated);
  const std::string check = "{\"check\":";
  struct Case {
    std::vector<std::string> args;
    int status;
    std::vector<std::string> fields;  // as written, without blanks
  };
  const Case cases[] = {
      {{"verify", package_.string()},
       0,
       {"\"not_a_package\":null", check + "\"decode\",\"passed\":true}",
        check + "\"windows_program\",\"passed\":true}]", "\"launcher_goes_on\":true",
        "\"exit_code\":0", "\"summary\":\"thelauncheracceptsthepackage;", "\"message\":null"}},
      {{"verify", (folder_ / "truncated.exe").string()},
       kTruncated,
       {check + "\"size_and_checksum\",\"passed\":false}]", "\"launcher_goes_on\":false",
        "\"exit_code\":38", "\"message\":\"Thesetuppackagehasbeentruncated."}},
      {{"gate", package_.string(), "--windows", "6.0"},
       kUnsupported % 256,
       {"\"windows\":{\"version\":\"6.0\",\"release_id\":null,\"build\":0,"
        "\"display_version\":null,\"server\":false}",
        check + "\"header\",\"passed\":true}", check + "\"version_gate\",\"passed\":false}]",
        "\"exit_code\":1633", "\"exit_status\":97", "\"message\":\"NotforWindowsVista"}},
      {{"gate", package_.string(), "--windows", "10.0", "--release-id", "1803"},
       0,
       {"\"release_id\":\"1803\"", check + "\"version_gate\",\"passed\":true}]",
        "\"launcher_goes_on\":true"}},
      {{"gate", package_.string(), "--windows", "11", "--server"},
       0,
       {"\"windows\":{\"version\":\"10.0\",\"release_id\":\"2009\",\"build\":22631,"
        "\"display_version\":\"23H2\",\"server\":true}"}},
      {{"verify", plain}, kTruncated, {"\"not_a_package\":\"thePEheaderatoffset64liesthere\""}},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = c.args;
    args.push_back("--json");
    const auto result = Sfxpack(args);
    EXPECT_EQ(result.status, c.status) << c.args[0] << ": " << result.err;
    std::string compact;
    for (char ch : result.out) {
      if (ch != ' ' && ch != '\n') compact += ch;
    }
    for (const std::string& field : c.fields) {
      EXPECT_NE(compact.find(field), std::string::npos) << field << " in\n" << result.out;
    }
  }
}

TEST_F(SfxpackVerify, BadArgumentsAreSfxpacksOwnErrors) {
  struct Case {
    std::vector<std::string> args;
    int status;
    const char* error;
  };
  const std::string missing = (folder_ / "missing.exe").string();
  const Case cases[] = {
      {{"verify", missing}, 1, "missing.exe"},
      {{"gate", missing, "--windows", "10.0"}, 1, "missing.exe"},
      {{"gate", package_.string(), "--windows", "12"}, 2, "MAJOR.MINOR"},
      {{"gate", package_.string(), "--windows", "11", "--build", "23H2"}, 2,
       "--build \"23H2\" is not a Windows build number"},
      {{"gate", package_.string()}, 2, "--windows"},
      {{"verify"}, 2, "package"},
      {{"verify", package_.string(), "--exit-code-file", (folder_ / "no" / "code.txt").string()},
       1, "code.txt"},
  };
  for (const Case& c : cases) {
    const auto result = Sfxpack(c.args);
    EXPECT_EQ(result.status, c.status) << c.args[0] << ": " << result.err;
    EXPECT_NE(result.err.find(c.error), std::string::npos) << result.err;
  }
}

}  // namespace
}  // namespace sfxpack::testing
