// Reading and decoding the inner setup program.
//
// After the package has been verified, the launcher reads the compressed
// stream that the header names and decodes it into memory:
//   1. StreamOffset must lie below 2^31 and StreamLength must fit a TStream;
//      the stream must lie inside the file. A TStream sized to StreamLength
//      receives it straight from the file; a short read is damaged.
//   2. The header's five LZMA properties bytes must be accepted.
//   3. The stream is decoded with ProgramLength, sign-extended from 32 to 64
//      bits, as expected length; decoding must succeed and yield exactly
//      ProgramLength bytes (compared as signed 32-bit values, so a length of
//      2^31 or more never matches).
// Any failure shows the damaged-package message. Checking the stream's extent
// against the file first means that an implausible StreamLength costs no
// allocation: it would come up short anyway.
#pragma once

#include <memory>

#include "decoding/memory_stream.h"
#include "launcher/outcome.h"
#include "format/package_records.h"
#include "launcher/reporter.h"
#include "platform/platform.h"

namespace stub {

// Reads and decodes the inner program of the package in `file`, described by
// `header`. On success `program` holds it (its first ProgramLength bytes of
// Memory, Position behind them); the compressed stream and the decoder are
// released before returning, whatever the outcome.
Outcome DecodeInnerProgram(PlatformFile& file, const TPackageHeader& header, Reporter& reporter,
                           std::unique_ptr<TStream>& program);

}  // namespace stub
