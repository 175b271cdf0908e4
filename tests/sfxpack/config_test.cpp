// SPDX-License-Identifier: Zlib
// sfxpack build --config: a TOML file gives the same package as the command
// line it stands for, and names its mistakes.
#include <gtest/gtest.h>

#include "tests/sfxpack/sfxpack_cli.h"
#include "tests/support/test_images.h"

namespace sfxpack::testing {
namespace {

namespace fs = std::filesystem;

TEST(SfxpackConfig, AFileGivesWhatItsCommandLineGives) {
  // The file lies in conf/ and names its files relative to it; sfxpack runs
  // in run/.
  const fs::path folder = ScratchFolder();
  for (const char* sub : {"conf/out", "run", "cli"}) fs::create_directories(folder / sub);
  WriteBytes(folder / "conf/inner.exe",
             stub::testing::AsWindowsProgram(stub::testing::SampleBytes(30000, 4)));
  WriteBytes(folder / "conf/payload.bin", stub::testing::SampleBytes(5000, 5));
  const std::string conf = (folder / "conf").string() + "/";
  const std::string package = R"(# the package, as the repository keeps it
inner = "inner.exe"            # beside this file
output = 'out/setup.exe'
data = "payload.bin"
os = "7,8,10"
min-release = 1507
max-release = 2009
min-build = 19045
elevation = "runas"
message = "Needs Windows 7 #1, or later"
method = "x86"
preset = 6
extreme = true
lc = 2
pb = 1
dict = "64KiB"
file-version = "1.2.3"
company-name = "Example Ltd"
version-string = [
  "Comments=Built by CI",
  "PrivateBuild=a, b",
]
)";
  const std::vector<std::string> same = {
      "--inner", conf + "inner.exe", "--data", conf + "payload.bin", "--os", "7,8,10",
      "--min-build", "19045",
      "--min-release", "1507", "--max-release", "2009", "--elevation", "runas", "--message",
      "Needs Windows 7 #1, or later", "--method", "x86", "--preset", "6", "--extreme", "--lc",
      "2", "--pb", "1", "--dict", "64KiB", "--file-version", "1.2.3", "--company-name", "Example Ltd",
      "--version-string", "Comments=Built by CI", "--version-string", "PrivateBuild=a, b"};
  struct Case {
    const char* name;
    std::string file;
    std::vector<std::string> args;  // beside --config
    std::vector<std::string> same;  // the command line that gives the same bytes
    int status;
    std::string error;  // the whole of stderr when it fails
  };
  const auto with = [&](std::vector<std::string> extra) {
    std::vector<std::string> all = same;
    all.insert(all.end(), extra.begin(), extra.end());
    return all;
  };
  const std::string file = "config file '" + conf + "package.toml', ";
  const Case cases[] = {
      {"every kind of value", package, {}, with({}), 0, ""},
      {"the command line overrides the file", package,
       {"--company-name", "Other", "--preset", "1", "--version-string", "Comments=x"},
       {"--inner", conf + "inner.exe", "--data", conf + "payload.bin", "--os", "7,8,10",
        "--min-build", "19045",
        "--min-release", "1507", "--max-release", "2009", "--elevation", "runas", "--message",
        "Needs Windows 7 #1, or later", "--method", "x86", "--preset", "1", "--extreme", "--lc",
        "2", "--pb", "1", "--dict", "64KiB", "--file-version", "1.2.3", "--company-name", "Other",
        "--version-string", "Comments=x"},
       0, ""},
      {"a [build] section", "[build]\n" + package, {}, with({}), 0, ""},
      {"an option the command line excludes", package, {"--os-mask", "0x780"},
       {"--inner", conf + "inner.exe", "--data", conf + "payload.bin", "--os-mask", "0x780",
        "--min-build", "19045",
        "--min-release", "1507", "--max-release", "2009", "--elevation", "runas", "--message",
        "Needs Windows 7 #1, or later", "--method", "x86", "--preset", "6", "--extreme", "--lc",
        "2", "--pb", "1", "--dict", "64KiB", "--file-version", "1.2.3", "--company-name",
        "Example Ltd", "--version-string", "Comments=Built by CI", "--version-string",
        "PrivateBuild=a, b"},
       0, ""},
      {"a flag unset", package, {"--extreme=false", "--min-build", "0"},
       {"--inner", conf + "inner.exe", "--data", conf + "payload.bin", "--os", "7,8,10",
        "--min-release", "1507", "--max-release", "2009", "--elevation", "runas", "--message",
        "Needs Windows 7 #1, or later", "--method", "x86", "--preset", "6", "--lc",
        "2", "--pb", "1", "--dict", "64KiB", "--file-version", "1.2.3", "--company-name",
        "Example Ltd", "--version-string", "Comments=Built by CI", "--version-string",
        "PrivateBuild=a, b"},
       0, ""},
      {"a key misspelt", "compnay-name = \"x\"\n" + package, {}, {}, 2,
       "sfxpack build: " + file + "line 1, column 1: unknown key 'compnay-name' (did you mean "
       "company-name?)"},
      {"a value out of range", "lp = 7\n" + package, {}, {}, 2,
       "sfxpack build: " + file + "line 1: --lp \"7\" is not a number from 0 to 4"},
      {"two values for one", "stub = [\"a.exe\", \"b.exe\"]\n" + package, {}, {}, 2,
       "sfxpack build: " + file +
           "line 1, column 1: stub takes a file name in quotes (stub = \"...\"), not an array"},
  };
  for (const Case& c : cases) {
    WriteBytes(folder / "conf/package.toml", std::vector<uint8_t>(c.file.begin(), c.file.end()));
    fs::remove(folder / "conf/out/setup.exe");
    std::vector<std::string> args = {"build", "-q", "--config", conf + "package.toml"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    stub::testing::ProcessOptions in_run;
    in_run.working_directory = (folder / "run").string();
    const auto result = Sfxpack(args, in_run);
    EXPECT_EQ(result.status, c.status) << c.name << ": " << result.err;
    if (c.status != 0) {
      EXPECT_EQ(result.err, c.error + "\n") << c.name;
      continue;
    }
    std::vector<std::string> command_line = {"build", "-q", "-o", (folder / "cli/setup.exe").string()};
    command_line.insert(command_line.end(), c.same.begin(), c.same.end());
    ASSERT_EQ(Sfxpack(command_line).status, 0) << c.name;
    EXPECT_TRUE(ReadBytes(folder / "conf/out/setup.exe") == ReadBytes(folder / "cli/setup.exe"))
        << c.name;
  }
  const auto missing = Sfxpack({"build", "--config", conf + "none.toml"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.err,
            "sfxpack build: cannot open config file '" + conf + "none.toml': No such file or directory\n");
  // A path that leaves the file's folder is named as the system finds it,
  // from the current folder.
  fs::create_directories(folder / "conf/sub");
  const std::string up = "inner = \"../inner.exe\"\noutput = \"../out/setup.exe\"\n";
  WriteBytes(folder / "conf/sub/up.toml", std::vector<uint8_t>(up.begin(), up.end()));
  stub::testing::ProcessOptions in_folder;
  in_folder.working_directory = folder.string();
  const auto summary = Sfxpack({"build", "--config", "conf/sub/up.toml"}, in_folder);
  EXPECT_EQ(summary.status, 0) << summary.err;
  EXPECT_EQ(summary.out.rfind("conf/out/setup.exe: ", 0), 0u) << summary.out;
}

}  // namespace
}  // namespace sfxpack::testing
