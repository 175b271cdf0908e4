// SPDX-License-Identifier: Zlib
// Reading and verifying the package records from the package file.
//
// The launcher runs these in a fixed order, and the first test that fails ends
// the run with its message:
//
//   1. ReadPackageLocator: 24 bytes at offset 128; short, or PackageOffset 0:
//      damaged.
//   2. VerifyPackage, size test: with DetachedSize > 0, the low 32 bits of the
//      file size (unsigned) must reach DetachedSize; otherwise the 64-bit size
//      (signed) must reach MinFileSize. Failing: truncated. It comes before the
//      checksum so an incomplete download is reported as truncated.
//   3. VerifyPackage, checksum: the CRC-32 of CrcLength bytes from PackageOffset
//      must equal CrcValue; a region that cannot be read whole: damaged.
//   4. ReadPackageHeader: 70 bytes at PackageOffset; short: damaged. Its
//      extension record (format/package_extension.h), when tagged, must be of
//      a version and stream method this launcher knows; otherwise: damaged.
//
// The header is read once. It lies at the start of the checksum region, so
// the checksum's reading keeps its bytes when CrcLength covers them, and
// step 4 takes them from there (they are the bytes the checksum covered);
// only a region shorter than the header makes step 4 read it on its own. As
// soon as the header is in hand, the Progress is planned from it
// (PreparationWork in program_source.h): before the checksum has passed, so
// what it finds there changes only the progress shown.
//
// Beyond the plain order, the file is read defensively: a size query that
// fails counts as damaged (it must not pass as a size); a PackageOffset of
// 2^31 or more is damaged (it is read before the header can tell which limits
// apply, format/package_limits.h); and a checksum region that runs past the
// end of the file is a short read, found without allocating a buffer of the
// claimed length. The region is checksummed in pieces, so a package of any
// size needs only a small buffer; a Progress, when given, hears of each piece
// and may cancel the run there (no message, exit 1223).
#pragma once

#include <cstdint>

#include "launcher/outcome.h"
#include "format/package_records.h"
#include "launcher/progress.h"
#include "launcher/reporter.h"
#include "platform/platform.h"

namespace stub {

// The header's bytes as the checksum's reading kept them.
struct HeaderFromRegion {
  PackageHeaderBytes bytes{};
  bool kept = false;  // CrcLength covers the header, and the region was read
};

Outcome ReadPackageLocator(PlatformFile& file, Reporter& reporter, TPackageLocator& locator);
Outcome VerifyPackage(PlatformFile& file, const TPackageLocator& locator, Reporter& reporter,
                      HeaderFromRegion& header, Progress* progress = nullptr);
Outcome ReadPackageHeader(PlatformFile& file, const TPackageLocator& locator,
                          const HeaderFromRegion& from_region, Reporter& reporter,
                          TPackageHeader& header, TPackageExtension& extension,
                          Progress* progress = nullptr);

// The three steps above, in their order.
Outcome CheckPackage(PlatformFile& file, Reporter& reporter, TPackageLocator& locator,
                     TPackageHeader& header, TPackageExtension& extension);

// The size test and the checksum of VerifyPackage on their own, for tools
// that report on a package without running it.

// The size test: true when a file of `file_size` bytes is long enough for
// `locator`.
bool SizeTestPasses(uint64_t file_size, const TPackageLocator& locator);

// Told of the checksum region as it is read, a chunk at a time, in order.
class ChecksumChunks {
 public:
  // `size` more bytes of the region at `data`. False stops the reading.
  virtual bool Chunk(const uint8_t* data, uint32_t size) = 0;

 protected:
  ~ChecksumChunks() = default;
};

// Stores the CRC-32 of the checksum region of `file`, `file_size` bytes long,
// in `crc`. False, with `crc` unchanged, when the region cannot be read
// whole: PackageOffset lies beyond kMaxSeekOffset, the region runs past
// `file_size`, or a seek or read fails; also when `chunks` stops it.
bool ChecksumRegionCrc(PlatformFile& file, uint64_t file_size, const TPackageLocator& locator,
                       uint32_t& crc, ChecksumChunks* chunks = nullptr);

}  // namespace stub
