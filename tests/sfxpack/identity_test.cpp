// SPDX-License-Identifier: Zlib
// sfxpack build's icon and version options, read back by icoutils' wrestool
// and by inspect; the options and inputs it refuses.
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
using stub::testing::SampleBytes;

class SfxpackIdentity : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = ScratchFolder();
    WriteBytes(folder_ / "inner.exe", stub::testing::AsWindowsProgram(SampleBytes(30000, 5)));
    WriteBytes(folder_ / "app.ico", stub::testing::MakeTestIcon(64));
  }

  stub::testing::ProcessResult Build(const std::string& output, std::vector<std::string> options) {
    options.insert(options.begin(), {"build", "-q", "--inner", (folder_ / "inner.exe").string(),
                                     "-o", (folder_ / output).string()});
    return Sfxpack(options);
  }

  // What wrestool prints for `args` on `file`; fails the test unless it succeeds.
  std::string Wrestool(std::vector<std::string> args, const fs::path& file) {
    args.insert(args.begin(), "wrestool");
    args.push_back(file.string());
    const auto result = RunProcess(args);
    EXPECT_EQ(result.status, 0) << result.err;
    return result.out;
  }

  fs::path folder_;
};

TEST_F(SfxpackIdentity, WrestoolAndInspectReadTheIconAndVersionGiven) {
  if (RunProcess({"sh", "-c", "command -v wrestool"}).status != 0) GTEST_SKIP() << "no wrestool";
  const auto built =
      Build("setup.exe", {"--icon", (folder_ / "app.ico").string(), "--file-version", "2.5",
                          "--company-name", "Ex\xC3\xA4mple Ltd", "--file-description", "Example Setup",
                          "--product-name", "Example", "--legal-copyright", "(c) 2026 Example",
                          "--version-string", "Comments=Built = nightly"});
  ASSERT_EQ(built.status, 0) << built.err;
  const fs::path package = folder_ / "setup.exe";
  EXPECT_EQ(Sfxpack({"verify", package.string()}).status, 0);

  const std::string list = Wrestool({"-l"}, package);
  for (const char* resource : {"--type=14 --name=1 --language=1033", "--type=3 --name=1",
                               "--type=3 --name=2", "--type=16 --name=1", "--type=24 --name=1"}) {
    EXPECT_NE(list.find(resource), std::string::npos) << resource << "\n" << list;
  }
  // wrestool rebuilds the .ico from the group and its icons; it writes as many
  // bytes again as the group holds behind it, read from beyond its buffer.
  const std::string icon = Wrestool({"-x", "-t14"}, package);
  const std::vector<uint8_t> input = ReadBytes(folder_ / "app.ico");
  ASSERT_GE(icon.size(), input.size());
  EXPECT_TRUE(std::vector<uint8_t>(icon.begin(), icon.begin() + input.size()) == input);
  // The manifest stays byte for byte.
  EXPECT_EQ(Wrestool({"-x", "--raw", "-t24"}, package), Wrestool({"-x", "--raw", "-t24"}, LauncherImage()));

  const std::string json = Sfxpack({"inspect", "--json", package.string()}).out;
  for (const char* expected :
       {"\"file_version\": \"2.5.0.0\"", "\"product_version\": \"2.5.0.0\"",
        "\"CompanyName\": \"Ex\xC3\xA4mple Ltd\"", "\"FileVersion\": \"2.5.0.0\"",
        "\"OriginalFilename\": \"setup.exe\"", "\"ProductVersion\": \"2.5.0.0\"",
        "\"Comments\": \"Built = nightly\"", "\"format\": \"png\"", "\"width\": 64"}) {
    EXPECT_NE(json.find(expected), std::string::npos) << expected << "\n" << json;
  }
  const std::string text = Sfxpack({"inspect", package.string()}).out;
  EXPECT_NE(text.find("Icon            16x16 32-bit, 64x64 32-bit PNG"), std::string::npos) << text;

  // Without the options the launcher's own icon and version resource stay.
  ASSERT_EQ(Build("plain.exe", {}).status, 0);
  EXPECT_EQ(Wrestool({"-x", "--raw", "-t16"}, folder_ / "plain.exe"),
            Wrestool({"-x", "--raw", "-t16"}, LauncherImage()));
  EXPECT_EQ(Wrestool({"-x", "--raw", "-t14"}, folder_ / "plain.exe"),
            Wrestool({"-x", "--raw", "-t14"}, LauncherImage()));
}

// A long list of pictures is summed up in the text; JSON lists every one.
TEST_F(SfxpackIdentity, InspectSumsUpAnIconOfManyPictures) {
  WriteBytes(folder_ / "many.ico", stub::testing::MakeTestIcon(64, 299));
  ASSERT_EQ(Build("setup.exe", {"--icon", (folder_ / "many.ico").string()}).status, 0);
  const std::string text = Sfxpack({"inspect", (folder_ / "setup.exe").string()}).out;
  std::string sixteen = "16x16 32-bit";
  for (int i = 1; i < 16; ++i) sixteen += ", 16x16 32-bit";
  EXPECT_NE(text.find("\n  Icon            " + sixteen +
                      ", and 284 more: 300 pictures (--json lists them all)\n"),
            std::string::npos)
      << text;
  const std::string json = Sfxpack({"inspect", "--json", (folder_ / "setup.exe").string()}).out;
  size_t pictures = 0;
  for (size_t at = json.find("\"bit_count\""); at != std::string::npos;
       at = json.find("\"bit_count\"", at + 1)) {
    ++pictures;
  }
  EXPECT_EQ(pictures, 300u);
  EXPECT_NE(json.find("\"id\": 300,"), std::string::npos);
}

// A damaged icon in a package is a note of inspect's that names the fault once.
TEST_F(SfxpackIdentity, InspectNotesADamagedIcon) {
  ASSERT_EQ(Build("setup.exe", {"--icon", (folder_ / "app.ico").string()}).status, 0);
  const std::vector<uint8_t> package = ReadBytes(folder_ / "setup.exe");
  // The icon group's directory and first entry, and the bitmap's header.
  const std::vector<uint8_t> group = {0, 0, 1, 0, 2, 0, 16, 16, 0, 0, 1, 0, 32, 0};
  const std::vector<uint8_t> bitmap = {40, 0, 0, 0, 16, 0, 0, 0, 32, 0, 0, 0, 1, 0, 32, 0};
  const auto at = [&](const std::vector<uint8_t>& bytes) {
    return static_cast<size_t>(std::search(package.begin(), package.end(), bytes.begin(), bytes.end()) -
                               package.begin());
  };
  ASSERT_LT(at(group), package.size());
  ASSERT_LT(at(bitmap), package.size());
  struct Case {
    size_t offset;
    uint8_t value;
    const char* note;
  };
  const Case cases[] = {
      {at(group) + 6 + 12, 77, "the icon: it names icon resource 77, which is missing"},
      {at(group) + 4, 200, "the icon: its 200 entries reach past its end"},
      {at(group) + 2, 3, "the icon: it is not an icon group (its icon directory is of type 3)"},
      {at(bitmap), 1, "the icon: icon resource 1: it is neither a PNG nor a bitmap (DIB)"},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> damaged = package;
    damaged[c.offset] = c.value;
    WriteBytes(folder_ / "damaged.exe", damaged);
    const std::string text = Sfxpack({"inspect", (folder_ / "damaged.exe").string()}).out;
    EXPECT_NE(text.find("  - the launcher image's resources: " + std::string(c.note) + "\n"),
              std::string::npos)
        << text;
  }
}

TEST_F(SfxpackIdentity, BadIdentityInputsFailWithoutOutput) {
  std::vector<uint8_t> bad_directory = ReadBytes(folder_ / "app.ico");
  bad_directory[4] = 9;  // nine images listed, two there
  WriteBytes(folder_ / "bad-directory.ico", bad_directory);
  WriteBytes(folder_ / "text.ico", {'h', 'e', 'l', 'l', 'o'});
  WriteBytes(folder_ / "huge.ico", {});
  fs::resize_file(folder_ / "huge.ico", (4 << 20) + 1);
  std::vector<uint8_t> junk_image = ReadBytes(folder_ / "app.ico");
  junk_image[38] = 1;  // the bitmap's header size
  WriteBytes(folder_ / "junk-image.ico", junk_image);
  const std::string f = folder_.string() + "/";
  struct Case {
    const char* name;
    std::vector<std::string> options;
    int status;
    std::string error;
  };
  const Case cases[] = {
      {"not an .ico", {"--icon", f + "text.ico"}, 1,
       "cannot use icon '" + f + "text.ico': it is not an .ico file (no icon directory)\n"},
      {"bad directory", {"--icon", f + "bad-directory.ico"}, 1,
       "cannot use icon '" + f + "bad-directory.ico': its image 1 overlaps the icon directory\n"},
      {"image of neither kind", {"--icon", f + "junk-image.ico"}, 1,
       "cannot use icon '" + f + "junk-image.ico': its image 1: it is neither a PNG nor a bitmap (DIB)\n"},
      {"icon missing", {"--icon", f + "none.ico"}, 1, "none.ico"},
      {"icon too large", {"--icon", f + "huge.ico"}, 1, "is too large"},
      {"version part above 65535", {"--file-version", "1.65536"}, 2, "from 0 to 65535"},
      {"five version parts", {"--product-version", "1.2.3.4.5"}, 2, "--product-version \"1.2.3.4.5\" is not"},
      {"empty version part", {"--file-version", "1..2"}, 2, "--file-version \"1..2\""},
      {"string too long", {"--file-description", std::string(40000, 'x')}, 2, "at most 65,535"},
      {"string not UTF-8", {"--product-name", "a\xC3("}, 2, "--product-name is not valid UTF-8"},
      {"no NAME=VALUE", {"--version-string", "Comments"}, 2, "is not NAME=VALUE"},
      {"string twice", {"--company-name", "A", "--version-string", "companyname=B"}, 2, "given twice"},
  };
  const std::vector<std::string> before = FolderContents(folder_);
  for (const Case& c : cases) {
    const auto result = Build("setup.exe", c.options);
    EXPECT_EQ(result.status, c.status) << c.name << ": " << result.err;
    EXPECT_NE(result.err.find(c.error), std::string::npos) << c.name << ": " << result.err;
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << c.name << ": " << result.err;
    EXPECT_EQ(FolderContents(folder_), before) << c.name;
  }
}

}  // namespace
}  // namespace sfxpack::testing
