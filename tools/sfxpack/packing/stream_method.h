// SPDX-License-Identifier: Zlib
// How `sfxpack build` stores the inner program: the stream method it is asked
// for, or the one it chooses itself (auto), and the extension record the
// package then needs.
//
// auto chooses among the methods the launcher image decodes (its "SFXE"
// marker, tools/package_writer/launcher_marker.h; an image without one
// decodes LZMA1 only):
//   - stored when LZMA1 would save less than kMinSavingPercent of the
//     program: such a program is compressed already, and copying it starts
//     the child much sooner than decoding it would;
//   - x86 + LZMA1 for a program of x86 or x64 code when its stream is smaller
//     than plain LZMA1's;
//   - LZMA1 otherwise.
// A program of at most kWholeComparisonLimit bytes is encoded both ways (the
// x86 way only for x86 and x64 programs) and the smaller stream kept, or the
// program stored when even that one saves too little. A larger one is judged
// by kSampleBlocks blocks of kSampleBlockSize bytes, one from the middle of
// each of kSampleBlocks equal parts of the program, compressed with the same
// settings: when they save too little, the program is stored without
// compressing it whole; otherwise it is encoded once, the x86 way when the
// blocks came out smaller so, and stored after all when the whole stream
// saves too little. Blocks from the middle of each part, not from its start,
// keep a program's first bytes (the code in front of an installer's
// compressed data) from standing for a whole part.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <iterator>
#include <span>
#include <string>
#include <vector>

#include "format/package_extension.h"
#include "tools/package_writer/launcher_marker.h"
#include "tools/package_writer/lzma_encoder.h"

namespace sfxpack {

inline constexpr uint64_t kMinSavingPercent = 2;
inline constexpr size_t kSampleBlockSize = 512 << 10;
inline constexpr size_t kSampleBlocks = 8;
// Up to here, encoding the program twice costs no more than compressing the
// samples both ways and then the whole program once.
inline constexpr size_t kWholeComparisonLimit = 2 * kSampleBlocks * kSampleBlockSize;

// The words and names of the stream methods, indexed by StreamMethod.
struct StreamMethodWords {
  const char* word;  // as --method and the JSON reports take it: "x86"
  const char* name;  // as texts show it: "x86 + LZMA1"
};
inline constexpr StreamMethodWords kStreamMethods[] = {
    {"lzma", "LZMA1"}, {"stored", "stored"}, {"x86", "x86 + LZMA1"}, {"xz", "xz"}};
static_assert(std::size(kStreamMethods) == stub::kLastStreamMethod + 1);

// The name of `method`; "unknown method N" for one the table does not hold.
std::string StreamMethodName(uint8_t method);

// Bit n set: the launcher image decodes StreamMethod n.
uint16_t DecodedMethods(const std::optional<packaging::LauncherMarker>& marker);

// The inner program as the package stores it.
struct EncodedProgram {
  uint8_t method = stub::kStreamMethodLzma1;
  // The stream; for a stored program empty, as the stream is the program.
  std::vector<uint8_t> stream;
  // Zeros for a stored program, whose properties the launcher does not read.
  std::array<uint8_t, 5> properties{};
};

// Encodes `program` with `method`, or with auto's choice among
// `decoded_methods` when `method` is nullopt. `lzma` are the settings to
// encode with (EffectiveLzmaSettings for the whole program; samples get their
// own); its x86_filter is ignored. `progress` hears of the encoding that
// produces the stream, and of the samples. Throws a tools::ToolError when
// liblzma fails.
EncodedProgram EncodeProgram(std::span<const uint8_t> program, std::optional<uint8_t> method,
                             uint16_t decoded_methods, const packaging::LzmaSettings& lzma,
                             const packaging::EncodeProgress& progress);

// Throws a tools::Failure when the launcher image `launcher_name`, with
// `marker`, cannot read a package with `extension`: one whose stream method it
// does not decode, or any record when it has no marker.
void CheckLauncherReads(const std::optional<packaging::LauncherMarker>& marker,
                        const std::string& launcher_name,
                        const std::optional<stub::TPackageExtension>& extension);

// `extension`, if any, with `method`; nullopt when the
// package needs none (LZMA1 and no build limits), so that such a package is
// byte for byte what it was before the record existed.
std::optional<stub::TPackageExtension> ExtensionWithMethod(
    const std::optional<stub::TPackageExtension>& extension, uint8_t method);

}  // namespace sfxpack
