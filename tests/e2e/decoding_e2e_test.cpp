// SPDX-License-Identifier: Zlib
// The launcher image under Wine decodes the inner program of every stream it
// accepts and shows the damaged-package message for every damaged one, even
// behind a valid checksum (a builder's fault).
//
// Every stream method is among them: LZMA1, stored, and x86 + LZMA1, each as
// sfxpack build --method writes it, x86 + LZMA1 also from xz's encoder of
// the x86 filter, and .xz streams of several blocks as `xz -T2` writes them,
// with and without its x86 filter, decoded on threads.
//
// The inner program is Wine's hostname.exe, a real Windows program. The
// packages that must decode are made detached, so the launcher leaves its
// temporary copy (in its private folder inside a "/temp" folder of the test's
// own) behind, and the copy is compared with the program byte for byte. A
// damaged package leaves nothing in its "/temp" folder, whenever the damage is
// found.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <optional>

#include "format/little_endian.h"
#include "format/package_records.h"
#include "launcher/fatal_messages.h"
#include "tests/e2e/e2e_packages.h"
#include "tests/e2e/wine_harness.h"
#include "tests/support/fatal_texts.h"
#include "tests/support/lzma_streams.h"
#include "tests/support/package_builder.h"
#include "tests/support/subprocess.h"
#include "tests/support/test_images.h"
#include "tools/package_writer/package_writer.h"

namespace e2e {
namespace {

using stub::testing::Lzma1Stream;
using stub::testing::Lzma1StreamWriter;

constexpr uint32_t kDamagedExit = 1392;
constexpr size_t kProgramLengthField = 38;

using Built = stub::testing::TestPackage;

// A package around an already encoded stream.
Built Assemble(const Lzma1Stream& stream, uint64_t program_length) {
  return stub::testing::AssemblePackage(ReadBytes(Stub64Image()), AdmitAllWindows(),
                                        stream.properties, stream.bytes, program_length, {});
}

// The bytes of a package whose header was changed after assembly, with the
// checksum made to match again.
std::vector<uint8_t> Patched(Built built, const std::function<void(uint8_t* header)>& patch) {
  patch(built.bytes.data() + built.layout.locator.PackageOffset);
  EXPECT_TRUE(stub::testing::RefreshChecksum(built.bytes));
  return built.bytes;
}

Lzma1Stream WriterStream(const std::vector<uint8_t>& data) {
  Lzma1Stream stream;
  packaging::LzmaSettings settings;
  settings.preset = 6;
  packaging::EncodeLzma1(data, settings, stream.bytes, stream.properties);
  return stream;
}

class Decoding : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = ScratchFolder();
    program_ = stub::testing::WineProgram("hostname.exe");
    if (program_.empty()) GTEST_SKIP() << "Wine's hostname.exe is not installed";
  }

  WineRun RunPackage(const std::vector<uint8_t>& bytes, const std::string& name,
                     const std::u16string& arguments = u"") {
    const std::string path = folder_ + "/" + name + ".exe";
    WriteBytes(path, bytes);
    return WinePrefix::Default().Run(u"\"" + WindowsPath(path) + u"\" " + arguments);
  }

  void ExpectDecoded(std::vector<uint8_t> bytes, const std::string& name) {
    SCOPED_TRACE(name);
    // Detached: the launcher starts the copy and returns, leaving the copy.
    stub::WriteLe32(&bytes[stub::kPackageLocatorOffset + 20], static_cast<uint32_t>(bytes.size()));
    const std::string temp = folder_ + "/" + name + "-temp";
    std::filesystem::create_directories(temp);
    const WineRun run = RunPackage(bytes, name, u"/temp \"" + WindowsPath(temp) + u"\"");
    ASSERT_TRUE(run.started) << run.trace;
    EXPECT_TRUE(run.boxes.empty()) << Utf8(run.boxes.empty() ? u"" : run.boxes[0].text);
    EXPECT_EQ(run.exit_code, 0u) << run.trace;
    // The only thing in the folder is the run's private folder.
    const std::filesystem::directory_iterator private_folder(temp);
    ASSERT_NE(private_folder, std::filesystem::directory_iterator());
    const std::string copy = private_folder->path().string() + "/" + name + ".exe";
    EXPECT_TRUE(ReadBytes(copy) == program_) << "the temporary copy differs from the program";
  }

  void ExpectDamaged(const std::vector<uint8_t>& bytes, const std::string& name) {
    SCOPED_TRACE(name);
    const std::string temp = folder_ + "/" + name + "-temp";
    std::filesystem::create_directories(temp);
    const WineRun run = RunPackage(bytes, name, u"/temp \"" + WindowsPath(temp) + u"\"");
    ASSERT_TRUE(run.started) << run.trace;
    EXPECT_EQ(run.exit_code, kDamagedExit);
    ASSERT_EQ(run.boxes.size(), 1u) << run.trace;
    EXPECT_EQ(run.boxes[0].text, stub::testing::FatalMessageText(stub::FatalMessage::kDamaged));
    EXPECT_EQ(run.boxes[0].style, 0x10u);
    EXPECT_TRUE(std::filesystem::is_empty(temp)) << "the run left something in its /temp folder";
  }

  // `xz -T2` of the program in blocks of 16 KiB (several), with `options`.
  std::vector<uint8_t> XzStream(const std::vector<std::string>& options) {
    const std::string in = folder_ + "/xz.in";
    WriteBytes(in, program_);
    std::vector<std::string> command = {"xz", "-T2", "--block-size=16KiB", "-c"};
    command.insert(command.end(), options.begin(), options.end());
    command.push_back(in);
    const stub::testing::ProcessResult xz = stub::testing::RunProcess(command);
    EXPECT_EQ(xz.status, 0) << xz.err;
    return std::vector<uint8_t>(xz.out.begin(), xz.out.end());
  }

  std::string folder_;
  std::vector<uint8_t> program_;
};

// A package of the stream method `method`, around an already encoded stream.
Built Assemble(const Lzma1Stream& stream, uint64_t program_length, uint8_t method) {
  packaging::PackageSettings settings = AdmitAllWindows();
  settings.extension = stub::TPackageExtension{method, 0, 0};
  return stub::testing::AssemblePackage(ReadBytes(Stub64Image()), settings, stream.properties,
                                        stream.bytes, program_length, {});
}

TEST_F(Decoding, StreamsTheLauncherAccepts) {
  const uint64_t size = program_.size();
  ExpectDecoded(BuildPackageBytes(program_, AdmitAllWindows()), "package-writer");
  // Each method as sfxpack writes it.
  const std::string inner = folder_ + "/hostname.exe";
  WriteBytes(inner, program_);
  for (const std::string method : {"lzma", "stored", "x86"}) {
    const std::string package = folder_ + "/sfxpack-" + method + ".exe";
    const stub::testing::ProcessResult build = stub::testing::RunProcess(
        {E2E_SFXPACK, "build", "-q", "--inner", inner, "-o", package, "--method", method});
    ASSERT_EQ(build.status, 0) << build.err;
    ExpectDecoded(ReadBytes(package), "sfxpack-" + method);
  }

  Lzma1Stream trailing = WriterStream(program_);
  trailing.bytes.insert(trailing.bytes.end(), 64, 0xA5);
  ExpectDecoded(Assemble(trailing, size).bytes, "trailing-bytes");

  Lzma1Stream first_byte = WriterStream(program_);
  first_byte.bytes[0] = 0x7F;
  ExpectDecoded(Assemble(first_byte, size).bytes, "first-byte");

  if (stub::testing::HaveTool("xz")) {
    const std::optional<Lzma1Stream> end_marker =
        stub::testing::EncodeWithXzRaw(program_, "preset=6,dict=1MiB", 3, 0, 2, 1 << 20);
    ASSERT_TRUE(end_marker.has_value());
    ExpectDecoded(Assemble(*end_marker, size).bytes, "end-marker-behind-the-data");
    // An independent encoder of the x86 filter: xz's, with its end marker.
    const std::string in = folder_ + "/xz-x86.in";
    WriteBytes(in, program_);
    const stub::testing::ProcessResult xz = stub::testing::RunProcess(
        {"xz", "--format=raw", "--x86", "--lzma1=preset=6", "-c", in});
    ASSERT_EQ(xz.status, 0) << xz.err;
    const Lzma1Stream x86{stub::testing::Lzma1PropertiesBytes(3, 0, 2, 8 << 20),
                          std::vector<uint8_t>(xz.out.begin(), xz.out.end())};
    ExpectDecoded(Assemble(x86, size, stub::kStreamMethodX86Lzma1).bytes, "xz-x86");
  }
  if (stub::testing::HaveTool("xz")) {
    // An independent encoder of .xz: blocks decoded on threads, its own
    // filter chains and integrity check (CRC64), one with the x86 filter.
    for (const bool x86 : {false, true}) {
      const Lzma1Stream xz{{}, XzStream(x86 ? std::vector<std::string>{"--x86", "--lzma2=preset=6"}
                                           : std::vector<std::string>{"-6"})};
      ExpectDecoded(Assemble(xz, size, stub::kStreamMethodXz).bytes, x86 ? "xz-T2-x86" : "xz-T2");
    }
  }
  if (stub::testing::HaveTool("lzma_alone")) {
    const std::optional<Lzma1Stream> wide =
        stub::testing::EncodeWithLzmaAlone(program_, 8, 4, 4, 20, false);
    ASSERT_TRUE(wide.has_value());
    ExpectDecoded(Assemble(*wide, size).bytes, "lc8-lp4-pb4");
  }
}

TEST_F(Decoding, DamagedStreamsBehindAValidChecksum) {
  const uint64_t size = program_.size();
  const Built good = Assemble(WriterStream(program_), size);

  ExpectDamaged(Patched(good, [](uint8_t* h) { h[0] = 225; }), "properties-225");
  ExpectDamaged(Patched(good, [](uint8_t* h) { stub::WriteLe32(h + 1, 0x80000000u); }),
                "dictionary-2-31");
  ExpectDamaged(Patched(good, [](uint8_t* h) { stub::WriteLe32(h + kProgramLengthField, 0x80000000u); }),
                "program-length-2-31");
  // Not size + 1: the range coder's final bytes may well decode to a few more
  // bytes, which nothing could tell from the program's own.
  ExpectDamaged(Patched(good, [&](uint8_t* h) {
                  stub::WriteLe32(h + kProgramLengthField, static_cast<uint32_t>(size * 2));
                }),
                "program-length-doubled");

  Lzma1Stream cut = WriterStream(program_);
  cut.bytes.resize(cut.bytes.size() / 2);
  ExpectDamaged(Assemble(cut, size).bytes, "stream-cut-short");

  // The data ends in zeros, so the stream ends in a long match.
  std::vector<uint8_t> padded = program_;
  padded.insert(padded.end(), 5000, 0);
  ExpectDamaged(Assemble(WriterStream(padded), padded.size() - 1).bytes, "length-inside-a-match");

  if (stub::testing::HaveTool("xz")) {
    const std::optional<Lzma1Stream> end_marker =
        stub::testing::EncodeWithXzRaw(program_, "preset=6,dict=1MiB", 3, 0, 2, 1 << 20);
    ASSERT_TRUE(end_marker.has_value());
    ExpectDamaged(Assemble(*end_marker, size + 100).bytes, "end-marker-before-the-length");
  }

  const Lzma1Stream stored{{}, program_};
  ExpectDamaged(Assemble(stored, size + 1, stub::kStreamMethodStored).bytes, "stored-longer");

  if (stub::testing::HaveTool("xz")) {
    const std::vector<uint8_t> xz = XzStream({"--check=crc32", "-6"});
    const auto with_xz = [&](std::vector<uint8_t> stream, uint64_t length) {
      return Assemble(Lzma1Stream{{}, std::move(stream)}, length, stub::kStreamMethodXz).bytes;
    };
    std::vector<uint8_t> xz_cut = xz, flipped = xz, lying = xz, xz_padded = xz, bad_check = xz;
    xz_cut.resize(xz.size() / 2);
    flipped[xz.size() * 3 / 4] ^= 0x04;
    // The last block's CRC32 ends where the index starts, whose size the
    // footer's backward size gives: the data decodes, only the check differs.
    const size_t index_size = (stub::ReadLe32(xz.data() + xz.size() - 8) + size_t{1}) * 4;
    bad_check[xz.size() - 12 - index_size - 1] ^= 0x01;
    stub::testing::ShortenFirstXzBlock(lying);
    xz_padded.insert(xz_padded.end(), 4, 0);
    ExpectDamaged(with_xz(xz_cut, size), "xz-cut");
    ExpectDamaged(with_xz(flipped, size), "xz-flipped-byte-in-a-block");
    ExpectDamaged(with_xz(bad_check, size), "xz-block-check-wrong");
    ExpectDamaged(with_xz(lying, size), "xz-block-size-lies");
    ExpectDamaged(with_xz(xz_padded, size), "xz-padding-behind-the-stream");
    ExpectDamaged(with_xz(xz, size + 1), "xz-program-length-one-more");
    ExpectDamaged(with_xz(xz, size - 1), "xz-program-length-one-less");
  }

  Lzma1StreamWriter before_first(3, 0, 2, 1 << 16);
  before_first.Literals("MZ");
  before_first.Match(3, 10);
  ExpectDamaged(Assemble(before_first.Finish(), 12).bytes, "distance-before-the-first-byte");
}

}  // namespace
}  // namespace e2e
