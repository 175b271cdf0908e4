// SPDX-License-Identifier: Zlib
// Every --json output is one JSON document and nothing else, whatever the
// package: Python's json module, a parser of its own, reads each whole.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/sfxpack/sfxpack_cli.h"
#include "tests/support/test_images.h"

namespace sfxpack::testing {
namespace {

namespace fs = std::filesystem;
using stub::testing::RunProcess;

TEST(SfxpackJsonOutput, EveryJsonOutputIsOneDocument) {
  if (RunProcess({"sh", "-c", "command -v osslsigncode && command -v openssl && command -v python3"})
          .status != 0) {
    GTEST_SKIP() << "osslsigncode, openssl or python3 is missing (tools/install-deps.sh)";
  }
  const fs::path folder = ScratchFolder();
  const auto file = [&](const char* name) { return (folder / name).string(); };
  WriteBytes(file("inner.exe"),
             stub::testing::AsWindowsProgram(stub::testing::SampleBytes(20000, 7)));
  ASSERT_EQ(Sfxpack({"build", "-q", file("inner.exe"), "-o", file("plain.exe")}).status, 0);
  ASSERT_EQ(RunProcess({"openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                        "-subj", "/CN=sfxpack test", "-keyout", file("key.pem"), "-out",
                        file("cert.pem")})
                .status,
            0);
  ASSERT_EQ(RunProcess({"osslsigncode", "sign", "-certs", file("cert.pem"), "-key",
                        file("key.pem"), "-in", file("plain.exe"), "-out", file("signed.exe")})
                .status,
            0);
  std::vector<uint8_t> appended = ReadBytes(file("signed.exe"));
  appended.insert(appended.end(), 100, '\x1b');
  WriteBytes(file("appended.exe"), appended);
  std::vector<uint8_t> cut = ReadBytes(file("plain.exe"));
  cut.resize(cut.size() - 1);
  WriteBytes(file("cut.exe"), cut);

  struct Package {
    const char* name;
    const char* is_signed;  // verify's and inspect's signature.signed
  };
  const Package packages[] = {{"plain.exe", "false"},    {"signed.exe", "true"},
                              {"appended.exe", "true"},  {"cut.exe", "false"},
                              {"inner.exe", "false"}};  // no package at all
  struct Command {
    std::vector<std::string> args;  // the package goes behind the first
    std::string signed_path;        // where the signature's "signed" is; empty: nowhere
  };
  const Command commands[] = {
      {{"inspect", "--json"}, "d['signature']['signed']"},
      {{"verify", "--json"}, "d['signature']['signed']"},
      {{"gate", "--json", "--windows", "6.1"}, ""},
      {{"gate", "--json", "--all"}, ""},
  };
  for (const Package& package : packages) {
    for (const Command& command : commands) {
      std::vector<std::string> args = command.args;
      args.insert(args.begin() + 1, file(package.name));
      const auto result = Sfxpack(args);
      const std::string what = args[0] + " " + package.name;
      EXPECT_EQ(JsonValue(result.out, "d['file']"), "\"" + file(package.name) + "\"")
          << what << "\n" << result.out;
      if (!command.signed_path.empty()) {
        EXPECT_EQ(JsonValue(result.out, command.signed_path),
                  std::string(package.is_signed))
            << what;
      }
    }
  }
  // The signature's problems are part of verify's document.
  EXPECT_EQ(JsonValue(Sfxpack({"verify", "--json", file("appended.exe")}).out,
                       "d['signature']['behind']"),
            "100");
}

}  // namespace
}  // namespace sfxpack::testing
