// SPDX-License-Identifier: Zlib
// The bytes of the temporary copy, a chunk at a time, for every stream
// method: the one place where the extension record's StreamMethod decides
// how the inner program is read.
//
// The stream is read from the package file a piece at a time and, unless the
// program is stored, decoded a chunk at a time (decoding/program_decoder.h);
// each chunk is written to the copy before the next one is read or decoded,
// so the launcher holds neither the stream nor the program whole, whatever
// their size. What it holds:
//   stored          one piece of kCopyChunkSize bytes;
//   LZMA1, x86      a piece of kStreamPieceSize bytes, a chunk of
//                   kDecodeStep, the decoder's history (the dictionary size,
//                   at most the program's length; decoding/lzma_decoder.h);
//   xz              a piece, a chunk, and liblzma's threads with their blocks
//                   (decoding/xz_decoder.h).
//
// Before anything is created, Open makes the checks that need no decoding,
// in this order; a failure is a damaged package:
//   1. the stream lies in the file, and StreamOffset, StreamLength and
//      ProgramLength keep the package's limits (format/package_limits.h);
//   2. stored: StreamLength equals ProgramLength;
//      LZMA1, x86 + LZMA1: the header's five LZMA properties bytes are
//      accepted (decoding/lzma1_properties.h);
//      xz: the stream starts with a valid .xz stream header (the properties
//      bytes are zero and not read).
// Then Next hands out the chunks. A stream found damaged on the way (it
// decodes to more or fewer bytes than ProgramLength, its data is corrupt, the
// file gives fewer bytes than it named) is kDamaged: its writer removes the
// copy it began (temp_copy.h). Between chunks the progress hears what was
// written, and a cancel stops the copy there.
//
// An .xz stream is decoded on one thread per logical processor of the
// machine, within a quarter of its physical memory for the threads together
// (the default of xz itself for decoding on threads); liblzma takes fewer
// threads rather than exceed it, down to the calling thread alone, which is
// also what a machine that does not tell its memory gets.
#pragma once

#include <cstdint>
#include <memory>

#include "decoding/program_decoder.h"
#include "decoding/xz_decoder.h"
#include "format/package_records.h"
#include "launcher/progress.h"
#include "platform/platform.h"

namespace stub {

// A few milliseconds of writing, and the most a stored copy holds in memory.
inline constexpr uint32_t kCopyChunkSize = 4u << 20;
// The pieces a decoder takes the stream in.
inline constexpr uint32_t kStreamPieceSize = 1u << 20;

enum class SourceStatus {
  kChunk,      // another chunk to write
  kEnd,        // every byte has been handed out and reported written
  kDamaged,    // the stream is damaged, or the file gave fewer bytes than it names
  kCancelled,  // the user cancelled
};

// The bytes of the whole preparation of the package `locator` and `header`
// describe, for Progress::Plan: the checksum region, then each byte of the
// program once when it is stored (copied) and twice otherwise (decoded, then
// written).
uint64_t PreparationWork(const TPackageLocator& locator, const TPackageHeader& header);

// The threads for an .xz stream on `machine` (see above).
XzThreading XzThreadingFor(MachineResources& machine);

class PackageStreamInput;

class ProgramSource {
 public:
  // The inner program `header` and `extension` describe, read from `package`,
  // which must outlive the source. `progress`, when given, hears of each
  // chunk written and may cancel.
  ProgramSource(PlatformFile& package, const TPackageHeader& header,
                const TPackageExtension& extension, MachineResources& machine,
                Progress* progress);
  ~ProgramSource();
  ProgramSource(const ProgramSource&) = delete;
  ProgramSource& operator=(const ProgramSource&) = delete;

  // The checks above. False: the package is damaged, and Next hands out
  // nothing.
  bool Open();

  // Reports the chunk handed out last as written, then hands out the next
  // one: `size` bytes at `data`, valid until the next call.
  SourceStatus Next(const uint8_t*& data, uint32_t& size);

 private:
  PlatformFile& package_;
  const TPackageHeader header_;
  const TPackageExtension extension_;
  MachineResources& machine_;
  Progress* progress_;
  std::unique_ptr<PackageStreamInput> input_;
  std::unique_ptr<ProgramDecoder> decoder_;
  uint32_t handed_out_ = 0;
};

}  // namespace stub
