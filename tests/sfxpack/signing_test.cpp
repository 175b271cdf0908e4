// SPDX-License-Identifier: Zlib
// Signed packages: signing after the build keeps the package valid, verify
// and inspect say whether the signature covers the whole package; build
// signs with the vendor's command and checks it; a signed launcher image is
// refused; build warns about an unsigned inner program.
#include <gtest/gtest.h>

#include <algorithm>
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

TEST_F(SfxpackSigning, VerifyRequiresASignatureThatCoversThePackage) {
  WriteBytes(folder_ / "inner.exe",
             stub::testing::AsWindowsProgram(stub::testing::SampleBytes(5000, 4)));
  ASSERT_EQ(Sfxpack({"build", "-q", "--inner", (folder_ / "inner.exe").string(), "-o",
                     (folder_ / "setup.exe").string()})
                .status,
            0);
  Sign(folder_ / "setup.exe", folder_ / "signed.exe");
  std::vector<uint8_t> bytes = ReadBytes(folder_ / "signed.exe");
  const size_t signed_size = bytes.size();
  bytes.insert(bytes.end(), 16, 'x');
  WriteBytes(folder_ / "appended.exe", bytes);
  std::vector<uint8_t> damaged = ReadBytes(folder_ / "signed.exe");
  damaged[damaged.size() - 2000] ^= 1;  // inside the package's stream
  WriteBytes(folder_ / "damaged.exe", damaged);
  struct Case {
    const char* package;
    int status;
    std::string error;  // the whole of stderr
  };
  const Case cases[] = {
      {"signed.exe", 0, ""},
      {"setup.exe", 1, "the package is not signed"},
      {"appended.exe", 1,
       "16 bytes at offset " + std::to_string(signed_size) + " lie behind the certificate table"},
      {"damaged.exe", 1392 % 256, ""},  // the launcher's verdict comes first
  };
  for (const Case& c : cases) {
    const std::string package = (folder_ / c.package).string();
    const auto result = Sfxpack({"verify", "--require-signature", package});
    EXPECT_EQ(result.status, c.status) << c.package << ": " << result.err;
    if (c.error.empty()) {
      EXPECT_EQ(result.err, "") << c.package;
    } else {
      EXPECT_EQ(result.err.rfind("sfxpack verify: " + package + ": --require-signature: " + c.error,
                                 0),
                0u)
          << result.err;
      EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
    }
  }
  // Without --require-signature the bytes behind are a problem reported, not
  // a verdict: the launcher does not read signatures.
  const std::string appended = (folder_ / "appended.exe").string();
  const auto verify = Sfxpack({"verify", appended});
  EXPECT_EQ(verify.status, 0) << verify.out;
  EXPECT_NE(verify.out.find("signature problem: 16 bytes at offset " +
                            std::to_string(signed_size) + " lie behind the certificate table"),
            std::string::npos)
      << verify.out;
  EXPECT_NE(Sfxpack({"inspect", "--json", appended}).out.find("\"behind\": 16"), std::string::npos);
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

// build --sign-command: the vendor's tool signs the package (and with
// --sign-inner the inner program's copy) before it replaces the output, and
// sfxpack checks the result; a secret on the command line never shows.
TEST_F(SfxpackSigning, TheBuildSignsWithTheVendorsCommand) {
  ASSERT_EQ(RunProcess({"openssl", "pkcs12", "-export", "-inkey", (folder_ / "key.pem").string(),
                        "-in", (folder_ / "cert.pem").string(), "-out",
                        (folder_ / "cert.pfx").string(), "-passout", "pass:s3cret"})
                .status,
            0);
  WriteBytes(folder_ / "inner.exe", ReadBytes(LauncherImage()));  // a real program, to sign
  const std::string pem = "osslsigncode sign -certs cert.pem -key key.pem -pass s3cret -in {file} "
                          "-out {file}.signed && mv {file}.signed {file}";
  const std::string pfx = "osslsigncode sign -pkcs12 cert.pfx -pass s3cret -h sha256 -in {file} "
                          "-out {file}.signed && mv {file}.signed {file}";
  const std::string config = "inner = \"inner.exe\"\n[sign]\ncommand = \"" + pfx + "\"\ninner = true\n";
  WriteBytes(folder_ / "sign.toml", std::vector<uint8_t>(config.begin(), config.end()));
  struct Case {
    const char* name;
    std::vector<std::string> options;
    int status;
    std::string error;  // in stderr
    bool inner_signed = false;
    const char* output = "setup.exe";
  };
  const Case cases[] = {
      {"PEM", {"--sign-command", pem}, 0, "sfxpack build: signing the package: osslsigncode ***"},
      {"PKCS#12, inner too", {"--sign-command", pfx, "--sign-inner"}, 0,
       "sfxpack build: signing the inner program inner.exe: osslsigncode ***", true},
      {"[sign] in the config file", {"--config", "sign.toml"}, 0, "", true},
      {"the tool fails", {"--sign-command", "osslsigncode sign -pass s3cret -in {file}"}, 1,
       "sfxpack build: the sign command (osslsigncode *** *** *** *** {file}) failed on the "
       "package with exit status "},
      {"the tool signs nothing", {"--sign-command", "true {file}"}, 1,
       "after the sign command (true {file}), the package is not signed"},
      {"bytes appended after signing", {"--sign-command", pem + " && printf xx >> {file}"}, 1,
       "2 bytes at offset "},
      {"the tool changes the package",
       {"--sign-command", "printf x | dd of={file} bs=1 seek=$(($(stat -c %s {file}) - 100)) conv=notrunc && " + pem}, 1,
       "the signed package fails the launcher's check size_and_checksum"},
      {"no {file}", {"--sign-command", "osslsigncode sign -pass s3cret"}, 2,
       "--sign-command (osslsigncode *** *** ***) has no {file}"},
      {"--sign-inner alone", {"--sign-inner"}, 2, "--sign-inner needs --sign-command"},
      {"to standard output", {"--sign-command", pem}, 2, "--sign-command needs -o to name a file",
       false, "/dev/stdout"},
  };
  stub::testing::ProcessOptions in_folder;
  in_folder.working_directory = folder_.string();
  for (const Case& c : cases) {
    // A file replaced keeps its mode, whatever mode the tool gives its new file.
    WriteBytes(folder_ / "setup.exe", {'o', 'l', 'd'});
    fs::permissions(folder_ / "setup.exe", fs::perms::owner_all | fs::perms::group_read |
                                               fs::perms::group_exec);
    const std::vector<std::string> before = FolderContents(folder_);
    std::vector<std::string> args = {"build", "-o", c.output, "--json"};
    if (c.name != std::string("[sign] in the config file")) args.push_back("inner.exe");
    args.insert(args.end(), c.options.begin(), c.options.end());
    const auto result = Sfxpack(args, in_folder);
    EXPECT_EQ(result.status, c.status) << c.name << ": " << result.err;
    EXPECT_NE(result.err.find(c.error), std::string::npos) << c.name << ": " << result.err;
    EXPECT_EQ(result.err.find("s3cret"), std::string::npos) << c.name << ": " << result.err;
    EXPECT_EQ(result.out.find("s3cret"), std::string::npos) << c.name << ": " << result.out;
    EXPECT_EQ(FolderContents(folder_), before) << c.name;  // no temporary file stays
    if (c.status != 0) {
      EXPECT_EQ(ReadBytes(folder_ / "setup.exe"), (std::vector<uint8_t>{'o', 'l', 'd'})) << c.name;
      continue;
    }
    const auto verified = RunProcess({"osslsigncode", "verify", "-CAfile",
                                      (folder_ / "cert.pem").string(), "-in",
                                      (folder_ / "setup.exe").string()});
    EXPECT_EQ(verified.status, 0) << c.name << ": " << verified.out << verified.err;
    EXPECT_EQ(fs::status(folder_ / "setup.exe").permissions(),
              fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec)
        << c.name;
    EXPECT_EQ(JsonValue(result.out, "d['signature']['covers_package']"), "true") << c.name;
    EXPECT_EQ(JsonValue(result.out, "d['sign_command'].startswith('osslsigncode *** ')"), "true");
    EXPECT_EQ(JsonValue(result.out, "d['inner']['signed']"), c.inner_signed ? "true" : "false")
        << c.name;
    EXPECT_EQ(JsonValue(result.out, "d['output']['sha256']"),
              "\"" + Sha256sum(folder_ / "setup.exe") + "\"")
        << c.name;
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
