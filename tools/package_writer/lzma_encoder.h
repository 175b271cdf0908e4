// SPDX-License-Identifier: Zlib
// The encoders of the inner program, through liblzma:
//   - raw LZMA1, as packages of the methods LZMA1 and x86 + LZMA1 store it:
//     no container, no end marker (the decoded length is kept in the package
//     header), the five properties bytes kept apart; optionally behind the
//     x86 branch filter, through liblzma's raw encoder chain of
//     LZMA_FILTER_X86 (start offset 0) and LZMA1;
//   - one .xz stream of independent blocks, as packages of the method xz
//     store it: LZMA2, optionally behind the x86 filter in each block's
//     chain, integrity check CRC32, written by liblzma's threaded encoder.
//
// Both read the program in pieces and hand the stream on in pieces as it
// comes, so neither holds the whole of either. The same input and settings
// always give the same bytes; for .xz whatever the number of threads, as
// each block is encoded on its own and the blocks are written in order.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

namespace packaging {

// The dictionary sizes liblzma's LZMA1 and LZMA2 encoders take.
inline constexpr uint32_t kMinDictionarySize = 4096;
inline constexpr uint32_t kMaxDictionarySize = 1536u << 20;
// The most literal context and literal position bits together (lc + lp) it
// takes; each of lc, lp and pb is at most 4.
inline constexpr uint32_t kMaxLcPlusLp = 4;
inline constexpr uint32_t kMaxLzmaBits = 4;

struct LzmaSettings {
  uint32_t preset = 9;  // 0 to 9, liblzma's presets
  bool extreme = false;
  // Overrides of the preset's values. liblzma's encoder accepts lc + lp up to 4.
  std::optional<uint32_t> lc;
  std::optional<uint32_t> lp;
  std::optional<uint32_t> pb;
  std::optional<uint32_t> dict_size;
  // The x86 branch filter in front of LZMA: smaller streams for x86 and x64
  // program code.
  bool x86_filter = false;
};

// How an .xz stream is cut and encoded.
struct XzSettings {
  LzmaSettings lzma;  // LZMA2's options and the x86 filter, as for LZMA1
  // Bytes of the program per block; the last block may be shorter. Blocks
  // are encoded independently, so several threads can encode and decode them.
  uint64_t block_size = 16 << 20;
  uint32_t threads = 1;
};

// Fills the whole of `buffer` with the program's next bytes; throws a
// tools::ToolError when it cannot.
using ReadNext = std::function<void(std::span<uint8_t> buffer)>;
// Takes the stream's next bytes.
using StreamSink = std::function<void(std::span<const uint8_t> bytes)>;
// Called now and then during encoding with the bytes consumed so far.
using EncodeProgress = std::function<void(uint64_t done, uint64_t total)>;

// Every encoder throws a tools::ToolError with the reason when the settings
// are not valid or liblzma fails (not enough memory, above all).

// Encodes the `length` bytes that `read` gives into a raw LZMA1 stream for
// `write`, and returns the properties byte and the 32-bit dictionary size.
std::array<uint8_t, 5> EncodeLzma1(uint64_t length, const ReadNext& read,
                                   const LzmaSettings& settings, const StreamSink& write,
                                   const EncodeProgress& progress = nullptr);

// The same for bytes in memory, into `stream`.
void EncodeLzma1(std::span<const uint8_t> data, const LzmaSettings& settings,
                 std::vector<uint8_t>& stream, std::array<uint8_t, 5>& properties,
                 const EncodeProgress& progress = nullptr);

// Encodes the `length` bytes that `read` gives into one .xz stream for
// `write`.
void EncodeXz(uint64_t length, const ReadNext& read, const XzSettings& settings,
              const StreamSink& write, const EncodeProgress& progress = nullptr);

// The memory liblzma's threaded encoder needs for `settings`, in bytes.
uint64_t XzEncoderMemory(const XzSettings& settings);

}  // namespace packaging
