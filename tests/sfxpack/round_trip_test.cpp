// SPDX-License-Identifier: Zlib
// Round trips: whatever build packs, verify accepts (or, for an inner program
// Windows cannot start, reports the launcher's start failure) and extract
// gives back byte for byte, through the launcher's own decoding, with the
// further data as the inner program finds it.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <random>

#include "format/little_endian.h"
#include "tests/sfxpack/sfxpack_cli.h"
#include "tests/support/lzma_streams.h"
#include "tests/support/package_builder.h"
#include "tests/support/test_images.h"
#include "tools/package_writer/package_writer.h"

namespace sfxpack::testing {
namespace {

namespace fs = std::filesystem;
using stub::testing::AsWindowsProgram;
using stub::testing::SampleBytes;

constexpr int kBadExeFormat = 193;

std::vector<uint8_t> RandomBytes(size_t size, uint32_t seed) {
  std::mt19937 random(seed);
  std::vector<uint8_t> bytes(size);
  for (uint8_t& byte : bytes) byte = static_cast<uint8_t>(random());
  return bytes;
}

class SfxpackRoundTrip : public ::testing::Test {
 protected:
  void SetUp() override { folder_ = ScratchFolder(); }

  // Builds a package around `inner` with `options`, then verifies and extracts
  // it, inner program and further data; verify ends with `verify_code` and
  // names `method` (a --method word), when given, as the package's.
  void RoundTrip(const std::string& name, const fs::path& inner,
                 const std::vector<std::string>& options = {}, int verify_code = 0,
                 const std::string& method = "") {
    SCOPED_TRACE(name);
    const fs::path package = folder_ / (name + ".setup.exe");
    const fs::path extracted = folder_ / (name + ".extracted");
    std::vector<std::string> build = {"build", "-q", "--inner", inner.string(), "-o", package.string()};
    build.insert(build.end(), options.begin(), options.end());
    auto result = Sfxpack(build);
    ASSERT_EQ(result.status, 0) << result.err;
    result = Sfxpack({"verify", package.string()});
    EXPECT_EQ(result.status, verify_code) << result.out << result.err;
    EXPECT_NE(result.out.find(verify_code == 0 ? ": OK: " : "exits with code"), std::string::npos)
        << result.out;
    if (!method.empty()) {
      result = Sfxpack({"verify", "--json", package.string()});
      EXPECT_NE(result.out.find("\"stream_method\": \"" + method + "\""), std::string::npos)
          << result.out;
    }
    const fs::path data = folder_ / (name + ".data");
    result = Sfxpack(
        {"extract", package.string(), "-o", extracted.string(), "--data", data.string()});
    ASSERT_EQ(result.status, 0) << result.out << result.err;
    EXPECT_TRUE(ReadBytes(extracted) == ReadBytes(inner)) << "extracted bytes differ";
    const auto data_option = std::find(options.begin(), options.end(), "--data");
    EXPECT_TRUE(ReadBytes(data) == (data_option == options.end() ? std::vector<uint8_t>{}
                                                                 : ReadBytes(data_option[1])))
        << "the further data differs";
    const auto json = Sfxpack({"inspect", "--json", package.string()});
    EXPECT_NE(json.out.find("\"program_length\": " + std::to_string(fs::file_size(inner)) + ","),
              std::string::npos);
    EXPECT_NE(json.out.find("\"problems\": []"), std::string::npos) << json.out;
    const std::map<std::string, std::string> stream_region = {
        {"lzma", "LZMA stream"},
        {"stored", "stored inner program"},
        {"x86", "x86 + LZMA1 stream"},
        {"xz", "xz stream"}};
    if (stream_region.count(method) != 0 && fs::file_size(inner) != 0) {
      EXPECT_NE(json.out.find("\"name\": \"" + stream_region.at(method) + "\""), std::string::npos)
          << json.out;
    }
  }

  fs::path Input(const std::string& name, const std::vector<uint8_t>& bytes) {
    const fs::path path = folder_ / name;
    WriteBytes(path, bytes);
    return path;
  }

  fs::path folder_;
};

TEST_F(SfxpackRoundTrip, WindowsProgramsFromWine) {
  int found = 0;
  for (const char* name : {"cmd.exe", "notepad.exe", "regedit.exe", "hostname.exe", "xcopy.exe",
                           "winecfg.exe"}) {
    const fs::path program = WineProgram(name);
    if (program.empty()) continue;
    ++found;
    RoundTrip(name, program);
  }
  if (found == 0) GTEST_SKIP() << "Wine's Windows programs are not installed";
}

TEST_F(SfxpackRoundTrip, EdgeSizes) {
  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
  };
  // Too short for a Windows program: packed when allowed, refused at the start.
  const Case too_short[] = {
      {"empty", {}},
      {"one byte", {0x4D}},
      {"two bytes", {0, 0xFF}},
  };
  for (const Case& c : too_short) {
    RoundTrip(c.name, Input("inner.bin", c.bytes), {"--preset", "6", "--allow-any-inner"},
              kBadExeFormat);
  }
  const Case programs[] = {
      {"4 KiB", AsWindowsProgram(SampleBytes(4096, 1))},
      {"4 KiB + 1", AsWindowsProgram(SampleBytes(4097, 2))},
      {"random 1 MiB", AsWindowsProgram(RandomBytes(1 << 20, 3))},
      {"6 MB", AsWindowsProgram(SampleBytes(6 << 20, 4))},
  };
  for (const Case& c : programs) RoundTrip(c.name, Input("inner.bin", c.bytes), {"--preset", "6"});
}

TEST_F(SfxpackRoundTrip, LzmaSettingsAndFurtherData) {
  const fs::path inner = Input("inner.bin", AsWindowsProgram(SampleBytes(300000, 6)));
  const fs::path data = Input("data.bin", RandomBytes(100000, 7));
  struct Case {
    const char* name;
    std::vector<std::string> options;
  };
  const Case cases[] = {
      {"lc0 lp0 pb0", {"--lc", "0", "--lp", "0", "--pb", "0"}},
      {"lc4 lp0 pb4", {"--lc", "4", "--lp", "0", "--pb", "4"}},
      {"lc0 lp4 pb2", {"--lc", "0", "--lp", "4", "--pb", "2"}},
      {"lc1 lp3 pb1", {"--lc", "1", "--lp", "3", "--pb", "1"}},
      {"preset 0", {"--preset", "0"}},
      {"preset 9 extreme", {"--preset", "9", "--extreme"}},
      {"dictionary 4 KiB", {"--dict", "4KiB"}},
      {"dictionary 1536 MiB", {"--dict", "1536MiB"}},
      {"further data", {"--data", data.string()}},
      {"detached", {"--detached", "auto"}},
  };
  for (const Case& c : cases) RoundTrip(c.name, inner, c.options);
}

TEST_F(SfxpackRoundTrip, EachStreamMethod) {
  const fs::path data = Input("data.bin", RandomBytes(5000, 9));
  const fs::path unmarked = Input("unmarked.exe", stub::testing::MakeLauncherImage());
  const fs::path empty = Input("empty.bin", {});
  const fs::path one_byte = Input("one.bin", {0x4D});
  const fs::path code = Input("code.exe", AsWindowsProgram(stub::testing::X86CodeBytes(100000)));
  const fs::path random = Input("random.exe", AsWindowsProgram(RandomBytes(100000, 10)));
  const fs::path text = Input("text.exe", AsWindowsProgram(SampleBytes(100000, 11)));
  struct Case {
    std::string name;
    fs::path inner;
    std::vector<std::string> options;
    std::string method;  // the one verify names
  };
  std::vector<Case> cases = {
      {"auto: compressed already", random, {}, "stored"},
      {"auto: x86 code", code, {}, "x86"},
      {"auto: text", text, {}, "lzma"},
      {"auto: an image that reads only LZMA1", random, {"--stub", unmarked.string()}, "lzma"},
      // 17 MiB at preset 0: four blocks of at most 8 MiB.
      {"xz: many blocks", Input("large.exe", AsWindowsProgram(SampleBytes(17 << 20, 12))),
       {"--method", "xz", "--preset", "0", "--data", data.string()}, "xz"},
  };
  for (const char* method : {"lzma", "stored", "x86", "xz"}) {
    for (const fs::path& inner : {empty, one_byte, code}) {
      for (const bool with_data : {false, true}) {
        const std::string name = std::string(method) + ": " + inner.filename().string();
        Case c{name + (with_data ? " + data" : ""), inner,
               {"--method", method, "--allow-any-inner"}, method};
        if (with_data) c.options.insert(c.options.end(), {"--data", data.string()});
        cases.push_back(c);
      }
    }
  }
  for (const Case& c : cases) {
    RoundTrip(c.name, c.inner, c.options, c.inner.extension() == ".exe" ? 0 : kBadExeFormat,
              c.method);
  }
  // Plain LZMA1 packages carry no extension record: the header's second
  // reserved field stays zero, as in every package built before it.
  const std::vector<uint8_t> plain = ReadBytes(folder_ / "auto: text.setup.exe");
  const size_t header = stub::ReadLe32(&plain[128]);
  EXPECT_TRUE(std::all_of(plain.begin() + header + 42, plain.begin() + header + 64,
                          [](uint8_t byte) { return byte == 0; }));
}

// --method xz writes one standard .xz stream: xz, an independent reader,
// tests it and decodes it to the inner program, and its blocks are the same
// bytes whatever the number of threads that encoded them.
TEST_F(SfxpackRoundTrip, XzStreamsAreStandard) {
  if (!stub::testing::HaveTool("xz")) GTEST_SKIP() << "xz is not installed";
  const fs::path data = Input("data.bin", RandomBytes(5000, 12));
  const fs::path code = Input("code.exe", AsWindowsProgram(stub::testing::X86CodeBytes(300000)));
  const fs::path text = Input("text.exe", AsWindowsProgram(SampleBytes(300000, 13)));
  // Three blocks at least, whatever the rule of their size.
  const fs::path large = Input("large.exe", AsWindowsProgram(SampleBytes(20 << 20, 14)));
  const fs::path empty = Input("empty.bin", {});
  const fs::path one_byte = Input("one.bin", {0x4D});
  struct Case {
    std::string name;
    fs::path inner;
    std::vector<std::string> options;
    const char* filters;  // inspect --json's, without blanks
    uint64_t min_blocks;
  };
  const std::string threads_1 = folder_ / "1 thread.setup.exe";
  const Case cases[] = {
      {"x86 code", code, {}, R"(["x86","LZMA2"])", 1},
      {"text", text, {}, R"(["LZMA2"])", 1},
      {"further data", text, {"--data", data.string()}, R"(["LZMA2"])", 1},
      {"empty", empty, {"--allow-any-inner"}, "[]", 0},
      {"one byte", one_byte, {"--allow-any-inner"}, R"(["LZMA2"])", 1},
      {"1 thread", large, {"--preset", "0", "--threads", "1"}, R"(["LZMA2"])", 3},
      {"2 threads", large, {"--preset", "0", "--threads", "2"}, R"(["LZMA2"])", 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path package = folder_ / (c.name + ".setup.exe");
    std::vector<std::string> build = {"build", "-q",     "--inner", c.inner.string(), "-o",
                                      package.string(), "--method", "xz"};
    build.insert(build.end(), c.options.begin(), c.options.end());
    const auto built = Sfxpack(build);
    ASSERT_EQ(built.status, 0) << built.err;
    const std::vector<uint8_t> bytes = ReadBytes(package);
    const uint8_t* header = &bytes[stub::ReadLe32(&bytes[128])];
    const auto stream = bytes.begin() + stub::ReadLe32(header + 30);
    const fs::path xz_file = folder_ / "stream.xz";
    WriteBytes(xz_file, std::vector<uint8_t>(stream, stream + stub::ReadLe32(header + 34)));
    const auto tested = stub::testing::RunProcess({"xz", "-t", xz_file.string()});
    EXPECT_EQ(tested.status, 0) << tested.err;
    const auto decoded = stub::testing::RunProcess({"xz", "-dc", xz_file.string()});
    EXPECT_TRUE(std::vector<uint8_t>(decoded.out.begin(), decoded.out.end()) == ReadBytes(c.inner))
        << decoded.err;
    std::string json = Sfxpack({"inspect", "--json", package.string()}).out;
    std::erase_if(json, [](char ch) { return ch == ' ' || ch == '\n'; });
    EXPECT_NE(json.find("\"stream_method\":\"xz\""), std::string::npos) << json;
    EXPECT_NE(json.find("\"filters\":" + std::string(c.filters)), std::string::npos) << json;
    EXPECT_NE(json.find("\"problems\":[]"), std::string::npos) << json;
    const size_t blocks = json.find("\"blocks\":");
    ASSERT_NE(blocks, std::string::npos) << json;
    EXPECT_GE(std::stoull(json.substr(blocks + 9)), c.min_blocks);
  }
  EXPECT_TRUE(ReadBytes(threads_1) == ReadBytes(folder_ / "2 threads.setup.exe"));
}

// Header fields a faulty builder could write, with the checksum made to match:
// only reading and decoding the stream can find them.
TEST_F(SfxpackRoundTrip, DamageBehindAValidChecksumIsFoundByDecoding) {
  const fs::path inner = Input("inner.bin", AsWindowsProgram(SampleBytes(50000, 8)));
  struct Case {
    const char* name;
    const char* method;  // built with --method
    size_t field;        // offset in the header
    uint32_t (*value)(uint32_t old_value);
    bool byte;           // a one-byte field
  };
  const Case cases[] = {
      {"stream cut in half", "lzma", 34, [](uint32_t v) { return v / 2; }, false},
      {"program one byte longer", "lzma", 38, [](uint32_t v) { return v + 1; }, false},
      {"program of 2^31 bytes", "lzma", 38, [](uint32_t) { return 0x80000000u; }, false},
      {"stream beyond the file", "lzma", 30, [](uint32_t v) { return v + 0x1000000; }, false},
      {"properties byte 225", "lzma", 0, [](uint32_t) { return 225u; }, true},
      {"dictionary of 2 GiB", "lzma", 1, [](uint32_t) { return 0x80000000u; }, false},
      {"stored: stream one byte longer than the program", "stored", 34,
       [](uint32_t v) { return v + 1; }, false},
      {"stored: program one byte shorter than the stream", "stored", 38,
       [](uint32_t v) { return v - 1; }, false},
      {"stored: stream beyond the file", "stored", 30, [](uint32_t v) { return v + 0x1000000; },
       false},
      {"unknown stream method 4", "stored", 47, [](uint32_t) { return 4u; }, true},
      {"x86 stream cut in half", "x86", 34, [](uint32_t v) { return v / 2; }, false},
  };
  for (const Case& c : cases) {
    const fs::path package = folder_ / "setup.exe";
    ASSERT_EQ(Sfxpack({"build", "-q", "--inner", inner.string(), "-o", package.string(),
                       "--method", c.method})
                  .status,
              0);
    std::vector<uint8_t> damaged = ReadBytes(package);
    const size_t header = stub::ReadLe32(&damaged[128]);
    uint8_t* field = &damaged[header + c.field];
    if (c.byte) {
      *field = static_cast<uint8_t>(c.value(*field));
    } else {
      stub::WriteLe32(field, c.value(stub::ReadLe32(field)));
    }
    ASSERT_TRUE(stub::testing::RefreshChecksum(damaged));
    WriteBytes(folder_ / "damaged.exe", damaged);
    const auto verify = Sfxpack({"verify", (folder_ / "damaged.exe").string()});
    EXPECT_EQ(verify.status, 1392 % 256) << c.name << "\n" << verify.out;
    EXPECT_NE(verify.out.find("exits with code 1392"), std::string::npos) << c.name;
    const auto extract =
        Sfxpack({"extract", (folder_ / "damaged.exe").string(), "-o", (folder_ / "out.exe").string()});
    EXPECT_EQ(extract.status, 1392 % 256) << c.name;
    EXPECT_FALSE(fs::exists(folder_ / "out.exe")) << c.name;
  }
}

}  // namespace
}  // namespace sfxpack::testing
