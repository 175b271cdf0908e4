// SPDX-License-Identifier: Zlib
// Mistakes on sfxpack's command line: one line that names the mistake.
#include <gtest/gtest.h>

#include "tests/sfxpack/sfxpack_cli.h"
#include "tests/support/test_images.h"

namespace sfxpack::testing {
namespace {

TEST(SfxpackCommandLine, EachMistakeIsNamedOnOneLine) {
  struct Case {
    std::vector<std::string> args;
    std::string error;  // the whole of stderr
  };
  const Case cases[] = {
      {{"build", "--input", "x.exe", "-o", "out.exe"},
       "sfxpack build: unknown option '--input' (did you mean --inner?)"},
      {{"build", "x.exe", "-o", "out.exe", "--compnay-name", "Ex"},
       "sfxpack build: unknown option '--compnay-name' (did you mean --company-name?)"},
      {{"build", "x.exe", "-o", "out.exe", "--dictionary=4M"},
       "sfxpack build: unknown option '--dictionary' (did you mean --dict?)"},
      {{"build", "x.exe", "-o", "out.exe", "--bogus"},
       "sfxpack build: unknown option '--bogus' (sfxpack build --help lists the options)"},
      {{"verify", "setup.exe", "-exit-code-file", "x"},
       "sfxpack verify: unknown option '-exit-code-file' (did you mean --exit-code-file?)"},
      {{"built"}, "sfxpack: unknown command 'built' (did you mean build?)"},
      {{"frobnicate"},
       "sfxpack: unknown command 'frobnicate': the commands are build, inspect, verify, extract "
       "or gate"},
      {{}, "sfxpack: a command is missing: build, inspect, verify, extract or gate (sfxpack --help)"},
      {{"build", "x.exe", "-o", "out.exe", "--data", "a", "--data", "b"},
       "sfxpack build: --data is given 2 times ('a', 'b'), but takes one FILE"},
      {{"build", "x.exe", "--inner", "y.exe", "-o", "out.exe"},
       "sfxpack build: --inner (or the argument PROGRAM) is given 2 times ('x.exe', 'y.exe'), but "
       "takes one PROGRAM"},
      {{"build", "x.exe", "y.exe", "-o", "out.exe"},
       "sfxpack build: unexpected argument 'y.exe' (build takes one PROGRAM; options start with -)"},
      {{"build", "-o", "out.exe"}, "sfxpack build: --inner (or the argument PROGRAM) is required"},
      {{"build", "x.exe", "-o"}, "sfxpack build: --output needs a value: --output FILE"},
      {{"build", "x.exe", "-o", "out.exe", "--preset", "12"},
       "sfxpack build: --preset \"12\" is not a number from 0 to 9"},
      {{"build", "x.exe", "-o", "out.exe", "--os", "7", "--os-mask", "3"},
       "sfxpack build: --os and --os-mask exclude each other: give one of them"},
      {{"gate", "setup.exe"}, "sfxpack gate: --windows is required (or --all for every Windows)"},
      {{"build", "x.exe", "-o", "out.exe", "--\x1b]0;title\x07"},
       "sfxpack build: unknown option '--\\x1b]0;title\\x07' (sfxpack build --help lists the "
       "options)"},
  };
  for (const Case& c : cases) {
    const auto result = Sfxpack(c.args);
    EXPECT_EQ(result.status, 2) << c.error;
    EXPECT_EQ(result.err, c.error + "\n");
    EXPECT_EQ(result.out, "");
  }
}

TEST(SfxpackCommandLine, TheInnerProgramMayBeTheOneArgument) {
  const std::filesystem::path folder = ScratchFolder();
  WriteBytes(folder / "inner.exe", stub::testing::AsWindowsProgram(stub::testing::SampleBytes(3000, 2)));
  const auto result = Sfxpack({"build", "-q", (folder / "inner.exe").string(), "-o",
                               (folder / "setup.exe").string()});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(Sfxpack({"verify", (folder / "setup.exe").string()}).status, 0);
}

}  // namespace
}  // namespace sfxpack::testing
