// SPDX-License-Identifier: Zlib
// How `sfxpack build` stores the inner program: the stream method it is asked
// for, or the one it chooses itself (auto), and the extension record the
// package then needs.
//
// auto chooses among the methods the launcher image decodes (its "SFXE"
// marker, tools/package_writer/launcher_marker.h; an image without one
// decodes LZMA1 only):
//   - stored when LZMA would save less than kMinSavingPercent of the
//     program: such a program is compressed already, and copying it starts
//     the child much sooner than decoding it would;
//   - xz for a program larger than one block of an .xz stream
//     (XzBlockTarget of the given dictionary: 16 MiB at presets 1 to 9, 8 MiB
//     at 0): its blocks decode on every core, which starts it sooner than one
//     LZMA1 stream decoded on one;
//   - the x86 branch filter (x86 + LZMA1, or in the xz blocks' chain) for a
//     program of x86 or x64 code when its stream is smaller so;
//   - LZMA1 otherwise.
// A program of at most kWholeComparisonLimit bytes is encoded both ways (the
// x86 way only for x86 and x64 programs) and the smaller stream kept, or the
// program stored when even that one saves too little. A larger one is judged by kSampleBlocks blocks of
// kSampleBlockSize bytes, one from the middle of each of kSampleBlocks equal
// parts of the program, compressed as raw LZMA1 with the same settings: when
// they save too little, the program is stored without compressing it whole;
// otherwise it is encoded once, the x86 way when the blocks came out smaller
// so, and stored after all when the whole stream saves too little. Blocks
// from the middle of each part, not from its start, keep a program's first
// bytes (the code in front of an installer's compressed data) from standing
// for a whole part.
//
// --method xz chooses its x86 filter as auto does, for x86 and x64 programs.
#pragma once

#include <array>
#include <cstdint>
#include <iterator>
#include <optional>
#include <string>

#include "format/package_extension.h"
#include "tools/package_writer/launcher_marker.h"
#include "tools/sfxpack/packing/stream_encoding.h"

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

// Whether a stream of `stream` bytes is worth decoding for `program` bytes.
bool SavesEnough(uint64_t stream, uint64_t program);

// How the inner program is to be stored.
struct StreamPlan {
  uint8_t method = stub::kStreamMethodLzma1;
  // The x86 branch filter in front of LZMA: in x86 + LZMA1 always, in an
  // .xz stream's blocks when their chain has it.
  bool x86_filter = false;
  // The stream when the choice encoded it already (a program compared
  // whole); nullopt: it is to be encoded.
  std::optional<EncodedStream> encoded;
  // The program is to be stored after all when its stream saves too little
  // (a choice by samples).
  bool store_if_poor = false;
  // The progress of encoding the whole stream, continuing that of the choice.
  packaging::EncodeProgress progress;
};

// The plan for `program` with `method`, or auto's choice among
// `decoded_methods` when `method` is nullopt, taking xz above `xz_from`
// bytes (nullopt: one block, XzBlockTarget of the options' dictionary).
// `progress` hears of the samples and whole comparisons, then, through the
// plan's progress, of the stream's encoding, as one piece of work. Throws a
// tools::ToolError when the program cannot be read or liblzma fails.
StreamPlan PlanStream(const ProgramView& program, std::optional<uint8_t> method,
                      uint16_t decoded_methods, const EncodingOptions& options,
                      const packaging::EncodeProgress& progress,
                      std::optional<uint64_t> xz_from = std::nullopt);

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
