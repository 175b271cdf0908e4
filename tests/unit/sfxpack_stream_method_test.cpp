// SPDX-License-Identifier: Zlib
// sfxpack build's choice of stream method (auto): stored for what LZMA1
// cannot shrink, xz for large programs, the x86 filter for x86 and x64 code it
// helps, LZMA1 otherwise, and only among the methods the launcher image
// decodes; small programs judged whole, large ones by samples.
#include "tools/sfxpack/packing/stream_method.h"

#include <gtest/gtest.h>

#include <random>

#include "format/little_endian.h"
#include "tools/pe/pe_image.h"
#include "tools/pe/windows_program.h"
#include "tests/support/test_images.h"

namespace sfxpack {
namespace {

using stub::kStreamMethodLzma1;
using stub::kStreamMethodStored;
using stub::kStreamMethodX86Lzma1;
using stub::kStreamMethodXz;
using stub::testing::AsWindowsProgram;
using stub::testing::SampleBytes;
using stub::testing::X86CodeBytes;

constexpr uint16_t kAllMethods = 0xF;
constexpr size_t kSmall = 256 << 10;
constexpr size_t kLarge = kWholeComparisonLimit + (1 << 20);  // judged by samples

std::vector<uint8_t> RandomBytes(size_t size) {
  std::mt19937 random(7);
  std::vector<uint8_t> bytes(size);
  for (uint8_t& byte : bytes) byte = static_cast<uint8_t>(random());
  return bytes;
}

std::vector<uint8_t> ForArm64(std::vector<uint8_t> program) {
  stub::WriteLe16(&program[68], 0xAA64);
  return program;
}

// Text, then as much again of random bytes: the whole compresses by far more
// than 2 %, though half of the samples do not compress at all. For ARM64, so
// that the x86 filter is not tried.
std::vector<uint8_t> HalfCompressed(size_t size) {
  std::vector<uint8_t> bytes = SampleBytes(size / 2, 3);
  const std::vector<uint8_t> random = RandomBytes(size - bytes.size());
  bytes.insert(bytes.end(), random.begin(), random.end());
  return ForArm64(AsWindowsProgram(bytes));
}

// An installer of another tool: 100 KiB of code in front of compressed data.
// LZMA1 saves about 0.6 % of the whole.
std::vector<uint8_t> CodeHeadOnRandom(size_t size) {
  std::vector<uint8_t> bytes = X86CodeBytes(100 << 10);
  const std::vector<uint8_t> random = RandomBytes(size - bytes.size());
  bytes.insert(bytes.end(), random.begin(), random.end());
  return AsWindowsProgram(bytes);
}

// The program in memory, as the choice reads it.
ProgramView ViewOf(const std::vector<uint8_t>& program) {
  ProgramView view;
  view.size = program.size();
  const std::optional<uint16_t> machine = pe::WindowsProgramMachine(program);
  view.x86_code = machine == pe::kMachineAmd64 || machine == pe::kMachineI386;
  view.read = [&program](uint64_t offset, std::span<uint8_t> buffer) {
    std::copy_n(program.begin() + static_cast<std::ptrdiff_t>(offset), buffer.size(),
                buffer.begin());
  };
  return view;
}

TEST(SfxpackStreamMethod, AutoChoosesAmongTheMethodsTheImageDecodes) {
  constexpr uint64_t kXzFromTest = kWholeComparisonLimit;  // kLarge takes xz
  const struct {
    const char* name;
    std::vector<uint8_t> program;
    uint16_t decoded;
    uint8_t expected;
    bool x86_filter = false;
    std::optional<uint64_t> xz_from = std::nullopt;
    std::optional<uint8_t> method = std::nullopt;
  } rows[] = {
      {"empty", {}, kAllMethods, kStreamMethodStored},
      {"compressed already", AsWindowsProgram(RandomBytes(kSmall)), kAllMethods,
       kStreamMethodStored},
      {"compressed already, an image without stored", AsWindowsProgram(RandomBytes(kSmall)), 0x5,
       kStreamMethodLzma1},
      {"text", AsWindowsProgram(SampleBytes(kSmall)), kAllMethods, kStreamMethodLzma1},
      {"x86 code", AsWindowsProgram(X86CodeBytes(kSmall)), kAllMethods, kStreamMethodX86Lzma1,
       true},
      {"x86 code of an ARM64 program", ForArm64(AsWindowsProgram(X86CodeBytes(kSmall))),
       kAllMethods, kStreamMethodLzma1},
      {"x86 code, not a Windows program", X86CodeBytes(kSmall), kAllMethods, kStreamMethodLzma1},
      {"x86 code, an image without x86", AsWindowsProgram(X86CodeBytes(kSmall)), 0x3,
       kStreamMethodLzma1},
      {"sampled: compressed already", AsWindowsProgram(RandomBytes(kLarge)), kAllMethods,
       kStreamMethodStored},
      {"sampled: x86 code", AsWindowsProgram(X86CodeBytes(kLarge)), kAllMethods,
       kStreamMethodX86Lzma1, true},
      {"sampled: half text, half compressed", HalfCompressed(kLarge), kAllMethods,
       kStreamMethodLzma1},
      {"sampled: a code head, then compressed data", CodeHeadOnRandom(kLarge), kAllMethods,
       kStreamMethodStored},
      {"above xz's size: x86 code", AsWindowsProgram(X86CodeBytes(kLarge)), kAllMethods,
       kStreamMethodXz, true, kXzFromTest},
      {"above xz's size: text", AsWindowsProgram(SampleBytes(kLarge)), kAllMethods,
       kStreamMethodXz, false, kXzFromTest},
      {"above xz's size: compressed already", AsWindowsProgram(RandomBytes(kLarge)), kAllMethods,
       kStreamMethodStored, false, kXzFromTest},
      {"above xz's size, an image without xz", AsWindowsProgram(X86CodeBytes(kLarge)), 0x7,
       kStreamMethodX86Lzma1, true, kXzFromTest},
      {"above xz's size, an image without x86", AsWindowsProgram(X86CodeBytes(kLarge)), 0xB,
       kStreamMethodXz, true, kXzFromTest},
      {"--method xz: x86 code", AsWindowsProgram(X86CodeBytes(kSmall)), kAllMethods,
       kStreamMethodXz, true, std::nullopt, kStreamMethodXz},
      {"--method xz: compressed already", AsWindowsProgram(RandomBytes(kSmall)), kAllMethods,
       kStreamMethodXz, false, std::nullopt, kStreamMethodXz},
      {"--method x86: compressed already", AsWindowsProgram(RandomBytes(kSmall)), kAllMethods,
       kStreamMethodX86Lzma1, true, std::nullopt, kStreamMethodX86Lzma1},
  };
  EncodingOptions options;
  options.lzma.preset = 1;
  options.threads = 2;
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    uint64_t last_done = 0, reported_total = 0;
    const auto progress = [&](uint64_t done, uint64_t total) {
      EXPECT_GE(done, last_done);
      EXPECT_LE(done, total);
      last_done = done;
      reported_total = total;
    };
    const StreamPlan plan =
        PlanStream(ViewOf(row.program), row.method, row.decoded, options, progress, row.xz_from);
    EXPECT_EQ(plan.method, row.expected);
    EXPECT_EQ(plan.x86_filter, row.x86_filter);
    // The stream's encoding finishes the work.
    if (plan.progress) plan.progress(row.program.size(), row.program.size());
    EXPECT_EQ(last_done, reported_total);
  }
}

}  // namespace
}  // namespace sfxpack
