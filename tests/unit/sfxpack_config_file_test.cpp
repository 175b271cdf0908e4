// SPDX-License-Identifier: Zlib
// The config file of sfxpack build read from its bytes: what TOML allows, and
// every kind of file refused with its line and column.
#include "tools/sfxpack/commands/config_file.h"

#include <gtest/gtest.h>

#include "tests/support/tool_error_of.h"

namespace sfxpack {
namespace {

using enum ValueKind;
using stub::testing::ToolErrorOf;

const ConfigKey kKeys[] = {{"inner", kFile},        {"preset", kNumber},
                           {"extreme", kFlag},      {"version-string", kList},
                           {"company-name", kText}, {"sign.command", kText}};

std::vector<ConfigValue> Parse(const std::string& text) {
  return ParseConfigFile(text, "ci/p.toml", kKeys);
}

TEST(SfxpackConfigFile, TomlValuesBecomeOptionValues) {
  const std::string file =
      "\xEF\xBB\xBF# a byte order mark, then comments\n"
      "company-name = \"Example # not a comment\"  # a comment\n"
      "preset = 6\n"
      "version-string = [\n"
      "  'Comments=C:\\literal',\n"
      "  \"PrivateBuild=\\u00e9\",\n"
      "]\n"
      "[build]\n"
      "extreme = false\n"
      "inner = \"app.exe\"\n"
      "[sign]\n"
      "command = \"sign {file}\"\n";
  const std::vector<ConfigValue> values = Parse(file);
  const std::vector<std::pair<std::string, std::vector<std::string>>> expected = {
      {"company-name", {"Example # not a comment"}},
      {"preset", {"6"}},
      {"version-string", {"Comments=C:\\literal", "PrivateBuild=\xC3\xA9"}},
      {"extreme", {"false"}},
      {"inner", {"app.exe"}},
      {"sign.command", {"sign {file}"}},
  };
  ASSERT_EQ(values.size(), expected.size());
  for (size_t i = 0; i < values.size(); ++i) {
    EXPECT_EQ(values[i].key, expected[i].first);
    EXPECT_EQ(values[i].values, expected[i].second) << values[i].key;
  }
  EXPECT_EQ(values[3].line, 9u);
  // A number may also be written as the command line takes it, and one text
  // stands for a list of one.
  EXPECT_EQ(Parse("preset = \"7\"\nversion-string = \"A=b\"\n")[1].values,
            std::vector<std::string>{"A=b"});
}

TEST(SfxpackConfigFile, EveryMistakeNamesItsLineAndColumn) {
  struct Case {
    std::string file;
    std::string error;  // "config file 'ci/p.toml', " is in front
  };
  const std::string toml = "not valid TOML: ";
  const Case cases[] = {
      {"company-name = \"X # not a comment\n",
       "line 1, column 34: " + toml +
           "error while parsing string: unescaped control characters other than TAB (U+0009) "
           "are explicitly prohibited"},
      {"preset = 1\nversion-string = [\"Comments=a\",\n",
       "line 2, column 33: " + toml + "error while parsing array: encountered end-of-file"},
      {"extreme = yes\n",
       "line 1, column 11: " + toml + "error while parsing value: could not determine value type"},
      {"company-name = \"Example\" extra junk\n",
       "line 1, column 26: " + toml +
           "error while parsing key-value pair: expected a comment or whitespace, saw 'e'"},
      {"preset = 1\npreset = 2\n",
       "line 2, column 10: " + toml +
           "error while parsing key-value pair: cannot redefine existing integer 'preset'"},
      // Invalid UTF-8 in a key is never echoed.
      {"pre\xFFset = 1\n", "line 1, column 3: " + toml + "encountered invalid utf-8 sequence"},
      {"[{x]\n", "line 1, column 2: " + toml +
                       "error while parsing key: expected bare key starting character or "
                       "string delimiter, saw '{'"},
      {"compnay-name = \"x\"\n",
       "line 1, column 1: unknown key 'compnay-name' (did you mean company-name?)"},
      {"\n\n  frobnicate = 1\n",
       "line 3, column 3: unknown key 'frobnicate' (the keys are build's long options)"},
      {"[sign]\ncomand = \"x\"\n",
       "line 2, column 1: unknown key 'comand' under [sign] (did you mean command?)"},
      {"[verify]\nfile = \"x\"\n",
       "line 1, column 2: unknown table [verify] (the tables are [build] and [sign])"},
      {"[build.sub]\nx = 1\n",
       "line 1, column 8: unknown table [build.sub] (the tables are [build] and [sign])"},
      {"[[build]]\n", "line 1, column 3: [build] is a table of options, not an array"},
      {"preset = 1\n[build]\npreset = 2\n",
       "line 3, column 1: preset is given twice: at the top (line 1) and under [build]"},
      {"build.company-name = \"a\"\ncompany-name = \"b\"\n",
       "line 2, column 1: company-name is given twice: under [build] (line 1) and at the top"},
      {"extreme = \"true\"\n",
       "line 1, column 1: extreme takes true or false (extreme = true), not a string"},
      {"company-name = 1.5\n",
       "line 1, column 1: company-name takes a text in quotes (company-name = \"...\"), not a "
       "floating-point number"},
      {"inner = 2026-01-01\n",
       "line 1, column 1: inner takes a file name in quotes (inner = \"...\"), not a date"},
      {"preset = true\n",
       "line 1, column 1: preset takes a number (preset = 9, or in quotes as the command line "
       "takes it), not true or false"},
      {"version-string = [\"A=b\",\n  2]\n",
       "line 2, column 3: version-string takes an array of texts in quotes (version-string = "
       "[\"...\", \"...\"]), not an integer"},
      {"company-name = { a = 1 }\n",
       "line 1, column 1: company-name takes a text in quotes (company-name = \"...\"), not a "
       "table"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ToolErrorOf([&] { Parse(c.file); }), "config file 'ci/p.toml', " + c.error)
        << c.file;
  }
}

}  // namespace
}  // namespace sfxpack
