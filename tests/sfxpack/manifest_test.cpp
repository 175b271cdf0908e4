// SPDX-License-Identifier: Zlib
// build --json and --manifest: the manifest describes the package as written,
// its checksums as sha256sum computes them, wherever the package goes.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/sfxpack/sfxpack_cli.h"
#include "tests/support/test_icons.h"
#include "tests/support/test_images.h"

namespace sfxpack::testing {
namespace {

namespace fs = std::filesystem;

TEST(SfxpackManifest, DescribesThePackageAsWritten) {
  if (stub::testing::RunProcess({"sh", "-c", "command -v python3"}).status != 0) {
    GTEST_SKIP() << "python3 is missing (tools/install-deps.sh)";
  }
  const fs::path folder = ScratchFolder();
  const auto file = [&](const char* name) { return (folder / name).string(); };
  WriteBytes(file("inner.exe"),
             stub::testing::AsWindowsProgram(stub::testing::SampleBytes(30000, 3)));
  WriteBytes(file("data.bin"), stub::testing::SampleBytes(5000, 4));
  WriteBytes(file("app.ico"), stub::testing::MakeTestIcon());
  const auto result = Sfxpack({"build", "-q", file("inner.exe"), "-o", file("setup.exe"), "--json",
                               "--manifest", file("manifest.json"), "--data", file("data.bin"),
                               "--os", "10", "--min-build", "19045", "--method", "x86", "--icon",
                               file("app.ico"), "--company-name", "Example"});
  ASSERT_EQ(result.status, 0) << result.err;
  const std::vector<uint8_t> written = ReadBytes(file("manifest.json"));
  EXPECT_EQ(result.out, std::string(written.begin(), written.end()));
  const std::string inner_sha = Sha256sum(file("inner.exe"));
  struct Field {
    const char* path;
    std::string value;  // as JSON
  };
  const Field fields[] = {
      {"d['output']['path']", "\"" + file("setup.exe") + "\""},
      {"d['output']['size']", std::to_string(fs::file_size(file("setup.exe")))},
      {"d['output']['sha256']", "\"" + Sha256sum(file("setup.exe")) + "\""},
      {"d['inner']['path']", "\"" + file("inner.exe") + "\""},
      {"d['inner']['size']", "30000"},
      {"d['inner']['sha256']", "\"" + inner_sha + "\""},
      {"d['inner']['signed']", "false"},
      {"d['further_data']['length']", "5000"},
      {"d['stream']['method']", "\"x86\""},
      {"d['stream']['blocks']", "null"},
      {"d['windows']['os']", "[\"10\"]"},
      {"d['windows']['min_build']", "19045"},
      {"d['identity']['version']['strings']['CompanyName']", "\"Example\""},
      {"len(d['identity']['icons']) > 0", "true"},
      {"d['signature']['signed']", "false"},
      {"d['sign_command']", "null"},
  };
  for (const Field& field : fields) EXPECT_EQ(JsonValue(result.out, field.path), field.value);
  // An xz stream names its blocks.
  const auto xz = Sfxpack({"build", "-q", file("inner.exe"), "-o", file("xz.exe"), "--json",
                           "--method", "xz", "--threads", "2", "--allow-unsigned-inner"});
  ASSERT_EQ(xz.status, 0) << xz.err;
  EXPECT_EQ(JsonValue(xz.out, "d['stream']['method']"), "\"xz\"");
  EXPECT_EQ(JsonValue(xz.out, "d['stream']['blocks']['count']"), "1");
  EXPECT_EQ(JsonValue(xz.out, "d['stream']['blocks']['block_size'] >= 30000"), "true");

  // --manifest alone leaves the summary where it was.
  const auto summary = Sfxpack({"build", "-o", file("again.exe"), file("inner.exe"),
                                "--manifest", file("again.json"), "--allow-unsigned-inner"});
  EXPECT_EQ(summary.out.rfind(file("again.exe") + ": ", 0), 0u) << summary.out;
  const std::vector<uint8_t> again = ReadBytes(file("again.json"));
  EXPECT_EQ(JsonValue(std::string(again.begin(), again.end()), "d['output']['sha256']"),
            "\"" + Sha256sum(file("again.exe")) + "\"");

  // A package that goes to standard output leaves it to the package: the
  // manifest goes to standard error, with the digest of the bytes piped.
  stub::testing::ProcessOptions in_folder;
  in_folder.working_directory = folder.string();
  in_folder.set_env["sfxpack"] = SFXPACK_BINARY;
  const auto piped = stub::testing::RunProcess(
      {"sh", "-c",
       "\"$sfxpack\" build -q --allow-unsigned-inner inner.exe -o /dev/stdout --json "
       "2>piped.json | cat > piped.exe"},
      in_folder);
  ASSERT_EQ(piped.status, 0) << piped.err;
  const std::vector<uint8_t> on_stderr = ReadBytes(folder / "piped.json");
  const std::string manifest(on_stderr.begin(), on_stderr.end());
  EXPECT_EQ(JsonValue(manifest, "d['output']['sha256']"), "\"" + Sha256sum(folder / "piped.exe") + "\"");
  EXPECT_EQ(JsonValue(manifest, "d['inner']['sha256']"), "\"" + inner_sha + "\"");
}

}  // namespace
}  // namespace sfxpack::testing
