// SPDX-License-Identifier: Zlib
// sfxpack build and inspect, run as a user runs them.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>

#include "tests/sfxpack/sfxpack_cli.h"
#include "tests/support/test_images.h"

namespace sfxpack::testing {
namespace {

namespace fs = std::filesystem;
using stub::testing::AsWindowsProgram;
using stub::testing::SampleBytes;

// "key": value as inspect --json writes it.
std::string JsonField(const std::string& key, const std::string& value) {
  return "\"" + key + "\": " + value;
}

class SfxpackBuild : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = ScratchFolder();
    inner_ = folder_ / "inner.exe";
    WriteBytes(inner_, AsWindowsProgram(SampleBytes(40000, 11)));
    output_ = folder_ / "setup.exe";
  }

  // Builds with `options` on top of --inner and -o; expects success.
  void Build(std::vector<std::string> options) {
    options.insert(options.begin(), {"build", "--inner", inner_.string(), "-o", output_.string()});
    const auto result = Sfxpack(options);
    ASSERT_EQ(result.status, 0) << result.err;
    // Nothing but the warning that the test's inner program is not signed.
    const std::string warning = "carries no Authenticode signature";
    EXPECT_TRUE(result.err.empty() || (result.err.find(warning) != std::string::npos &&
                                       result.err.find('\n') == result.err.size() - 1))
        << result.err;
  }

  // `err` without the warning that the test's inner program is not signed.
  static std::string OtherWarnings(const std::string& err) {
    const size_t at = err.find("sfxpack build: warning: the inner program ");
    if (at == std::string::npos) return err;
    return err.substr(0, at) + err.substr(err.find('\n', at) + 1);
  }

  std::string InspectJson() {
    const auto result = Sfxpack({"inspect", "--json", output_.string()});
    EXPECT_EQ(result.status, 0) << result.err;
    return result.out;
  }

  fs::path folder_, inner_, output_;
};

TEST_F(SfxpackBuild, EverySubcommandHasHelp) {
  for (const char* command : {"build", "inspect", "verify", "extract", "gate"}) {
    const auto result = Sfxpack({command, "--help"});
    EXPECT_EQ(result.status, 0) << command;
    EXPECT_NE(result.out.find("Usage"), std::string::npos) << command << ": " << result.out;
    EXPECT_EQ(result.out.find(" in ["), std::string::npos) << command << ": " << result.out;
  }
  const auto help = Sfxpack({"--help"});
  EXPECT_EQ(help.status, 0);
  for (const char* command : {"build", "inspect", "verify", "extract", "gate"}) {
    EXPECT_NE(help.out.find(command), std::string::npos) << command;
  }
  EXPECT_EQ(Sfxpack({"--version"}).status, 0);
  EXPECT_EQ(Sfxpack({}).status, 2);
  EXPECT_EQ(Sfxpack({"pack"}).status, 2);
}

TEST_F(SfxpackBuild, InspectShowsWhatBuildWasTold) {
  WriteBytes(folder_ / "data.bin", SampleBytes(1234, 2));
  WriteBytes(folder_ / "message.txt",
             {0xEF, 0xBB, 0xBF, 'N', 'o', 't', ' ', 'o', 'n', ' ', '%', 'U', 'S', 'E', 'R', '%',
              ' ', 0xE2, 0x82, 0xAC, '\r', '\n'});
  Build({"--os", "7,8,8.1,10,newer", "--min-release", "1507", "--max-release", "9999",
         "--elevation", "runas", "--detached", "40KiB", "--message-file",
         (folder_ / "message.txt").string(), "--data", (folder_ / "data.bin").string(), "--lc",
         "1", "--lp", "2", "--pb", "0", "--dict", "64KiB"});
  const std::string json = InspectJson();
  for (const std::string& expected : {
           JsonField("os_mask_hex", "\"0x8000000000000780\""),
           JsonField("min_release_id", "1507"),
           JsonField("max_release_id", "9999"),
           JsonField("elevation_mode", "1"),
           JsonField("elevation", "\"runas\""),
           JsonField("detached_size", "40960"),
           JsonField("program_length", "40000"),
           JsonField("text", "\"Not on %USER% \xE2\x82\xAC\""),
           JsonField("lc", "1"),
           JsonField("lp", "2"),
           JsonField("pb", "0"),
           JsonField("dict_size", "65536"),
           JsonField("length", "1234"),
           JsonField("crc_matches", "true"),
           JsonField("problems", "[]"),
       }) {
    EXPECT_NE(json.find(expected), std::string::npos) << expected << "\n" << json;
  }
}

TEST_F(SfxpackBuild, DefaultsSupportEveryWindowsAndNameThem) {
  Build({});
  const std::string json = InspectJson();
  EXPECT_NE(json.find(JsonField("os_mask_hex", "\"0x80000000000007E0\"")), std::string::npos);
  EXPECT_NE(json.find(JsonField("min_release_id", "0")), std::string::npos);
  EXPECT_NE(json.find(JsonField("max_release_id", "65535")), std::string::npos);
  EXPECT_NE(json.find(JsonField("elevation", "\"none\"")), std::string::npos);
  EXPECT_NE(json.find(JsonField("extension", "null")), std::string::npos);
  EXPECT_NE(json.find("Windows XP, Windows Vista"), std::string::npos);
  EXPECT_NE(json.find("%USER%"), std::string::npos);
  const std::string text = Sfxpack({"inspect", output_.string()}).out;
  for (const char* part : {"DOS header", "package locator", "section .text", "package header",
                           "LZMA stream", "message text", "No problems found."}) {
    EXPECT_NE(text.find(part), std::string::npos) << part << "\n" << text;
  }
}

TEST_F(SfxpackBuild, BuildLimitsGoIntoTheExtensionRecordAndItsMessage) {
  struct Case {
    std::vector<std::string> options;
    const char* extension;  // inspect --json, without blanks
    const char* text;       // inspect's lines, without blanks
    const char* supported;  // in the default message
  };
  const Case cases[] = {
      {{"--os", "11"},
       R"({"version":1,"stream_method":"lzma","min_build":22000,"max_build":0})",
       "MinBuild22000(Windows1121H2)MaxBuild0(nolimit)", "needs Windows 11."},
      {{"--os", "10", "--min-build", "19045"},
       R"({"version":1,"stream_method":"lzma","min_build":19045,"max_build":0})",
       "MinBuild19045(Windows1022H2)", "needs Windows 10 22H2 or later."},
      {{"--os", "7,10", "--max-build", "21999"},
       R"({"version":1,"stream_method":"lzma","min_build":0,"max_build":21999})",
       "StreamMethod0(lzma)MinBuild0(nolimit)MaxBuild21999",
       "needs Windows 7 or Windows 10 (not Windows 11)."},
      {{"--os", "10,11", "--min-build", "0"}, "null", "Extensionnone", "needs Windows 10."},
  };
  const auto compact = [](const std::string& text) {
    std::string out;
    for (char c : text) {
      if (c != ' ' && c != '\n') out += c;
    }
    return out;
  };
  for (const Case& c : cases) {
    std::vector<std::string> options = c.options;
    options.push_back("-q");
    Build(options);
    const std::string json = InspectJson();
    EXPECT_NE(compact(json).find("\"extension\":" + std::string(c.extension)), std::string::npos)
        << json;
    const std::string text = Sfxpack({"inspect", output_.string()}).out;
    EXPECT_NE(compact(text).find(c.text), std::string::npos) << text;
    EXPECT_NE(text.find(c.supported), std::string::npos) << text;
  }
}

TEST_F(SfxpackBuild, SameInputsGiveTheSameBytes) {
  WriteBytes(folder_ / "data.bin", SampleBytes(5000, 4));
  const std::vector<std::string> options = {"--data", (folder_ / "data.bin").string(), "--os",
                                            "10", "--message", "x %USER%", "-q"};
  Build(options);
  const std::vector<uint8_t> first = ReadBytes(output_);
  fs::remove(output_);
  Build(options);
  EXPECT_TRUE(ReadBytes(output_) == first);
}

// Packages built before the .xz method and the streaming build, pinned by
// their SHA-256 (from sha256sum): an explicit method other than xz, and auto
// for programs below the size where it takes xz, keep their bytes. The
// launcher image is a fixed synthetic one, so a changed launcher does not
// move the hashes.
TEST_F(SfxpackBuild, PackagesKeepTheirBytesAcrossVersions) {
  std::vector<uint8_t> program = stub::testing::X86CodeBytes(150000, 5);
  const std::vector<uint8_t> text = SampleBytes(150000, 6);
  program.insert(program.end(), text.begin(), text.end());
  WriteBytes(folder_ / "small.exe", AsWindowsProgram(program));
  WriteBytes(folder_ / "large.exe", AsWindowsProgram(stub::testing::X86CodeBytes(9 << 20, 7)));
  WriteBytes(folder_ / "data.bin", SampleBytes(5000, 8));
  WriteBytes(folder_ / "stub.exe", stub::testing::MakeMarkedLauncherImage(0xF));
  const struct {
    const char* inner;
    std::vector<std::string> options;
    const char* sha256;
  } rows[] = {
      {"small.exe", {"--method", "lzma"},
       "e8bd2d760c9ec31dfa29d902ce1f97a4930467e07d2afa256f1ea2b25ce9a48b"},
      {"small.exe", {"--method", "lzma", "--os", "10", "--min-build", "19045", "--preset", "6"},
       "f6a8d5059dd3c1a8152669217a2e5fdf78f4cefc1d3c332a760a1f9368c2bb89"},
      {"small.exe", {"--method", "x86"},
       "a21499f1fa99ebc8eee7f105c5ad50fde9f74ef4958296ada0bd873959e074f3"},
      {"small.exe", {"--method", "stored", "--detached", "auto"},
       "70db47aa9df31f4e0352daa21a976c62d4a29c4e2fedd2c4034c181d895498d7"},
      {"small.exe", {"--method", "auto"},
       "a21499f1fa99ebc8eee7f105c5ad50fde9f74ef4958296ada0bd873959e074f3"},
      {"large.exe", {"--preset", "1"},
       "1fecba2aed1a182583406ab6200c8e4a46066782ecc7349e08300f50049bc64c"},
  };
  for (const auto& row : rows) {
    std::vector<std::string> args = {"build", "-q", "--inner", (folder_ / row.inner).string(),
                                     "-o", output_.string(), "--stub",
                                     (folder_ / "stub.exe").string(), "--data",
                                     (folder_ / "data.bin").string()};
    args.insert(args.end(), row.options.begin(), row.options.end());
    const auto build = Sfxpack(args);
    ASSERT_EQ(build.status, 0) << build.err;
    const auto sum = stub::testing::RunProcess({"sha256sum", output_.string()});
    ASSERT_EQ(sum.status, 0) << sum.err;
    EXPECT_EQ(sum.out.substr(0, 64), row.sha256) << row.inner << " " << row.options[1];
  }
}

TEST_F(SfxpackBuild, StubOptionTakesAnotherLauncherImage) {
  Build({"--stub", LauncherImage().string(), "-q"});
  const std::vector<uint8_t> with_stub = ReadBytes(output_);
  Build({"-q"});
  EXPECT_TRUE(ReadBytes(output_) == with_stub);
}

TEST_F(SfxpackBuild, ReplacesAnExistingOutput) {
  WriteBytes(output_, {1, 2, 3});
  Build({"-q"});
  EXPECT_GT(ReadBytes(output_).size(), 40000u / 10);
  EXPECT_EQ(FolderContents(folder_), (std::vector<std::string>{"inner.exe", "setup.exe"}));
}

// A command line that must fail with `status` and a message holding `error`,
// leaving the folder as it was.
struct BadBuild {
  const char* name;
  std::vector<std::string> options;
  int status;
  std::string error;
};

TEST_F(SfxpackBuild, EachBadOptionAndLimitFailsWithoutOutput) {
  WriteBytes(folder_ / "bad-utf8.txt", {'a', 0xC3, 0x28});
  std::vector<uint8_t> long_message(65536, 'x');
  WriteBytes(folder_ / "long.txt", long_message);
  long_message.pop_back();
  WriteBytes(folder_ / "longest.txt", long_message);
  WriteBytes(folder_ / "not-pe.exe", SampleBytes(3000));
  std::vector<uint8_t> cut_stub = ReadBytes(LauncherImage());
  cut_stub.resize(400);
  WriteBytes(folder_ / "cut-stub.exe", cut_stub);
  WriteBytes(folder_ / "empty.txt", {'\n'});
  WriteBytes(folder_ / "unmarked-stub.exe", stub::testing::MakeLauncherImage());
  // The launcher image with a marker that names LZMA1 and stored only.
  std::vector<uint8_t> lzma_stored_stub = ReadBytes(LauncherImage());
  const uint8_t marker[] = {'S', 'F', 'X', 'E', 1, 0, 0x0F, 0};
  const auto at = std::search(lzma_stored_stub.begin(), lzma_stored_stub.end(),
                              std::begin(marker), std::end(marker));
  ASSERT_NE(at, lzma_stored_stub.end());
  at[6] = 3;
  WriteBytes(folder_ / "lzma-stored-stub.exe", lzma_stored_stub);
  fs::create_directory(folder_ / "folder");
  // Sparse files just beyond the limits: refused before they are read.
  fs::path huge_inner = folder_ / "huge-inner.exe";
  WriteBytes(huge_inner, {});
  fs::resize_file(huge_inner, 2147352577);
  fs::path inner_4g = folder_ / "4g-inner.exe";
  WriteBytes(inner_4g, {});
  fs::resize_file(inner_4g, 0x100000000);
  fs::path huge_data = folder_ / "huge-data.bin";
  WriteBytes(huge_data, {});
  fs::resize_file(huge_data, 0x100000000);
  const std::string f = folder_.string() + "/";
  const BadBuild cases[] = {
      {"unknown os", {"--os", "7,12"}, 2, "unknown Windows version \"12\""},
      {"build limit without Windows 10", {"--os", "7,8.1", "--min-build", "19045"}, 2,
       "--min-build 19045 could never apply"},
      {"build limit outside the mask", {"--os-mask", "0x80", "--max-build", "21999"}, 2,
       "--max-build 21999 could never apply"},
      {"Windows 11 from an earlier build", {"--os", "11", "--min-build", "19045"}, 2,
       "is below 22000, the first build of Windows 11"},
      {"build range reversed", {"--min-build", "22631", "--max-build", "22000"}, 2,
       "--max-build 22000 is below --min-build 22631"},
      {"build not a number", {"--max-build", "22H2"}, 2,
       "--max-build \"22H2\" is not a Windows build number"},
      {"build limit, launcher without the marker", {"--os", "11", "--stub", f + "unmarked-stub.exe"}, 1,
       "has no \"SFXE\" marker"},
      {"os and mask", {"--os", "7", "--os-mask", "0x80"}, 2, "exclude each other"},
      {"bad mask", {"--os-mask", "0xZZ"}, 2, "not a 64-bit number"},
      {"release above 65535", {"--min-release", "70000"}, 2, "70000"},
      {"release range reversed", {"--min-release", "2000", "--max-release", "1000"}, 2,
       "is above --max-release"},
      {"bad elevation", {"--elevation", "admin"}, 2, "none (0), runas (1), noadmin (2)"},
      {"detached beyond 32 bits", {"--detached", "5GiB"}, 2, "larger than"},
      {"detached beyond the package", {"--detached", "999MiB"}, 1, "truncated"},
      {"message not UTF-8", {"--message", "a\xC3("}, 2, "--message is not valid UTF-8"},
      {"message file not UTF-8", {"--message-file", f + "bad-utf8.txt"}, 2, "byte 1"},
      {"message file missing", {"--message-file", f + "none.txt"}, 1, "none.txt"},
      {"message too long", {"--message-file", f + "long.txt"}, 2, "65,535"},
      {"message and message file", {"--message", "x", "--message-file", f + "longest.txt"}, 2,
       "exclude each other"},
      {"empty message", {"--message", ""}, 2,
       "--message \"\" is refused: an unsupported Windows would show an empty box"},
      {"empty message file", {"--message-file", f + "empty.txt"}, 2, "is empty"},
      {"empty os", {"--os", ""}, 2, "--os \"\" names no Windows version: give some of xp,"},
      {"empty os mask", {"--os-mask", ""}, 2, "--os-mask \"\" is empty: give a MASK"},
      {"empty further data", {"--data", ""}, 2, "--data \"\" is empty: give a FILE"},
      {"preset 10", {"--preset", "10"}, 2, "--preset"},
      {"lc 5", {"--lc", "5"}, 2, "--lc"},
      {"lc + lp above 4", {"--lc", "4", "--lp", "1"}, 2, "lc + lp"},
      {"dictionary too small", {"--dict", "1KiB"}, 2, "smaller than 4 KiB"},
      {"dictionary not a size", {"--dict", "big"}, 2, "--dict \"big\" is not a size"},
      {"inner program missing", {"--inner", f + "none.exe"}, 1, "none.exe"},
      {"inner program a folder", {"--inner", f + "folder"}, 1, "folder"},
      {"inner program too large without the record",
       {"--inner", huge_inner.string(), "--method", "lzma"}, 1,
       "is too large: 2,147,352,577 bytes (2.00 GiB); an LZMA1 package without build limits, "
       "which has no extension record, holds at most 2,147,352,576 bytes"},
      {"inner program too large for an image without xz",
       {"--inner", huge_inner.string(), "--stub", f + "lzma-stored-stub.exe"}, 1,
       "a launcher image that does not decode xz holds at most 2,147,352,576 bytes"},
      {"inner program of 4 GiB", {"--inner", inner_4g.string()}, 1,
       "4g-inner.exe' is too large: 4,294,967,296 bytes (4.00 GiB); a package holds at most "
       "4,294,967,295 bytes (4 GiB - 1), as its lengths and offsets are 32-bit fields and a "
       "signed package's certificate table must start below 4 GiB\n"},
      {"further data missing", {"--data", f + "none.bin"}, 1, "none.bin"},
      {"further data too large", {"--data", huge_data.string()}, 1, "4 GiB"},
      {"stub not a program", {"--stub", f + "not-pe.exe"}, 1,
       "not-pe.exe': it is not a Windows program (no MZ header)\n"},
      {"stub cut short", {"--stub", f + "cut-stub.exe"}, 1,
       "cut-stub.exe': its PE optional header is cut short\n"},
      {"unknown method", {"--method", "zip"}, 2,
       "--method \"zip\" is not one of auto, lzma, stored, x86, xz"},
      {"no threads", {"--threads", "0"}, 2,
       "--threads \"0\" is not a number of threads: allowed are 1 to 16384"},
      {"threads not a number", {"--threads", "x"}, 2, "--threads \"x\" is not a number"},
      {"too many threads", {"--threads", "16385"}, 2, "--threads \"16385\" is not a number"},
      {"xz for an image that does not decode it",
       {"--method", "xz", "--stub", f + "lzma-stored-stub.exe"}, 1,
       "--method xz: '" + f + "lzma-stored-stub.exe' does not decode xz streams"},
      {"stored for an image without the marker",
       {"--method", "stored", "--stub", f + "unmarked-stub.exe"}, 1,
       "--method stored needs a launcher image that reads the extension record, and '" + f +
           "unmarked-stub.exe' has no \"SFXE\" marker"},
      {"x86 for an image that does not decode it",
       {"--method", "x86", "--stub", f + "lzma-stored-stub.exe"}, 1,
       "--method x86: '" + f + "lzma-stored-stub.exe' does not decode x86 + LZMA1 streams"},
      {"output folder missing", {"-o", f + "no/setup.exe"}, 1, "setup.exe"},
      {"output a folder", {"-o", f + "folder"}, 2, "folder"},
  };
  const std::vector<std::string> before = FolderContents(folder_);
  for (const BadBuild& c : cases) {
    std::vector<std::string> args = {"build"};
    const auto has = [&](const char* option) {
      return std::find(c.options.begin(), c.options.end(), option) != c.options.end();
    };
    if (!has("--inner")) args.insert(args.end(), {"--inner", inner_.string()});
    if (!has("-o")) args.insert(args.end(), {"-o", output_.string()});
    args.insert(args.end(), c.options.begin(), c.options.end());
    const auto result = Sfxpack(args);
    EXPECT_EQ(result.status, c.status) << c.name << ": " << result.err;
    EXPECT_NE(result.err.find(c.error), std::string::npos) << c.name << ": " << result.err;
    EXPECT_EQ(FolderContents(folder_), before) << c.name;
  }
  // The package made from the already built one is refused as a launcher image.
  Build({"-q"});
  const auto result =
      Sfxpack({"build", "--inner", inner_.string(), "-o", f + "again.exe", "--stub", output_.string()});
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(result.err.find("behind its last section"), std::string::npos) << result.err;
}

TEST_F(SfxpackBuild, EachBadOptionValueIsNamedWithItsRangeBeforeAnyWork) {
  // A build that read its inner program before checking would wait for ever
  // on this FIFO, which nobody writes to.
  const std::string fifo = (folder_ / "silent.fifo").string();
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  struct Case {
    std::vector<std::string> options;
    std::vector<std::string> named;  // the option, the value, the range
  };
  const std::string dict_range = "allowed are 4 KiB to 1,536 MiB";
  const Case cases[] = {
      {{"--dict", "4G"}, {"--dict \"4G\" is larger than 1,536 MiB", dict_range}},
      {{"--dict", "0"}, {"--dict \"0\" is smaller than 4 KiB", dict_range}},
      {{"--dict", "4095"}, {"--dict \"4095\"", dict_range}},
      {{"--dict", "1537MiB"}, {"--dict \"1537MiB\"", dict_range}},
      {{"--dict", "4 GB RAM"}, {"--dict \"4 GB RAM\" is not a size", dict_range}},
      {{"--lc", "4", "--lp", "1"}, {"--lc 4 and --lp 1 add up to 5", "lc + lp of at most 4"}},
      {{"--lp", "2"}, {"the preset's lc 3 and --lp 2", "lc + lp of at most 4"}},
      {{"--lc", "5"}, {"--lc", "5", "0 to 4"}},
      {{"--pb", "9"}, {"--pb", "9", "0 to 4"}},
      {{"--preset", "10"}, {"--preset", "10", "0 to 9"}},
      {{"--detached", "5GiB"}, {"--detached \"5GiB\"", "0 bytes to 4,294,967,295 bytes"}},
      {{"--min-release", "70000"}, {"--min-release \"70000\"", "0 to 65535"}},
      {{"--max-release", "x"}, {"--max-release \"x\"", "0 to 65535"}},
      {{"--elevation", "admin"}, {"--elevation \"admin\"", "none (0), runas (1), noadmin (2)"}},
      {{"--os", "7,12"}, {"--os", "\"12\"", "xp, vista, 7, 8, 8.1, 10, 11, newer, all"}},
      {{"--min-build", "x"}, {"--min-build \"x\"", "0 to 4294967295"}},
      {{"--os-mask", "0x1G"}, {"--os-mask \"0x1G\"", "64-bit number"}},
      {{"--method", "LZMA2"}, {"--method \"LZMA2\"", "auto, lzma, stored, x86, xz"}},
      {{"--threads", "0"}, {"--threads \"0\"", "1 to 16384"}},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = {"build", "--inner", fifo, "-o", output_.string()};
    args.insert(args.end(), c.options.begin(), c.options.end());
    stub::testing::ProcessOptions options;
    options.timeout_seconds = 20;
    const auto result = Sfxpack(args, options);
    EXPECT_EQ(result.status, 2) << c.options[0] << ": " << result.err;
    for (const std::string& part : c.named) {
      EXPECT_NE(result.err.find(part), std::string::npos) << part << " in " << result.err;
    }
  }
}

TEST_F(SfxpackBuild, LongestMessageIsAccepted) {
  WriteBytes(folder_ / "longest.txt", std::vector<uint8_t>(65535, 'x'));
  Build({"-q", "--message-file", (folder_ / "longest.txt").string()});
  EXPECT_NE(InspectJson().find(JsonField("length", "65535")), std::string::npos);
}

TEST_F(SfxpackBuild, TheReleaseRangeAppliesOnlyWithWindows10) {
  struct Case {
    std::vector<std::string> options;
    std::string warning;  // the whole of stderr
    std::string windows;  // the summary's line
  };
  const std::string warning = "sfxpack build: warning: ";
  const Case cases[] = {
      {{"--os", "7,8", "--min-release", "1507"},
       warning + "--min-release applies only to Windows 10, which the package does not support\n",
       "  Windows        7, 8\n"},
      {{"--os", "8", "--min-release", "1507", "--max-release", "1909"},
       warning + "--min-release and --max-release apply only to Windows 10, which the package "
                 "does not support\n",
       "  Windows        8\n"},
      {{"--os", "7,10", "--min-release", "1507"}, "",
       "  Windows        7, 10; Windows 10 release 1507 or later\n"},
      {{"--os", "7,10"}, "", "  Windows        7, 10\n"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = {"build", inner_.string(), "-o", output_.string()};
    args.insert(args.end(), c.options.begin(), c.options.end());
    const auto result = Sfxpack(args);
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(OtherWarnings(result.err), c.warning);
    EXPECT_NE(result.out.find(c.windows), std::string::npos) << result.out;
  }
}

TEST_F(SfxpackBuild, ProgressReachesALogAsPlainLinesWhenAskedFor) {
  WriteBytes(folder_ / "data.bin", SampleBytes(3 << 20, 6));
  struct Case {
    std::vector<std::string> options;
    std::vector<std::string> lines;  // first and last of each piece of work; none: stderr stays empty
  };
  const std::string data = (folder_ / "data.bin").string();
  const Case cases[] = {
      {{}, {}},
      {{"--data", data}, {}},
      {{"--progress"},
       {"sfxpack: compressing inner.exe:   0% (0.0 of 39.1 KiB)\n",
        "sfxpack: compressing inner.exe: 100% (39.1 of 39.1 KiB)\n"}},
      {{"-q", "--progress", "--data", data},
       {"sfxpack: compressing inner.exe:   0% (0.0 of 39.1 KiB)\n",
        "sfxpack: compressing inner.exe: 100% (39.1 of 39.1 KiB)\n",
        "sfxpack: copying data.bin:   0% (0.0 of 3.0 MiB)\n",
        "sfxpack: copying data.bin: 100% (3.0 of 3.0 MiB)\n"}},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = {"build", inner_.string(), "-o", output_.string()};
    args.insert(args.end(), c.options.begin(), c.options.end());
    auto result = Sfxpack(args);
    result.err = OtherWarnings(result.err);
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.err.find('\r'), std::string::npos) << result.err;
    EXPECT_EQ(result.err.empty(), c.lines.empty()) << result.err;
    EXPECT_TRUE(result.err.empty() || result.err.back() == '\n') << result.err;
    size_t from = 0;
    for (const std::string& line : c.lines) {
      from = result.err.find(line, from);
      EXPECT_NE(from, std::string::npos) << line << " in\n" << result.err;
    }
  }
}

TEST_F(SfxpackBuild, InterruptedBuildLeavesNothingBehind) {
  // Large enough to be busy when the signal comes; whenever it comes, no
  // temporary file may stay.
  WriteBytes(inner_, AsWindowsProgram(SampleBytes(12 << 20, 9)));
  const std::vector<std::string> before = FolderContents(folder_);
  const auto result = stub::testing::RunProcess({"timeout", "-s", "INT", "0.5", SFXPACK_BINARY,
                                                 "build", "--inner", inner_.string(), "-o",
                                                 output_.string(), "--preset", "9", "--extreme"});
  EXPECT_NE(result.status, 0);
  EXPECT_EQ(FolderContents(folder_), before);
}

}  // namespace
}  // namespace sfxpack::testing
