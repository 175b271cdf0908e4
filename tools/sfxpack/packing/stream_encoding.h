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
//   - an .xz stream's blocks: XzBlockSize of the program's size; its
//     dictionary as above, and never larger than a block, which it could not
//     use (each block is encoded on its own) and which the launcher's memory
//     would follow.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "tools/package_writer/lzma_encoder.h"
#include "tools/sfxpack/packing/inner_program_file.h"

namespace sfxpack {

// The smallest and largest block of an .xz stream.
inline constexpr uint64_t kMinXzBlockSize = 8 << 20;
inline constexpr uint64_t kMaxXzBlockSize = 32 << 20;
// The blocks a large program is cut into at least, while blocks can be that
// small: enough for every logical processor of today's machines to decode.
inline constexpr uint64_t kXzBlocksPerProgram = 32;

// The bytes of a program of `program_size` bytes per .xz block: the program
// divided into kXzBlocksPerProgram blocks, rounded up to whole MiB, and kept
// within kMinXzBlockSize and kMaxXzBlockSize.
uint64_t XzBlockSize(uint64_t program_size);

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

// The .xz settings for a program of `program_size` bytes.
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
