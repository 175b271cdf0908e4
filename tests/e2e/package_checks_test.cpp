// SPDX-License-Identifier: Zlib
// The launcher image under Wine refuses damaged and truncated packages with the
// fixed messages, and accepts intact ones however they were lengthened.
#include <gtest/gtest.h>

#include <filesystem>

#include "format/little_endian.h"
#include "format/package_records.h"
#include "launcher/fatal_messages.h"
#include "tests/e2e/e2e_packages.h"
#include "tests/e2e/wine_harness.h"
#include "tests/support/fatal_texts.h"
#include "tests/support/subprocess.h"

namespace e2e {
namespace {

using stub::FatalMessage;
using stub::testing::FatalMessageText;

constexpr uint32_t kDamagedExit = 1392;
constexpr uint32_t kTruncatedExit = 38;

class PackageChecks : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = ScratchFolder();
    inner_ = ReadBytes(TestChildImage());
    package_ = BuildPackageBytes(inner_, AdmitAllWindows());
  }

  // Writes `bytes` as setup.exe and runs it without arguments.
  WineRun RunPackage(const std::vector<uint8_t>& bytes, const std::string& name = "setup.exe") {
    path_ = folder_ + "/" + name;
    WriteBytes(path_, bytes);
    WineRunOptions options;
    options.env["TEST_CHILD_REPORT"] = Utf8(WindowsPath(folder_ + "/child-report.txt"));
    return WinePrefix::Default().Run(u"\"" + WindowsPath(path_) + u"\"", options);
  }

  void ExpectOnlyBox(const WineRun& run, FatalMessage message, uint32_t exit_code) {
    ASSERT_TRUE(run.started) << run.trace;
    EXPECT_EQ(run.exit_code, exit_code);
    ASSERT_EQ(run.boxes.size(), 1u) << run.trace;
    EXPECT_EQ(run.boxes[0].text, FatalMessageText(message));
    EXPECT_EQ(run.boxes[0].caption, WindowsPath(path_));
    EXPECT_EQ(run.boxes[0].style, 0x10u);  // MB_ICONERROR, OK button only
  }

  void ExpectAccepted(const WineRun& run) {
    ASSERT_TRUE(run.started) << run.trace;
    EXPECT_TRUE(run.boxes.empty()) << Utf8(run.boxes.empty() ? u"" : run.boxes[0].text);
    EXPECT_EQ(run.exit_code, 0u) << run.trace;
  }

  stub::TPackageLocator Locator(const std::vector<uint8_t>& bytes) {
    stub::PackageLocatorBytes raw;
    std::copy_n(bytes.begin() + stub::kPackageLocatorOffset, raw.size(), raw.begin());
    return stub::DecodePackageLocator(raw);
  }

  void SetLocator(std::vector<uint8_t>& bytes, const stub::TPackageLocator& locator) {
    const stub::PackageLocatorBytes raw = stub::EncodePackageLocator(locator);
    std::copy(raw.begin(), raw.end(), bytes.begin() + stub::kPackageLocatorOffset);
  }

  std::string folder_;
  std::string path_;
  std::vector<uint8_t> inner_;
  std::vector<uint8_t> package_;
};

TEST_F(PackageChecks, IntactPackageIsAccepted) { ExpectAccepted(RunPackage(package_)); }

TEST_F(PackageChecks, LauncherWithoutPackageShowsTheDamagedMessage) {
  ExpectOnlyBox(RunPackage(ReadBytes(Stub64Image())), FatalMessage::kDamaged, kDamagedExit);
}

TEST_F(PackageChecks, PackageCutShortByOneByteShowsTheTruncatedMessage) {
  std::vector<uint8_t> cut = package_;
  cut.pop_back();
  ExpectOnlyBox(RunPackage(cut), FatalMessage::kTruncated, kTruncatedExit);
}

TEST_F(PackageChecks, OneFlippedByteInTheChecksumRegionShowsTheDamagedMessage) {
  const stub::TPackageLocator locator = Locator(package_);
  std::vector<uint8_t> flipped = package_;
  flipped[locator.PackageOffset + locator.CrcLength / 2] ^= 0x20;
  ExpectOnlyBox(RunPackage(flipped), FatalMessage::kDamaged, kDamagedExit);
}

TEST_F(PackageChecks, PathWithSpacesAndNonAsciiCharactersIsTheCaption) {
  std::vector<uint8_t> cut = package_;
  cut.pop_back();
  ExpectOnlyBox(RunPackage(cut, "set up \u00e9\u4e2d.exe"), FatalMessage::kTruncated,
                kTruncatedExit);
}

TEST_F(PackageChecks, PackageSignedAfterBuildingPassesTheSizeTest) {
  const std::string key = folder_ + "/key.pem";
  const std::string cert = folder_ + "/cert.pem";
  const std::string unsigned_path = folder_ + "/unsigned.exe";
  const std::string signed_path = folder_ + "/signed.exe";
  WriteBytes(unsigned_path, package_);
  auto openssl = stub::testing::RunProcess({"openssl", "req", "-x509", "-newkey", "rsa:2048",
                                            "-nodes", "-keyout", key, "-out", cert, "-days", "2",
                                            "-subj", "/CN=Throw-away test signer"});
  ASSERT_EQ(openssl.status, 0) << openssl.err;
  auto sign = stub::testing::RunProcess({"osslsigncode", "sign", "-certs", cert, "-key", key,
                                         "-in", unsigned_path, "-out", signed_path});
  ASSERT_EQ(sign.status, 0) << sign.out << sign.err;
  const std::vector<uint8_t> signed_package = ReadBytes(signed_path);
  ASSERT_GT(signed_package.size(), package_.size());
  ExpectAccepted(RunPackage(signed_package));
}

TEST_F(PackageChecks, DetachedSizeReplacesTheMinimumFileSize) {
  // MinFileSize beyond the file, DetachedSize within it: accepted.
  std::vector<uint8_t> detached = package_;
  stub::TPackageLocator locator = Locator(detached);
  locator.MinFileSize = static_cast<int64_t>(detached.size()) + 1000000;
  locator.DetachedSize = static_cast<uint32_t>(detached.size());
  SetLocator(detached, locator);
  const WineRun accepted = RunPackage(detached);
  ASSERT_TRUE(accepted.started) << accepted.trace;
  EXPECT_TRUE(accepted.boxes.empty()) << accepted.trace;

  // DetachedSize one beyond the file: truncated.
  locator.DetachedSize = static_cast<uint32_t>(detached.size()) + 1;
  SetLocator(detached, locator);
  ExpectOnlyBox(RunPackage(detached), FatalMessage::kTruncated, kTruncatedExit);
}

TEST_F(PackageChecks, EmptyChecksumRegionWithCrcZeroPasses) {
  std::vector<uint8_t> bytes = package_;
  stub::TPackageLocator locator = Locator(bytes);
  locator.CrcLength = 0;
  locator.CrcValue = 0;
  SetLocator(bytes, locator);
  ExpectAccepted(RunPackage(bytes));
}

TEST_F(PackageChecks, HostileLocatorFieldsShowTheDamagedMessage) {
  struct Case {
    const char* name;
    void (*change)(stub::TPackageLocator&);
  };
  const Case cases[] = {
      {"CrcLength past the end of the file", [](stub::TPackageLocator& l) { l.CrcLength = 0xFFFFFFF0; }},
      {"PackageOffset at 2^31", [](stub::TPackageLocator& l) { l.PackageOffset = 0x80000000; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<uint8_t> bytes = package_;
    stub::TPackageLocator locator = Locator(bytes);
    c.change(locator);
    SetLocator(bytes, locator);
    ExpectOnlyBox(RunPackage(bytes), FatalMessage::kDamaged, kDamagedExit);
  }
}

}  // namespace
}  // namespace e2e
