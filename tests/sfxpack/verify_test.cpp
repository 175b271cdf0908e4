// sfxpack verify and gate: the launcher's verdict and its exact text.
#include <gtest/gtest.h>

#include <filesystem>

#include "format/little_endian.h"
#include "launcher/fatal_messages.h"
#include "tests/sfxpack/sfxpack_cli.h"
#include "tests/support/package_builder.h"
#include "tests/support/test_images.h"
#include "tools/package_writer/package_writer.h"
#include "tools/sfxpack/report/utf.h"

namespace sfxpack::testing {
namespace {

namespace fs = std::filesystem;
using stub::FatalMessage;
using stub::testing::SampleBytes;

constexpr int kDamaged = 1392;
constexpr int kTruncated = 38;
constexpr int kUnsupported = 1633;

std::string Text(FatalMessage message) { return Utf16ToUtf8(stub::FatalMessageText(message)); }

class SfxpackVerify : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = ScratchFolder();
    WriteBytes(folder_ / "inner.exe", SampleBytes(30000, 5));
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
      {{"gate", package_.string(), "--windows", "10"}, 2, "MAJOR.MINOR"},
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
