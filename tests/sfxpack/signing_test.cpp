// SPDX-License-Identifier: Zlib
// Signed packages: signing after the build keeps the package valid, verify
// and inspect say whether the signature covers the whole package; a signed
// launcher image is refused; build warns about an unsigned inner program.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/sfxpack/sfxpack_cli.h"
#include "tests/support/test_icons.h"
#include "tests/support/test_images.h"

namespace sfxpack::testing {
namespace {

namespace fs = std::filesystem;
using stub::testing::RunProcess;

class SfxpackSigning : public ::testing::Test {
 protected:
  void SetUp() override {
    if (RunProcess({"sh", "-c", "command -v osslsigncode && command -v openssl"}).status != 0) {
      GTEST_SKIP() << "osslsigncode or openssl is missing";
    }
    folder_ = ScratchFolder();
    const auto key = RunProcess({"openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes",
                                 "-days", "2", "-subj", "/CN=sfxpack test", "-keyout",
                                 (folder_ / "key.pem").string(), "-out",
                                 (folder_ / "cert.pem").string()});
    ASSERT_EQ(key.status, 0) << key.err;
  }

  void Sign(const fs::path& in, const fs::path& out) {
    const auto result = RunProcess({"osslsigncode", "sign", "-certs", (folder_ / "cert.pem").string(),
                                    "-key", (folder_ / "key.pem").string(), "-in", in.string(),
                                    "-out", out.string()});
    ASSERT_EQ(result.status, 0) << result.out << result.err;
  }

  fs::path folder_;
};

TEST_F(SfxpackSigning, SignedPackageStaysValidAndShowsItsCertificate) {
  WriteBytes(folder_ / "inner.exe",
             stub::testing::AsWindowsProgram(stub::testing::SampleBytes(20000, 3)));
  // With its own icon and version information, which are set before signing.
  WriteBytes(folder_ / "app.ico", stub::testing::MakeTestIcon());
  ASSERT_EQ(Sfxpack({"build", "-q", "--inner", (folder_ / "inner.exe").string(), "-o",
                     (folder_ / "setup.exe").string(), "--icon", (folder_ / "app.ico").string(),
                     "--file-version", "1.2.3.4", "--product-name", "Signed"})
                .status,
            0);
  Sign(folder_ / "setup.exe", folder_ / "signed.exe");
  const auto signature = RunProcess({"osslsigncode", "verify", "-CAfile", (folder_ / "cert.pem").string(),
                                     "-in", (folder_ / "signed.exe").string()});
  EXPECT_EQ(signature.status, 0) << signature.out << signature.err;
  const auto verify = Sfxpack({"verify", (folder_ / "signed.exe").string()});
  EXPECT_EQ(verify.status, 0) << verify.out;
  EXPECT_NE(verify.out.find(": signed: certificate table at "), std::string::npos) << verify.out;
  EXPECT_NE(verify.out.find("the signature covers the whole package"), std::string::npos)
      << verify.out;
  EXPECT_EQ(verify.out.find("signature problem"), std::string::npos) << verify.out;
  EXPECT_NE(Sfxpack({"verify", (folder_ / "setup.exe").string()}).out.find(": not signed"),
            std::string::npos);
  const auto inspect = Sfxpack({"inspect", (folder_ / "signed.exe").string()});
  EXPECT_NE(inspect.out.find("No problems found."), std::string::npos) << inspect.out;
  // The certificate table is the last region: nothing of the package lies
  // behind the signature, and only padding lies between them.
  const size_t map_end = inspect.out.find("Launcher image:");
  ASSERT_NE(map_end, std::string::npos) << inspect.out;
  const std::string map = inspect.out.substr(0, map_end);
  EXPECT_TRUE(map.ends_with("certificate table\n")) << map;
  const size_t package_end = map.find("message text");
  ASSERT_NE(package_end, std::string::npos);
  const std::string behind = map.substr(package_end);
  EXPECT_EQ(behind.find("unaccounted"), std::string::npos) << behind;
}

TEST_F(SfxpackSigning, BytesAppendedAfterSigningAreReported) {
  WriteBytes(folder_ / "inner.exe",
             stub::testing::AsWindowsProgram(stub::testing::SampleBytes(5000, 4)));
  ASSERT_EQ(Sfxpack({"build", "-q", "--inner", (folder_ / "inner.exe").string(), "-o",
                     (folder_ / "setup.exe").string()})
                .status,
            0);
  Sign(folder_ / "setup.exe", folder_ / "signed.exe");
  std::vector<uint8_t> bytes = ReadBytes(folder_ / "signed.exe");
  bytes.insert(bytes.end(), 16, 'x');
  WriteBytes(folder_ / "appended.exe", bytes);
  const auto verify = Sfxpack({"verify", (folder_ / "appended.exe").string()});
  EXPECT_EQ(verify.status, 0) << verify.out;  // the launcher does not read signatures
  EXPECT_NE(verify.out.find("signature problem: 16 bytes lie behind the certificate table"),
            std::string::npos)
      << verify.out;
  const auto inspect = Sfxpack({"inspect", "--json", (folder_ / "appended.exe").string()});
  EXPECT_NE(inspect.out.find("\"behind\": 16"), std::string::npos) << inspect.out;
}

TEST_F(SfxpackSigning, BuildWarnsAboutAnUnsignedInnerProgramUnlessAllowed) {
  WriteBytes(folder_ / "inner.exe", ReadBytes(LauncherImage()));
  Sign(folder_ / "inner.exe", folder_ / "signed-inner.exe");
  const std::string allow = "allow-unsigned-inner = true\n";
  WriteBytes(folder_ / "allow.toml", std::vector<uint8_t>(allow.begin(), allow.end()));
  struct Case {
    const char* inner;
    std::vector<std::string> options;
    bool warned;
  };
  const Case cases[] = {
      {"inner.exe", {}, true},
      {"signed-inner.exe", {}, false},
      {"inner.exe", {"--allow-unsigned-inner"}, false},
      {"inner.exe", {"--config", (folder_ / "allow.toml").string()}, false},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = {"build", "-q", "--inner", (folder_ / c.inner).string(), "-o",
                                     (folder_ / "setup.exe").string()};
    args.insert(args.end(), c.options.begin(), c.options.end());
    const auto result = Sfxpack(args);
    EXPECT_EQ(result.status, 0) << result.err;
    const bool warned = result.err.find("carries no Authenticode signature") != std::string::npos;
    EXPECT_EQ(warned, c.warned) << c.inner << " " << c.options.size() << ": " << result.err;
  }
}

TEST_F(SfxpackSigning, SignedLauncherImageIsRefused) {
  Sign(LauncherImage(), folder_ / "signed-stub.exe");
  WriteBytes(folder_ / "inner.exe", {1, 2, 3});
  const auto result = Sfxpack({"build", "--inner", (folder_ / "inner.exe").string(), "-o",
                               (folder_ / "setup.exe").string(), "--stub",
                               (folder_ / "signed-stub.exe").string()});
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(result.err.find("signed"), std::string::npos) << result.err;
  EXPECT_FALSE(fs::exists(folder_ / "setup.exe"));
}

}  // namespace
}  // namespace sfxpack::testing
