// SPDX-License-Identifier: Zlib
// The inner program's stream by each method, read from the program in pieces
// and handed on in pieces: stored (the program's bytes), LZMA1 and x86 +
// LZMA1 (raw LZMA1), xz (one .xz stream of blocks, on several threads).
//
// The settings a stream is encoded with follow from the options and the
// program's size alone, never from the machine or the number of threads, so
// the same inputs give the same package everywhere:
//   - the dictionary: the preset's, shrunk to the smallest power of two that
//     holds the whole program (EffectiveLzmaSettings), unless --dict names
//     one;
//   - an .xz stream's blocks: XzBlockSize of the program's size and the
//     given dictionary; its dictionary as above, and never larger than a
//     block, which it could not use (each block is encoded on its own) and
//     which the launcher's memory would follow.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "tools/package_writer/lzma_encoder.h"
#include "tools/sfxpack/packing/inner_program_file.h"

namespace sfxpack {

// An .xz stream's blocks. Each block is encoded on its own, so its first
// bytes cannot refer to those of the block before: every block boundary costs
// what the dictionary would have found there (on program code of many similar
// files, 0.3 to 0.4 MB at a dictionary of 8 MiB or more, measured on Wine's
// DLLs). Larger blocks cost less, but the launcher's threaded decoder holds,
// for each thread, a block's output, its dictionary and its input: blocks of
// at most 16 MiB (with a dictionary no larger) keep two threads within about
// 80 MiB, and give a large program several blocks per thread, so that every
// core of a larger machine has work. 16 dictionaries per block below that,
// 8 MiB at the least. An even number of blocks keeps two threads, or any even
// number, equally busy.
inline constexpr uint64_t kXzBlockDictionaries = 16;
inline constexpr uint64_t kMinXzBlockSize = 8 << 20;
inline constexpr uint64_t kMaxXzBlockSize = 16 << 20;

// The most bytes of a block for programs encoded with a dictionary of
// `dictionary` bytes: kXzBlockDictionaries dictionaries, within
// kMinXzBlockSize and kMaxXzBlockSize.
uint64_t XzBlockTarget(uint64_t dictionary);

// The bytes per block of a program of `program_size` bytes: one block up to
// two of kMinXzBlockSize; above, the fewest blocks of at most `target` bytes,
// an even number of them, so that a large program never makes one block; the
// blocks equal, rounded up to whole MiB (the last one shorter).
uint64_t XzBlockSize(uint64_t program_size, uint64_t target);

// The LZMA settings used for an inner program of `program_size` bytes: without
// an explicit dictionary size, the preset's dictionary shrunk to the smallest
// power of two that holds the whole program (4 KiB at least). Matches cannot
// reach further back than the program is long, so compression stays the same,
// and the launcher needs no more memory for its history than the program takes.
packaging::LzmaSettings EffectiveLzmaSettings(const packaging::LzmaSettings& lzma,
                                              uint64_t program_size);

// The most threads liblzma's threaded encoder takes (its LZMA_THREADS_MAX,
// which lzma.h does not export).
inline constexpr uint32_t kMaxXzThreads = 16384;

// How the streams of one build are encoded.
struct EncodingOptions {
  packaging::LzmaSettings lzma;  // as given; EffectiveLzmaSettings applies per program
  // The threads of the .xz encoder; nullopt: DefaultXzThreads.
  std::optional<uint32_t> threads;
};

// The dictionary of `lzma` before it is fitted to a program: --dict, or the
// preset's.
uint32_t GivenDictionary(const packaging::LzmaSettings& lzma);

// The .xz settings for a program of `program_size` bytes: blocks of
// XzBlockSize with the target of the given dictionary, the dictionary fitted
// to a block (EffectiveLzmaSettings) and never larger than one.
packaging::XzSettings XzSettingsFor(const EncodingOptions& options, uint64_t program_size,
                                    bool x86_filter);

// The threads of the .xz encoder when not given: one for each logical
// processor, fewer when their memory would pass a quarter of the machine's
// physical memory (as xz chooses its threads for -T0), one at least.
uint32_t DefaultXzThreads(const packaging::XzSettings& settings);

// Writes the stream of all of `program` by `method` (stub::kStreamMethod*;
// `x86_filter` puts the x86 filter in an .xz stream's chain) to `write`, and
// returns the header's five LZMA properties bytes: zeros for stored and xz,
// whose streams carry what their decoders need.
std::array<uint8_t, 5> EncodeStream(const ProgramView& program, uint8_t method, bool x86_filter,
                                    const EncodingOptions& options,
                                    const packaging::StreamSink& write,
                                    const packaging::EncodeProgress& progress);

// A stream in memory.
struct EncodedStream {
  std::vector<uint8_t> bytes;
  std::array<uint8_t, 5> properties{};
};

// EncodeStream into memory.
EncodedStream EncodeToMemory(const ProgramView& program, uint8_t method, bool x86_filter,
                             const EncodingOptions& options,
                             const packaging::EncodeProgress& progress);

}  // namespace sfxpack
