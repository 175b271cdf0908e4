// SPDX-License-Identifier: Zlib
// Reading and decoding the inner setup program.
//
// After the package has been verified, the launcher reads the stream that the
// header names; the extension record's StreamMethod says what it holds
// (format/package_extension.h):
//   1. StreamOffset must lie below 2^31 and StreamLength must fit a TStream;
//      the stream must lie inside the file.
//   2. LZMA1, and x86 + LZMA1: a TStream sized to StreamLength receives the
//      stream straight from the file (a short read is damaged); the header's
//      five LZMA properties bytes must be accepted; the stream is decoded
//      (through the x86 branch filter too, for x86 + LZMA1) with
//      ProgramLength, sign-extended from 32 to 64 bits, as expected length;
//      decoding must succeed and yield exactly ProgramLength bytes (compared
//      as signed 32-bit values, so a length of 2^31 or more never matches).
//   3. Stored: the stream is the program, so StreamLength must equal
//      ProgramLength. The launcher copies it from the file into the copy
//      (program_source.h) and never holds it whole; CheckStoredStream checks
//      it before anything is created.
// Any failure shows the damaged-package message. Checking the stream's extent
// against the file first means that an implausible StreamLength costs no
// allocation: it would come up short anyway.
#pragma once

#include <memory>

#include "decoding/memory_stream.h"
#include "format/package_extension.h"
#include "format/package_records.h"
#include "launcher/outcome.h"
#include "launcher/progress.h"
#include "launcher/reporter.h"
#include "platform/platform.h"

namespace stub {

// Reads and decodes the inner program of the package in `file`, described by
// `header` and `extension`; a stored program is read as it is (for tools,
// which look at the program in memory). On success `program` holds it (its
// first ProgramLength bytes of Memory, Position behind them); the compressed
// stream and the decoder are released before returning, whatever the outcome.
// `progress`, when given, hears of the decoding and may cancel it: then no
// message and exit 1223.
Outcome DecodeInnerProgram(PlatformFile& file, const TPackageHeader& header,
                           const TPackageExtension& extension, Reporter& reporter,
                           std::unique_ptr<TStream>& program, Progress* progress = nullptr);

// Steps 1 and 3 for a stored program, without reading it: damaged unless its
// extent lies in the file and StreamLength equals ProgramLength.
Outcome CheckStoredStream(PlatformFile& file, const TPackageHeader& header, Reporter& reporter);

// The bytes of the whole preparation of the package `locator` describes, for
// Progress::Plan: CrcLength, then ProgramLength for the decoding unless the
// program is stored, then ProgramLength for the writing. Peeks at the header
// before the checksum has passed; what it finds there changes only the
// progress shown. A header that cannot be read counts CrcLength alone.
uint64_t PreparationWork(PlatformFile& file, const TPackageLocator& locator);

}  // namespace stub
