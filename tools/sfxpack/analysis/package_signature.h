// SPDX-License-Identifier: Zlib
// Where a package's Authenticode signature lies against the package as built.
//
// Signing a package (osslsigncode, jsign, signtool) pads the file with zero
// bytes to a multiple of 8, appends the certificate table there and names it
// in the PE header's certificate directory entry (a file offset and a size).
// The signature's hash covers every byte of the file but the CheckSum, that
// entry and the table itself. So the signature covers the whole package when
// the table starts where the package as built ends (MinFileSize) or behind
// its alignment padding, and the file ends with the table: bytes behind it
// were appended after signing and are not covered.
//
// This says where the table lies, not whether the certificate is valid,
// trusted or matches the file: osslsigncode verify (or Windows) checks that.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "format/package_records.h"
#include "tools/pe/pe_image.h"

namespace sfxpack {

// Signing tools align the certificate table to this many bytes.
inline constexpr uint64_t kCertificateTableAlignment = 8;

struct PackageSignature {
  bool is_signed = false;
  uint64_t table_offset = 0;
  uint64_t table_size = 0;
  // Where the package as built ends (MinFileSize), when the file has a
  // locator with a positive one.
  std::optional<uint64_t> package_end;
  // Zero bytes from package_end up to the table: the alignment padding.
  uint64_t padding = 0;
  // Any other bytes between package_end and the table.
  uint64_t between = 0;
  // Bytes behind the table's end, up to the end of the file.
  uint64_t behind = 0;
  // The table reaches past the end of the file.
  bool table_cut = false;

  // Signed, and the table starts where the package ends or behind its
  // alignment padding: the signature covers the whole package.
  bool CoversPackage() const;
};

class ByteSource;

// The signature's place in `source`, from its image headers and its locator
// (either may be missing: then there is no signature, or no package to
// compare it with). Reads only the bytes between the package and the table,
// when they are fewer than the alignment.
PackageSignature FindPackageSignature(ByteSource& source, const pe::Image* image,
                                      const stub::TPackageLocator* locator);

// The same, reading the image headers and the locator from `source` first.
PackageSignature FindPackageSignature(ByteSource& source);

// One line on the signature: "not signed", or where its table lies and that
// the certificate itself is for osslsigncode to check.
std::string DescribeSignature(const PackageSignature& signature);

// What does not fit together: the table inside the package, bytes between
// the package and the table, bytes behind the table, a table cut short.
std::vector<std::string> SignatureProblems(const PackageSignature& signature);

// Why the signature does not cover the whole package as built, with nothing
// behind it, in one clause: "the package is not signed", or its first
// problem; nullopt when it does (not whether the certificate is valid).
std::optional<std::string> WhyNotSignedWhole(const PackageSignature& signature);

}  // namespace sfxpack
