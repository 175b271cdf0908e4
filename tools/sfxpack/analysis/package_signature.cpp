// SPDX-License-Identifier: Zlib
#include "tools/sfxpack/analysis/package_signature.h"

#include <algorithm>
#include <optional>

#include "tools/common/tool_error.h"
#include "tools/sfxpack/analysis/package_map.h"

namespace sfxpack {
namespace {

std::string Num(uint64_t value) { return std::to_string(value); }

uint64_t AlignUp(uint64_t offset) {
  return (offset + kCertificateTableAlignment - 1) / kCertificateTableAlignment *
         kCertificateTableAlignment;
}

}  // namespace

bool PackageSignature::CoversPackage() const {
  return is_signed && package_end && table_offset >= *package_end && between == 0;
}

PackageSignature FindPackageSignature(ByteSource& source, const pe::Image* image,
                                      const stub::TPackageLocator* locator) {
  PackageSignature signature;
  if (image == nullptr) return signature;
  const pe::DataDirectory table = image->Certificate();
  if (table.size == 0) return signature;
  const uint64_t file_size = source.Size();
  signature.is_signed = true;
  signature.table_offset = table.address;
  signature.table_size = table.size;
  const uint64_t table_end = signature.table_offset + signature.table_size;
  signature.table_cut = table_end > file_size;
  signature.behind = signature.table_cut ? 0 : file_size - table_end;
  if (locator == nullptr || locator->MinFileSize <= 0) return signature;

  const uint64_t package_end = static_cast<uint64_t>(locator->MinFileSize);
  signature.package_end = package_end;
  if (signature.table_offset <= package_end) return signature;
  const uint64_t gap = signature.table_offset - package_end;
  bool zero = false;
  if (signature.table_offset == AlignUp(package_end)) {
    const std::vector<uint8_t> bytes = source.Read(package_end, static_cast<size_t>(gap));
    zero = bytes.size() == gap && std::all_of(bytes.begin(), bytes.end(), [](uint8_t b) { return !b; });
  }
  (zero ? signature.padding : signature.between) = gap;
  return signature;
}

PackageSignature FindPackageSignature(ByteSource& source) {
  std::optional<pe::Image> image;
  try {
    const std::vector<uint8_t> headers =
        source.Read(0, static_cast<size_t>(std::min<uint64_t>(source.Size(), kImageHeaderReadLimit)));
    image = pe::ParseImageHeaders(headers, source.Size());
  } catch (const tools::ToolError&) {
    return {};  // no image, so no certificate directory
  }
  std::optional<stub::TPackageLocator> locator;
  const std::vector<uint8_t> bytes = source.Read(stub::kPackageLocatorOffset, stub::kPackageLocatorSize);
  if (bytes.size() == stub::kPackageLocatorSize) {
    stub::PackageLocatorBytes raw;
    std::copy(bytes.begin(), bytes.end(), raw.begin());
    locator = stub::DecodePackageLocator(raw);
  }
  return FindPackageSignature(source, &*image, locator ? &*locator : nullptr);
}

std::string DescribeSignature(const PackageSignature& signature) {
  if (!signature.is_signed) return "not signed";
  std::string text = "signed: certificate table at " + Num(signature.table_offset) + ", " +
                     Num(signature.table_size) + " bytes";
  if (!signature.package_end) {
    text += "; no package to compare it with";
  } else if (signature.CoversPackage()) {
    text += ", right behind the package as built (MinFileSize " + Num(*signature.package_end) +
            (signature.padding ? ", then " + Num(signature.padding) + " bytes of alignment padding"
                               : std::string()) +
            "): the signature covers the whole package";
    text += signature.behind == 0 && !signature.table_cut ? ", and nothing lies behind it"
                                                          : "; but see the problems";
  } else {
    text += ", not where the package as built ends (MinFileSize " + Num(*signature.package_end) +
            "): see the problems";
  }
  return text + ". Whether the certificate is valid and trusted is not checked here: "
                "osslsigncode verify checks that";
}

std::vector<std::string> SignatureProblems(const PackageSignature& signature) {
  std::vector<std::string> problems;
  if (!signature.is_signed) return problems;
  const std::string table = "the certificate table (at " + Num(signature.table_offset) + ")";
  if (signature.package_end && signature.table_offset < *signature.package_end) {
    problems.push_back(table + " starts inside the package, which ends at MinFileSize " +
                       Num(*signature.package_end) + ": the signature does not cover the "
                       "package's last " + Num(*signature.package_end - signature.table_offset) +
                       " bytes (the package was changed after signing, or signed before it was "
                       "built)");
  }
  if (signature.between > 0) {
    problems.push_back(Num(signature.between) + " bytes lie between the end of the package (" +
                       Num(*signature.package_end) + ") and " + table +
                       ", more than the zero padding to " + Num(kCertificateTableAlignment) +
                       " bytes that signing adds: they were added after the package was built");
  }
  if (signature.table_cut) {
    problems.push_back(table + " runs " + Num(signature.table_size) +
                       " bytes, past the end of the file: the file was cut after signing");
  }
  if (signature.behind > 0) {
    problems.push_back(Num(signature.behind) + " bytes at offset " +
                       Num(signature.table_offset + signature.table_size) + " lie behind " +
                       table + ": they were appended after signing, the signature does not "
                       "cover them, and Windows may refuse it");
  }
  return problems;
}

std::optional<std::string> WhyNotSignedWhole(const PackageSignature& signature) {
  if (!signature.is_signed) return "the package is not signed";
  if (!signature.package_end) return "the file has no package for the signature to cover";
  const std::vector<std::string> problems = SignatureProblems(signature);
  if (!problems.empty()) return problems.front();
  return std::nullopt;
}

}  // namespace sfxpack
