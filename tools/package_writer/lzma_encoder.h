// SPDX-License-Identifier: Zlib
// Raw LZMA1 encoding of the inner program, as packages store it: no container,
// no end marker (the decoded length is kept in the package header), the five
// properties bytes kept apart; optionally behind the x86 branch filter (the
// stream method x86 + LZMA1, format/package_extension.h), through liblzma's
// raw encoder chain of LZMA_FILTER_X86 (start offset 0) and LZMA1.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

namespace packaging {

// The dictionary sizes liblzma's LZMA1 encoder takes.
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
  // The x86 branch filter in front of LZMA1: smaller streams for x86 and x64
  // program code, for packages of the stream method x86 + LZMA1.
  bool x86_filter = false;
};

// Called now and then during encoding with the bytes consumed so far.
using EncodeProgress = std::function<void(uint64_t done, uint64_t total)>;

// Encodes `data` into `stream` and stores the properties byte and the 32-bit
// dictionary size in `properties`. The same input and settings always give
// the same bytes. Throws a tools::ToolError with the reason when the settings
// are not valid or liblzma fails.
void EncodeLzma1(std::span<const uint8_t> data, const LzmaSettings& settings,
                 std::vector<uint8_t>& stream, std::array<uint8_t, 5>& properties,
                 const EncodeProgress& progress = nullptr);

}  // namespace packaging
