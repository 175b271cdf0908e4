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
// Beyond the plain order, the file is read defensively: a size query that
// fails counts as damaged (it must not pass as a size); an offset of 2^31 or
// more, which the launcher's 32-bit signed seeks cannot reach, is damaged; and
// a checksum region that runs past the end of the file is a short read, found
// without allocating a buffer of the claimed length. The region is checksummed
// in pieces, so a package of any size needs only a small buffer; a Progress,
// when given, hears of each piece and may cancel the run there (no message,
// exit 1223).
#pragma once

#include <cstdint>

#include "launcher/outcome.h"
#include "format/package_records.h"
#include "launcher/progress.h"
#include "launcher/reporter.h"
#include "platform/platform.h"

namespace stub {

Outcome ReadPackageLocator(PlatformFile& file, Reporter& reporter, TPackageLocator& locator);
Outcome VerifyPackage(PlatformFile& file, const TPackageLocator& locator, Reporter& reporter,
                      Progress* progress = nullptr);
Outcome ReadPackageHeader(PlatformFile& file, const TPackageLocator& locator,
                          Reporter& reporter, TPackageHeader& header,
                          TPackageExtension& extension);

// The three steps above, in their order.
Outcome CheckPackage(PlatformFile& file, Reporter& reporter, TPackageLocator& locator,
                     TPackageHeader& header, TPackageExtension& extension);

// The size test and the checksum of VerifyPackage on their own, for tools
// that report on a package without running it.

// The size test: true when a file of `file_size` bytes is long enough for
// `locator`.
bool SizeTestPasses(uint64_t file_size, const TPackageLocator& locator);

// Stores the CRC-32 of the checksum region of `file`, `file_size` bytes long,
// in `crc`. False, with `crc` unchanged, when the region cannot be read
// whole: PackageOffset lies beyond kMaxSeekOffset, the region runs past
// `file_size`, or a seek or read fails; also when `progress` stops it.
bool ChecksumRegionCrc(PlatformFile& file, uint64_t file_size, const TPackageLocator& locator,
                       uint32_t& crc, Progress* progress = nullptr);

}  // namespace stub
